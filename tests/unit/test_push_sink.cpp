// Where the host's traffic enters: the push sink, the job listener and the
// login extension "GINA.PUSH".
#include "plugin/push/unt_pushsink.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <memory>

#include "base/files.h"
#include "plugin/push/unt_pushcenter.h"
#include "plugin/push/unt_pushprovider.h"
#include "sim/host/host_objects.h"
#include "support/host_kv.h"
#include "support/push_fakes.h"
#include "support/temp_dir.h"

using namespace push;
using simhost::CHostClient;
using simhost::CHostJob;
using simhost::CHostJobEvent;
using simhost::CHostLoginEvent;
using simhost::CHostUser;
using testing_support::U;

using testing_support::Kv;

namespace {

class PushSinkTest : public ::testing::Test {
 protected:
  PushSinkTest() : port_(log_), user_(log_, {1, "A001", "K1", "1 23"}), client_(user_) {
    harness_.system.programPath = base::PathToUtf8(dir_.path() / "host.exe");
    std::filesystem::create_directories(dir_.path() / "T0002" / "wt_cache");
    center_ = std::make_unique<CPushCenter>(harness_.system, harness_.cache);
    harness_.context.center = center_.get();
    harness_.context.port = Kv(port_);
    provider_ = new CPushProvider;
    provider_->header.addin = &link_;
    port_.SetModule("PushHelper", provider_->Service());
  }
  ~PushSinkTest() override { provider_->Service()->Destroy(); }

  std::string Trace() {
    return U(base::ReadFileBytes(base::PathToUtf8(dir_.path() / "T0002" / "wt_cache" / "PushTrace20100721.log"))
                 .value_or(""));
  }

