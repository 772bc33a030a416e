// The push center: the account table and the rights and registration rules,
// the fill ring, the elapsed-time maps, and the trace log.
#include "plugin/push/unt_pushcenter.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <thread>

#include "base/files.h"
#include "base/fixed_text.h"
#include "sim/host/host_objects.h"
#include "support/host_kv.h"
#include "support/push_fakes.h"
#include "support/temp_dir.h"

using namespace push;
using simhost::CCallLog;
using simhost::CHostClient;
using simhost::CHostJob;
using simhost::CHostUser;
using testing_support::G;
using testing_support::TempDir;
using testing_support::U;

using testing_support::Kv;

namespace {

class PushCenterTest : public ::testing::Test {
 protected:
  // A user logged in with these rights, and its client.
  CHostClient& Login(const std::string& customer, int32_t kind, const std::string& rights,
                     const std::string& account = "A001") {
    users_.push_back(std::make_unique<CHostUser>(log_, simhost::THostAccount{kind, account, customer, rights}));
    clients_.push_back(std::make_unique<CHostClient>(*users_.back()));
    return *clients_.back();
  }

  // The tick's requests: every entry handed out, each asking for its own.
  void SendRequests() {
    for (const TAccountEntry& entry : Accounts()) center().SendRegistrationRequest(entry);
  }
  std::vector<TAccountEntry> Accounts(bool keep = true) {
    std::vector<TAccountEntry> entries(static_cast<size_t>(center().AccountCount()));
    center().CopyAccounts(entries.data(), static_cast<int>(entries.size()), keep);
    return entries;
  }

  // A registration answer for a client, with field 307 as given.
  std::unique_ptr<CHostJob> Notice(CHostClient& client, const std::string& state) {
    auto job = std::make_unique<CHostJob>(log_, "notice", fn::kRegistration, &client);
    job->SetField(307, state);
    return job;
  }

  static TFillRecord Fill(int n, uint8_t direction = 1, const std::string& quantity = "100") {
    TFillRecord r{};
    base::WriteFixedText(r.code, "60" + std::to_string(1000 + n));
    base::WriteFixedText(r.quantity, quantity);
    r.direction = direction;
    return r;
  }

  CPushCenter& center() {
    if (!center_) center_ = std::make_unique<CPushCenter>(harness_.system, harness_.cache);
    return *center_;
  }

