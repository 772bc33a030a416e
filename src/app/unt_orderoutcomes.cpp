#include "app/unt_orderoutcomes.h"

#include <filesystem>
#include <system_error>

#include "base/files.h"

namespace app {
namespace {

std::string CsvField(const std::string& text) {
  if (text.find_first_of(",\"\r\n") == std::string::npos) return text;
  std::string quoted = "\"";
  for (const char c : text) quoted += c == '"' ? std::string("\"\"") : std::string(1, c);
  return quoted + "\"";
}

std::string OrderText(const policy::TOrderOutcome& o) {
  return o.side + " " + o.code + " " + o.name + " " + o.price + " x " + o.quantity;
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
    case policy::OrderResult::Unknown: break;
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
      base::FormatDateTime("yyyy-mm-dd hh:nn:ss", o.time), std::to_string(o.monitorId), o.code, o.name, o.side,
      o.price, o.quantity, policy::OrderResultText(o.result), o.orderNumber, o.brokerText,
  };
  std::string line;
  for (const std::string& f : fields) line += (line.empty() ? "" : ",") + CsvField(f);
  return line;
}

bool AppendOrdersCsv(const std::string& path, const policy::TOrderOutcome& outcome, std::string* error) {
  std::string bytes;
  std::error_code failed;
  const auto size = std::filesystem::file_size(base::PathFromUtf8(path), failed);
  if (failed || size == 0) bytes = std::string("\xEF\xBB\xBF") + kOrdersCsvHeader + "\r\n";
  bytes += OrdersCsvLine(outcome) + "\r\n";
  return base::AppendToFile(path, bytes, error);
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
