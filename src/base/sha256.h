// SHA-256 (FIPS 180-4), for checking downloaded files against the digest
// their publisher gives.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace base {

class Sha256 {
 public:
  using Digest = std::array<uint8_t, 32>;

  Sha256();
  void Update(const void* data, size_t size);
  void Update(std::string_view bytes) { Update(bytes.data(), bytes.size()); }
  // The digest of everything given so far; the object starts over afterwards.
  Digest Finish();

  // Lower-case hexadecimal, 64 characters.
  static std::string Hex(const Digest& digest);
  static std::string HexOf(std::string_view bytes);

 private:
  void Block(const uint8_t* block);
  void Reset();

  std::array<uint32_t, 8> state_{};
  std::array<uint8_t, 64> buffer_{};
  size_t buffered_ = 0;
  uint64_t length_ = 0;  // bytes
};

// True when `text` is 64 hexadecimal digits (either case).
bool IsSha256Hex(std::string_view text);
// Compares a digest with its hexadecimal text, ignoring case; false when the
// text is not a digest.
bool SameSha256(const Sha256::Digest& digest, std::string_view hex);

}  // namespace base
