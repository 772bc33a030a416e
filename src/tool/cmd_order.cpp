// order: loads a trading profile, finds and associates the trading window
// as the program does after a login, and places one buy or sell with the
// profile's steps (or its controls), printing what it found and did. It
// lets a user try a profile against their trading program without setting
// up a monitor.
#include "tool/cmd_order.h"

#include <cmath>
#include <optional>

#include "app/process_flags.h"
#include "base/files.h"
#include "base/text.h"
#include "settings/unt_common.h"
#include "trading/sndkey32.h"
#include "trading/unt_apiwrapper.h"
#include "trading/unt_simulator.h"

namespace tool {
namespace {

constexpr const char* kUsage =
    "usage: quorvel-tool order --profile FILE --side buy|sell --code CODE --price PRICE --qty QTY\n";

struct OrderArgs {
  std::string profile, side, code, price, quantity;
};

bool IsCode(const std::string& code) {
  // Typed key by key with each byte as its own virtual key: digits and
  // upper-case letters only.
  if (code.empty() || code.size() > 16) return false;
  for (const char c : code) {
    if (!((c >= '0' && c <= '9') || (c >= 'A' && c <= 'Z'))) return false;
  }
  return true;
}

bool IsQuantity(const std::string& quantity) {
  if (quantity.empty() || quantity.size() > 9 || quantity.find_first_not_of("0123456789") != std::string::npos)
    return false;
  return std::stol(quantity) > 0;
}

std::optional<OrderArgs> ParseArgs(const Args& args, std::ostream& err) {
  OrderArgs r;
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string& a = args[i];
    std::string* value = a == "--profile" ? &r.profile
                         : a == "--side"  ? &r.side
                         : a == "--code"  ? &r.code
                         : a == "--price" ? &r.price
                         : a == "--qty"   ? &r.quantity
                                          : nullptr;
    if (!value) {
      err << "order: unknown argument \"" << a << "\"\n" << kUsage;
      return std::nullopt;
    }
    if (i + 1 >= args.size()) {
      err << "order: " << a << " needs a value\n" << kUsage;
      return std::nullopt;
    }
    *value = args[++i];
  }
  if (r.profile.empty() || r.side.empty() || r.code.empty() || r.price.empty() || r.quantity.empty()) {
    err << "order: --profile, --side, --code, --price and --qty are required\n" << kUsage;
    return std::nullopt;
  }
  if (r.side != "buy" && r.side != "sell") {
    err << "order: --side is buy or sell, not \"" << r.side << "\"\n";
    return std::nullopt;
  }
  if (!IsCode(r.code)) {
    err << "order: the code \"" << r.code << "\" is not a security code (digits and capital letters)\n";
    return std::nullopt;
  }
  const auto price = base::ParseDecimal(r.price);
  if (!price || !std::isfinite(*price) || *price < 0 || *price >= 1e9) {
    err << "order: the price \"" << r.price << "\" is not a price\n";
    return std::nullopt;
  }
  r.price = base::FormatPrice(*price);  // the "0.000" form of every order request
  if (!IsQuantity(r.quantity)) {
    err << "order: the quantity \"" << r.quantity << "\" is not a positive whole number\n";
    return std::nullopt;
  }
  return r;
}

// The main window's part of the association, on the console.
class ConsoleMainWindow final : public trading::ITradingMainWindow {
 public:
  explicit ConsoleMainWindow(std::ostream& out) : out_(out) {}
  std::string ApplicationTitle() override { return "quorvel-tool"; }
  void SetTitles(const std::string& title) override { out_ << "title: " << title << "\n"; }
  void SetAssociationPane(const std::string& text) override { out_ << "status: " << text << "\n"; }
  void ShowAssociationWarning(bool shown) override {
    if (shown) out_ << "warning: no trading program is associated\n";
  }
  void ShowProgress(const std::string& text) override { out_ << "progress: " << text << "\n"; }
  void StepProgress() override {}
  void CloseProgress() override {}
  void ShowInformation(const std::string& text, const std::string& title) override {
    out_ << "message (" << title << "): " << text << "\n";
  }
  void WriteDailyLog(const std::string& text) override { out_ << "log: " << text << "\n"; }
  void WriteOrderStepLog(const std::string& category, const std::string& text) override {
    out_ << "order log [" << category << "]: " << text << "\n";
  }
  bool LaunchOrderProgram() override { return false; }
  void ShowProfileDownload() override {}
  void RebuildMonitorList() override {}
  trading::ScreenSize MainWindowSize() override { return {}; }
  void MoveMainWindow(int, int) override {}

