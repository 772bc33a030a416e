// How an order's outcome is shown and kept: its cell in the main list, its
// line in the order-step log, its line in log\orders.csv and its warning.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "base/files.h"
#include "policy/order_outcome.h"

namespace app {

inline constexpr char kOrdersCsvHeader[] = "时间,监控序号,代码,名称,买卖,价格,数量,结果,委托编号,券商提示";

// The "委托结果" cell: "已提交 10001", "被拒绝：可用资金不足", "结果未知",
// "未下单：...".
std::string OutcomeCell(const policy::TOrderOutcome& outcome);
// The order-step log text (category "Result").
std::string OutcomeLogText(const policy::TOrderOutcome& outcome);
// One CSV line (RFC 4180 quoting), without its line end. The file is made
// to be opened in a spreadsheet: a code or order number keeps its leading
// zeros, and no text can start a formula there.
std::string OrdersCsvLine(const policy::TOrderOutcome& outcome);
// Appends the line (CR LF ended) in one write; a new or empty file first
// gets a UTF-8 byte-order mark and the header, so that a spreadsheet reads
// it as UTF-8.
bool AppendOrdersCsv(const std::string& path, const policy::TOrderOutcome& outcome, std::string* error);

// log\orders.csv as the program keeps it. A spreadsheet that has the file
// open holds it against writers: a line that cannot be written at once
// waits here, in order, and goes out with the next write that succeeds
// (Flush), without any wait on the caller's thread. Lines still waiting at
// the end go to "orders.csv.pending" beside it, which the next run writes
// first.
class TOrdersCsv {
 public:
  // One attempt to append `bytes` (base::detail::PlatformLockedWrite by
  // default; tests give their own).
  using Writer = std::function<base::detail::LockedWrite(const std::string& path, const std::string& bytes,
                                                         std::string* error)>;
  explicit TOrdersCsv(std::string path, Writer writer = {});

  // Whether the outcome's line, and every line waiting before it, is in
  // the file now; when not, it waits and `error` says why.
  bool Add(const policy::TOrderOutcome& outcome, std::string* error);
  // Writes the waiting lines if the file can be written now.
  bool Flush(std::string* error);
  size_t Waiting() const { return waiting_.size(); }
  // At the program's end: one more attempt, then the pending file.
  bool SaveWaiting(std::string* error);
  std::string PendingPath() const { return path_ + ".pending"; }

 private:
  std::string path_;
  Writer writer_;
  std::vector<std::string> waiting_;  // whole lines, CR LF ended
  bool fromPendingFile_ = false;      // waiting_ began with that file's lines
};
// The warning balloon's title and text; a refused, unknown or unsent order.
std::string OutcomeWarningTitle(const policy::TOrderOutcome& outcome);
std::string OutcomeWarningText(const policy::TOrderOutcome& outcome);
// Whether the user must be warned (anything but an accepted order).
inline bool NeedsWarning(const policy::TOrderOutcome& o) { return o.result != policy::OrderResult::Accepted; }

}  // namespace app
