// Off Windows (tests, tools) an address is read strictly by the generic
// syntax of RFC 3986: the authority runs to the first "/", "?" or "#", a
// user part ends at its last "@", and what cannot be read is refused.
#include <cctype>

#include "app/unt_updatemanifest.h"

namespace app {

std::optional<CrackedUrl> CrackUrl(std::string_view url) {
  const size_t colon = url.find("://");
  if (colon == std::string_view::npos) return std::nullopt;
  std::string scheme(url.substr(0, colon));
  for (char& c : scheme) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  if (scheme != "http" && scheme != "https") return std::nullopt;
  CrackedUrl r;
  r.https = scheme == "https";
  std::string_view authority = url.substr(colon + 3);
  authority = authority.substr(0, authority.find_first_of("/?#"));
  if (authority.find('\\') != std::string_view::npos) return std::nullopt;
  if (const size_t at = authority.rfind('@'); at != std::string_view::npos) {
    r.userInfo = true;
    authority = authority.substr(at + 1);
  }
  std::string_view host = authority;
  if (!host.empty() && host.front() == '[') {
    const size_t close = host.find(']');
    if (close == std::string_view::npos || (close + 1 < host.size() && host[close + 1] != ':')) return std::nullopt;
    host = host.substr(0, close + 1);
  } else {
    host = host.substr(0, host.find(':'));
  }
  r.host = std::string(host);
  return r;
}

}  // namespace app
