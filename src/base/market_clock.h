// The market's clock: what time it is in Beijing, whatever this computer's
// time zone.
#pragma once

#include "base/datetime.h"

namespace base {

// This computer's clock read as UTC (never through its time zone) plus eight
// hours: the date-time of Beijing, as QuoteTimeToDateTime gives it for a
// quote of this very moment.
TDateTime BeijingNow();

}  // namespace base
