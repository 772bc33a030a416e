#include "base/hmac.h"

#include <windows.h>
#include <bcrypt.h>

#include <stdexcept>

namespace base {
namespace {

bool Ok(NTSTATUS status) { return status >= 0; }

}  // namespace

std::string HmacSha256(std::string_view key, std::string_view message) {
  BCRYPT_ALG_HANDLE alg = nullptr;
  if (!Ok(BCryptOpenAlgorithmProvider(&alg, BCRYPT_SHA256_ALGORITHM, nullptr, BCRYPT_ALG_HANDLE_HMAC_FLAG)))
    throw std::runtime_error("HMAC-SHA256 not available");
  std::string mac(32, '\0');
  BCRYPT_HASH_HANDLE hash = nullptr;
  // CNG wants a key buffer even for an empty key.
  static UCHAR none = 0;
  bool ok = Ok(BCryptCreateHash(alg, &hash, nullptr, 0,
                                key.empty() ? &none : reinterpret_cast<PUCHAR>(const_cast<char*>(key.data())),
                                static_cast<ULONG>(key.size()), 0));
  if (ok && !message.empty())
    ok = Ok(BCryptHashData(hash, reinterpret_cast<PUCHAR>(const_cast<char*>(message.data())),
                           static_cast<ULONG>(message.size()), 0));
  if (ok) ok = Ok(BCryptFinishHash(hash, reinterpret_cast<PUCHAR>(mac.data()), static_cast<ULONG>(mac.size()), 0));
  if (hash) BCryptDestroyHash(hash);
  BCryptCloseAlgorithmProvider(alg, 0);
  if (!ok) throw std::runtime_error("HMAC-SHA256 failed");
  return mac;
}

}  // namespace base
