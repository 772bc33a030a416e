// The add-in object as the host drives it, beyond the host's scripted
// session (test_addin_scenario): feature headers, repeated initialisation,
// login and logout notices, module commands, own windows.
#include "plugin/addin/unt_addin.h"

#include <gtest/gtest.h>

#include <cstring>
#include <memory>

#include "plugin/push/unt_pushcenter.h"
#include "plugin/push/unt_pushprovider.h"
#include "plugin/push/unt_pushsink.h"
#include "plugin/ui/unt_listnoterender.h"
#include "sim/host/host_objects.h"
#include "support/host_kv.h"
#include "support/push_fakes.h"

using namespace addin;
using simhost::CHostClient;
using simhost::CHostUser;
using testing_support::U;

using testing_support::Kv;

namespace {

class CFakeModule final : public IAddinModule {
 public:
  explicit CFakeModule(CStringCache& cache) : cache_(cache) {}
  void SetResourceModule(kv::KvValue module) override {
    resourceHandle = module ? module : 1;
    cache_.Reset(module);
  }
  CModuleWindows& Windows() override { return windows; }

  CModuleWindows windows;
  kv::KvValue resourceHandle = 1;

 private:
  CStringCache& cache_;
};

class AddinTest : public ::testing::Test {
 protected:
  AddinTest() : port_(log_), notes_(log_) {
    for (const char* name : {"KvSkinUtility", "KvGUIUtility", "KvComm", "KvGina"})
      port_.SetModule(name, const_cast<char*>(name));
    port_.SetModule("KvNoteUtility", Kv(notes_));
  }

  kv::IFeatureEntry* Entry(const std::string& name) {
    kv::IFeatureEntry* entries[8] = {};
    const int n = addin_.GetFeatureEntries(entries, 8);
    for (int i = 0; i < n; ++i)
      if (name == entries[i]->GetName()) return entries[i];
    return nullptr;
  }

  // Creates the "PushHelper" service and lets the port answer with it.
  kv::IHelper* CreateService() {
    void* out = nullptr;
    EXPECT_EQ(Entry("PushHelper")->CreateFeature(0x77, nullptr, &out), 1);
    auto* helper = static_cast<kv::IHelper*>(out);
    port_.SetModule("PushHelper", helper);
    return helper;
  }

