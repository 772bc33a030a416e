// The document's node operations: navigation, adding, texts and removals.
#include <gtest/gtest.h>

#include <cstring>

#include "plugin/litexml/xml.h"
#include "plugin_verify_recorder.h"
#include "xml_test_dump.h"

using namespace litexml;
using testing_support::Dump;
using testing_support::Load;
using testing_support::VerifyRecorder;

TEST(XmlCreate, MakesTheRootElementWithTheRootName) {
  CXmlDocument doc("ProfileOfOEM", 936);
  EXPECT_STREQ(doc.RootName(), "ProfileOfOEM");
  EXPECT_EQ(doc.CodePage(), 936);
  EXPECT_EQ(Dump(doc), "ProfileOfOEM#2");
  EXPECT_EQ(doc.SourceCodePage(), 936);
  EXPECT_EQ(doc.DeclaredEncoding(), 65001);
  EXPECT_FLOAT_EQ(doc.Version(), 1.0f);

  CXmlDocument unnamed;
  EXPECT_STREQ(unnamed.RootName(), "ROOT");
  EXPECT_EQ(Dump(unnamed), "ROOT#2");

  const std::string longName(300, 'n');
  CXmlDocument cut(longName.c_str(), 950);
  EXPECT_EQ(std::strlen(cut.RootName()), 255u);
  EXPECT_EQ(cut.CodePage(), 950);
}

TEST(XmlNavigate, NullStandsForTheTopLevelOrGivesNothing) {
  CXmlDocument doc;
  ASSERT_EQ(Load(doc, "<?xml version=\"1.0\"?><r a=\"1\"><b>hi</b><c/></r>"), 1);
  CXmlNode* decl = doc.GetFirstChild(nullptr);
  CXmlNode* r = doc.GetNextSibling(decl);
  ASSERT_NE(r, nullptr);
  EXPECT_EQ(doc.GetNodeType(decl), kXmlDeclaration);
  EXPECT_STREQ(doc.GetNodeName(decl), "xml");
  EXPECT_EQ(doc.GetParentNode(r), nullptr);
  CXmlNode* b = doc.GetFirstChild(r);
  EXPECT_EQ(doc.GetParentNode(b), r);
  EXPECT_STREQ(doc.GetNodeText(b), "hi");
  EXPECT_EQ(doc.GetNodeText(r), nullptr) << "the first child of r is an element";
  EXPECT_EQ(doc.GetNodeText(doc.GetNextSibling(b)), nullptr) << "no children";
  EXPECT_EQ(doc.GetNodeType(doc.GetFirstChild(b)), kXmlText);
  EXPECT_STREQ(doc.GetNodeName(doc.GetFirstChild(b)), "hi");

  EXPECT_EQ(doc.GetNodeType(nullptr), -1);
  EXPECT_EQ(doc.GetNodeName(nullptr), nullptr);
  EXPECT_EQ(doc.GetNodeText(nullptr), nullptr);
  EXPECT_EQ(doc.GetParentNode(nullptr), nullptr);
  EXPECT_EQ(doc.GetNextSibling(nullptr), nullptr);
}

TEST(XmlNavigate, FindChildIgnoresAsciiCaseButNotDoubleByteCharacters) {
  CXmlDocument doc;
  // Two GBK names that differ only in a trail byte that looks like 'A' / 'a'.
  ASSERT_EQ(Load(doc, "<r><Common/><x\x81" "A/><y\x81" "a/></r>"), 1);
  CXmlNode* r = doc.GetFirstChild(nullptr);
  EXPECT_STREQ(doc.GetNodeName(doc.FindChild(r, "COMMON")), "Common");
  EXPECT_STREQ(doc.GetNodeName(doc.FindChild(r, "common")), "Common");
  EXPECT_EQ(doc.FindChild(r, "Commo"), nullptr);
  EXPECT_EQ(doc.FindChild(r, "Commons"), nullptr);
  EXPECT_NE(doc.FindChild(r, "x\x81" "A"), nullptr);
  EXPECT_EQ(doc.FindChild(r, "x\x81" "a"), nullptr);
  EXPECT_EQ(doc.FindChild(r, "y\x81" "A"), nullptr);
  EXPECT_EQ(doc.FindChild(r, nullptr), nullptr);
  EXPECT_EQ(doc.FindChild(nullptr, "R"), r) << "null parent is the top level";
  EXPECT_TRUE(SameXmlName("\x81", "\x81")) << "a cut double-byte character still equals itself";
}

