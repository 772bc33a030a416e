// The plug-in's XML loader takes the host's KvOem.xml and profiles as they
// are: any bytes must load or fail cleanly, inside the buffer, and leave a
// well-formed tree that every operation can walk and change.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "plugin/collection/clibverify.h"
#include "plugin/litexml/xml.h"
#include "plugin/litexml/xmlprofile.h"

using namespace litexml;

namespace {

// Reports would only be noise here; none is expected.
class QuietSink final : public coll::IVerifySink {
 public:
  void Show(const std::string&) override { __builtin_trap(); }
};

void Check(bool condition) {
  if (!condition) __builtin_trap();
}

// Walks the whole tree without recursion and checks its links and types;
// every text is read to its end.
size_t Walk(CXmlDocument& doc) {
  size_t count = 0;
  size_t bytes = 0;
  std::vector<CXmlNode*> stack;
  for (CXmlNode* n = doc.GetFirstChild(nullptr); n; n = doc.GetNextSibling(n)) {
    Check(doc.GetParentNode(n) == nullptr);
    stack.push_back(n);
  }
  while (!stack.empty()) {
    CXmlNode* node = stack.back();
    stack.pop_back();
    ++count;
    const int type = doc.GetNodeType(node);
    Check(type >= kXmlDeclaration && type <= kXmlText);
    Check(doc.GetNodeName(node) != nullptr);
    bytes += std::strlen(doc.GetNodeName(node));
    for (CXmlAttr* a = doc.GetFirstAttr(node); a; a = doc.GetNextAttr(a))
      bytes += std::strlen(doc.GetAttrName(a)) + std::strlen(doc.GetAttrValue(a));
    for (CXmlNode* c = doc.GetFirstChild(node); c; c = doc.GetNextSibling(c)) {
      Check(doc.GetParentNode(c) == node);
      Check(type == kXmlElement);
      stack.push_back(c);
    }
  }
  Check(bytes < SIZE_MAX);
  return count;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static QuietSink sink;
  static coll::IVerifySink* const previous = coll::SetVerifySink(&sink);
  (void)previous;
  if (size == 0) return 0;
  // The first byte picks the requested code page; the rest is the file,
  // copied to a block of exactly its size so that any over-read is caught.
  static const int kCodePages[] = {936, 950, 65001, 0};
  const int codePage = kCodePages[data[0] % 4];
  const size_t length = size - 1;
  std::unique_ptr<uint8_t[]> bytes(new uint8_t[length ? length : 1]);
  if (length) std::memcpy(bytes.get(), data + 1, length);

  CXmlDocument doc("ProfileOfOEM", 936);
  const int loaded = doc.LoadBuffer(bytes.get(), static_cast<int64_t>(length), codePage);
  if (!loaded) {
    // A failed load leaves only the root element.
    CXmlNode* root = doc.GetFirstChild(nullptr);
    Check(root && !doc.GetNextSibling(root) && !doc.GetFirstChild(root) && !doc.GetFirstAttr(root));
    Check(std::strcmp(doc.GetNodeName(root), "ProfileOfOEM") == 0);
  }
  Walk(doc);
  doc.GetString("ProfileOfOEM/Common/Debug", "Trace", "");
  doc.GetString("//Common", nullptr, "");

  CXmlProfileReader reader(&doc, 1, 1);
  int value = 0;
  reader.RootSection().Child("LoginInfo").Child("Configs").ReadSetting("wtcontrol", "SHOWCJHS", &value, 1);

  // Changes on whatever was loaded keep the tree sound.
  CXmlNode* first = doc.GetFirstChild(nullptr);
  CXmlNode* added = doc.AddPath("//Fuzz/Added", kXmlElement, 0);
  if (added) {
    Check(doc.SetAttribute(added, "k", "v") == 1);
    Check(std::strcmp(doc.GetAttribute(added, "K"), "v") == 0);
  }
  if (first) {
    doc.RemoveChildrenWhere(first, nullptr, "id", nullptr);
    doc.RemoveChildren(doc.GetFirstChild(first), nullptr);
    doc.SetNodeText(doc.GetFirstChild(first), "text");
  }
  Walk(doc);
  // A removal never leaves the top level empty: the root element comes back.
  if (doc.RemoveNode(doc.GetFirstChild(nullptr))) Check(doc.GetFirstChild(nullptr) != nullptr);
  doc.Clear();
  Check(Walk(doc) == 1);
  return 0;
}
