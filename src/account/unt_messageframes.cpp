#include "account/unt_messageframes.h"

#include <zlib.h>

#include <cstring>
#include <stdexcept>

#include "base/fixed_text.h"
#include "base/gbk.h"

namespace account {

std::vector<unsigned char> MessageBlock(int32_t type, std::string_view userIdUtf8,
                                        const std::vector<unsigned char>& body) {
  TMessageHeader header{};
  header.type = type;
  base::WriteFixedUtf8(header.userId, userIdUtf8);
  std::vector<unsigned char> block(kHeaderSize + body.size());
  base::StoreRecord(block.data(), header);
  if (!body.empty()) std::memcpy(block.data() + kHeaderSize, body.data(), body.size());
  return block;
}

std::vector<unsigned char> TextLineBody(std::string_view textUtf8) {
  std::vector<unsigned char> body(kTextLineSize, 0);
  base::WriteFixedUtf8(reinterpret_cast<char*>(body.data()), body.size(), textUtf8);
  return body;
}

std::vector<unsigned char> OutboundPacket(const std::vector<unsigned char>& block) {
  uLongf packedSize = compressBound(static_cast<uLong>(block.size()));
  std::vector<unsigned char> wire(4 + 8 + packedSize);
  if (compress2(wire.data() + 12, &packedSize, block.data(), static_cast<uLong>(block.size()),
                Z_DEFAULT_COMPRESSION) != Z_OK) {
    throw std::runtime_error("deflate failed");
  }
  wire.resize(12 + packedSize);
  base::StoreBE32(wire.data(), static_cast<uint32_t>(8 + packedSize));
  base::StoreLE<uint64_t>(wire.data() + 4, block.size());
  return wire;
}

std::vector<unsigned char> MessageBytes(int32_t type, std::string_view userIdUtf8,
                                        const std::vector<unsigned char>& body) {
  return OutboundPacket(MessageBlock(type, userIdUtf8, body));
}

int32_t FrameType(const FrameBytes& frame) { return base::LoadLE<int32_t>(frame.data()); }

std::string FrameText(const FrameBytes& frame) {
  return base::ReadFixedUtf8(reinterpret_cast<const char*>(frame.data()) + offsetof(TMessageFrame, text),
                             kFrameTextSize);
}

std::array<unsigned char, kSharePostSize> FrameSharePost(const FrameBytes& frame) {
  std::array<unsigned char, kSharePostSize> post{};
  std::memcpy(post.data(), frame.data() + offsetof(TMessageFrame, sharePost), kSharePostSize);
  return post;
}

}  // namespace account
