// The user's profile read through the host's document: the adapter forwards
// every document operation to the host, and OnUserProfile reads SHOWCJHS.
#include <gtest/gtest.h>

#include <memory>
#include <set>

#include "base/gbk.h"
#include "plugin/addin/unt_addin.h"
#include "plugin/addin/unt_profileadapter.h"
#include "plugin/push/unt_pushcenter.h"
#include "sim/host/host_objects.h"
#include "sim/host/host_profile.h"
#include "support/host_kv.h"
#include "support/push_fakes.h"

using addin::CXmlProfileAdapter;
using addin::ReadShowTiming;
using simhost::CHostProfile;

using testing_support::Kv;

namespace {

std::string Profile(const std::string& configs) {
  return "<?xml version=\"1.0\" encoding=\"GBK\"?><Profile><LoginInfo><Configs>" + configs +
         "</Configs></LoginInfo></Profile>";
}

class AddinProfile : public ::testing::Test {
 protected:
  bool ShowTiming(const std::string& xml) {
    CHostProfile profile(log_, xml);
    EXPECT_TRUE(profile.Loaded()) << xml;
    return ReadShowTiming(Kv(profile));
  }
  simhost::CCallLog log_;
};

TEST_F(AddinProfile, ShowTimingIsOnOnlyForValOne) {
  EXPECT_TRUE(ShowTiming(Profile("<wtcontrol><SHOWCJHS Val=\"1\"/></wtcontrol>")));
  EXPECT_FALSE(ShowTiming(Profile("<wtcontrol><SHOWCJHS Val=\"0\"/></wtcontrol>")));
  EXPECT_FALSE(ShowTiming(Profile("<wtcontrol><SHOWCJHS Val=\"2\"/></wtcontrol>")));
  EXPECT_TRUE(ShowTiming(Profile("<WTCONTROL><showcjhs val=' 1x'/></WTCONTROL>"))) << "names ignore case";
}

TEST_F(AddinProfile, AnythingMissingReadsAsOn) {
  EXPECT_TRUE(ShowTiming("<Profile/>"));
  EXPECT_TRUE(ShowTiming("<Profile><LoginInfo/></Profile>"));
  EXPECT_TRUE(ShowTiming(Profile("")));
  EXPECT_TRUE(ShowTiming(Profile("<wtcontrol/>")));
  EXPECT_TRUE(ShowTiming(Profile("<wtcontrol><SHOWCJHS Other=\"0\"/></wtcontrol>")));
  EXPECT_TRUE(ShowTiming("<Profile><wtcontrol><SHOWCJHS Val=\"0\"/></wtcontrol></Profile>"))
      << "only below LoginInfo/Configs";
  EXPECT_TRUE(ReadShowTiming(nullptr));
}

TEST_F(AddinProfile, TheHostsTreeIsReadThroughItsOwnOperations) {
  CHostProfile profile(log_, Profile("<wtcontrol><SHOWCJHS Val=\"0\"/></wtcontrol>"));
  log_.Clear();
  EXPECT_FALSE(ReadShowTiming(Kv(profile)));
  std::vector<std::string> finds;
  for (const auto& line : log_.Lines())
    if (line.rfind("Profile.FindChild", 0) == 0 || line.rfind("Profile.GetAttribute", 0) == 0) finds.push_back(line);
  EXPECT_EQ(finds, (std::vector<std::string>{"Profile.FindChild(LoginInfo)", "Profile.FindChild(Configs)",
                                             "Profile.FindChild(wtcontrol)", "Profile.FindChild(SHOWCJHS)",
                                             "Profile.GetAttribute(Val)"}));
  EXPECT_EQ(log_.Count("Profile.FindOrAddChild"), 0u) << "read-only: nothing is added to the host's tree";
  EXPECT_EQ(log_.Count("Profile.DeletingDestructor"), 0u) << "the host's document is never ended";
}

TEST_F(AddinProfile, AdapterForwardsEveryOperationToTheHost) {
  CHostProfile host(log_, "<Profile><a x=\"1\">hi</a></Profile>");
  CXmlProfileAdapter adapter(Kv(host));
  litexml::CXmlNode* root = adapter.GetFirstChild(nullptr);
  ASSERT_NE(root, nullptr);
  EXPECT_EQ(adapter.GetNodeType(root), 2);
  EXPECT_STREQ(adapter.GetNodeName(root), "Profile");
  litexml::CXmlNode* a = adapter.FindChild(root, "A");
  ASSERT_NE(a, nullptr);
  EXPECT_STREQ(adapter.GetNodeText(a), "hi");
  EXPECT_EQ(adapter.GetParentNode(a), root);
  EXPECT_EQ(adapter.GetNextSibling(a), nullptr);
  EXPECT_STREQ(adapter.GetAttribute(a, "x"), "1");
  litexml::CXmlAttr* x = adapter.FindAttr(a, "x");
  EXPECT_EQ(adapter.GetFirstAttr(a), x);
  EXPECT_STREQ(adapter.GetAttrName(x), "x");
  EXPECT_STREQ(adapter.GetAttrValue(x), "1");
  EXPECT_EQ(adapter.SetAttribute(a, "y", "2"), 1);
  litexml::CXmlAttr* y = adapter.GetNextAttr(x);
  EXPECT_STREQ(adapter.GetAttrValue(y), "2");
  EXPECT_EQ(adapter.SetAttr(y, nullptr, "3"), 1);
  EXPECT_NE(adapter.ResetAttribute(a, "z"), nullptr);
  EXPECT_NE(adapter.AddAttr(a, nullptr), nullptr);
  EXPECT_EQ(adapter.RemoveAttr(a, "z"), 1);
  EXPECT_EQ(adapter.RemoveAllAttrs(a), 1);
  EXPECT_EQ(adapter.GetFirstAttr(a), nullptr);
  EXPECT_EQ(adapter.SetNodeText(a, "ho"), 1);
  EXPECT_EQ(adapter.SetNodeType(a, 2), 1);
  litexml::CXmlNode* b = adapter.FindOrAddChild(root, "b", 1, 0);
  ASSERT_NE(b, nullptr);
  EXPECT_NE(adapter.AddNode(root, b, "c", -1, 1), nullptr);
  EXPECT_NE(adapter.AddPath("Profile/d/e", 1, 0), nullptr);
  EXPECT_NE(adapter.FindPath("Profile/d/e"), nullptr);
  EXPECT_EQ(adapter.RemoveChildrenWhere(root, "c", nullptr, nullptr), 1);
  EXPECT_EQ(adapter.RemoveChildren(root, "b"), 1);
  EXPECT_EQ(adapter.RemoveNode(adapter.FindPath("Profile/d")), 1);
  // Every one of the 28 reached the host; the adapter's own tree stayed as made.
  std::set<std::string> operations;
  for (const auto& line : log_.Lines()) operations.insert(line.substr(0, line.find('(')));
  EXPECT_EQ(operations.size(), 28u);
  EXPECT_STREQ(adapter.GetString("ROOT", "DATA", "none"), "none");
  EXPECT_EQ(host.FindPath("Profile/a"), static_cast<void*>(a));
  EXPECT_STREQ(host.GetNodeText(a), "ho");
}

TEST_F(AddinProfile, OnUserProfileSetsTheShowTimingSwitch) {
  testing_support::TPluginHarness harness;
  addin::CAddin& addin = harness.addin;
  simhost::CHostPort port(log_);
  addin.Initialize(Kv(port), 0, 0);
  simhost::CHostUser user(log_, {1, "A", "K", "23"});
  simhost::CHostClient client(user);
  CHostProfile off(log_, Profile("<wtcontrol><SHOWCJHS Val=\"0\"/></wtcontrol>"));
  user.SetProfile(&off);
  addin.OnUserProfile(Kv(client));
  EXPECT_FALSE(addin.Center()->ShowTiming());
  user.SetProfile(nullptr);
  addin.OnUserProfile(Kv(client));
  EXPECT_TRUE(addin.Center()->ShowTiming());
  EXPECT_EQ(user.ExtraRefs(), 0);
}

}  // namespace
