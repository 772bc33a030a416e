// ECDSA P-256 verification through OpenSSL's libcrypto.
#include <openssl/bn.h>
#include <openssl/ecdsa.h>
#include <openssl/evp.h>
#include <openssl/x509.h>

#include <algorithm>
#include <memory>

#include "base/ecdsa_p256.h"

namespace base {
namespace {

// DER of a SubjectPublicKeyInfo for an uncompressed P-256 point, up to the
// point itself: SEQUENCE { SEQUENCE { id-ecPublicKey, prime256v1 },
// BIT STRING { 0x04 X Y } }.
constexpr uint8_t kSpkiPrefix[] = {0x30, 0x59, 0x30, 0x13, 0x06, 0x07, 0x2a, 0x86, 0x48, 0xce, 0x3d, 0x02, 0x01,
                                   0x06, 0x08, 0x2a, 0x86, 0x48, 0xce, 0x3d, 0x03, 0x01, 0x07, 0x03, 0x42, 0x00,
                                   0x04};

struct Free {
  void operator()(EVP_PKEY* p) const { EVP_PKEY_free(p); }
  void operator()(EVP_MD_CTX* p) const { EVP_MD_CTX_free(p); }
  void operator()(ECDSA_SIG* p) const { ECDSA_SIG_free(p); }
  void operator()(BIGNUM* p) const { BN_free(p); }
  void operator()(unsigned char* p) const { OPENSSL_free(p); }
};
template <class T>
using Owned = std::unique_ptr<T, Free>;

}  // namespace

bool VerifyEcdsaP256Sha256(std::string_view message, const EcP256Signature& signature, const EcP256PublicKey& key) {
  uint8_t spki[sizeof(kSpkiPrefix) + 64];
  std::copy(std::begin(kSpkiPrefix), std::end(kSpkiPrefix), spki);
  std::copy(key.begin(), key.end(), spki + sizeof(kSpkiPrefix));
  const unsigned char* in = spki;
  // Decoding checks that the point lies on the curve.
  Owned<EVP_PKEY> pkey(d2i_PUBKEY(nullptr, &in, sizeof(spki)));
  if (!pkey) return false;

  Owned<ECDSA_SIG> sig(ECDSA_SIG_new());
  Owned<BIGNUM> r(BN_bin2bn(signature.data(), 32, nullptr)), s(BN_bin2bn(signature.data() + 32, 32, nullptr));
  if (!sig || !r || !s || ECDSA_SIG_set0(sig.get(), r.get(), s.get()) != 1) return false;
  r.release();  // owned by sig now
  s.release();
  unsigned char* der = nullptr;
  const int derSize = i2d_ECDSA_SIG(sig.get(), &der);
  Owned<unsigned char> derOwned(der);
  if (derSize <= 0) return false;

  Owned<EVP_MD_CTX> ctx(EVP_MD_CTX_new());
  if (!ctx || EVP_DigestVerifyInit(ctx.get(), nullptr, EVP_sha256(), nullptr, pkey.get()) != 1) return false;
  return EVP_DigestVerify(ctx.get(), der, static_cast<size_t>(derSize),
                          reinterpret_cast<const unsigned char*>(message.data()), message.size()) == 1;
}

}  // namespace base
