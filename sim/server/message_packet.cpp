#include "message_packet.h"

#include <algorithm>

#include <zlib.h>

#include "base/fixed_text.h"
#include "base/records.h"

namespace simserver {

std::string MessageText(const OutboundMessage& m) {
  return base::ReadFixedText(m.body.data(), std::min<size_t>(m.body.size(), 512));
}

void MessageStreamParser::Feed(const void* data, size_t size) {
  if (!error_.empty()) return;
  if (pos_ > 0 && pos_ == buffer_.size()) {
    buffer_.clear();
    pos_ = 0;
  }
  buffer_.append(static_cast<const char*>(data), size);
}

MessageStreamParser::Result MessageStreamParser::Fail(std::string why) {
  error_ = std::move(why);
  buffer_.clear();
  pos_ = 0;
  return Result::Error;
}

MessageStreamParser::Result MessageStreamParser::Next(OutboundMessage& out) {
  if (!error_.empty()) return Result::Error;
  const size_t have = buffer_.size() - pos_;
  if (have < 4) return Result::NeedMore;
  const char* p = buffer_.data() + pos_;
  const uint32_t packet = base::LoadBE32(p);
  if (packet < 8 + 2 || packet > kMaxMessagePacket) return Fail("packet length " + std::to_string(packet));
  if (have - 4 < packet) return Result::NeedMore;

  const auto block = base::LoadLE<uint64_t>(p + 4);
  if (block < kMessageHeaderSize || block > kMaxMessageBlock) return Fail("block length " + std::to_string(block));
  std::string bytes(static_cast<size_t>(block), '\0');
  uLongf produced = static_cast<uLongf>(block);
  uLong consumed = packet - 8;
  const int rc = uncompress2(reinterpret_cast<Bytef*>(bytes.data()), &produced,
                             reinterpret_cast<const Bytef*>(p + 12), &consumed);
  if (rc != Z_OK) return Fail("inflate error " + std::to_string(rc));
  if (produced != block) return Fail("block inflates to " + std::to_string(produced) + " bytes, not " + std::to_string(block));
  if (consumed != packet - 8) return Fail("bytes after the compressed block");
  pos_ += 4 + size_t{packet};

  out.type = base::LoadLE<int32_t>(bytes.data());
  out.user = base::ReadFixedText(bytes.data() + 4, kMessageHeaderSize - 4);
  out.body = bytes.substr(kMessageHeaderSize);
  return Result::Message;
}

}  // namespace simserver
