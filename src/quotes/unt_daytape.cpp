#include "quotes/unt_daytape.h"

#include <zlib.h>

#include <algorithm>
#include <array>
#include <charconv>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <system_error>

#include "base/files.h"
#include "base/gbk.h"
#include "base/records.h"

namespace quotes {
namespace {

constexpr char kFileMagic[4] = {'Q', 'V', 'D', 'T'};
constexpr char kBlockMagic[4] = {'Q', 'V', 'B', 'K'};
constexpr uint16_t kVersion = 1;
constexpr uint32_t kChainStart = 1;

void PutLE32(std::string& out, uint32_t v) {
  for (int i = 0; i < 4; ++i) out += static_cast<char>((v >> (8 * i)) & 0xFF);
}
void PutLE16(std::string& out, uint16_t v) {
  out += static_cast<char>(v & 0xFF);
  out += static_cast<char>(v >> 8);
}
uint32_t GetLE32(const unsigned char* p) {
  return uint32_t{p[0]} | uint32_t{p[1]} << 8 | uint32_t{p[2]} << 16 | uint32_t{p[3]} << 24;
}
uint16_t GetLE16(const unsigned char* p) { return static_cast<uint16_t>(p[0] | p[1] << 8); }

uint32_t Crc(const void* data, size_t size) {
  return static_cast<uint32_t>(crc32(0L, static_cast<const Bytef*>(data), static_cast<uInt>(size)));
}

bool ValidDay(uint32_t day) {
  const int y = static_cast<int>(day / 10000), m = static_cast<int>(day / 100 % 100), d = static_cast<int>(day % 100);
  if (y < 1900 || y > 9999 || m < 1 || m > 12 || d < 1) return false;
  // The last day of the month: the day before the first of the next.
  const int32_t first = base::DaysFromCivil(y, m, 1);
  const int32_t next = m == 12 ? base::DaysFromCivil(y + 1, 1, 1) : base::DaysFromCivil(y, m + 1, 1);
  return d <= next - first;
}

// The day of a name of exactly eight digits that is a date, else 0.
uint32_t DayOfName(std::string_view name) {
  if (name.size() != 8) return 0;
  uint32_t day = 0;
  for (const char c : name) {
    if (c < '0' || c > '9') return 0;
    day = day * 10 + static_cast<uint32_t>(c - '0');
  }
  return ValidDay(day) ? day : 0;
}

// The deflate dictionary of a block: the end of the previous block's
// unpacked bytes in the chain (none for a block that starts one).
constexpr size_t kDictionaryBytes = 32768;
std::string_view Dictionary(std::string_view previousRaw) {
  return previousRaw.substr(previousRaw.size() - std::min(previousRaw.size(), kDictionaryBytes));
}

// Deflates with the dictionary; empty on failure (a lack of memory).
std::string Deflate(std::string_view raw, std::string_view dictionary) {
  z_stream z{};
  if (deflateInit(&z, Z_BEST_COMPRESSION) != Z_OK) return {};
  std::string out(deflateBound(&z, static_cast<uLong>(raw.size())), '\0');
  bool done = dictionary.empty() ||
              deflateSetDictionary(&z, reinterpret_cast<const Bytef*>(dictionary.data()),
                                   static_cast<uInt>(dictionary.size())) == Z_OK;
  if (done) {
    z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(raw.data()));
    z.avail_in = static_cast<uInt>(raw.size());
    z.next_out = reinterpret_cast<Bytef*>(out.data());
    z.avail_out = static_cast<uInt>(out.size());
    done = deflate(&z, Z_FINISH) == Z_STREAM_END;
  }
  out.resize(done ? z.total_out : 0);
  deflateEnd(&z);
  return out;
}

// Inflates exactly `size` bytes; false on any fault or a stream of another length.
bool InflateExact(const unsigned char* in, size_t inSize, std::string_view dictionary, unsigned char* out,
                  size_t size) {
  z_stream z{};
  if (inflateInit(&z) != Z_OK) return false;
  z.next_in = const_cast<Bytef*>(in);
  z.avail_in = static_cast<uInt>(inSize);
  z.next_out = out;
  z.avail_out = static_cast<uInt>(size);
  int rc = inflate(&z, Z_FINISH);
  if (rc == Z_NEED_DICT && !dictionary.empty() &&
      inflateSetDictionary(&z, reinterpret_cast<const Bytef*>(dictionary.data()),
                           static_cast<uInt>(dictionary.size())) == Z_OK)
    rc = inflate(&z, Z_FINISH);
  const bool whole = rc == Z_STREAM_END && z.avail_out == 0 && z.avail_in == 0;
  inflateEnd(&z);
  return whole;
}

// The shortest text that reads back as the same float. A price that is no
// number (which no CSV tape may hold) is written as 0, the price of no trade.
std::string FormatFloat(float v) {
  if (!std::isfinite(v)) return "0";
  char buffer[64];
  const auto [end, ec] = std::to_chars(buffer, buffer + sizeof buffer, v);
  return ec == std::errc() ? std::string(buffer, end) : "0";
}

std::string CsvField(std::string_view text) {
  if (text.find_first_of(",\"\r\n") == std::string_view::npos) return std::string(text);
  std::string out = "\"";
  for (const char c : text) {
    if (c == '"') out += '"';
    out += c;
  }
  return out + '"';
}

std::string FieldText(const char* field, size_t size) {
  return std::string(field, strnlen(field, size));
}

}  // namespace

