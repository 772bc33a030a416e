#include "app/unt_update.h"

#include <cctype>

#include "base/files.h"
#include "base/gbk.h"
#include "base/ini_file.h"
#include "base/text.h"

namespace app {

VendorSite ReadVendorSite(const std::string& applicationFolder) {
  VendorSite v{kDefaultVendorSite};
  const std::string path = applicationFolder + kVendorFile;
  if (base::FileExists(path)) {
    std::string site(base::Trim(base::IniFile(path).ReadString(kVendorSection, kVendorSiteKey, "")));
    if (!site.empty()) v.site = site;
  }
  while (!v.site.empty() && v.site.back() == '/') v.site.pop_back();
  return v;
}

std::optional<std::vector<uint32_t>> ParseVersion(std::string_view text) {
  text = base::Trim(text);
  if (!text.empty() && (text[0] == 'v' || text[0] == 'V')) text.remove_prefix(1);
  std::vector<uint32_t> parts;
  size_t i = 0;
  while (true) {
    if (i >= text.size() || !std::isdigit(static_cast<unsigned char>(text[i]))) return std::nullopt;
    uint64_t n = 0;
    while (i < text.size() && std::isdigit(static_cast<unsigned char>(text[i]))) {
      n = n * 10 + static_cast<uint64_t>(text[i++] - '0');
      if (n > 0xFFFFFFFFu) return std::nullopt;
    }
    parts.push_back(static_cast<uint32_t>(n));
    if (i == text.size()) break;
    if (text[i++] != '.' || parts.size() >= 8) return std::nullopt;
  }
  return parts;
}

int CompareVersions(const std::vector<uint32_t>& a, const std::vector<uint32_t>& b) {
  for (size_t i = 0; i < a.size() || i < b.size(); ++i) {
    const uint32_t x = i < a.size() ? a[i] : 0, y = i < b.size() ? b[i] : 0;
    if (x != y) return x < y ? -1 : 1;
  }
  return 0;
}

namespace {

bool StartsWithNoCase(std::string_view text, size_t at, std::string_view word) {
  return at <= text.size() && text.size() - at >= word.size() &&
         base::SameTextAscii(text.substr(at, word.size()), word);
}

// Where `word` next starts at or after `from`, ignoring ASCII case; npos when it does not.
size_t FindNoCase(std::string_view text, size_t from, std::string_view word) {
  for (size_t i = from; i + word.size() <= text.size(); ++i)
    if (StartsWithNoCase(text, i, word)) return i;
  return std::string_view::npos;
}

void AppendEntity(std::string_view name, std::string& out) {
  if (name == "nbsp") out += ' ';
  else if (name == "amp") out += '&';
  else if (name == "lt") out += '<';
  else if (name == "gt") out += '>';
  else if (name == "quot") out += '"';
  else if (name == "apos" || name == "#39") out += '\'';
  else {
    out += '&';
    out += name;
    out += ';';
  }
}

// The charset a page declares in its markup (<meta charset=...> or the
// http-equiv Content-Type), lower case; empty when it declares none.
std::string DeclaredCharset(std::string_view html) {
  const size_t at = FindNoCase(html, 0, "charset");
  if (at == std::string_view::npos) return {};
  size_t i = at + 7;
  while (i < html.size() && (html[i] == ' ' || html[i] == '=' || html[i] == '"' || html[i] == '\'')) ++i;
  std::string name;
  while (i < html.size() && name.size() < 40 &&
         (std::isalnum(static_cast<unsigned char>(html[i])) || html[i] == '-' || html[i] == '_'))
    name += static_cast<char>(std::tolower(static_cast<unsigned char>(html[i++])));
  return name;
}

bool IsGbkFamily(std::string_view charset) {
  return charset.substr(0, 2) == "gb" || charset == "x-gbk" || charset == "cp936" || charset == "windows-936";
}

// The page as UTF-8: a GBK family charset (GB2312, GBK, GB18030) converted,
// UTF-8 kept; a page that is not valid UTF-8 whatever it declares is taken
// as GBK, the usual encoding of Chinese pages that do not say.
std::string PageAsUtf8(std::string_view html) {
  if (!IsGbkFamily(DeclaredCharset(html)) && base::IsValidUtf8(html)) return std::string(html);
  return base::GbkToUtf8Lossy(html);
}

constexpr size_t kLongestEntity = 8;  // "&#x2014;"; no entity name the text decodes is longer

}  // namespace

std::string HtmlToText(std::string_view page) {
  // One pass over the page, each byte looked at a bounded number of times,
  // whatever the page holds: the vendor page comes over plain HTTP, so a
  // captive portal or a cut connection can deliver anything.
  const std::string utf8 = PageAsUtf8(page);
  const std::string_view html = utf8;
  std::string raw;
  size_t i = 0;
  while (i < html.size()) {
    const char c = html[i];
    if (c == '<') {
      for (const std::string_view skip : {"script", "style"}) {
        if (StartsWithNoCase(html, i + 1, skip)) {
          // Up to the closing tag; an unclosed one hides the rest of the page.
          i = FindNoCase(html, i + 1, "</" + std::string(skip));
          break;
        }
      }
      if (i == std::string_view::npos) break;
      const size_t end = html.find('>', i);
      if (end == std::string_view::npos) break;
      std::string_view name = html.substr(i + 1, end - i - 1);
      if (!name.empty() && name[0] == '/') name.remove_prefix(1);
      name = name.substr(0, name.find_first_of(" \t\r\n/>"));
      for (const std::string_view block : {"br", "p", "div", "li", "tr", "h1", "h2", "h3", "h4", "title"}) {
        if (base::SameTextAscii(name, block)) {
          raw += '\n';
          break;
        }
      }
      i = end + 1;
    } else if (c == '&') {
      const size_t semi = html.substr(i, kLongestEntity + 1).find(';');
      if (semi != std::string_view::npos) {
        AppendEntity(html.substr(i + 1, semi - 1), raw);
        i += semi + 1;
      } else {
        raw += c;
        ++i;
      }
    } else {
      raw += (c == '\r' || c == '\t') ? ' ' : c;
      ++i;
    }
  }
  // Fold blank runs inside lines, drop empty lines.
  std::string out;
  size_t pos = 0;
  while (pos <= raw.size()) {
    const size_t end = raw.find('\n', pos);
    std::string_view line(raw.data() + pos, (end == std::string::npos ? raw.size() : end) - pos);
    std::string folded;
    bool blank = false;
    for (const char ch : base::Trim(line)) {
      if (ch == ' ') {
        blank = true;
        continue;
      }
      if (blank) folded += ' ';
      blank = false;
      folded += ch;
    }
    if (!folded.empty()) {
      if (!out.empty()) out += "\r\n";
      out += folded;
    }
    if (end == std::string::npos) break;
    pos = end + 1;
  }
  return out;
}

}  // namespace app
