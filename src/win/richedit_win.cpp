#include "win/richedit_win.h"

#include <richedit.h>

#include "win/internal_win.h"
#include "win/text_win.h"

namespace win {

namespace {

const wchar_t* RichEditClass() {
  static const wchar_t* cls = [] {
    if (LoadLibraryW(L"Msftedit.dll")) return L"RICHEDIT50W";
    if (LoadLibraryW(L"riched20.dll")) return RICHEDIT_CLASSW;
    return WC_EDITW;
  }();
  return cls;
}

struct StreamSource {
  std::string_view data;
  size_t offset = 0;
};

DWORD CALLBACK ReadStream(DWORD_PTR cookie, LPBYTE buffer, LONG size, LONG* read) {
  auto* source = reinterpret_cast<StreamSource*>(cookie);
  size_t left = source->data.size() - source->offset;
  size_t count = left < static_cast<size_t>(size) ? left : static_cast<size_t>(size);
  memcpy(buffer, source->data.data() + source->offset, count);
  source->offset += count;
  *read = static_cast<LONG>(count);
  return 0;
}

bool ReadWholeFile(const std::string& path, std::string& out) {
  HANDLE file = CreateFileW(Wide(path).c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  LARGE_INTEGER size{};
  bool ok = GetFileSizeEx(file, &size) && size.QuadPart < (64 << 20);
  if (ok) {
    out.resize(static_cast<size_t>(size.QuadPart));
    DWORD got = 0;
    ok = out.empty() || (ReadFile(file, out.data(), static_cast<DWORD>(out.size()), &got, nullptr) && got == out.size());
  }
  CloseHandle(file);
  return ok;
}

}  // namespace

void RichEdit::Create(Parent parent, const RichEditArgs& args) {
  DWORD style = WS_VISIBLE | WS_CLIPSIBLINGS | WS_TABSTOP | WS_VSCROLL | ES_MULTILINE | ES_AUTOVSCROLL | ES_NOHIDESEL;
  if (args.readOnly) style |= ES_READONLY;
  if (!args.wordWrap) style |= WS_HSCROLL | ES_AUTOHSCROLL;
  Control::Create(parent, RichEditClass(), "", style, args.border ? WS_EX_CLIENTEDGE : 0, args.rect, args.id);
  if (args.background != kDefaultColor) SetBackground(args.background);
}

bool RichEdit::SetRtf(std::string_view rtf) {
  if (!handle_) return false;
  StreamSource source{rtf, 0};
  EDITSTREAM stream{};
  stream.dwCookie = reinterpret_cast<DWORD_PTR>(&source);
  stream.pfnCallback = ReadStream;
  SendMessageW(handle_, EM_STREAMIN, SF_RTF, reinterpret_cast<LPARAM>(&stream));
  ScrollToTop();
  return stream.dwError == 0;
}

bool RichEdit::LoadRtfFile(const std::string& path) {
  std::string data;
  if (!ReadWholeFile(path, data)) return false;
  return SetRtf(data);
}

void RichEdit::SetText(std::string_view text) {
  if (!handle_) return;
  SetWindowTextUtf8(handle_, text);
  ScrollToTop();
}

std::string RichEdit::Text() const { return Control::Text(); }

void RichEdit::SetBackground(COLORREF color) {
  if (handle_) SendMessageW(handle_, EM_SETBKGNDCOLOR, color == kDefaultColor ? 1 : 0, static_cast<LPARAM>(color));
}

void RichEdit::ScrollToTop() {
  if (!handle_) return;
  SendMessageW(handle_, EM_SETSEL, 0, 0);
  SendMessageW(handle_, WM_VSCROLL, SB_TOP, 0);
}

// ---- WebView ----

// Hosting the browser control (an OLE in-place site for IWebBrowser2) is
// not built yet; the interface stays so that it can be added here.
struct WebView::Host {};

WebView::WebView() = default;
WebView::~WebView() = default;

bool WebView::Create(Parent, const WebViewArgs&) { return false; }

bool WebView::Navigate(const std::string&) { return false; }

void WebView::Refresh() {}

void WebView::MovePixels(const RECT& rect) { Control::MovePixels(rect); }

}  // namespace win
