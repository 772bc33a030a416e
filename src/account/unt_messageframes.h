// The two wire layouts of the message connection to the account server:
// the fixed 1646-byte frame the server pushes, and the packet the program
// sends (an 88-byte header and a body, deflated, behind two lengths).
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "base/records.h"

namespace account {

// Message types.
inline constexpr int32_t kMsgOnline = 1000;
inline constexpr int32_t kMsgOffline = 1001;
inline constexpr int32_t kMsgSharePost = 1006;
inline constexpr int32_t kMsgSystemText = 3001;
inline constexpr int32_t kMsgLoggedInElsewhere = 3002;
inline constexpr int32_t kMsgTextLine = 3007;

inline constexpr size_t kFrameSize = 1646;
inline constexpr size_t kHeaderSize = 88;
inline constexpr size_t kSharePostSize = 534;
inline constexpr size_t kFrameTextSize = 1024;
inline constexpr size_t kTextLineSize = 512;

#pragma pack(push, 1)
// What the server pushes: not compressed, no length in front.
struct TMessageFrame {
  int32_t type;
  unsigned char headerRest[84];
  unsigned char sharePost[kSharePostSize];  // type 1006
  char text[kFrameTextSize];                // type 3001, NUL-terminated GBK
};

// The header of every packet the program sends.
struct TMessageHeader {
  int32_t type;
  char userId[84];  // NUL-terminated GBK, zero-padded
};
#pragma pack(pop)

QV_RECORD_SIZE(TMessageFrame, kFrameSize);
QV_FIELD_AT(TMessageFrame, sharePost, 88);
QV_FIELD_AT(TMessageFrame, text, 622);
QV_RECORD_SIZE(TMessageHeader, kHeaderSize);
QV_FIELD_AT(TMessageHeader, userId, 4);

using FrameBytes = std::array<unsigned char, kFrameSize>;

// The block before compression: the header with the user identifier
// (UTF-8 here, GBK on the wire) followed by the body as given.
std::vector<unsigned char> MessageBlock(int32_t type, std::string_view userIdUtf8,
                                        const std::vector<unsigned char>& body = {});

// The 512-byte body of a 3007 line: the GBK text cut to 511 bytes (never
// inside a double-byte character), NUL-terminated and zero-padded.
std::vector<unsigned char> TextLineBody(std::string_view textUtf8);

// What goes on the wire for one message: the 4-byte big-endian packet
// length, then the packet (the block's length as 8 bytes little-endian,
// then the block deflated at zlib's default level).
std::vector<unsigned char> OutboundPacket(const std::vector<unsigned char>& block);

// One whole message, ready to send.
std::vector<unsigned char> MessageBytes(int32_t type, std::string_view userIdUtf8,
                                        const std::vector<unsigned char>& body = {});

// Reading a received frame.
int32_t FrameType(const FrameBytes& frame);
// The system message of a 3001 frame as UTF-8 (up to the first NUL, or all
// 1024 bytes when there is none).
std::string FrameText(const FrameBytes& frame);
// The share post of a 1006 frame, byte for byte.
std::array<unsigned char, kSharePostSize> FrameSharePost(const FrameBytes& frame);

}  // namespace account
