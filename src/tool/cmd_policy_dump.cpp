// policy-dump FILE [--json]: the monitors of a policy store as stored.
#include <ostream>

#include "base/datetime.h"
#include "base/files.h"
#include "base/fixed_text.h"
#include "base/text.h"
#include "policy/unt_policy.h"
#include "quotes/quote_tape.h"
#include "tool/tool.h"
#include "tool/tool_json.h"

namespace tool {
namespace {

const char* StateName(uint8_t state) {
  switch (state) {
    case policy::kStateStopped: return "stopped";
    case policy::kStateRunning: return "running";
    case policy::kStateTriggered: return "triggered";
    default: return "invalid";
  }
}

std::string Text(const char* field, size_t size) { return base::ReadFixedUtf8(field, size); }

Json MonitorJson(const policy::TPolicyRecord& r) {
  Json j;
  j["id"] = r.id;
  j["kind"] = r.kind;
  j["code"] = Text(r.code, sizeof r.code);
  j["name"] = Text(r.name, sizeof r.name);
  j["market"] = r.market;
  j["price_basis"] = r.priceBasis;
  j["set_price"] = JsonFloat(r.setPrice);
  j["state"] = r.state;
  j["fired"] = r.fired;
  j["crossed"] = r.crossed;
  j["prompt_only"] = r.promptOnly;
  j["newest_price"] = JsonFloat(r.newestPrice);
  j["open_price"] = JsonFloat(r.openPrice);
  j["prev_close"] = JsonFloat(r.prevClose);
  j["basis_price"] = JsonFloat(r.basisPrice);
  j["trailing_high"] = JsonFloat(r.trailingHigh);
  j["trailing_low"] = JsonFloat(r.trailingLow);
  j["direction"] = r.direction;
  j["change_amount"] = JsonFloat(r.changeAmount);
  j["change_unit"] = r.changeUnit;
  j["trade_type"] = r.tradeType;
  j["quantity"] = r.quantity;
  j["description"] = Text(r.description, sizeof r.description);
  j["target_flag"] = r.targetFlag;
  j["target_code"] = Text(r.targetCode, sizeof r.targetCode);
  j["target_name"] = Text(r.targetName, sizeof r.targetName);
  j["opt_flag"] = r.optFlag;
  j["opt_amount"] = JsonFloat(r.optAmount);
  j["opt_unit"] = r.optUnit;
  j["order_time"] = r.orderTime;
  return j;
}

std::string MonitorLine(const policy::TPolicyRecord& r) {
  std::string line = std::to_string(r.id) + " " + policy::ShortKindText(r) + " " + Text(r.code, sizeof r.code) +
                     " " + Text(r.name, sizeof r.name) + " market=" +
                     quotes::MarketText(static_cast<uint16_t>(r.market)) + " " + StateName(r.state) +
                     " fired=" + std::to_string(r.fired) + " crossed=" + std::to_string(r.crossed) +
                     " set=" + base::FormatPrice(r.setPrice) + " newest=" + base::FormatPrice(r.newestPrice) +
                     " high=" + base::FormatPrice(r.trailingHigh) + " low=" + base::FormatPrice(r.trailingLow);
  if (r.kind == policy::kKindTime) line += " at=" + base::FormatDateTime("hh:nn", r.orderTime);
  if (r.targetFlag == 1) line += " target=" + Text(r.targetCode, sizeof r.targetCode);
  return line + " | " + Text(r.description, sizeof r.description);
}

}  // namespace

int RunPolicyDump(const Args& args, std::ostream& out, std::ostream& err) {
  std::string file;
  bool json = false;
  for (const std::string& a : args) {
    if (a == "--json") {
      json = true;
    } else if (file.empty() && !a.empty() && a[0] != '-') {
      file = a;
    } else {
      err << "policy-dump: unexpected argument \"" << a << "\"\nusage: quorvel-tool policy-dump FILE [--json]\n";
      return kExitBadInput;
    }
  }
  if (file.empty()) {
    err << "usage: quorvel-tool policy-dump FILE [--json]\n";
    return kExitBadInput;
  }
  if (!base::FileExists(file)) {
    err << file << ": no policy store there (an empty list)\n";
    return kExitOk;
  }
  const auto bytes = base::ReadFileBytes(file);
  if (!bytes) {
    err << file << ": cannot read the file\n";
    return kExitBadInput;
  }
  for (const policy::TPolicyRecord& r : policy::ParsePolicyStore(*bytes))
    out << (json ? JsonLine(MonitorJson(r)) : MonitorLine(r)) << "\n";
  if (const size_t rest = bytes->size() % policy::kPolicyRecordSize)
    err << file << ": " << rest << " bytes after the last whole record ignored\n";
  return kExitOk;
}

}  // namespace tool
