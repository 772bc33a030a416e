// The replay window: the worked examples replayed from a CSV tape give the
// live loop's fires and orders; a day without a fire; a monitor edited
// since the day is replayed as it is now while the live one stays as it
// was; a recorded day cut off at its end is replayed as far as it goes.
#include <gtest/gtest.h>

#include "app/unt_frmreplay.h"
#include "base/datetime.h"
#include "base/files.h"
#include "policy/unt_policy.h"
#include "policy/unt_policy_describe.h"
#include "support/policy_fixtures.h"
#include "support/replay_examples.h"
#include "support/temp_dir.h"

using namespace policy;
using app::Tfrmreplay;

namespace {

class FakeUi : public app::IReplayUi {
 public:
  std::optional<std::string> csv, chart;
  std::string saved;
  size_t progressCalls = 0, lastDone = 0;
  std::optional<std::string> ChooseCsvFile() override { return csv; }
  std::optional<std::string> ChooseChartFile() override { return chart; }
  bool SaveChartPicture(const std::string& path, std::string*) override {
    saved = path;
    return true;
  }
  bool Progress(size_t done, size_t) override {
    ++progressCalls;
    lastDone = done;
    return true;
  }
};

// One recorded day, whose tape is the given CSV text.
class OneDay : public app::DiskReplayDays {
 public:
  OneDay(std::string csv, bool truncated) : DiskReplayDays(""), csv_(std::move(csv)), truncated_(truncated) {}
  std::vector<std::string> ListDays() override { return {"20120518"}; }
  app::ReplayTapeRead LoadDay(const std::string& day) override {
    app::ReplayTapeRead read;
    if (day != "20120518") return read;
    read.ok = true;
    read.truncated = truncated_;
    read.lines = quotes::ParseTape(csv_).lines;
    return read;
  }

