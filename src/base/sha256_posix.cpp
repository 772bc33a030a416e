// SHA-256 through OpenSSL's libcrypto.
#include <openssl/evp.h>

#include <cstdlib>

#include "base/sha256.h"

namespace base {

struct Sha256::State {
  EVP_MD_CTX* ctx = nullptr;
  ~State() { EVP_MD_CTX_free(ctx); }
  void Start() {
    // Fails only when memory is gone: nothing sensible can go on then.
    if (!ctx) ctx = EVP_MD_CTX_new();
    if (!ctx || EVP_DigestInit_ex(ctx, EVP_sha256(), nullptr) != 1) std::abort();
  }
};

Sha256::Sha256() : state_(std::make_unique<State>()) { state_->Start(); }
Sha256::~Sha256() = default;
Sha256::Sha256(Sha256&&) noexcept = default;
Sha256& Sha256::operator=(Sha256&&) noexcept = default;

void Sha256::Update(const void* data, size_t size) {
  if (size > 0 && EVP_DigestUpdate(state_->ctx, data, size) != 1) std::abort();
}

Sha256::Digest Sha256::Finish() {
  Digest out{};
  unsigned int n = 0;
  if (EVP_DigestFinal_ex(state_->ctx, out.data(), &n) != 1 || n != out.size()) std::abort();
  state_->Start();
  return out;
}

}  // namespace base
