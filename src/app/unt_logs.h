// The two dated logs under log\ of the application folder: the daily log
// (also sent to the account server, and read back by the stock sharing
// feature, so its file name and entry text are fixed) and the per-user
// order-step log. Lines are GBK bytes ended by CR LF; each write opens,
// appends to and closes its file, with other writers denied meanwhile.
#pragma once

#include <functional>
#include <string>
#include <string_view>

#include "app/process_flags.h"
#include "base/datetime.h"

namespace app {

// The message connection as the daily log needs it.
class IMessageSender {
 public:
  virtual ~IMessageSender() = default;
  virtual bool Connected() = 0;
  // One message of code 3007: the user identifier in its header, the text
  // as its 512-byte payload.
  virtual void SendText(const std::string& userId, const std::string& text) = 0;
};

// The local clock.
using LogClock = std::function<base::TDateTime()>;

// The user's short date pattern of the system ("yyyy/M/d" and the like);
// "yyyy-MM-dd" where the system has none.
std::string SystemShortDatePattern();

// Formats a date with a system date pattern: y and yy give two digits of the
// year, yyy and longer four; M and d the number without a leading zero, MM
// and dd (and longer) two digits; text in single quotes ('' is one quote)
// and every other character are copied.
std::string FormatShortDate(std::string_view pattern, base::TDateTime date);

// "yyyy-mm-dd hh:nn:ss", the time stamp that starts every line.
std::string LogTimeStamp(base::TDateTime now);

// "2012-05-18.log".
std::string DailyLogFileName(base::TDateTime today);

// The user identifier and today's date in the short date pattern, every
// "/" made "-", then ".log". Characters that cannot stand in a file name
// (path separators among them) become "-" as well, so the file always lands
// in log\ itself.
std::string OrderStepLogFileName(std::string_view userId, std::string_view shortDatePattern,
                                 base::TDateTime today);

class TLogWriters {
 public:
  // `sender` may be null: there is no message connection then.
  TLogWriters(std::string appFolder, const ProcessFlags& flags, IMessageSender* sender, LogClock clock,
              std::string shortDatePattern = SystemShortDatePattern());

  // Only while logged in, otherwise nothing happens (and true is returned):
  // sends the text as a 3007 message when connected, then, when
  // `writeToFile`, appends "time stamp[user]text" (text trimmed) to today's
  // daily log. False, with `error` set, when the line could not be written.
  bool WriteDailyLog(const std::string& text, bool writeToFile = true, std::string* error = nullptr);

  // Appends "time stamp[user][category]text" (text trimmed) to the user's
  // order-step log of today, logged in or not.
  bool WriteOrderStepLog(const std::string& category, const std::string& text, std::string* error = nullptr);

  std::string LogFolder() const;
  std::string DailyLogPath(base::TDateTime today) const;
  std::string OrderStepLogPath(base::TDateTime today) const;

 private:
  std::string appFolder_;
  const ProcessFlags& flags_;
  IMessageSender* sender_;
  LogClock clock_;
  std::string shortDatePattern_;
};

}  // namespace app