 private:
  std::string csv_;
  bool truncated_;
};

struct ReplayWindow : ::testing::Test {
  testing_support::TempDir dir;
  TPolicyList live;
  FakeUi ui;
  ReplayWindow() {
    const std::string store = dir.File("policy.tmp");
    base::AtomicReplace(store, testing_support::ExampleStore());
    EXPECT_TRUE(live.LoadStore(store).ok);
  }
  std::function<std::vector<TPolicyRecord>()> Live() {
    return [this] { return live.Snapshot(); };
  }
  int Row(const Tfrmreplay& w, int id) {
    for (size_t r = 0; r < w.ResultCount(); ++r)
      if (w.ResultCell(r, Tfrmreplay::kResId) == std::to_string(id)) return static_cast<int>(r);
    return -1;
  }
};

TEST_F(ReplayWindow, CsvDayFiresAsLiveAndLeavesTheStoreAlone) {
  base::AtomicReplace(dir.File("tape.csv"), testing_support::kExampleTape);
  app::DiskReplayDays days(base::PathToUtf8(dir.path()));
  Tfrmreplay w(days, ui, Live());
  w.FormShow();
  ASSERT_EQ(w.DayItems(), std::vector<std::string>{Tfrmreplay::kCsvItem});
  ASSERT_EQ(w.MonitorCount(), 8u);
  for (size_t i = 0; i < 8; ++i) EXPECT_TRUE(w.MonitorChecked(i));

  w.BtnRunClick();  // nothing chosen yet
  EXPECT_EQ(w.ResultCount(), 0u);
  ui.csv = dir.File("tape.csv");
  w.CbDayChange(0);
  w.BtnRunClick();
  ASSERT_EQ(w.ResultCount(), 8u) << w.Status();
  EXPECT_NE(w.Status().find("8 个触发"), std::string::npos) << w.Status();
  EXPECT_GE(ui.progressCalls, 1u);

  const int payoff = Row(w, 1);
  EXPECT_EQ(w.ResultCell(payoff, Tfrmreplay::kResFired), "触发");
  EXPECT_EQ(w.ResultCell(payoff, Tfrmreplay::kResTime), "09:30:03");
  EXPECT_EQ(w.ResultCell(payoff, Tfrmreplay::kResPrice), "10.200");
  // The price as live: 10 per mille below 10.20, moved up onto the tick.
  EXPECT_EQ(w.ResultCell(payoff, Tfrmreplay::kResOrder),
            "卖出 600000 浦发银行 10.100 × 1000，自动下单（价格由 10.098 调为 10.100：按最小变动单位 0.01）");
  EXPECT_EQ(w.ResultCell(payoff, Tfrmreplay::kResTracked), "最高价 10.800");
  // The index monitor orders its target at the target's own price.
  EXPECT_NE(w.ResultCell(Row(w, 6), Tfrmreplay::kResOrder).find("买入 510050 50ETF 2.525"), std::string::npos);
  EXPECT_EQ(w.ResultCell(Row(w, 4), Tfrmreplay::kResTracked), "最低价 7.500");
  // A prompt-only monitor without an order price only prompts; no price error.
  EXPECT_EQ(w.ResultCell(Row(w, 8), Tfrmreplay::kResOrder), "卖出 600006 东风汽车 × 1000，仅提示");
  EXPECT_EQ(w.ResultCell(Row(w, 5), Tfrmreplay::kResTime), "14:30:00");

  // The first fired monitor is charted: its four reports, the set price,
  // the trailing high as it rose, the fire.
  ASSERT_EQ(w.SelectedResult(), payoff);
  const app::ReplayChart& c = w.Chart();
  ASSERT_FALSE(c.empty);
  ASSERT_EQ(c.prices.size(), 4u);
  EXPECT_TRUE(c.hasSetPrice);
  EXPECT_DOUBLE_EQ(c.setPrice, 10.0);
  EXPECT_EQ(c.trailLabel, "跟踪最高价");
  ASSERT_EQ(c.trail.size(), 2u);
  EXPECT_FLOAT_EQ(static_cast<float>(c.trail.back().second), 10.8f);
  EXPECT_TRUE(c.fired);
  EXPECT_FLOAT_EQ(static_cast<float>(c.firePrice), 10.2f);
  EXPECT_LT(c.priceFrom, 10.0);
  EXPECT_GT(c.priceTo, 10.8);
  ASSERT_GE(c.priceTicks.size(), 3u);
  for (const auto& t : c.priceTicks) EXPECT_TRUE(t.value >= c.priceFrom && t.value <= c.priceTo) << t.label;
  ASSERT_FALSE(c.timeTicks.empty());
  EXPECT_EQ(c.timeTicks.front().label, "09:30");

  ui.chart = dir.File("chart.png");
  w.BtnSaveChartClick();
  EXPECT_EQ(ui.saved, dir.File("chart.png"));
  EXPECT_NE(w.Status().find("图表已保存到"), std::string::npos);

  // The live monitors are as loaded: stopped, nothing fired or tracked.
  for (const TPolicyRecord& m : live.Snapshot()) {
    EXPECT_EQ(m.state, kStateStopped);
    EXPECT_EQ(m.fired, 0);
    EXPECT_EQ(m.trailingHigh, 0.0f);
    EXPECT_EQ(m.trailingLow, 0.0f);
  }
}

TEST_F(ReplayWindow, RecordedDayWithoutFireAndCutOff) {
  OneDay days(
      "time,code,market,name,prev_close,open,high,low,price\n"
      "2012-05-18 09:30:14,600000,SH,浦发银行,10,10,10,10,10.20\n"
      "2012-05-18 10:45:00,600000,SH,浦发银行,10,10,10,10,10.45\n"
      "2012-05-18 13:10:05,600000,SH,浦发银行,10,10,10,10,10.30\n",
      true);
  Tfrmreplay w(days, ui, Live());
  w.FormShow();
  ASSERT_EQ(w.DayItems(), (std::vector<std::string>{"2012-05-18", Tfrmreplay::kCsvItem}));
  EXPECT_EQ(w.DayIndex(), 0);
  // Only the trailing take-profit, the only monitor of the day's security.
  for (int i = 1; i < 8; ++i) w.ListMonitorsCheck(i, false);
  w.BtnRunClick();
  ASSERT_EQ(w.ResultCount(), 1u) << w.Status();
  EXPECT_EQ(w.ResultCell(0, Tfrmreplay::kResFired), "未触发");
  EXPECT_EQ(w.ResultCell(0, Tfrmreplay::kResTime), "");
  EXPECT_EQ(w.ResultCell(0, Tfrmreplay::kResOrder), "");
  EXPECT_EQ(w.ResultCell(0, Tfrmreplay::kResTracked), "最高价 10.450");
  EXPECT_NE(w.Status().find("0 个触发"), std::string::npos) << w.Status();
  EXPECT_NE(w.Status().find("末尾不完整"), std::string::npos) << w.Status();
  EXPECT_FALSE(w.Chart().empty);
  EXPECT_FALSE(w.Chart().fired);
  ASSERT_EQ(w.Chart().prices.size(), 3u);
  // 9:30 to 13:10 in half hours: the axis starts at the first report's
  // minute, not at the first half hour after it.
  ASSERT_EQ(w.Chart().timeTicks.size(), 8u);
  EXPECT_EQ(w.Chart().timeTicks.front().label, "09:30");
  EXPECT_EQ(w.Chart().timeTicks.back().label, "13:00");
}

// The live program does not watch an index monitor's target: it asks for
// the target's quote at the fire and records that answer right after the
// index's report. The replay prices the order by it, as the fire did.
TEST_F(ReplayWindow, RecordedDayPricesTheTargetByTheAnswerOfTheFire) {
  OneDay days(
      "time,code,market,name,prev_close,open,high,low,price\n"
      "2012-05-18 14:32:01,000001,SH,上证指数,3000,3000,3000,3000,3010\n"
      "2012-05-18 14:32:02,000001,SH,上证指数,3000,3000,3000,3000,3020.5\n"
      "2012-05-18 14:32:04,510050,SH,50ETF,2.5,2.5,2.5,2.5,2.525\n"
      "2012-05-18 14:40:00,510050,SH,50ETF,2.5,2.5,2.5,2.5,2.600\n",
      false);
  Tfrmreplay w(days, ui, Live());
  w.FormShow();
  for (int i = 0; i < 8; ++i) w.ListMonitorsCheck(i, i == 5);
  w.BtnRunClick();
  ASSERT_EQ(w.ResultCount(), 1u) << w.Status();
  EXPECT_EQ(w.ResultCell(0, Tfrmreplay::kResTime), "14:32:02");
  // 1 % above the answer's 2.525 (the later 2.600 was not known yet).
  EXPECT_EQ(w.ResultCell(0, Tfrmreplay::kResOrder), "买入 510050 50ETF 2.550 × 1000，自动下单");
}

TEST_F(ReplayWindow, MonitorEditedSinceTheDayReplaysAsItIsNow) {
  base::AtomicReplace(dir.File("tape.csv"), testing_support::kExampleTape);
  // The trailing take-profit fired live that day, and its set price was
  // raised afterwards: the replay starts it afresh with today's rule, which
  // does not fire on that day (10.20 is below the new set price).
  TPolicyRecord m;
  live.Copy(1, m);
  m.state = kStateTriggered;
  m.fired = 1;
  m.trailingHigh = 10.8f;
  m.setPrice = 10.5f;
  UpdateDescription(m);
  live.Replace(m);

  app::DiskReplayDays days(base::PathToUtf8(dir.path()));
  Tfrmreplay w(days, ui, Live());
  w.FormShow();
  ui.csv = dir.File("tape.csv");
  w.CbDayChange(0);
  w.BtnRunClick();
  const int row = Row(w, 1);
  ASSERT_GE(row, 0) << w.Status();
  EXPECT_EQ(w.ResultCell(row, Tfrmreplay::kResFired), "未触发");
  EXPECT_EQ(w.ResultCell(row, Tfrmreplay::kResTracked), "最高价 10.800");
  EXPECT_NE(w.MonitorCell(0, Tfrmreplay::kMonDescription).find("10.50"), std::string::npos);
  // The live record is as the user left it.
  TPolicyRecord after;
  live.Copy(1, after);
  EXPECT_EQ(after.state, kStateTriggered);
  EXPECT_EQ(after.fired, 1);
  EXPECT_FLOAT_EQ(after.setPrice, 10.5f);
}

}  // namespace