bool LooksLikeDayTape(std::string_view bytes) {
  return bytes.size() >= sizeof kFileMagic && std::memcmp(bytes.data(), kFileMagic, sizeof kFileMagic) == 0;
}

std::string DayTapeHeader(uint32_t day) {
  std::string out(kFileMagic, sizeof kFileMagic);
  PutLE16(out, kVersion);
  PutLE16(out, static_cast<uint16_t>(kQuoteReportSize));
  PutLE32(out, day);
  PutLE32(out, 0);
  return out;
}

// ---- the entries of a block -------------------------------------------------

namespace {

// The bytes of a report that name the security and never change between its
// reports: the record size and the market, code and name.
constexpr size_t kIdentityOffsets[][2] = {{0, 2}, {6, 50}};
constexpr size_t kIdentityBytes = 46;
constexpr size_t kFirstFloat = offsetof(TQuoteReport, prevClose);
constexpr size_t kFloats = (kQuoteReportSize - kFirstFloat) / 4;
static_assert(kFirstFloat + 4 * kFloats == kQuoteReportSize);
// The most an entry takes: slot, flags, identity, time and the floats as varints.
constexpr size_t kMaxEntryBytes = 3 + 1 + kIdentityBytes + 5 + 5 * kFloats;
// What the stream lengths add to a block at most.
constexpr size_t kMaxStreamHeads = 5 * (3 + kFloats);

uint32_t Zigzag(int32_t v) { return (static_cast<uint32_t>(v) << 1) ^ static_cast<uint32_t>(v >> 31); }
int32_t Unzigzag(uint32_t u) { return static_cast<int32_t>((u >> 1) ^ (0u - (u & 1))); }

void PutVarint(std::string& out, uint32_t v) {
  while (v >= 0x80) {
    out += static_cast<char>((v & 0x7F) | 0x80);
    v >>= 7;
  }
  out += static_cast<char>(v);
}

// Reads entries back, every step checked against the end.
struct Cursor {
  const unsigned char* p;
  const unsigned char* end;
  bool good = true;
  uint32_t Varint() {
    uint64_t v = 0;
    for (int shift = 0; shift < 35; shift += 7) {
      if (p == end) break;
      const unsigned char b = *p++;
      v |= static_cast<uint64_t>(b & 0x7F) << shift;
      if (!(b & 0x80)) {
        if (v > UINT32_MAX) break;
        return static_cast<uint32_t>(v);
      }
    }
    good = false;
    return 0;
  }
  bool Take(void* out, size_t n) {
    if (static_cast<size_t>(end - p) < n) return good = false;
    std::memcpy(out, p, n);
    p += n;
    return true;
  }
};

uint32_t Word(const unsigned char* bytes, size_t offset) { return GetLE32(bytes + offset); }
void SetWord(unsigned char* bytes, size_t offset, uint32_t v) {
  for (int i = 0; i < 4; ++i) bytes[offset + i] = static_cast<unsigned char>(v >> (8 * i));
}

// The streams of a block: the slots, the identity flags (and bytes), the
// quote times, and one per float field. Each is written whole, after its
// length, one after another: values of one field side by side deflate far
// better than whole entries.
constexpr size_t kStreams = 3 + kFloats;

// One report into the streams: its slot, whether the identity bytes follow
// (they differ from the previous report's, as for a security's first), the
// quote time and each float as the difference of its 32 bits from the
// previous report's, zigzagged. Integer arithmetic only: every build and
// machine reads back the same bits.
void PutEntry(std::string* streams, uint16_t slot, const unsigned char* report, const unsigned char* previous) {
  PutVarint(streams[0], slot);
  bool same = true;
  for (const auto& range : kIdentityOffsets)
    same = same && std::memcmp(report + range[0], previous + range[0], range[1] - range[0]) == 0;
  streams[1] += static_cast<char>(same ? 0 : 1);
  if (!same) {
    for (const auto& range : kIdentityOffsets)
      streams[1].append(reinterpret_cast<const char*>(report) + range[0], range[1] - range[0]);
  }
  const size_t time = offsetof(TQuoteReport, quoteTime);
  PutVarint(streams[2], Zigzag(static_cast<int32_t>(Word(report, time) - Word(previous, time))));
  for (size_t f = 0; f < kFloats; ++f) {
    const size_t offset = kFirstFloat + 4 * f;
    PutVarint(streams[3 + f], Zigzag(static_cast<int32_t>(Word(report, offset) - Word(previous, offset))));
  }
}

// The report of the next entry into `report`, which holds the previous
// report of its slot.
bool GetEntry(Cursor* in, unsigned char* report) {
  unsigned char flags = 0;
  if (!in[1].Take(&flags, 1) || flags > 1) return false;
  if (flags) {
    for (const auto& range : kIdentityOffsets)
      if (!in[1].Take(report + range[0], range[1] - range[0])) return false;
  }
  const size_t time = offsetof(TQuoteReport, quoteTime);
  SetWord(report, time, Word(report, time) + static_cast<uint32_t>(Unzigzag(in[2].Varint())));
  if (!in[2].good) return false;
  for (size_t f = 0; f < kFloats; ++f) {
    const size_t offset = kFirstFloat + 4 * f;
    SetWord(report, offset, Word(report, offset) + static_cast<uint32_t>(Unzigzag(in[3 + f].Varint())));
    if (!in[3 + f].good) return false;
  }
  return true;
}

}  // namespace

