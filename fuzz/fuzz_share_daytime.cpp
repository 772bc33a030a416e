// The two texts that come from outside in the utilities and the share feed:
// a Daytime server's reply and a received share post. A reply either gives
// a valid local date and time or nothing; a post's row texts are valid
// UTF-8 read within their fields, whatever the bytes.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string_view>

#include "base/gbk.h"
#include "sharing/unt_showstockfeed.h"
#include "sharing/unt_showstockrecord.h"
#include "utilities/unt_synclocaltime.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  // The first byte picks a zone bias within a day either way.
  const int bias = size > 0 ? (static_cast<int>(data[0]) - 128) * 12 : 0;
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  if (const auto t = utilities::ParseDaytimeReply(text, bias)) {
    if (t->month < 1 || t->month > 12 || t->day < 1 || t->day > 31 || t->hour < 0 || t->hour > 23 ||
        t->minute < 0 || t->minute > 59 || t->second < 0 || t->second > 59 || t->millisecond < 0 ||
        t->millisecond > 999 || t->year < 1999 || t->year > 2100)
      __builtin_trap();
  }
  unsigned char post[sharing::kShowStockRecordSize] = {};
  std::memcpy(post, data, size < sizeof post ? size : sizeof post);
  const sharing::TShowStockRecord record = sharing::ShowStockFromBytes(post);
  for (const std::string& cell : sharing::FeedCells(record)) {
    if (!base::IsValidUtf8(cell) || cell.size() > 3 * 128 + 3) __builtin_trap();
  }
  if (!base::IsValidUtf8(sharing::ShareBalloonText(record))) __builtin_trap();
  return 0;
}
