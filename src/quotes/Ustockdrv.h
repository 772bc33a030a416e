// The quote engine as the program sees it: the records it delivers and
// reads, and the calls the program makes to it, as a port that the library
// binding (Windows) and the tests and tools implement.
#pragma once

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "base/datetime.h"
#include "base/records.h"

namespace quotes {

// Market codes: the two letters of the market as a little-endian 16-bit value.
constexpr uint16_t kMarketShanghai = 0x4853;  // "SH"
constexpr uint16_t kMarketShenzhen = 0x5A53;  // "SZ"

// Window message numbers and the word parameter of a quote packet.
constexpr uint32_t kQuoteMessage = 0x463;
constexpr uint32_t kQuoteConnectionLost = 0x465;
constexpr uint32_t kQuoteConnectionRestored = 0x467;
constexpr uint32_t kQuotePacketKind = 0x3F001234;

#pragma pack(push, 1)
// One quote of one security, as the engine writes it into packets and into
// the buffer of a single-quote request. Prices and volumes are floats.
struct TQuoteReport {
  uint16_t recordSize;
  int32_t quoteTime;  // seconds since 1970-01-01 00:00 UTC
  uint16_t market;
  char code[10];  // NUL-terminated when shorter than 10
  char name[32];
  float prevClose;
  float open;
  float high;
  float low;
  float newestPrice;
  float volume;
  float amount;
  float bidPrice[3];
  float bidVolume[3];
  float askPrice[3];
  float askVolume[3];
  float bidPrice4;
  float bidVolume4;
  float askPrice4;
  float askVolume4;
  float bidPrice5;
  float bidVolume5;
  float askPrice5;
  float askVolume5;
};

// The block a quote message points to. Only the count and the address of
// the first report are read; the reports follow one another every 158 bytes.
struct TQuotePacket {
  int32_t dataKind;
  int32_t count;
  unsigned char header[276];
  const unsigned char* firstReport;
};

// One entry of the watched-label array; all zero is an unused slot.
struct TStockLabel {
  char code[12];
  int32_t market;
};
#pragma pack(pop)

QV_RECORD_SIZE(TQuoteReport, 158);
QV_FIELD_AT(TQuoteReport, quoteTime, 2);
QV_FIELD_AT(TQuoteReport, market, 6);
QV_FIELD_AT(TQuoteReport, code, 8);
QV_FIELD_AT(TQuoteReport, name, 18);
QV_FIELD_AT(TQuoteReport, prevClose, 50);
QV_FIELD_AT(TQuoteReport, open, 54);
QV_FIELD_AT(TQuoteReport, high, 58);
QV_FIELD_AT(TQuoteReport, low, 62);
QV_FIELD_AT(TQuoteReport, newestPrice, 66);
QV_FIELD_AT(TQuoteReport, volume, 70);
QV_FIELD_AT(TQuoteReport, amount, 74);
QV_FIELD_AT(TQuoteReport, bidPrice, 78);
QV_FIELD_AT(TQuoteReport, bidVolume, 90);
QV_FIELD_AT(TQuoteReport, askPrice, 102);
QV_FIELD_AT(TQuoteReport, askVolume, 114);
QV_FIELD_AT(TQuoteReport, bidPrice4, 126);
QV_FIELD_AT(TQuoteReport, bidVolume4, 130);
QV_FIELD_AT(TQuoteReport, askPrice4, 134);
QV_FIELD_AT(TQuoteReport, askVolume4, 138);
QV_FIELD_AT(TQuoteReport, bidPrice5, 142);
QV_FIELD_AT(TQuoteReport, bidVolume5, 146);
QV_FIELD_AT(TQuoteReport, askPrice5, 150);
QV_FIELD_AT(TQuoteReport, askVolume5, 154);

QV_FIELD_AT(TQuotePacket, count, 4);
QV_FIELD_AT(TQuotePacket, header, 8);
QV_FIELD_AT(TQuotePacket, firstReport, 284);
// The only pointer-sized field, hence the only size that differs between builds.
QV_RECORD_SIZE(TQuotePacket, 284 + sizeof(void*));

QV_RECORD_SIZE(TStockLabel, 16);
QV_FIELD_AT(TStockLabel, market, 12);

constexpr size_t kQuoteReportSize = sizeof(TQuoteReport);

// The security code of a report: the bytes up to the first NUL, at most 10.
std::string_view ReportCode(const TQuoteReport& report);
// A lookup found the code: its report has a quote time and is for that code
// (an engine that knows nothing leaves the report zero).
inline bool FoundQuote(const TQuoteReport& report, std::string_view code) {
  return report.quoteTime != 0 && !code.empty() && ReportCode(report) == code;
}

// Whether a report's newest price is a trade: positive and finite. An
// engine reports 0 while a security has not traded (suspended, before the
// opening auction); nothing may fire, track or be shown on such a price.
inline bool IsTradedPrice(float price) { return std::isfinite(price) && price > 0; }

// The most reports one packet may hold; a larger count is a damaged packet
// (a whole market is a few thousand securities).
constexpr int32_t kMaxPacketReports = 100000;

// The reports of a packet: their number and the address of the first. A
// null packet, a count below 1 or above kMaxPacketReports, or a null
// first-report address give no reports.
struct PacketReports {
  int32_t count = 0;
  const unsigned char* first = nullptr;
  // A copy of report i (reports need not be aligned in the engine's block).
  TQuoteReport At(int32_t i) const {
    return base::LoadRecord<TQuoteReport>(first + static_cast<size_t>(i) * kQuoteReportSize);
  }
};
PacketReports ReadPacket(const void* packet);

// The quote time as the program's local date-time.
inline base::TDateTime ReportDateTime(const TQuoteReport& report) {
  return base::QuoteTimeToDateTime(report.quoteTime);
}

// The calls the program makes to the quote engine. Every call of an export
// that is not bound is skipped by the implementation; the results say what
// a skipped call means to the caller. Text arguments are UTF-8 here; the
// binding passes them on as GBK.
class IQuoteEngine {
 public:
  virtual ~IQuoteEngine() = default;

  // Stock_Init(window, message 0x463, mode 4).
  virtual void Init(uintptr_t mainWindow) = 0;
  // Stock_Start with the login session record and its start token. False
  // only when the export ran and reported failure (low byte of the result
  // zero); an unbound export counts as success.
  virtual bool Start(const void* loginSession, int32_t startToken, const std::string& userId) = 0;
  // Stock_SetLabels: null and -1 for an empty list.
  virtual void SetLabels(const TStockLabel* labels, int32_t highestIndex) = 0;
  // Stock_GetStockInfo for the trimmed code. Fills `out` with the newest
  // report of the security and returns true when the call was made; an
  // unbound export or an exception inside the engine leaves `out` as it was
  // and returns false.
  virtual bool GetStockInfo(const std::string& code, const std::string& serverAddress,
                            int32_t serverPort, TQuoteReport& out) = 0;
  // Stock_Quit(window).
  virtual void Quit(uintptr_t mainWindow) = 0;
  // Stock_GetLimits, an optional export of our own engine: today's
  // limit-up and limit-down prices of the code when its newest report
  // published them. False, both left as they were, when the export is
  // missing (another maker's engine) or the limits are unknown.
  virtual bool GetLimits(const std::string& code, double& limitUp, double& limitDown) {
    (void)code, (void)limitUp, (void)limitDown;
    return false;
  }
};

}  // namespace quotes
