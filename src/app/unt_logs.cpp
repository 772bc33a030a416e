#include "app/unt_logs.h"

#include <utility>

#include "base/files.h"
#include "base/gbk.h"
#include "base/text.h"

namespace app {
namespace {

void AppendNumber(std::string& out, int value, int minDigits) {
  std::string digits = std::to_string(value);
  if (static_cast<int>(digits.size()) < minDigits) out.append(minDigits - digits.size(), '0');
  out += digits;
}

bool IsUnsafeInFileName(char c) {
  const auto b = static_cast<unsigned char>(c);
  if (b < 0x20) return true;
  switch (c) {
    case '/': case '\\': case ':': case '*': case '?': case '"': case '<': case '>': case '|':
      return true;
    default:
      return false;
  }
}

}  // namespace

std::string FormatShortDate(std::string_view pattern, base::TDateTime date) {
  const base::DateTimeParts p = base::DecodeDateTime(date);
  std::string out;
  size_t i = 0;
  while (i < pattern.size()) {
    const char c = pattern[i];
    if (c == '\'') {
      // Quoted literal text; a doubled quote inside stands for one.
      ++i;
      while (i < pattern.size()) {
        if (pattern[i] == '\'') {
          if (i + 1 < pattern.size() && pattern[i + 1] == '\'') {
            out += '\'';
            i += 2;
            continue;
          }
          ++i;
          break;
        }
        out += pattern[i++];
      }
      continue;
    }
    if (c != 'y' && c != 'M' && c != 'd') {
      out += c;
      ++i;
      continue;
    }
    size_t run = 0;
    while (i + run < pattern.size() && pattern[i + run] == c) ++run;
    i += run;
    if (c == 'y') {
      if (run <= 2) {
        AppendNumber(out, p.year % 100, 2);
      } else {
        AppendNumber(out, p.year, 4);
      }
    } else {
      // Month and day names have no place in a file name: longer runs give
      // the two-digit number.
      AppendNumber(out, c == 'M' ? p.month : p.day, run == 1 ? 1 : 2);
    }
  }
  return out;
}

std::string LogTimeStamp(base::TDateTime now) { return base::FormatDateTime("yyyy-mm-dd hh:nn:ss", now); }

std::string DailyLogFileName(base::TDateTime today) { return base::FormatDateTime("yyyy-mm-dd", today) + ".log"; }

std::string OrderStepLogFileName(std::string_view userId, std::string_view shortDatePattern,
                                 base::TDateTime today) {
  std::string name(userId);
  name += FormatShortDate(shortDatePattern, today);
  for (char& c : name) {
    if (IsUnsafeInFileName(c)) c = '-';
  }
  // "." and ".." alone would name a folder, not a file.
  if (name == "." || name == "..") name.assign(name.size(), '-');
  return name + ".log";
}

TLogWriters::TLogWriters(std::string appFolder, const ProcessFlags& flags, IMessageSender* sender, LogClock clock,
                         std::string shortDatePattern)
    : appFolder_(std::move(appFolder)),
      flags_(flags),
      sender_(sender),
      clock_(std::move(clock)),
      shortDatePattern_(std::move(shortDatePattern)) {}

std::string TLogWriters::LogFolder() const {
  return base::PathToUtf8(base::PathFromUtf8(appFolder_) / "log");
}

std::string TLogWriters::DailyLogPath(base::TDateTime today) const {
  return base::PathToUtf8(base::PathFromUtf8(LogFolder()) / base::PathFromUtf8(DailyLogFileName(today)));
}

std::string TLogWriters::OrderStepLogPath(base::TDateTime today) const {
  return base::PathToUtf8(base::PathFromUtf8(LogFolder()) /
                          base::PathFromUtf8(OrderStepLogFileName(flags_.userId, shortDatePattern_, today)));
}

bool TLogWriters::WriteDailyLog(const std::string& text, bool writeToFile, std::string* error) {
  if (!flags_.loggedIn) return true;
  if (sender_ && sender_->Connected()) sender_->SendText(flags_.userId, text);
  if (!writeToFile) return true;
  // One reading of the clock: the line's stamp and its file agree at midnight.
  const base::TDateTime now = clock_();
  const std::string line = LogTimeStamp(now) + "[" + flags_.userId + "]" + std::string(base::Trim(text));
  return base::AppendLine(DailyLogPath(now), base::Utf8ToGbkLossy(line), error);
}

bool TLogWriters::WriteOrderStepLog(const std::string& category, const std::string& text, std::string* error) {
  const base::TDateTime now = clock_();
  const std::string line =
      LogTimeStamp(now) + "[" + flags_.userId + "][" + category + "]" + std::string(base::Trim(text));
  return base::AppendLine(OrderStepLogPath(now), base::Utf8ToGbkLossy(line), error);
}

}  // namespace app
