#include "sim/host/host_profile.h"

#include "base/gbk.h"

namespace simhost {
namespace {

litexml::CXmlNode* N(kv::KvXmlNode node) { return static_cast<litexml::CXmlNode*>(node); }
litexml::CXmlAttr* A(kv::KvXmlAttr attr) { return static_cast<litexml::CXmlAttr*>(attr); }

}  // namespace

CHostProfile::CHostProfile(CCallLog& log, const std::string& gbkXml) : log_(log), document_("ROOT", 936) {
  loaded_ = document_.LoadBuffer(gbkXml.data(), static_cast<int64_t>(gbkXml.size()), 936) != 0;
}

void CHostProfile::Record(const char* operation, const char* text) {
  log_.Add(std::string("Profile.") + operation + "(" + (text ? base::GbkToUtf8Lossy(text) : "") + ")");
}

int32_t CHostProfile::GetNodeType(kv::KvXmlNode node) {
  Record("GetNodeType");
  return document_.GetNodeType(N(node));
}
const char* CHostProfile::GetNodeName(kv::KvXmlNode node) {
  Record("GetNodeName");
  return document_.GetNodeName(N(node));
}
const char* CHostProfile::GetNodeText(kv::KvXmlNode node) {
  Record("GetNodeText");
  return document_.GetNodeText(N(node));
}
kv::KvXmlNode CHostProfile::GetParentNode(kv::KvXmlNode node) {
  Record("GetParentNode");
  return document_.GetParentNode(N(node));
}
kv::KvXmlNode CHostProfile::GetFirstChild(kv::KvXmlNode node) {
  Record("GetFirstChild");
  return document_.GetFirstChild(N(node));
}
kv::KvXmlNode CHostProfile::GetNextSibling(kv::KvXmlNode node) {
  Record("GetNextSibling");
  return document_.GetNextSibling(N(node));
}
kv::KvXmlNode CHostProfile::FindChild(kv::KvXmlNode parent, const char* name) {
  Record("FindChild", name);
  return document_.FindChild(N(parent), name);
}
kv::KvXmlNode CHostProfile::AddNode(kv::KvXmlNode parent, kv::KvXmlNode after, const char* name, int32_t length,
                                    int32_t type) {
  Record("AddNode", name);
  return document_.AddNode(N(parent), N(after), name, length, type);
}
kv::KvXmlNode CHostProfile::FindOrAddChild(kv::KvXmlNode parent, const char* name, int32_t type, int32_t flags) {
  Record("FindOrAddChild", name);
  return document_.FindOrAddChild(N(parent), name, type, flags);
}
kv::KvXmlNode CHostProfile::AddPath(const char* path, int32_t type, int32_t flags) {
  Record("AddPath", path);
  return document_.AddPath(path, type, flags);
}
kv::KvXmlNode CHostProfile::FindPath(const char* path) {
  Record("FindPath", path);
  return document_.FindPath(path);
}
int32_t CHostProfile::RemoveChildrenWhere(kv::KvXmlNode parent, const char* name, const char* attrName,
                                          const char* attrValue) {
  Record("RemoveChildrenWhere", name);
  return document_.RemoveChildrenWhere(N(parent), name, attrName, attrValue);
}
int32_t CHostProfile::RemoveChildren(kv::KvXmlNode parent, const char* name) {
  Record("RemoveChildren", name);
  return document_.RemoveChildren(N(parent), name);
}
int32_t CHostProfile::RemoveNode(kv::KvXmlNode node) {
  Record("RemoveNode");
  return document_.RemoveNode(N(node));
}
int32_t CHostProfile::SetNodeText(kv::KvXmlNode node, const char* text) {
  Record("SetNodeText", text);
  return document_.SetNodeText(N(node), text);
}
int32_t CHostProfile::SetNodeType(kv::KvXmlNode node, int32_t type) {
  Record("SetNodeType");
  return document_.SetNodeType(N(node), type);
}
const char* CHostProfile::GetAttrName(kv::KvXmlAttr attr) {
  Record("GetAttrName");
  return document_.GetAttrName(A(attr));
}
const char* CHostProfile::GetAttribute(kv::KvXmlNode node, const char* name) {
  Record("GetAttribute", name);
  return document_.GetAttribute(N(node), name);
}
const char* CHostProfile::GetAttrValue(kv::KvXmlAttr attr) {
  Record("GetAttrValue");
  return document_.GetAttrValue(A(attr));
}
kv::KvXmlAttr CHostProfile::GetFirstAttr(kv::KvXmlNode node) {
  Record("GetFirstAttr");
  return document_.GetFirstAttr(N(node));
}
kv::KvXmlAttr CHostProfile::GetNextAttr(kv::KvXmlAttr attr) {
  Record("GetNextAttr");
  return document_.GetNextAttr(A(attr));
}
kv::KvXmlAttr CHostProfile::FindAttr(kv::KvXmlNode node, const char* name) {
  Record("FindAttr", name);
  return document_.FindAttr(N(node), name);
}
kv::KvXmlAttr CHostProfile::AddAttr(kv::KvXmlNode node, kv::KvXmlAttr after) {
  Record("AddAttr");
  return document_.AddAttr(N(node), A(after));
}
kv::KvXmlAttr CHostProfile::ResetAttribute(kv::KvXmlNode node, const char* name) {
  Record("ResetAttribute", name);
  return document_.ResetAttribute(N(node), name);
}
int32_t CHostProfile::SetAttribute(kv::KvXmlNode node, const char* name, const char* value) {
  Record("SetAttribute", name);
  return document_.SetAttribute(N(node), name, value);
}
int32_t CHostProfile::SetAttr(kv::KvXmlAttr attr, const char* name, const char* value) {
  Record("SetAttr", name);
  return document_.SetAttr(A(attr), name, value);
}
int32_t CHostProfile::RemoveAttr(kv::KvXmlNode node, const char* name) {
  Record("RemoveAttr", name);
  return document_.RemoveAttr(N(node), name);
}
int32_t CHostProfile::RemoveAllAttrs(kv::KvXmlNode node) {
  Record("RemoveAllAttrs");
  return document_.RemoveAllAttrs(N(node));
}

}  // namespace simhost
