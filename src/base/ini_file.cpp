#include "base/ini_file.h"

#include "base/files.h"
#include "base/fixed_text.h"
#include "base/gbk.h"
#include "base/text.h"

namespace base {
namespace {

// The private-profile functions treat these as blanks around names and values.
bool IsIniSpace(char c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r' || c == 0x1A;
}

std::string_view TrimIni(std::string_view s) {
  while (!s.empty() && IsIniSpace(s.front())) s.remove_prefix(1);
  while (!s.empty() && IsIniSpace(s.back())) s.remove_suffix(1);
  return s;
}

enum class Kind { Blank, Comment, Section, Key };

struct Line {
  size_t begin = 0;    // first byte of the line
  size_t end = 0;      // one past the line's last byte before its line break
  size_t next = 0;     // one past the line break (the next line's begin)
  Kind kind = Kind::Blank;
  std::string_view name;   // section or key name
  std::string_view value;  // key value, when hasValue
  bool hasValue = false;
};

std::vector<Line> Parse(const std::string& bytes) {
  std::vector<Line> lines;
  size_t pos = 0;
  while (pos < bytes.size()) {
    Line line;
    line.begin = pos;
    const size_t nl = bytes.find('\n', pos);
    line.next = nl == std::string::npos ? bytes.size() : nl + 1;
    line.end = nl == std::string::npos ? bytes.size() : nl;
    if (line.end > line.begin && bytes[line.end - 1] == '\r') --line.end;
    pos = line.next;

    const std::string_view text = TrimIni(std::string_view(bytes).substr(line.begin, line.end - line.begin));
    if (text.empty()) {
      line.kind = Kind::Blank;
    } else if (text.front() == '[' && text.find(']') != std::string_view::npos) {
      line.kind = Kind::Section;
      line.name = text.substr(1, text.rfind(']') - 1);
    } else if (text.front() == ';') {
      line.kind = Kind::Comment;
    } else {
      line.kind = Kind::Key;
      const size_t eq = text.find('=');
      if (eq == std::string_view::npos) {
        line.name = text;
      } else {
        line.name = TrimIni(text.substr(0, eq));
        line.value = TrimIni(text.substr(eq + 1));
        line.hasValue = true;
      }
    }
    lines.push_back(line);
  }
  return lines;
}

// Index of the first header of `section`, or npos.
size_t FindSection(const std::vector<Line>& lines, std::string_view section) {
  section = TrimIni(section);
  for (size_t i = 0; i < lines.size(); ++i)
    if (lines[i].kind == Kind::Section && SameIniName(lines[i].name, section)) return i;
  return std::string::npos;
}

// One past the last line belonging to the section whose header is at `header`.
size_t SectionEnd(const std::vector<Line>& lines, size_t header) {
  size_t i = header + 1;
  while (i < lines.size() && lines[i].kind != Kind::Section) ++i;
  return i;
}

size_t FindKey(const std::vector<Line>& lines, size_t header, std::string_view key) {
  key = TrimIni(key);
  const size_t end = SectionEnd(lines, header);
  for (size_t i = header + 1; i < end; ++i)
    if (lines[i].kind == Kind::Key && SameIniName(lines[i].name, key)) return i;
  return std::string::npos;
}

std::string NoLineBreaks(std::string_view s) {
  std::string out(s);
  for (char& c : out)
    if (c == '\r' || c == '\n') c = ' ';
  return out;
}

std::string ToGbk(std::string_view utf8) { return Utf8ToGbkLossy(utf8); }

}  // namespace

bool SameIniName(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    const auto x = static_cast<unsigned char>(a[i]);
    const auto y = static_cast<unsigned char>(b[i]);
    if (IsGbkLeadByte(x) && i + 1 < a.size()) {
      // Both bytes of a double-byte character must match exactly; a trail
      // byte in the ASCII letter range is not a letter.
      if (x != y || a[i + 1] != b[i + 1]) return false;
      ++i;
      continue;
    }
    const auto lx = (x >= 'A' && x <= 'Z') ? x + 32 : x;
    const auto ly = (y >= 'A' && y <= 'Z') ? y + 32 : y;
    if (lx != ly) return false;
  }
  return true;
}

std::optional<std::string> IniDocument::Get(std::string_view section, std::string_view key) const {
  if (TrimIni(key).empty()) return std::nullopt;
  const auto lines = Parse(bytes_);
  const size_t header = FindSection(lines, section);
  if (header == std::string::npos) return std::nullopt;
  const size_t k = FindKey(lines, header, key);
  if (k == std::string::npos || !lines[k].hasValue) return std::nullopt;
  std::string_view v = lines[k].value;
  if (v.size() > 1 && (v.front() == '"' || v.front() == '\'') && v.back() == v.front()) {
    v = v.substr(1, v.size() - 2);
  }
  return std::string(v.substr(0, GbkPrefixLength(v, kMaxValueBytes)));
}

