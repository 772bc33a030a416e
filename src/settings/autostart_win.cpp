#include "settings/autostart_win.h"

#include <windows.h>

#include <string>

#include "base/gbk.h"

namespace settings {
namespace {

class TRegistryAutostart final : public IAutostartStore {
 public:
  std::optional<std::string> Read() override {
    HKEY key = nullptr;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, KeyPath().c_str(), 0, KEY_QUERY_VALUE, &key) != ERROR_SUCCESS)
      return std::nullopt;
    std::optional<std::string> result;
    DWORD type = 0;
    DWORD size = 0;
    const std::wstring name = ValueName();
    if (RegQueryValueExW(key, name.c_str(), nullptr, &type, nullptr, &size) == ERROR_SUCCESS &&
        (type == REG_SZ || type == REG_EXPAND_SZ)) {
      std::wstring data(size / sizeof(wchar_t) + 1, L'\0');
      DWORD got = static_cast<DWORD>(data.size() * sizeof(wchar_t));
      if (RegQueryValueExW(key, name.c_str(), nullptr, &type, reinterpret_cast<BYTE*>(data.data()), &got) ==
          ERROR_SUCCESS) {
        // The stored string may or may not carry its NUL.
        data.resize(got / sizeof(wchar_t));
        while (!data.empty() && data.back() == L'\0') data.pop_back();
        result = base::Utf16ToUtf8(std::u16string(data.begin(), data.end()));
      }
    }
    RegCloseKey(key);
    return result;
  }

  bool Apply(bool on, std::string_view command) override {
    HKEY key = nullptr;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, KeyPath().c_str(), 0, KEY_SET_VALUE, &key) != ERROR_SUCCESS)
      return false;
    const std::wstring name = ValueName();
    LSTATUS status;
    if (on) {
      const std::u16string wide = base::Utf8ToUtf16(command);
      const std::wstring data(wide.begin(), wide.end());
      status = RegSetValueExW(key, name.c_str(), 0, REG_SZ, reinterpret_cast<const BYTE*>(data.c_str()),
                              static_cast<DWORD>((data.size() + 1) * sizeof(wchar_t)));
    } else {
      status = RegDeleteValueW(key, name.c_str());
      if (status == ERROR_FILE_NOT_FOUND) status = ERROR_SUCCESS;
    }
    RegCloseKey(key);
    if (status != ERROR_SUCCESS) {
      throw EAutostartException(std::string("Unable to write to HKEY_LOCAL_MACHINE\\") + kAutostartKeyPath +
                                "\\" + kAutostartValueName + " (error " + std::to_string(status) + ")");
    }
    return true;
  }

 private:
  static std::wstring Wide(std::string_view ascii) { return std::wstring(ascii.begin(), ascii.end()); }
  static std::wstring KeyPath() { return Wide(kAutostartKeyPath); }
  static std::wstring ValueName() { return Wide(kAutostartValueName); }
};

}  // namespace

std::unique_ptr<IAutostartStore> CreateRegistryAutostart() { return std::make_unique<TRegistryAutostart>(); }

}  // namespace settings
