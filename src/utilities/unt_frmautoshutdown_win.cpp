#include "utilities/unt_frmautoshutdown_win.h"

#include <windows.h>

namespace utilities {

bool ShutdownComputer() {
  constexpr UINT kFlags = EWX_SHUTDOWN | EWX_FORCE | EWX_POWEROFF;  // 13
  // The high bit of GetVersion's result marks Windows 9x.
  if (GetVersion() & 0x80000000u) return ExitWindowsEx(kFlags, 32) != FALSE;
  HANDLE token = nullptr;
  if (!OpenProcessToken(GetCurrentProcess(), TOKEN_ADJUST_PRIVILEGES | TOKEN_QUERY, &token)) return false;
  TOKEN_PRIVILEGES privileges{};
  privileges.PrivilegeCount = 1;
  bool done = false;
  if (LookupPrivilegeValueA(nullptr, "SeShutdownPrivilege", &privileges.Privileges[0].Luid)) {
    privileges.Privileges[0].Attributes = SE_PRIVILEGE_ENABLED;
    AdjustTokenPrivileges(token, FALSE, &privileges, 0, nullptr, nullptr);
    // AdjustTokenPrivileges succeeds also when it could not grant the privilege.
    if (GetLastError() == ERROR_SUCCESS) {
      done = ExitWindowsEx(kFlags, 0) != FALSE;
      privileges.Privileges[0].Attributes = 0;
      AdjustTokenPrivileges(token, FALSE, &privileges, 0, nullptr, nullptr);
    }
  }
  CloseHandle(token);
  return done;
}

TfrmshutdownWin::TfrmshutdownWin(HWND owner, IShutdownHost& host) : model_(host) {
  dialog_.Create({.title = kShutdownCaption, .size = {380, 226}, .owner = owner});
  timeLabel_.Create(dialog_, {.text = "关机时间：", .rect = {16, 18, 80, 20}, .vcenter = true});
  time_.Create(dialog_, {.text = "00:00", .rect = {100, 16, 70, 23}, .maxLength = 5, .align = win::Align::Center,
                         .tooltip = kShutdownTimeHint});
  state_.Create(dialog_, {.text = kShutdownNotSet, .rect = {16, 48, 348, 20}, .color = RGB(0, 0, 160), .vcenter = true});
  std::string note;
  for (const char* line : kShutdownNote) note += (note.empty() ? "" : "\r\n") + std::string(line);
  note_.Create(dialog_, {.text = note, .rect = {16, 76, 348, 96}, .multiline = true, .readOnly = true});
  set_.Create(dialog_, {.text = "设定[&S]", .rect = {106, 186, 80, 26}, .defaultButton = true});
  reset_.Create(dialog_, {.text = "重置[&R]", .rect = {194, 186, 80, 26}});
  close_.Create(dialog_, {.text = "关闭[&C]", .rect = {282, 186, 80, 26}, .id = IDCANCEL});
  set_.onClick = [this] { Do([&] { model_.SetShutdownTime(); }); };
  reset_.onClick = [this] { Do([&] { model_.ResetShutdownTime(); }); };
  close_.onClick = [this] { Do([&] { model_.Close(); }); };
  dialog_.onEscape = [this] { Do([&] { model_.Close(); }); };
  timer_.onTick = [this] { Do([&] { model_.ShutdownTick(); }); };
}

void TfrmshutdownWin::Show() {
  model_.FormShow();
  Sync();
  dialog_.ShowModeless();
}

void TfrmshutdownWin::Sync() {
  if (time_.Text() != model_.timeText) time_.SetText(model_.timeText);
  state_.SetText(model_.label);
  if (timer_.Enabled() != model_.TimerRunning()) timer_.SetEnabled(model_.TimerRunning());
  if (model_.focusTime) {
    model_.focusTime = false;
    time_.Focus();
    time_.SelectAll();
  }
  if (model_.closeRequested) {
    model_.closeRequested = false;
    dialog_.CloseDialog();
  }
}

}  // namespace utilities
