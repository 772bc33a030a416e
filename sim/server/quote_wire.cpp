#include "quote_wire.h"

#include <algorithm>
#include <cstring>

#include "base/records.h"

namespace quotewire {
namespace {

// A frame with room for the body; the length is filled in by Finish.
class FrameWriter {
 public:
  explicit FrameWriter(Kind kind) : bytes_(4, '\0') { bytes_ += static_cast<char>(kind); }
  void U8(uint8_t v) { bytes_ += static_cast<char>(v); }
  void U32(uint32_t v) {
    char b[4];
    base::StoreLE(b, v);
    bytes_.append(b, 4);
  }
  void I32(int32_t v) { U32(static_cast<uint32_t>(v)); }
  void Bytes(const void* p, size_t n) { bytes_.append(static_cast<const char*>(p), n); }
  void Text(std::string_view s, size_t max) {
    s = s.substr(0, max);
    U8(static_cast<uint8_t>(s.size()));
    Bytes(s.data(), s.size());
  }
  std::string Finish() {
    base::StoreBE32(bytes_.data(), static_cast<uint32_t>(bytes_.size() - 4));
    return std::move(bytes_);
  }

 private:
  std::string bytes_;
};

// Reads fields of a body; any read past the end marks it short.
class BodyReader {
 public:
  explicit BodyReader(std::string_view body) : body_(body) {}
  bool Take(void* out, size_t n) {
    if (body_.size() - pos_ < n) return ok_ = false;
    std::memcpy(out, body_.data() + pos_, n);
    pos_ += n;
    return true;
  }
  uint8_t U8() {
    uint8_t v = 0;
    Take(&v, 1);
    return v;
  }
  uint32_t U32() {
    unsigned char b[4] = {};
    Take(b, 4);
    return base::LoadLE<uint32_t>(b);
  }
  std::string Text(size_t max) {
    size_t n = U8();
    if (n > max) return ok_ = false, std::string();
    std::string s(n, '\0');
    Take(s.data(), n);
    return s;
  }
  size_t Left() const { return body_.size() - pos_; }
  bool Ok() const { return ok_; }

 private:
  std::string_view body_;
  size_t pos_ = 0;
  bool ok_ = true;
};

}  // namespace

std::string LabelCode(const quotes::TStockLabel& label) {
  size_t n = 0;
  while (n < quotewire::kMaxCodeSize && label.code[n] != '\0') ++n;
  return std::string(label.code, n);
}

std::string EncodeHello(int32_t startToken, std::string_view user) {
  FrameWriter w(kHello);
  w.I32(startToken);
  w.Text(user, kMaxUserSize);
  return w.Finish();
}

std::string EncodeSubscribe(const std::vector<quotes::TStockLabel>& labels) {
  FrameWriter w(kSubscribe);
  size_t n = std::min<size_t>(labels.size(), kMaxLabels);
  w.U32(static_cast<uint32_t>(n));
  w.Bytes(labels.data(), n * sizeof(quotes::TStockLabel));
  return w.Finish();
}

std::string EncodeQuery(uint32_t requestId, std::string_view code) {
  FrameWriter w(kQuery);
  w.U32(requestId);
  w.Text(code, kMaxCodeSize);
  return w.Finish();
}

std::string EncodeWelcome(uint32_t securities) {
  FrameWriter w(kWelcome);
  w.U32(securities);
  return w.Finish();
}

void AppendReports(std::string& out, const quotes::TQuoteReport* reports, size_t count) {
  while (count > 0) {
    size_t n = std::min<size_t>(count, kMaxReportsPerFrame);
    FrameWriter w(kReports);
    w.U32(static_cast<uint32_t>(n));
    w.Bytes(reports, n * sizeof(quotes::TQuoteReport));
    out += w.Finish();
    reports += n;
    count -= n;
  }
}

std::string EncodeAnswer(uint32_t requestId, bool known, const quotes::TQuoteReport& report) {
  FrameWriter w(kAnswer);
  w.U32(requestId);
  w.U8(known ? 1 : 0);
  w.Bytes(&report, sizeof report);
  return w.Finish();
}

std::optional<Message> DecodeBody(std::string_view body, std::string& error) {
  BodyReader r(body);
  Message m;
  m.kind = static_cast<Kind>(r.U8());
  switch (m.kind) {
    case kHello:
      m.startToken = static_cast<int32_t>(r.U32());
      m.user = r.Text(kMaxUserSize);
      break;
    case kSubscribe: {
      uint32_t n = r.U32();
      if (!r.Ok() || n > kMaxLabels || r.Left() != size_t{n} * sizeof(quotes::TStockLabel)) {
        error = "bad label count";
        return std::nullopt;
      }
      for (uint32_t i = 0; i < n; ++i) {
        quotes::TStockLabel label;
        r.Take(&label, sizeof label);
        std::string code = LabelCode(label);
        if (!code.empty() && std::find(m.labels.begin(), m.labels.end(), code) == m.labels.end())
          m.labels.push_back(std::move(code));
      }
      break;
    }
    case kQuery:
      m.requestId = r.U32();
      m.code = r.Text(kMaxCodeSize);
      break;
    case kWelcome:
      m.securities = r.U32();
      break;
    case kReports: {
      uint32_t n = r.U32();
      if (!r.Ok() || n > kMaxReportsPerFrame || r.Left() != size_t{n} * quotes::kQuoteReportSize) {
        error = "bad report count";
        return std::nullopt;
      }
      m.reports.resize(n);
      r.Take(m.reports.data(), n * quotes::kQuoteReportSize);
      break;
    }
    case kAnswer:
      m.requestId = r.U32();
      m.known = r.U8() != 0;
      m.reports.resize(1);
      r.Take(m.reports.data(), quotes::kQuoteReportSize);
      break;
    default:
      error = "unknown kind " + std::to_string(static_cast<int>(m.kind));
      return std::nullopt;
  }
  if (!r.Ok() || r.Left() != 0) {
    error = "body of kind " + std::to_string(static_cast<int>(m.kind)) + " has the wrong size";
    return std::nullopt;
  }
  return m;
}

void Reader::Feed(const void* data, size_t size) {
  if (failed_) return;
  // Keep the buffer from growing with what was already taken.
  if (pos_ > 0 && pos_ >= buffer_.size() / 2) {
    buffer_.erase(0, pos_);
    pos_ = 0;
  }
  buffer_.append(static_cast<const char*>(data), size);
}

std::optional<Message> Reader::Next() {
  if (failed_ || buffer_.size() - pos_ < 4) return std::nullopt;
  uint32_t length = base::LoadBE32(buffer_.data() + pos_);
  if (length == 0 || length > kMaxBodySize) {
    failed_ = true;
    error_ = "frame length " + std::to_string(length) + " out of range";
    return std::nullopt;
  }
  if (buffer_.size() - pos_ - 4 < length) return std::nullopt;
  std::string_view body(buffer_.data() + pos_ + 4, length);
  pos_ += 4 + length;
  auto m = DecodeBody(body, error_);
  if (!m) failed_ = true;
  return m;
}

}  // namespace quotewire
