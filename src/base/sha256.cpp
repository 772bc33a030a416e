#include "base/sha256.h"

namespace base {
namespace {

int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

}  // namespace

std::string Sha256::Hex(const Digest& digest) {
  static constexpr char kDigits[] = "0123456789abcdef";
  std::string s;
  for (const uint8_t b : digest) {
    s += kDigits[b >> 4];
    s += kDigits[b & 15];
  }
  return s;
}

std::string Sha256::HexOf(std::string_view bytes) {
  Sha256 h;
  h.Update(bytes);
  return Hex(h.Finish());
}

bool IsSha256Hex(std::string_view text) {
  if (text.size() != 64) return false;
  for (const char c : text)
    if (HexValue(c) < 0) return false;
  return true;
}

bool SameSha256(const Sha256::Digest& digest, std::string_view hex) {
  if (!IsSha256Hex(hex)) return false;
  for (size_t i = 0; i < digest.size(); ++i)
    if (digest[i] != (HexValue(hex[2 * i]) << 4 | HexValue(hex[2 * i + 1]))) return false;
  return true;
}

}  // namespace base
