// The push service: subscribers and notify windows (with counts that go
// negative), fill reports and the fill detail, the tick's note check,
// account hand-out and refresh.
#include "plugin/push/unt_pushprovider.h"

#include <gtest/gtest.h>

#include <cstring>
#include <memory>

#include "base/fixed_text.h"
#include "plugin/push/unt_pushcenter.h"
#include "plugin/push/unt_pushsink.h"
#include "sim/host/host_objects.h"
#include "support/host_kv.h"
#include "support/push_fakes.h"

using namespace push;
using simhost::CHostClient;
using simhost::CHostFeatureView;
using simhost::CHostJob;
using simhost::CHostSubscriber;
using simhost::CHostUser;
using testing_support::G;
using testing_support::U;

using testing_support::Kv;

namespace {

kv::KvHwnd Window(uintptr_t n) { return reinterpret_cast<kv::KvHwnd>(n); }

class PushProviderTest : public ::testing::Test {
 protected:
  PushProviderTest() : port_(log_), notes_(log_) {
    port_.SetModule("KvNoteUtility", Kv(notes_));
    center_ = std::make_unique<CPushCenter>(harness_.system, harness_.cache);
    harness_.context.center = center_.get();
    harness_.context.port = Kv(port_);
    provider_ = new CPushProvider;
    provider_->header.addin = &link_;
    provider_->header.port = Kv(port_);
    provider_->RefreshModules();
    port_.SetModule("PushHelper", provider_->Service());
  }
  ~PushProviderTest() override { provider_->Service()->Destroy(); }

  CHostClient& Login(const std::string& customer, int32_t kind = 1, const std::string& account = "A001") {
    users_.push_back(std::make_unique<CHostUser>(log_, simhost::THostAccount{kind, account, customer, "23"}));
    clients_.push_back(std::make_unique<CHostClient>(*users_.back()));
    center_->AddUser(1);
    center_->RightsCheck(Kv(clients_.back().get()), true);
    return *clients_.back();
  }

  std::unique_ptr<CHostJob> FillPush(CHostClient& client, const std::string& orderNo = "A1") {
    auto job = std::make_unique<CHostJob>(log_, "fill", fn::kFill, &client);
    job->SetField(123, "T");
    job->SetField(140, "600000");
    job->SetField(141, G("浦发银行"));
    job->SetField(151, "09:31:05");
    job->SetField(152, "300");
    job->SetField(153, "10.25");
    job->SetField(130, "2");
    job->SetField(131, G("买入"));
    job->SetField(146, orderNo);
    job->SetField(155, "F77");
    return job;
  }

  std::vector<TFillRecord> Rows(int n = 65) {
    std::vector<TFillRecord> rows(static_cast<size_t>(n));
    center_->CopyFills(rows.data(), n);
    return rows;
  }

  size_t Posted(uint32_t message) {
    size_t n = 0;
    for (const auto& p : harness_.system.Posted()) n += p.message == message;
    return n;
  }

