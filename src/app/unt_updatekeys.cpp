// The keys whose signature on the update manifest the program accepts.
#include "app/unt_updatemanifest.h"

namespace app {
namespace {

// The vendor's release key; its private half stays with the release manager.
constexpr base::EcP256PublicKey kReleaseKey = {
#include "app/keys/update_release_key.inc"
};

#ifdef QV_TRUST_TEST_UPDATE_KEY
// Test builds only: the key the tests sign with (tests/keys/), which anyone
// holding the sources can use, so the shipped program must never trust it.
constexpr base::EcP256PublicKey kTrusted[] = {
    kReleaseKey,
    {
#include "app/keys/update_test_key.inc"
    },
};
#else
constexpr base::EcP256PublicKey kTrusted[] = {kReleaseKey};
#endif

}  // namespace

std::span<const base::EcP256PublicKey> TrustedUpdateKeys() { return kTrusted; }

}  // namespace app
