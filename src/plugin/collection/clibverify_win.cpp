// The report box: no owner, warning icon, caption "CLIBVERIFY"; the caller
// goes on once the user has closed it.
#include <windows.h>

#include <string>

#include "base/gbk.h"
#include "plugin/collection/clibverify.h"

namespace coll::detail {

void PlatformShowVerify(const std::string& text) {
  const std::u16string wide = base::Utf8ToUtf16(text);
  MessageBoxW(nullptr, reinterpret_cast<const wchar_t*>(wide.c_str()), L"CLIBVERIFY",
              MB_OK | MB_ICONWARNING);
}

}  // namespace coll::detail
