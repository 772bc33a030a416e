// ECDSA on the curve P-256 with SHA-256, for checking what the vendor
// signed (the update manifest). Only verification: signing happens on the
// release manager's machine (scripts/sign-manifest). The platform does the
// work: CNG on Windows, OpenSSL's libcrypto elsewhere.
#pragma once

#include <array>
#include <cstdint>
#include <string_view>

namespace base {

// A public key as its affine coordinates X then Y, 32 bytes each, big-endian
// (the uncompressed point without its leading 0x04).
using EcP256PublicKey = std::array<uint8_t, 64>;
// A signature as r then s, 32 bytes each, big-endian (CNG's layout, not DER).
using EcP256Signature = std::array<uint8_t, 64>;

// True only when `signature` is a valid signature of SHA-256(`message`)
// under `key`. Any malformed key or signature (not on the curve, r or s out
// of range) gives false.
bool VerifyEcdsaP256Sha256(std::string_view message, const EcP256Signature& signature, const EcP256PublicKey& key);

}  // namespace base