std::string DayTapeEncoder::EncodeBlock(const TQuoteReport* reports, size_t count) {
  if (count == 0 || count > kMaxBlockReports) return {};
  // A chain that could run out of slot numbers in this block starts afresh.
  uint32_t flags = 0;
  if (!started_ || slots_.size() + count > kMaxChainSlots) {
    slots_.clear();
    started_ = true;
    flags = kChainStart;
  }
  std::string streams[kStreams];
  for (size_t i = 0; i < count; ++i) {
    unsigned char bytes[kQuoteReportSize];
    std::memcpy(bytes, &reports[i], kQuoteReportSize);
    // The market and the code, side by side in the record.
    std::string key(reinterpret_cast<const char*>(bytes) + offsetof(TQuoteReport, market),
                    sizeof reports[i].market + sizeof reports[i].code);
    auto [it, added] = slots_.try_emplace(std::move(key));
    Slot& slot = it->second;
    if (added) {
      slot.number = static_cast<uint16_t>(slots_.size() - 1);
      std::memset(slot.previous, 0, sizeof slot.previous);
    }
    PutEntry(streams, slot.number, bytes, slot.previous);
    std::memcpy(slot.previous, bytes, kQuoteReportSize);
  }
  std::string raw;
  for (const std::string& stream : streams) {
    PutVarint(raw, static_cast<uint32_t>(stream.size()));
    raw += stream;
  }
  std::string packed = Deflate(raw, flags & kChainStart ? std::string_view() : Dictionary(previousRaw_));
  if (packed.empty()) {
    // Only a lack of memory gets here; the next block starts a chain of its own.
    started_ = false;
    return {};
  }
  const auto rawSize = static_cast<uint32_t>(raw.size());
  previousRaw_ = std::move(raw);
  std::string block(kBlockMagic, sizeof kBlockMagic);
  PutLE32(block, flags);
  PutLE32(block, static_cast<uint32_t>(count));
  PutLE32(block, rawSize);
  PutLE32(block, static_cast<uint32_t>(packed.size()));
  PutLE32(block, Crc(packed.data(), packed.size()));
  PutLE32(block, Crc(block.data(), block.size()));
  return block + packed;
}

