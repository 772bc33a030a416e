// The engine's own log: one line per event, so that a user can read why
// quotes stopped (which source failed and why, what was rejected). The
// writer is portable; where the lines go (log\drasken-YYYYMMDD.log beside
// the program's logs) is the sink's business, in drasken_win.cpp.
#pragma once

#include <chrono>
#include <cstddef>
#include <functional>
#include <map>
#include <mutex>
#include <string>
#include <string_view>

namespace engine {

class ILogSink {
 public:
  virtual ~ILogSink() = default;
  // Appends one whole line (GBK, no line end) to the day's log; `day` is
  // "YYYYMMDD". Must not throw.
  virtual void Append(std::string_view day, std::string_view line) = 0;
};

class EngineLog {
 public:
  using Clock = std::function<std::chrono::system_clock::time_point()>;
  // No sink: the lines go nowhere (the native tests give one).
  explicit EngineLog(ILogSink* sink = nullptr, Clock clock = [] { return std::chrono::system_clock::now(); });

  // One event, UTF-8 text; the line gets the Beijing date and time in front
  // ("2026-12-10 09:30:01 ") and is written in GBK. Never throws.
  void Write(std::string_view text);
  // The same, for events that recur every poll: written when the text under
  // `key` differs from the last one written, or `repeat` after it.
  void WriteLimited(const std::string& key, std::string_view text,
                    std::chrono::milliseconds repeat = std::chrono::minutes(1));

  // At most `max` bytes of an answer, as printable ASCII: other bytes as \xNN,
  // "..." when cut.
  static std::string Excerpt(std::string_view bytes, size_t max = 48);

 private:
  struct Last {
    std::string text;
    std::chrono::system_clock::time_point at{};
  };
  ILogSink* sink_;
  Clock clock_;
  std::mutex mutex_;
  std::map<std::string, Last> last_;
};

}  // namespace engine
