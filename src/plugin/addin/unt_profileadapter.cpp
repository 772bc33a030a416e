#include "plugin/addin/unt_profileadapter.h"

#include "plugin/litexml/xmlprofile.h"
#include "plugin/addin/unt_addin.h"

namespace addin {
namespace {

// The host's nodes and attributes pass through the plug-in's document
// untouched: the reader only hands them back to the document's operations.
litexml::CXmlNode* Node(kv::KvXmlNode node) { return static_cast<litexml::CXmlNode*>(node); }
litexml::CXmlAttr* Attr(kv::KvXmlAttr attr) { return static_cast<litexml::CXmlAttr*>(attr); }

}  // namespace

int CXmlProfileAdapter::GetNodeType(litexml::CXmlNode* node) { return host_->GetNodeType(node); }
const char* CXmlProfileAdapter::GetNodeName(litexml::CXmlNode* node) { return host_->GetNodeName(node); }
const char* CXmlProfileAdapter::GetNodeText(litexml::CXmlNode* node) { return host_->GetNodeText(node); }
litexml::CXmlNode* CXmlProfileAdapter::GetParentNode(litexml::CXmlNode* node) {
  return Node(host_->GetParentNode(node));
}
litexml::CXmlNode* CXmlProfileAdapter::GetFirstChild(litexml::CXmlNode* node) {
  return Node(host_->GetFirstChild(node));
}
litexml::CXmlNode* CXmlProfileAdapter::GetNextSibling(litexml::CXmlNode* node) {
  return Node(host_->GetNextSibling(node));
}
litexml::CXmlNode* CXmlProfileAdapter::FindChild(litexml::CXmlNode* parent, const char* name) {
  return Node(host_->FindChild(parent, name));
}
litexml::CXmlNode* CXmlProfileAdapter::AddNode(litexml::CXmlNode* parent, litexml::CXmlNode* after, const char* name,
                                               int length, int type) {
  return Node(host_->AddNode(parent, after, name, length, type));
}
litexml::CXmlNode* CXmlProfileAdapter::FindOrAddChild(litexml::CXmlNode* parent, const char* name, int type,
                                                      int flags) {
  return Node(host_->FindOrAddChild(parent, name, type, flags));
}
litexml::CXmlNode* CXmlProfileAdapter::AddPath(const char* path, int type, int flags) {
  return Node(host_->AddPath(path, type, flags));
}
litexml::CXmlNode* CXmlProfileAdapter::FindPath(const char* path) { return Node(host_->FindPath(path)); }
int CXmlProfileAdapter::RemoveChildrenWhere(litexml::CXmlNode* parent, const char* name, const char* attrName,
                                            const char* attrValue) {
  return host_->RemoveChildrenWhere(parent, name, attrName, attrValue);
}
int CXmlProfileAdapter::RemoveChildren(litexml::CXmlNode* parent, const char* name) {
  return host_->RemoveChildren(parent, name);
}
int CXmlProfileAdapter::RemoveNode(litexml::CXmlNode* node) { return host_->RemoveNode(node); }
int CXmlProfileAdapter::SetNodeText(litexml::CXmlNode* node, const char* text) {
  return host_->SetNodeText(node, text);
}
int CXmlProfileAdapter::SetNodeType(litexml::CXmlNode* node, int type) { return host_->SetNodeType(node, type); }
const char* CXmlProfileAdapter::GetAttrName(litexml::CXmlAttr* attr) { return host_->GetAttrName(attr); }
const char* CXmlProfileAdapter::GetAttribute(litexml::CXmlNode* node, const char* name) {
  return host_->GetAttribute(node, name);
}
const char* CXmlProfileAdapter::GetAttrValue(litexml::CXmlAttr* attr) { return host_->GetAttrValue(attr); }
litexml::CXmlAttr* CXmlProfileAdapter::GetFirstAttr(litexml::CXmlNode* node) {
  return Attr(host_->GetFirstAttr(node));
}
litexml::CXmlAttr* CXmlProfileAdapter::GetNextAttr(litexml::CXmlAttr* attr) { return Attr(host_->GetNextAttr(attr)); }
litexml::CXmlAttr* CXmlProfileAdapter::FindAttr(litexml::CXmlNode* node, const char* name) {
  return Attr(host_->FindAttr(node, name));
}
litexml::CXmlAttr* CXmlProfileAdapter::AddAttr(litexml::CXmlNode* node, litexml::CXmlAttr* after) {
  return Attr(host_->AddAttr(node, after));
}
litexml::CXmlAttr* CXmlProfileAdapter::ResetAttribute(litexml::CXmlNode* node, const char* name) {
  return Attr(host_->ResetAttribute(node, name));
}
int CXmlProfileAdapter::SetAttribute(litexml::CXmlNode* node, const char* name, const char* value) {
  return host_->SetAttribute(node, name, value);
}
int CXmlProfileAdapter::SetAttr(litexml::CXmlAttr* attr, const char* name, const char* value) {
  return host_->SetAttr(attr, name, value);
}
int CXmlProfileAdapter::RemoveAttr(litexml::CXmlNode* node, const char* name) { return host_->RemoveAttr(node, name); }
int CXmlProfileAdapter::RemoveAllAttrs(litexml::CXmlNode* node) { return host_->RemoveAllAttrs(node); }

bool ReadShowTiming(kv::IXMLProfile* profile) {
  // A user without a profile reads as one without the setting.
  if (!profile) return true;
  CXmlProfileAdapter document(profile);
  litexml::CXmlProfileReader reader(&document, 1, 0);
  const litexml::CXmlSection configs = reader.RootSection().Child("LoginInfo").Child("Configs");
  int value = 1;
  configs.ReadSetting("wtcontrol", "SHOWCJHS", &value, 1);
  return value == 1;
}

}  // namespace addin