  testing_support::TPluginHarness harness_;
  CCallLog log_;
  std::vector<std::unique_ptr<CHostUser>> users_;
  std::vector<std::unique_ptr<CHostClient>> clients_;
  std::unique_ptr<CPushCenter> center_;
};

// ---------------------------------------------------------------------------

TEST_F(PushCenterTest, LoginWithRight23MakesOneNewEntry) {
  CHostClient& client = Login("K001", 7, "1 23 45", "A001");
  center().RightsCheck(Kv(client), true);
  const auto entries = Accounts();
  ASSERT_EQ(entries.size(), 1u);
  EXPECT_EQ(entries[0].size, 208);
  EXPECT_EQ(entries[0].accountKind, 7);
  EXPECT_EQ(FieldText(entries[0].customerNo), "K001");
  EXPECT_EQ(FieldText(entries[0].accountCode), "A001");
  EXPECT_EQ(entries[0].registered, 1);
  EXPECT_EQ(entries[0].stage, kStageNew);
  EXPECT_EQ(entries[0].status, kStatusLogin);
  EXPECT_EQ(entries[0].user, Kv(client.User()));
  EXPECT_EQ(client.User().ExtraRefs(), 1) << "the table holds one reference to the user of the entry";
}

TEST_F(PushCenterTest, DuplicateLoginIsIgnoredButListenerCheckReplaces) {
  CHostClient& first = Login("K001", 7, "23");
  center().RightsCheck(Kv(first), true);
  Accounts();  // hands it out: stage 2
  CHostClient& again = Login("K001", 7, "23", "OTHER");
  center().RightsCheck(Kv(again), true);
  auto entries = Accounts();
  ASSERT_EQ(entries.size(), 1u);
  EXPECT_EQ(FieldText(entries[0].accountCode), "A001");
  EXPECT_EQ(entries[0].stage, kStageHandedOut);

  center().RightsCheck(Kv(again), false);
  entries = Accounts();
  ASSERT_EQ(entries.size(), 1u);
  EXPECT_EQ(FieldText(entries[0].accountCode), "OTHER");
  EXPECT_EQ(entries[0].stage, kStageNew);
  EXPECT_EQ(entries[0].user, Kv(again.User()));
}

TEST_F(PushCenterTest, SameCustomerWithAnotherKindIsAnotherAccount) {
  center().RightsCheck(Kv(Login("K001", 1, "23")), true);
  center().RightsCheck(Kv(Login("K001", 2, "23")), true);
  center().RightsCheck(Kv(Login("k001", 1, "23")), true);  // case counts
  EXPECT_EQ(center().AccountCount(), 3);
}

TEST_F(PushCenterTest, Right23IsFoundAsSubstringOnly) {
  center().RightsCheck(Kv(Login("K1", 1, "123")), true);
  EXPECT_EQ(center().AccountCount(), 1);
  center().RightsCheck(Kv(Login("K2", 1, "2 3")), true);
  center().RightsCheck(Kv(Login("K3", 1, "")), true);
  EXPECT_EQ(center().AccountCount(), 1);
  EXPECT_EQ(users_[0]->ExtraRefs(), 1) << "the entry's user";
  for (size_t i = 1; i < users_.size(); ++i) EXPECT_EQ(users_[i]->ExtraRefs(), 0) << "no entry, no reference";
}

TEST_F(PushCenterTest, LongHostTextsAreCutToTheirFields) {
  const std::string customer(150, 'C');
  center().RightsCheck(Kv(Login(customer, 1, "23", std::string(40, 'A'))), true);
  const auto entries = Accounts();
  ASSERT_EQ(entries.size(), 1u);
  EXPECT_EQ(FieldText(entries[0].customerNo), std::string(99, 'C'));
  EXPECT_EQ(FieldText(entries[0].accountCode), std::string(15, 'A'));
}

TEST_F(PushCenterTest, The33rdAccountIsDroppedAndTheOthersStay) {
  for (int i = 0; i < 32; ++i) center().RightsCheck(Kv(Login("K" + std::to_string(i), 1, "23")), true);
  const auto before = Accounts();
  center().RightsCheck(Kv(Login("K32", 1, "23")), true);
  EXPECT_EQ(center().AccountCount(), 32);
  EXPECT_TRUE(center().ChangedFlag()) << "every store marks the table changed";
  const auto after = Accounts();
  for (size_t i = 0; i < after.size(); ++i) EXPECT_EQ(FieldText(after[i].customerNo), FieldText(before[i].customerNo));
  TAccountEntry probe{};
  base::WriteFixedText(probe.customerNo, "K32");
  probe.accountKind = 1;
  EXPECT_FALSE(center().IsKnown(probe));
  base::WriteFixedText(probe.customerNo, "K31");
  EXPECT_TRUE(center().IsKnown(probe));
}

TEST_F(PushCenterTest, CopyAccountsHandsOutAndClearsTheChangedFlagOnlyForTheWholeTable) {
  center().RightsCheck(Kv(Login("K1", 1, "23")), true);
  center().RightsCheck(Kv(Login("K2", 1, "23")), true);
  EXPECT_TRUE(center().ChangedFlag());
  TAccountEntry one[1];
  EXPECT_EQ(center().CopyAccounts(one, 1, false), 1);
  EXPECT_TRUE(center().ChangedFlag()) << "only part of the table was copied";
  EXPECT_EQ(one[0].stage, kStageNew) << "the copy shows the stage before the hand-out";
  Accounts(true);
  EXPECT_TRUE(center().ChangedFlag()) << "keep flag set";
  const auto entries = Accounts(false);
  EXPECT_FALSE(center().ChangedFlag());
  EXPECT_EQ(entries[0].stage, kStageHandedOut);
  EXPECT_EQ(entries[1].stage, kStageHandedOut);
}

TEST_F(PushCenterTest, CopyAccountsNeverCopiesEntriesThatLeftTheTable) {
  center().AddUser(1);
  center().RightsCheck(Kv(Login("K1", 1, "23")), true);
  const int n = center().AccountCount();
  center().RemoveUser(1);  // the last logout empties the table
  std::vector<TAccountEntry> buffer(static_cast<size_t>(n));
  std::memset(static_cast<void*>(buffer.data()), 0x5A, sizeof(TAccountEntry) * buffer.size());
  EXPECT_EQ(center().CopyAccounts(buffer.data(), n, false), 0);
  EXPECT_EQ(FieldText(buffer[0].customerNo), "") << "the rest of the buffer is zeroed";
}

TEST_F(PushCenterTest, LastLogoutEmptiesTheAccountsAndTheCountStaysAtZero) {
  center().AddUser(2);
  center().RightsCheck(Kv(Login("K1", 1, "23")), true);
  EXPECT_EQ(center().RemoveUser(1), 1);
  EXPECT_EQ(center().AccountCount(), 1);
  EXPECT_EQ(center().RemoveUser(1), 0);
  EXPECT_EQ(center().AccountCount(), 0);
  // A logout without a login seen by the plug-in must not hide the next login.
  EXPECT_EQ(center().RemoveUser(1), 0);
  center().AddUser(1);
  EXPECT_EQ(center().UserCount(), 1);
}

// ---------------------------------------------------------------------------
// Registration notices and requests

TEST_F(PushCenterTest, RegistrationStatesAreMapped) {
  const struct {
    const char* text;
    int registered;
    int status;
  } cases[] = {{"1", 1, 1}, {"5", 1, 6}, {"3", 1, 3}, {"abc", 0, 0}, {"2", 1, 2}, {"4", 1, 4}, {" 0", 0, 0},
               {"-7", 1, 3}, {"12x", 1, 3}};
  for (const auto& c : cases) {
    CHostClient& client = Login(std::string("K") + c.text, 1, "23");
    auto job = Notice(client, c.text);
    center().RegistrationNotice(Kv(job.get()));
    const auto entries = Accounts();
    const TAccountEntry& entry = entries.back();
    EXPECT_EQ(entry.registered, c.registered) << c.text;
    EXPECT_EQ(entry.status, c.status) << c.text;
    EXPECT_EQ(entry.stage, kStageNew);
    EXPECT_EQ(entry.user, nullptr) << "a notice keeps no user";
    EXPECT_EQ(job->ExtraRefs(), 0);
    EXPECT_EQ(client.User().ExtraRefs(), 0);
  }
}

TEST_F(PushCenterTest, RegistrationAnswerWithErrorAsksAgain) {
  CHostClient& client = Login("K1", 1, "23");
  auto job = Notice(client, "1");
  job->SetError(1, 99, "busy");
  center().RegistrationNotice(Kv(job.get()));
  const auto entries = Accounts();
  ASSERT_EQ(entries.size(), 1u);
  EXPECT_EQ(entries[0].registered, 1);
  EXPECT_EQ(entries[0].status, kStatusAnswerError);
  EXPECT_TRUE(NeedsRegistration(entries[0].status));
  EXPECT_TRUE(job->FieldsRead().empty()) << "an answer with an error is not read";
}

TEST_F(PushCenterTest, NoticeReplacesTheLoginEntry) {
  CHostClient& client = Login("K1", 1, "23");
  center().RightsCheck(Kv(client), true);
  center().RegistrationNotice(Kv(Notice(client, "1").get()));
  const auto entries = Accounts();
  ASSERT_EQ(entries.size(), 1u);
  EXPECT_EQ(entries[0].status, 1);
  EXPECT_FALSE(NeedsRegistration(entries[0].status));
}

TEST_F(PushCenterTest, RegistrationRequestNeedsTheUserOfTheLogin) {
  CHostClient& client = Login("K1", 1, "23");
  center().RightsCheck(Kv(client), true);
  SendRequests();
  const auto jobs = client.User().CreatedJobs();
  ASSERT_EQ(jobs.size(), 1u);
  EXPECT_EQ(jobs[0]->Mode(), 0);
  EXPECT_EQ(jobs[0]->GetFunction(), fn::kRegistration);
  EXPECT_TRUE(jobs[0]->Sent());
  EXPECT_EQ(jobs[0]->ExtraRefs(), 0);

  // A notice replaces the entry without a user: no request can follow.
  center().RegistrationNotice(Kv(Notice(client, "9").get()));
  ASSERT_TRUE(NeedsRegistration(Accounts()[0].status));
  SendRequests();
  EXPECT_EQ(client.User().CreatedJobs().size(), 1u);
}

TEST_F(PushCenterTest, TableKeepsTheUserOfAnUnregisteredLoginAlive) {
  // Two users log in; the first logs out while the second stays, so its
  // entry is still in the table and still asks for registration.
  CHostClient& first = Login("K1", 1, "23");
  CHostClient& second = Login("K2", 1, "23");
  center().AddUser(1);
  center().RightsCheck(Kv(first), true);
  center().AddUser(1);
  center().RightsCheck(Kv(second), true);
  EXPECT_EQ(first.User().ExtraRefs(), 1) << "the table holds the user of the entry";
  EXPECT_EQ(center().RemoveUser(1), 1);
  // The host drops its own reference here; the table's keeps the object.
  SendRequests();
  EXPECT_EQ(first.User().CreatedJobs().size(), 1u);
  // A notice replaces the entry, and the last logout empties the table:
  // every reference the table took is given back.
  center().RegistrationNotice(Kv(Notice(first, "1").get()));
  EXPECT_EQ(first.User().ExtraRefs(), 0);
  EXPECT_EQ(center().RemoveUser(1), 0);
  EXPECT_EQ(second.User().ExtraRefs(), 0);
}

TEST_F(PushCenterTest, UnterminatedHostFieldIsCutInsideItsField) {
  CHostClient& client = Login("K1", 1, "23");
  CHostJob job(log_, "fields", 402, &client);
  job.SetUnterminatedFields(true);
  job.SetField(140, std::string(40, '7'));
  job.SetField(141, G("浦发银行浦发银行浦发银行"));  // 24 bytes of double-byte characters
  char code[16];
  ReadJobField(Kv(job), 140, code);
  EXPECT_EQ(FieldText(code), std::string(15, '7'));
  char name[16];
  ReadJobField(Kv(job), 141, name);
  EXPECT_EQ(U(std::string(FieldText(name))), "浦发银行浦发银") << "cut at 14 bytes, not inside a character";
  EXPECT_EQ(name[14], '\0');
  EXPECT_EQ(name[15], '\0');
}

// ---------------------------------------------------------------------------
// Fill ring

TEST_F(PushCenterTest, CopyFillsRightAfterStartGivesZeroRows) {
  std::vector<TFillRecord> rows(5);
  std::memset(static_cast<void*>(rows.data()), 0x33, sizeof(TFillRecord) * rows.size());
  EXPECT_EQ(center().CopyFills(rows.data(), 5), 0);
  const TFillRecord zero{};
  for (const auto& row : rows) EXPECT_EQ(std::memcmp(&row, &zero, sizeof row), 0);
}

TEST_F(PushCenterTest, RingKeepsTheNewest64NewestFirstAfterTheTimingRow) {
  TFillRecord timing{};
  base::WriteFixedText(timing.code, G("委托耗时:"));
  base::WriteFixedText(timing.name, "230(ms)");
  center().SetTimingRow(timing);
  for (int i = 0; i < 70; ++i) center().AddFill(Fill(i));
  EXPECT_EQ(center().TotalCount(), 70);
  EXPECT_EQ(center().StoredCount(), 70);

  std::vector<TFillRecord> rows(65);
  EXPECT_EQ(center().CopyFills(rows.data(), 65), 71) << "70 new fills and the timing row";
  EXPECT_EQ(U(std::string(FieldText(rows[0].code))), "委托耗时:");
  EXPECT_EQ(FieldText(rows[0].name), "230(ms)");
  for (int k = 0; k < 64; ++k) EXPECT_EQ(FieldText(rows[static_cast<size_t>(k + 1)].code), "60" + std::to_string(1069 - k));
  // The new count starts again; the timing row still counts as one.
  EXPECT_EQ(center().CopyFills(rows.data(), 65), 1);
  center().AddFill(Fill(70));
  center().SetNewCount(0);
  EXPECT_EQ(center().CopyFills(rows.data(), 65), 1);
}

TEST_F(PushCenterTest, CopyFillsStopsAtTheRowsGivenAndTheFillsStored) {
  for (int i = 0; i < 3; ++i) center().AddFill(Fill(i));
  std::vector<TFillRecord> rows(4);
  EXPECT_EQ(center().CopyFills(rows.data(), 4), 3);
  EXPECT_EQ(FieldText(rows[0].code), "601002");
  EXPECT_EQ(FieldText(rows[2].code), "601000");
  EXPECT_EQ(FieldText(rows[3].code), "") << "no timing row set: the last row stays empty";
  std::vector<TFillRecord> two(2);
  center().CopyFills(two.data(), 2);
  EXPECT_EQ(FieldText(two[1].code), "601001");
  EXPECT_EQ(center().CopyFills(nullptr, 3), 0);
  EXPECT_EQ(center().CopyFills(two.data(), 0), 0);
}

TEST_F(PushCenterTest, SellsAreListedWithAMinusWhenItFits) {
  center().AddFill(Fill(0, 2, "100"));
  center().AddFill(Fill(1, 2, "-100"));
  center().AddFill(Fill(2, 2, std::string(15, '9')));
  center().AddFill(Fill(3, 2, std::string(14, '9')));
  center().AddFill(Fill(4, 1, "300"));
  std::vector<TFillRecord> rows(5);
  center().CopyFills(rows.data(), 5);
  EXPECT_EQ(FieldText(rows[0].quantity), "300");
  EXPECT_EQ(FieldText(rows[1].quantity), "-" + std::string(14, '9'));
  EXPECT_EQ(FieldText(rows[2].quantity), std::string(15, '9')) << "no room for the sign";
  EXPECT_EQ(FieldText(rows[2].code), "601002") << "the next fill keeps its own row";
  EXPECT_EQ(FieldText(rows[3].quantity), "-100");
  EXPECT_EQ(FieldText(rows[4].quantity), "-100");
  // The ring itself keeps the host's text.
  center().CopyFills(rows.data(), 5);
  EXPECT_EQ(FieldText(rows[4].quantity), "-100");
}

// ---------------------------------------------------------------------------
// Elapsed times

TEST_F(PushCenterTest, OrderAndFillTimesFollowTheOrderNumber) {
  int request = 0;
  center().RequestSent(&request, 1000);
  harness_.system.tick = 1230;
  center().AnswerReceived("A1", &request);
  EXPECT_EQ(center().LastOrderTime(), 230u);
  harness_.system.tick = 5230;
  EXPECT_EQ(center().FillReceived("A1"), 4230u);
  harness_.system.tick = 9000;
  EXPECT_EQ(center().FillReceived("A1"), 4230u) << "a second fill leaves the time";
  EXPECT_EQ(center().FillReceived("NEVER"), 4230u);
}

TEST_F(PushCenterTest, AnswerWithoutSeenRequestCountsFromTickZero) {
  int request = 0;
  harness_.system.tick = 777;
  center().AnswerReceived("B1", &request);
  EXPECT_EQ(center().LastOrderTime(), 777u);
  harness_.system.tick = 900;
  EXPECT_EQ(center().FillReceived("B1"), 0u) << "the order number was not recorded";
}

TEST_F(PushCenterTest, AnswerWithoutOrderNumberForgetsTheRequest) {
  int request = 0;
  center().RequestSent(&request, 100);
  harness_.system.tick = 150;
  center().AnswerReceived("", &request);
  EXPECT_EQ(center().LastOrderTime(), 50u);
  harness_.system.tick = 400;
  center().AnswerReceived("C1", &request);
  EXPECT_EQ(center().LastOrderTime(), 400u) << "the request was removed at its first answer";
}

// ---------------------------------------------------------------------------
// Trace log

class PushTraceTest : public PushCenterTest {
 protected:
  void SetUp() override {
    harness_.system.programPath = base::PathToUtf8(dir_.path() / "TradeClient.exe");
    logs_ = dir_.path() / "T0002" / "wt_cache";
  }
  std::string Read(const std::string& name) {
    return base::ReadFileBytes(base::PathToUtf8(logs_ / name)).value_or("<missing>");
  }
  TempDir dir_;
  std::filesystem::path logs_;
};

TEST_F(PushTraceTest, KvOemXmlBesideTheProgramTurnsTracingOn) {
  const auto traceWith = [&](const std::string& xml) {
    base::AtomicReplace(base::PathToUtf8(dir_.path() / "KvOem.xml"), xml);
    return CPushCenter(harness_.system, harness_.cache).TraceOn();
  };
  const std::string head = "<?xml version=\"1.0\" encoding=\"GB2312\"?>\r\n";
  EXPECT_TRUE(traceWith(head + "<ProfileOfOEM><Common><Debug Trace=\"YES\"/></Common></ProfileOfOEM>"));
  EXPECT_TRUE(traceWith("<ProfileOfOEM><Common><Debug Trace='yes'></Debug></Common></ProfileOfOEM>"));
  EXPECT_FALSE(traceWith(head + "<ProfileOfOEM><Common><Debug Trace=\"NO\"/></Common></ProfileOfOEM>"));
  EXPECT_FALSE(traceWith(head + "<ProfileOfOEM><Common><Debug/></Common></ProfileOfOEM>"));
  EXPECT_FALSE(traceWith(head + "<ProfileOfOEM><Debug Trace=\"YES\"/></ProfileOfOEM>"));
  EXPECT_FALSE(traceWith(head + "<!-- on --><ProfileOfOEM><Common><Debug Trace=\"YES\"/></Common></ProfileOfOEM>"))
      << "a comment fails the load";
  std::filesystem::remove(dir_.path() / "KvOem.xml");
  EXPECT_FALSE(CPushCenter(harness_.system, harness_.cache).TraceOn());
  EXPECT_EQ(CPushCenter(harness_.system, harness_.cache).ProfilePath(),
            base::PathToUtf8(dir_.path() / "KvOem.xml"));
}

TEST_F(PushTraceTest, LinesGoToTheDailyFileBelowTheProgramFolder) {
  std::filesystem::create_directories(logs_);
  EXPECT_EQ(center().LogFolder(), base::PathToUtf8(logs_));
  center().Trace("PushTrace", "PushMsg %lu|%s|", 202ul, G("普通委托").c_str());
  harness_.system.now.millisecond = 42;
  center().Trace("PushTrace", "详细权限 = %s", "1 23");
  EXPECT_EQ(U(Read("PushTrace20100721.log")),
            "2010-07-21/17:33:38.005[00001A2B]--PushMsg 202|普通委托|\r\n"
            "2010-07-21/17:33:38.042[00001A2B]--详细权限 = 1 23\r\n");
  EXPECT_EQ(Read("PushTrace20100721.log").find("\xE6"), std::string::npos) << "written as GBK, not UTF-8";
}

TEST_F(PushTraceTest, NamesAreCutAndEmptyNamesBecomeDB) {
  std::filesystem::create_directories(logs_);
  center().Trace("", "x");
  center().Trace(std::string(40, 'N').c_str(), "y");
  EXPECT_NE(Read("DB20100721.log"), "<missing>");
  EXPECT_NE(Read(std::string(31, 'N') + "20100721.log"), "<missing>");
}

TEST_F(PushTraceTest, MissingFolderLosesTheLineAndIsNotCreated) {
  center().Trace("PushTrace", "lost");
  EXPECT_FALSE(std::filesystem::exists(dir_.path() / "T0002"));
}

TEST_F(PushTraceTest, RegistrationNoticeIsTracedEvenWithTracingOff) {
  std::filesystem::create_directories(logs_);
  ASSERT_FALSE(center().TraceOn());
  CHostClient& client = Login("K9", 1, "23");
  center().RegistrationNotice(Kv(Notice(client, "1").get()));
  center().RightsCheck(Kv(client), true);  // traced only with tracing on
  EXPECT_EQ(U(Read("PushTrace20100721.log")), "2010-07-21/17:33:38.005[00001A2B]--接受注册通知 khh= K9, state = 1\r\n");
}

TEST_F(PushTraceTest, ProgramPathWithoutFolderIsTheLogFolder) {
  harness_.system.programPath = "TradeClient.exe";
  EXPECT_EQ(center().LogFolder(), "TradeClient.exe");
  EXPECT_EQ(center().ProfilePath(), "");
  EXPECT_FALSE(center().TraceOn());
}

TEST_F(PushTraceTest, LinesOfManyThreadsStayWhole) {
  std::filesystem::create_directories(logs_);
  CPushCenter& c = center();
  std::vector<std::thread> threads;
  for (int t = 0; t < 4; ++t)
    threads.emplace_back([&c, t] {
      for (int i = 0; i < 200; ++i) c.Trace("Many", "thread %d line %d %s", t, i, std::string(100, 'x').c_str());
    });
  for (auto& thread : threads) thread.join();
  const std::string text = Read("Many20100721.log");
  const std::string head = "2010-07-21/17:33:38.005[00001A2B]--thread ";
  const std::string tail = std::string(100, 'x') + "\r";
  size_t lines = 0;
  for (size_t at = 0; at < text.size(); ++lines) {
    const size_t end = text.find('\n', at);
    ASSERT_NE(end, std::string::npos);
    const std::string line = text.substr(at, end - at);
    ASSERT_EQ(line.compare(0, head.size(), head), 0) << line;
    ASSERT_GE(line.size(), tail.size());
    ASSERT_EQ(line.compare(line.size() - tail.size(), tail.size(), tail), 0) << line;
    at = end + 1;
  }
  EXPECT_EQ(lines, 800u);
}

}  // namespace
