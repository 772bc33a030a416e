// SHA-256 through CNG.
#include <windows.h>
#include <bcrypt.h>

#include <cstdlib>

#include "base/sha256.h"

namespace base {
namespace {

// One provider for the process, opened on first use and kept.
BCRYPT_ALG_HANDLE Provider() {
  static const BCRYPT_ALG_HANDLE provider = [] {
    BCRYPT_ALG_HANDLE h = nullptr;
    if (!BCRYPT_SUCCESS(BCryptOpenAlgorithmProvider(&h, BCRYPT_SHA256_ALGORITHM, nullptr, 0))) std::abort();
    return h;
  }();
  return provider;
}

}  // namespace

struct Sha256::State {
  BCRYPT_HASH_HANDLE hash = nullptr;
  ~State() {
    if (hash) BCryptDestroyHash(hash);
  }
  void Start() {
    if (hash) BCryptDestroyHash(hash);
    hash = nullptr;
    // Fails only when memory is gone: nothing sensible can go on then.
    if (!BCRYPT_SUCCESS(BCryptCreateHash(Provider(), &hash, nullptr, 0, nullptr, 0, 0)))
      std::abort();
  }
};

Sha256::Sha256() : state_(std::make_unique<State>()) { state_->Start(); }
Sha256::~Sha256() = default;
Sha256::Sha256(Sha256&&) noexcept = default;
Sha256& Sha256::operator=(Sha256&&) noexcept = default;

void Sha256::Update(const void* data, size_t size) {
  auto* p = static_cast<PUCHAR>(const_cast<void*>(data));
  while (size > 0) {
    const ULONG part = size > 0x40000000u ? 0x40000000u : static_cast<ULONG>(size);
    if (!BCRYPT_SUCCESS(BCryptHashData(state_->hash, p, part, 0))) std::abort();
    p += part;
    size -= part;
  }
}

Sha256::Digest Sha256::Finish() {
  Digest out{};
  if (!BCRYPT_SUCCESS(BCryptFinishHash(state_->hash, out.data(), static_cast<ULONG>(out.size()), 0))) std::abort();
  state_->Start();
  return out;
}

}  // namespace base
