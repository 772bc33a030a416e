#include "quotes/Ustockdrv.h"

#include <cstring>

namespace quotes {

std::string_view ReportCode(const TQuoteReport& report) {
  const void* nul = std::memchr(report.code, 0, sizeof report.code);
  const size_t n = nul ? static_cast<size_t>(static_cast<const char*>(nul) - report.code) : sizeof report.code;
  return std::string_view(report.code, n);
}

PacketReports ReadPacket(const void* packet) {
  const auto* bytes = static_cast<const unsigned char*>(packet);
  PacketReports r;
  r.count = base::LoadLE<int32_t>(bytes + offsetof(TQuotePacket, count));
  r.first = base::LoadLE<const unsigned char*>(bytes + offsetof(TQuotePacket, firstReport));
  if (r.count < 1 || !r.first) r.count = 0;
  return r;
}

}  // namespace quotes
