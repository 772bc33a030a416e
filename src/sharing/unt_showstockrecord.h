// The share post: the 534-byte record that the posting dialog fills, the
// account service carries, the server broadcasts in 1006 frames and the
// feed file keeps. Texts are NUL-terminated GBK within their fields.
#pragma once

#include <array>
#include <cstdint>
#include <string>

#include "base/records.h"

namespace sharing {

#pragma pack(push, 1)
struct TShowStockRecord {
  int32_t postTime;  // seconds since 1970 UTC; 0 when sent, the server's time when received
  char code[10];
  char name[32];
  char buyPrice[10];    // "%.3f"
  char setPrice[10];    // trailing take-profit set price, "%.3f"
  char backAmount[10];  // "%.3f" and its unit "元" or "%"
  unsigned char reserved[10];
  char posterId[32];
  char posterName[32];
  char lossLimit[128];   // stop-loss set price, "%.3f"
  char downAmount[128];  // "%.3f" and its unit "元" or "%"
  char remark[128];
};
#pragma pack(pop)

QV_RECORD_SIZE(TShowStockRecord, 534);
QV_FIELD_AT(TShowStockRecord, code, 4);
QV_FIELD_AT(TShowStockRecord, name, 14);
QV_FIELD_AT(TShowStockRecord, buyPrice, 46);
QV_FIELD_AT(TShowStockRecord, setPrice, 56);
QV_FIELD_AT(TShowStockRecord, backAmount, 66);
QV_FIELD_AT(TShowStockRecord, reserved, 76);
QV_FIELD_AT(TShowStockRecord, posterId, 86);
QV_FIELD_AT(TShowStockRecord, posterName, 118);
QV_FIELD_AT(TShowStockRecord, lossLimit, 150);
QV_FIELD_AT(TShowStockRecord, downAmount, 278);
QV_FIELD_AT(TShowStockRecord, remark, 406);

inline constexpr size_t kShowStockRecordSize = sizeof(TShowStockRecord);

// The feed's columns, in order, with their widths.
inline constexpr int kFeedColumns = 11;
struct FeedColumn {
  const char* caption;
  int width;
};
const std::array<FeedColumn, kFeedColumns>& FeedColumns();
enum FeedColumnIndex {
  kColTime, kColCode, kColName, kColBuyPrice, kColSetPrice, kColBackAmount,
  kColLossLimit, kColDownAmount, kColPosterId, kColPosterName, kColRemark,
};

// The row texts of a post as the feed shows them (UTF-8): the post time in
// local time as "mm-dd hh:nn:ss", the three prices with "元" appended.
// Every field is read within its size, whatever bytes it holds.
std::array<std::string, kFeedColumns> FeedCells(const TShowStockRecord& post);

// A post from raw bytes (a frame's or the file's), byte for byte.
TShowStockRecord ShowStockFromBytes(const unsigned char* bytes);

}  // namespace sharing
