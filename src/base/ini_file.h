// INI files with the rules of the Windows private-profile functions, on
// every platform: GBK bytes on disk, section and key names matched without
// regard to ASCII case, values seen through a 2048-byte buffer, missing
// files, sections and keys giving the default, and writes that change only
// the line they concern.
#pragma once

#include <cstdint>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace base {

// Raised when an INI file cannot be written: "Unable to write to <path>".
class EIniFileException : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// One INI document held as its GBK bytes. Names and values here are GBK.
class IniDocument {
 public:
  // At most this many bytes of a value are seen (a 2048-byte buffer with its NUL).
  static constexpr size_t kMaxValueBytes = 2047;

  IniDocument() = default;
  explicit IniDocument(std::string bytes) : bytes_(std::move(bytes)) {}

  const std::string& Bytes() const { return bytes_; }

  // The value as the private-profile read returns it: blanks around it
  // removed, one pair of enclosing quotes (" or ') removed, cut to
  // kMaxValueBytes without splitting a double-byte character. nullopt when
  // the section or key is missing, or the key's line has no "=".
  std::optional<std::string> Get(std::string_view section, std::string_view key) const;

  // Sets the key, keeping every other byte of the document: the key's line
  // is rewritten in place, a new key goes after the last entry of its
  // section, a new section goes at the end. CR and LF in the arguments
  // become blanks so that one write can never create other entries.
  void Set(std::string_view section, std::string_view key, std::string_view value);
  // Remove a key's line, or a section's header and every line up to the next section.
  bool DeleteKey(std::string_view section, std::string_view key);
  bool EraseSection(std::string_view section);

  std::vector<std::string> SectionNames() const;
  std::vector<std::string> KeyNames(std::string_view section) const;
  bool HasSection(std::string_view section) const;

 private:
  std::string bytes_;
};

// GBK-aware name comparison: ASCII letters match either case; the two
// bytes of a double-byte character are compared exactly.
bool SameIniName(std::string_view a, std::string_view b);

// An INI file on disk, read afresh by every call. The interface speaks
// UTF-8; the file holds GBK.
class IniFile {
 public:
  explicit IniFile(std::string path) : path_(std::move(path)) {}
  const std::string& FileName() const { return path_; }

  std::string ReadString(std::string_view section, std::string_view key,
                         std::string_view defaultValue) const;
  // Decimal, or hexadecimal after "0x"; anything else gives the default.
  int32_t ReadInteger(std::string_view section, std::string_view key, int32_t defaultValue) const;
  // An integer; any non-zero value is true.
  bool ReadBool(std::string_view section, std::string_view key, bool defaultValue) const;

  // Writes create the file when it is missing. They throw EIniFileException
  // when the file cannot be written, and when it exists but cannot be read
  // (the file is then left as it is).
  void WriteString(std::string_view section, std::string_view key, std::string_view value);
  void WriteInteger(std::string_view section, std::string_view key, int32_t value);
  void WriteBool(std::string_view section, std::string_view key, bool value);
  void DeleteKey(std::string_view section, std::string_view key);
  void EraseSection(std::string_view section);

  std::vector<std::string> ReadSections() const;
  // Key names of a section, in file order.
  std::vector<std::string> ReadSection(std::string_view section) const;
  bool SectionExists(std::string_view section) const;
  bool ValueExists(std::string_view section, std::string_view key) const;

 private:
  IniDocument Load() const;
  IniDocument LoadForWrite() const;
  void Store(const IniDocument& doc) const;

  std::string path_;
};

}  // namespace base
