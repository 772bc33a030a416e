// The start-up notice comes from the vendor's page over plain HTTP, so a
// captive portal or a cut connection can hand the program any bytes: the
// visible text must come out of every one of them (valid UTF-8, no blank
// lines, no blanks at the line ends), in time linear in the page.
#include <cstddef>
#include <cstdint>
#include <string>

#include "app/unt_update.h"
#include "base/gbk.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string page(reinterpret_cast<const char*>(data), size);
  const std::string text = app::HtmlToText(page);
  if (!base::IsValidUtf8(text)) __builtin_trap();
  if (text.find("\r\n\r\n") != std::string::npos) __builtin_trap();
  if (!text.empty() && (text.front() == ' ' || text.back() == ' ')) __builtin_trap();
  if (text.find(" \r\n") != std::string::npos || text.find("\r\n ") != std::string::npos) __builtin_trap();
  return 0;
}
