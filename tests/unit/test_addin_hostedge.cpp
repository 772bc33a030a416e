// Memory running out inside a call of the host: the call answers its
// failure value instead of unwinding into the host, and the host goes on.
// The stand-in host calls through its own tables, as the trade client does;
// every allocation a call makes is failed in turn.
#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <memory>
#include <regex>
#include <string>
#include <vector>

#include "base/gbk.h"
#include "plugin/push/unt_pushcenter.h"
#include "sim/host/host_abi.h"
#include "sim/host/host_objects.h"
#include "sim/host/host_profile.h"
#include "support/fail_alloc.h"
#include "support/push_fakes.h"
#include "support/temp_dir.h"

namespace {

using hostabi::Call;
using hostabi::Value;
using A = hostabi::TAddinTable;
using E = hostabi::TFeatureEntryTable;
using H = hostabi::THelperTable;
using R = hostabi::TListNoteRenderTable;
using testing_support::AllocationFailed;
using testing_support::FailAllocation;

class AddinHostEdge : public ::testing::Test {
 protected:
  AddinHostEdge() {
    harness_.system.programPath = base::PathToUtf8(dir_.path() / "TradeClient.exe");
    std::filesystem::create_directories(dir_.path() / "T0002" / "wt_cache");
    port_.SetModule("KvNoteUtility", notes_.Abi());
    user_.SetProfile(profile_.Abi());
  }

  void* Entry(const std::string& name) {
    void* entries[4] = {};
    const int n = Call(addin_, &A::GetFeatureEntries, entries, 4);
    for (int i = 0; i < n; ++i)
      if (name == Call(entries[i], &E::GetName)) return entries[i];
    return nullptr;
  }

  std::unique_ptr<simhost::CHostJob> Fill(const std::string& orderNo) {
    auto job = std::make_unique<simhost::CHostJob>(log_, "fill", 402, &client_);
    job->SetField(140, "600000");
    job->SetField(141, base::Utf8ToGbkLossy("浦发银行"));
    job->SetField(151, "09:31:05");
    job->SetField(152, "300");
    job->SetField(153, "10.25");
    job->SetField(146, orderNo);
    job->SetField(155, "F" + orderNo);
    return job;
  }

  // Makes the call once for each allocation it makes, that allocation
  // failing; `failed` checks the answer of a call that met the failure, and
  // `prepare` readies each call outside the failing. Answers how many
  // allocations the call makes when none fails.
  int EveryAllocationFails(const std::string& what, const std::function<void()>& call,
                           const std::function<void()>& failed = [] {}, const std::function<void()>& prepare = [] {}) {
    for (int n = 1; n < 1000; ++n) {
      prepare();
      FailAllocation(n);
      call();
      const bool hit = AllocationFailed();
      FailAllocation(0);
      if (!hit) return n - 1;
      SCOPED_TRACE(what + ", allocation " + std::to_string(n) + " failing");
      failed();
    }
    ADD_FAILURE() << what << " never ends";
    return 0;
  }

  testing_support::TempDir dir_;
  testing_support::TPluginHarness harness_;
  void* addin_ = static_cast<kv::IAddin*>(&harness_.addin);  // what Addin_GetObject answers
  simhost::CCallLog log_;
  simhost::CHostPort port_{log_};
  simhost::CHostNoteUtility notes_{log_};
  simhost::CHostSubscriber subscriber_{log_, "subscriber"};
  simhost::CHostUser user_{log_, {1, "A0001", "K001", "1 23 45"}};
  simhost::CHostClient client_{user_};
  simhost::CHostProfile profile_{
      log_, "<Profile><LoginInfo><Configs><wtcontrol><SHOWCJHS Val=\"0\"/></wtcontrol></Configs></LoginInfo></Profile>"};
  std::vector<std::unique_ptr<simhost::CHostJob>> jobs_;
};

TEST_F(AddinHostEdge, AHostCallWhoseAllocationFailsAnswersItsFailureValueAndTheHostGoesOn) {
  ASSERT_EQ(Call(addin_, &A::Initialize, port_.Abi(), Value{0}, Value{0}), 1);

  // Feature creation: 0 and nothing handed out.
  void* const entry = Entry("PushHelper");
  void* out = nullptr;
  hostabi::Bool answer = 0;
  EXPECT_GT(EveryAllocationFails(
                "CreateFeature(PushHelper)",
                [&] {
                  out = reinterpret_cast<void*>(0x1);
                  answer = Call(entry, &E::CreateFeature, Value{0}, nullptr, &out);
                  if (answer == 1) Call(out, &H::Destroy);
                },
                [&] {
                  EXPECT_EQ(answer, 0);
                  EXPECT_EQ(out, nullptr);
                }),
            0);
  void* service = nullptr;
  ASSERT_EQ(Call(entry, &E::CreateFeature, Value{0}, nullptr, &service), 1);
  port_.SetModule("PushHelper", service);
  ASSERT_EQ(Call(service, &H::AddSubscriber, subscriber_.Abi()), 1);

  Call(addin_, &A::OnUserLogin, client_.Abi());
  EXPECT_GT(EveryAllocationFails("OnUserProfile", [&] { Call(addin_, &A::OnUserProfile, client_.Abi()); }), 0);

  // Fill pushes from the host: each either arrives whole or not at all.
  EXPECT_GT(EveryAllocationFails(
                "OnPush(fill)", [&] { port_.Push(*jobs_.back()); }, [] {},
                [&] { jobs_.push_back(Fill("B" + std::to_string(jobs_.size()))); }),
            0);
  EveryAllocationFails("OnTick", [&] { Call(service, &H::OnTick, Value{0}); });

  // The note's status text: empty.
  void* renderer = nullptr;
  ASSERT_EQ(Call(Entry("Note.ListNoteRender"), &E::CreateFeature, Value{0}, nullptr, &renderer), 1);
  const char* text = nullptr;
  EXPECT_GT(EveryAllocationFails(
                "GetStatusText", [&] { text = Call(renderer, &R::GetStatusText, Value{0}); },
                [&] { EXPECT_STREQ(text, ""); }),
            0);

  // The host goes on: the plug-in answers as if nothing had happened.
  subscriber_.Clear();
  jobs_.push_back(Fill("C1"));
  port_.Push(*jobs_.back());
  const auto received = subscriber_.Received();
  ASSERT_EQ(received.size(), 1u) << "the next fill reaches the subscriber";
  EXPECT_EQ(received[0].kind, 2);
  EXPECT_FALSE(harness_.addin.Center()->ShowTiming()) << "SHOWCJHS 0 of the user's profile";
  const std::string status = base::GbkToUtf8Lossy(Call(renderer, &R::GetStatusText, Value{0}));
  EXPECT_TRUE(std::regex_match(status, std::regex("共接收数据[1-9][0-9]*条,新接收数据[0-9]+条"))) << status;
  Call(renderer, &R::Destroy);
  EXPECT_EQ(Call(addin_, &A::OnUserLogout, client_.Abi(), Value{0}), reinterpret_cast<Value>(service));
  EXPECT_EQ(Call(addin_, &A::Uninitialize), 1);
  Call(service, &H::Destroy);

  // Every reference the plug-in took on the way was given back.
  EXPECT_EQ(user_.ExtraRefs(), 0);
  for (const auto& job : jobs_) EXPECT_EQ(job->ExtraRefs(), 0) << job->Name();
  EXPECT_EQ(log_.Count("Profile.DeletingDestructor"), 0u);
}

}  // namespace
