// The profile reader and its section cursors.
#include <gtest/gtest.h>

#include <climits>
#include <cstring>
#include <string>

#include "plugin/litexml/xml.h"
#include "plugin/litexml/xmlprofile.h"
#include "plugin_verify_recorder.h"
#include "xml_test_dump.h"

using namespace litexml;
using testing_support::Dump;
using testing_support::Load;
using testing_support::VerifyRecorder;

namespace {

// The user profile as the host keeps it, reduced to what the plug-in reads.
const char kUserProfile[] =
    "<?xml version=\"1.0\" encoding=\"GBK\"?>"
    "<Profile>"
    "<LoginInfo><Configs>"
    "<wtcontrol><SHOWCJHS Val=\"0\"/><Other Val=\" -42abc\"/><Big Val=\"99999999999\"/>"
    "<Name Val=\"\xD6\xD0\xCE\xC4\xD6\xD0\"/></wtcontrol>"
    "</Configs></LoginInfo>"
    "</Profile>";

class XmlProfile : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_EQ(Load(doc, kUserProfile), 1); }
  CXmlSection Configs(CXmlProfileReader& reader) {
    return reader.RootSection().Child("LoginInfo").Child("Configs");
  }
  CXmlDocument doc{"ROOT", 936};
};

}  // namespace

TEST_F(XmlProfile, RootSectionIsTheFirstNodeAfterTheDeclaration) {
  CXmlProfileReader reader(&doc, 1, 0);
  EXPECT_STREQ(doc.GetNodeName(reader.RootSection().Node()), "Profile");
  CXmlDocument bare;
  CXmlProfileReader bareReader(&bare, 1, 0);
  EXPECT_STREQ(bare.GetNodeName(bareReader.RootSection().Node()), "ROOT");
}

TEST_F(XmlProfile, ReadSettingFindsTheShowTimingSwitch) {
  CXmlProfileReader reader(&doc, 1, 0);
  int value = -1;
  EXPECT_EQ(Configs(reader).ReadSetting("wtcontrol", "SHOWCJHS", &value, 1), 1);
  EXPECT_EQ(value, 0);
  EXPECT_EQ(Configs(reader).ReadSetting("WTCONTROL", "showcjhs", &value, 1), 1);
  EXPECT_EQ(value, 0);
}

TEST_F(XmlProfile, ReadSettingGivesTheDefaultForAnythingMissing) {
  CXmlProfileReader reader(&doc, 1, 0);
  int value = -1;
  EXPECT_EQ(Configs(reader).ReadSetting("wtcontrol", "Missing", &value, 1), 0);
  EXPECT_EQ(value, 1);
  value = -1;
  EXPECT_EQ(Configs(reader).ReadSetting("nosection", "SHOWCJHS", &value, 1), 0);
  EXPECT_EQ(value, 1);
  value = -1;
  EXPECT_EQ(reader.RootSection().Child("Nothing").Child("Configs").ReadSetting("wtcontrol", "SHOWCJHS", &value, 7), 0);
  EXPECT_EQ(value, 7);
  // The element is there but without the attribute.
  ASSERT_EQ(doc.RemoveAttr(doc.FindPath("Profile/LoginInfo/Configs/wtcontrol/SHOWCJHS"), "Val"), 1);
  EXPECT_EQ(Configs(reader).ReadSetting("wtcontrol", "SHOWCJHS", &value, 1), 0);
  EXPECT_EQ(value, 1);
  EXPECT_EQ(Dump(doc).find("Missing"), std::string::npos) << "a read-only reader adds nothing";
}

TEST_F(XmlProfile, ReadIntTakesTheLeadingNumber) {
  CXmlProfileReader reader(&doc, 1, 0);
  CXmlSection wt = Configs(reader).Child("wtcontrol");
  int value = 0;
  EXPECT_EQ(wt.Child("Other").ReadInt("Val", &value, 5), 1);
  EXPECT_EQ(value, -42);
  EXPECT_EQ(wt.Child("Big").ReadInt("Val", &value, 5), 1);
  EXPECT_EQ(value, INT_MAX) << "too large stops at the limit";
  EXPECT_EQ(wt.Child("Name").ReadInt("Val", &value, 5), 1);
  EXPECT_EQ(value, 0) << "no digits read as 0";
  EXPECT_EQ(wt.Child("Name").ReadInt("Nope", &value, 5), 0);
  EXPECT_EQ(value, 5);
}

