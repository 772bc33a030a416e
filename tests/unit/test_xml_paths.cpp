// Paths: FindPath, AddPath and GetString.
#include <gtest/gtest.h>

#include "plugin/litexml/xml.h"
#include "xml_test_dump.h"

using namespace litexml;
using testing_support::Dump;
using testing_support::Load;

namespace {

const char kKvOem[] =
    "<?xml version=\"1.0\" encoding=\"GB2312\"?>\r\n"
    "<ProfileOfOEM>\r\n"
    "\t<Common>\r\n"
    "\t\t<Debug Trace=\"YES\"/>\r\n"
    "\t\t<Name DATA=\"\xD6\xD0\xCE\xC4\"/>\r\n"
    "\t</Common>\r\n"
    "</ProfileOfOEM>\r\n";

class XmlPaths : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_EQ(Load(doc, kKvOem), 1);
    debug = doc.FindChild(doc.FindChild(doc.FindChild(nullptr, "ProfileOfOEM"), "Common"), "Debug");
    ASSERT_NE(debug, nullptr);
  }
  CXmlDocument doc{"ProfileOfOEM", 936};
  CXmlNode* debug = nullptr;
};

}  // namespace

TEST_F(XmlPaths, FindPathWalksFromTheTopLevel) {
  EXPECT_EQ(doc.FindPath("ProfileOfOEM/Common/Debug"), debug);
  EXPECT_EQ(doc.FindPath("profileofoem/COMMON/debug"), debug);
  EXPECT_EQ(doc.FindPath("ProfileOfOEM/Common/Missing"), nullptr);
  EXPECT_EQ(doc.FindPath("Common/Debug"), nullptr) << "not from the root element";
  EXPECT_EQ(doc.FindPath(nullptr), nullptr);
  EXPECT_EQ(doc.FindPath(""), nullptr);
  EXPECT_EQ(doc.GetNodeType(doc.FindPath("xml")), kXmlDeclaration) << "the declaration is a top-level node";
}

TEST_F(XmlPaths, BlanksTabsAndSlashRunsAreSkipped) {
  EXPECT_EQ(doc.FindPath(" ProfileOfOEM / Common // Debug "), debug);
  EXPECT_EQ(doc.FindPath("\t/ProfileOfOEM\t/\tCommon/\t/Debug\t"), debug);
  EXPECT_EQ(doc.FindPath("ProfileOfOEM/Common/Debug///"), debug);
  EXPECT_EQ(doc.FindPath("Profile OfOEM/Common/Debug"), nullptr) << "a blank inside a part is part of the name";
}

TEST_F(XmlPaths, DoubleSlashStartsAtTheRootElement) {
  EXPECT_EQ(doc.FindPath("//Common/Debug"), debug);
  EXPECT_EQ(doc.FindPath("  //Common"), doc.GetParentNode(debug));
  EXPECT_EQ(doc.FindPath("//"), doc.FindPath("ProfileOfOEM"));
  EXPECT_EQ(doc.FindPath("// /Common/Debug"), debug);
  EXPECT_EQ(doc.FindPath("/ /Common"), nullptr) << "only two slashes in a row start at the root";
}

TEST_F(XmlPaths, GetStringReadsAnAttributeWithDefaults) {
  EXPECT_STREQ(doc.GetString("ProfileOfOEM/Common/Debug", "Trace", ""), "YES");
  EXPECT_STREQ(doc.GetString("ProfileOfOEM/Common/Debug", "trace", ""), "YES");
  EXPECT_STREQ(doc.GetString("ProfileOfOEM/Common/Debug", "Level", "dflt"), "dflt");
  EXPECT_STREQ(doc.GetString("ProfileOfOEM/Common/Nothing", "Trace", "dflt"), "dflt");
  EXPECT_STREQ(doc.GetString("//Common/Name", nullptr, ""), "\xD6\xD0\xCE\xC4") << "DATA by default";
  EXPECT_EQ(doc.GetString("ProfileOfOEM/Common/Debug", "Level", nullptr), nullptr);
}

TEST(XmlAddPath, CreatesMissingPartsWithTheType) {
  CXmlDocument doc("Cfg");
  CXmlNode* leaf = doc.AddPath("Cfg/a/b/c", kXmlEmptyElement, 0);
  ASSERT_NE(leaf, nullptr);
  EXPECT_EQ(Dump(doc), "Cfg#2{a#2{b#2{c#1}}}") << "created parts that got a child have content";
  EXPECT_EQ(doc.AddPath("cfg / A // b/c", kXmlEmptyElement, 0), leaf) << "existing parts are found";
  CXmlNode* d = doc.AddPath("//a/d", kXmlElement, 0);
  EXPECT_EQ(d, doc.FindPath("Cfg/a/d"));
  doc.AddPath("//a/first", kXmlElement, kXmlInsertFirst);
  EXPECT_EQ(Dump(doc), "Cfg#2{a#2{first#2 b#2{c#1} d#2}}");
}

TEST(XmlAddPath, StopsBelowAnExistingNodeWithoutContent) {
  CXmlDocument doc;
  ASSERT_EQ(Load(doc, "<r><empty/><t>text</t></r>"), 1);
  EXPECT_EQ(doc.AddPath("r/empty/x", kXmlElement, 0), nullptr);
  EXPECT_EQ(doc.AddPath("r/t/text/x", kXmlElement, 0), nullptr) << "a text node is found by its text";
  EXPECT_EQ(Dump(doc), "r#2{empty#1 t#2{\"text\"}}");
  EXPECT_EQ(doc.AddPath(nullptr, 2, 0), nullptr);
  CXmlNode* y = doc.AddPath("//x/y", 2, 0);
  EXPECT_EQ(y, doc.FindPath("r/x/y"));
}

TEST(XmlAddPath, MissingTopLevelPartIsCreatedBesideTheRoot) {
  CXmlDocument doc;
  // A path creates the parts it misses, at the top level too; the root
  // element keeps its name.
  CXmlNode* root = doc.GetFirstChild(nullptr);
  CXmlNode* x = doc.AddPath("Settings/x", kXmlElement, 0);
  ASSERT_NE(x, nullptr);
  CXmlNode* settings = doc.GetParentNode(x);
  EXPECT_NE(settings, root);
  EXPECT_EQ(doc.GetParentNode(settings), nullptr);
  EXPECT_STREQ(doc.RootName(), "ROOT");
  EXPECT_EQ(Dump(doc), "ROOT#2 Settings#2{x#2}");
  EXPECT_EQ(doc.AddPath("settings/X", kXmlElement, 0), x) << "found again, not made twice";
  ASSERT_NE(doc.AddPath("First", kXmlEmptyElement, kXmlInsertFirst), nullptr);
  EXPECT_EQ(Dump(doc), "First#1 ROOT#2 Settings#2{x#2}") << "bit 2 puts it first";
  // After the document was emptied, the first part makes the only top-level node.
  doc.RemoveNode(kXmlAllNodes);
  EXPECT_EQ(doc.AddPath("//x", kXmlElement, 0), nullptr) << "no root element to start at";
  ASSERT_NE(doc.AddPath("New/y", kXmlEmptyElement, 0), nullptr);
  EXPECT_EQ(Dump(doc), "New#2{y#1}");
}
