// Differential test: generated documents within the supported subset must
// give the same tree as pugixml gives (element names, attributes in order
// with their values, text with the parser's trimming).
#if !defined(_WIN32) && defined(QV_HAVE_PUGIXML)

#include <gtest/gtest.h>
#include <pugixml.hpp>

#include <random>
#include <string>

#include "plugin/litexml/xml.h"
#include "xml_test_dump.h"

using namespace litexml;

namespace {

class Generator {
 public:
  explicit Generator(uint32_t seed) : rng_(seed) {}

  std::string Document() {
    std::string out;
    if (Chance(2)) out += "<?xml version=\"1.0\" encoding=\"GBK\"?>" + Whitespace(true);
    Element(out, 0);
    out += Whitespace(true);
    return out;
  }

 private:
  int Below(int n) { return static_cast<int>(rng_() % static_cast<uint32_t>(n)); }
  bool Chance(int oneIn) { return Below(oneIn) == 0; }

  // A GBK double-byte character from the hanzi area.
  std::string Hanzi() {
    return {static_cast<char>(0xB0 + Below(0x48)), static_cast<char>(0xA1 + Below(0x5E))};
  }

  std::string Name() {
    static const char kStart[] = "abcxyzABCXYZ_";
    static const char kRest[] = "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789_.-";
    std::string name(1, kStart[Below(sizeof kStart - 1)]);
    const int length = Below(12);
    for (int i = 0; i < length; ++i) name += Chance(6) ? Hanzi() : std::string(1, kRest[Below(sizeof kRest - 1)]);
    return name;
  }

  std::string Whitespace(bool allowEmpty) {
    static const char* const kWhite[] = {" ", "\t", "\r\n", "\n", "  "};
    std::string out;
    const int n = Below(3) + (allowEmpty ? 0 : 1);
    for (int i = 0; i < n; ++i) out += kWhite[Below(5)];
    return out;
  }

  std::string Chars(char quote) {
    static const char kChars[] = "abc XYZ 019 .,;:!?()[]{}/=>-_+*#%'\"\t\n";
    std::string out;
    const int length = Below(20);
    for (int i = 0; i < length; ++i) {
      if (Chance(5)) {
        out += Hanzi();
        continue;
      }
      const char c = kChars[Below(sizeof kChars - 1)];
      if (c != quote) out += c;
    }
    return out;
  }

  void Element(std::string& out, int depth) {
    const std::string name = Name();
    out += "<" + name;
    const int attrs = Below(4);
    for (int i = 0; i < attrs; ++i) {
      // The name ends at a blank or a tab; line breaks may come after that.
      out += Chance(2) ? " " : "\t";
      out += Whitespace(true);
      const char quote = Chance(2) ? '"' : '\'';
      out += Name() + "_" + std::to_string(i);
      out += Chance(3) ? " = " : "=";
      out += quote + Chars(quote) + quote;
    }
    if (depth > 5 || Chance(4)) {
      if (Chance(2)) {
        // A name ends at a blank or a tab, never at a line break.
        if (attrs == 0) out += Chance(2) ? " " : "\t";
        out += Whitespace(true);
      }
      out += "/>";
      return;
    }
    out += ">";
    const int children = Below(6);
    bool lastWasText = false;
    for (int i = 0; i < children; ++i) {
      out += Whitespace(true);
      if (!lastWasText && Chance(3)) {
        out += Chars('<');
        lastWasText = true;
      } else {
        Element(out, depth + 1);
        lastWasText = false;
      }
    }
    out += Whitespace(true) + "</" + name + (Chance(4) ? " >" : ">");
  }

  std::mt19937 rng_;
};

std::string TrimWhite(std::string s) {
  const auto white = [](char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; };
  while (!s.empty() && white(s.back())) s.pop_back();
  size_t i = 0;
  while (i < s.size() && white(s[i])) ++i;
  return s.substr(i);
}

// Compares `ours` (a sibling list) with pugixml's children of `theirs`.
void CompareChildren(CXmlDocument& doc, CXmlNode* ours, pugi::xml_node theirs, const std::string& where) {
  pugi::xml_node t = theirs.first_child();
  for (; ours && t; ours = doc.GetNextSibling(ours), t = t.next_sibling()) {
    const std::string at = where + "/" + doc.GetNodeName(ours);
    switch (t.type()) {
      case pugi::node_pcdata:
        ASSERT_EQ(doc.GetNodeType(ours), kXmlText) << at;
        EXPECT_EQ(doc.GetNodeName(ours), TrimWhite(t.value())) << at;
        continue;
      case pugi::node_declaration:
        ASSERT_EQ(doc.GetNodeType(ours), kXmlDeclaration) << at;
        break;
      case pugi::node_element:
        ASSERT_TRUE(doc.GetNodeType(ours) == kXmlElement || doc.GetNodeType(ours) == kXmlEmptyElement) << at;
        if (doc.GetNodeType(ours) == kXmlEmptyElement) {
          EXPECT_FALSE(t.first_child()) << at;
        }
        break;
      default:
        FAIL() << "unexpected pugixml node at " << at;
    }
    EXPECT_STREQ(doc.GetNodeName(ours), t.name()) << at;
    CXmlAttr* a = doc.GetFirstAttr(ours);
    pugi::xml_attribute ta = t.first_attribute();
    for (; a && ta; a = doc.GetNextAttr(a), ta = ta.next_attribute()) {
      EXPECT_STREQ(doc.GetAttrName(a), ta.name()) << at;
      EXPECT_STREQ(doc.GetAttrValue(a), ta.value()) << at;
    }
    EXPECT_TRUE(!a && !ta) << "attribute count differs at " << at;
    CompareChildren(doc, doc.GetFirstChild(ours), t, at);
  }
  EXPECT_TRUE(!ours && !t) << "child count differs at " << where;
}

}  // namespace

TEST(XmlDifferential, GeneratedDocumentsGiveThePugixmlTree) {
  constexpr unsigned kParse = pugi::parse_minimal | pugi::parse_declaration;
  for (uint32_t seed = 1; seed <= 400; ++seed) {
    const std::string text = Generator(seed).Document();
    pugi::xml_document theirs;
    const pugi::xml_parse_result result = theirs.load_buffer(text.data(), text.size(), kParse, pugi::encoding_utf8);
    ASSERT_TRUE(result) << "seed " << seed << ": the generator left the common subset: " << result.description();
    CXmlDocument ours;
    ASSERT_EQ(testing_support::Load(ours, text), 1) << "seed " << seed << "\n" << text;
    CompareChildren(ours, ours.GetFirstChild(nullptr), theirs, "seed " + std::to_string(seed));
    if (HasFailure()) break;
  }
}

TEST(XmlDifferential, TheHostProfileGivesThePugixmlTree) {
  const std::string text =
      "<?xml version=\"1.0\" encoding=\"GB2312\"?>\r\n"
      "<ProfileOfOEM>\r\n\t<Common>\r\n\t\t<Debug Trace=\"YES\"/>\r\n\t</Common>\r\n"
      "\t<Title DATA='\xD6\xD0\xCE\xC4'>  text \xD6\xD0  </Title>\r\n</ProfileOfOEM>\r\n";
  pugi::xml_document theirs;
  ASSERT_TRUE(theirs.load_buffer(text.data(), text.size(), pugi::parse_minimal | pugi::parse_declaration,
                                 pugi::encoding_utf8));
  CXmlDocument ours;
  ASSERT_EQ(testing_support::Load(ours, text), 1);
  CompareChildren(ours, ours.GetFirstChild(nullptr), theirs, "");
}

#endif