TEST_F(XmlProfile, ReadTextCutsWithoutSplittingACharacter) {
  CXmlProfileReader reader(&doc, 1, 0);
  CXmlSection name = Configs(reader).Child("wtcontrol").Child("Name");
  char buffer[16];
  EXPECT_EQ(name.ReadText("Val", buffer, sizeof buffer, "d"), 1);
  EXPECT_STREQ(buffer, "\xD6\xD0\xCE\xC4\xD6\xD0");
  EXPECT_EQ(name.ReadText("Val", buffer, 6, "d"), 1);
  EXPECT_STREQ(buffer, "\xD6\xD0\xCE\xC4") << "5 bytes fit, the third character does not";
  EXPECT_EQ(name.ReadText("Val", buffer, 4, "d"), 1);
  EXPECT_STREQ(buffer, "\xD6\xD0");
  EXPECT_EQ(name.ReadText("Missing", buffer, sizeof buffer, "fallback"), 0);
  EXPECT_STREQ(buffer, "fallback");
  EXPECT_EQ(name.ReadText("Missing", buffer, 4, "fallback"), 0);
  EXPECT_STREQ(buffer, "fal");
  EXPECT_EQ(name.ReadText("Missing", buffer, sizeof buffer, nullptr), 0);
  EXPECT_STREQ(buffer, "");
  std::memset(buffer, 'x', sizeof buffer);
  EXPECT_EQ(name.ReadText("Val", buffer, 0, "d"), 1) << "no room: nothing is written";
  EXPECT_EQ(buffer[0], 'x');
}

TEST_F(XmlProfile, ReadOnlyFindsAndWritableCreates) {
  CXmlProfileReader readOnly(&doc, 1, 0);
  EXPECT_EQ(readOnly.RootSection().Child("New").Node(), nullptr);
  // Bit 0 asks for creation even from a read-only reader.
  EXPECT_NE(readOnly.RootSection().Child("Forced", 1).Node(), nullptr);
  CXmlProfileReader writable(&doc, 0, 0);
  int value = 0;
  EXPECT_EQ(writable.RootSection().ReadSetting("made", "here", &value, 3), 0);
  EXPECT_EQ(value, 3);
  EXPECT_NE(doc.FindPath("Profile/made/here"), nullptr) << "a writable reader creates the sections it reads";
  EXPECT_NE(doc.FindPath("Profile/Forced"), nullptr);
}

TEST(XmlProfileDefaults, DefaultDocumentStandsInForMissingValues) {
  CXmlDocument doc, defaults;
  ASSERT_EQ(Load(doc, "<P><S a=\"[DEFAULT]\" b=\"own\"/></P>"), 1);
  ASSERT_EQ(Load(defaults, "<P><S a=\"from default\" c=\"only default\" d=\"[default]\"/></P>"), 1);
  char buffer[64];

  CXmlProfileReader plain(&doc, 1, 0, &defaults);
  CXmlSection s = plain.RootSection().Child("S");
  EXPECT_EQ(s.ReadText("a", buffer, sizeof buffer, "x"), 1);
  EXPECT_STREQ(buffer, "[DEFAULT]") << "without default mode the marker is a value";
  EXPECT_EQ(s.ReadText("c", buffer, sizeof buffer, "x"), 1);
  EXPECT_STREQ(buffer, "only default") << "a missing value comes from the default document";

  CXmlProfileReader withDefaults(&doc, 1, 2, &defaults);
  s = withDefaults.RootSection().Child("S");
  EXPECT_EQ(s.ReadText("a", buffer, sizeof buffer, "x"), 1);
  EXPECT_STREQ(buffer, "from default");
  EXPECT_EQ(s.ReadText("b", buffer, sizeof buffer, "x"), 1);
  EXPECT_STREQ(buffer, "own");
  EXPECT_EQ(s.ReadText("d", buffer, sizeof buffer, "x"), 0) << "the default document's marker gives the default";
  EXPECT_STREQ(buffer, "x");

  CXmlProfileReader highBitsOnly(&doc, 1, 4, &defaults);
  EXPECT_FALSE(highBitsOnly.DefaultMode()) << "only the two lowest bits turn default mode on";
}

