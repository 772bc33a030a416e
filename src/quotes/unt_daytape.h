// Day tapes: the quote reports the program received on one trading day
// (Beijing), one binary file a day, data\tapes\YYYYMMDD. Written while quotes
// arrive (TDayTapeRecorder) and read by the replay and by quorvel-tool.
//
// Layout, all integers little-endian:
//
//   file header, 16 bytes
//     0  4  magic "QVDT"
//     4  2  version, 1
//     6  2  report size, 158 (the TQuoteReport record)
//     8  4  trading day as the number YYYYMMDD
//    12  4  zero
//   then blocks, one after another to the end of the file:
//     0  4  magic "QVBK"
//     4  4  flags: bit 0 set = the block starts a new chain (below)
//     8  4  report count n, 1 to kMaxBlockReports
//    12  4  unpacked length u
//    16  4  packed length m, 1 to kMaxBlockBytes
//    20  4  CRC-32 of the m packed bytes
//    24  4  CRC-32 of bytes 0..23 of this header
//    28  m  one complete zlib stream of u bytes; unless the block starts a
//             chain, deflated with the last 32 KB of the previous block's
//             unpacked bytes as its preset dictionary
//
// The u bytes are 30 streams one after another, each a varint of its length
// and its bytes; report i of the block is the i-th value of every stream.
// A report is told by the previous report of the same security (the same
// market and code bytes) in the chain, or by an all-zero report for the
// first:
//     stream 1   varint slot: the chain's securities numbered as they first
//                appear; a slot equal to the number of slots so far opens one
//     stream 2   1 byte: 1 when 46 identity bytes follow (the record size,
//                market, code and name: bytes 0-1 and 6-49 of the report),
//                0 when they are the previous report's
//     stream 3   varint: the quote time's difference from the previous, zigzagged
//     4 to 30    varint: each of the 27 float fields from prevClose on, the
//                difference of its 32 bits (as an unsigned integer, modulo
//                2^32) from the previous report's, zigzagged
// Varints are little-endian groups of 7 bits, the high bit set on all but
// the last. Integer arithmetic only, so every build (the 32-bit one's x87
// included) reads back the very bits that were written. Between reports of
// one security only the time, the prices and the volumes change, by little,
// and values of one field side by side deflate well. A chain runs from a
// block with bit 0 set up to the next such block; each program run starts one.
//
// Each block is checked on its own, so a file cut off by a killed program
// reads up to its last whole block, and a writer that appends to it later
// first cuts the broken tail off (validBytes).
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "base/datetime.h"
#include "quotes/Ustockdrv.h"
#include "quotes/quote_tape.h"

namespace quotes {

constexpr size_t kDayTapeHeaderSize = 16;
constexpr size_t kDayTapeBlockHeaderSize = 28;
constexpr uint32_t kMaxBlockReports = 65536;
constexpr uint32_t kMaxBlockBytes = 16u << 20;
// Securities of one chain; a writer starts a new chain before running out.
constexpr size_t kMaxChainSlots = 65535;

struct DayTapeReadResult {
  bool ok = true;          // false: not a day tape / unreadable header (error says why)
  bool truncated = false;  // the last block was cut off or damaged; what came before is in lines
  std::string error;
  std::vector<TapeLine> lines;  // time = local quote time, report = the TQuoteReport
  uint32_t day = 0;             // YYYYMMDD of the header
  size_t validBytes = 0;        // header and whole blocks: where a writer may append
};

DayTapeReadResult ReadDayTape(std::string_view bytes);
DayTapeReadResult ReadDayTapeFile(const std::string& path);

// Whether the bytes start as a day tape (and not as CSV text).
bool LooksLikeDayTape(std::string_view bytes);

// The file header of a day.
std::string DayTapeHeader(uint32_t day);

// Turns reports into blocks, keeping the chain between calls.
class DayTapeEncoder {
 public:
  // One block of these reports (1 to kMaxBlockReports of them); the first
  // block of an encoder, and the first after a full chain, starts a chain.
  std::string EncodeBlock(const TQuoteReport* reports, size_t count);

 private:
  struct Slot {
    uint16_t number;
    unsigned char previous[kQuoteReportSize];
  };
  std::unordered_map<std::string, Slot> slots_;  // by the market and code bytes
  std::string previousRaw_;                      // the last block's unpacked bytes
  bool started_ = false;
};

// "YYYYMMDD" names of the day tapes in the folder, newest first; other files
// are left out.
std::vector<std::string> ListDayTapes(const std::string& tapesFolder);

// The day number YYYYMMDD of a date-time, and the file name of a day.
uint32_t DayNumber(base::TDateTime date);
std::string DayTapeName(uint32_t day);

// Deletes the day tapes older than the newest `keepDays` calendar days up
// to `today` (today counts as one); nothing when keepDays is 0 or below.
// Only files named as day tapes are touched. Gives the number deleted.
int DeleteOldDayTapes(const std::string& tapesFolder, int keepDays, base::TDateTime today);

// A tape as the CSV text of quote_tape.h (time, code, market, name and the
// five prices of each report, each the shortest text of the same float; a
// price that is no number becomes 0), and the day tape of parsed CSV lines.
std::string DayTapeToCsv(const std::vector<TapeLine>& lines);
std::string CsvToDayTape(const std::vector<TapeLine>& lines, uint32_t day);

}  // namespace quotes
