#include "win/app_win.h"

#include <commctrl.h>
#include <ole2.h>

#include <map>
#include <mutex>
#include <utility>

#include "win/control_win.h"
#include "win/text_win.h"
#include "win/window_win.h"

namespace win {

namespace {

template <typename F>
F UserProc(const char* name) {
  return reinterpret_cast<F>(reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"user32.dll"), name)));
}

int ScreenDpi() {
  HDC screen = GetDC(nullptr);
  int dpi = GetDeviceCaps(screen, LOGPIXELSX);
  ReleaseDC(nullptr, screen);
  return dpi;
}

struct AppState {
  bool initialized = false;
  std::map<UINT, std::function<void()>> keys;
  std::function<void(const std::exception*)> onError;
};

AppState& State() {
  static AppState state;
  return state;
}

// ---- font choice ----

bool HasChineseGlyphs(const LOGFONTW& font) {
  HFONT handle = CreateFontIndirectW(&font);
  if (!handle) return false;
  HDC screen = GetDC(nullptr);
  HGDIOBJ old = SelectObject(screen, handle);
  WORD glyphs[3] = {};
  // "中文设" — common characters every Chinese font has.
  DWORD got = GetGlyphIndicesW(screen, L"\x4E2D\x6587\x8BBE", 3, glyphs, GGI_MARK_NONEXISTING_GLYPHS);
  wchar_t face[LF_FACESIZE] = {};
  GetTextFaceW(screen, LF_FACESIZE, face);
  SelectObject(screen, old);
  ReleaseDC(nullptr, screen);
  DeleteObject(handle);
  if (got != 3) return false;
  for (WORD glyph : glyphs) {
    if (glyph == 0xFFFF || glyph == 0) return false;
  }
  return true;
}

int CALLBACK FontFound(const LOGFONTW*, const TEXTMETRICW*, DWORD, LPARAM found) {
  *reinterpret_cast<bool*>(found) = true;
  return 0;
}

bool FontInstalled(const wchar_t* face) {
  LOGFONTW query{};
  query.lfCharSet = DEFAULT_CHARSET;
  lstrcpynW(query.lfFaceName, face, LF_FACESIZE);
  bool found = false;
  HDC screen = GetDC(nullptr);
  EnumFontFamiliesExW(screen, &query, FontFound, reinterpret_cast<LPARAM>(&found), 0);
  ReleaseDC(nullptr, screen);
  return found;
}

struct FontChoice {
  LOGFONTW base{};  // at the system DPI
  int systemDpi = 96;
};

const FontChoice& ChosenFont() {
  static const FontChoice choice = [] {
    FontChoice c;
    c.systemDpi = Dpi::System().Value();
    NONCLIENTMETRICSW metrics{};
    metrics.cbSize = sizeof(metrics);
    if (SystemParametersInfoW(SPI_GETNONCLIENTMETRICS, sizeof(metrics), &metrics, 0)) {
      c.base = metrics.lfMessageFont;
    } else {
      c.base.lfHeight = -MulDiv(9, c.systemDpi, 72);
      c.base.lfWeight = FW_NORMAL;
      lstrcpynW(c.base.lfFaceName, L"Tahoma", LF_FACESIZE);
    }
    // The message font of a Western system lacks Chinese glyphs; the texts
    // of the program are mostly Chinese.
    if (!HasChineseGlyphs(c.base)) {
      const wchar_t* candidates[] = {L"Microsoft YaHei", L"\x5FAE\x8F6F\x96C5\x9ED1", L"SimSun", L"\x5B8B\x4F53",
                                     L"WenQuanYi Micro Hei", L"WenQuanYi Zen Hei", L"Noto Sans CJK SC"};
      for (const wchar_t* face : candidates) {
        if (!FontInstalled(face)) continue;
        LOGFONTW font = c.base;
        lstrcpynW(font.lfFaceName, face, LF_FACESIZE);
        font.lfCharSet = DEFAULT_CHARSET;
        if (HasChineseGlyphs(font)) {
          c.base = font;
          break;
        }
      }
    }
    // At least 9 points: some message fonts are too small for Chinese text.
    int nine = -MulDiv(9, c.systemDpi, 72);
    if (c.base.lfHeight > nine && c.base.lfHeight < 0) c.base.lfHeight = nine;
    c.base.lfQuality = CLEARTYPE_QUALITY;
    return c;
  }();
  return choice;
}

}  // namespace

RECT Dpi::Scale(int x, int y, int width, int height) const {
  return RECT{Scale(x), Scale(y), Scale(x) + Scale(width), Scale(y) + Scale(height)};
}

Dpi Dpi::Of(HWND window) {
  using GetDpiForWindowFn = UINT(WINAPI*)(HWND);
  static const auto forWindow = UserProc<GetDpiForWindowFn>("GetDpiForWindow");
  if (window && forWindow) {
    UINT dpi = forWindow(window);
    if (dpi > 0) return Dpi(static_cast<int>(dpi));
  }
  return System();
}

