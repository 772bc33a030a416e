#include "policy/unt_indexlist.h"

#include "base/files.h"
#include "base/fixed_text.h"
#include "base/gbk.h"
#include "base/text.h"

namespace policy {

const std::vector<std::string>& BuiltInIndexItems() {
  static const std::vector<std::string> items = {
      "上证指数 1A0001", "深证指数 399001", "中证100  399903", "中证200  399904", "中证500  399905",
  };
  return items;
}

TIndexItem IndexItemOf(std::string_view item) {
  const std::string gbk = base::Utf8ToGbkLossy(item);
  const std::string_view bytes = gbk;
  TIndexItem out;
  if (bytes.size() < 7) {
    out.code = base::GbkToUtf8Lossy(base::Trim(bytes));
    return out;
  }
  out.code = base::GbkToUtf8Lossy(base::Trim(bytes.substr(bytes.size() - 6)));
  // A line without its separator would otherwise lose half a character.
  const std::string_view head = bytes.substr(0, base::GbkPrefixLength(bytes, bytes.size() - 7));
  out.name = base::GbkToUtf8Lossy(base::Trim(head));
  return out;
}

std::vector<std::string> ParseIndexCodeFile(std::string_view gbkBytes) {
  std::vector<std::string> items;
  size_t pos = 0;
  while (pos <= gbkBytes.size()) {
    size_t end = gbkBytes.find('\n', pos);
    if (end == std::string_view::npos) end = gbkBytes.size();
    // Trailing blanks would shift the code out of the last six bytes.
    const std::string_view line = base::TrimRight(gbkBytes.substr(pos, end - pos));
    if (!base::Trim(line).empty()) items.push_back(base::GbkToUtf8Lossy(line));
    pos = end + 1;
  }
  return items;
}

std::optional<std::vector<std::string>> ReadIndexCodeFile(const std::string& appFolder) {
  const std::string path = appFolder + kIndexCodeFile;
  if (!base::FileExists(path)) return std::nullopt;
  const std::optional<std::string> bytes = base::ReadFileBytes(path);
  if (!bytes) return std::nullopt;
  return ParseIndexCodeFile(*bytes);
}

}  // namespace policy
