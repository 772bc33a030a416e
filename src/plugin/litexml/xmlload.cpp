// Loading a document: byte order mark, declaration, conversion to the
// requested code page, and the parser. The parser works on a buffer of
// known length and never looks past its end; nothing needs a terminator.
#include <cstring>
#include <string>

#include "base/files.h"
#include "base/gbk.h"
#include "base/text.h"
#include "plugin/litexml/codepage.h"
#include "plugin/litexml/xml.h"

namespace litexml {
namespace {

constexpr int kUtf7 = 65000;
constexpr int kUtf8 = 65001;
constexpr int kUtf16 = 1200;
constexpr int kUnicode = 1201;
constexpr int kGbk = 936;
constexpr int kBig5 = 950;
// The longest name or value of a declaration pair that is taken.
constexpr size_t kDeclarationTextMax = 259;

// Character classes of the parser, looked up by byte.
enum : unsigned char { kWhite = 1, kDelimiter = 2 };

constexpr auto kClasses = [] {
  struct Table {
    unsigned char of[256] = {};
  } t;
  for (unsigned char c : {' ', '\t', '\r', '\n'}) t.of[c] = kWhite | kDelimiter;
  for (unsigned char c : {'<', '>', '/', '?', '=', '"'}) t.of[c] = kDelimiter;
  return t;
}();

constexpr bool IsWhite(char c) { return kClasses.of[static_cast<unsigned char>(c)] & kWhite; }
// White space and the characters < > / ? = "
constexpr bool IsDelimiter(char c) { return kClasses.of[static_cast<unsigned char>(c)] & kDelimiter; }

int EncodingOf(std::string_view name) {
  struct Entry {
    const char* name;
    int codePage;
  };
  static constexpr Entry kEncodings[] = {
      {"UTF-7", kUtf7},  {"UTF-8", kUtf8},    {"UTF-16", kUtf16},  {"UNICODE", kUnicode},
      {"GBK", kGbk},     {"GB2312", kGbk},    {"GB18030", kGbk},   {"BIG5", kBig5},
  };
  for (const Entry& e : kEncodings)
    if (base::SameTextAscii(name, e.name)) return e.codePage;
  return 0;
}

// The leading decimal number of a text ("1.0", "-2.5abc"); 0 when there is none.
float DecimalPrefix(std::string_view s) {
  size_t i = 0;
  while (i < s.size() && IsWhite(s[i])) ++i;
  double sign = 1;
  if (i < s.size() && (s[i] == '+' || s[i] == '-')) sign = s[i++] == '-' ? -1 : 1;
  double value = 0;
  while (i < s.size() && s[i] >= '0' && s[i] <= '9') value = value * 10 + (s[i++] - '0');
  if (i < s.size() && s[i] == '.') {
    double scale = 0.1;
    for (++i; i < s.size() && s[i] >= '0' && s[i] <= '9'; ++i, scale /= 10) value += (s[i] - '0') * scale;
  }
  return static_cast<float>(sign * value);
}

struct Declaration {
  int encoding = 0;
  float version = 1.0f;
};

// The declaration at the start of `t`: `<?xml` and a white space character,
// then name="value" pairs up to the end, "<", ">" or "?".
Declaration ReadDeclaration(std::string_view t) {
  Declaration d;
  size_t i = 0;
  while (i < t.size() && IsWhite(t[i])) ++i;
  if (t.size() - i < 6 || !base::SameTextAscii(t.substr(i, 5), "<?xml") || !IsWhite(t[i + 5])) return d;
  i += 6;
  for (;;) {
    while (i < t.size() && IsWhite(t[i])) ++i;
    if (i == t.size() || t[i] == '<' || t[i] == '>' || t[i] == '?') break;
    const size_t nameStart = i;
    while (i < t.size() && !IsDelimiter(t[i])) ++i;
    const std::string_view name = t.substr(nameStart, i - nameStart);
    while (i < t.size() && IsWhite(t[i])) ++i;
    if (i == t.size() || t[i] != '=') break;
    ++i;
    while (i < t.size() && IsWhite(t[i])) ++i;
    if (i == t.size() || t[i] != '"') break;
    const size_t valueStart = ++i;
    const size_t quote = t.find('"', valueStart);
    if (quote == std::string_view::npos) break;
    const std::string_view value = t.substr(valueStart, quote - valueStart);
    i = quote + 1;
    if (name.size() > kDeclarationTextMax || value.size() > kDeclarationTextMax) continue;
    if (name == "version") {
      d.version = DecimalPrefix(value);
    } else if (name == "encoding") {
      d.encoding = EncodingOf(value);
    }
  }
  return d;
}

// Texts in UTF-16 to the requested code page.
bool ToCodePage(ICodePageConverter& converter, std::u16string_view units, int codePage,
                       std::string& out) {
  if (codePage == kUtf8) {
    out = base::Utf16ToUtf8(units);
    return true;
  }
  return converter.Encode(codePage, units, out);
}

}  // namespace

// Steps 2 to 6 of a load: `text` is what to parse, either the bytes
// themselves or the converted copy held in `converted`. False when the
// load fails.
bool CXmlDocument::DecodeSource(std::string_view bytes, int codePage, std::string& converted,
                                std::string_view& text) {
  const auto* b = reinterpret_cast<const unsigned char*>(bytes.data());
  const size_t length = bytes.size();
  text = bytes;
  Declaration decl;
  int textCodePage = codePage;
  if (length >= 3 && b[0] == 0xEF && b[1] == 0xBB && b[2] == 0xBF) {
    sourceCodePage_ = kUtf8;
    text = bytes.substr(3);
    if (codePage != kUtf8) {
      if (!ToCodePage(*converter_, base::Utf8ToUtf16(text), codePage, converted)) return false;
      text = converted;
    }
    decl = ReadDeclaration(text);
    if (decl.encoding != kUtf8) return false;
  } else if (length >= 2 && ((b[0] == 0xFF && b[1] == 0xFE) || (b[0] == 0xFE && b[1] == 0xFF))) {
    const bool bigEndian = b[0] == 0xFE;
    sourceCodePage_ = bigEndian ? kUnicode : kUtf16;
    std::u16string units((length - 2) / 2, u'\0');
    for (size_t i = 0; i < units.size(); ++i) {
      const unsigned lo = b[2 + 2 * i + (bigEndian ? 1 : 0)];
      const unsigned hi = b[2 + 2 * i + (bigEndian ? 0 : 1)];
      units[i] = static_cast<char16_t>(lo | hi << 8);
    }
    if (!ToCodePage(*converter_, units, codePage, converted)) return false;
    text = converted;
    decl = ReadDeclaration(text);
    if (decl.encoding != kUtf16 && decl.encoding != kUnicode) return false;
  } else {
    decl = ReadDeclaration(bytes);
    if (decl.encoding == kUtf16 || decl.encoding == kUnicode) return false;
    if (decl.encoding == kUtf8 || decl.encoding == kUtf7) {
      sourceCodePage_ = decl.encoding;
      if (decl.encoding != codePage) {
        std::u16string units;
        if (decl.encoding == kUtf8) {
          units = base::Utf8ToUtf16(bytes);
        } else if (!converter_->Decode(kUtf7, bytes, units)) {
          return false;
        }
        if (!ToCodePage(*converter_, units, codePage, converted)) return false;
        text = converted;
      }
    } else {
      // The bytes stay, in the code page the declaration names.
      textCodePage = decl.encoding == kGbk || decl.encoding == kBig5 ? decl.encoding : 0;
      sourceCodePage_ = textCodePage;
    }
  }
  encoding_ = decl.encoding;
  version_ = decl.version;

  // Simplified Chinese in GBK to traditional in BIG5, or back.
  if ((textCodePage == kGbk && codePage == kBig5) || (textCodePage == kBig5 && codePage == kGbk)) {
    std::u16string units, mapped;
    if (!converter_->Decode(textCodePage, text, units)) return false;
    if (converter_->MapChinese(units, codePage == kBig5, mapped)) units.swap(mapped);
    if (!converter_->Encode(codePage, units, converted)) return false;
    text = converted;
  }
  return true;
}

int CXmlDocument::LoadBuffer(const void* bytes, int64_t length, int codePage) {
  Clear();
  if (length < 0 || (length > 0 && !bytes)) return 0;
  if constexpr (sizeof(size_t) < sizeof(int64_t)) {
    if (static_cast<uint64_t>(length) > SIZE_MAX) return 0;
  }
  codePage_ = codePage;
  std::string converted;
  std::string_view text;
  char rootName[kRootNameMax + 1];
  std::memcpy(rootName, rootName_, sizeof rootName);
  // One lock per pool for the whole load instead of one per item.
  coll::CBlockPool::Hold holdNodes(nodes_), holdAttrs(attrs_), holdTexts(texts_);
  if (DecodeSource(std::string_view(static_cast<const char*>(bytes), static_cast<size_t>(length)), codePage,
                   converted, text) &&
      Parse(text.data(), text.data() + text.size()))
    return 1;
  // The failed parse may have renamed the root; the document keeps its own.
  std::memcpy(rootName_, rootName, sizeof rootName);
  Clear();
  return 0;
}

int CXmlDocument::LoadFile(const char* path, const char* key, int codePage) {
  // Enciphered profiles are not supported: nothing in the plug-in uses them.
  if (!path || (key && *key)) {
    Clear();
    return 0;
  }
  const auto bytes = base::ReadFileBytes(path);
  if (!bytes) {
    Clear();
    return 0;
  }
  return LoadBuffer(bytes->data(), static_cast<int64_t>(bytes->size()), codePage);
}

// The parser. Text runs, names and values are taken as the bytes between
// their delimiters; nothing is decoded.
bool CXmlDocument::Parse(const char* p, const char* const end) {
  RemoveAll();
  CXmlNode* parent = nullptr;  // the open element
  CXmlNode* last = nullptr;    // the last node read under `parent`
  const auto skipWhite = [&] {
    while (p < end && IsWhite(*p)) ++p;
  };
  const auto find = [&](char c) -> const char* {
    return static_cast<const char*>(std::memchr(p, c, static_cast<size_t>(end - p)));
  };
  const auto trimRight = [](const char* from, const char* to) {
    while (to > from && IsWhite(to[-1])) --to;
    return std::string_view(from, static_cast<size_t>(to - from));
  };

  for (;;) {
    skipWhite();
    if (p == end) return parent == nullptr;

    if (*p != '<') {
      // Text up to the next tag, inside an element only.
      const char* lt = find('<');
      if (!lt || !parent) return false;
      CXmlNode* text = InsertNode(parent, last, trimRight(p, lt), kXmlText);
      if (!text) return false;
      last = text;
      p = lt;
      continue;
    }
    ++p;

    if (p < end && *p == '/') {
      // A closing tag must name the open element.
      ++p;
      skipWhite();
      if (p == end || *p == '>') return false;
      const char* gt = find('>');
      if (!gt || !parent || !SameXmlName(parent->name.chars, trimRight(p, gt))) return false;
      last = parent;
      parent = parent->parent;
      p = gt + 1;
      continue;
    }

    const bool declaration = p < end && *p == '?';
    if (declaration) ++p;
    skipWhite();
    if (p == end || IsDelimiter(*p)) return false;
    const char* nameStart = p;
    while (p < end && !IsDelimiter(*p)) ++p;
    if (p == end || *p == '\r' || *p == '\n') return false;
    CXmlNode* node = InsertNode(parent, last, std::string_view(nameStart, static_cast<size_t>(p - nameStart)),
                                declaration ? kXmlDeclaration : kXmlOpenElement);
    if (!node) return false;
    last = node;

    // Attributes, appended in order (after any the node has: a second
    // top-level element is read into the first).
    CXmlAttr** tail = &node->firstAttr;
    while (*tail) tail = &(*tail)->next;
    for (;;) {
      skipWhite();
      if (p == end) return false;
      if (IsDelimiter(*p)) break;
      const char* attrStart = p;
      while (p < end && !IsDelimiter(*p)) ++p;
      if (p == end || *p == '\r' || *p == '\n') return false;
      const std::string_view attrName(attrStart, static_cast<size_t>(p - attrStart));
      skipWhite();
      if (p == end || *p != '=') return false;
      ++p;
      skipWhite();
      if (p == end || (*p != '"' && *p != '\'')) return false;
      const char quote = *p++;
      const char* valueEnd = find(quote);
      if (!valueEnd) return false;
      CXmlAttr* attr = NewAttr(attrName, std::string_view(p, static_cast<size_t>(valueEnd - p)));
      if (!attr) return false;
      *tail = attr;
      tail = &attr->next;
      p = valueEnd + 1;
    }

    // The end of the tag.
    if (*p == '?') {
      if (!declaration || end - p < 2 || p[1] != '>') return false;
      p += 2;
    } else if (*p == '/') {
      if (declaration || end - p < 2 || p[1] != '>') return false;
      // A second top-level element read into the first keeps its content.
      if (!node->firstChild) node->type = kXmlEmptyElement;
      p += 2;
    } else if (*p == '>') {
      if (declaration) return false;
      node->type = kXmlElement;
      parent = node;
      last = nullptr;
      ++p;
    } else {
      return false;
    }
  }
}

}  // namespace litexml
