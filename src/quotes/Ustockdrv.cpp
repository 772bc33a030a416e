#include "quotes/Ustockdrv.h"

#include <cstring>

#include "base/fixed_text.h"

namespace quotes {

std::string_view ReportCode(const TQuoteReport& report) { return base::FixedTextView(report.code); }

PacketReports ReadPacket(const void* packet) {
  const auto* bytes = static_cast<const unsigned char*>(packet);
  PacketReports r;
  r.count = base::LoadLE<int32_t>(bytes + offsetof(TQuotePacket, count));
  r.first = base::LoadLE<const unsigned char*>(bytes + offsetof(TQuotePacket, firstReport));
  if (r.count < 1 || !r.first) r.count = 0;
  return r;
}

}  // namespace quotes