DayTapeReadResult ReadDayTape(std::string_view text) {
  DayTapeReadResult r;
  const auto* bytes = reinterpret_cast<const unsigned char*>(text.data());
  if (text.size() < kDayTapeHeaderSize || !LooksLikeDayTape(text)) {
    r.ok = false;
    r.error = "not a day tape";
    return r;
  }
  if (GetLE16(bytes + 4) != kVersion || GetLE16(bytes + 6) != kQuoteReportSize) {
    r.ok = false;
    r.error = "day tape of an unknown version";
    return r;
  }
  r.day = GetLE32(bytes + 8);
  if (!ValidDay(r.day)) {
    r.ok = false;
    r.error = "the day tape's date " + std::to_string(r.day) + " is not a date";
    return r;
  }
  size_t pos = kDayTapeHeaderSize;
  r.validBytes = pos;
  // The chain: each slot's previous report.
  std::vector<std::array<unsigned char, kQuoteReportSize>> chain;
  std::vector<unsigned char> raw;  // the previous block's unpacked bytes
  while (pos < text.size()) {
    auto fail = [&](std::string why) {
      r.truncated = true;
      r.error = "block at byte " + std::to_string(pos) + ": " + why;
    };
    if (text.size() - pos < kDayTapeBlockHeaderSize) {
      fail("cut off in its header");
      break;
    }
    const unsigned char* h = bytes + pos;
    if (std::memcmp(h, kBlockMagic, sizeof kBlockMagic) != 0 || GetLE32(h + 24) != Crc(h, 24)) {
      fail("damaged header");
      break;
    }
    const uint32_t flags = GetLE32(h + 4), count = GetLE32(h + 8), rawSize = GetLE32(h + 12),
                   packed = GetLE32(h + 16);
    if (count == 0 || count > kMaxBlockReports || rawSize < count || rawSize > count * kMaxEntryBytes + kMaxStreamHeads ||
        packed == 0 || packed > kMaxBlockBytes) {
      fail("impossible sizes");
      break;
    }
    if (text.size() - pos - kDayTapeBlockHeaderSize < packed) {
      fail("cut off");
      break;
    }
    const unsigned char* data = h + kDayTapeBlockHeaderSize;
    if (GetLE32(h + 20) != Crc(data, packed)) {
      fail("damaged data");
      break;
    }
    if (!(flags & kChainStart) && r.validBytes == kDayTapeHeaderSize) {
      fail("the first block does not start a chain");
      break;
    }
    std::vector<unsigned char> unpacked(rawSize);
    const std::string_view dictionary =
        flags & kChainStart ? std::string_view()
                            : Dictionary({reinterpret_cast<const char*>(raw.data()), raw.size()});
    if (!InflateExact(data, packed, dictionary, unpacked.data(), unpacked.size())) {
      fail("the data does not unpack");
      break;
    }
    // Decoded against a copy of the chain: a bad entry leaves the block out whole.
    auto next = flags & kChainStart ? decltype(chain){} : chain;
    const size_t before = r.lines.size();
    Cursor in[kStreams];
    Cursor all{unpacked.data(), unpacked.data() + unpacked.size()};
    for (Cursor& stream : in) {
      const uint32_t size = all.Varint();
      if (!all.good || size > static_cast<size_t>(all.end - all.p)) {
        all.good = false;
        break;
      }
      stream = {all.p, all.p + size};
      all.p += size;
    }
    bool good = all.good && all.p == all.end;
    for (uint32_t i = 0; i < count && good; ++i) {
      const uint32_t slot = in[0].Varint();
      if (!in[0].good || slot > next.size() || slot > kMaxChainSlots) {
        good = false;
        break;
      }
      if (slot == next.size()) {
        next.emplace_back();
        next.back().fill(0);
      }
      good = GetEntry(in, next[slot].data());
      TapeLine line;
      line.lineNumber = static_cast<int>(r.lines.size() + 1);
      line.report = base::LoadRecord<TQuoteReport>(next[slot].data());
      line.time = ReportDateTime(line.report);
      r.lines.push_back(line);
    }
    for (const Cursor& stream : in) good = good && stream.p == stream.end;
    if (!good) {
      r.lines.resize(before);
      fail("its reports do not decode");
      break;
    }
    chain = std::move(next);
    raw = std::move(unpacked);
    pos += kDayTapeBlockHeaderSize + packed;
    r.validBytes = pos;
  }
  return r;
}

