#include <chrono>
#include <cstdio>
#include <ctime>
#include <fstream>

#include "sim_server.h"

namespace simserver {

Recorder::Recorder(std::string path) : path_(std::move(path)) {}

void Recorder::Write(nlohmann::json event) {
  if (path_.empty()) return;
  auto now = std::chrono::system_clock::now();
  std::time_t secs = std::chrono::system_clock::to_time_t(now);
  int millis = static_cast<int>(
      std::chrono::duration_cast<std::chrono::milliseconds>(now.time_since_epoch()).count() % 1000);
  std::tm local{};
  localtime_r(&secs, &local);
  char text[64];
  std::snprintf(text, sizeof text, "%04d-%02d-%02d %02d:%02d:%02d.%03d", local.tm_year + 1900, local.tm_mon + 1,
                local.tm_mday, local.tm_hour, local.tm_min, local.tm_sec, millis);
  event["time"] = text;
  std::string line = event.dump() + "\n";
  std::lock_guard lock(mutex_);
  std::ofstream out(path_, std::ios::app | std::ios::binary);
  out << line;
}

}  // namespace simserver
