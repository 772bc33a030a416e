// Test helper: a document's tree as one line of text, read through the
// document operations. An element is name#type, then [attr=value,...] and
// {children} when it has them; a text node is its text in double quotes.
#pragma once

#include <string>

#include "plugin/litexml/xml.h"

namespace testing_support {

inline std::string DumpNode(litexml::CXmlDocument& doc, litexml::CXmlNode* node) {
  if (doc.GetNodeType(node) == litexml::kXmlText) return "\"" + std::string(doc.GetNodeName(node)) + "\"";
  std::string out = std::string(doc.GetNodeName(node)) + "#" + std::to_string(doc.GetNodeType(node));
  if (litexml::CXmlAttr* a = doc.GetFirstAttr(node)) {
    out += "[";
    for (; a; a = doc.GetNextAttr(a)) {
      out += std::string(doc.GetAttrName(a)) + "=" + doc.GetAttrValue(a);
      if (doc.GetNextAttr(a)) out += ",";
    }
    out += "]";
  }
  if (litexml::CXmlNode* c = doc.GetFirstChild(node)) {
    out += "{";
    for (; c; c = doc.GetNextSibling(c)) {
      out += DumpNode(doc, c);
      if (doc.GetNextSibling(c)) out += " ";
    }
    out += "}";
  }
  return out;
}

// Every top-level node, separated by blanks.
inline std::string Dump(litexml::CXmlDocument& doc) {
  std::string out;
  for (litexml::CXmlNode* n = doc.GetFirstChild(nullptr); n; n = doc.GetNextSibling(n)) {
    if (!out.empty()) out += " ";
    out += DumpNode(doc, n);
  }
  return out;
}

// Loads text given as a string (its exact bytes).
inline int Load(litexml::CXmlDocument& doc, const std::string& bytes, int codePage = 936) {
  return doc.LoadBuffer(bytes.data(), static_cast<int64_t>(bytes.size()), codePage);
}

}  // namespace testing_support
