#include "app/unt_orderoutcomes.h"

#include <filesystem>
#include <optional>
#include <string_view>
#include <system_error>

#include "base/files.h"

namespace app {
namespace {

std::string CsvField(const std::string& text) {
  if (text.find_first_of(",\"\r\n\t") == std::string::npos) return text;
  std::string quoted = "\"";
  for (const char c : text) quoted += c == '"' ? std::string("\"\"") : std::string(1, c);
  return quoted + "\"";
}

// Excel, LibreOffice Calc and Google Sheets run a cell that starts with
// = + - @ (or a tab or CR before one) as a formula; a leading apostrophe is
// their common "this is text" mark (OWASP "CSV Injection";
// hugofara.github.io/lwt CsvFormulaGuard, read 2026-12-10).
std::string Text(const std::string& text) {
  if (!text.empty() && std::string_view("=+-@\t\r").find(text.front()) != std::string_view::npos) return "'" + text;
  return text;
}

// A number that must stay as written ("000001", "00012345"): the same
// spreadsheets read a field that begins with a tab as text and show the
// digits unchanged, where ="000001" would itself be a formula and an
// apostrophe before digits is shown as typed by some of them (the tab
// method, kouhan.cn/en/article/00005336, read 2026-12-10). Only digits get
// it, so nothing after the tab can start a formula.
std::string Digits(const std::string& text) {
  const bool digits = !text.empty() && text.find_first_not_of("0123456789") == std::string::npos;
  return digits ? "\t" + text : Text(text);
}

std::string OrderText(const policy::TOrderOutcome& o) {
  return o.side + " " + o.code + " " + o.name + " " + o.price + " x " + o.quantity;
}

std::string HeaderIfNew(const std::string& path) {
  std::error_code failed;
  const auto size = std::filesystem::file_size(base::PathFromUtf8(path), failed);
  return failed || size == 0 ? std::string("\xEF\xBB\xBF") + kOrdersCsvHeader + "\r\n" : std::string();
}

}  // namespace

std::string OutcomeCell(const policy::TOrderOutcome& o) {
  std::string cell = policy::OrderResultText(o.result);
  switch (o.result) {
    case policy::OrderResult::Accepted:
      if (!o.orderNumber.empty()) cell += " " + o.orderNumber;
      break;
    case policy::OrderResult::Refused:
    case policy::OrderResult::NotPlaced:
      if (!o.brokerText.empty()) cell += "：" + o.brokerText;
      break;
    case policy::OrderResult::Unknown:
    case policy::OrderResult::UnknownAtExit: break;
  }
  return cell;
}

std::string OutcomeLogText(const policy::TOrderOutcome& o) {
  std::string text = "#" + std::to_string(o.monitorId) + " " + OrderText(o) + "：" + policy::OrderResultText(o.result);
  if (!o.orderNumber.empty()) text += "，委托编号 " + o.orderNumber;
  text += "，提示框：" + (o.brokerText.empty() ? std::string("无") : o.brokerText);
  return text;
}

std::string OrdersCsvLine(const policy::TOrderOutcome& o) {
  const std::string fields[] = {
      base::FormatDateTime("yyyy-mm-dd hh:nn:ss", o.time),
      std::to_string(o.monitorId),
      Digits(o.code),
      Text(o.name),
      Text(o.side),
      Text(o.price),
      Text(o.quantity),
      policy::OrderResultText(o.result),
      Digits(o.orderNumber),
      Text(o.brokerText),
  };
  std::string line;
  for (const std::string& f : fields) line += (line.empty() ? "" : ",") + CsvField(f);
  return line;
}

bool AppendOrdersCsv(const std::string& path, const policy::TOrderOutcome& outcome, std::string* error) {
  return base::AppendToFile(path, HeaderIfNew(path) + OrdersCsvLine(outcome) + "\r\n", error);
}

TOrdersCsv::TOrdersCsv(std::string path, Writer writer) : path_(std::move(path)), writer_(std::move(writer)) {
  if (!writer_) {
    writer_ = [](const std::string& p, const std::string& bytes, std::string* error) {
      return base::detail::PlatformLockedWrite(base::PathFromUtf8(p), bytes, true, false, error);
    };
  }
  // Lines that a spreadsheet held until the last run ended.
  if (const std::optional<std::string> pending = base::ReadFileBytes(PendingPath()); pending && !pending->empty()) {
    size_t start = 0;
    while (start < pending->size()) {
      size_t end = pending->find("\r\n", start);
      end = end == std::string::npos ? pending->size() : end + 2;
      waiting_.push_back(pending->substr(start, end - start));
      if (!waiting_.back().ends_with("\r\n")) waiting_.back() += "\r\n";
      start = end;
    }
    fromPendingFile_ = true;
  }
}

bool TOrdersCsv::Add(const policy::TOrderOutcome& outcome, std::string* error) {
  waiting_.push_back(OrdersCsvLine(outcome) + "\r\n");
  return Flush(error);
}

bool TOrdersCsv::Flush(std::string* error) {
  if (waiting_.empty()) return true;
  std::string bytes = HeaderIfNew(path_);
  for (const std::string& line : waiting_) bytes += line;
  std::string why;
  switch (writer_(path_, bytes, &why)) {
    case base::detail::LockedWrite::kDone:
      waiting_.clear();
      if (fromPendingFile_) {
        std::error_code ignored;
        std::filesystem::remove(base::PathFromUtf8(PendingPath()), ignored);
        fromPendingFile_ = false;
      }
      return true;
    case base::detail::LockedWrite::kBusy:
      if (error) *error = "文件被其他程序占用";
      return false;
    case base::detail::LockedWrite::kFailed:
      if (error) *error = why;
      return false;
  }
  return false;
}

bool TOrdersCsv::SaveWaiting(std::string* error) {
  if (Flush(error)) return true;
  std::string bytes;
  for (const std::string& line : waiting_) bytes += line;
  if (!base::AtomicReplace(PendingPath(), bytes, error)) return false;
  fromPendingFile_ = true;
  return true;
}

std::string OutcomeWarningTitle(const policy::TOrderOutcome& o) {
  switch (o.result) {
    case policy::OrderResult::Refused: return "委托被拒绝！";
    case policy::OrderResult::NotPlaced: return "未下单！";
    default: return "委托结果未知！";
  }
}

std::string OutcomeWarningText(const policy::TOrderOutcome& o) {
  const std::string why = o.brokerText.empty() ? std::string("交易软件没有给出回应，请在交易软件中查看委托。") : o.brokerText;
  return o.name + "(" + o.code + ") " + o.side + " " + o.price + " x " + o.quantity + "\r\n" + why;
}

}  // namespace app
