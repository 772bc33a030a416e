// The parser: what it builds and what it refuses.
#include <gtest/gtest.h>

#include <memory>

#include "plugin/litexml/xml.h"
#include "xml_test_dump.h"

using namespace litexml;
using testing_support::Dump;
using testing_support::Load;

namespace {

const std::string kKvOem =
    "<?xml version=\"1.0\" encoding=\"GB2312\"?>\r\n"
    "<ProfileOfOEM>\r\n"
    "  <Common>\r\n"
    "    <Debug Trace=\"YES\"/>\r\n"
    "  </Common>\r\n"
    "</ProfileOfOEM>\r\n";

// Loads from a heap block of exactly the text's size, so that a read past
// the end would leave the block.
int LoadExact(CXmlDocument& doc, const std::string& text) {
  std::unique_ptr<char[]> block(new char[text.size() ? text.size() : 1]);
  std::copy(text.begin(), text.end(), block.get());
  return doc.LoadBuffer(block.get(), static_cast<int64_t>(text.size()), 936);
}

}  // namespace

TEST(XmlParse, ReadsTheHostProfileShape) {
  CXmlDocument doc("ProfileOfOEM", 936);
  ASSERT_EQ(Load(doc, kKvOem), 1);
  EXPECT_STREQ(doc.GetString("ProfileOfOEM/Common/Debug", "Trace", ""), "YES");
  CXmlNode* decl = doc.GetFirstChild(nullptr);
  EXPECT_EQ(doc.GetNodeType(decl), kXmlDeclaration);
  EXPECT_STREQ(doc.GetNodeName(decl), "xml");
  CXmlNode* root = doc.GetNextSibling(decl);
  EXPECT_EQ(doc.GetNodeType(root), kXmlElement);
  EXPECT_STREQ(doc.GetNodeName(root), "ProfileOfOEM");
  EXPECT_EQ(doc.GetNodeType(doc.FindPath("ProfileOfOEM/Common/Debug")), kXmlEmptyElement);
  EXPECT_EQ(Dump(doc), "xml#0[version=1.0,encoding=GB2312] ProfileOfOEM#2{Common#2{Debug#1[Trace=YES]}}");
  EXPECT_EQ(doc.DeclaredEncoding(), 936);
  EXPECT_EQ(doc.SourceCodePage(), 936);
  EXPECT_FLOAT_EQ(doc.Version(), 1.0f);
}

TEST(XmlParse, CommentBeforeTheRootFailsTheLoad) {
  CXmlDocument doc("ProfileOfOEM", 936);
  const std::string withComment = "<?xml version=\"1.0\" encoding=\"GB2312\"?>\r\n<!-- trace switch -->\r\n" +
                                  kKvOem.substr(kKvOem.find("<ProfileOfOEM>"));
  EXPECT_EQ(Load(doc, withComment), 0);
  EXPECT_STREQ(doc.GetString("ProfileOfOEM/Common/Debug", "Trace", "dflt"), "dflt");
  EXPECT_EQ(Dump(doc), "ProfileOfOEM#2") << "only the root element is left";
}

TEST(XmlParse, AttributesInBothQuotesTextAndEmptyChild) {
  CXmlDocument doc;
  ASSERT_EQ(Load(doc, "<a x='1' y=\"2\">hi <b/></a>"), 1);
  EXPECT_EQ(Dump(doc), "a#2[x=1,y=2]{\"hi\" b#1}");
}

TEST(XmlParse, ClosingTagsMatchIgnoringCase) {
  CXmlDocument doc;
  EXPECT_EQ(Load(doc, "<a></A>"), 1);
  EXPECT_EQ(Load(doc, "<a>< / a  ></a>"), 0) << "a blank between < and / starts a tag without a name";
  EXPECT_EQ(Load(doc, "<a></ a \t>"), 1);
  EXPECT_EQ(Load(doc, "<a></b>"), 0);
  EXPECT_EQ(Dump(doc), "a#2") << "failure leaves the root element, named as before the load";
}

TEST(XmlParse, TextIsTrimmedAndKeptRaw) {
  CXmlDocument doc;
  ASSERT_EQ(Load(doc, "<r>\r\n  one &amp; two \t\r\n<x/>  \xD6\xD0 &lt;  </r>"), 1);
  EXPECT_EQ(Dump(doc), "r#2{\"one &amp; two\" x#1 \"\xD6\xD0 &lt;\"}");
}

TEST(XmlParse, AttributeValuesAreTakenAsTheyAre) {
  CXmlDocument doc;
  ASSERT_EQ(Load(doc, "<r a = \"x>y<z\"\r\n\tb='say \"hi\"' c=\"line1\r\nline2\" d=''/>"), 1);
  CXmlNode* r = doc.GetFirstChild(nullptr);
  EXPECT_STREQ(doc.GetAttribute(r, "a"), "x>y<z");
  EXPECT_STREQ(doc.GetAttribute(r, "b"), "say \"hi\"");
  EXPECT_STREQ(doc.GetAttribute(r, "c"), "line1\r\nline2");
  EXPECT_STREQ(doc.GetAttribute(r, "d"), "");
  EXPECT_EQ(Load(doc, "<r a=\"1\"b='2'/>"), 1) << "no blank needed between attributes";
  EXPECT_EQ(Dump(doc), "r#1[a=1,b=2]");
}

