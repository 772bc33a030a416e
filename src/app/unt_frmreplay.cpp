#include "app/unt_frmreplay.h"

#include <algorithm>
#include <cmath>

#include "app/unt_orderoutcomes.h"
#include "base/datetime.h"
#include "base/files.h"
#include "base/gbk.h"
#include "base/text.h"
#include "quotes/unt_daytape.h"
#include "quotes/unt_taperecorder.h"

namespace app {

// ---- The tapes on disk -----------------------------------------------------

std::string DiskReplayDays::TapesFolder() const { return quotes::DayTapesFolder(appFolder_); }

std::vector<std::string> DiskReplayDays::ListDays() {
  if (flush_) flush_();
  return quotes::ListDayTapes(TapesFolder());
}

ReplayTapeRead DiskReplayDays::LoadDay(const std::string& day) {
  ReplayTapeRead read;
  if (flush_) flush_();
  const std::string path = base::PathToUtf8(base::PathFromUtf8(TapesFolder()) / day);
  if (!base::FileExists(path)) {
    read.error = "没有 " + day + " 的行情记录";
    return read;
  }
  quotes::DayTapeReadResult tape = quotes::ReadDayTapeFile(path);
  if (!tape.ok) {
    read.error = path + "：" + tape.error;
    return read;
  }
  read.ok = true;
  read.truncated = tape.truncated;
  read.lines = std::move(tape.lines);
  return read;
}

ReplayTapeRead DiskReplayDays::LoadCsv(const std::string& path) {
  ReplayTapeRead read;
  const auto bytes = base::ReadFileBytes(path);
  if (!bytes) {
    read.error = "无法读取文件 " + path;
    return read;
  }
  quotes::TapeParseResult tape = quotes::ParseTape(*bytes);
  if (!tape.ok) {
    read.error = path + (tape.errorLine ? " 第 " + std::to_string(tape.errorLine) + " 行" : std::string()) + "：" +
                 tape.error;
    return read;
  }
  read.ok = true;
  read.lines = std::move(tape.lines);
  return read;
}

// ---- The chart ---------------------------------------------------------------

namespace {

// A trailing take-profit and a fall back after a rise follow the high; a
// limit-price rebound and a rebound after a fall follow the low.
enum class Trail { None, High, Low };
Trail TrailOf(const policy::TPolicyRecord& m) {
  using namespace policy;
  if (m.kind == kKindPayoff || (m.kind == kKindPrice && m.direction == kDirRiseFallBack)) return Trail::High;
  if (m.kind == kKindLimitDown || (m.kind == kKindPrice && m.direction == kDirFallRebound)) return Trail::Low;
  return Trail::None;
}

// A time monitor ordering at the trade price has no price of its own.
bool HasSetPrice(const policy::TPolicyRecord& m) {
  if (m.kind == policy::kKindTime && m.priceBasis == policy::kBasisTradePrice) return false;
  return m.setPrice > 0 && std::isfinite(m.setPrice);
}

int DecimalsOf(double step) {
  int decimals = 0;
  while (decimals < 3 && step < 0.999 / std::pow(10.0, decimals)) ++decimals;
  return decimals;
}

}  // namespace

std::vector<ChartTick> PriceTicks(double from, double to, int most) {
  std::vector<ChartTick> ticks;
  if (!(to > from) || most < 1) return ticks;
  const double rough = (to - from) / most;
  const double power = std::pow(10.0, std::floor(std::log10(rough)));
  double step = power;
  for (const double f : {1.0, 2.0, 5.0, 10.0}) {
    step = f * power;
    if (step >= rough) break;
  }
  const int decimals = DecimalsOf(step);
  for (double v = std::ceil(from / step - 1e-6) * step; v <= to + step * 1e-6; v += step) {
    ticks.push_back({v, base::FormatFixed(v, decimals)});
  }
  return ticks;
}

std::vector<ChartTick> TimeTicks(double from, double to, int most) {
  std::vector<ChartTick> ticks;
  if (!(to > from) || most < 1) return ticks;
  constexpr double kMinute = 1.0 / 1440.0;
  int step = 60;
  for (const int minutes : {1, 5, 10, 15, 30, 60}) {
    step = minutes;
    if ((to - from) / (minutes * kMinute) <= most) break;
  }
  const double stepDays = step * kMinute;
  // Date-times are large numbers of days: the tolerance is a part of a step.
  for (double v = std::ceil(from / stepDays - 1e-6) * stepDays; v <= to + stepDays * 1e-6; v += stepDays) {
    // Rounded onto the minute, so that the label is never a minute early.
    const double minute = std::round(v / kMinute) * kMinute;
    ticks.push_back({minute, base::FormatDateTime("hh:nn", minute + 1e-7)});
  }
  return ticks;
}

ReplayChart BuildReplayChart(const policy::ReplayMonitorResult& r, const std::vector<policy::ReplayPoint>& prices) {
  ReplayChart c;
  const policy::TPolicyRecord& m = r.monitor;
  c.title = base::GbkToUtf8Lossy(policy::CodeText(m)) + " " + policy::NameUtf8(m) + "  #" + std::to_string(m.id) +
            " " + policy::KindName(m.kind);
  if (prices.empty()) return c;
  c.empty = false;
  c.prices = prices;
  // Whole minutes at both ends, one at least: the axis is labelled in
  // minutes from its left end, and a tape of a few seconds is drawn inside
  // its minute rather than squeezed against the edge of one that starts
  // at its first report.
  constexpr double kMinute = 1.0 / 1440.0;
  c.timeFrom = std::floor(prices.front().time / kMinute + 1e-6) * kMinute;
  c.timeTo = std::max(std::ceil(prices.back().time / kMinute - 1e-6) * kMinute, c.timeFrom + kMinute);
  double low = prices.front().price, high = low;
  const auto take = [&](double v) {
    if (!(v > 0) || !std::isfinite(v)) return;
    low = std::min(low, v);
    high = std::max(high, v);
  };
  for (const policy::ReplayPoint& p : prices) take(p.price);
  if (HasSetPrice(m)) {
    c.hasSetPrice = true;
    c.setPrice = m.setPrice;
    take(c.setPrice);
  }
  const Trail trail = TrailOf(m);
  if (trail != Trail::None) {
    c.trailLabel = trail == Trail::High ? "跟踪最高价" : "跟踪最低价";
    for (const policy::ReplayTrack& t : r.tracked) {
      const double v = trail == Trail::High ? t.trailingHigh : t.trailingLow;
      if (!(v > 0)) continue;
      c.trail.emplace_back(t.time, v);
      take(v);
    }
  }
  if (r.fired) {
    c.fired = true;
    c.fireTime = r.fireTime;
    c.firePrice = r.firePrice;
  }
  // A margin around the prices, and never a zero range.
  const double margin = std::max((high - low) * 0.08, std::max(high * 0.002, 0.01));
  c.priceFrom = std::max(0.0, low - margin);
  c.priceTo = high + margin;
  c.priceTicks = PriceTicks(c.priceFrom, c.priceTo, 6);
  c.timeTicks = TimeTicks(c.timeFrom, c.timeTo, 8);
  return c;
}

// ---- The window --------------------------------------------------------------

const char* Tfrmreplay::MonitorCaption(int column) {
  static const char* const kCaptions[kMonitorColumns] = {"序号", "代码", "名称", "监控类型", "监控内容"};
  return kCaptions[column];
}

const char* Tfrmreplay::ResultCaption(int column) {
  static const char* const kCaptions[kResultColumns] = {"序号",   "代码",   "名称", "监控类型", "结果",
                                                        "触发时间", "触发价", "委托", "跟踪"};
  return kCaptions[column];
}

Tfrmreplay::Tfrmreplay(IReplayDays& days, IReplayUi& ui, std::function<std::vector<policy::TPolicyRecord>()> monitors)
    : days_(days), ui_(ui), source_(std::move(monitors)) {}

void Tfrmreplay::FormShow() {
  dayNames_ = days_.ListDays();
  dayItems_.clear();
  for (const std::string& d : dayNames_) {
    dayItems_.push_back(d.size() == 8 ? d.substr(0, 4) + "-" + d.substr(4, 2) + "-" + d.substr(6, 2) : d);
  }
  dayItems_.push_back(kCsvItem);
  // The newest day; a CSV tape chosen before stays chosen.
  if (!(CsvChosen() && !csvPath_.empty())) dayIndex_ = dayNames_.empty() ? -1 : 0;
  if (dayIndex_ >= static_cast<int>(dayItems_.size())) dayIndex_ = -1;
  monitors_ = source_ ? source_() : std::vector<policy::TPolicyRecord>{};
  checked_.assign(monitors_.size(), true);
  ++monitorsVersion_;
  ClearResults();
  status_ = dayNames_.empty() ? "还没有记录的交易日行情，可以选择 CSV 行情文件回测。" : "";
}

void Tfrmreplay::CbDayChange(int index) {
  if (index < 0 || index >= static_cast<int>(dayItems_.size())) return;
  if (index == static_cast<int>(dayItems_.size()) - 1) {
    const auto path = ui_.ChooseCsvFile();
    if (path) {
      csvPath_ = *path;
    } else if (csvPath_.empty()) {
      // Cancelled without a file: the choice stays as it was.
      return;
    }
  }
  if (index != dayIndex_) ClearResults();
  dayIndex_ = index;
}

void Tfrmreplay::ListMonitorsCheck(int row, bool checked) {
  if (row < 0 || static_cast<size_t>(row) >= checked_.size()) return;
  checked_[row] = checked;
}

void Tfrmreplay::BtnAllClick() {
  checked_.assign(monitors_.size(), true);
  ++monitorsVersion_;
}

void Tfrmreplay::BtnRunClick() {
  if (dayIndex_ < 0 || (CsvChosen() && csvPath_.empty())) {
    status_ = "请先选择交易日或 CSV 行情文件。";
    return;
  }
  std::vector<policy::TPolicyRecord> chosen;
  for (size_t i = 0; i < monitors_.size(); ++i) {
    if (checked_[i]) chosen.push_back(monitors_[i]);
  }
  if (chosen.empty()) {
    status_ = "请勾选要回测的监控。";
    return;
  }
  ClearResults();
  const ReplayTapeRead tape = CsvChosen() ? days_.LoadCsv(csvPath_) : days_.LoadDay(dayNames_[dayIndex_]);
  if (!tape.ok) {
    status_ = "无法回测：" + tape.error;
    return;
  }
  policy::ReplayOptions options;
  options.progress = [this](size_t done, size_t total) { return ui_.Progress(done, total); };
  policy::ReplayResult replayed = policy::ReplayMonitors(chosen, tape.lines, options);
  results_ = std::move(replayed.monitors);
  prices_ = std::move(replayed.prices);
  ++resultsVersion_;
  const size_t fired =
      static_cast<size_t>(std::count_if(results_.begin(), results_.end(), [](const auto& r) { return r.fired; }));
  status_ = "回测 " + std::to_string(replayed.reports) + " 条行情：" + std::to_string(results_.size()) + " 个监控，" +
            std::to_string(fired) + " 个触发。";
  if (!replayed.completed) status_ = "回测已中止（" + std::to_string(replayed.reports) + " 条行情）：结果不完整。";
  if (tape.truncated) status_ += "行情记录末尾不完整，只回测了可读的部分。";
  if (!results_.empty()) {
    const auto first = std::find_if(results_.begin(), results_.end(), [](const auto& r) { return r.fired; });
    ListResultsSelect(first == results_.end() ? 0 : static_cast<int>(first - results_.begin()));
  }
}

void Tfrmreplay::ListResultsSelect(int row) {
  if (row < 0 || static_cast<size_t>(row) >= results_.size()) return;
  selectedResult_ = row;
  const policy::ReplayMonitorResult& r = results_[row];
  const auto it = prices_.find(policy::CodeText(r.monitor));
  static const std::vector<policy::ReplayPoint> kNone;
  chart_ = BuildReplayChart(r, it == prices_.end() ? kNone : it->second);
}

void Tfrmreplay::BtnSaveChartClick() {
  if (chart_.empty) {
    status_ = "没有可保存的图表：请先回测并选择一个有行情的监控。";
    return;
  }
  const auto path = ui_.ChooseChartFile();
  if (!path) return;
  std::string error;
  status_ = ui_.SaveChartPicture(*path, &error) ? "图表已保存到 " + *path : "图表无法保存到 " + *path + "：" + error;
}

void Tfrmreplay::ClearResults() {
  results_.clear();
  prices_.clear();
  selectedResult_ = -1;
  chart_ = ReplayChart{};
  ++resultsVersion_;
}

std::string Tfrmreplay::MonitorCell(size_t row, int column) const {
  const policy::TPolicyRecord& m = monitors_[row];
  switch (column) {
    case kMonId: return std::to_string(m.id);
    case kMonCode: return base::GbkToUtf8Lossy(policy::CodeText(m));
    case kMonName: return policy::NameUtf8(m);
    case kMonKind: return policy::KindName(m.kind);
    case kMonDescription: return policy::DescriptionUtf8(m);
    default: return "";
  }
}

namespace {

std::string OrderCell(const policy::ReplayMonitorResult& r) {
  if (!r.fired) return "";
  const policy::TTradeRecord& o = r.request.order;
  const bool buy = o.tradeType == policy::kTradeBuy;
  const std::string quantity = " × " + (buy ? o.buyQuantity : o.sellQuantity) + "，";
  const std::string head = policy::TradeTypeText(o.tradeType) + " " + o.code + " " + o.name + " ";
  // A prompt-only monitor needs no order price: one it has not got is no error.
  if (r.monitor.promptOnly != 0 && !(r.request.price > 0)) return head + quantity.substr(1) + "仅提示";
  std::string cell = head + r.request.priceText + quantity;
  if (r.monitor.promptOnly != 0) return cell + "仅提示";
  if (r.outcome.result == policy::OrderResult::NotPlaced) return cell + OutcomeCell(r.outcome);
  cell += "自动下单";
  if (!r.request.note.empty()) cell += "（" + r.request.note + "）";
  return cell;
}

std::string TrackedCell(const policy::ReplayMonitorResult& r) {
  const policy::TPolicyRecord& m = r.monitor;
  switch (TrailOf(m)) {
    case Trail::High: return m.trailingHigh > 0 ? "最高价 " + base::FormatPrice(m.trailingHigh) : "";
    case Trail::Low: return m.trailingLow > 0 ? "最低价 " + base::FormatPrice(m.trailingLow) : "";
    default: return "";
  }
}

}  // namespace

std::string Tfrmreplay::ResultCell(size_t row, int column) const {
  const policy::ReplayMonitorResult& r = results_[row];
  const policy::TPolicyRecord& m = r.monitor;
  switch (column) {
    case kResId: return std::to_string(m.id);
    case kResCode: return base::GbkToUtf8Lossy(policy::CodeText(m));
    case kResName: return policy::NameUtf8(m);
    case kResKind: return policy::KindName(m.kind);
    case kResFired: return r.fired ? "触发" : "未触发";
    case kResTime: return r.fired ? base::FormatDateTime("hh:nn:ss", r.fireTime) : "";
    case kResPrice: return r.fired ? base::FormatPrice(r.firePrice) : "";
    case kResOrder: return OrderCell(r);
    case kResTracked: return TrackedCell(r);
    default: return "";
  }
}

}  // namespace app
