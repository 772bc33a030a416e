// Order steps come from trading profiles: any step list, in either mode
// and for any trade type, must run without a crash, send nothing to a
// window that is not the trading program's, and leave the thread input
// detached however it ends.
#include <cstddef>
#include <cstdint>
#include <string>

#include "../tests/support/trading_fake_desktop.h"
#include "trading/sndkey32.h"
#include "trading/unt_simulator.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 1) return 0;
  const uint8_t flags = data[0];
  const std::string text(reinterpret_cast<const char*>(data + 1), size - 1);

  testing_support::FakeDesktop desktop;
  testing_support::FakeMainWindow main;
  app::ProcessFlags processFlags;
  settings::TTradingProfile profile;
  profile.windowTitle = "交易";
  profile.binding = (flags & 1) ? 1 : 0;
  // One step per line, for both sides.
  size_t start = 0;
  while (start <= text.size()) {
    const size_t end = std::min(text.find('\n', start), text.size());
    const settings::TStep step{"step", text.substr(start, end - start)};
    profile.buySteps.push_back(step);
    profile.sellSteps.push_back(step);
    start = end + 1;
  }
  const auto program = testing_support::AddTradingProgram(desktop, "网上交易", 9);
  trading::TTradingOptions options;
  trading::TTradingWindow window(desktop, main, processFlags, profile, options);
  window.FindTradingWindow();
  if (!(flags & 2)) window.CollectTradeControls();
  desktop.ClearRecords();

  policy::TTradeRecord order;
  order.tradeType = static_cast<uint8_t>((flags >> 2) & 3);
  order.code = "600000";
  order.buyPrice = order.sellPrice = "12.340";
  order.buyQuantity = order.sellQuantity = "100";
  trading::TOrderPlacer placer(desktop, main, window, profile);
  try {
    placer.PlaceOrder(order);
  } catch (const trading::EConvertError&) {
  }
  if (desktop.attachDepth != 0) __builtin_trap();
  for (const auto& line : desktop.log) {
    if (line.rfind("post 0 ", 0) == 0 || line.rfind("send 0 ", 0) == 0) __builtin_trap();
  }
  (void)program;
  return 0;
}
