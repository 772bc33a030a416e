// ECDSA P-256 verification through CNG.
#include <windows.h>
#include <bcrypt.h>

#include <cstring>

#include "base/ecdsa_p256.h"
#include "base/sha256.h"

namespace base {

bool VerifyEcdsaP256Sha256(std::string_view message, const EcP256Signature& signature, const EcP256PublicKey& key) {
  BCRYPT_ALG_HANDLE alg = nullptr;
  if (!BCRYPT_SUCCESS(BCryptOpenAlgorithmProvider(&alg, BCRYPT_ECDSA_P256_ALGORITHM, nullptr, 0))) return false;
  // BCRYPT_ECCPUBLIC_BLOB: the header, then X and Y.
  uint8_t blob[sizeof(BCRYPT_ECCKEY_BLOB) + 64];
  BCRYPT_ECCKEY_BLOB header{BCRYPT_ECDSA_PUBLIC_P256_MAGIC, 32};
  std::memcpy(blob, &header, sizeof(header));
  std::memcpy(blob + sizeof(header), key.data(), key.size());
  BCRYPT_KEY_HANDLE handle = nullptr;
  bool ok = false;
  // Importing refuses a point that is not on the curve.
  if (BCRYPT_SUCCESS(BCryptImportKeyPair(alg, nullptr, BCRYPT_ECCPUBLIC_BLOB, &handle, blob, sizeof(blob), 0))) {
    Sha256 hash;
    hash.Update(message);
    Sha256::Digest digest = hash.Finish();
    EcP256Signature sig = signature;
    ok = BCryptVerifySignature(handle, nullptr, digest.data(), static_cast<ULONG>(digest.size()), sig.data(),
                               static_cast<ULONG>(sig.size()), 0) == 0;  // STATUS_SUCCESS
    BCryptDestroyKey(handle);
  }
  BCryptCloseAlgorithmProvider(alg, 0);
  return ok;
}

}  // namespace base
