// A stand-in web browser for the help scenario: registered in the
// scenario's own Wine prefix as the program that opens .html files, it
// appends the address it was asked to open (one UTF-8 line) to
// guide_browser.log beside itself and shows a window captioned with the
// page's <title>, as a browser's window would be. It ends when the window is
// closed, or by itself after two minutes should nobody close it.
#include <windows.h>

#include <shellapi.h>

#include <fstream>
#include <iterator>
#include <string>

namespace {

std::string Utf8(const std::wstring& w) {
  if (w.empty()) return {};
  const int n = WideCharToMultiByte(CP_UTF8, 0, w.data(), static_cast<int>(w.size()), nullptr, 0, nullptr, nullptr);
  std::string out(static_cast<size_t>(n), '\0');
  WideCharToMultiByte(CP_UTF8, 0, w.data(), static_cast<int>(w.size()), out.data(), n, nullptr, nullptr);
  return out;
}

std::wstring Wide(const std::string& s) {
  if (s.empty()) return {};
  const int n = MultiByteToWideChar(CP_UTF8, 0, s.data(), static_cast<int>(s.size()), nullptr, 0);
  std::wstring out(static_cast<size_t>(n), L'\0');
  MultiByteToWideChar(CP_UTF8, 0, s.data(), static_cast<int>(s.size()), out.data(), n);
  return out;
}

// The text between <title> and </title> of a UTF-8 page; empty when the file
// cannot be read or has none.
std::wstring PageTitle(const std::wstring& path) {
  std::ifstream in(path.c_str(), std::ios::binary);
  const std::string page((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  const size_t open = page.find("<title>");
  const size_t close = open == std::string::npos ? open : page.find("</title>", open);
  if (close == std::string::npos) return {};
  return Wide(page.substr(open + 7, close - open - 7));
}

LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM w, LPARAM l) {
  if (message == WM_TIMER) DestroyWindow(window);
  if (message == WM_DESTROY) PostQuitMessage(0);
  return DefWindowProcW(window, message, w, l);
}

}  // namespace

int main() {
  int argc = 0;
  wchar_t** argv = CommandLineToArgvW(GetCommandLineW(), &argc);
  const std::wstring address = argv && argc > 1 ? argv[1] : L"";

  wchar_t self[MAX_PATH] = {};
  GetModuleFileNameW(nullptr, self, MAX_PATH);
  std::wstring log = self;
  log = log.substr(0, log.find_last_of(L'\\') + 1) + L"guide_browser.log";
  std::ofstream(log.c_str(), std::ios::binary | std::ios::app) << Utf8(address) << "\n";

  WNDCLASSW wc = {};
  wc.lpfnWndProc = WindowProc;
  wc.hInstance = GetModuleHandleW(nullptr);
  wc.lpszClassName = L"QvGuideBrowser";
  wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1);
  RegisterClassW(&wc);
  const std::wstring title = PageTitle(address);
  HWND window = CreateWindowW(wc.lpszClassName, title.empty() ? L"(no title)" : title.c_str(), WS_OVERLAPPEDWINDOW,
                              CW_USEDEFAULT, CW_USEDEFAULT, 640, 480, nullptr, nullptr, wc.hInstance, nullptr);
  ShowWindow(window, SW_SHOW);
  SetTimer(window, 1, 120000, nullptr);
  MSG msg;
  while (GetMessageW(&msg, nullptr, 0, 0) > 0) {
    TranslateMessage(&msg);
    DispatchMessageW(&msg);
  }
  return 0;
}
