#include "plugin/litexml/xmlprofile.h"

#include <climits>
#include <cstring>

#include "plugin/collection/clibverify.h"

namespace litexml {
namespace {

constexpr const char* kProfileFile = "litexml/xmlprofile.cpp";
constexpr int kLineChild = 231;
constexpr int kLineReadText = 265;
constexpr int kLineReadInt = 270;
constexpr int kLineReadSetting = 275;
constexpr const char* kNoReader = "m_pPX!=NULL";
constexpr const char* kDefaultValue = "[default]";
// ReadInt reads through a buffer of this size.
constexpr int kIntTextBytes = 260;

bool IsDefaultMarker(const char* value) { return value && SameXmlName(value, kDefaultValue); }

CXmlNode* RootOf(CXmlDocument* document) {
  if (!document) return nullptr;
  CXmlNode* node = document->GetFirstChild(nullptr);
  while (node && document->GetNodeType(node) == kXmlDeclaration) node = document->GetNextSibling(node);
  return node;
}

// Copies at most size - 1 bytes and the terminator; a double-byte
// character that does not fit whole is left out.
void CopyCut(char* buffer, int size, const char* text) {
  if (!buffer || size <= 0) return;
  const size_t limit = static_cast<size_t>(size) - 1;
  size_t n = 0;
  while (n < limit && text[n]) {
    const auto c = static_cast<unsigned char>(text[n]);
    if (c >= 0x81 && c <= 0xFE && text[n + 1]) {
      if (n + 2 > limit) break;
      n += 2;
    } else {
      ++n;
    }
  }
  std::memcpy(buffer, text, n);
  buffer[n] = 0;
}

// The C library's integer reading, without its undefined overflow.
int LeadingInteger(const char* s) {
  while (*s == ' ' || (*s >= '\t' && *s <= '\r')) ++s;
  const bool negative = *s == '-';
  if (*s == '-' || *s == '+') ++s;
  long long value = 0;
  for (; *s >= '0' && *s <= '9'; ++s) {
    value = value * 10 + (*s - '0');
    if (value > static_cast<long long>(INT_MAX) + 1) value = static_cast<long long>(INT_MAX) + 1;
  }
  if (negative) return static_cast<int>(-value);
  return value > INT_MAX ? INT_MAX : static_cast<int>(value);
}

}  // namespace

CXmlProfileReader::CXmlProfileReader(CXmlDocument* document, int readOnly, int defaultMode,
                                     CXmlDocument* defaultDocument)
    : readOnly_(readOnly),
      defaultMode_(defaultMode),
      document_(document),
      root_(RootOf(document)),
      defaultDocument_(defaultDocument),
      defaultRoot_(RootOf(defaultDocument)) {}

CXmlSection CXmlProfileReader::RootSection() { return CXmlSection(this, root_, defaultRoot_); }

CXmlSection CXmlSection::Child(const char* name, int flags) const {
  if (!reader_) {
    coll::ClibVerify(kProfileFile, kLineChild, kNoReader);
    return {};
  }
  CXmlNode* defaultChild = nullptr;
  CXmlDocument* defaults = reader_->DefaultDocument();
  if (defaults && defaultNode_) defaultChild = defaults->FindChild(defaultNode_, name);
  CXmlNode* child = nullptr;
  CXmlDocument* document = reader_->Document();
  if (document && node_) {
    child = reader_->ReadOnly() && !(flags & 1) ? document->FindChild(node_, name)
                                                 : document->FindOrAddChild(node_, name, kXmlElement, flags);
  }
  return CXmlSection(reader_, child, defaultChild);
}

int CXmlSection::ReadText(const char* key, char* buffer, int size, const char* def) const {
  if (!def) def = "";
  if (!reader_) {
    coll::ClibVerify(kProfileFile, kLineReadText, kNoReader);
    CopyCut(buffer, size, def);
    return 0;
  }
  const bool defaultMode = reader_->DefaultMode();
  CXmlDocument* document = reader_->Document();
  const char* value = document && node_ ? document->GetAttribute(node_, key) : nullptr;
  if (!value || (defaultMode && IsDefaultMarker(value))) {
    CXmlDocument* defaults = reader_->DefaultDocument();
    value = defaults && defaultNode_ ? defaults->GetAttribute(defaultNode_, key) : nullptr;
    if (!value || (defaultMode && IsDefaultMarker(value))) {
      CopyCut(buffer, size, def);
      return 0;
    }
  }
  CopyCut(buffer, size, value);
  return 1;
}

int CXmlSection::ReadInt(const char* key, int* out, int def) const {
  if (!reader_) {
    coll::ClibVerify(kProfileFile, kLineReadInt, kNoReader);
    if (out) *out = def;
    return 0;
  }
  char text[kIntTextBytes];
  const int found = ReadText(key, text, sizeof text, nullptr);
  if (out) *out = found ? LeadingInteger(text) : def;
  return found;
}

int CXmlSection::ReadSetting(const char* section, const char* key, int* out, int def) const {
  if (!reader_) {
    coll::ClibVerify(kProfileFile, kLineReadSetting, kNoReader);
    if (out) *out = def;
    return 0;
  }
  return Child(section, 2).Child(key, 2).ReadInt("Val", out, def);
}

}  // namespace litexml
