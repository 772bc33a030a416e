// The document's attribute operations.
#include <gtest/gtest.h>

#include "plugin/litexml/xml.h"
#include "xml_test_dump.h"

using namespace litexml;
using testing_support::Dump;
using testing_support::Load;

namespace {

class XmlAttrs : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_EQ(Load(doc, "<r><n a='1' B=\"2\" a=\"3\"/></r>"), 1);
    n = doc.FindChild(doc.GetFirstChild(nullptr), "n");
    ASSERT_NE(n, nullptr);
  }
  CXmlDocument doc;
  CXmlNode* n = nullptr;
};

}  // namespace

TEST_F(XmlAttrs, ReadsInOrderAndFindsTheFirstOfAName) {
  CXmlAttr* a = doc.GetFirstAttr(n);
  EXPECT_STREQ(doc.GetAttrName(a), "a");
  EXPECT_STREQ(doc.GetAttrValue(a), "1");
  CXmlAttr* b = doc.GetNextAttr(a);
  EXPECT_STREQ(doc.GetAttrName(b), "B");
  EXPECT_EQ(doc.FindAttr(n, "b"), b);
  EXPECT_EQ(doc.FindAttr(n, "A"), a);
  EXPECT_STREQ(doc.GetAttribute(n, "A"), "1");
  EXPECT_STREQ(doc.GetAttribute(n, "b"), "2");
  EXPECT_EQ(doc.GetAttribute(n, "c"), nullptr);
  EXPECT_EQ(doc.GetAttribute(n, nullptr), nullptr);
  EXPECT_EQ(doc.GetAttribute(nullptr, "a"), nullptr);
  EXPECT_EQ(doc.FindAttr(n, nullptr), nullptr);
  EXPECT_EQ(doc.GetFirstAttr(nullptr), nullptr);
  EXPECT_EQ(doc.GetNextAttr(nullptr), nullptr);
  EXPECT_EQ(doc.GetAttrName(nullptr), nullptr);
  EXPECT_EQ(doc.GetAttrValue(nullptr), nullptr);
}

TEST_F(XmlAttrs, AddAttrInsertsAnEmptyAttributeAfterTheGivenOne) {
  CXmlAttr* a = doc.GetFirstAttr(n);
  CXmlAttr* added = doc.AddAttr(n, a);
  ASSERT_NE(added, nullptr);
  EXPECT_STREQ(doc.GetAttrName(added), "");
  EXPECT_STREQ(doc.GetAttrValue(added), "");
  EXPECT_EQ(doc.SetAttr(added, "x", "9"), 1);
  EXPECT_EQ(Dump(doc), "r#2{n#1[a=1,x=9,B=2,a=3]}") << "the rest of the list is kept";
  CXmlAttr* last = doc.AddAttr(n, nullptr);
  doc.SetAttr(last, "z", nullptr);
  EXPECT_EQ(Dump(doc), "r#2{n#1[a=1,x=9,B=2,a=3,z=]}");
  // An attribute of another node does not place the new one.
  CXmlNode* r = doc.GetFirstChild(nullptr);
  CXmlAttr* own = doc.AddAttr(r, a);
  doc.SetAttr(own, "own", "1");
  EXPECT_EQ(Dump(doc), "r#2[own=1]{n#1[a=1,x=9,B=2,a=3,z=]}");
  EXPECT_EQ(doc.AddAttr(nullptr, nullptr), nullptr);
}

TEST_F(XmlAttrs, SetAttributeFindsOrAppends) {
  EXPECT_EQ(doc.SetAttribute(n, "A", "one"), 1);
  EXPECT_EQ(doc.SetAttribute(n, "c", "new"), 1);
  EXPECT_EQ(Dump(doc), "r#2{n#1[a=one,B=2,a=3,c=new]}");
  EXPECT_EQ(doc.SetAttribute(n, "c", doc.GetAttribute(n, "c")), 1) << "its own value";
  EXPECT_STREQ(doc.GetAttribute(n, "c"), "new");
  EXPECT_EQ(doc.SetAttribute(nullptr, "c", "v"), 0);
  EXPECT_EQ(doc.SetAttribute(n, nullptr, "v"), 0);
  EXPECT_EQ(doc.SetAttribute(n, "c", nullptr), 0);
}

TEST_F(XmlAttrs, ResetAttributeEmptiesOrAppends) {
  CXmlAttr* b = doc.ResetAttribute(n, "b");
  EXPECT_STREQ(doc.GetAttrName(b), "B");
  EXPECT_STREQ(doc.GetAttrValue(b), "");
  CXmlAttr* d = doc.ResetAttribute(n, "d");
  EXPECT_STREQ(doc.GetAttrName(d), "d");
  EXPECT_EQ(Dump(doc), "r#2{n#1[a=1,B=,a=3,d=]}");
  EXPECT_EQ(doc.ResetAttribute(n, nullptr), nullptr);
  EXPECT_EQ(doc.ResetAttribute(nullptr, "d"), nullptr);
}

TEST_F(XmlAttrs, SetAttrChangesOnlyWhatIsGiven) {
  CXmlAttr* b = doc.FindAttr(n, "B");
  EXPECT_EQ(doc.SetAttr(b, nullptr, "20"), 1);
  EXPECT_EQ(doc.SetAttr(b, "bee", nullptr), 1);
  EXPECT_EQ(Dump(doc), "r#2{n#1[a=1,bee=20,a=3]}");
  // Swapping name and value through the document's own texts.
  EXPECT_EQ(doc.SetAttr(b, doc.GetAttrValue(b), doc.GetAttrName(b)), 1);
  EXPECT_EQ(Dump(doc), "r#2{n#1[a=1,20=bee,a=3]}");
  EXPECT_EQ(doc.SetAttr(nullptr, "x", "y"), 0);
}

TEST_F(XmlAttrs, RemoveAttrTakesEveryAttributeOfTheName) {
  EXPECT_EQ(doc.RemoveAttr(n, "A"), 1);
  EXPECT_EQ(Dump(doc), "r#2{n#1[B=2]}");
  EXPECT_EQ(doc.RemoveAttr(n, "missing"), 1);
  EXPECT_EQ(doc.RemoveAllAttrs(n), 1);
  EXPECT_EQ(Dump(doc), "r#2{n#1}");
  EXPECT_EQ(doc.RemoveAllAttrs(nullptr), 1);
  EXPECT_EQ(doc.RemoveAttr(nullptr, "a"), 1);
}
