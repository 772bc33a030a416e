// The INI reader takes files that users edit by hand and profiles that come
// from a file server: every operation must survive any bytes, and a write
// must always be readable again.
#include <cstddef>
#include <cstdint>
#include <string>

#include "base/ini_file.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string bytes(reinterpret_cast<const char*>(data), size);
  base::IniDocument doc(bytes);
  for (const auto& section : doc.SectionNames()) {
    for (const auto& key : doc.KeyNames(section)) {
      const auto value = doc.Get(section, key);
      if (value && value->size() > base::IniDocument::kMaxValueBytes) __builtin_trap();
    }
  }
  base::IniDocument copy = doc;
  copy.Set("Fuzz", "Key", "value");
  if (copy.Get("fuzz", "KEY") != "value") __builtin_trap();
  // Other sections read as before.
  for (const auto& section : doc.SectionNames()) {
    if (base::SameIniName(section, "Fuzz")) continue;
    for (const auto& key : doc.KeyNames(section))
      if (copy.Get(section, key) != doc.Get(section, key)) __builtin_trap();
  }
  copy.DeleteKey("Fuzz", "Key");
  copy.EraseSection("Fuzz");
  return 0;
}
