// Many host threads at once: fills and accounts pushed while others copy
// them, logins and logouts, ticks and subscribers. Every copy must be whole
// (no record mixed from two writes) and the counts must add up. The test
// script also runs this suite under ThreadSanitizer.
#include <gtest/gtest.h>

#include <atomic>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "base/fixed_text.h"
#include "plugin/push/unt_pushcenter.h"
#include "plugin/push/unt_pushprovider.h"
#include "plugin/push/unt_pushsink.h"
#include "sim/host/host_objects.h"
#include "support/host_kv.h"
#include "support/push_fakes.h"

using namespace push;

using testing_support::Kv;

namespace {

constexpr int kWriters = 3;
constexpr int kFillsPerWriter = 3000;

// A fill whose fields all carry the same number, so a torn copy shows.
TFillRecord NumberedFill(int n) {
  TFillRecord r{};
  const std::string s = std::to_string(n);
  base::WriteFixedText(r.code, s);
  base::WriteFixedText(r.name, s);
  base::WriteFixedText(r.quantity, s);
  base::WriteFixedText(r.orderNo, s);
  r.direction = static_cast<uint8_t>(n % 3);
  return r;
}

bool Whole(const TFillRecord& r) {
  const std::string_view code = FieldText(r.code);
  std::string quantity(FieldText(r.quantity));
  if (!quantity.empty() && quantity[0] == '-') quantity.erase(0, 1);  // sells are listed negative
  return FieldText(r.name) == code && quantity == code && FieldText(r.orderNo) == code;
}

bool Whole(const TAccountEntry& e) {
  return e.size == 208 && FieldText(e.customerNo).substr(1) == FieldText(e.accountCode).substr(1);
}

TEST(PushStress, FillsAndAccountsPushedWhileOthersCopyThem) {
  testing_support::TPluginHarness harness;
  CPushCenter center(harness.system, harness.cache);
  std::atomic<bool> torn{false};
  std::atomic<int> writersLeft{kWriters * 2};

  std::vector<std::thread> threads;
  for (int w = 0; w < kWriters; ++w) {
    threads.emplace_back([&, w] {
      for (int i = 0; i < kFillsPerWriter; ++i) center.AddFill(NumberedFill(w * kFillsPerWriter + i));
      --writersLeft;
    });
    threads.emplace_back([&, w] {
      for (int i = 0; i < kFillsPerWriter; ++i) {
        TAccountEntry e{};
        e.size = 208;
        e.accountKind = w;
        const std::string n = std::to_string(i % 40);
        base::WriteFixedText(e.customerNo, "K" + n);
        base::WriteFixedText(e.accountCode, "A" + n);
        center.Store(e);
        int request = 0;
        center.RequestSent(&request, static_cast<uint32_t>(i));
        center.AnswerReceived("O" + n, &request);
        center.FillReceived("O" + n);
      }
      --writersLeft;
    });
  }
  for (int r = 0; r < 2; ++r) {
    threads.emplace_back([&] {
      std::vector<TFillRecord> rows(65);
      TAccountEntry accounts[kMaxAccounts];
      while (writersLeft.load() > 0) {
        const int n = center.CopyFills(rows.data(), 65);
        (void)n;
        for (const TFillRecord& row : rows)
          if (FieldText(row.code).size() && !Whole(row)) torn = true;
        const int copied = center.CopyAccounts(accounts, center.AccountCount(), false);
        for (int i = 0; i < copied; ++i)
          if (!Whole(accounts[i])) torn = true;
        center.LastOrderTime();
      }
    });
  }
  threads.emplace_back([&] {
    while (writersLeft.load() > 0) {
      center.AddUser(1);
      center.RemoveUser(1);
      center.UserCount();
    }
  });
  for (auto& thread : threads) thread.join();

  EXPECT_FALSE(torn.load());
  EXPECT_EQ(center.TotalCount(), kWriters * kFillsPerWriter);
  EXPECT_EQ(center.StoredCount(), kWriters * kFillsPerWriter);
  EXPECT_LE(center.AccountCount(), kMaxAccounts);
}

// The whole path of a fill push on several host threads at once, with ticks,
// subscribers coming and going, and the note check.
TEST(PushStress, FillPushesTicksAndSubscribersOnManyThreads) {
  testing_support::TPluginHarness harness;
  simhost::CCallLog log;
  simhost::CHostPort port(log);
  simhost::CHostNoteUtility notes(log);
  port.SetModule("KvNoteUtility", Kv(notes));
  CPushCenter center(harness.system, harness.cache);
  harness.context.center = &center;
  harness.context.port = Kv(port);
  CPushProvider* provider = new CPushProvider;
  addin::CAddinLink& link = harness.addin;
  provider->header.addin = &link;
  provider->header.port = Kv(port);
  provider->RefreshModules();
  port.SetModule("PushHelper", provider->Service());
  CPushSink sink(harness.context);
  center.AddUser(1);

  constexpr int kPushers = 3;
  constexpr int kPushes = 1000;
  std::vector<std::unique_ptr<simhost::CHostUser>> users;
  std::vector<std::unique_ptr<simhost::CHostClient>> clients;
  for (int t = 0; t < kPushers; ++t) {
    users.push_back(std::make_unique<simhost::CHostUser>(
        log, simhost::THostAccount{t == 0 ? 32 : 1, "A" + std::to_string(t), "K" + std::to_string(t), "23"}));
    clients.push_back(std::make_unique<simhost::CHostClient>(*users.back()));
  }
  std::atomic<int> pushersLeft{kPushers};
  std::vector<std::thread> threads;
  for (int t = 0; t < kPushers; ++t) {
    threads.emplace_back([&, t] {
      for (int i = 0; i < kPushes; ++i) {
        simhost::CHostJob push(log, "fill", fn::kFill, clients[static_cast<size_t>(t)].get());
        const std::string n = std::to_string(t * 1000 + i);
        for (int field : {140, 141, 152, 146}) push.SetField(field, n);
        push.SetField(151, "09:31:05");
        sink.OnPush(Kv(push));
        center.RightsCheck(Kv(clients[static_cast<size_t>(t)].get()), false);
      }
      --pushersLeft;
    });
  }
  threads.emplace_back([&] {
    simhost::CHostSubscriber a(log, "a"), b(log, "b");
    while (pushersLeft.load() > 0) {
      provider->AddSubscriber(Kv(a));
      provider->AddSubscriber(Kv(b));
      provider->RemoveSubscriber(Kv(a));
      provider->RemoveSubscriber(Kv(b));
    }
  });
  threads.emplace_back([&] {
    while (pushersLeft.load() > 0) {
      harness.system.unixTime += 301;
      provider->OnTick();
    }
  });
  threads.emplace_back([&] {
    std::vector<TFillRecord> rows(65);
    while (pushersLeft.load() > 0) center.CopyFills(rows.data(), 65);
  });
  for (auto& thread : threads) thread.join();

  EXPECT_EQ(center.TotalCount(), kPushers * kPushes);
  std::vector<TFillRecord> rows(65);
  center.CopyFills(rows.data(), 65);
  for (const TFillRecord& row : rows)
    if (!FieldText(row.orderNo).empty()) {
      EXPECT_EQ(FieldText(row.code), FieldText(row.orderNo));
      EXPECT_EQ(FieldText(row.name), FieldText(row.orderNo));
    }
  EXPECT_EQ(provider->SubscriberCount(), 0);
  center.ReleaseUsers();
  for (const auto& user : users) EXPECT_EQ(user->ExtraRefs(), 0);
  provider->Service()->Destroy();
}

}  // namespace
