// The records of the account service's exports, as the service declares
// them (the program keeps its own declarations of the same layouts).
// Little-endian, texts NUL-terminated GBK.
//
// UserInfoRecord: the 540 bytes GetUserInfo writes.
#pragma once

#include <cstdint>

#include "base/records.h"

namespace simaccount {

#pragma pack(push, 1)
struct UserInfoRecord {
  char userId[32];
  char userName[32];
  int32_t userType;  // 2 = VIP, anything else = ordinary
  char email[64];
  char qq[64];
  char registered[32];  // "yyyy-mm-dd hh:nn:ss"
  unsigned char unused1[8];
  int32_t onlineSeconds;
  int32_t levelPicture;
  int32_t level;
  int32_t secondsToNextLevel;
  unsigned char unused2[288];
};
#pragma pack(pop)

QV_RECORD_SIZE(UserInfoRecord, 540);
QV_FIELD_AT(UserInfoRecord, userType, 64);
QV_FIELD_AT(UserInfoRecord, email, 68);
QV_FIELD_AT(UserInfoRecord, qq, 132);
QV_FIELD_AT(UserInfoRecord, registered, 196);
QV_FIELD_AT(UserInfoRecord, onlineSeconds, 236);
QV_FIELD_AT(UserInfoRecord, levelPicture, 240);
QV_FIELD_AT(UserInfoRecord, level, 244);
QV_FIELD_AT(UserInfoRecord, secondsToNextLevel, 248);

// The 50-byte account record that GetUserInfo takes by value.
#pragma pack(push, 1)
struct AccountRecord {
  char userName[17];
  char password[33];  // enciphered
};
#pragma pack(pop)

QV_RECORD_SIZE(AccountRecord, 50);
QV_FIELD_AT(AccountRecord, password, 17);

// The 534-byte share post of ShowMyStock, broadcast in type 1006 frames.
#pragma pack(push, 1)
struct SharePostRecord {
  int32_t postTime;  // seconds since 1970 UTC; 0 when sent, the server's time when received
  char code[10];
  char name[32];
  char buyPrice[10];
  char setPrice[10];
  char backAmount[10];  // "%.3f" and its unit "元" or "%"
  unsigned char reserved[10];
  char posterId[32];
  char posterName[32];
  char lossLimit[128];
  char downAmount[128];
  char remark[128];
};
#pragma pack(pop)

QV_RECORD_SIZE(SharePostRecord, 534);
QV_FIELD_AT(SharePostRecord, code, 4);
QV_FIELD_AT(SharePostRecord, name, 14);
QV_FIELD_AT(SharePostRecord, buyPrice, 46);
QV_FIELD_AT(SharePostRecord, setPrice, 56);
QV_FIELD_AT(SharePostRecord, backAmount, 66);
QV_FIELD_AT(SharePostRecord, posterId, 86);
QV_FIELD_AT(SharePostRecord, posterName, 118);
QV_FIELD_AT(SharePostRecord, lossLimit, 150);
QV_FIELD_AT(SharePostRecord, downAmount, 278);
QV_FIELD_AT(SharePostRecord, remark, 406);

}  // namespace simaccount
