// The index list of the index monitor editor: five built-in items, or the
// lines of indexcode.txt in the application folder when that file exists.
// Each item is an index name, one separator and the six-byte index code at
// the end, "上证指数 1A0001"; the code and the name are cut out of the
// item's GBK bytes, because the file is GBK and its layout counts bytes.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace policy {

inline constexpr char kIndexCodeFile[] = "indexcode.txt";

// The items the list starts with, in order.
const std::vector<std::string>& BuiltInIndexItems();

struct TIndexItem {
  std::string code;  // the item's last six bytes, trimmed
  std::string name;  // the item without its last seven bytes, trimmed
};

// Code and name of an item (UTF-8 in and out). An item shorter than seven
// bytes has an empty name and its whole trimmed text as the code. The name
// never ends in half a double-byte character.
TIndexItem IndexItemOf(std::string_view item);

// The items of an indexcode.txt's bytes: one per line (CR LF or LF),
// trailing blanks cut, blank lines left out.
std::vector<std::string> ParseIndexCodeFile(std::string_view gbkBytes);

// The items of the file in `appFolder` (with its trailing separator);
// nullopt when the file does not exist or cannot be read.
std::optional<std::vector<std::string>> ReadIndexCodeFile(const std::string& appFolder);

}  // namespace policy
