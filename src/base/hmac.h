// HMAC-SHA256, from the platform's own cryptography: CNG on Windows,
// OpenSSL's libcrypto elsewhere.
#pragma once

#include <string>
#include <string_view>

namespace base {

// The 32-byte MAC of `message` under `key`, as raw bytes.
std::string HmacSha256(std::string_view key, std::string_view message);

}  // namespace base
