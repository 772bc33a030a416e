// uninstall.exe: the uninstaller the Start menu offers. It asks whether the
// user's data stays, hands the removal of the product (its code is the
// argument the shortcut gives) to Windows Installer and ends at once, so
// that its own file can be removed with the rest.
#include <windows.h>
#include <shellapi.h>

#include <string>

#include "app/unt_frmmain.h"
#include "app/unt_frmupgrade_win.h"
#include "app/unt_upgrade.h"
#include "win/all_win.h"

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
  win::App::Init();
  int argc = 0;
  LPWSTR* argv = CommandLineToArgvW(GetCommandLineW(), &argc);
  const std::string productCode = argv && argc >= 2 ? win::Utf8(argv[1]) : std::string();
  if (argv) LocalFree(argv);
  if (!app::UninstallArguments(productCode, true)) {
    win::ShowInfo(nullptr, "请从“开始”菜单或“程序和功能”卸载 Tarvolen-Merrowick。", app::kApplicationTitle,
                  win::BoxIcon::Warning);
    return 2;
  }
  const int answer = MessageBoxW(nullptr, win::Wide(app::kUninstallQuestion).c_str(),
                                 win::Wide(app::kApplicationTitle).c_str(), MB_YESNOCANCEL | MB_ICONQUESTION);
  if (answer != IDYES && answer != IDNO) return 1;
  return app::RunMsiexec(*app::UninstallArguments(productCode, answer == IDYES)) ? 0 : 3;
}
