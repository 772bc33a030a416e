#include "base/hmac.h"

#include <openssl/evp.h>
#include <openssl/hmac.h>

#include <stdexcept>

namespace base {

std::string HmacSha256(std::string_view key, std::string_view message) {
  unsigned char mac[EVP_MAX_MD_SIZE];
  unsigned int size = 0;
  if (!HMAC(EVP_sha256(), key.data(), static_cast<int>(key.size()),
            reinterpret_cast<const unsigned char*>(message.data()), message.size(), mac, &size))
    throw std::runtime_error("HMAC-SHA256 failed");
  return std::string(reinterpret_cast<const char*>(mac), size);
}

}  // namespace base
