// How an order's outcome is shown and kept: its cell in the main list, its
// line in the order-step log, its line in log\orders.csv and its warning.
#pragma once

#include <string>

#include "policy/order_outcome.h"

namespace app {

inline constexpr char kOrdersCsvHeader[] = "时间,监控序号,代码,名称,买卖,价格,数量,结果,委托编号,券商提示";

// The "委托结果" cell: "已提交 10001", "被拒绝：可用资金不足", "结果未知",
// "未下单：...".
std::string OutcomeCell(const policy::TOrderOutcome& outcome);
// The order-step log text (category "Result").
std::string OutcomeLogText(const policy::TOrderOutcome& outcome);
// One CSV line (RFC 4180 quoting), without its line end.
std::string OrdersCsvLine(const policy::TOrderOutcome& outcome);
// Appends the line (CR LF ended) in one write; a new or empty file first
// gets a UTF-8 byte-order mark and the header, so that a spreadsheet reads
// it as UTF-8.
bool AppendOrdersCsv(const std::string& path, const policy::TOrderOutcome& outcome, std::string* error);
// The warning balloon's title and text; a refused, unknown or unsent order.
std::string OutcomeWarningTitle(const policy::TOrderOutcome& outcome);
std::string OutcomeWarningText(const policy::TOrderOutcome& outcome);
// Whether the user must be warned (anything but an accepted order).
inline bool NeedsWarning(const policy::TOrderOutcome& o) { return o.result != policy::OrderResult::Accepted; }

}  // namespace app
