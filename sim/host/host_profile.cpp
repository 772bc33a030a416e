#include "sim/host/host_profile.h"

#include "base/gbk.h"

namespace simhost {
namespace {

litexml::CXmlNode* N(hostabi::Node node) { return static_cast<litexml::CXmlNode*>(node); }
litexml::CXmlAttr* A(hostabi::Attr attr) { return static_cast<litexml::CXmlAttr*>(attr); }

}  // namespace

const hostabi::TProfileTable CHostProfile::kTable = {
    HOST_THUNK(CHostProfile::DeletingDestructor),
    HOST_THUNK(CHostProfile::GetNodeType),
    HOST_THUNK(CHostProfile::GetNodeName),
    HOST_THUNK(CHostProfile::GetNodeText),
    HOST_THUNK(CHostProfile::GetParentNode),
    HOST_THUNK(CHostProfile::GetFirstChild),
    HOST_THUNK(CHostProfile::GetNextSibling),
    HOST_THUNK(CHostProfile::FindChild),
    HOST_THUNK(CHostProfile::AddNode),
    HOST_THUNK(CHostProfile::FindOrAddChild),
    HOST_THUNK(CHostProfile::AddPath),
    HOST_THUNK(CHostProfile::FindPath),
    HOST_THUNK(CHostProfile::RemoveChildrenWhere),
    HOST_THUNK(CHostProfile::RemoveChildren),
    HOST_THUNK(CHostProfile::RemoveNode),
    HOST_THUNK(CHostProfile::SetNodeText),
    HOST_THUNK(CHostProfile::SetNodeType),
    HOST_THUNK(CHostProfile::GetAttrName),
    HOST_THUNK(CHostProfile::GetAttribute),
    HOST_THUNK(CHostProfile::GetAttrValue),
    HOST_THUNK(CHostProfile::GetFirstAttr),
    HOST_THUNK(CHostProfile::GetNextAttr),
    HOST_THUNK(CHostProfile::FindAttr),
    HOST_THUNK(CHostProfile::AddAttr),
    HOST_THUNK(CHostProfile::ResetAttribute),
    HOST_THUNK(CHostProfile::SetAttribute),
    HOST_THUNK(CHostProfile::SetAttr),
    HOST_THUNK(CHostProfile::RemoveAttr),
    HOST_THUNK(CHostProfile::RemoveAllAttrs),
};

CHostProfile::CHostProfile(CCallLog& log, const std::string& gbkXml) : log_(log), document_("ROOT", 936) {
  loaded_ = document_.LoadBuffer(gbkXml.data(), static_cast<int64_t>(gbkXml.size()), 936) != 0;
}

void CHostProfile::Record(const char* operation, const char* text) {
  log_.Add(std::string("Profile.") + operation + "(" + (text ? base::GbkToUtf8Lossy(text) : "") + ")");
}

Self CHostProfile::DeletingDestructor(unsigned) {
  Record("DeletingDestructor");
  return Abi();
}
int32_t CHostProfile::GetNodeType(hostabi::Node node) {
  Record("GetNodeType");
  return document_.GetNodeType(N(node));
}
const char* CHostProfile::GetNodeName(hostabi::Node node) {
  Record("GetNodeName");
  return document_.GetNodeName(N(node));
}
const char* CHostProfile::GetNodeText(hostabi::Node node) {
  Record("GetNodeText");
  return document_.GetNodeText(N(node));
}
hostabi::Node CHostProfile::GetParentNode(hostabi::Node node) {
  Record("GetParentNode");
  return document_.GetParentNode(N(node));
}
hostabi::Node CHostProfile::GetFirstChild(hostabi::Node node) {
  Record("GetFirstChild");
  return document_.GetFirstChild(N(node));
}
hostabi::Node CHostProfile::GetNextSibling(hostabi::Node node) {
  Record("GetNextSibling");
  return document_.GetNextSibling(N(node));
}
hostabi::Node CHostProfile::FindChild(hostabi::Node parent, const char* name) {
  Record("FindChild", name);
  return document_.FindChild(N(parent), name);
}
hostabi::Node CHostProfile::AddNode(hostabi::Node parent, hostabi::Node after, const char* name, int32_t length,
                                    int32_t type) {
  Record("AddNode", name);
  return document_.AddNode(N(parent), N(after), name, length, type);
}
hostabi::Node CHostProfile::FindOrAddChild(hostabi::Node parent, const char* name, int32_t type, int32_t flags) {
  Record("FindOrAddChild", name);
  return document_.FindOrAddChild(N(parent), name, type, flags);
}
hostabi::Node CHostProfile::AddPath(const char* path, int32_t type, int32_t flags) {
  Record("AddPath", path);
  return document_.AddPath(path, type, flags);
}
hostabi::Node CHostProfile::FindPath(const char* path) {
  Record("FindPath", path);
  return document_.FindPath(path);
}
int32_t CHostProfile::RemoveChildrenWhere(hostabi::Node parent, const char* name, const char* attrName,
                                          const char* attrValue) {
  Record("RemoveChildrenWhere", name);
  return document_.RemoveChildrenWhere(N(parent), name, attrName, attrValue);
}
int32_t CHostProfile::RemoveChildren(hostabi::Node parent, const char* name) {
  Record("RemoveChildren", name);
  return document_.RemoveChildren(N(parent), name);
}
int32_t CHostProfile::RemoveNode(hostabi::Node node) {
  Record("RemoveNode");
  return document_.RemoveNode(N(node));
}
int32_t CHostProfile::SetNodeText(hostabi::Node node, const char* text) {
  Record("SetNodeText", text);
  return document_.SetNodeText(N(node), text);
}
int32_t CHostProfile::SetNodeType(hostabi::Node node, int32_t type) {
  Record("SetNodeType");
  return document_.SetNodeType(N(node), type);
}
const char* CHostProfile::GetAttrName(hostabi::Attr attr) {
  Record("GetAttrName");
  return document_.GetAttrName(A(attr));
}
const char* CHostProfile::GetAttribute(hostabi::Node node, const char* name) {
  Record("GetAttribute", name);
  return document_.GetAttribute(N(node), name);
}
const char* CHostProfile::GetAttrValue(hostabi::Attr attr) {
  Record("GetAttrValue");
  return document_.GetAttrValue(A(attr));
}
hostabi::Attr CHostProfile::GetFirstAttr(hostabi::Node node) {
  Record("GetFirstAttr");
  return document_.GetFirstAttr(N(node));
}
hostabi::Attr CHostProfile::GetNextAttr(hostabi::Attr attr) {
  Record("GetNextAttr");
  return document_.GetNextAttr(A(attr));
}
hostabi::Attr CHostProfile::FindAttr(hostabi::Node node, const char* name) {
  Record("FindAttr", name);
  return document_.FindAttr(N(node), name);
}
hostabi::Attr CHostProfile::AddAttr(hostabi::Node node, hostabi::Attr after) {
  Record("AddAttr");
  return document_.AddAttr(N(node), A(after));
}
hostabi::Attr CHostProfile::ResetAttribute(hostabi::Node node, const char* name) {
  Record("ResetAttribute", name);
  return document_.ResetAttribute(N(node), name);
}
int32_t CHostProfile::SetAttribute(hostabi::Node node, const char* name, const char* value) {
  Record("SetAttribute", name);
  return document_.SetAttribute(N(node), name, value);
}
int32_t CHostProfile::SetAttr(hostabi::Attr attr, const char* name, const char* value) {
  Record("SetAttr", name);
  return document_.SetAttr(A(attr), name, value);
}
int32_t CHostProfile::RemoveAttr(hostabi::Node node, const char* name) {
  Record("RemoveAttr", name);
  return document_.RemoveAttr(N(node), name);
}
int32_t CHostProfile::RemoveAllAttrs(hostabi::Node node) {
  Record("RemoveAllAttrs");
  return document_.RemoveAllAttrs(N(node));
}

}  // namespace simhost
