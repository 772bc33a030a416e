// The push code's system port over Win32.
#pragma once

#include "plugin/push/unt_pushports.h"

namespace push {

class CPushSystemWin final : public IPushSystem {
 public:
  uint32_t TickCount() override;
  TLocalTime LocalTime() override;
  int64_t UnixTime() override;
  uint32_t ThreadId() override;
  std::string ProgramPath() override;
  void PostWindowMessage(kv::KvHwnd window, uint32_t message, uintptr_t wParam, intptr_t lParam) override;
};

}  // namespace push
