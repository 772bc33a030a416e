// Loading: byte order marks, the declaration, conversion to the requested
// code page, simplified and traditional Chinese, and files.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "base/files.h"
#include "base/gbk.h"
#include "plugin/litexml/codepage.h"
#include "plugin/litexml/xml.h"
#include "support/temp_dir.h"
#include "xml_test_dump.h"

using namespace litexml;
using testing_support::Dump;
using testing_support::Load;
using testing_support::TempDir;

namespace {

const std::string kBom8 = "\xEF\xBB\xBF";
const std::string kZhongwenGbk = "\xD6\xD0\xCE\xC4";       // 中文
const std::string kZhongwenUtf8 = "\xE4\xB8\xAD\xE6\x96\x87";

std::string Utf16Bytes(const std::string& utf8, bool bigEndian, bool mark = true) {
  std::string out = mark ? (bigEndian ? "\xFE\xFF" : "\xFF\xFE") : "";
  for (char16_t u : base::Utf8ToUtf16(utf8)) {
    const char lo = static_cast<char>(u & 0xFF), hi = static_cast<char>(u >> 8);
    out += bigEndian ? hi : lo;
    out += bigEndian ? lo : hi;
  }
  return out;
}

std::string ValueOf(CXmlDocument& doc, const char* path = "r", const char* key = "v") {
  const char* v = doc.GetString(path, key, nullptr);
  return v ? v : "<missing>";
}

// A converter that treats every byte as one character and back, and
// records what it was asked; simplified "S" maps to traditional "T".
class ByteConverter final : public ICodePageConverter {
 public:
  bool Decode(int codePage, std::string_view bytes, std::u16string& out) override {
    calls.push_back("Decode " + std::to_string(codePage));
    out.assign(bytes.begin(), bytes.end());
    return true;
  }
  bool Encode(int codePage, std::u16string_view text, std::string& out) override {
    calls.push_back("Encode " + std::to_string(codePage));
    if (codePage == 1200) return false;
    out.clear();
    for (char16_t u : text) out += u < 0x100 ? static_cast<char>(u) : '?';
    return true;
  }
  bool MapChinese(std::u16string_view text, bool toTraditional, std::u16string& out) override {
    calls.push_back(toTraditional ? "ToTraditional" : "ToSimplified");
    if (!canMap) return false;
    out.assign(text);
    for (char16_t& u : out) {
      if (toTraditional && u == u'S') u = u'T';
      if (!toTraditional && u == u'T') u = u'S';
      if (u == u'X') u = 0x4E00;  // a character the target lacks
    }
    return true;
  }
  std::vector<std::string> calls;
  bool canMap = true;
};

using Calls = std::vector<std::string>;

// A document loading through the recording converter.
class XmlSimplifiedTraditional : public ::testing::Test {
 protected:
  void SetUp() override { doc.SetConverter(&conv); }
  ByteConverter conv;
  CXmlDocument doc{"Keep", 936};
};

}  // namespace

TEST(XmlLoadUtf8, MarkedUtf8IsConvertedToTheRequestedCodePage) {
  CXmlDocument doc;
  const std::string body = "<?xml version=\"1.0\" encoding=\"utf-8\"?><r v=\"" + kZhongwenUtf8 + "\"/>";
  ASSERT_EQ(Load(doc, kBom8 + body, 936), 1);
  EXPECT_EQ(ValueOf(doc), kZhongwenGbk);
  EXPECT_EQ(doc.SourceCodePage(), 65001);
  EXPECT_EQ(doc.DeclaredEncoding(), 65001);
  ASSERT_EQ(Load(doc, kBom8 + body, 65001), 1);
  EXPECT_EQ(ValueOf(doc), kZhongwenUtf8) << "UTF-8 requested: unchanged";
  EXPECT_EQ(doc.CodePage(), 65001);
}

TEST(XmlLoadUtf8, MarkWithoutAMatchingDeclarationFails) {
  CXmlDocument doc("Keep");
  const std::string body = "<r v=\"" + kZhongwenUtf8 + "\"/>";
  EXPECT_EQ(Load(doc, kBom8 + body), 0) << "no declaration";
  EXPECT_EQ(Dump(doc), "Keep#2");
  EXPECT_EQ(Load(doc, kBom8 + "<?xml version=\"1.0\" encoding=\"GBK\"?>" + body), 0);
  // Without the mark and the declaration the bytes stay as they are.
  ASSERT_EQ(Load(doc, body), 1);
  EXPECT_EQ(ValueOf(doc), kZhongwenUtf8);
  EXPECT_EQ(doc.SourceCodePage(), 0);
}

