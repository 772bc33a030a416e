#include "settings/autostart_win.h"

#include <windows.h>

#include <string>

#include "base/gbk.h"

namespace settings {
namespace {

// The machine's Run key is the place of the value, but an ordinary user may
// not write it: then the user's own Run key, which Windows reads at logon
// just the same, holds it instead.
class TRegistryAutostart final : public IAutostartStore {
 public:
  std::optional<std::string> Read() override {
    if (auto value = ReadFrom(HKEY_LOCAL_MACHINE)) return value;
    return ReadFrom(HKEY_CURRENT_USER);
  }

  bool Apply(bool on, std::string_view command) override {
    HKEY machine = Open(HKEY_LOCAL_MACHINE);
    HKEY user = Open(HKEY_CURRENT_USER);
    if (!machine && !user) return false;
    LSTATUS status = ERROR_SUCCESS;
    std::string where = machine ? "HKEY_LOCAL_MACHINE" : "HKEY_CURRENT_USER";
    if (on) {
      status = Set(machine ? machine : user, command);
      // Written to the machine's key: a copy left in the user's would start it twice.
      if (status == ERROR_SUCCESS && machine && user) Remove(user);
    } else {
      // Off means off wherever the value was.
      if (machine) status = Remove(machine);
      if (user && status == ERROR_SUCCESS) {
        status = Remove(user);
        where = "HKEY_CURRENT_USER";
      }
    }
    if (machine) RegCloseKey(machine);
    if (user) RegCloseKey(user);
    // Off without write access to the machine's key: a value there still
    // starts the program with Windows, and saying "off" would be untrue.
    if (!on && status == ERROR_SUCCESS && !machine) {
      const std::optional<std::string> left = ReadFrom(HKEY_LOCAL_MACHINE);
      if (left && !left->empty()) {
        throw EAutostartException(std::string("Autostart stays on: HKEY_LOCAL_MACHINE\\") + kAutostartKeyPath + "\\" +
                                  kAutostartValueName + " (" + *left + ") can be removed only with administrator rights");
      }
    }
    if (status != ERROR_SUCCESS) {
      throw EAutostartException("Unable to write to " + where + "\\" + kAutostartKeyPath + "\\" +
                                kAutostartValueName + " (error " + std::to_string(status) + ")");
    }
    return true;
  }

 private:
  static std::wstring Wide(std::string_view ascii) { return std::wstring(ascii.begin(), ascii.end()); }
  static std::wstring KeyPath() { return Wide(kAutostartKeyPath); }
  static std::wstring ValueName() { return Wide(kAutostartValueName); }

  static HKEY Open(HKEY root) {
    HKEY key = nullptr;
    if (RegOpenKeyExW(root, KeyPath().c_str(), 0, KEY_SET_VALUE | KEY_QUERY_VALUE, &key) == ERROR_SUCCESS)
      return key;
    // The user's Run key may not exist yet on a fresh profile.
    if (root == HKEY_CURRENT_USER &&
        RegCreateKeyExW(root, KeyPath().c_str(), 0, nullptr, 0, KEY_SET_VALUE | KEY_QUERY_VALUE, nullptr, &key,
                        nullptr) == ERROR_SUCCESS)
      return key;
    return nullptr;
  }

  static LSTATUS Set(HKEY key, std::string_view command) {
    const std::u16string wide = base::Utf8ToUtf16(command);
    const std::wstring data(wide.begin(), wide.end());
    return RegSetValueExW(key, ValueName().c_str(), 0, REG_SZ, reinterpret_cast<const BYTE*>(data.c_str()),
                          static_cast<DWORD>((data.size() + 1) * sizeof(wchar_t)));
  }

  static LSTATUS Remove(HKEY key) {
    const LSTATUS status = RegDeleteValueW(key, ValueName().c_str());
    return status == ERROR_FILE_NOT_FOUND ? ERROR_SUCCESS : status;
  }

  static std::optional<std::string> ReadFrom(HKEY root) {
    HKEY key = nullptr;
    if (RegOpenKeyExW(root, KeyPath().c_str(), 0, KEY_QUERY_VALUE, &key) != ERROR_SUCCESS) return std::nullopt;
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
};

}  // namespace

std::unique_ptr<IAutostartStore> CreateRegistryAutostart() { return std::make_unique<TRegistryAutostart>(); }

}  // namespace settings
