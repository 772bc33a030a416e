#include "app/unt_updatemanifest.h"

#include <cctype>
#include <set>

#include "base/sha256.h"

namespace app {
namespace {

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

bool ValidKey(std::string_view key) {
  if (key.empty() || key.size() > 32) return false;
  for (const char c : key)
    if (!(std::islower(static_cast<unsigned char>(c)) || std::isdigit(static_cast<unsigned char>(c)) || c == '_'))
      return false;
  return true;
}

std::optional<uint64_t> PackageSize(std::string_view text) {
  if (text.empty() || text.size() > 12) return std::nullopt;
  uint64_t n = 0;
  for (const char c : text) {
    if (!std::isdigit(static_cast<unsigned char>(c))) return std::nullopt;
    n = n * 10 + static_cast<uint64_t>(c - '0');
  }
  if (n == 0 || n > kMaxPackageBytes) return std::nullopt;
  return n;
}

bool IsLoopbackHost(std::string host) {
  for (char& c : host) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  if (host == "localhost" || host == "[::1]" || host == "::1") return true;
  // 127.0.0.0/8 written as four decimal numbers.
  if (host.rfind("127.", 0) != 0) return false;
  int parts = 0;
  size_t at = 0;
  while (at <= host.size()) {
    const size_t dot = std::min(host.find('.', at), host.size());
    const std::string_view part(host.data() + at, dot - at);
    if (part.empty() || part.size() > 3) return false;
    int n = 0;
    for (const char c : part) {
      if (!std::isdigit(static_cast<unsigned char>(c))) return false;
      n = n * 10 + (c - '0');
    }
    if (n > 255) return false;
    ++parts;
    at = dot + 1;
  }
  return parts == 4;
}

bool StartsWithNoCase(std::string_view text, std::string_view prefix) {
  if (text.size() < prefix.size()) return false;
  for (size_t i = 0; i < prefix.size(); ++i)
    if (std::tolower(static_cast<unsigned char>(text[i])) != prefix[i]) return false;
  return true;
}

}  // namespace

std::optional<SignedManifest> ParseSignedManifest(std::string_view text, std::string* why) {
  const auto fail = [why](std::string reason) -> std::optional<SignedManifest> {
    if (why) *why = std::move(reason);
    return std::nullopt;
  };
  if (text.empty()) return fail("内容是空的");
  if (text.size() > kMaxManifestBytes) return fail("内容过大");
  SignedManifest m;
  std::set<std::string, std::less<>> seen;
  std::string_view signature;
  size_t number = 0;
  for (size_t pos = 0; pos < text.size();) {
    const size_t end = text.find('\n', pos);
    std::string_view line = text.substr(pos, end == std::string_view::npos ? std::string_view::npos : end - pos);
    pos = end == std::string_view::npos ? text.size() : end + 1;
    ++number;
    if (end != std::string_view::npos && !line.empty() && line.back() == '\r') line.remove_suffix(1);
    const std::string at = "第 " + std::to_string(number) + " 行";
    if (line.empty()) return fail(at + "是空行");
    for (const char c : line)
      if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) return fail(at + "有控制字符");
    const size_t eq = line.find('=');
    if (eq == std::string_view::npos || !ValidKey(line.substr(0, eq))) return fail(at + "不是“名称=值”");
    const std::string_view key = line.substr(0, eq), value = line.substr(eq + 1);
    if (!seen.emplace(key).second) return fail(at + "重复了“" + std::string(key) + "”");
    if (key == "signature") {
      signature = value;
      continue;
    }
    m.signedBytes.append(line);
    m.signedBytes += '\n';
    if (key == "product") m.info.product = value;
    else if (key == "version") m.info.version = value;
    else if (key == "notes") m.info.notes = value;
    else if (key == "installer") m.info.installer = value;
    else if (key == "sha256") m.info.sha256 = value;
    else if (key == "size") {
      const auto size = PackageSize(value);
      if (!size) return fail("size 不是 1 到 " + std::to_string(kMaxPackageBytes) + " 之间的字节数");
      m.info.size = *size;
    }
  }
  for (const char* required : {"product", "version", "installer", "sha256", "size", "signature"})
    if (!seen.count(required)) return fail(std::string("缺少“") + required + "”");
  if (!ParseVersion(m.info.version)) return fail("version 不是版本号");
  if (!base::IsSha256Hex(m.info.sha256)) return fail("sha256 不是 64 位十六进制数");
  if (signature.size() != 2 * m.signature.size()) return fail("signature 不是 128 位十六进制数");
  for (size_t i = 0; i < m.signature.size(); ++i) {
    const int hi = HexDigit(signature[2 * i]), lo = HexDigit(signature[2 * i + 1]);
    if (hi < 0 || lo < 0) return fail("signature 不是 128 位十六进制数");
    m.signature[i] = static_cast<uint8_t>(hi << 4 | lo);
  }
  return m;
}

bool SignedByOneOf(const SignedManifest& manifest, std::span<const base::EcP256PublicKey> trusted) {
  for (const auto& key : trusted)
    if (base::VerifyEcdsaP256Sha256(manifest.signedBytes, manifest.signature, key)) return true;
  return false;
}

VersionCheckResult JudgeVersionReply(const std::optional<std::string>& reply, std::string_view running,
                                     std::span<const base::EcP256PublicKey> trusted) {
  VersionCheckResult r;
  if (!reply) {
    r.outcome = VersionCheckResult::Failed;
    r.error = "版本信息请求失败";
    return r;
  }
  std::string why;
  const auto manifest = ParseSignedManifest(*reply, &why);
  r.outcome = VersionCheckResult::Refused;
  if (!manifest) {
    r.error = "版本信息格式不对（" + why + "），已拒绝";
  } else if (!SignedByOneOf(*manifest, trusted)) {
    r.error = "版本信息的签名无效或不是厂商的密钥所签，已拒绝";
  } else if (manifest->info.product != kUpdateProduct) {
    r.error = "版本信息是另一产品（" + manifest->info.product + "）的，已拒绝";
  } else if (const auto mine = ParseVersion(running); !mine) {
    r.outcome = VersionCheckResult::NoNewer;
    r.error = "本程序的版本号无法识别，按没有新版本处理";
  } else {
    r.newest = manifest->info;
    // Only a newer version: an old manifest played back must not bring an
    // old package back.
    r.outcome = CompareVersions(*ParseVersion(r.newest.version), *mine) > 0 ? VersionCheckResult::Newer
                                                                            : VersionCheckResult::NoNewer;
  }
  return r;
}

bool IsAllowedUpdateAddress(std::string_view url, const UrlCracker& crack) {
  for (const char c : url)
    if (static_cast<unsigned char>(c) <= ' ' || c == '"' || c == 0x7F) return false;
  const bool https = StartsWithNoCase(url, "https://");
  if (!https && !StartsWithNoCase(url, "http://")) return false;
  // Backslashes, fragments and "user@" before the host only serve to make
  // an address read differently by different parsers.
  const std::string_view rest = url.substr(https ? 8 : 7);
  if (url.find_first_of("\\#") != std::string_view::npos) return false;
  if (rest.substr(0, rest.find('/')).find('@') != std::string_view::npos) return false;
  const std::optional<CrackedUrl> parts = crack(url);
  if (!parts || parts->host.empty() || parts->userInfo || parts->https != https) return false;
  return https || IsLoopbackHost(parts->host);
}

}  // namespace app
