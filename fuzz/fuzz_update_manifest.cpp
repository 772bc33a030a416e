// The newest-version manifest as it comes from the network, and the
// signature check's inputs: any bytes give a verdict, and only a manifest
// that parses, names this product and carries a trusted signature is ever
// offered. The same bytes are also cut into a raw key, signature and
// message for the platform's check, which must say no without failing.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>

#include "app/unt_updatemanifest.h"
#include "base/ecdsa_p256.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string text(reinterpret_cast<const char*>(data), size);
  const auto verdict = app::JudgeVersionReply(text, "1.7.6");
  const auto parsed = app::ParseSignedManifest(text);
  if (verdict.outcome == app::VersionCheckResult::Newer) {
    if (!parsed || !app::SignedByOneOf(*parsed, app::TrustedUpdateKeys()) ||
        verdict.newest.product != app::kUpdateProduct || verdict.newest.size == 0 ||
        verdict.newest.size > app::kMaxPackageBytes)
      __builtin_trap();
  }
  if (parsed && parsed->signedBytes.find("signature=") == 0) __builtin_trap();
  app::IsAllowedUpdateAddress(text);

  base::EcP256PublicKey key{};
  base::EcP256Signature signature{};
  std::memcpy(key.data(), data, size < key.size() ? size : key.size());
  if (size > key.size())
    std::memcpy(signature.data(), data + key.size(),
                size - key.size() < signature.size() ? size - key.size() : signature.size());
  const size_t used = size < 128 ? size : 128;
  base::VerifyEcdsaP256Sha256(std::string_view(text).substr(used), signature, key);
  return 0;
}
