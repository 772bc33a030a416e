#include "quotes/Ustockdrv.h"

#include <cstring>

#include "base/fixed_text.h"

namespace quotes {

std::string_view ReportCode(const TQuoteReport& report) { return base::FixedTextView(report.code); }

PacketReports ReadPacket(const void* packet) {
  PacketReports r;
  if (!packet) return r;
  const auto* bytes = static_cast<const unsigned char*>(packet);
  r.count = base::LoadLE<int32_t>(bytes + offsetof(TQuotePacket, count));
  r.first = base::LoadLE<const unsigned char*>(bytes + offsetof(TQuotePacket, firstReport));
  if (r.count < 1 || r.count > kMaxPacketReports || !r.first) r.count = 0;
  return r;
}

}  // namespace quotes
