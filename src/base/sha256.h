// SHA-256 (FIPS 180-4), for checking downloaded files against the digest
// their publisher gives and for the update manifest's signature. The
// platform computes it: CNG on Windows, OpenSSL's libcrypto elsewhere.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

namespace base {

class Sha256 {
 public:
  using Digest = std::array<uint8_t, 32>;

  Sha256();
  ~Sha256();
  Sha256(Sha256&&) noexcept;
  Sha256& operator=(Sha256&&) noexcept;

  void Update(const void* data, size_t size);
  void Update(std::string_view bytes) { Update(bytes.data(), bytes.size()); }
  // The digest of everything given so far; the object starts over afterwards.
  Digest Finish();

  // Lower-case hexadecimal, 64 characters.
  static std::string Hex(const Digest& digest);
  static std::string HexOf(std::string_view bytes);

 private:
  struct State;  // the platform's hash object
  std::unique_ptr<State> state_;
};

// True when `text` is 64 hexadecimal digits (either case).
bool IsSha256Hex(std::string_view text);
// Compares a digest with its hexadecimal text, ignoring case; false when the
// text is not a digest.
bool SameSha256(const Sha256::Digest& digest, std::string_view hex);

}  // namespace base
