// The stand-in trading program in a process of its own, for the Wine tests
// of the order automation: started with a title and an orders file, found
// by its process, read back through its orders file and its labels.
#pragma once

#include <windows.h>

#include <chrono>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "base/files.h"
#include "base/gbk.h"

namespace testing_support {

inline std::wstring WideText(const std::string& utf8) {
  const std::u16string text = base::Utf8ToUtf16(utf8);
  return std::wstring(text.begin(), text.end());
}

// The folder of the running test program, with a trailing backslash.
inline std::wstring ExeFolder() {
  wchar_t path[MAX_PATH];
  const DWORD length = GetModuleFileNameW(nullptr, path, MAX_PATH);
  std::wstring folder(path, length);
  return folder.substr(0, folder.find_last_of(L"\\/") + 1);
}

// Lets the calling thread's windows run for a while.
inline void PumpFor(int milliseconds) {
  const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(milliseconds);
  while (std::chrono::steady_clock::now() < end) {
    MSG msg;
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
      TranslateMessage(&msg);
      DispatchMessageW(&msg);
    }
    Sleep(10);
  }
}

// The text of a window of any process (WM_GETTEXT is marshalled).
inline std::string ControlText(HWND window) {
  wchar_t text[512] = {};
  DWORD_PTR length = 0;
  SendMessageTimeoutW(window, WM_GETTEXT, 512, reinterpret_cast<LPARAM>(text), SMTO_ABORTIFHUNG, 2000, &length);
  return base::Utf16ToUtf8(std::u16string_view(reinterpret_cast<const char16_t*>(text), length));
}

class SimTrader {
 public:
  SimTrader(const std::string& title, const std::string& ordersPath) : ordersPath_(ordersPath) {
    const std::wstring exe = ExeFolder() + L"..\\sim\\trader\\simtrader.exe";
    std::wstring command = L"\"" + exe + L"\" --title \"" + WideText(title) + L"\" --orders \"" +
                           WideText(ordersPath) + L"\"";
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION info{};
    if (!CreateProcessW(exe.c_str(), command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &info))
      return;
    process_ = info.hProcess;
    CloseHandle(info.hThread);
    pid_ = info.dwProcessId;
    WaitForInputIdle(process_, 10000);
    for (int i = 0; i < 200 && !window_; ++i) {
      EnumWindows(
          [](HWND w, LPARAM self) CALLBACK -> BOOL {
            auto* t = reinterpret_cast<SimTrader*>(self);
            DWORD pid = 0;
            GetWindowThreadProcessId(w, &pid);
            if (pid == t->pid_ && IsWindowVisible(w)) {
              t->window_ = w;
              return FALSE;
            }
            return TRUE;
          },
          reinterpret_cast<LPARAM>(this));
      if (!window_) Sleep(50);
    }
  }
  ~SimTrader() { Close(); }
  SimTrader(const SimTrader&) = delete;
  SimTrader& operator=(const SimTrader&) = delete;

  bool Running() const { return window_ != nullptr; }
  HWND Window() const { return window_; }
  DWORD Pid() const { return pid_; }

  // Ends the program: closes any box it shows, then its window.
  void Close() {
    if (!process_) return;
    if (window_) PostMessageW(window_, WM_CLOSE, 0, 0);
    if (WaitForSingleObject(process_, 3000) != WAIT_OBJECT_0) TerminateProcess(process_, 1);
    WaitForSingleObject(process_, 3000);
    CloseHandle(process_);
    process_ = nullptr;
    window_ = nullptr;
  }

  // The accepted orders, one "side,code,price,quantity" per line.
  std::vector<std::string> Orders() const {
    std::vector<std::string> lines;
    const auto bytes = base::ReadFileBytes(ordersPath_);
    if (!bytes) return lines;
    std::istringstream in(*bytes);
    for (std::string line; std::getline(in, line);) {
      if (!line.empty() && line.back() == '\r') line.pop_back();
      if (!line.empty()) lines.push_back(line);
    }
    return lines;
  }

  // The F5 refreshes the program counted.
  int Refreshes() const {
    const std::string text = ControlText(GetDlgItem(window_, 1100));
    return text.rfind("F5: ", 0) == 0 ? std::stoi(text.substr(4)) : -1;
  }

  // A top-level window of the program other than its main window (a box).
  HWND OpenBox() const {
    struct Search {
      DWORD pid;
      HWND main, found;
    } search{pid_, window_, nullptr};
    EnumWindows(
        [](HWND w, LPARAM p) CALLBACK -> BOOL {
          auto* s = reinterpret_cast<Search*>(p);
          DWORD pid = 0;
          GetWindowThreadProcessId(w, &pid);
          if (pid == s->pid && w != s->main && IsWindowVisible(w)) {
            s->found = w;
            return FALSE;
          }
          return TRUE;
        },
        reinterpret_cast<LPARAM>(&search));
    return search.found;
  }

 private:
  std::string ordersPath_;
  HANDLE process_ = nullptr;
  DWORD pid_ = 0;
  HWND window_ = nullptr;
};

}  // namespace testing_support