TEST(XmlAddNode, InsertsAfterTheGivenSiblingOrFirst) {
  CXmlDocument doc;
  CXmlNode* root = doc.GetFirstChild(nullptr);
  CXmlNode* b = doc.AddNode(root, nullptr, "b", -1, kXmlElement);
  CXmlNode* a = doc.AddNode(root, nullptr, "a", -1, kXmlElement);
  CXmlNode* c = doc.AddNode(root, b, "cdef", 1, kXmlEmptyElement);
  ASSERT_TRUE(a && b && c);
  EXPECT_EQ(Dump(doc), "ROOT#2{a#2 b#2 c#1}");
  EXPECT_EQ(doc.GetParentNode(c), root);
  EXPECT_EQ(doc.AddNode(a, b, "x", -1, 2), nullptr) << "b is not a child of a";
  EXPECT_EQ(doc.AddNode(root, nullptr, nullptr, 0, 2), nullptr);
}

TEST(XmlAddNode, TopLevelElementRenamesTheRoot) {
  CXmlDocument doc;
  CXmlNode* root = doc.GetFirstChild(nullptr);
  EXPECT_EQ(doc.AddNode(nullptr, nullptr, "Profile", -1, kXmlElement), root);
  EXPECT_STREQ(doc.RootName(), "Profile");
  EXPECT_EQ(Dump(doc), "Profile#2");
  // A declaration is an ordinary top-level node.
  CXmlNode* decl = doc.AddNode(nullptr, nullptr, "xml", 3, kXmlDeclaration);
  EXPECT_EQ(Dump(doc), "xml#0 Profile#2");
  EXPECT_EQ(doc.AddNode(nullptr, decl, "Other", -1, kXmlElement), root);
  EXPECT_EQ(Dump(doc), "xml#0 Other#2");
}

TEST(XmlAddNode, ParentWithoutAnyDocumentNodeIsReported) {
  VerifyRecorder recorder;
  CXmlDocument doc;
  CXmlDocument other;
  CXmlNode* foreign = other.GetFirstChild(nullptr);
  ASSERT_EQ(doc.RemoveNode(kXmlAllNodes), 1);
  EXPECT_EQ(doc.GetFirstChild(nullptr), nullptr);
  CXmlNode* n = doc.AddNode(foreign, nullptr, "n", -1, kXmlElement);
  ASSERT_EQ(recorder.texts.size(), 1u);
  EXPECT_EQ(recorder.texts[0], "FILE:litexml/xml.cpp LINE:630 EXCEPTION: pParentNode==NULL");
  EXPECT_EQ(doc.GetFirstChild(nullptr), n) << "the node becomes the first top-level node";
  EXPECT_EQ(doc.GetParentNode(n), nullptr);
  EXPECT_EQ(Dump(other), "ROOT#2") << "the foreign parent is untouched";
}

TEST(XmlFindOrAddChild, FindsOrAppendsAndHonoursTheFlags) {
  CXmlDocument doc;
  CXmlNode* root = doc.GetFirstChild(nullptr);
  CXmlNode* a = doc.FindOrAddChild(root, "a", kXmlEmptyElement, 0);
  EXPECT_EQ(doc.FindOrAddChild(root, "A", kXmlElement, 0), a);
  CXmlNode* b = doc.FindOrAddChild(root, "b", kXmlElement, 0);
  CXmlNode* first = doc.FindOrAddChild(root, "z", kXmlElement, kXmlInsertFirst);
  CXmlNode* again = doc.FindOrAddChild(root, "a", kXmlElement, kXmlAlwaysAdd);
  EXPECT_NE(again, a);
  EXPECT_EQ(Dump(doc), "ROOT#2{z#2 a#1 b#2 a#2}");
  // An empty element that gets a child has content.
  doc.FindOrAddChild(a, "inner", kXmlElement, 0);
  EXPECT_EQ(doc.GetNodeType(a), kXmlElement);
  // Bit 4 empties a found node.
  doc.SetAttribute(b, "k", "v");
  doc.FindOrAddChild(b, "kid", kXmlElement, 0);
  EXPECT_EQ(doc.FindOrAddChild(root, "B", kXmlElement, kXmlEmptyFound), b);
  EXPECT_EQ(doc.GetFirstChild(b), nullptr);
  EXPECT_EQ(doc.GetFirstAttr(b), nullptr);
  EXPECT_NE(first, nullptr);
}