  testing_support::TPluginHarness harness_;
  CFakeModule module_{harness_.cache};
  simhost::CCallLog log_;
  simhost::CHostPort port_;
  simhost::CHostNoteUtility notes_;
  CAddin addin_{harness_.context, module_};
};

TEST_F(AddinTest, ServiceFeatureGetsItsHeaderFilled) {
  addin_.Initialize(Kv(port_), 0, 0);
  kv::IHelper* helper = CreateService();
  ASSERT_NE(helper, nullptr);
  auto* provider = push::CPushProvider::FromServiceObject(helper->GetServiceObject());
  EXPECT_EQ(provider->header.port, Kv(port_));
  EXPECT_EQ(provider->header.modules.note, Kv(notes_));
  EXPECT_STREQ(reinterpret_cast<const char*>(provider->header.modules.gina), "KvGina");
  // The word holds the address the host got from Addin_GetObject.
  EXPECT_EQ(static_cast<const void*>(provider->header.addin), static_cast<kv::IAddin*>(&addin_));
  EXPECT_STREQ(push::CPushProvider::kClassRecord.className, "CPushProvider");
  EXPECT_EQ(push::CPushProvider::kClassRecord.objectSize, 3089u);
  EXPECT_EQ(provider->header.entry, Entry("PushHelper"));
  EXPECT_EQ(helper->GetEntry(), Entry("PushHelper"));
  EXPECT_EQ(provider->header.argument, 0x77u);
  helper->Destroy();
}

TEST_F(AddinTest, FeaturesCreatedBeforeInitializeHaveNoPort) {
  kv::IHelper* helper = CreateService();
  auto* provider = push::CPushProvider::FromServiceObject(helper->GetServiceObject());
  EXPECT_EQ(provider->header.port, nullptr);
  EXPECT_EQ(provider->header.modules.note, nullptr);
  helper->Destroy();
}

TEST_F(AddinTest, LoginExtensionIsCreatedAsItself) {
  void* out = nullptr;
  ASSERT_EQ(Entry("GINA.PUSH")->CreateFeature(5, nullptr, &out), 1);
  auto* gina = static_cast<kv::IGinaExtend*>(out);
  EXPECT_EQ(gina->GetSelf(), gina);
  EXPECT_EQ(gina->GetEntry(), Entry("GINA.PUSH"));
  EXPECT_EQ(gina->GetClassRecord(), &push::CPushRegGinaExtend::kClassRecord);
  gina->Destroy();
}

TEST_F(AddinTest, RendererIsCreatedWithTheParentWindowInItsHeader) {
  void* out = reinterpret_cast<void*>(0x1);
  ASSERT_EQ(Entry("Note.ListNoteRender")->CreateFeature(0x7070, reinterpret_cast<void*>(0x42), &out), 1);
  auto* renderer = static_cast<ui::CListNoteRender*>(static_cast<kv::IListNoteRender*>(out));
  EXPECT_EQ(renderer->GetSelf(), out);
  EXPECT_EQ(renderer->GetEntry(), Entry("Note.ListNoteRender"));
  EXPECT_EQ(renderer->header.argument, 0x7070u);
  EXPECT_STREQ(ui::CListNoteRender::kClassRecord.className, "CListNoteRender");
  EXPECT_EQ(ui::CListNoteRender::kClassRecord.objectSize, 536u);
  renderer->Destroy();
  EXPECT_EQ(Entry("PushHelper")->CreateFeature(0, nullptr, nullptr), 0) << "nowhere to hand the object";
}

TEST_F(AddinTest, SecondInitializeKeepsTheObjects) {
  addin_.Initialize(Kv(port_), 0, 0);
  push::CPushCenter* center = addin_.Center();
  void* sink = port_.Sink();
  addin_.Uninitialize();
  EXPECT_EQ(addin_.Initialize(Kv(port_), 0, 0), 1);
  EXPECT_EQ(addin_.Center(), center);
  EXPECT_EQ(port_.Sink(), sink);
}

TEST_F(AddinTest, RefreshModulesAsksThePortAgain) {
  addin_.Initialize(Kv(port_), 0, 0);
  port_.SetModule("KvNoteUtility", nullptr);
  addin_.RefreshModules();
  EXPECT_EQ(addin_.Modules().note, nullptr);
  EXPECT_NE(addin_.Modules().skin, nullptr);
}

TEST_F(AddinTest, LoginsCountAndRegisterAccounts) {
  addin_.Initialize(Kv(port_), 0, 0);
  CHostUser user(log_, {1, "A1", "K1", "23"});
  CHostClient client(user);
  addin_.OnUserLogin(Kv(client));
  addin_.OnUserLogin(Kv(client));
  EXPECT_EQ(addin_.Center()->UserCount(), 2);
  EXPECT_EQ(addin_.Center()->AccountCount(), 1);
  EXPECT_EQ(user.ExtraRefs(), 1) << "only the entry's reference is held";
  addin_.OnUserLogout(Kv(client), 0);
  addin_.OnUserLogout(Kv(client), 0);
  EXPECT_EQ(user.ExtraRefs(), 0) << "the last logout gives it back";
}

TEST_F(AddinTest, LastLogoutResetsTheServiceAndForgetsIt) {
  addin_.Initialize(Kv(port_), 0, 0);
  kv::IHelper* helper = CreateService();
  CHostUser user(log_, {1, "A1", "K1", "23"});
  CHostClient client(user);
  addin_.OnUserLogin(Kv(client));
  addin_.OnUserLogin(Kv(client));
  simhost::CHostSubscriber sub(log_, "s");
  helper->AddSubscriber(Kv(sub));
  helper->AddNotifyWindow(reinterpret_cast<kv::KvHwnd>(9), 100);
  simhost::CHostJob push(log_, "push", push::fn::kFill, &client);
  addin_.Sink()->OnPush(Kv(push));
  EXPECT_NE(addin_.Sink()->CachedService(), nullptr);

  EXPECT_EQ(addin_.OnUserLogout(Kv(client), 0), 1u) << "one user remains";
  EXPECT_EQ(addin_.Center()->AccountCount(), 1);
  auto* provider = push::CPushProvider::FromServiceObject(helper->GetServiceObject());
  EXPECT_EQ(provider->SubscriberCount(), 1);

  EXPECT_EQ(addin_.OnUserLogout(Kv(client), 0), reinterpret_cast<kv::KvValue>(helper));
  EXPECT_EQ(addin_.Center()->AccountCount(), 0);
  EXPECT_EQ(provider->SubscriberCount(), 0);
  EXPECT_EQ(provider->NotifyWindowCount(), 0);
  EXPECT_EQ(addin_.Sink()->CachedService(), nullptr);
  helper->Destroy();
}

TEST_F(AddinTest, LastLogoutWithoutServiceAnswersZero) {
  addin_.Initialize(Kv(port_), 0, 0);
  CHostUser user(log_, {1, "A1", "K1", "23"});
  CHostClient client(user);
  addin_.OnUserLogin(Kv(client));
  EXPECT_EQ(addin_.OnUserLogout(Kv(client), 0), 0u);
}

TEST_F(AddinTest, ModuleCommandSetsTheResourceModule) {
  const char* before = harness_.cache.Get(10002);
  EXPECT_EQ(addin_.OnModuleCommand(0x12345678, 2, 0, 0, 0), 0u);
  EXPECT_EQ(module_.resourceHandle, 1u) << "other commands change nothing";
  EXPECT_EQ(harness_.cache.Get(10002), before);

  EXPECT_EQ(addin_.OnModuleCommand(kv::kModuleCommandSetResource, 2, 0, 0, 0), 0u);
  EXPECT_EQ(module_.resourceHandle, 2u);
  EXPECT_EQ(U(Entry("group.Push")->GetCaption()), "R:推送服务");

  EXPECT_EQ(addin_.OnModuleCommand(kv::kModuleCommandSetResource, 0, 0, 0, 0), 0u);
  EXPECT_EQ(module_.resourceHandle, 1u);
  EXPECT_EQ(harness_.cache.FillLevel(), 0u) << "the cache was emptied";
  EXPECT_EQ(U(Entry("group.Push")->GetCaption()), "推送服务");
}

TEST_F(AddinTest, PreTranslateModuleMessageAnswersOnlyForOwnWindows) {
  struct Own final : IModuleWindow {
    bool PreTranslateMessage(void*) override { return true; }
  } own;
  const auto ownWindow = reinterpret_cast<kv::KvHwnd>(0x10);
  module_.windows.Add(ownWindow, &own);
  EXPECT_EQ(addin_.PreTranslateModuleMessage(ownWindow, nullptr), 1);
  EXPECT_EQ(addin_.PreTranslateModuleMessage(reinterpret_cast<kv::KvHwnd>(0x20), nullptr), 0);
  module_.windows.Remove(ownWindow);
  EXPECT_EQ(addin_.PreTranslateModuleMessage(ownWindow, nullptr), 0);
}

TEST_F(AddinTest, DestructionLeavesNoCenterBehind) {
  testing_support::TPluginHarness harness;
  CFakeModule module(harness.cache);
  {
    CAddin addin(harness.context, module);
    addin.Initialize(Kv(port_), 0, 0);
    EXPECT_NE(harness.context.center.load(), nullptr);
  }
  EXPECT_EQ(harness.context.center.load(), nullptr);
}

}  // namespace
