// The active trading profile in memory: how to find and drive the user's
// broker trading program. Filled from config.ini and the profile file in
// settings\, read by the trading-window association and the order scripts.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace settings {

// One step of an order script: its key in the profile ("第3步键入") and its
// text, held exactly as read (UTF-8).
struct TStep {
  std::string key;
  std::string text;
};
using TStepList = std::vector<TStep>;

struct TTradingProfile {
  std::string profileName;  // file name of the active profile inside settings\ (config.ini)
  std::string releaseDate;  // config.ini "发布时间"
  std::string windowTitle;  // title fragment that identifies the trading window
  std::string refreshKey;   // loaded and held; nothing uses it
  int32_t refreshInterval = 300;
  int32_t binding = 0;  // "底层绑定": only 1 selects control-level mode
  int32_t buyStepCount = 0;
  int32_t sellStepCount = 0;
  // Ascending step number; only the non-empty steps 1..count.
  TStepList buySteps;
  TStepList sellSteps;

  bool ControlLevelMode() const { return binding == 1; }
};

}  // namespace settings
