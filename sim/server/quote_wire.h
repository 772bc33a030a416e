// The wire of quorvel-sim-server's binary quote feed (--quote-port): the
// feed's side in quote_service.cpp; a client is whatever speaks it (the
// feed's unit tests carry the smallest one).
//
// Every message is a frame: a 4-byte big-endian body length (1 to
// kMaxBodySize), then the body: one byte of kind, then the kind's fields,
// little-endian and packed.
//
//   engine -> server
//     kHello      int32 start token, uint8 n, n bytes user identifier (GBK, n <= 64)
//     kSubscribe  uint32 n (n <= kMaxLabels), n x 16-byte TStockLabel; replaces
//                 the connection's set of watched codes (all-zero entries skipped)
//     kQuery      uint32 request id, uint8 n, n bytes security code (n <= 10)
//   server -> engine
//     kWelcome    uint32 number of securities the feed knows; the feed is up
//     kReports    uint32 n (n <= kMaxReportsPerFrame), n x 158-byte TQuoteReport
//     kAnswer     uint32 request id, uint8 known (0/1), 158-byte TQuoteReport
//                 (all zero when no report of the code was played yet)
//
// A connection starts with kHello (the feed answers kWelcome) or goes straight
// to kQuery for one single-quote request. A frame that breaks these rules
// ends the connection.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "quotes/Ustockdrv.h"

namespace quotewire {

enum Kind : uint8_t {
  kHello = 1,
  kSubscribe = 2,
  kQuery = 3,
  kWelcome = 0x81,
  kReports = 0x82,
  kAnswer = 0x83,
};

constexpr size_t kMaxBodySize = 4u << 20;
constexpr uint32_t kMaxLabels = 65536;
constexpr uint32_t kMaxReportsPerFrame = 16384;
constexpr size_t kMaxUserSize = 64;
constexpr size_t kMaxCodeSize = 10;

// One decoded message (the fields of its kind are set).
struct Message {
  Kind kind{};
  int32_t startToken = 0;                // kHello
  std::string user;                      // kHello
  std::vector<std::string> labels;       // kSubscribe: codes, in order, without duplicates
  uint32_t requestId = 0;                // kQuery, kAnswer
  std::string code;                      // kQuery
  uint32_t securities = 0;               // kWelcome
  bool known = false;                    // kAnswer
  std::vector<quotes::TQuoteReport> reports;  // kReports; kAnswer: exactly one
};

// Frames, ready to write.
std::string EncodeHello(int32_t startToken, std::string_view user);
std::string EncodeSubscribe(const std::vector<quotes::TStockLabel>& labels);
std::string EncodeQuery(uint32_t requestId, std::string_view code);
std::string EncodeWelcome(uint32_t securities);
// Appends one kReports frame per kMaxReportsPerFrame reports.
void AppendReports(std::string& out, const quotes::TQuoteReport* reports, size_t count);
std::string EncodeAnswer(uint32_t requestId, bool known, const quotes::TQuoteReport& report);

// Splits a byte stream into bodies and decodes them. Feed it what arrived;
// take messages with Next until it gives nothing. After a malformed frame
// Failed() stays true and nothing more comes out.
class Reader {
 public:
  void Feed(const void* data, size_t size);
  std::optional<Message> Next();
  bool Failed() const { return failed_; }
  const std::string& Error() const { return error_; }

 private:
  std::string buffer_;
  size_t pos_ = 0;
  bool failed_ = false;
  std::string error_;
};

// Decodes one body (without the length); nullopt with `error` when malformed.
std::optional<Message> DecodeBody(std::string_view body, std::string& error);

// The code of a watched label: the text up to its first NUL, at most 10 bytes.
std::string LabelCode(const quotes::TStockLabel& label);

}  // namespace quotewire
