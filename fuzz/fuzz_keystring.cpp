// Key strings come from trading profiles downloaded from a file server:
// any bytes must be parsed without a crash, and no string may make the key
// synthesis press more keys than its length allows.
#include <cstddef>
#include <cstdint>
#include <string>

#include "../tests/support/trading_fake_desktop.h"
#include "trading/sndkey32.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string keys(reinterpret_cast<const char*>(data), size);
  testing_support::FakeDesktop desktop;
  bool done = false;
  try {
    done = trading::SendKeys(desktop, keys, (size & 1) != 0);
  } catch (const trading::EConvertError&) {
  }
  // Each character costs at most one group of the largest repeat count,
  // with its three modifiers down and up around it.
  const size_t limit = size * (2 * trading::kMaxRepeatCount + 6) + 6;
  if (desktop.keys.size() > limit) __builtin_trap();
  if (keys.empty() && (done || !desktop.log.empty())) __builtin_trap();
  // Without a group and a full string, no modifier stays down.
  if (done && keys.find('(') == std::string::npos) {
    int down[3] = {0, 0, 0};
    for (const auto& e : desktop.keyEvents) {
      if (e.code >= trading::kVkShift && e.code <= trading::kVkMenu) {
        int& n = down[e.code - trading::kVkShift];
        n = (e.flags & trading::kKeyEventKeyUp) ? 0 : n + 1;
      }
    }
    if (down[0] || down[1] || down[2]) __builtin_trap();
  }
  return 0;
}
