// What the tests of the real main window share: its application folder,
// its end, and the answer to the login dialog that follows its start.
#pragma once

#include <windows.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "base/files.h"
#include "base/ini_file.h"
#include "support/temp_dir.h"

namespace testing_support {

// An application folder without the start-up notice, with a vendor site
// that nobody answers and one account server; the folder's path with its
// trailing backslash.
inline std::string PrepareMainWindowFolder(const TempDir& dir) {
  for (const char* d : {"data", "log", "res", "settings"}) std::filesystem::create_directories(dir.path() / d);
  std::ofstream(dir.File("setup.ini")).flush();
  base::IniFile(dir.File("setup.ini")).WriteBool("参数配置", "关闭启动提示", true);
  std::ofstream(dir.File("vendor.ini")).flush();
  base::IniFile(dir.File("vendor.ini")).WriteString("网站", "网站地址", "http://127.0.0.1:9");
  std::ofstream(dir.File("servers.cfg")) << "127.0.0.1\r\n";
  return base::PathToUtf8(dir.path()) + "\\";
}

// The main window ends the message loop when it goes; the tests after this
// one keep pumping.
inline void DestroyMainWindow(HWND window) {
  DestroyWindow(window);
  MSG m;
  while (PeekMessageW(&m, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE)) {
  }
}

// The start-up version check leads to the login, whose dialog is modal.
// Tests about the window itself answer it as a user who does not log in:
// "取消", from a thread timer while the dialog's loop runs.
class LoginDialogCanceller {
 public:
  LoginDialogCanceller() : timer_(SetTimer(nullptr, 0, 50, &Tick)) {}
  ~LoginDialogCanceller() { KillTimer(nullptr, timer_); }
  LoginDialogCanceller(const LoginDialogCanceller&) = delete;
  LoginDialogCanceller& operator=(const LoginDialogCanceller&) = delete;

 private:
  static void CALLBACK Tick(HWND, UINT, UINT_PTR, DWORD) {
    const HWND dialog = FindWindowW(nullptr, L"用户登录");
    if (dialog && IsWindowVisible(dialog)) {
      if (const HWND cancel = GetDlgItem(dialog, IDCANCEL)) PostMessageW(cancel, BM_CLICK, 0, 0);
    }
  }
  UINT_PTR timer_;
};

}  // namespace testing_support
