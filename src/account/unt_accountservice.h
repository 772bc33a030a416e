// The account service (velmora.dll) as the program sees it: the records
// passed to it and its calls, as a port that the library binding (Windows)
// and the tests implement. Texts are UTF-8 here; the binding passes GBK.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>

#include "base/records.h"

namespace account {

// The account service port of every login.
inline constexpr int32_t kAccountServicePort = 8085;

#pragma pack(push, 1)
// The account passed by value to GetUserInfo (13 stack slots on i686).
struct TAccountRecord {
  char userName[17];  // NUL-terminated, at most 16 characters
  char password[33];  // enciphered, NUL-terminated, at most 32 characters
};

// What GetUserInfo writes; texts NUL-terminated GBK.
struct TUserInfoRecord {
  char userId[32];
  char userName[32];
  int32_t userType;  // 2 = VIP
  char email[64];
  char qq[64];
  char registered[32];  // "year-month-day hour:minute:second"
  unsigned char unused1[8];
  int32_t onlineSeconds;
  int32_t levelPicture;
  int32_t level;
  int32_t secondsToNextLevel;
  unsigned char unused2[288];
};

// A share post as the stock-sharing dialog fills it; passed through unread.
struct TSharePostBlock {
  unsigned char bytes[534];
};
#pragma pack(pop)

QV_RECORD_SIZE(TAccountRecord, 50);
QV_FIELD_AT(TAccountRecord, password, 17);
QV_RECORD_SIZE(TUserInfoRecord, 540);
QV_FIELD_AT(TUserInfoRecord, userName, 32);
QV_FIELD_AT(TUserInfoRecord, userType, 64);
QV_FIELD_AT(TUserInfoRecord, email, 68);
QV_FIELD_AT(TUserInfoRecord, qq, 132);
QV_FIELD_AT(TUserInfoRecord, registered, 196);
QV_FIELD_AT(TUserInfoRecord, onlineSeconds, 236);
QV_FIELD_AT(TUserInfoRecord, levelPicture, 240);
QV_FIELD_AT(TUserInfoRecord, level, 244);
QV_FIELD_AT(TUserInfoRecord, secondsToNextLevel, 248);
QV_RECORD_SIZE(TSharePostBlock, 534);

// The account record of a user identifier and an enciphered password
// (the password as the bytes CipherPassword gave).
TAccountRecord MakeAccountRecord(const std::string& userIdUtf8, const std::string& encipheredPassword);

// The calls the program makes. Every call whose export is not bound does
// nothing; the results say what such a call means to the caller.
class IAccountService {
 public:
  virtual ~IAccountService() = default;

  virtual void Init(uintptr_t mainWindow) = 0;
  virtual void FInit() = 0;
  // nullopt when Login is not bound; otherwise the service's result
  // (0 = success) and, on failure, its reason.
  virtual std::optional<int32_t> Login(const std::string& server, int32_t port, const std::string& user,
                                       const std::string& encipheredPassword, void* loginSession,
                                       std::string& reason) = 0;
  virtual void Logout(const std::string& server, int32_t port, const std::string& user) = 0;
  // False when not bound (the record is then left as it was).
  virtual bool GetUserInfo(const std::string& server, int32_t port, const TAccountRecord& account,
                           TUserInfoRecord& info) = 0;
  // Errors raised inside the two calls below are swallowed.
  virtual void ShowMyStock(const std::string& server, int32_t port, const TSharePostBlock& post) = 0;
  // Called from the online-time worker, not the GUI thread.
  virtual void UpdateOnlineTime(const std::string& user) = 0;
};

}  // namespace account