TEST(XmlLoadUtf8, DeclaredUtf8WithoutMarkIsConverted) {
  CXmlDocument doc;
  // U+0E01 (Thai) has no GBK character.
  ASSERT_EQ(Load(doc, "<?xml version=\"1.0\" encoding=\"UTF-8\"?><r v=\"" + kZhongwenUtf8 + "\xE0\xB8\x81\"/>"), 1);
  EXPECT_EQ(ValueOf(doc), kZhongwenGbk + "?");
  EXPECT_EQ(doc.SourceCodePage(), 65001);
}

TEST(XmlLoadUtf16, MarkedUtf16InBothByteOrders) {
  for (bool bigEndian : {false, true}) {
    for (const char* name : {"UTF-16", "unicode"}) {
      CXmlDocument doc;
      const std::string text =
          std::string("<?xml version=\"1.0\" encoding=\"") + name + "\"?>\r\n<r v=\"" + kZhongwenUtf8 + "\">x</r>";
      ASSERT_EQ(Load(doc, Utf16Bytes(text, bigEndian)), 1) << name << bigEndian;
      EXPECT_EQ(ValueOf(doc), kZhongwenGbk);
      EXPECT_STREQ(doc.GetNodeText(doc.FindPath("r")), "x");
      EXPECT_EQ(doc.SourceCodePage(), bigEndian ? 1201 : 1200);
    }
  }
}

TEST(XmlLoadUtf16, DeclarationMustNameUtf16) {
  CXmlDocument doc;
  EXPECT_EQ(Load(doc, Utf16Bytes("<r/>", false)), 0);
  EXPECT_EQ(Load(doc, Utf16Bytes("<?xml version=\"1.0\" encoding=\"UTF-8\"?><r/>", true)), 0);
  // Declared UTF-16 without a mark cannot be read.
  EXPECT_EQ(Load(doc, "<?xml version=\"1.0\" encoding=\"UTF-16\"?><r/>"), 0);
  EXPECT_EQ(Load(doc, "<?xml version=\"1.0\" encoding=\"UNICODE\"?><r/>"), 0);
  // An odd last byte is no whole unit and is left out.
  EXPECT_EQ(Load(doc, Utf16Bytes("<?xml version=\"1.0\" encoding=\"UTF-16\"?><r/>", false) + "\x20"), 1);
}

TEST(XmlLoadUtf7, DeclaredUtf7IsDecoded) {
  CXmlDocument doc;
  ASSERT_EQ(Load(doc, "<?xml version=\"1.0\" encoding=\"UTF-7\"?><r v=\"+ZeVnLA-\"/>"), 1);
  EXPECT_EQ(ValueOf(doc), "\xC8\xD5\xB1\xBE");  // 日本 in GBK
  EXPECT_EQ(doc.SourceCodePage(), 65000);
}

TEST(XmlDeclaration, NamesMapToCodePages) {
  const std::pair<const char*, int> names[] = {
      {"GBK", 936}, {"gb2312", 936}, {"GB18030", 936}, {"Big5", 950}, {"ISO-8859-1", 0}, {"", 0},
  };
  for (const auto& [name, codePage] : names) {
    CXmlDocument doc;
    // Loaded in the code page it declares: no simplified-traditional step.
    const int requested = codePage == 950 ? 950 : 936;
    ASSERT_EQ(Load(doc, std::string("<?xml version=\"1.0\" encoding=\"") + name + "\"?><r v=\"\xB0\xA1\"/>", requested), 1);
    EXPECT_EQ(doc.DeclaredEncoding(), codePage) << name;
    EXPECT_EQ(doc.SourceCodePage(), codePage) << name;
    EXPECT_EQ(ValueOf(doc), "\xB0\xA1") << "the bytes stay";
  }
}

TEST(XmlDeclaration, OnlyAProperDeclarationIsRead) {
  CXmlDocument doc;
  ASSERT_EQ(Load(doc, " \r\n<?XML version=\"2.5\" encoding=\"GBK\"?><r/>"), 1);
  EXPECT_FLOAT_EQ(doc.Version(), 2.5f);
  EXPECT_EQ(doc.DeclaredEncoding(), 936);
  ASSERT_EQ(Load(doc, "<?xml\tversion = \"1.1\"\r\nencoding= \"BIG5\" ?><r/>"), 1);
  EXPECT_FLOAT_EQ(doc.Version(), 1.1f);
  EXPECT_EQ(doc.DeclaredEncoding(), 950);
  // Not followed by white space: no declaration.
  ASSERT_EQ(Load(doc, "<?xmlx encoding=\"GBK\"?><r/>"), 1);
  EXPECT_EQ(doc.DeclaredEncoding(), 0);
  EXPECT_FLOAT_EQ(doc.Version(), 1.0f);
  // Single quotes end the reading of pairs.
  ASSERT_EQ(Load(doc, "<?xml version='3.0' encoding='GBK'?><r/>"), 1);
  EXPECT_EQ(doc.DeclaredEncoding(), 0);
  EXPECT_FLOAT_EQ(doc.Version(), 1.0f);
  // A pair longer than 259 characters is skipped, the next one is read.
  ASSERT_EQ(Load(doc, "<?xml version=\"1." + std::string(300, '0') + "\" encoding=\"GBK\"?><r/>"), 1);
  EXPECT_FLOAT_EQ(doc.Version(), 1.0f);
  EXPECT_EQ(doc.DeclaredEncoding(), 936);
  // Reading stops at "?": a later pair does not count.
  ASSERT_EQ(Load(doc, "<?xml version=\"1.0\"?><r encoding=\"UTF-16\"/>"), 1);
  EXPECT_EQ(doc.DeclaredEncoding(), 0);
}

