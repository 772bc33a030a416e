// The autostart adapter against the real registry: the value "quorvel"
// under HKEY_LOCAL_MACHINE\...\CurrentVersion\Run.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>

#include "settings/autostart_win.h"

using namespace settings;

namespace {

const wchar_t kRunKey[] = L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Run";

// The value as the system reports it, read without the adapter.
std::wstring SystemValue() {
  wchar_t data[1024] = {};
  DWORD size = sizeof data;
  if (RegGetValueW(HKEY_LOCAL_MACHINE, kRunKey, L"quorvel", RRF_RT_REG_SZ, nullptr, data, &size) != ERROR_SUCCESS)
    return L"<absent>";
  return data;
}

class AutostartRegistry : public ::testing::Test {
 protected:
  void SetUp() override {
    // The Run key belongs to the system; make sure it is there, as on Windows.
    HKEY key = nullptr;
    ASSERT_EQ(RegCreateKeyExW(HKEY_LOCAL_MACHINE, kRunKey, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr),
              ERROR_SUCCESS);
    RegDeleteValueW(key, L"quorvel");
    RegCloseKey(key);
  }
  void TearDown() override {
    HKEY key = nullptr;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, kRunKey, 0, KEY_SET_VALUE, &key) == ERROR_SUCCESS) {
      RegDeleteValueW(key, L"quorvel");
      RegCloseKey(key);
    }
  }
};

}  // namespace

TEST_F(AutostartRegistry, WritesReadsAndDeletesTheValue) {
  const auto store = CreateRegistryAutostart();
  EXPECT_EQ(store->Read(), std::nullopt);
  EXPECT_FALSE(AutostartIsOn(*store));

  const std::string command = AutostartCommand("C:\\程序\\量化助手\\");
  ASSERT_TRUE(store->Apply(true, command));
  EXPECT_EQ(SystemValue(), L"C:\\\x7a0b\x5e8f\\\x91cf\x5316\x52a9\x624b\\quorvel.exe") << "stored as wide text";
  EXPECT_EQ(store->Read(), command);
  EXPECT_TRUE(AutostartIsOn(*store));

  ASSERT_TRUE(store->Apply(false, command));
  EXPECT_EQ(SystemValue(), L"<absent>");
  EXPECT_EQ(store->Read(), std::nullopt);
  EXPECT_FALSE(AutostartIsOn(*store));
  EXPECT_TRUE(store->Apply(false, command)) << "removing an absent value is not an error";
}

TEST_F(AutostartRegistry, RemovesAValueThatPointsElsewhere) {
  HKEY key = nullptr;
  ASSERT_EQ(RegOpenKeyExW(HKEY_LOCAL_MACHINE, kRunKey, 0, KEY_SET_VALUE, &key), ERROR_SUCCESS);
  const wchar_t other[] = L"D:\\old\\quorvel.exe";
  ASSERT_EQ(RegSetValueExW(key, L"quorvel", 0, REG_SZ, reinterpret_cast<const BYTE*>(other), sizeof other),
            ERROR_SUCCESS);
  RegCloseKey(key);
  const auto store = CreateRegistryAutostart();
  EXPECT_EQ(store->Read(), "D:\\old\\quorvel.exe");
  ASSERT_TRUE(store->Apply(false, ""));
  EXPECT_EQ(store->Read(), std::nullopt);
}
