// Clock synchronisation: a click on the main window's clock pane asks a
// Daytime server (RFC 867, TCP port 13) for the time, reads it at fixed
// positions of the reply, turns UTC into local time by the zone's bias and
// sets the computer's clock. The network exchange runs on a worker; reading
// the reply, setting the clock and the pane's text happen on the GUI thread.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "base/datetime.h"

namespace utilities {

inline constexpr char kClockHint[] = "点击同步时间";
inline constexpr char kClockSyncDone[] = "从时间服务器同步时间成功！";
inline constexpr char kClockSyncFailed[] = "从时间服务器获取时间失败！";
inline constexpr char kClockSetFailed[] = "已从时间服务器获取时间，但设置本机时间失败！";
inline constexpr uint16_t kDaytimePort = 13;
inline constexpr int kDaytimeTimeoutMs = 10000;

// The time server: vendor.ini of the application folder, section
// "时间服务器", key "地址"; time.nist.gov when the file or key is missing.
inline constexpr char kTimeServerSection[] = "时间服务器";
inline constexpr char kTimeServerKey[] = "地址";
inline constexpr char kDefaultTimeServer[] = "time.nist.gov";
std::string ReadTimeServer(const std::string& applicationFolder);

// The local date and time of a Daytime reply, blanks removed at both ends:
// positions (from 1) 7-8 year in the century (2000 +), 10-11 month, 13-14
// day, 16-17 hour, 19-20 minute, 22-23 second (all UTC), 32-34 taken as the
// milliseconds; each a decimal number, leading blanks allowed. Local time
// is UTC minus `biasMinutes`, carried into the day, month and year.
// nullopt when a field is no number or no valid date or time.
std::optional<base::DateTimeParts> ParseDaytimeReply(std::string_view reply, int biasMinutes);

// The computer's clock as the synchronisation needs it.
class ISystemClock {
 public:
  virtual ~ISystemClock() = default;
  // Minutes: UTC = local time + bias.
  virtual int TimeZoneBiasMinutes() = 0;
  // Sets the local time; false when the system refused.
  virtual bool SetLocalTime(const base::DateTimeParts& local) = 0;
};

class TSyncClock {
 public:
  // The exchange with the server (unt_netclient.h's FetchDaytime).
  using Fetch = std::function<std::optional<std::string>(const std::string& host, uint16_t port, int timeoutMs)>;
  // Runs a job on the GUI thread later; callable from any thread, also
  // after this object is gone.
  using PostToGui = std::function<void(std::function<void()>)>;
  // The association pane's new text.
  using ShowText = std::function<void(const std::string&)>;

  TSyncClock(ISystemClock& clock, PostToGui post, ShowText show, std::string host, uint16_t port = kDaytimePort,
             int timeoutMs = kDaytimeTimeoutMs, Fetch fetch = {});
  // Answers of workers still running are dropped.
  ~TSyncClock();
  TSyncClock(const TSyncClock&) = delete;
  TSyncClock& operator=(const TSyncClock&) = delete;

  // A click on the clock pane: a new worker asks the server.
  void SyncClock();
  // On the GUI thread with the worker's reply (nullopt: none came).
  void ApplyReply(const std::optional<std::string>& reply);

 private:
  ISystemClock& clock_;
  PostToGui post_;
  ShowText show_;
  std::string host_;
  uint16_t port_;
  int timeoutMs_;
  Fetch fetch_;
  std::shared_ptr<bool> alive_;
};

}  // namespace utilities