Dpi Dpi::System() {
  using GetDpiForSystemFn = UINT(WINAPI*)();
  static const auto forSystem = UserProc<GetDpiForSystemFn>("GetDpiForSystem");
  if (forSystem) return Dpi(static_cast<int>(forSystem()));
  return Dpi(ScreenDpi());
}

HFONT UiFont(const Dpi& dpi, bool bold) {
  static std::mutex lock;
  static std::map<std::pair<int, bool>, HFONT> fonts;
  std::lock_guard<std::mutex> guard(lock);
  auto key = std::make_pair(dpi.Value(), bold);
  auto found = fonts.find(key);
  if (found != fonts.end()) return found->second;
  const FontChoice& choice = ChosenFont();
  LOGFONTW font = choice.base;
  font.lfHeight = MulDiv(font.lfHeight, dpi.Value(), choice.systemDpi);
  if (bold) font.lfWeight = FW_BOLD;
  HFONT handle = CreateFontIndirectW(&font);
  fonts[key] = handle;
  return handle;
}

std::string UiFontFace() { return Utf8(ChosenFont().base.lfFaceName); }

void App::Init() {
  AppState& state = State();
  if (state.initialized) return;
  state.initialized = true;
  // Without the manifest's DPI setting the program would be stretched
  // blurrily on high-DPI monitors.
  using SetContextFn = BOOL(WINAPI*)(HANDLE);
  using IsAwareFn = BOOL(WINAPI*)();
  static const auto setContext = UserProc<SetContextFn>("SetProcessDpiAwarenessContext");
  static const auto isAware = UserProc<IsAwareFn>("IsProcessDPIAware");
  if (!isAware || !isAware()) {
    if (!setContext || !setContext(reinterpret_cast<HANDLE>(-4))) SetProcessDPIAware();
  }
  INITCOMMONCONTROLSEX controls{};
  controls.dwSize = sizeof(controls);
  controls.dwICC = ICC_WIN95_CLASSES | ICC_BAR_CLASSES | ICC_LISTVIEW_CLASSES | ICC_TAB_CLASSES |
                   ICC_PROGRESS_CLASS | ICC_UPDOWN_CLASS | ICC_STANDARD_CLASSES | ICC_USEREX_CLASSES;
  InitCommonControlsEx(&controls);
  // The browser control needs a single-threaded apartment with OLE.
  OleInitialize(nullptr);
}

HINSTANCE App::Instance() { return GetModuleHandleW(nullptr); }
bool App::Initialized() { return State().initialized; }

void App::SetKey(UINT virtualKey, std::function<void()> handler) {
  if (handler) {
    State().keys[virtualKey] = std::move(handler);
  } else {
    State().keys.erase(virtualKey);
  }
}

void App::SetErrorHandler(std::function<void(const std::exception*)> handler) { State().onError = std::move(handler); }

void App::ReportError(const std::exception* error) {
  if (State().onError) {
    try {
      State().onError(error);
      return;
    } catch (...) {
    }
  }
  OutputDebugStringA(error ? error->what() : "unknown exception in an event handler");
}

bool PreTranslate(MSG& message) {
  if ((message.message == WM_KEYDOWN || message.message == WM_SYSKEYDOWN) && message.hwnd) {
    auto& keys = State().keys;
    auto found = keys.find(static_cast<UINT>(message.wParam));
    if (found != keys.end()) {
      // Only the first press: holding the key does not repeat the command.
      if ((message.lParam & (1 << 30)) == 0) {
        auto handler = found->second;  // the handler may replace itself
        try {
          handler();
        } catch (const std::exception& error) {
          App::ReportError(&error);
        } catch (...) {
          App::ReportError(nullptr);
        }
      }
      return true;
    }
  }
  if (message.hwnd && message.message >= WM_KEYFIRST && message.message <= WM_KEYLAST) {
    HWND root = GetAncestor(message.hwnd, GA_ROOT);
    if (root && dynamic_cast<Window*>(Control::FromHandle(root)) != nullptr) {
      return IsDialogMessageW(root, &message) != FALSE;
    }
  }
  return false;
}

int RunMessageLoop() {
  MSG message;
  while (GetMessageW(&message, nullptr, 0, 0) > 0) {
    if (PreTranslate(message)) continue;
    TranslateMessage(&message);
    DispatchMessageW(&message);
  }
  return static_cast<int>(message.wParam);
}

bool ProcessMessages() {
  MSG message;
  while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
    if (message.message == WM_QUIT) {
      PostQuitMessage(static_cast<int>(message.wParam));
      return false;
    }
    if (PreTranslate(message)) continue;
    TranslateMessage(&message);
    DispatchMessageW(&message);
  }
  return true;
}

bool PumpUntil(const std::function<bool()>& done, int timeoutMs) {
  DWORD start = GetTickCount();
  for (;;) {
    if (!ProcessMessages()) return done();
    if (done()) return true;
    DWORD elapsed = GetTickCount() - start;
    if (elapsed >= static_cast<DWORD>(timeoutMs)) return false;
    DWORD wait = static_cast<DWORD>(timeoutMs) - elapsed;
    MsgWaitForMultipleObjects(0, nullptr, FALSE, wait < 20 ? wait : 20, QS_ALLINPUT);
  }
}

}  // namespace win