TEST(XmlFindOrAddChild, TextAndDeclarationCannotHaveChildren) {
  CXmlDocument doc;
  ASSERT_EQ(Load(doc, "<?xml version=\"1.0\"?><r>t</r>"), 1);
  CXmlNode* decl = doc.GetFirstChild(nullptr);
  CXmlNode* text = doc.GetFirstChild(doc.GetNextSibling(decl));
  EXPECT_EQ(doc.FindOrAddChild(decl, "x", 2, 0), nullptr);
  EXPECT_EQ(doc.FindOrAddChild(text, "x", 2, 0), nullptr);
  EXPECT_EQ(doc.FindOrAddChild(nullptr, nullptr, 2, 0), nullptr);
}

TEST(XmlFindOrAddChild, TopLevelNamesTheSingleRoot) {
  CXmlDocument doc;
  ASSERT_EQ(Load(doc, "<?xml version=\"1.0\"?><ROOT><k/></ROOT>"), 1);
  CXmlNode* root = doc.GetNextSibling(doc.GetFirstChild(nullptr));
  // A nonzero type at the top level renames the root element and finds it;
  // "always add" does not add a second root.
  EXPECT_EQ(doc.FindOrAddChild(nullptr, "Profile", kXmlElement, kXmlAlwaysAdd), root);
  EXPECT_STREQ(doc.RootName(), "Profile");
  EXPECT_EQ(Dump(doc), "xml#0[version=1.0] Profile#2{k#1}");
  // Type 0 finds or adds a declaration-like node.
  EXPECT_EQ(doc.FindOrAddChild(nullptr, "XML", kXmlDeclaration, 0), doc.GetFirstChild(nullptr));
  doc.FindOrAddChild(nullptr, "pi", kXmlDeclaration, 0);
  EXPECT_EQ(Dump(doc), "xml#0[version=1.0] Profile#2{k#1} pi#0");
}

TEST(XmlNodeText, SetsTextOnlyWhereTheFirstChildIsText) {
  CXmlDocument doc;
  CXmlNode* root = doc.GetFirstChild(nullptr);
  CXmlNode* a = doc.FindOrAddChild(root, "a", kXmlEmptyElement, 0);
  EXPECT_EQ(doc.SetNodeText(a, "one"), 1);
  EXPECT_STREQ(doc.GetNodeText(a), "one");
  EXPECT_EQ(doc.GetNodeType(a), kXmlElement);
  EXPECT_EQ(doc.SetNodeText(a, "two"), 1);
  EXPECT_STREQ(doc.GetNodeText(a), "two");
  EXPECT_EQ(doc.SetNodeText(a, doc.GetNodeText(a)), 1) << "its own text";
  EXPECT_STREQ(doc.GetNodeText(a), "two");
  EXPECT_EQ(doc.SetNodeText(root, "x"), 0) << "first child is an element";
  EXPECT_EQ(doc.SetNodeText(nullptr, "x"), 0);
  EXPECT_EQ(doc.SetNodeText(a, nullptr), 0);
  EXPECT_EQ(doc.SetNodeText(doc.GetFirstChild(a), "x"), 0) << "a text node holds no text child";
  EXPECT_EQ(Dump(doc), "ROOT#2{a#2{\"two\"}}");
}

TEST(XmlNodeType, SetsAnyType) {
  CXmlDocument doc;
  CXmlNode* root = doc.GetFirstChild(nullptr);
  EXPECT_EQ(doc.SetNodeType(root, kXmlEmptyElement), 1);
  EXPECT_EQ(doc.GetNodeType(root), kXmlEmptyElement);
  EXPECT_EQ(doc.SetNodeType(nullptr, 1), 0);
}

