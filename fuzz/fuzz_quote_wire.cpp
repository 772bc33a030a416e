// The quote feed's wire parser (quorvel-sim-server reads its clients'
// requests with it, a client reads the feed): any byte stream, fed in
// pieces of any size, either yields messages that encode back to the same
// frames, or stops at the first malformed frame with a reason, and never
// reads out of bounds.
#include <cstddef>
#include <cstdint>
#include <string>

#include "quote_wire.h"

namespace {

// The frame that encodes the message as decoded.
std::string Reencode(const quotewire::Message& m, bool& comparable) {
  comparable = true;
  switch (m.kind) {
    case quotewire::kHello: return quotewire::EncodeHello(m.startToken, m.user);
    case quotewire::kQuery: return quotewire::EncodeQuery(m.requestId, m.code);
    case quotewire::kWelcome: return quotewire::EncodeWelcome(m.securities);
    case quotewire::kAnswer: return quotewire::EncodeAnswer(m.requestId, m.known, m.reports.at(0));
    case quotewire::kReports: {
      // The writer sends no frame for no reports; a peer's empty frame is
      // still well formed, but where the next frame begins is then not known
      // from the re-encoding.
      if (m.reports.empty()) {
        comparable = false;
        return {};
      }
      std::string out;
      quotewire::AppendReports(out, m.reports.data(), m.reports.size());
      return out;
    }
    default:  // subscriptions drop empty and repeated labels
      comparable = false;
      return {};
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  // The first byte picks the piece size, as the network splits a stream.
  const size_t piece = 1 + data[0] % 64;
  ++data, --size;
  quotewire::Reader reader;
  size_t consumed = 0;
  bool tracking = true;
  for (size_t at = 0; at < size; at += piece) {
    reader.Feed(data + at, std::min(piece, size - at));
    while (auto m = reader.Next()) {
      if (m->kind == quotewire::kSubscribe && m->labels.size() > quotewire::kMaxLabels) __builtin_trap();
      if (m->kind == quotewire::kAnswer && m->reports.size() != 1) __builtin_trap();
      bool comparable = false;
      std::string frame = Reencode(*m, comparable);
      if (comparable && tracking) {
        // Answers normalise "known" to 0/1; everything else is byte for byte.
        if (frame.size() > size - consumed) __builtin_trap();
        if (m->kind != quotewire::kAnswer && frame.compare(0, frame.size(), reinterpret_cast<const char*>(data + consumed),
                                                           frame.size()) != 0)
          __builtin_trap();
        consumed += frame.size();
      } else {
        tracking = false;  // where later frames begin is no longer known here
      }
    }
    if (reader.Failed()) {
      if (reader.Error().empty()) __builtin_trap();
      return 0;
    }
  }
  return 0;
}
