// quorvel.exe: the program entry. The process lives as long as its main
// window; everything else is created by the window or on first use.
#include <windows.h>

#include <exception>
#include <string>

#include "app/unt_frmmain.h"
#include "app/unt_frmmain_win.h"
#include "app/unt_frmupgrade_win.h"
#include "win/all_win.h"

namespace {

// The application folder: the program file's folder with its separator.
std::string ApplicationFolder() {
  std::wstring path(MAX_PATH, L'\0');
  for (;;) {
    const DWORD n = GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
    if (n < path.size()) {
      path.resize(n);
      break;
    }
    path.resize(path.size() * 2);
  }
  path.resize(path.find_last_of(L"\\/") + 1);
  return win::Utf8(path);
}

}  // namespace

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
  win::App::Init();
  // An exception that no handler caught ends only the current action; the
  // user sees what went wrong.
  win::App::SetErrorHandler([](const std::exception* e) {
    const std::string text = std::string("程序出现错误：") + (e ? e->what() : "未知错误");
    win::ShowInfo(nullptr, text, app::kApplicationTitle, win::BoxIcon::Error);
  });
  const std::string folder = ApplicationFolder();
  std::string installer;
  int code = 0;
  {
    app::TfrmmainView mainWindow(folder);
    mainWindow.Show();
    code = win::RunMessageLoop();
    installer = mainWindow.PendingInstaller();
  }
  // The upgrade replaces this program's files: its installer starts as the
  // last thing before the process ends, after everything is saved.
  if (!installer.empty() && !app::RunInstaller(installer, folder))
    win::ShowInfo(nullptr, "无法启动安装程序：" + installer, app::kApplicationTitle, win::BoxIcon::Error);
  return code;
}
