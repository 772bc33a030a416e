// The computer's clock on Windows: the time-zone bias and SetLocalTime.
#pragma once

#include "utilities/unt_synclocaltime.h"

namespace utilities {

class TWin32SystemClock final : public ISystemClock {
 public:
  int TimeZoneBiasMinutes() override;
  bool SetLocalTime(const base::DateTimeParts& local) override;
};

}  // namespace utilities