DayTapeReadResult ReadDayTapeFile(const std::string& path) {
  const auto bytes = base::ReadFileBytes(path);
  if (!bytes) {
    DayTapeReadResult r;
    r.ok = false;
    r.error = "cannot read the file";
    return r;
  }
  return ReadDayTape(*bytes);
}

uint32_t DayNumber(base::TDateTime date) {
  const base::DateTimeParts p = base::DecodeDateTime(date);
  return static_cast<uint32_t>(p.year * 10000 + p.month * 100 + p.day);
}

std::string DayTapeName(uint32_t day) { return std::to_string(day); }

std::vector<std::string> ListDayTapes(const std::string& tapesFolder) {
  std::vector<std::string> names;
  std::error_code ec;
  for (std::filesystem::directory_iterator it(base::PathFromUtf8(tapesFolder), ec), end; !ec && it != end;
       it.increment(ec)) {
    const std::string name = base::PathToUtf8(it->path().filename());
    if (DayOfName(name) && it->is_regular_file(ec)) names.push_back(name);
  }
  std::sort(names.rbegin(), names.rend());
  return names;
}

int DeleteOldDayTapes(const std::string& tapesFolder, int keepDays, base::TDateTime today) {
  if (keepDays <= 0) return 0;
  const base::DateTimeParts t = base::DecodeDateTime(today);
  const int32_t todayNumber = base::DaysFromCivil(t.year, t.month, t.day);
  int deleted = 0;
  for (const std::string& name : ListDayTapes(tapesFolder)) {
    const uint32_t day = DayOfName(name);
    const int32_t n = base::DaysFromCivil(static_cast<int>(day / 10000), static_cast<int>(day / 100 % 100),
                                          static_cast<int>(day % 100));
    if (todayNumber - n < keepDays) continue;
    std::error_code ec;
    if (std::filesystem::remove(base::PathFromUtf8(tapesFolder) / base::PathFromUtf8(name), ec)) ++deleted;
  }
  return deleted;
}

std::string DayTapeToCsv(const std::vector<TapeLine>& lines) {
  std::string out = std::string(kTapeHeader) + "\n";
  for (const TapeLine& line : lines) {
    const TQuoteReport& q = line.report;
    out += base::FormatDateTime("yyyy-mm-dd hh:nn:ss", line.time);
    out += ',' + CsvField(base::GbkToUtf8Lossy(FieldText(q.code, sizeof q.code)));
    out += ',' + MarketText(q.market);
    out += ',' + CsvField(base::GbkToUtf8Lossy(FieldText(q.name, sizeof q.name)));
    for (const float v : {q.prevClose, q.open, q.high, q.low, q.newestPrice}) out += ',' + FormatFloat(v);
    out += '\n';
  }
  return out;
}

std::string CsvToDayTape(const std::vector<TapeLine>& lines, uint32_t day) {
  std::string out = DayTapeHeader(day);
  DayTapeEncoder encoder;
  std::vector<TQuoteReport> reports;
  reports.reserve(std::min<size_t>(lines.size(), kMaxBlockReports));
  for (size_t i = 0; i < lines.size(); ++i) {
    reports.push_back(lines[i].report);
    if (reports.size() == kMaxBlockReports || i + 1 == lines.size()) {
      out += encoder.EncodeBlock(reports.data(), reports.size());
      reports.clear();
    }
  }
  return out;
}

}  // namespace quotes