TEST_F(XmlSimplifiedTraditional, GbkToBig5GoesThroughTheMapping) {
  ASSERT_EQ(Load(doc, "<?xml version=\"1.0\" encoding=\"GBK\"?><r v=\"SX\"/>", 950), 1);
  EXPECT_EQ(conv.calls, (Calls{"Decode 936", "ToTraditional", "Encode 950"}));
  EXPECT_EQ(ValueOf(doc), "T?") << "a character without counterpart becomes '?'";
}

TEST_F(XmlSimplifiedTraditional, Big5ToGbkGoesBack) {
  ASSERT_EQ(Load(doc, "<?xml version=\"1.0\" encoding=\"BIG5\"?><r v=\"T\"/>", 936), 1);
  EXPECT_EQ(conv.calls, (Calls{"Decode 950", "ToSimplified", "Encode 936"}));
  EXPECT_EQ(ValueOf(doc), "S");
}

TEST_F(XmlSimplifiedTraditional, OnlyBetweenGbkAndBig5) {
  ASSERT_EQ(Load(doc, "<?xml version=\"1.0\" encoding=\"GBK\"?><r v=\"S\"/>", 936), 1);
  ASSERT_EQ(Load(doc, "<r v=\"S\"/>", 950), 1) << "no declaration: the bytes stay";
  ASSERT_EQ(Load(doc, "<?xml version=\"1.0\" encoding=\"GBK\"?><r v=\"S\"/>", 65001), 1);
  EXPECT_EQ(conv.calls, Calls{});
  EXPECT_EQ(ValueOf(doc), "S");
}

TEST_F(XmlSimplifiedTraditional, WithoutAMappingOnlyTheCodePageChanges) {
  conv.canMap = false;
  ASSERT_EQ(Load(doc, "<?xml version=\"1.0\" encoding=\"GBK\"?><r v=\"S\"/>", 950), 1);
  EXPECT_EQ(conv.calls, (Calls{"Decode 936", "ToTraditional", "Encode 950"}));
  EXPECT_EQ(ValueOf(doc), "S");
}

TEST_F(XmlSimplifiedTraditional, ACodePageThatCannotBeWrittenFailsTheLoad) {
  EXPECT_EQ(Load(doc, kBom8 + "<?xml version=\"1.0\" encoding=\"UTF-8\"?><r/>", 1200), 0);
  EXPECT_EQ(Dump(doc), "Keep#2");
}

TEST(XmlLoadFile, ReadsTheWholeFile) {
  TempDir dir;
  const std::string path = dir.File("KvOem.xml");
  ASSERT_TRUE(base::AtomicReplace(
      path, "<?xml version=\"1.0\" encoding=\"GB2312\"?>\r\n<ProfileOfOEM><Common><Debug Trace=\"YES\"/>"
            "</Common></ProfileOfOEM>\r\n"));
  CXmlDocument doc("ProfileOfOEM", 936);
  ASSERT_EQ(doc.LoadFile(path.c_str(), nullptr, 936), 1);
  EXPECT_STREQ(doc.GetString("ProfileOfOEM/Common/Debug", "Trace", ""), "YES");
  EXPECT_EQ(doc.LoadFile(path.c_str(), "", 936), 1) << "an empty key is no key";
}

TEST(XmlLoadFile, EncipheredProfilesAndMissingFilesAreRefused) {
  TempDir dir;
  const std::string path = dir.File("profile.xml");
  ASSERT_TRUE(base::AtomicReplace(path, "<ProfileOfOEM><Common/></ProfileOfOEM>"));
  CXmlDocument doc("ProfileOfOEM", 936);
  ASSERT_EQ(doc.LoadFile(path.c_str(), nullptr, 936), 1);
  EXPECT_EQ(doc.LoadFile(path.c_str(), "pass phrase", 936), 0);
  EXPECT_EQ(Dump(doc), "ProfileOfOEM#2");
  ASSERT_EQ(doc.LoadFile(path.c_str(), nullptr, 936), 1);
  EXPECT_EQ(doc.LoadFile(dir.File("missing.xml").c_str(), nullptr, 936), 0);
  EXPECT_EQ(Dump(doc), "ProfileOfOEM#2");
  EXPECT_EQ(doc.LoadFile(nullptr, nullptr, 936), 0);
}