  testing_support::TPluginHarness harness_;
  addin::CAddinLink& link_ = harness_.addin;
  simhost::CCallLog log_;
  simhost::CHostPort port_;
  simhost::CHostNoteUtility notes_;
  std::unique_ptr<CPushCenter> center_;
  CPushProvider* provider_;
  std::vector<std::unique_ptr<CHostUser>> users_;
  std::vector<std::unique_ptr<CHostClient>> clients_;
};

// ---------------------------------------------------------------------------
// Subscribers

TEST_F(PushProviderTest, LateSubscriberGetsTheKnownAccountsOnlyItself) {
  CHostSubscriber early(log_, "early"), late(log_, "late");
  ASSERT_EQ(provider_->AddSubscriber(Kv(early)), 1);
  Login("K1");
  Login("K2");
  ASSERT_EQ(provider_->AddSubscriber(Kv(late)), 1);
  const auto got = late.Received();
  ASSERT_EQ(got.size(), 2u);
  EXPECT_EQ(got[0].kind, 1) << "the account's registered value";
  ASSERT_EQ(got[0].payload.size(), 208u);
  TAccountEntry first{};
  std::memcpy(&first, got[0].payload.data(), 208);
  EXPECT_EQ(FieldText(first.customerNo), "K1");
  EXPECT_TRUE(got[0].extraNull);
  EXPECT_TRUE(early.Received().empty());

  provider_->OnTick();  // the entries were handed out by the replay
  EXPECT_TRUE(early.Received().empty());
  EXPECT_EQ(late.Received().size(), 2u);
}

TEST_F(PushProviderTest, TheTickHandsNewAccountsToEverySubscriberAndAsksForRegistration) {
  CHostSubscriber a(log_, "a"), b(log_, "b");
  provider_->AddSubscriber(Kv(a));
  provider_->AddSubscriber(Kv(b));
  CHostClient& client = Login("K1");
  provider_->OnTick();
  EXPECT_EQ(a.Received().size(), 1u);
  EXPECT_EQ(b.Received().size(), 1u);
  const auto jobs = client.User().CreatedJobs();
  ASSERT_EQ(jobs.size(), 1u) << "status 5 asks for registration";
  EXPECT_EQ(jobs[0]->GetFunction(), fn::kRegistration);
  EXPECT_TRUE(jobs[0]->Sent());

  provider_->OnTick();  // nothing changed since
  EXPECT_EQ(a.Received().size(), 1u);
  EXPECT_EQ(client.User().CreatedJobs().size(), 1u);

  // The answer replaces the entry: handed out again, but registered now.
  CHostJob answer(log_, "answer", fn::kRegistration, &client);
  answer.SetField(307, "1");
  center_->RegistrationNotice(Kv(answer));
  provider_->OnTick();
  ASSERT_EQ(a.Received().size(), 2u);
  EXPECT_EQ(a.Received()[1].kind, 1);
  EXPECT_EQ(client.User().CreatedJobs().size(), 1u) << "status 1 needs no request";
}

TEST_F(PushProviderTest, TheTickTellsAndAsksEntryByEntry) {
  CHostSubscriber a(log_, "a");
  provider_->AddSubscriber(Kv(a));
  Login("K1");
  Login("K2");
  log_.Clear();
  provider_->OnTick();
  std::vector<std::string> order;
  for (const std::string& line : log_.Lines())
    if (line.rfind("Subscriber.", 0) == 0 || line.rfind("User.CreateJob", 0) == 0) order.push_back(line);
  EXPECT_EQ(order, (std::vector<std::string>{"Subscriber.OnPushData(a,1,208,0)", "User.CreateJob(K1,0,0)",
                                             "Subscriber.OnPushData(a,1,208,0)", "User.CreateJob(K2,0,0)"}));
}

TEST_F(PushProviderTest, ChangedButHandedOutEntriesAreNotSentAgainYetStillAskForRegistration) {
  CHostSubscriber a(log_, "a");
  CHostClient& client = Login("K1");
  provider_->AddSubscriber(Kv(a));  // replay hands the entry out, the changed flag stays
  EXPECT_EQ(a.Received().size(), 1u);
  provider_->OnTick();
  EXPECT_EQ(a.Received().size(), 1u);
  EXPECT_EQ(client.User().CreatedJobs().size(), 1u);
}

TEST_F(PushProviderTest, The33rdSubscriberIsRefused) {
  std::vector<std::unique_ptr<CHostSubscriber>> subs;
  for (int i = 0; i < 32; ++i) {
    subs.push_back(std::make_unique<CHostSubscriber>(log_, "s"));
    ASSERT_EQ(provider_->AddSubscriber(Kv(subs.back().get())), 1);
  }
  CHostSubscriber extra(log_, "extra");
  EXPECT_EQ(provider_->AddSubscriber(Kv(extra)), 0);
  EXPECT_EQ(provider_->AddSubscriber(nullptr), 0);
  EXPECT_EQ(provider_->SubscriberCount(), 32);
  // Removing from a full table moves the later ones down without reading past it.
  EXPECT_EQ(provider_->RemoveSubscriber(Kv(subs[0].get())), 1);
  EXPECT_EQ(provider_->SubscriberCount(), 31);
  CHostClient& client = Login("K1");
  auto push = FillPush(client);
  provider_->FillReport(Kv(push.get()));
  EXPECT_TRUE(subs[0]->Received().empty());
  for (int i = 1; i < 32; ++i) EXPECT_EQ(subs[static_cast<size_t>(i)]->Received().size(), 1u) << i;
}

TEST_F(PushProviderTest, RemovingAStrangerDropsTheLastSubscriber) {
  CHostSubscriber a(log_, "a"), b(log_, "b"), stranger(log_, "x");
  provider_->AddSubscriber(Kv(a));
  provider_->AddSubscriber(Kv(b));
  EXPECT_EQ(provider_->RemoveSubscriber(Kv(stranger)), 1);
  EXPECT_EQ(provider_->SubscriberCount(), 1);
  CHostClient& client = Login("K1");
  provider_->FillReport(Kv(FillPush(client).get()));
  EXPECT_EQ(a.Received().size(), 1u);
  EXPECT_TRUE(b.Received().empty());
}

TEST_F(PushProviderTest, RemovingFromAnEmptyListLocksItUntilTheReset) {
  CHostSubscriber a(log_, "a");
  EXPECT_EQ(provider_->RemoveSubscriber(Kv(a)), 1);
  EXPECT_EQ(provider_->SubscriberCount(), -1);
  EXPECT_EQ(provider_->RemoveSubscriber(Kv(a)), 1);
  EXPECT_EQ(provider_->SubscriberCount(), -2);
  EXPECT_EQ(provider_->AddSubscriber(Kv(a)), 0);
  CHostClient& client = Login("K1");
  provider_->FillReport(Kv(FillPush(client).get()));  // a negative count calls nobody
  EXPECT_TRUE(a.Received().empty());
  provider_->ResetTables();
  EXPECT_EQ(provider_->SubscriberCount(), 0);
  EXPECT_EQ(provider_->AddSubscriber(Kv(a)), 1);
}

// ---------------------------------------------------------------------------
// Notify windows

TEST_F(PushProviderTest, NotifyWindowsAreOnlyPostedAtTheSlotOfTheCount) {
  EXPECT_EQ(provider_->AddNotifyWindow(Window(11), 0x8001), 1);
  EXPECT_EQ(provider_->AddNotifyWindow(Window(12), 0x8002), 1);
  provider_->OnTick();  // first tick: notify at once
  EXPECT_EQ(Posted(0x8001) + Posted(0x8002), 0u) << "while windows are only added nothing is posted";

  // Remove the first: window 12 moves down to slot 0, the count drops to 1
  // and slot 1 is empty.
  provider_->RemoveNotifyWindow(Window(11));
  harness_.system.unixTime += 301;
  provider_->OnTick();
  EXPECT_EQ(Posted(0x8002), 0u);

  // A stranger shortens the list: the count 0 points at window 12.
  provider_->RemoveNotifyWindow(Window(99));
  harness_.system.unixTime += 301;
  provider_->OnTick();
  ASSERT_EQ(Posted(0x8002), 1u);
  const auto posted = harness_.system.Posted();
  const auto it = std::find_if(posted.begin(), posted.end(), [](const auto& p) { return p.message == 0x8002; });
  EXPECT_EQ(it->window, Window(12));
  EXPECT_EQ(it->wParam, 0u);
  EXPECT_EQ(it->lParam, 1);
}

TEST_F(PushProviderTest, AWindowThatDroppedOutOfTheListIsNotPostedToLater) {
  for (uintptr_t w : {10, 11, 12}) provider_->AddNotifyWindow(Window(w), static_cast<uint32_t>(0x8000 + w));
  provider_->RemoveNotifyWindow(Window(99));  // a stranger: window 12 drops out
  provider_->RemoveNotifyWindow(Window(10));  // every later slot moves down
  provider_->AddNotifyWindow(Window(13), 0x800D);
  EXPECT_EQ(provider_->NotifyWindowCount(), 2);
  provider_->OnTick();
  EXPECT_EQ(Posted(0x800C), 0u) << "the slot at the count no longer holds window 12";
  EXPECT_EQ(Posted(0x800B) + Posted(0x800D), 0u);
}

TEST_F(PushProviderTest, FullOrNegativeWindowTablesStayInsideTheirSlots) {
  for (uintptr_t i = 1; i <= 32; ++i) ASSERT_EQ(provider_->AddNotifyWindow(Window(i), 0x9000 + static_cast<uint32_t>(i)), 1);
  EXPECT_EQ(provider_->AddNotifyWindow(Window(33), 0x9021), 0);
  EXPECT_EQ(provider_->NotifyWindowCount(), 32);
  provider_->OnTick();  // the record at index 32 does not exist: nothing posted
  for (uint32_t i = 1; i <= 33; ++i) EXPECT_EQ(Posted(0x9000 + i), 0u);
  provider_->ResetTables();
  for (int i = 0; i < 3; ++i) provider_->RemoveNotifyWindow(Window(1));
  EXPECT_EQ(provider_->NotifyWindowCount(), -3);
  EXPECT_EQ(provider_->AddNotifyWindow(Window(1), 1), 0);
  harness_.system.unixTime += 301;
  provider_->OnTick();  // a negative count posts to slot 0, which was cleared
  EXPECT_EQ(Posted(1), 0u);
}

// ---------------------------------------------------------------------------
// Fill reports

TEST_F(PushProviderTest, FillPushBecomesARecordInTheRing) {
  CHostClient& client = Login("K1", 1, "A001");
  auto push = FillPush(client);
  provider_->FillReport(Kv(push.get()));
  EXPECT_EQ(push->FieldsRead(), (std::vector<int32_t>{123, 140, 141, 151, 152, 153, 130, 131, 146, 155}));
  const auto rows = Rows(3);
  // The timing row comes first (show-timing is on by default), then the fill.
  EXPECT_EQ(U(std::string(FieldText(rows[0].code))), "委托耗时:");
  const TFillRecord& r = rows[1];
  EXPECT_EQ(FieldText(r.text), "T");
  EXPECT_EQ(FieldText(r.code), "600000");
  EXPECT_EQ(U(std::string(FieldText(r.name))), "浦发银行");
  EXPECT_EQ(FieldText(r.time), "09:31:05");
  EXPECT_EQ(FieldText(r.quantity), "-300") << "direction 2 is listed negative";
  EXPECT_EQ(FieldText(r.price), "10.25");
  EXPECT_EQ(U(std::string(FieldText(r.business))), "买入");
  EXPECT_EQ(r.direction, 2);
  EXPECT_EQ(FieldText(r.orderNo), "A1");
  EXPECT_EQ(FieldText(r.fillNo), "F77");
  EXPECT_EQ(r.payloadSize, 208);
  EXPECT_EQ(r.accountKind, 1);
  EXPECT_EQ(FieldText(r.accountCode), "A001");
  EXPECT_EQ(FieldText(r.customerNo), "K1");
  EXPECT_TRUE(provider_->PendingNote());
  EXPECT_EQ(push->ExtraRefs(), 0);
  EXPECT_EQ(client.User().ExtraRefs(), 1) << "only the account entry's reference";
  center_->ReleaseUsers();
  EXPECT_EQ(client.User().ExtraRefs(), 0);
}

TEST_F(PushProviderTest, TimingRowShowsOrderAndFillTimes) {
  CHostClient& client = Login("K1");
  int request = 0;
  center_->RequestSent(&request, 1000);
  harness_.system.tick = 1230;
  center_->AnswerReceived("A1", &request);
  harness_.system.tick = 5230;
  provider_->FillReport(Kv(FillPush(client, "A1").get()));
  const auto rows = Rows(2);
  EXPECT_EQ(U(std::string(FieldText(rows[0].code))), "委托耗时:");
  EXPECT_EQ(FieldText(rows[0].name), "230(ms)");
  EXPECT_EQ(U(std::string(FieldText(rows[0].price))), "成交耗时:");
  EXPECT_EQ(FieldText(rows[0].time), "4230(ms)");
  EXPECT_EQ(FieldText(rows[0].quantity), "");
}

TEST_F(PushProviderTest, WithoutShowTimingNoTimingRowIsMade) {
  center_->SetShowTiming(false);
  provider_->FillReport(Kv(FillPush(Login("K1")).get()));
  const auto rows = Rows(2);
  EXPECT_EQ(FieldText(rows[0].code), "600000");
  EXPECT_EQ(FieldText(rows[1].code), "");
}

TEST_F(PushProviderTest, UnterminatedFillFieldsAreNeverOverRead) {
  CHostClient& client = Login("K1");
  auto push = FillPush(client);
  push->SetUnterminatedFields(true);
  push->SetField(140, std::string(16, '6'));
  push->SetField(141, std::string(16, 'N'));
  push->SetField(146, std::string(32, 'O'));
  provider_->FillReport(Kv(push.get()));
  const TFillRecord r = Rows(2)[1];
  EXPECT_EQ(FieldText(r.code), std::string(15, '6'));
  EXPECT_EQ(FieldText(r.name), std::string(15, 'N'));
  EXPECT_EQ(FieldText(r.orderNo), std::string(31, 'O'));
}

TEST_F(PushProviderTest, FillWithErrorIsOnlyLogged) {
  CHostClient& client = Login("K1");
  auto push = FillPush(client);
  push->SetError(3, -12, "oops");
  provider_->FillReport(Kv(push.get()));
  EXPECT_EQ(center_->TotalCount(), 0);
  EXPECT_FALSE(provider_->PendingNote());
  EXPECT_TRUE(push->FieldsRead().empty());
  EXPECT_EQ(push->ExtraRefs(), 0);
}

TEST_F(PushProviderTest, SubscribersGetFillsAndKind32FillsWithTheirDetail) {
  CHostSubscriber sub(log_, "s");
  provider_->AddSubscriber(Kv(sub));
  provider_->FillReport(Kv(FillPush(Login("K1", 1)).get()));
  provider_->FillReport(Kv(FillPush(Login("K32", 32, "A32")).get()));
  const auto got = sub.Received();
  ASSERT_EQ(got.size(), 2u);
  EXPECT_EQ(got[0].kind, kPushFill);
  EXPECT_TRUE(got[0].extraNull);
  EXPECT_EQ(got[1].kind, kPushFillDetail);
  ASSERT_EQ(got[1].payload.size(), 208u);
  int32_t size = 0, kind = 0;
  std::memcpy(&size, got[1].payload.data(), 4);
  std::memcpy(&kind, got[1].payload.data() + 4, 4);
  EXPECT_EQ(size, 208);
  EXPECT_EQ(kind, 32);
  EXPECT_EQ(std::string(got[1].payload.data() + 8), "A32") << "account code at 8 of a fill payload";
  EXPECT_EQ(std::string(got[1].payload.data() + 108), "K32");
  ASSERT_EQ(got[1].extra.size(), sizeof(TFillDetail));
  TFillDetail d{};
  std::memcpy(&d, got[1].extra.data(), sizeof d);
  EXPECT_EQ(d.year, 2010);
  EXPECT_EQ(d.month, 7);
  EXPECT_EQ(d.day, 21);
  EXPECT_EQ(d.hour, 9);
  EXPECT_EQ(d.minute, 31);
  EXPECT_EQ(d.second, 5);
  EXPECT_DOUBLE_EQ(d.price, 10.25);
  EXPECT_EQ(d.quantity, 300);
  EXPECT_EQ(d.direction, 2);
  EXPECT_EQ(FieldText(d.orderNo), "A1");
  EXPECT_EQ(FieldText(d.fillNo), "F77");
  EXPECT_EQ(FieldText(d.code), "600000");
  EXPECT_EQ(U(std::string(FieldText(d.name))), "浦发银行");
  EXPECT_EQ(U(std::string(FieldText(d.business))), "买入");
}

TEST_F(PushProviderTest, FillDetailReadsTheTimeBySeparators) {
  TFillRecord r{};
  base::WriteFixedText(r.time, "0931");
  base::WriteFixedText(r.price, "abc");
  base::WriteFixedText(r.quantity, " -50 lots");
  base::WriteFixedText(r.code, "1234567890123");
  TFillDetail d = BuildFillDetail(r, {});
  EXPECT_EQ(d.hour, 931);
  EXPECT_EQ(d.minute, 0);
  EXPECT_EQ(d.second, 0);
  EXPECT_EQ(d.price, 0.0);
  EXPECT_EQ(d.quantity, -50);
  EXPECT_EQ(FieldText(d.code), "123456789") << "cut to its width minus one";
  base::WriteFixedText(r.time, "14::7");
  d = BuildFillDetail(r, {});
  EXPECT_EQ(d.hour, 14);
  EXPECT_EQ(d.minute, 0);
  EXPECT_EQ(d.second, 7);
}

TEST_F(PushProviderTest, EveryNotificationAsksStockViewToRefresh) {
  CHostFeatureView stock("Stock.zjgf", Window(0x5150));
  port_.AddFeature(&stock, "Stock.zjgf");
  provider_->FillReport(Kv(FillPush(Login("K1")).get()));
  const auto posted = harness_.system.Posted();
  ASSERT_EQ(posted.size(), 1u);
  EXPECT_EQ(posted[0].window, Window(0x5150));
  EXPECT_EQ(posted[0].message, 6026u);
  EXPECT_EQ(posted[0].wParam, 0u);
  EXPECT_EQ(posted[0].lParam, 1);
}

// ---------------------------------------------------------------------------
// Ticks

TEST_F(PushProviderTest, RefreshComesAtTheFirstTickAndAfterMoreThan300Seconds) {
  CHostFeatureView stock("Stock.zjgf", Window(7));
  port_.AddFeature(&stock, "Stock.zjgf");
  CHostSubscriber sub(log_, "s");
  provider_->AddSubscriber(Kv(sub));
  provider_->OnTick();
  EXPECT_EQ(Posted(6026), 1u) << "the last notify time starts at 0";
  harness_.system.unixTime += 300;
  provider_->OnTick();
  EXPECT_EQ(Posted(6026), 1u);
  harness_.system.unixTime += 1;
  provider_->OnTick();
  EXPECT_EQ(Posted(6026), 2u);
  EXPECT_TRUE(sub.Received().empty()) << "a refresh calls no subscriber";
}

TEST_F(PushProviderTest, NextTickRaisesTheNoteWithItsPropertiesInOrder) {
  provider_->FillReport(Kv(FillPush(Login("K1")).get()));
  EXPECT_TRUE(notes_.ShownNotes().empty());
  provider_->OnTick();
  ASSERT_EQ(notes_.ShownNotes().size(), 1u);
  EXPECT_EQ(log_.Matching("Notes.CreateNote"), std::vector<std::string>{"Notes.CreateNote(0,Push,2,0)"});
  EXPECT_EQ(notes_.ShownNotes()[0]->Properties(),
            (std::vector<std::string>{"Format=1", "Catalog=推送消息", "Template=Note.ListNoteRender",
                                      "Title=成交回报信息    ", "Author=推送模块", "Owner=PushHelper"}));
  EXPECT_FALSE(provider_->PendingNote());
  provider_->OnTick();
  EXPECT_EQ(notes_.Notes().size(), 1u) << "one note per batch of fills";
}

TEST_F(PushProviderTest, NoNoteWhileTheMultiAccountViewIsActive) {
  CHostFeatureView multi("vips.multihbuysell", Window(3)), other("other", Window(4));
  port_.AddFeature(&multi, "vips.multihbuysell");
  port_.SetActiveFeature(&multi);
  center_->SetShowTiming(false);
  CHostClient& client = Login("K1");
  provider_->FillReport(Kv(FillPush(client).get()));
  provider_->OnTick();
  EXPECT_TRUE(notes_.Notes().empty());
  EXPECT_FALSE(provider_->PendingNote());
  TFillRecord row;
  EXPECT_EQ(center_->CopyFills(&row, 1), 0) << "the note's new count starts again";

  port_.SetActiveFeature(&other);
  provider_->FillReport(Kv(FillPush(client).get()));
  provider_->OnTick();
  EXPECT_EQ(notes_.ShownNotes().size(), 1u);
}

TEST_F(PushProviderTest, NoNoteCheckWithoutLoggedInUsers) {
  CHostClient& client = Login("K1");
  provider_->FillReport(Kv(FillPush(client).get()));
  center_->RemoveUser(1);
  provider_->OnTick();
  EXPECT_TRUE(notes_.Notes().empty());
  EXPECT_TRUE(provider_->PendingNote());
}

TEST_F(PushProviderTest, NoteNeedsTheNoteUtility) {
  provider_->header.modules.note = nullptr;
  provider_->FillReport(Kv(FillPush(Login("K1")).get()));
  provider_->OnTick();
  EXPECT_TRUE(notes_.Notes().empty());
  EXPECT_FALSE(provider_->PendingNote());
}

TEST_F(PushProviderTest, WithoutPushCenterThereIsNoHandOutOrReplay) {
  Login("K1");
  harness_.context.center = nullptr;
  CHostSubscriber sub(log_, "s");
  provider_->AddSubscriber(Kv(sub));
  provider_->OnTick();
  EXPECT_TRUE(sub.Received().empty());
  EXPECT_EQ(Posted(6026), 0u);
}

TEST_F(PushProviderTest, ServiceInterfaceAnswersItsOwnOperations) {
  kv::IHelper* helper = provider_->Service();
  // The object as the feature entry and the host find it: primary table
  // pointer, feature header, then the service interface.
  void* object = helper->GetServiceObject();
  EXPECT_EQ(object, static_cast<void*>(provider_));
  EXPECT_EQ(&addin::HeaderOf(object), &provider_->header);
  EXPECT_EQ(addin::ServiceInterfaceOf(object), static_cast<void*>(helper));
  EXPECT_EQ(provider_->GetServiceInterface(), helper);
  EXPECT_EQ(helper->GetInterface(0), helper);
  EXPECT_EQ(helper->GetInterface(1), nullptr);
  EXPECT_EQ(helper->OnPushData(2, "x", 1, nullptr, 0), 0);
  EXPECT_EQ(provider_->GetClassRecord(), &CPushProvider::kClassRecord);
  EXPECT_STREQ(CPushProvider::kClassRecord.className, "CPushProvider");
  port_.SetModule("KvNoteUtility", nullptr);
  EXPECT_EQ(helper->RefreshModules(), 1);
  EXPECT_EQ(provider_->header.modules.note, nullptr);
}

}  // namespace
