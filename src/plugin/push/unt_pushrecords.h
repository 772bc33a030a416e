// The plug-in's packed records: the account entry kept per registered
// account, the fill record kept per fill push, and the fill detail handed
// to subscribers for fills of account kind 32.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

#include "base/fixed_text.h"
#include "base/records.h"

namespace kv {
class IKvUser;
}

namespace push {

// Account stages and the statuses that need no registration request.
constexpr int32_t kStageNew = 3;
constexpr int32_t kStageHandedOut = 2;
constexpr int32_t kStatusLogin = 5;
constexpr int32_t kStatusAnswerError = 4;
constexpr int32_t kAccountPayloadSize = 208;
constexpr int32_t kFillDetailKind = 32;  // account kind whose fills carry a fill detail

#pragma pack(push, 1)

// One registered account. The first 208 bytes are the payload subscribers
// receive. The user pointer is pointer-sized, so the entry is 252 bytes on
// i686 and 256 on x86_64; nothing outside the plug-in sees the tail.
struct TAccountEntry {
  int32_t size;          // always 208
  int32_t accountKind;
  char customerNo[100];  // "khh"
  char zero1[100];
  int32_t registered;  // 1 or 0
  int32_t stage;       // 3 new or changed, 2 handed out
  int32_t status;
  int32_t zero2;
  char accountCode[16];
  kv::IKvUser* user;  // the login's user, not a reference; null for notices
  char zero3[8];
};
QV_RECORD_SIZE(TAccountEntry, 240 + sizeof(void*) + 8);
QV_FIELD_AT(TAccountEntry, accountKind, 4);
QV_FIELD_AT(TAccountEntry, customerNo, 8);
QV_FIELD_AT(TAccountEntry, registered, 208);
QV_FIELD_AT(TAccountEntry, stage, 212);
QV_FIELD_AT(TAccountEntry, status, 216);
QV_FIELD_AT(TAccountEntry, accountCode, 224);
QV_FIELD_AT(TAccountEntry, user, 240);

// One fill as read from a fill push (397 bytes). From offset 189 on it is
// the fill's account payload for subscribers.
struct TFillRecord {
  char text[16];         // field 123
  char code[16];         // 140 security code
  char name[16];         // 141 security name
  char time[16];         // 151 "hh:mm:ss"
  char quantity[16];     // 152
  char price[16];        // 153
  char business[8];      // 131
  uint8_t direction;     // 130; 2 lists the quantity with a minus sign
  char orderNo[32];      // 146
  char fillNo[32];       // 155
  char zero[20];
  int32_t payloadSize;   // 208
  int32_t accountKind;
  char accountCode[100];
  char customerNo[100];
};
QV_RECORD_SIZE(TFillRecord, 397);
QV_FIELD_AT(TFillRecord, code, 16);
QV_FIELD_AT(TFillRecord, name, 32);
QV_FIELD_AT(TFillRecord, time, 48);
QV_FIELD_AT(TFillRecord, quantity, 64);
QV_FIELD_AT(TFillRecord, price, 80);
QV_FIELD_AT(TFillRecord, business, 96);
QV_FIELD_AT(TFillRecord, direction, 104);
QV_FIELD_AT(TFillRecord, orderNo, 105);
QV_FIELD_AT(TFillRecord, fillNo, 137);
QV_FIELD_AT(TFillRecord, payloadSize, 189);
QV_FIELD_AT(TFillRecord, accountKind, 193);
QV_FIELD_AT(TFillRecord, accountCode, 197);
QV_FIELD_AT(TFillRecord, customerNo, 297);
constexpr size_t kFillPayloadOffset = 189;
static_assert(sizeof(TFillRecord) - kFillPayloadOffset == kAccountPayloadSize);

// The fill as handed to subscribers for account kind 32 (194 bytes).
struct TFillDetail {
  int32_t year, month, day;
  int32_t hour, minute, second;
  char orderNo[30];
  char fillNo[30];
  double price;
  int32_t quantity;
  char zero1[30];
  int32_t direction;
  char business[30];
  char code[10];
  char name[20];
  int32_t zero2;
};
QV_RECORD_SIZE(TFillDetail, 194);
QV_FIELD_AT(TFillDetail, hour, 12);
QV_FIELD_AT(TFillDetail, orderNo, 24);
QV_FIELD_AT(TFillDetail, fillNo, 54);
QV_FIELD_AT(TFillDetail, price, 84);
QV_FIELD_AT(TFillDetail, quantity, 92);
QV_FIELD_AT(TFillDetail, direction, 126);
QV_FIELD_AT(TFillDetail, business, 130);
QV_FIELD_AT(TFillDetail, code, 160);
QV_FIELD_AT(TFillDetail, name, 170);

#pragma pack(pop)

// The text of a fixed field: up to its first NUL or its end.
template <size_t N>
std::string_view FieldText(const char (&field)[N]) {
  return base::FixedTextView(field);
}

// The C library's reading of a decimal text: leading white space, a sign,
// digits up to the first other character; no digits read as 0. Values beyond
// 32 bits saturate instead of being undefined.
int32_t DecimalValue(std::string_view text);
// The same for a decimal fraction ("10.25"); anything unreadable is 0.
double DecimalFraction(std::string_view text);

}  // namespace push
