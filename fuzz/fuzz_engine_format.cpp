// The quote formats come from public services over the network: any bytes
// must give reports or a rejection with a reason, never a crash, and every
// report must be whole (a symbol, its size, a terminated name). Built once
// per format (fuzz_engine_comma, fuzz_engine_tilde), QV_FUZZ_FORMAT naming it.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>

#include "engine/engine_formats.h"
#include "engine/engine_http.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static const engine::Format format = *engine::FormatFromName(QV_FUZZ_FORMAT);
  const std::string body(reinterpret_cast<const char*>(data), size);
  const engine::ParseResult result = engine::ParseAnswer(format, body);
  if (!result.ok) {
    if (!result.quotes.empty() || result.error.empty()) __builtin_trap();
  } else {
    for (const auto& q : result.quotes) {
      if (q.symbol.size() != 8 || q.report.recordSize != sizeof(quotes::TQuoteReport)) __builtin_trap();
      if (std::memchr(q.report.name, 0, sizeof q.report.name) == nullptr) __builtin_trap();
    }
  }
  // The same bytes as an HTTP answer arriving in two pieces.
  engine::HttpResponseReader reader;
  reader.Feed(std::string_view(body).substr(0, size / 2));
  reader.Feed(std::string_view(body).substr(size / 2));
  reader.Closed();
  if (reader.Body().size() > engine::HttpResponseReader::kMaxBody) __builtin_trap();
  return 0;
}
