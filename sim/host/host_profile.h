// A user's profile document as the stand-in host hands it to the plug-in:
// the host's IXMLProfile over an XML document of its own, recording every
// operation the plug-in calls ("Profile.FindChild(LoginInfo)", ...).
#pragma once

#include <string>

#include "plugin/litexml/xml.h"
#include "sim/host/host_objects.h"

namespace simhost {

class CHostProfile final : public CHostObject<CHostProfile, hostabi::TProfileTable> {
 public:
  static const hostabi::TProfileTable kTable;
  // The document is loaded from GBK text; `Loaded` says whether it parsed.
  CHostProfile(CCallLog& log, const std::string& gbkXml);
  bool Loaded() const { return loaded_; }

  // Slot 0. The document belongs to the host: a call is recorded
  // ("Profile.DeletingDestructor()") and the document kept, so that a check
  // can tell that the plug-in never made it.
  Self DeletingDestructor(unsigned flag);

  int32_t GetNodeType(hostabi::Node node);
  const char* GetNodeName(hostabi::Node node);
  const char* GetNodeText(hostabi::Node node);
  hostabi::Node GetParentNode(hostabi::Node node);
  hostabi::Node GetFirstChild(hostabi::Node node);
  hostabi::Node GetNextSibling(hostabi::Node node);
  hostabi::Node FindChild(hostabi::Node parent, const char* name);
  hostabi::Node AddNode(hostabi::Node parent, hostabi::Node after, const char* name, int32_t length, int32_t type);
  hostabi::Node FindOrAddChild(hostabi::Node parent, const char* name, int32_t type, int32_t flags);
  hostabi::Node AddPath(const char* path, int32_t type, int32_t flags);
  hostabi::Node FindPath(const char* path);
  int32_t RemoveChildrenWhere(hostabi::Node parent, const char* name, const char* attrName, const char* attrValue);
  int32_t RemoveChildren(hostabi::Node parent, const char* name);
  int32_t RemoveNode(hostabi::Node node);
  int32_t SetNodeText(hostabi::Node node, const char* text);
  int32_t SetNodeType(hostabi::Node node, int32_t type);
  const char* GetAttrName(hostabi::Attr attr);
  const char* GetAttribute(hostabi::Node node, const char* name);
  const char* GetAttrValue(hostabi::Attr attr);
  hostabi::Attr GetFirstAttr(hostabi::Node node);
  hostabi::Attr GetNextAttr(hostabi::Attr attr);
  hostabi::Attr FindAttr(hostabi::Node node, const char* name);
  hostabi::Attr AddAttr(hostabi::Node node, hostabi::Attr after);
  hostabi::Attr ResetAttribute(hostabi::Node node, const char* name);
  int32_t SetAttribute(hostabi::Node node, const char* name, const char* value);
  int32_t SetAttr(hostabi::Attr attr, const char* name, const char* value);
  int32_t RemoveAttr(hostabi::Node node, const char* name);
  int32_t RemoveAllAttrs(hostabi::Node node);

 private:
  void Record(const char* operation, const char* text = nullptr);

  CCallLog& log_;
  litexml::CXmlDocument document_;
  bool loaded_ = false;
};

}  // namespace simhost
