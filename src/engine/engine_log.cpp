#include "engine_log.h"

#include <cstdio>

#include "base/gbk.h"

namespace engine {

EngineLog::EngineLog(ILogSink* sink, Clock clock) : sink_(sink), clock_(std::move(clock)) {}

void EngineLog::Write(std::string_view text) {
  if (!sink_) return;
  try {
    // The quote services' time: the day and the hour the user trades by.
    int64_t s = std::chrono::duration_cast<std::chrono::seconds>(clock_().time_since_epoch()).count() + 8 * 3600;
    int64_t days = s >= 0 ? s / 86400 : (s - 86399) / 86400;
    int64_t rest = s - days * 86400;
    // Civil date from days since 1970-01-01 (H. Hinnant's algorithm).
    int64_t z = days + 719468, era = (z >= 0 ? z : z - 146096) / 146097;
    int64_t doe = z - era * 146097, yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100), mp = (5 * doy + 2) / 153;
    int64_t d = doy - (153 * mp + 2) / 5 + 1, m = mp < 10 ? mp + 3 : mp - 9, y = yoe + era * 400 + (m <= 2);
    char day[40], stamp[80];
    std::snprintf(day, sizeof day, "%04d%02d%02d", static_cast<int>(y), static_cast<int>(m), static_cast<int>(d));
    std::snprintf(stamp, sizeof stamp, "%04d-%02d-%02d %02d:%02d:%02d ", static_cast<int>(y), static_cast<int>(m),
                  static_cast<int>(d), static_cast<int>(rest / 3600), static_cast<int>(rest / 60 % 60),
                  static_cast<int>(rest % 60));
    std::string line = base::Utf8ToGbkLossy(std::string(stamp) + std::string(text));
    for (char& c : line)
      if (c == '\r' || c == '\n') c = ' ';  // one event, one line
    sink_->Append(day, line);
  } catch (...) {
    // Out of memory while logging: the event is lost, the engine goes on.
  }
}

void EngineLog::WriteLimited(const std::string& key, std::string_view text, std::chrono::milliseconds repeat) {
  try {
    auto now = clock_();
    {
      std::lock_guard lock(mutex_);
      Last& last = last_[key];
      if (last.at.time_since_epoch().count() != 0 && last.text == text && now - last.at < repeat) return;
      last.text = std::string(text);
      last.at = now;
    }
    Write(text);
  } catch (...) {
  }
}

std::string EngineLog::Excerpt(std::string_view bytes, size_t max) {
  std::string out;
  for (size_t i = 0; i < bytes.size() && i < max; ++i) {
    unsigned char c = static_cast<unsigned char>(bytes[i]);
    if (c >= 0x20 && c < 0x7F) {
      out += static_cast<char>(c);
    } else {
      char hex[8];
      std::snprintf(hex, sizeof hex, "\\x%02X", c);
      out += hex;
    }
  }
  if (bytes.size() > max) out += "...";
  return out;
}

}  // namespace engine