TEST(XmlTexts, ShortTextsComeFromThePoolLongerOnesFromTheHeap) {
  CXmlDocument doc;
  CXmlNode* root = doc.GetFirstChild(nullptr);
  CXmlNode* fifteen = doc.FindOrAddChild(root, "abcdefghijklmno", 2, 0);
  CXmlNode* sixteen = doc.FindOrAddChild(root, "abcdefghijklmnop", 2, 0);
  EXPECT_EQ(fifteen->name.pooled, 1);
  EXPECT_EQ(sixteen->name.pooled, 0);
  EXPECT_STREQ(doc.GetNodeName(sixteen), "abcdefghijklmnop");
  ASSERT_EQ(doc.SetAttribute(root, "k", ""), 1);
  EXPECT_EQ(doc.GetFirstAttr(root)->value.pooled, 1);
  const std::string longValue(1000, 'v');
  ASSERT_EQ(doc.SetAttribute(root, "k", longValue.c_str()), 1);
  EXPECT_EQ(doc.GetFirstAttr(root)->value.pooled, 0);
  EXPECT_EQ(doc.GetAttribute(root, "k"), longValue);
  // Texts are copies.
  char name[] = "copied";
  CXmlNode* copied = doc.FindOrAddChild(root, name, 2, 0);
  name[0] = 'X';
  EXPECT_STREQ(doc.GetNodeName(copied), "copied");
}

TEST(XmlRemove, RemoveNodeTakesTheSubtreeAndKeepsARoot) {
  CXmlDocument doc("R");
  ASSERT_EQ(Load(doc, "<R><a><x/><y k='1'>t</y></a><b/></R>"), 1);
  CXmlNode* root = doc.GetFirstChild(nullptr);
  EXPECT_EQ(doc.RemoveNode(doc.FindChild(root, "a")), 1);
  EXPECT_EQ(Dump(doc), "R#2{b#1}");
  EXPECT_EQ(doc.RemoveNode(nullptr), 0);
  EXPECT_EQ(doc.RemoveNode(root), 1);
  EXPECT_EQ(Dump(doc), "R#2") << "a removal that empties the top level brings the root back";
  EXPECT_EQ(doc.RemoveNode(kXmlAllNodes), 1);
  EXPECT_EQ(doc.GetFirstChild(nullptr), nullptr) << "-1 leaves no root";
}

TEST(XmlRemove, RemoveChildrenByNameOrAll) {
  CXmlDocument doc;
  ASSERT_EQ(Load(doc, "<r><a/><b/><A>t</A><c/></r>"), 1);
  CXmlNode* r = doc.GetFirstChild(nullptr);
  EXPECT_EQ(doc.RemoveChildren(r, "a"), 1);
  EXPECT_EQ(Dump(doc), "r#2{b#1 c#1}");
  EXPECT_EQ(doc.RemoveChildren(r, nullptr), 1);
  EXPECT_EQ(Dump(doc), "r#2");
  EXPECT_EQ(doc.RemoveChildren(nullptr, nullptr), 1);
  EXPECT_EQ(Dump(doc), "r#2") << "the root element is created again with the root name";
}

TEST(XmlRemove, RemoveChildrenWhereMatchesNameAttributeAndValue) {
  CXmlDocument doc;
  ASSERT_EQ(Load(doc, "<r><i id='1' on='Yes'/><i id='2' on='no'/><j on='YES'/><i id='3'/></r>"), 1);
  CXmlNode* r = doc.GetFirstChild(nullptr);
  EXPECT_EQ(doc.RemoveChildrenWhere(r, "I", "ON", "yes"), 1);
  EXPECT_EQ(Dump(doc), "r#2{i#1[id=2,on=no] j#1[on=YES] i#1[id=3]}");
  EXPECT_EQ(doc.RemoveChildrenWhere(r, nullptr, "on", nullptr), 1) << "any name, any value";
  EXPECT_EQ(Dump(doc), "r#2{i#1[id=3]}");
  EXPECT_EQ(doc.RemoveChildrenWhere(r, "i", nullptr, nullptr), 1) << "no attribute name matches nothing";
  EXPECT_EQ(Dump(doc), "r#2{i#1[id=3]}");
}

TEST(XmlClear, LeavesOnlyTheRootElement) {
  CXmlDocument doc("Top");
  ASSERT_EQ(Load(doc, "<?xml version=\"1.0\"?><Top><a/></Top>"), 1);
  doc.Clear();
  EXPECT_EQ(Dump(doc), "Top#2");
}

TEST(XmlRemove, DeepTreesAreFreedWithoutRecursion) {
  // Far deeper than any stack would take recursively.
  std::string deep;
  constexpr int kDepth = 200000;
  for (int i = 0; i < kDepth; ++i) deep += "<a>";
  for (int i = 0; i < kDepth; ++i) deep += "</a>";
  CXmlDocument doc;
  ASSERT_EQ(Load(doc, deep), 1);
  doc.Clear();
  EXPECT_EQ(Dump(doc), "a#2");
}