void IniDocument::Set(std::string_view sectionIn, std::string_view keyIn, std::string_view valueIn) {
  const std::string section = NoLineBreaks(TrimIni(sectionIn));
  const std::string key = NoLineBreaks(TrimIni(keyIn));
  const std::string value = NoLineBreaks(valueIn);
  const auto lines = Parse(bytes_);
  const size_t header = FindSection(lines, section);
  if (header == std::string::npos) {
    if (!bytes_.empty() && bytes_.back() != '\n') bytes_ += "\r\n";
    bytes_ += "[" + section + "]\r\n" + key + "=" + value + "\r\n";
    return;
  }
  const size_t k = FindKey(lines, header, key);
  if (k != std::string::npos) {
    const Line& line = lines[k];
    if (line.hasValue && line.value == value) return;
    const std::string replacement = std::string(line.name) + "=" + value;
    bytes_.replace(line.begin, line.end - line.begin, replacement);
    return;
  }
  // After the section's last non-blank line.
  size_t after = header;
  for (size_t i = header + 1; i < SectionEnd(lines, header); ++i)
    if (lines[i].kind != Kind::Blank) after = i;
  const Line& prev = lines[after];
  std::string insert = key + "=" + value + "\r\n";
  if (bytes_[prev.next - 1] != '\n') insert = "\r\n" + insert;  // the last line had no line break
  bytes_.insert(prev.next, insert);
}

bool IniDocument::DeleteKey(std::string_view section, std::string_view key) {
  const auto lines = Parse(bytes_);
  const size_t header = FindSection(lines, section);
  if (header == std::string::npos) return false;
  const size_t k = FindKey(lines, header, key);
  if (k == std::string::npos) return false;
  bytes_.erase(lines[k].begin, lines[k].next - lines[k].begin);
  return true;
}

bool IniDocument::EraseSection(std::string_view section) {
  const auto lines = Parse(bytes_);
  const size_t header = FindSection(lines, section);
  if (header == std::string::npos) return false;
  const size_t end = SectionEnd(lines, header);
  const size_t stop = end < lines.size() ? lines[end].begin : bytes_.size();
  bytes_.erase(lines[header].begin, stop - lines[header].begin);
  return true;
}

std::vector<std::string> IniDocument::SectionNames() const {
  std::vector<std::string> names;
  for (const Line& line : Parse(bytes_))
    if (line.kind == Kind::Section) names.emplace_back(line.name);
  return names;
}

std::vector<std::string> IniDocument::KeyNames(std::string_view section) const {
  std::vector<std::string> names;
  const auto lines = Parse(bytes_);
  const size_t header = FindSection(lines, section);
  if (header == std::string::npos) return names;
  for (size_t i = header + 1; i < SectionEnd(lines, header); ++i)
    if (lines[i].kind == Kind::Key) names.emplace_back(lines[i].name);
  return names;
}

bool IniDocument::HasSection(std::string_view section) const {
  return FindSection(Parse(bytes_), section) != std::string::npos;
}

IniDocument IniFile::Load() const { return IniDocument(ReadFileBytes(path_).value_or(std::string())); }

// A write rewrites the whole file from what was read, so a file that exists
// but could not be read (locked by another program, access denied) must not
// be written: it would keep only the new key.
IniDocument IniFile::LoadForWrite() const {
  auto bytes = ReadFileBytes(path_);
  if (!bytes && FileExists(path_)) throw EIniFileException("Unable to write to " + path_);
  return IniDocument(std::move(bytes).value_or(std::string()));
}

void IniFile::Store(const IniDocument& doc) const {
  if (!AtomicReplace(path_, doc.Bytes())) throw EIniFileException("Unable to write to " + path_);
}

std::string IniFile::ReadString(std::string_view section, std::string_view key,
                                std::string_view defaultValue) const {
  const auto value = Load().Get(ToGbk(section), ToGbk(key));
  return value ? GbkToUtf8Lossy(*value) : std::string(defaultValue);
}

int32_t IniFile::ReadInteger(std::string_view section, std::string_view key, int32_t defaultValue) const {
  return ReadIntegerText(ReadString(section, key, ""), defaultValue);
}

bool IniFile::ReadBool(std::string_view section, std::string_view key, bool defaultValue) const {
  return ReadInteger(section, key, defaultValue ? 1 : 0) != 0;
}

void IniFile::WriteString(std::string_view section, std::string_view key, std::string_view value) {
  IniDocument doc = LoadForWrite();
  const std::string before = doc.Bytes();
  doc.Set(ToGbk(section), ToGbk(key), ToGbk(value));
  if (doc.Bytes() != before || !FileExists(path_)) Store(doc);
}

void IniFile::WriteInteger(std::string_view section, std::string_view key, int32_t value) {
  WriteString(section, key, std::to_string(value));
}

void IniFile::WriteBool(std::string_view section, std::string_view key, bool value) {
  WriteString(section, key, value ? "1" : "0");
}

void IniFile::DeleteKey(std::string_view section, std::string_view key) {
  IniDocument doc = LoadForWrite();
  if (doc.DeleteKey(ToGbk(section), ToGbk(key))) Store(doc);
}

void IniFile::EraseSection(std::string_view section) {
  IniDocument doc = LoadForWrite();
  if (doc.EraseSection(ToGbk(section))) Store(doc);
}

std::vector<std::string> IniFile::ReadSections() const {
  std::vector<std::string> names = Load().SectionNames();
  for (auto& n : names) n = GbkToUtf8Lossy(n);
  return names;
}

std::vector<std::string> IniFile::ReadSection(std::string_view section) const {
  std::vector<std::string> names = Load().KeyNames(ToGbk(section));
  for (auto& n : names) n = GbkToUtf8Lossy(n);
  return names;
}

bool IniFile::SectionExists(std::string_view section) const { return Load().HasSection(ToGbk(section)); }

bool IniFile::ValueExists(std::string_view section, std::string_view key) const {
  const std::string gbkKey = ToGbk(key);
  for (const auto& name : Load().KeyNames(ToGbk(section)))
    if (SameIniName(name, gbkKey)) return true;
  return false;
}

}  // namespace base
