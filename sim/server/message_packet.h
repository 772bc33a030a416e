// The packets a program sends on the message connection (port 8081): a
// 4-byte big-endian packet length, then the packet: the block's length as
// an 8-byte little-endian integer and the block as a zlib stream. The block
// is the 88-byte header (int32 type, NUL-terminated GBK user identifier)
// followed by the body (type 3007: 512 bytes of NUL-terminated text).
//
// The parser takes the stream in whatever pieces it arrives and is strict:
// any length out of bounds, a stream that does not inflate to exactly the
// announced length, or bytes after it end the connection.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace simserver {

inline constexpr size_t kMessageHeaderSize = 88;
inline constexpr uint32_t kMaxMessagePacket = 64 * 1024;
inline constexpr uint64_t kMaxMessageBlock = 64 * 1024;

struct OutboundMessage {
  int32_t type = 0;
  std::string user;  // GBK, up to its NUL
  std::string body;  // the bytes after the header
};

// The text of a 3007 body (GBK, up to its NUL within the 512 bytes).
std::string MessageText(const OutboundMessage& m);

class MessageStreamParser {
 public:
  enum class Result { NeedMore, Message, Error };

  void Feed(const void* data, size_t size);
  // The next whole message, NeedMore until one is complete, or Error (for
  // good: the connection is to be closed; error() says why).
  Result Next(OutboundMessage& out);
  const std::string& error() const { return error_; }

 private:
  Result Fail(std::string why);

  std::string buffer_;
  size_t pos_ = 0;
  std::string error_;
};

}  // namespace simserver