TEST(XmlProfileDefaults, MissingDocumentNodeStillReadsTheDefaultDocument) {
  CXmlDocument doc, defaults;
  ASSERT_EQ(Load(doc, "<P/>"), 1);
  ASSERT_EQ(Load(defaults, "<P><S v=\"7\"/></P>"), 1);
  CXmlProfileReader reader(&doc, 1, 1, &defaults);
  CXmlSection s = reader.RootSection().Child("S");
  EXPECT_EQ(s.Node(), nullptr);
  int value = 0;
  EXPECT_EQ(s.ReadInt("v", &value, 0), 1);
  EXPECT_EQ(value, 7);
}

TEST(XmlProfileNoReader, EveryStepReportsAndFails) {
  VerifyRecorder recorder;
  CXmlSection orphan;
  char buffer[8] = "x";
  int value = 0;
  EXPECT_EQ(orphan.Child("a").Reader(), nullptr);
  EXPECT_EQ(orphan.ReadText("k", buffer, sizeof buffer, "d"), 0);
  EXPECT_STREQ(buffer, "d");
  EXPECT_EQ(orphan.ReadInt("k", &value, 9), 0);
  EXPECT_EQ(value, 9);
  EXPECT_EQ(orphan.ReadSetting("s", "k", &value, 4), 0);
  EXPECT_EQ(value, 4);
  const std::vector<std::string> expected = {
      "FILE:litexml/xmlprofile.cpp LINE:231 EXCEPTION: m_pPX!=NULL",
      "FILE:litexml/xmlprofile.cpp LINE:265 EXCEPTION: m_pPX!=NULL",
      "FILE:litexml/xmlprofile.cpp LINE:270 EXCEPTION: m_pPX!=NULL",
      "FILE:litexml/xmlprofile.cpp LINE:275 EXCEPTION: m_pPX!=NULL",
  };
  EXPECT_EQ(recorder.texts, expected);
}

namespace {

// A document that forwards every operation to another one, as the plug-in
// does with a host's profile: the reader must see only the operations.
class ForwardingDocument final : public CXmlDocument {
 public:
  explicit ForwardingDocument(CXmlDocument& target) : target_(target) {}
  int GetNodeType(CXmlNode* n) override { return ++calls, target_.GetNodeType(n); }
  CXmlNode* GetFirstChild(CXmlNode* n) override { return ++calls, target_.GetFirstChild(n); }
  CXmlNode* GetNextSibling(CXmlNode* n) override { return ++calls, target_.GetNextSibling(n); }
  CXmlNode* FindChild(CXmlNode* p, const char* name) override { return ++calls, target_.FindChild(p, name); }
  CXmlNode* FindOrAddChild(CXmlNode* p, const char* name, int type, int flags) override {
    return ++calls, target_.FindOrAddChild(p, name, type, flags);
  }
  const char* GetAttribute(CXmlNode* n, const char* name) override { return ++calls, target_.GetAttribute(n, name); }
  int calls = 0;

 private:
  CXmlDocument& target_;
};

}  // namespace

TEST(XmlProfileOverAnotherDocument, ReadsThroughTheOperationsOnly) {
  CXmlDocument host;
  ASSERT_EQ(Load(host, kUserProfile), 1);
  ForwardingDocument adapter(host);
  CXmlProfileReader reader(&adapter, 1, 0);
  int value = -1;
  EXPECT_EQ(reader.RootSection().Child("LoginInfo").Child("Configs").ReadSetting("wtcontrol", "SHOWCJHS", &value, 1), 1);
  EXPECT_EQ(value, 0);
  EXPECT_GT(adapter.calls, 5);
  // The adapter's own tree is never used.
  CXmlNode* ownRoot = adapter.CXmlDocument::GetFirstChild(nullptr);
  EXPECT_STREQ(adapter.CXmlDocument::GetNodeName(ownRoot), "ROOT");
  EXPECT_EQ(adapter.CXmlDocument::GetFirstChild(ownRoot), nullptr);
}