  testing_support::TempDir dir_;
  testing_support::TPluginHarness harness_;
  addin::CAddinLink& link_ = harness_.addin;
  simhost::CCallLog log_;
  simhost::CHostPort port_;
  CHostUser user_;
  CHostClient client_;
  std::unique_ptr<CPushCenter> center_;
  CPushProvider* provider_;
  CPushSink sink_{harness_.context};
  CJobListener listener_{harness_.context};
};

TEST_F(PushSinkTest, OrderRequestAndAnswerMeasureTheOrderTime) {
  CHostJob order(log_, "order", fn::kOrder, &client_);
  order.SetField(146, "A1");
  harness_.system.tick = 1000;
  sink_.OnRequestSent(Kv(order));
  harness_.system.tick = 1230;
  sink_.OnAnswer(Kv(order));
  EXPECT_EQ(center_->LastOrderTime(), 230u);
  harness_.system.tick = 5230;
  EXPECT_EQ(center_->FillReceived("A1"), 4230u);
  EXPECT_EQ(order.ExtraRefs(), 0);
}

TEST_F(PushSinkTest, CancelAnswerWithErrorHasNoOrderNumber) {
  CHostJob cancel(log_, "cancel", fn::kCancel, &client_);
  cancel.SetField(146, "C9");
  cancel.SetError(1, 2, "no");
  sink_.OnRequestSent(Kv(cancel));
  sink_.OnAnswer(Kv(cancel));
  EXPECT_TRUE(cancel.FieldsRead().empty());
  EXPECT_EQ(center_->FillReceived("C9"), 0u);
}

TEST_F(PushSinkTest, OtherRequestsAreNotTimed) {
  CHostJob query(log_, "query", 300, &client_);
  harness_.system.tick = 50;
  sink_.OnRequestSent(Kv(query));
  harness_.system.tick = 80;
  sink_.OnAnswer(Kv(query));
  EXPECT_EQ(center_->LastOrderTime(), 0u);
  EXPECT_EQ(Trace(), "");
}

TEST_F(PushSinkTest, RegistrationAnswerIsANotice) {
  CHostJob answer(log_, "answer", fn::kRegistration, &client_);
  answer.SetField(307, "5");
  sink_.OnAnswer(Kv(answer));
  ASSERT_EQ(center_->AccountCount(), 1);
  TAccountEntry e;
  center_->CopyAccounts(&e, 1, true);
  EXPECT_EQ(e.status, 6);
  EXPECT_EQ(Trace(), "2010-07-21/17:33:38.005[00001A2B]--接受注册通知 khh= K1, state = 1\r\n");
  EXPECT_EQ(answer.ExtraRefs(), 0);
}

TEST_F(PushSinkTest, PushesCountOnlyWhileUsersAreLoggedIn) {
  CHostJob fill(log_, "fill", fn::kFill, &client_);
  fill.SetField(140, "600000");
  sink_.OnPush(Kv(fill));
  EXPECT_EQ(center_->TotalCount(), 0);
  EXPECT_EQ(sink_.CachedService(), provider_) << "the service is looked up even so";

  center_->AddUser(1);
  sink_.OnPush(Kv(fill));
  EXPECT_EQ(center_->TotalCount(), 1);
  CHostJob notice(log_, "notice", fn::kRegistration, &client_);
  notice.SetField(307, "1");
  sink_.OnPush(Kv(notice));
  EXPECT_EQ(center_->AccountCount(), 1);
  EXPECT_EQ(log_.Count("Port.GetModule(PushHelper)"), 1u) << "looked up once, then cached";
  EXPECT_EQ(fill.ExtraRefs(), 0);
}

TEST_F(PushSinkTest, PushesWithoutTheServiceAreDropped) {
  port_.SetModule("PushHelper", nullptr);
  center_->AddUser(1);
  CHostJob fill(log_, "fill", fn::kFill, &client_);
  sink_.OnPush(Kv(fill));
  EXPECT_EQ(center_->TotalCount(), 0);
  EXPECT_EQ(log_.Count("Port.GetModule(PushHelper)"), 1u);
  sink_.OnPush(Kv(fill));
  EXPECT_EQ(log_.Count("Port.GetModule(PushHelper)"), 2u) << "asked again while not found";
}

TEST_F(PushSinkTest, JobListenerRunsTheRightsCheckForSuccessfulLogins) {
  CHostClient skipped(user_, true);
  CHostJobEvent failed(&client_, fn::kLogin1, false), other(&client_, 300, true),
      skip(&skipped, fn::kLogin2, true);
  listener_.OnJobEvent(Kv(failed));
  listener_.OnJobEvent(Kv(other));
  listener_.OnJobEvent(Kv(skip));
  listener_.OnJobEvent(nullptr);
  EXPECT_EQ(center_->AccountCount(), 0);
  CHostJobEvent login(&client_, fn::kLogin2, true);
  listener_.OnJobEvent(Kv(login));
  listener_.OnJobEvent(Kv(login));  // no duplicate check: replaced, still one
  EXPECT_EQ(center_->AccountCount(), 1);
  EXPECT_EQ(user_.ExtraRefs(), 1) << "the replaced entry gave its reference back";
  center_->ReleaseUsers();
  EXPECT_EQ(user_.ExtraRefs(), 0);
}

TEST_F(PushSinkTest, LoginExtensionAsksForRegistrationOfUnknownAccounts) {
  CPushRegGinaExtend gina;
  gina.header.addin = &link_;
  CHostUser requester(log_, {0, "", "requester", ""});
  CHostJob loginJob(log_, "login", fn::kLogin1, &client_);
  loginJob.SetCreateArgs(0x11, 0x22);
  CHostLoginEvent event(loginJob, requester);
  EXPECT_EQ(gina.OnLoginEvent(Kv(event)), 1);
  EXPECT_EQ(log_.Count("User.CreateJob(requester,17,34)"), 1u);
  const auto jobs = requester.CreatedJobs();
  ASSERT_EQ(jobs.size(), 1u);
  EXPECT_EQ(jobs[0]->GetFunction(), fn::kRegistration);
  EXPECT_EQ(jobs[0]->Mode(), 0);
  EXPECT_TRUE(jobs[0]->Sent());
  EXPECT_EQ(jobs[0]->ExtraRefs(), 0);

  center_->RightsCheck(Kv(client_), true);  // now known
  EXPECT_EQ(gina.OnLoginEvent(Kv(event)), 0);
  EXPECT_EQ(requester.CreatedJobs().size(), 1u);
  EXPECT_EQ(gina.OnLoginEvent(nullptr), 1);
  EXPECT_EQ(loginJob.ExtraRefs(), 0);
  center_->ReleaseUsers();
  EXPECT_EQ(user_.ExtraRefs(), 0);
}

TEST_F(PushSinkTest, LoginExtensionIgnoresAccountsWithoutRight23) {
  CPushRegGinaExtend gina;
  gina.header.addin = &link_;
  CHostUser plain(log_, {1, "A2", "K2", "2 3"});
  CHostClient plainClient(plain);
  CHostUser requester(log_, {0, "", "requester", ""});
  CHostJob loginJob(log_, "login", fn::kLogin1, &plainClient);
  CHostLoginEvent event(loginJob, requester);
  EXPECT_EQ(gina.OnLoginEvent(Kv(event)), 0);
  EXPECT_TRUE(requester.CreatedJobs().empty());
  EXPECT_EQ(plain.ExtraRefs(), 0);
  EXPECT_EQ(loginJob.ExtraRefs(), 0);
  EXPECT_EQ(gina.GetClassRecord(), &CPushRegGinaExtend::kClassRecord);
  EXPECT_EQ(gina.Reserved1(1, 2), 0);
}

class PushSinkTraceTest : public PushSinkTest {
 protected:
  PushSinkTraceTest() {
    // Tracing comes from the host's KvOem.xml, read when the center is made.
    base::AtomicReplace(base::PathToUtf8(dir_.path() / "KvOem.xml"),
                        "<?xml version=\"1.0\" encoding=\"GB2312\"?>\r\n"
                        "<ProfileOfOEM><Common><Debug Trace=\"yes\"/></Common></ProfileOfOEM>\r\n");
    center_ = std::make_unique<CPushCenter>(harness_.system, harness_.cache);
    harness_.context.center = center_.get();
  }
};

TEST_F(PushSinkTraceTest, RequestsAnswersAndFillsAreTracedWhenTracingIsOn) {
  ASSERT_TRUE(center_->TraceOn());
  CHostJob order(log_, "order", fn::kOrder, &client_), cancel(log_, "cancel", fn::kCancel, &client_);
  order.SetField(146, "A1");
  sink_.OnRequestSent(Kv(order));
  sink_.OnAnswer(Kv(order));
  sink_.OnRequestSent(Kv(cancel));
  cancel.SetError(1, 0, "");
  sink_.OnAnswer(Kv(cancel));
  center_->AddUser(1);
  center_->RightsCheck(Kv(client_), true);
  CHostJob fill(log_, "fill", fn::kFill, &client_);
  for (int field : {140, 141, 151, 152, 153, 146, 155}) fill.SetField(field, "f" + std::to_string(field));
  sink_.OnPush(Kv(fill));
  const std::string head = "2010-07-21/17:33:38.005[00001A2B]--";
  EXPECT_EQ(Trace(), head + "PushMsg 202|普通委托|\r\n" + head + "PushMsg 202|普通委托|A1|\r\n" + head +
                         "PushMsg 200|委托撤单|\r\n" + head + "PushMsg 200|委托撤单||\r\n" + head +
                         "详细权限 = 1 23\r\n" + head + "PushMsg K1|f140|f141|f151|f152|f153|f146|f155\r\n");
}

TEST_F(PushSinkTest, FillErrorsGoToTheirOwnFileEvenWithTracingOff) {
  center_->AddUser(1);
  CHostJob fill(log_, "fill", fn::kFill, &client_);
  fill.SetError(2, -5, testing_support::G("拒绝"));
  sink_.OnPush(Kv(fill));
  const auto text =
      base::ReadFileBytes(base::PathToUtf8(dir_.path() / "T0002" / "wt_cache" / "PushErrorInfo20100721.log"));
  ASSERT_TRUE(text.has_value());
  EXPECT_EQ(U(*text), "2010-07-21/17:33:38.005[00001A2B]--ErrorType=2,ErrorCode=-5,ErrorInfo=拒绝\r\n");
}

}  // namespace
