#include "app/unt_update.h"

#include <cctype>

#include "base/files.h"
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
  return text.size() - at >= word.size() && base::SameTextAscii(text.substr(at, word.size()), word);
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

}  // namespace

std::string HtmlToText(std::string_view html) {
  std::string raw;
  size_t i = 0;
  while (i < html.size()) {
    const char c = html[i];
    if (c == '<') {
      for (const std::string_view skip : {"script", "style"}) {
        if (StartsWithNoCase(html, i + 1, skip)) {
          const std::string close = "</" + std::string(skip);
          size_t j = i + 1;
          while (j < html.size() && !StartsWithNoCase(html, j, close)) ++j;
          i = j;
          break;
        }
      }
      const size_t end = html.find('>', i);
      const std::string_view tag = html.substr(i + 1, end == std::string_view::npos ? html.npos : end - i - 1);
      std::string_view name = tag;
      if (!name.empty() && name[0] == '/') name.remove_prefix(1);
      name = name.substr(0, name.find_first_of(" \t\r\n/>"));
      for (const std::string_view block : {"br", "p", "div", "li", "tr", "h1", "h2", "h3", "h4", "title"}) {
        if (base::SameTextAscii(name, block)) {
          raw += '\n';
          break;
        }
      }
      if (end == std::string_view::npos) break;
      i = end + 1;
    } else if (c == '&') {
      const size_t semi = html.find(';', i);
      if (semi != std::string_view::npos && semi - i <= 8) {
        AppendEntity(html.substr(i + 1, semi - i - 1), raw);
        i = semi + 1;
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
