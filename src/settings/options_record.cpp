#include "settings/options_record.h"

#include <algorithm>
#include <cstring>

#include "base/files.h"
#include "base/fixed_text.h"

namespace settings {

std::string TOptionsRecord::ServerAddress() const { return base::ReadFixedUtf8(serverAddress); }
void TOptionsRecord::SetServerAddress(std::string_view utf8) { base::WriteFixedUtf8(serverAddress, utf8); }
std::string TOptionsRecord::UserName() const { return base::ReadFixedUtf8(userName); }
void TOptionsRecord::SetUserName(std::string_view utf8) { base::WriteFixedUtf8(userName, utf8); }
std::string TOptionsRecord::StoredPassword() const { return base::ReadFixedText(storedPassword); }
void TOptionsRecord::SetStoredPassword(std::string_view bytes) { base::WriteFixedText(storedPassword, bytes); }

void StoreLoginChoices(TOptionsRecord& record, const TLoginChoices& choices) {
  record.SetServerAddress(choices.serverAddress);
  record.serverPort = choices.serverPort;
  record.networkLine = choices.telecomLine ? 1 : 0;
  record.rememberName = choices.rememberName ? 1 : 0;
  if (choices.rememberName) record.SetUserName(choices.userName);
  record.rememberPassword = choices.rememberPassword ? 1 : 0;
  if (choices.rememberPassword) record.SetStoredPassword(choices.encipheredPassword);
  record.autoLogin = choices.autoLogin ? 1 : 0;
}

bool ReadOptions(const std::string& path, TOptionsRecord& record) {
  if (!base::FileExists(path)) return false;
  const auto bytes = base::ReadFileBytes(path);
  if (!bytes) return false;
  std::memcpy(&record, bytes->data(), std::min(bytes->size(), sizeof record));
  return true;
}

void WriteOptions(const std::string& path, const TOptionsRecord& record) {
  // The whole file is replaced at once so that a crash or a full disk never
  // leaves a half-written record; what lay beyond the record is carried over.
  std::string bytes;
  if (base::FileExists(path)) {
    auto old = base::ReadFileBytes(path);
    if (!old) throw EOptionsFileException("Unable to write to " + path);
    bytes = std::move(*old);
  }
  if (bytes.size() < sizeof record) bytes.resize(sizeof record);
  std::memcpy(bytes.data(), &record, sizeof record);
  if (!base::AtomicReplace(path, bytes)) throw EOptionsFileException("Unable to write to " + path);
}

}  // namespace settings
