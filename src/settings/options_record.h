// option.opt: the login choices and the sound switch, stored as the raw
// bytes of one packed 172-byte record in the application folder.
#pragma once

#include <cstddef>
#include <cstdint>
#include <stdexcept>
#include <string>
#include <string_view>

#include "base/records.h"

namespace settings {

#pragma pack(push, 1)
struct TOptionsRecord {
  char serverAddress[32] = {};   // account server of the last login, NUL-terminated
  int32_t serverPort = 0;        // account service port of the last login
  int32_t networkLine = 0;       // 1 "电信", 0 "联通"
  uint8_t rememberName = 0;      // "记住用户名"
  char userName[64] = {};        // kept from an earlier login while rememberName is 0
  uint8_t rememberPassword = 0;  // "记住密码"
  char storedPassword[64] = {};  // enciphered; kept while rememberPassword is 0
  uint8_t autoLogin = 0;         // "自动登录"
  uint8_t soundOn = 0;           // "开启提示声音[&S]": gates every sound

  // Texts as UTF-8; stored as GBK, cut to the field without splitting a character.
  std::string ServerAddress() const;
  void SetServerAddress(std::string_view utf8);
  std::string UserName() const;
  void SetUserName(std::string_view utf8);
  // The enciphered password, byte for byte.
  std::string StoredPassword() const;
  void SetStoredPassword(std::string_view bytes);
};
#pragma pack(pop)

QV_RECORD_SIZE(TOptionsRecord, 172);
QV_FIELD_AT(TOptionsRecord, serverAddress, 0);
QV_FIELD_AT(TOptionsRecord, serverPort, 32);
QV_FIELD_AT(TOptionsRecord, networkLine, 36);
QV_FIELD_AT(TOptionsRecord, rememberName, 40);
QV_FIELD_AT(TOptionsRecord, userName, 41);
QV_FIELD_AT(TOptionsRecord, rememberPassword, 105);
QV_FIELD_AT(TOptionsRecord, storedPassword, 106);
QV_FIELD_AT(TOptionsRecord, autoLogin, 170);
QV_FIELD_AT(TOptionsRecord, soundOn, 171);

// What the login dialog stores after a successful check of its fields.
struct TLoginChoices {
  std::string serverAddress;
  int32_t serverPort = 8085;
  bool telecomLine = true;  // "电信"; false for "联通"
  bool rememberName = false;
  std::string userName;  // as typed
  bool rememberPassword = false;
  std::string encipheredPassword;
  bool autoLogin = false;
};

// Takes the choices into the record. The name and the password are replaced
// only while their remember flag is set; otherwise the stored ones stay
// (only the flag changes), so ticking the box again brings them back.
void StoreLoginChoices(TOptionsRecord& record, const TLoginChoices& choices);

// Raised when option.opt cannot be written: "Unable to write to <path>".
class EOptionsFileException : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// Reads up to 172 bytes from the start of the file over the record; a
// shorter file fills only its length and the rest of the record stays as it
// was. False, with the record untouched, when there is no readable file.
bool ReadOptions(const std::string& path, TOptionsRecord& record);

// Writes the 172 bytes at the start of the file, creating it when missing.
// Bytes beyond the record that the file already had are kept. Throws
// EOptionsFileException when the file cannot be written.
void WriteOptions(const std::string& path, const TOptionsRecord& record);

}  // namespace settings