 private:
  std::ostream& out_;
};

}  // namespace

int RunOrderOn(const Args& rawArgs, trading::IDesktop* desktop, std::ostream& out, std::ostream& err) {
  const auto args = ParseArgs(rawArgs, err);
  if (!args) return kExitBadInput;
  if (!base::FileExists(args->profile)) {
    err << args->profile << ": no such trading profile\n";
    return kExitBadInput;
  }
  if (!desktop) {
    err << "order: trading programs run on Windows; use the Windows build of quorvel-tool\n";
    return kExitFailed;
  }

  settings::TTradingProfile profile;
  settings::ReadProfile(args->profile, profile);
  out << "profile: " << args->profile << "\n"
      << "title fragment: " << profile.windowTitle << "\n"
      << "mode: " << (profile.ControlLevelMode() ? "control-level" : "keystroke") << ", "
      << profile.buySteps.size() << " buy steps, " << profile.sellSteps.size() << " sell steps\n";
  if (profile.windowTitle.empty()) {
    err << args->profile << ": the profile names no window title (交易系统/窗口标题)\n";
    return kExitBadInput;
  }

  ConsoleMainWindow mainWindow(out);
  app::ProcessFlags flags;
  const trading::TTradingOptions options;
  trading::TTradingWindow tradingWindow(*desktop, mainWindow, flags, profile, options);
  tradingWindow.AssociateTradingWindow();
  if (tradingWindow.Window() == trading::kNoWindow) {
    err << "order: no window whose title contains \"" << profile.windowTitle << "\"; nothing was typed\n";
    return kExitFailed;
  }
  int collected = 0;
  for (int i = 0; i < trading::kControlSlotCount; ++i)
    collected += tradingWindow.Slot(static_cast<trading::TControlSlot>(i)) != trading::kNoWindow;
  out << "trading window: \"" << desktop->WindowText(tradingWindow.Window()) << "\", process "
      << desktop->WindowProcessId(tradingWindow.Window()) << ", " << collected << " of "
      << trading::kControlSlotCount << " controls\n";

  policy::TTradeRecord order;
  const bool buy = args->side == "buy";
  order.tradeType = buy ? policy::kTradeBuy : policy::kTradeSell;
  order.code = args->code;
  (buy ? order.buyPrice : order.sellPrice) = args->price;
  (buy ? order.buyQuantity : order.sellQuantity) = args->quantity;
  out << "order: " << args->side << " " << order.code << " at " << args->price << ", quantity " << args->quantity
      << "\n";

  trading::TOrderPlacer placer(*desktop, mainWindow, tradingWindow, profile);
  placer.onStep = [&out](const std::string& step, const std::string& action) {
    out << "  " << step << " -> " << action << "\n";
  };
  // As the program does when a monitor fires: the user's own keys and
  // clicks are kept out while the order is typed, where the system allows it.
  flags.orderInProgress = true;
  if (!desktop->BlockInput(true)) out << "input block: refused by the system; the order is typed without it\n";
  struct Unblock {
    trading::IDesktop& desktop;
    ~Unblock() { desktop.BlockInput(false); }
  } unblock{*desktop};
  try {
    placer.PlaceOrder(order);
  } catch (const trading::EConvertError& e) {
    err << "order: a step stopped the script: " << e.what() << "\n";
    return kExitFailed;
  }
  out << "done: the input was sent\n";
  return kExitOk;
}

int RunOrder(const Args& args, std::ostream& out, std::ostream& err) {
  const auto desktop = trading::CreateSystemDesktop();
  return RunOrderOn(args, desktop.get(), out, err);
}

}  // namespace tool