TEST(XmlParse, RefusesWhatItDoesNotKnow) {
  const char* refused[] = {
      "<r><![CDATA[x]]></r>",          // CDATA
      "<!DOCTYPE r><r/>",              // document type
      "<r a=1/>",                      // unquoted value
      "<r a/>",                        // attribute without value
      "<r a '1'/>",                    // no "="
      "<r a=\"1/>",                    // value without its closing quote
      "<r>",                           // unclosed element
      "<r><s></r>",                    // wrong closing tag
      "hello<r/>",                     // text outside the root
      "<r/>tail",                      // text after the root
      "<r>text",                       // text without a following tag
      "</r>",                          // closing tag without an open element
      "<r></>",                        // empty closing tag
      "<r></r",                        // closing tag without ">"
      "<r\n/>",                        // a name ends at a line break
      "<r a\r='1'/>",                  // so does an attribute name
      "<r",                            // the end inside a name
      "<r a='1'",                      // the end inside a tag
      "<",                             // nothing after "<"
      "<=r/>",                         // a name starting with a delimiter
      "<r?>",                          // "?>" closing an element
      "<?xml version=\"1.0\"/><r/>",   // "/>" closing a declaration
      "<?xml version=\"1.0\"><r/>",    // ">" closing a declaration
      "<r/ >",                         // "/" not followed by ">"
      "<r>&#20013;<</r>",              // "<" followed by "<"
  };
  for (const char* text : refused) {
    CXmlDocument doc("Keep");
    EXPECT_EQ(Load(doc, text), 0) << text;
    EXPECT_EQ(Dump(doc), "Keep#2") << text;
  }
}

TEST(XmlParse, AcceptsWhatTheRulesAllow) {
  CXmlDocument doc;
  EXPECT_EQ(Load(doc, "< r\t/>"), 1) << "white space before the name";
  EXPECT_EQ(Dump(doc), "r#1");
  EXPECT_EQ(Load(doc, "<r a='1'\r\n  b='2'\r\n/>"), 1) << "line breaks between attributes";
  EXPECT_EQ(Load(doc, "<r><?pi x=\"1\"?></r>"), 1) << "a declaration inside an element";
  EXPECT_EQ(Dump(doc), "r#2{pi#0[x=1]}");
  EXPECT_EQ(Load(doc, "<!--x-->x</!--x-->"), 1) << "a comment-like name is just a name";
}

TEST(XmlParse, EmptyInputLoadsAnEmptyDocument) {
  CXmlDocument doc;
  EXPECT_EQ(Load(doc, ""), 1);
  EXPECT_EQ(doc.GetFirstChild(nullptr), nullptr);
  EXPECT_EQ(Load(doc, " \r\n\t"), 1);
  EXPECT_EQ(Load(doc, "<?xml version=\"1.0\"?>"), 1);
  EXPECT_EQ(Dump(doc), "xml#0[version=1.0]");
}

TEST(XmlParse, SecondTopLevelElementIsReadIntoTheFirst) {
  CXmlDocument doc;
  ASSERT_EQ(Load(doc, "<a x=\"1\"><c/></a>\r\n<b y=\"2\"><d/><e/></b>"), 1);
  // The root takes the second name and attributes; the second element's
  // content is read from the root's start.
  EXPECT_EQ(Dump(doc), "b#2[x=1,y=2]{d#1 e#1 c#1}");
  EXPECT_STREQ(doc.RootName(), "b");
  ASSERT_EQ(Load(doc, "<a><c/></a><b/>"), 1);
  EXPECT_EQ(Dump(doc), "b#2{c#1}") << "an empty second element keeps the content";
}

TEST(XmlParse, DoubleByteNamesAndEmbeddedNuls) {
  CXmlDocument doc;
  ASSERT_EQ(Load(doc, "<\xC5\xE4\xD6\xC3 \xC3\xFB=\"\xD6\xB5\">\xCE\xC4</\xC5\xE4\xD6\xC3>"), 1);
  EXPECT_EQ(Dump(doc), "\xC5\xE4\xD6\xC3#2[\xC3\xFB=\xD6\xB5]{\"\xCE\xC4\"}");
  EXPECT_EQ(Load(doc, "<\x81\x41></\x81\x61>"), 0) << "trail bytes are not case-folded";
  static const char kWithNuls[] = "<r a=\"x\0y\">t\0u</r>";
  ASSERT_EQ(Load(doc, std::string(kWithNuls, sizeof kWithNuls - 1)), 1);
  CXmlNode* r = doc.GetFirstChild(nullptr);
  EXPECT_STREQ(doc.GetAttribute(r, "a"), "x");
  EXPECT_STREQ(doc.GetNodeText(r), "t");
}

TEST(XmlParse, EveryCutOfADocumentStaysInsideTheBuffer) {
  const std::string text = kKvOem;
  const size_t complete = text.find_last_of('>') + 1;
  for (size_t n = 0; n <= text.size(); ++n) {
    CXmlDocument doc("ProfileOfOEM");
    const int loaded = LoadExact(doc, text.substr(0, n));
    // Only the complete document, or nothing but the declaration's start
    // region that reads as an empty document, loads.
    if (n >= complete) {
      EXPECT_EQ(loaded, 1) << n;
    } else if (loaded) {
      EXPECT_EQ(doc.FindPath("ProfileOfOEM"), nullptr) << n;
    }
  }
}

TEST(XmlParse, RefusesBadArguments) {
  CXmlDocument doc("Keep");
  EXPECT_EQ(doc.LoadBuffer(nullptr, 5, 936), 0);
  EXPECT_EQ(doc.LoadBuffer("<r/>", -1, 936), 0);
  EXPECT_EQ(Dump(doc), "Keep#2");
  EXPECT_EQ(doc.LoadBuffer(nullptr, 0, 936), 1);
}
