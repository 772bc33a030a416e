// The vendor's file server (port 8082 of the account server's host): the
// 88-byte requests for the list of trading profiles, one profile, or the
// profiles matching a search text, and the replies, a big-endian byte count
// followed by that many bytes. One connection is kept and reused.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "base/records.h"

namespace settings {

inline constexpr uint16_t kFileServerPort = 8082;
inline constexpr int kFileConnectTimeoutMs = 30000;
// Keep-alive of the file connection: idle time and probe interval.
inline constexpr uint32_t kFileKeepAliveIdleMs = 10000;
inline constexpr uint32_t kFileKeepAliveIntervalMs = 1;
// Nothing the server sends is larger: a profile is a few kilobytes. A count
// above this is a broken or hostile reply and is refused unread.
inline constexpr uint32_t kMaxFileReplyBytes = 4u * 1024 * 1024;

enum class TFileCommand : int32_t { List = 3008, Download = 3009, Search = 3010 };

#pragma pack(push, 1)
struct TFileRequestRecord {
  int32_t command = 0;
  char name[84] = {};  // file name or search text, GBK, NUL-terminated
};
#pragma pack(pop)
QV_RECORD_SIZE(TFileRequestRecord, 88);
QV_FIELD_AT(TFileRequestRecord, name, 4);

// The request bytes; `utf8Name` is stored as GBK, cut to 83 bytes without
// splitting a character.
std::string MakeFileRequest(TFileCommand command, std::string_view utf8Name);

// The byte count of a reply from its first four bytes.
uint32_t ReplyByteCount(const unsigned char (&head)[4]);

// The lines of a list reply (CR LF, or a bare LF, between them), as UTF-8;
// blank lines are left out.
std::vector<std::string> SplitReplyLines(std::string_view gbkBytes);

// An exchange that failed after the connection was made: lost connection,
// no connection, a refused reply. Not caught by the dialog.
class EFileServerError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// The file-server connection as the profile dialog sees it.
class IFileClient {
 public:
  virtual ~IFileClient() = default;
  virtual bool Connected() = 0;
  // Connects to host:port within the time-out and switches keep-alive on;
  // false when no connection came.
  virtual bool Connect(const std::string& host, uint16_t port) = 0;
  // Sends the request and reads the whole reply. Throws EFileServerError
  // (and is no longer connected) when the exchange fails.
  virtual std::string Exchange(TFileCommand command, const std::string& utf8Name) = 0;
};

// The real connection (blocking; the caller decides on which thread).
std::unique_ptr<IFileClient> CreateFileClient(int connectTimeoutMs = kFileConnectTimeoutMs,
                                              int replyTimeoutMs = kFileConnectTimeoutMs);

// Switches keep-alive on for a connected socket with the file connection's
// values; the platform's own call.
void SwitchFileKeepAliveOn(uintptr_t socketHandle);

}  // namespace settings
