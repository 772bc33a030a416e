// The account service's own protocol, spoken on TCP port 8085 between the
// stand-in velmora.dll and quorvel-sim-server.
//
// Every message, in both directions, is a 4-byte big-endian body length
// (1 to kMaxBody) followed by the body. A body is one byte of operation and
// then the operation's fields in order, each either an int32 (4 bytes
// little-endian) or bytes (a 2-byte little-endian length, then the bytes;
// texts are GBK). A message that is too long, too short for its fields or
// has bytes left over is malformed and ends the connection.
//
//   request                              reply (same operation, int32 status, 0 = done)
//   1 Login      user, password, int32   0: quote host, int32 quote port, int32 start token
//                                        else: reason
//   2 Logout     user                    reason when refused
//   3 UserInfo   user, password          0: the 540-byte user information record; else: reason
//   4 OnlineTime user, int32 seconds     reason when refused
//   5 SharePost  the 534-byte post       reason when refused
//
// Passwords travel as the program enciphers them. A connection whose Login
// succeeded stays open as the login session: nothing more is said on it, and
// its close tells the other side that the session has dropped. Every other
// request goes on its own short connection.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace simaccount {

enum class Op : uint8_t { Login = 1, Logout = 2, UserInfo = 3, OnlineTime = 4, SharePost = 5 };

inline constexpr uint32_t kMaxBody = 4096;
inline constexpr int32_t kStatusDone = 0;
inline constexpr int32_t kStatusRefused = 1;
inline constexpr int32_t kStatusMalformed = 2;

// Builds one message: the length prefix is added by Finish().
class WireWriter {
 public:
  explicit WireWriter(Op op);
  WireWriter& Int(int32_t v);
  WireWriter& Bytes(std::string_view bytes);  // cut at 65535 bytes
  std::string Finish() const;

 private:
  std::string body_;
};

// Reads the fields of one body. Once a getter has failed, every later one
// fails too, so checking the last field of a request checks them all.
class WireReader {
 public:
  explicit WireReader(std::string_view body) : rest_(body) {}
  std::optional<Op> Operation();
  std::optional<int32_t> Int();
  std::optional<std::string> Bytes();
  bool AtEnd() const { return !failed_ && rest_.empty(); }

 private:
  bool Short(size_t n);

  std::string_view rest_;
  bool failed_ = false;
};

// The body length of a 4-byte prefix; nullopt when it is out of bounds.
std::optional<uint32_t> BodyLength(const unsigned char prefix[4]);

}  // namespace simaccount
