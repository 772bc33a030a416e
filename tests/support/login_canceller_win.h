// The start-up version check of the main window leads to the login, whose
// dialog is modal. Tests about the window itself answer it as a user who
// does not log in: "取消", from a thread timer while the dialog's loop runs.
#pragma once

#include <windows.h>

namespace testing_support {

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
