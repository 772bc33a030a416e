// A user's profile document as the stand-in host hands it to the plug-in:
// the host's IXMLProfile over an XML document of its own, recording every
// operation the plug-in calls ("Profile.FindChild(LoginInfo)", ...).
#pragma once

#include <string>

#include "plugin/addin/kvaddin.h"
#include "plugin/litexml/xml.h"
#include "sim/host/host_objects.h"

namespace simhost {

class CHostProfile final : public kv::IXMLProfile {
 public:
  // The document is loaded from GBK text; `Loaded` says whether it parsed.
  CHostProfile(CCallLog& log, const std::string& gbkXml);
  bool Loaded() const { return loaded_; }

  int32_t KVAPI GetNodeType(kv::KvXmlNode node) override;
  const char* KVAPI GetNodeName(kv::KvXmlNode node) override;
  const char* KVAPI GetNodeText(kv::KvXmlNode node) override;
  kv::KvXmlNode KVAPI GetParentNode(kv::KvXmlNode node) override;
  kv::KvXmlNode KVAPI GetFirstChild(kv::KvXmlNode node) override;
  kv::KvXmlNode KVAPI GetNextSibling(kv::KvXmlNode node) override;
  kv::KvXmlNode KVAPI FindChild(kv::KvXmlNode parent, const char* name) override;
  kv::KvXmlNode KVAPI AddNode(kv::KvXmlNode parent, kv::KvXmlNode after, const char* name, int32_t length,
                              int32_t type) override;
  kv::KvXmlNode KVAPI FindOrAddChild(kv::KvXmlNode parent, const char* name, int32_t type, int32_t flags) override;
  kv::KvXmlNode KVAPI AddPath(const char* path, int32_t type, int32_t flags) override;
  kv::KvXmlNode KVAPI FindPath(const char* path) override;
  int32_t KVAPI RemoveChildrenWhere(kv::KvXmlNode parent, const char* name, const char* attrName,
                                    const char* attrValue) override;
  int32_t KVAPI RemoveChildren(kv::KvXmlNode parent, const char* name) override;
  int32_t KVAPI RemoveNode(kv::KvXmlNode node) override;
  int32_t KVAPI SetNodeText(kv::KvXmlNode node, const char* text) override;
  int32_t KVAPI SetNodeType(kv::KvXmlNode node, int32_t type) override;
  const char* KVAPI GetAttrName(kv::KvXmlAttr attr) override;
  const char* KVAPI GetAttribute(kv::KvXmlNode node, const char* name) override;
  const char* KVAPI GetAttrValue(kv::KvXmlAttr attr) override;
  kv::KvXmlAttr KVAPI GetFirstAttr(kv::KvXmlNode node) override;
  kv::KvXmlAttr KVAPI GetNextAttr(kv::KvXmlAttr attr) override;
  kv::KvXmlAttr KVAPI FindAttr(kv::KvXmlNode node, const char* name) override;
  kv::KvXmlAttr KVAPI AddAttr(kv::KvXmlNode node, kv::KvXmlAttr after) override;
  kv::KvXmlAttr KVAPI ResetAttribute(kv::KvXmlNode node, const char* name) override;
  int32_t KVAPI SetAttribute(kv::KvXmlNode node, const char* name, const char* value) override;
  int32_t KVAPI SetAttr(kv::KvXmlAttr attr, const char* name, const char* value) override;
  int32_t KVAPI RemoveAttr(kv::KvXmlNode node, const char* name) override;
  int32_t KVAPI RemoveAllAttrs(kv::KvXmlNode node) override;

 private:
  void Record(const char* operation, const char* text = nullptr);

  CCallLog& log_;
  litexml::CXmlDocument document_;
  bool loaded_ = false;
};

}  // namespace simhost
