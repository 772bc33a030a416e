#include "utilities/unt_synclocaltime.h"

#include <filesystem>
#include <thread>

#include "base/files.h"
#include "base/ini_file.h"
#include "base/text.h"
#include "base/worker.h"
#include "utilities/unt_netclient.h"

namespace utilities {

std::string ReadTimeServer(const std::string& applicationFolder) {
  const std::string path = base::PathToUtf8(base::PathFromUtf8(applicationFolder) / "vendor.ini");
  std::string host(base::Trim(base::IniFile(path).ReadString(kTimeServerSection, kTimeServerKey, "")));
  return host.empty() ? kDefaultTimeServer : host;
}

namespace {

// Characters `first` to `last` (from 1) as a decimal number: leading blanks,
// then digits only.
std::optional<int> FieldAt(std::string_view text, size_t first, size_t last) {
  if (text.size() < last) return std::nullopt;
  std::string_view field = text.substr(first - 1, last - first + 1);
  while (!field.empty() && field.front() == ' ') field.remove_prefix(1);
  if (field.empty()) return std::nullopt;
  int value = 0;
  for (const char c : field) {
    if (c < '0' || c > '9') return std::nullopt;
    value = value * 10 + (c - '0');
  }
  return value;
}

int DaysInMonth(int year, int month) {
  static const int days[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  const bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
  return month == 2 && leap ? 29 : days[month - 1];
}

}  // namespace

std::optional<base::DateTimeParts> ParseDaytimeReply(std::string_view reply, int biasMinutes) {
  const std::string_view text = base::Trim(reply);
  const auto yy = FieldAt(text, 7, 8), month = FieldAt(text, 10, 11), day = FieldAt(text, 13, 14);
  const auto hour = FieldAt(text, 16, 17), minute = FieldAt(text, 19, 20), second = FieldAt(text, 22, 23);
  const auto ms = FieldAt(text, 32, 34);
  if (!yy || !month || !day || !hour || !minute || !second || !ms) return std::nullopt;
  const int year = 2000 + *yy;
  if (*month < 1 || *month > 12 || *day < 1 || *day > DaysInMonth(year, *month) || *hour > 23 || *minute > 59 ||
      *second > 59) {
    return std::nullopt;
  }
  // Whole milliseconds from the scale's day 0, so the carry is exact.
  const int64_t utc = int64_t{base::DaysFromCivil(year, *month, *day)} * base::kMsecsPerDay +
                      ((int64_t{*hour} * 60 + *minute) * 60 + *second) * 1000 + *ms;
  const int64_t local = utc - int64_t{biasMinutes} * 60000;
  const int64_t days = local >= 0 ? local / base::kMsecsPerDay : -((-local + base::kMsecsPerDay - 1) / base::kMsecsPerDay);
  const int64_t rest = local - days * base::kMsecsPerDay;
  base::DateTimeParts parts = base::DecodeDateTime(static_cast<double>(days));
  parts.hour = static_cast<int>(rest / 3600000);
  parts.minute = static_cast<int>(rest / 60000 % 60);
  parts.second = static_cast<int>(rest / 1000 % 60);
  parts.millisecond = static_cast<int>(rest % 1000);
  return parts;
}

TSyncClock::TSyncClock(ISystemClock& clock, PostToGui post, ShowText show, std::string host, uint16_t port,
                       int timeoutMs, Fetch fetch)
    : clock_(clock),
      post_(std::move(post)),
      show_(std::move(show)),
      host_(std::move(host)),
      port_(port),
      timeoutMs_(timeoutMs),
      fetch_(fetch ? std::move(fetch) : Fetch(&FetchDaytime)),
      alive_(std::make_shared<bool>(true)) {}

TSyncClock::~TSyncClock() { *alive_ = false; }

void TSyncClock::SyncClock() {
  // The worker holds copies only: it may outlive the window (until its
  // time-out), and its answer is then dropped on the GUI thread.
  base::StartUnwaitedWorker([fetch = fetch_, post = post_, host = host_, port = port_, timeout = timeoutMs_,
                             alive = alive_, self = this] {
    std::optional<std::string> reply;
    try {
      reply = fetch(host, port, timeout);
    } catch (...) {
      reply.reset();
    }
    post([alive, self, reply = std::move(reply)] {
      if (*alive) self->ApplyReply(reply);
    });
  });
}

void TSyncClock::ApplyReply(const std::optional<std::string>& reply) {
  const auto local = reply ? ParseDaytimeReply(*reply, clock_.TimeZoneBiasMinutes()) : std::nullopt;
  if (!local) {
    show_(kClockSyncFailed);
    return;
  }
  show_(clock_.SetLocalTime(*local) ? kClockSyncDone : kClockSetFailed);
}

}  // namespace utilities
