// The stand-in server's reader of the message connection: any byte stream,
// fed in pieces of varying size, yields whole messages until it ends or the
// parser refuses it for good; nothing it holds grows without bound.
#include <cstddef>
#include <cstdint>

#include "message_packet.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  const size_t piece = 1 + data[0] % 64;
  ++data;
  --size;
  simserver::MessageStreamParser parser;
  simserver::OutboundMessage m;
  for (size_t at = 0; at < size; at += piece) {
    parser.Feed(data + at, size - at < piece ? size - at : piece);
    for (;;) {
      const auto r = parser.Next(m);
      if (r == simserver::MessageStreamParser::Result::Error) return 0;
      if (r == simserver::MessageStreamParser::Result::NeedMore) break;
      if (m.user.size() > 83 || m.body.size() > simserver::kMaxMessageBlock) __builtin_trap();
      if (simserver::MessageText(m).size() > 512) __builtin_trap();
    }
  }
  return 0;
}
