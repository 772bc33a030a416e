// The plug-in's XML document over a host profile document: all 28 document
// operations are forwarded unchanged to the host's IXMLProfile, so the
// plug-in's profile reader reads the host's tree, never a copy of its own.
// Both tables begin with the destructor, so each operation goes to the same
// slot of the host's table as it has in the adapter's; the host's
// destructor is never called.
#pragma once

#include "plugin/addin/kvaddin.h"
#include "plugin/litexml/xml.h"

namespace addin {

class CXmlProfileAdapter final : public litexml::CXmlDocument {
 public:
  // `profile` must not be null; it is borrowed.
  explicit CXmlProfileAdapter(kv::IXMLProfile* profile) : CXmlDocument("ROOT", 936), host_(profile) {}

  void* DeletingDestructor(unsigned flag) override { return kv::DeleteSelf(this, flag); }

  int GetNodeType(litexml::CXmlNode* node) override;
  const char* GetNodeName(litexml::CXmlNode* node) override;
  const char* GetNodeText(litexml::CXmlNode* node) override;
  litexml::CXmlNode* GetParentNode(litexml::CXmlNode* node) override;
  litexml::CXmlNode* GetFirstChild(litexml::CXmlNode* node) override;
  litexml::CXmlNode* GetNextSibling(litexml::CXmlNode* node) override;
  litexml::CXmlNode* FindChild(litexml::CXmlNode* parent, const char* name) override;
  litexml::CXmlNode* AddNode(litexml::CXmlNode* parent, litexml::CXmlNode* after, const char* name, int length,
                             int type) override;
  litexml::CXmlNode* FindOrAddChild(litexml::CXmlNode* parent, const char* name, int type, int flags) override;
  litexml::CXmlNode* AddPath(const char* path, int type, int flags) override;
  litexml::CXmlNode* FindPath(const char* path) override;
  int RemoveChildrenWhere(litexml::CXmlNode* parent, const char* name, const char* attrName,
                          const char* attrValue) override;
  int RemoveChildren(litexml::CXmlNode* parent, const char* name) override;
  int RemoveNode(litexml::CXmlNode* node) override;
  int SetNodeText(litexml::CXmlNode* node, const char* text) override;
  int SetNodeType(litexml::CXmlNode* node, int type) override;
  const char* GetAttrName(litexml::CXmlAttr* attr) override;
  const char* GetAttribute(litexml::CXmlNode* node, const char* name) override;
  const char* GetAttrValue(litexml::CXmlAttr* attr) override;
  litexml::CXmlAttr* GetFirstAttr(litexml::CXmlNode* node) override;
  litexml::CXmlAttr* GetNextAttr(litexml::CXmlAttr* attr) override;
  litexml::CXmlAttr* FindAttr(litexml::CXmlNode* node, const char* name) override;
  litexml::CXmlAttr* AddAttr(litexml::CXmlNode* node, litexml::CXmlAttr* after) override;
  litexml::CXmlAttr* ResetAttribute(litexml::CXmlNode* node, const char* name) override;
  int SetAttribute(litexml::CXmlNode* node, const char* name, const char* value) override;
  int SetAttr(litexml::CXmlAttr* attr, const char* name, const char* value) override;
  int RemoveAttr(litexml::CXmlNode* node, const char* name) override;
  int RemoveAllAttrs(litexml::CXmlNode* node) override;

 private:
  kv::IXMLProfile* host_;
};

}  // namespace addin
