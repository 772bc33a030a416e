#include "account_wire.h"

#include <algorithm>

#include "base/records.h"

namespace simaccount {

WireWriter::WireWriter(Op op) { body_.push_back(static_cast<char>(op)); }

WireWriter& WireWriter::Int(int32_t v) {
  char b[4];
  base::StoreLE(b, v);
  body_.append(b, 4);
  return *this;
}

WireWriter& WireWriter::Bytes(std::string_view bytes) {
  const auto n = static_cast<uint16_t>(std::min<size_t>(bytes.size(), 0xFFFF));
  char b[2];
  base::StoreLE(b, n);
  body_.append(b, 2);
  body_.append(bytes.data(), n);
  return *this;
}

std::string WireWriter::Finish() const {
  std::string out(4, '\0');
  base::StoreBE32(out.data(), static_cast<uint32_t>(body_.size()));
  return out + body_;
}

bool WireReader::Short(size_t n) {
  if (!failed_ && rest_.size() >= n) return false;
  failed_ = true;
  return true;
}

std::optional<Op> WireReader::Operation() {
  if (Short(1)) return std::nullopt;
  const auto op = static_cast<uint8_t>(rest_[0]);
  rest_.remove_prefix(1);
  if (op < 1 || op > 5) {
    failed_ = true;
    return std::nullopt;
  }
  return static_cast<Op>(op);
}

std::optional<int32_t> WireReader::Int() {
  if (Short(4)) return std::nullopt;
  const auto v = base::LoadLE<int32_t>(rest_.data());
  rest_.remove_prefix(4);
  return v;
}

std::optional<std::string> WireReader::Bytes() {
  if (Short(2)) return std::nullopt;
  const auto n = base::LoadLE<uint16_t>(rest_.data());
  if (Short(2 + size_t{n})) return std::nullopt;
  std::string out(rest_.substr(2, n));
  rest_.remove_prefix(2 + size_t{n});
  return out;
}

std::optional<uint32_t> BodyLength(const unsigned char prefix[4]) {
  const uint32_t n = base::LoadBE32(prefix);
  if (n == 0 || n > kMaxBody) return std::nullopt;
  return n;
}

}  // namespace simaccount
