// The quote feed's small consumers: the live-price updater worked through a
// fake engine and a fast clock, the quote tip and the quote debug window.
#include <gtest/gtest.h>

#include <condition_variable>
#include <stdexcept>
#include <fstream>
#include <memory>
#include <mutex>
#include <vector>

#include "base/datetime.h"
#include "quotes/unt_frmdebug.h"
#include "quotes/unt_frmstocktip.h"
#include "quotes/quote_tape.h"
#include "quotes/unt_getstockinfotread.h"
#include "support/policy_fixtures.h"
#include "support/temp_dir.h"

namespace {

using quotes::TQuoteReport;

// Captions as the GUI thread would receive them, waited for with a limit.
class CaptionLog {
 public:
  void Add(const std::string& caption) {
    std::lock_guard lock(mutex_);
    captions_.push_back(caption);
    changed_.notify_all();
  }
  bool WaitFor(size_t count) {
    std::unique_lock lock(mutex_);
    return changed_.wait_for(lock, std::chrono::seconds(5), [&] { return captions_.size() >= count; });
  }
  std::vector<std::string> Captions() {
    std::lock_guard lock(mutex_);
    return captions_;
  }

 private:
  std::mutex mutex_;
  std::condition_variable changed_;
  std::vector<std::string> captions_;
};

TEST(LivePriceUpdater, CyclesEveryPauseKeepsTheLastPriceAndClearsTheLabelWhenStopped) {
  CaptionLog log;
  std::atomic<int> requests{0};
  std::atomic<int> pauses{0};
  std::vector<std::chrono::milliseconds> pauseLengths;
  std::mutex pauseMutex;
  // The engine knows the code for two rounds, then has nothing more: the
  // buffer stays as it was.
  auto request = [&](const std::string& code, TQuoteReport& out) {
    EXPECT_EQ(code, "600000");
    const int n = ++requests;
    if (n == 1) out = testing_support::Report("600000", 10.25f);
    if (n == 2) out = testing_support::Report("600000", 10.5004f);
    if (n == 4) throw std::runtime_error("engine hiccup");
  };
  auto pause = [&](std::chrono::milliseconds d, const std::atomic<bool>&) {
    std::lock_guard lock(pauseMutex);
    pauseLengths.push_back(d);
    ++pauses;
  };
  quotes::TGetStockInfoThread updater(" 600000 ", true, request, [&](const std::string& c) { log.Add(c); }, pause);
  EXPECT_EQ(pauses.load(), 0);  // suspended until resumed
  updater.Resume();
  ASSERT_TRUE(log.WaitFor(5));
  updater.Stop();
  updater.WaitFor();
  const auto captions = log.Captions();
  EXPECT_EQ(captions[0], "10.250");
  EXPECT_EQ(captions[1], "10.500");
  EXPECT_EQ(captions[2], "10.500");  // no quote: the last value stays
  EXPECT_EQ(captions.back(), "");    // cleared at the end
  // The round that threw showed nothing, and the rounds went on after it.
  EXPECT_EQ(captions.size(), static_cast<size_t>(requests.load()));
  std::lock_guard lock(pauseMutex);
  for (auto d : pauseLengths) EXPECT_EQ(d, std::chrono::milliseconds(2000));
  EXPECT_GE(requests.load(), 5);
}

TEST(LivePriceUpdater, StopEndsAWaitingUpdaterAtOnce) {
  CaptionLog log;
  int requests = 0;
  const auto t0 = std::chrono::steady_clock::now();
  {
    quotes::TGetStockInfoThread updater("600000", false, [&](const std::string&, TQuoteReport&) { ++requests; },
                                        [&](const std::string& c) { log.Add(c); });
    updater.Stop();
  }  // destruction waits for the end
  EXPECT_LT(std::chrono::steady_clock::now() - t0, std::chrono::milliseconds(1500));
  EXPECT_EQ(requests, 0);
  EXPECT_EQ(log.Captions(), std::vector<std::string>{""});
}

// A request that takes long (a slow engine) holds up neither a code change
// nor a closing window: destruction returns and the round ends on its own.
TEST(LivePriceUpdater, DestructionLeavesARequestInFlightToEndOnItsOwn) {
  struct Shared {
    std::mutex mutex;
    std::condition_variable changed;
    bool entered = false, released = false;
    CaptionLog log;
  };
  auto shared = std::make_shared<Shared>();
  auto request = [shared](const std::string&, TQuoteReport& out) {
    std::unique_lock lock(shared->mutex);
    shared->entered = true;
    shared->changed.notify_all();
    shared->changed.wait(lock, [&] { return shared->released; });
    out = testing_support::Report("600000", 10.5f);
  };
  auto updater = std::make_unique<quotes::TGetStockInfoThread>(
      "600000", false, request, [shared](const std::string& c) { shared->log.Add(c); },
      [](std::chrono::milliseconds, const std::atomic<bool>&) {});
  {
    std::unique_lock lock(shared->mutex);
    ASSERT_TRUE(shared->changed.wait_for(lock, std::chrono::seconds(5), [&] { return shared->entered; }));
  }
  const auto t0 = std::chrono::steady_clock::now();
  updater.reset();
  EXPECT_LT(std::chrono::steady_clock::now() - t0, std::chrono::milliseconds(1000));
  EXPECT_TRUE(shared->log.Captions().empty());
  {
    std::lock_guard lock(shared->mutex);
    shared->released = true;
  }
  shared->changed.notify_all();
  ASSERT_TRUE(shared->log.WaitFor(2));
  EXPECT_EQ(shared->log.Captions(), (std::vector<std::string>{"10.500", ""}));
}

TQuoteReport FullReport() {
  TQuoteReport r = testing_support::Report("600036", 30.1234f);
  base::WriteFixedUtf8(r.name, "招商银行");
  r.open = 29.5f;
  r.prevClose = 29.0f;
  r.high = 30.5f;
  r.low = 29.25f;
  r.volume = 123456.0f;
  for (int i = 0; i < 3; ++i) {
    r.bidPrice[i] = 30.1f - 0.01f * static_cast<float>(i);
    r.bidVolume[i] = 100.0f * static_cast<float>(i + 1);
    r.askPrice[i] = 30.13f + 0.01f * static_cast<float>(i);
    r.askVolume[i] = 10.0f * static_cast<float>(i + 1);
  }
  r.bidPrice4 = 30.07f, r.bidVolume4 = 400, r.askPrice4 = 30.16f, r.askVolume4 = 40;
  r.bidPrice5 = 30.06f, r.bidVolume5 = 500, r.askPrice5 = 30.17f, r.askVolume5 = 50;
  // 2026-12-09 10:30:15 in Beijing.
  quotes::LocalTimeToQuoteTime(2026, 12, 9, 10, 30, 15, r.quoteTime);
  return r;
}

TEST(QuoteTip, ShowsOnlyItsOwnCodeWithTheTipFormats) {
  quotes::Tfrmstocktip tip;
  EXPECT_EQ(quotes::Tfrmstocktip::Caption(quotes::kFieldCode), "代码：");
  EXPECT_EQ(quotes::Tfrmstocktip::Caption(quotes::kFieldOpen), "开盘价：");
  EXPECT_EQ(quotes::Tfrmstocktip::Caption(static_cast<quotes::QuoteField>(quotes::kFieldBuyVol1 + 2)), "买③：");
  EXPECT_EQ(quotes::Tfrmstocktip::Caption(quotes::kFieldSellPrice5), "卖⑤：");
  EXPECT_EQ(quotes::QuoteFieldName(quotes::kFieldCode), "Labeldm");
  EXPECT_EQ(quotes::QuoteFieldName(quotes::kFieldSellVol5), "LabelSellVol5");

  tip.ShowFor("600036");
  EXPECT_TRUE(tip.Visible());
  EXPECT_TRUE(tip.ShowsCode("600036"));
  EXPECT_FALSE(tip.ShowsCode("600000"));
  EXPECT_FALSE(tip.ShowReport(testing_support::Report("600000", 10.0f)));
  EXPECT_EQ(tip.Value(quotes::kFieldNow), "");  // only captions until its report comes
  ASSERT_TRUE(tip.ShowReport(FullReport()));
  EXPECT_EQ(tip.Value(quotes::kFieldCode), "600036");
  EXPECT_EQ(tip.Value(quotes::kFieldName), "招商银行");
  EXPECT_EQ(tip.Value(quotes::kFieldNow), "30.123");
  EXPECT_EQ(tip.Value(quotes::kFieldClose), "29.000");
  EXPECT_EQ(tip.Value(quotes::kFieldVolume), "123456");
  EXPECT_EQ(tip.Value(quotes::kFieldBuyPrice1), "30.100");
  EXPECT_EQ(tip.Value(quotes::kFieldBuyVol5), "500");
  EXPECT_EQ(tip.Value(static_cast<quotes::QuoteField>(quotes::kFieldSellPrice1 + 3)), "30.160");
  EXPECT_EQ(tip.Value(quotes::kFieldTime), "10:30:15");
  // Another monitor clears it until that security's report.
  tip.ShowFor("600000");
  EXPECT_EQ(tip.Value(quotes::kFieldNow), "");
  tip.Close();
  EXPECT_FALSE(tip.Visible());
}

class DebugHost : public quotes::IFrmdebugHost {
 public:
  std::vector<std::string> calls;
  std::vector<policy::TTradeRecord> orders;
  bool soundOn = true;
  bool SoundOn() override { return soundOn; }
  void PlaySound(const std::string& path, bool) override { calls.push_back("sound " + path.substr(path.size() - 14)); }
  void EnableDebugWindow(bool on) override { calls.push_back(on ? "enable" : "disable"); }
  void PlaceOrder(policy::TTradeRecord order) override {
    calls.push_back("order");
    orders.push_back(order);
  }
  void RefreshMainWindow() override { calls.push_back("refresh"); }
};

TEST(QuoteDebugWindow, CountsReportsAndRunsTheTestOrders) {
  testing_support::TempDir dir;
  std::filesystem::create_directories(dir.path() / "res");
  std::ofstream(dir.File("res/Money_Take.wav")) << "RIFF";
  DebugHost host;
  quotes::Tfrmdebug debug(base::PathToUtf8(dir.path()), host,
                          [](base::TDateTime t) { return base::FormatDateTime("yyyy/m/d hh:nn:ss", t); });
  EXPECT_EQ(quotes::Tfrmdebug::Caption(quotes::kFieldCode), "证券代码：");
  EXPECT_EQ(quotes::Tfrmdebug::Caption(quotes::kFieldName), "证券名称：");
  EXPECT_EQ(debug.CountCaption(), "0");
  debug.ShowReport(FullReport());
  debug.ShowReport(FullReport());
  EXPECT_EQ(debug.CountCaption(), "2");
  EXPECT_EQ(debug.Value(quotes::kFieldVolume), "123456.000");  // volumes too with three decimals
  EXPECT_EQ(debug.Value(quotes::kFieldSellVol1), "10.000");
  EXPECT_EQ(debug.Value(quotes::kFieldTime), "2026/12/9 10:30:15");

  debug.ButtonBuyClick();
  debug.ButtonSellClick();
  EXPECT_EQ(host.calls, (std::vector<std::string>{"sound Money_Take.wav", "disable", "order", "enable",
                                                  "sound Money_Take.wav", "disable", "order", "enable"}));
  ASSERT_EQ(host.orders.size(), 2u);
  EXPECT_EQ(host.orders[0].tradeType, policy::kTradeBuy);
  EXPECT_EQ(host.orders[0].market, quotes::kMarketShanghai);
  EXPECT_EQ(host.orders[0].code, "000000");
  EXPECT_EQ(host.orders[0].buyPrice, "0");
  EXPECT_EQ(host.orders[0].buyQuantity, "0");
  EXPECT_EQ(host.orders[1].tradeType, policy::kTradeSell);
  EXPECT_EQ(host.orders[1].sellPrice, "0");
  EXPECT_EQ(host.orders[1].sellQuantity, "0");
  EXPECT_EQ(host.orders[1].buyPrice, "");

  // Sound off: no sound; a failing order script still enables the window.
  host.calls.clear();
  host.soundOn = false;
  struct Throwing : DebugHost {
    void PlaceOrder(policy::TTradeRecord) override { throw std::runtime_error("script"); }
  } throwing;
  throwing.soundOn = false;
  quotes::Tfrmdebug failing("", throwing, nullptr);
  EXPECT_THROW(failing.ButtonBuyClick(), std::runtime_error);
  EXPECT_EQ(throwing.calls, (std::vector<std::string>{"disable", "enable"}));

  debug.Show();
  debug.ButtonRefreshClick();
  EXPECT_EQ(host.calls, std::vector<std::string>{"refresh"});
  debug.ButtonCloseClick();
  EXPECT_FALSE(debug.Visible());
}

}  // namespace
