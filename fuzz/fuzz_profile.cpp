// Trading profiles come from a file server and from users' hands: the
// reader must survive any bytes and keep its step-list invariant, and a
// title written by the caption tool must leave the step lists as they were.
#include <unistd.h>

#include <charconv>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <string>
#include <string_view>

#include "settings/unt_common.h"

namespace {

std::string ProfilePath() {
  // Memory-backed when possible: every write of a profile is flushed to disk.
  const char* folder = std::filesystem::is_directory("/dev/shm") ? "/dev/shm" : "/tmp";
  return std::string(folder) + "/qv-fuzz-profile-" + std::to_string(getpid()) + ".ini";
}

// Non-empty texts under keys 第n步键入, n ascending within 1..count.
void CheckInvariant(const settings::TStepList& steps, int32_t count) {
  constexpr std::string_view prefix = "第", suffix = "步键入";
  int32_t previous = 0;
  for (const settings::TStep& step : steps) {
    const std::string_view key = step.key;
    if (step.text.empty() || !key.starts_with(prefix) || !key.ends_with(suffix)) __builtin_trap();
    const std::string_view digits = key.substr(prefix.size(), key.size() - prefix.size() - suffix.size());
    int32_t n = 0;
    if (std::from_chars(digits.data(), digits.data() + digits.size(), n).ec != std::errc()) __builtin_trap();
    if (settings::StepKey(n) != key || n <= previous || n > count) __builtin_trap();
    previous = n;
  }
}

bool SameSteps(const settings::TStepList& a, const settings::TStepList& b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i)
    if (a[i].key != b[i].key || a[i].text != b[i].text) return false;
  return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static const std::string path = ProfilePath();
  std::FILE* f = std::fopen(path.c_str(), "wb");
  if (!f) return 0;
  std::fwrite(data, 1, size, f);
  std::fclose(f);

  settings::TTradingProfile profile;
  settings::ReadProfile(path, profile);
  CheckInvariant(profile.buySteps, profile.buyStepCount);
  CheckInvariant(profile.sellSteps, profile.sellStepCount);

  settings::WriteWindowTitle(path, "网上股票交易系统");
  settings::TTradingProfile after;
  settings::ReadProfile(path, after);
  if (after.windowTitle != "网上股票交易系统") __builtin_trap();
  if (after.buyStepCount != profile.buyStepCount || after.sellStepCount != profile.sellStepCount ||
      !SameSteps(after.buySteps, profile.buySteps) || !SameSteps(after.sellSteps, profile.sellSteps))
    __builtin_trap();
  return 0;
}
