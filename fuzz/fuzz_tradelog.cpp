// The trade log viewer reads whatever lies in log\trade.log: every line must
// tokenise and every file load without reading out of bounds, and the rows
// must agree with the tokens of the lines they came from.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "app/unt_frmshowlog.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);

  // The tokens of the whole input as one line never hold more bytes than it.
  size_t total = 0;
  for (const std::string& token : app::TradeLogTokens(bytes)) total += token.size();
  if (total > size) __builtin_trap();

  app::TradeLogRows rows;
  rows.Load(bytes);
  size_t kept = 0;
  size_t pos = 0;
  while (pos <= size) {
    size_t end = pos;
    while (end < size && bytes[end] != '\r' && bytes[end] != '\n') ++end;
    const std::string_view line = bytes.substr(pos, end - pos);
    if (app::IsTradeTriggerLine(line)) {
      if (kept >= rows.Count()) __builtin_trap();
      const auto tokens = app::TradeLogTokens(line);
      const int shown = static_cast<int>(tokens.size() < 12 ? tokens.size() : 12);
      if (rows.TokenCount(kept) != shown) __builtin_trap();
      for (int k = 0; k < shown; ++k)
        if (rows.Token(kept, k) != tokens[static_cast<size_t>(k)]) __builtin_trap();
      for (int c = 0; c < app::kShowLogColumnCount; ++c) (void)rows.Cell(kept, c);
      ++kept;
    }
    pos = end + 1;
  }
  if (kept != rows.Count()) __builtin_trap();
  return 0;
}
