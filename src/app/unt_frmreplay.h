// The replay window ("回测"): a recorded day, or a quote tape in CSV, played
// through copies of the user's monitors with the live monitor loop, so a
// rule is seen at work on a real day before it runs on real money. Per
// monitor: fired or not, when and at what price, the order it would have
// sent and what it tracked; a chart of the selected monitor's security.
//
// The live monitors, the trading window and the notifications are never
// touched: the replay works on copies and its host does nothing outside.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "policy/unt_policy.h"
#include "policy/unt_replay.h"
#include "quotes/quote_tape.h"

namespace app {

// A tape as read for a replay. A tape cut off at its end (the program was
// killed while recording) is replayed as far as it goes: `truncated`.
struct ReplayTapeRead {
  bool ok = false;
  bool truncated = false;
  std::string error;
  std::vector<quotes::TapeLine> lines;
};

// Where the tapes come from.
class IReplayDays {
 public:
  virtual ~IReplayDays() = default;
  // The recorded days, "YYYYMMDD", newest first.
  virtual std::vector<std::string> ListDays() = 0;
  virtual ReplayTapeRead LoadDay(const std::string& day) = 0;
  virtual ReplayTapeRead LoadCsv(const std::string& path) = 0;
};

// The day tapes under data\tapes of the application folder, and CSV files.
// `flush` writes out what the recorder still holds before the days are
// listed or one is read, so that today is there and replayed up to its last
// report, not up to the last block written.
class DiskReplayDays : public IReplayDays {
 public:
  explicit DiskReplayDays(std::string appFolder, std::function<void()> flush = {})
      : appFolder_(std::move(appFolder)), flush_(std::move(flush)) {}
  std::vector<std::string> ListDays() override;
  ReplayTapeRead LoadDay(const std::string& day) override;
  ReplayTapeRead LoadCsv(const std::string& path) override;

 private:
  std::string TapesFolder() const;
  std::string appFolder_;
  std::function<void()> flush_;
};

// What the window asks of its view and the user.
class IReplayUi {
 public:
  virtual ~IReplayUi() = default;
  // The open-file dialog for a CSV tape; nullopt when cancelled.
  virtual std::optional<std::string> ChooseCsvFile() = 0;
  // The save-file dialog for the chart (".png" or ".bmp"); nullopt when cancelled.
  virtual std::optional<std::string> ChooseChartFile() = 0;
  // Draws the current chart into the picture file; false with `error` set.
  virtual bool SaveChartPicture(const std::string& path, std::string* error) = 0;
  // A long run's progress; false stops it.
  virtual bool Progress(size_t done, size_t total) = 0;
};

// One value on an axis and its label.
struct ChartTick {
  double value = 0;
  std::string label;
};

// What the chart shows, in data units; the view maps it onto its pixels.
struct ReplayChart {
  bool empty = true;
  std::string title;  // "600000 浦发银行  #1 移动止盈"
  double timeFrom = 0, timeTo = 0;  // local date-times
  double priceFrom = 0, priceTo = 0;
  std::vector<policy::ReplayPoint> prices;
  bool hasSetPrice = false;
  double setPrice = 0;
  // The trailing high or low as a step line, where the kind keeps one.
  std::string trailLabel;  // "跟踪最高价", "跟踪最低价"; empty: none
  std::vector<std::pair<double, double>> trail;  // (time, price) steps
  bool fired = false;
  double fireTime = 0, firePrice = 0;
  std::vector<ChartTick> timeTicks, priceTicks;
};

// The chart of one monitor's replay.
ReplayChart BuildReplayChart(const policy::ReplayMonitorResult& result,
                             const std::vector<policy::ReplayPoint>& prices);
// Ticks at a "nice" step (1, 2 or 5 times a power of ten) covering
// [from, to], at most about `most` of them, labelled with `decimals`.
std::vector<ChartTick> PriceTicks(double from, double to, int most);
// Ticks at whole minutes (1, 5, 10, 15, 30 or 60), labelled "hh:nn".
std::vector<ChartTick> TimeTicks(double from, double to, int most);

class Tfrmreplay {
 public:
  static constexpr const char* kCaption = "回测";
  static constexpr const char* kCsvItem = "CSV 文件…";
  enum MonitorColumn { kMonId, kMonCode, kMonName, kMonKind, kMonDescription, kMonitorColumns };
  enum ResultColumn { kResId, kResCode, kResName, kResKind, kResFired, kResTime, kResPrice, kResOrder, kResTracked,
                      kResultColumns };
  static const char* MonitorCaption(int column);
  static const char* ResultCaption(int column);

  // `monitors` gives copies of the live store's monitors at each showing.
  Tfrmreplay(IReplayDays& days, IReplayUi& ui, std::function<std::vector<policy::TPolicyRecord>()> monitors);

  // Events.
  void FormShow();
  void CbDayChange(int index);
  void ListMonitorsCheck(int row, bool checked);
  void BtnAllClick();   // "全选"
  void BtnRunClick();   // "开始回测"
  void ListResultsSelect(int row);
  void BtnSaveChartClick();  // "保存图表…"

  // State.
  const std::vector<std::string>& DayItems() const { return dayItems_; }
  int DayIndex() const { return dayIndex_; }
  const std::string& CsvPath() const { return csvPath_; }
  size_t MonitorCount() const { return monitors_.size(); }
  bool MonitorChecked(size_t row) const { return checked_[row]; }
  std::string MonitorCell(size_t row, int column) const;
  size_t ResultCount() const { return results_.size(); }
  std::string ResultCell(size_t row, int column) const;
  const policy::ReplayMonitorResult& Result(size_t row) const { return results_[row]; }
  int SelectedResult() const { return selectedResult_; }
  const ReplayChart& Chart() const { return chart_; }
  const std::string& Status() const { return status_; }
  // Rise when the lists change, so the view knows to refill them.
  uint64_t MonitorsVersion() const { return monitorsVersion_; }
  uint64_t ResultsVersion() const { return resultsVersion_; }

 private:
  bool CsvChosen() const { return dayIndex_ == static_cast<int>(dayItems_.size()) - 1; }
  void ClearResults();

  IReplayDays& days_;
  IReplayUi& ui_;
  std::function<std::vector<policy::TPolicyRecord>()> source_;
  std::vector<std::string> dayNames_;  // "YYYYMMDD" of the items before the CSV one
  std::vector<std::string> dayItems_;
  int dayIndex_ = -1;
  std::string csvPath_;
  std::vector<policy::TPolicyRecord> monitors_;
  std::vector<bool> checked_;
  std::vector<policy::ReplayMonitorResult> results_;
  std::map<std::string, std::vector<policy::ReplayPoint>, std::less<>> prices_;
  int selectedResult_ = -1;
  ReplayChart chart_;
  std::string status_;
  uint64_t monitorsVersion_ = 0;
  uint64_t resultsVersion_ = 0;
};

}  // namespace app
