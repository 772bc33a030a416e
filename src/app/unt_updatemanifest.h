// The newest-version manifest the vendor site publishes at /version, signed
// with the vendor's update key, and what the program makes of it.
//
// A manifest is lines "key=value":
//   product=Tarvolen-Merrowick     the product it is for (nothing else is offered)
//   version=1.7.7                  dotted; offered only when newer than the running program
//   notes=...                      optional, shown in the question
//   installer=/Tarvolen-Merrowick-1.7.7.msi   a path on the site or an https address
//   sha256=<64 hexadecimal digits> of the package
//   size=<decimal bytes>           of the package, at most kMaxPackageBytes
//   signature=<128 hexadecimal digits>
// Other keys are allowed and signed, and otherwise ignored.
//
// Signed form (what the signature covers): every line of the manifest except
// the signature line, in the order they stand in the file, each as its exact
// bytes without its line end, each followed by one LF (0x0A). The bytes are
// taken as they are (UTF-8 by convention): nothing is trimmed, decoded or
// normalised. The signature is ECDSA P-256 over SHA-256 of those bytes, as r
// then s, 32 bytes each, big-endian, in hexadecimal (either case).
//
// A manifest is refused unless: lines end in LF or CR LF (a CR only there,
// the last line's end optional); no line is empty; every line is "key=value"
// with a key of 1 to 32 characters a-z, 0-9 or "_"; no line holds a byte
// below 0x20 or 0x7F; no key appears twice; the keys above are there with
// values of their form; the whole is at most kMaxManifestBytes.
#pragma once

#include <functional>
#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "app/unt_update.h"
#include "base/ecdsa_p256.h"

namespace app {

inline constexpr char kUpdateProduct[] = "Tarvolen-Merrowick";
inline constexpr size_t kMaxManifestBytes = 64 * 1024;
// No package of this program comes near it; a bigger download is refused
// whatever the manifest says.
inline constexpr uint64_t kMaxPackageBytes = 256ull << 20;

struct SignedManifest {
  VersionInfo info;
  std::string signedBytes;  // the signed form above
  base::EcP256Signature signature{};
};

// Reads a manifest; nullopt with `why` set when it breaks a rule above.
// Says nothing about the signature's validity.
std::optional<SignedManifest> ParseSignedManifest(std::string_view text, std::string* why = nullptr);

// True when one of `trusted` signed the manifest.
bool SignedByOneOf(const SignedManifest& manifest, std::span<const base::EcP256PublicKey> trusted);

// The keys this build trusts: the release key, and in test builds (the
// build option QV_TRUST_TEST_UPDATE_KEY, which the shipped build never
// sets) the test key as well.
std::span<const base::EcP256PublicKey> TrustedUpdateKeys();

// The outcome for a reply (nullopt: the request failed) against the
// running version: Refused unless it is a manifest for this product signed
// with a trusted key; Newer only for a version above the running one.
VersionCheckResult JudgeVersionReply(const std::optional<std::string>& reply, std::string_view running,
                                     std::span<const base::EcP256PublicKey> trusted = TrustedUpdateKeys());

// An address as a URL cracker reads it: where the request would go.
struct CrackedUrl {
  bool https = false;
  std::string host;
  bool userInfo = false;  // a user name or password stands before the host
};
using UrlCracker = std::function<std::optional<CrackedUrl>(std::string_view url)>;
// The cracker the requests themselves go by: WinHttpCrackUrl on Windows, a
// strict reading of the generic syntax elsewhere; nullopt for what it cannot
// read as an http or https address.
std::optional<CrackedUrl> CrackUrl(std::string_view url);

// Whether the program may fetch the manifest or the package from `url`:
// https, or http to a loopback address (127.0.0.0/8, localhost, [::1]) for
// tests on one machine. The host judged is the one `crack` yields, the
// one the request would reach, never a reading of our own.
bool IsAllowedUpdateAddress(std::string_view url, const UrlCracker& crack);
inline bool IsAllowedUpdateAddress(std::string_view url) { return IsAllowedUpdateAddress(url, CrackUrl); }

// The menu's check found a manifest it cannot trust.
inline constexpr char kUpdateRefused[] =
    "新版本信息没有通过厂商签名的验证，已拒绝，程序没有任何改动。\r\n请稍后再试，或到厂商网站下载。";

}  // namespace app
