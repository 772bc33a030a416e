#include "win/control_win.h"

#include <atomic>
#include <map>
#include <mutex>
#include <set>
#include <unordered_map>
#include <vector>

#include "win/internal_win.h"
#include "win/text_win.h"

namespace win {

namespace {


}  // namespace

namespace detail {

const wchar_t* RegisterClassOnce(const wchar_t* name, UINT style, int backgroundSysColor) {
  static std::mutex lock;
  static std::set<std::wstring> registered;
  std::lock_guard<std::mutex> guard(lock);
  if (registered.insert(name).second) {
    WNDCLASSEXW cls{};
    cls.cbSize = sizeof(cls);
    cls.style = style;
    cls.lpfnWndProc = DefWindowProcW;
    cls.hInstance = App::Instance();
    cls.hCursor = LoadCursorW(nullptr, IDC_ARROW);
    cls.hbrBackground = backgroundSysColor >= 0 ? reinterpret_cast<HBRUSH>(static_cast<INT_PTR>(backgroundSysColor + 1)) : nullptr;
    cls.lpszClassName = name;
    RegisterClassExW(&cls);
  }
  return name;
}

HWND CreateTooltip(HWND owner) {
  HWND tip = CreateWindowExW(WS_EX_TOPMOST, TOOLTIPS_CLASSW, nullptr, WS_POPUP | TTS_ALWAYSTIP | TTS_NOPREFIX, 0, 0, 0,
                             0, owner, nullptr, App::Instance(), nullptr);
  if (!tip) return nullptr;
  SendMessageW(tip, TTM_SETDELAYTIME, TTDT_AUTOPOP, kTooltipShowMs);
  SendMessageW(tip, TTM_SETMAXTIPWIDTH, 0, Dpi::Of(owner).Scale(400));
  SendMessageW(tip, WM_SETFONT, reinterpret_cast<WPARAM>(UiFont(Dpi::Of(owner))), FALSE);
  return tip;
}

HBRUSH SolidBrush(COLORREF color) {
  static std::mutex lock;
  static std::map<COLORREF, HBRUSH> brushes;
  std::lock_guard<std::mutex> guard(lock);
  HBRUSH& brush = brushes[color];
  if (!brush) brush = CreateSolidBrush(color);
  return brush;
}

RECT ToPixels(const Dpi& dpi, const Rect& rect) { return dpi.Scale(rect.x, rect.y, rect.width, rect.height); }

int AlignStyleOfEdit(Align align) {
  switch (align) {
    case Align::Center: return ES_CENTER;
    case Align::Right: return ES_RIGHT;
    default: return ES_LEFT;
  }
}

}  // namespace detail

Parent::Parent(const Control& control) : handle_(control.Handle()) {}

namespace {

// The wrapper and the original window procedure of every window of the
// layer. A map of the GUI thread rather than window properties: under Wine
// every property look-up is a round trip to the server, which made a
// 10,000-row rebuild take half a minute.
struct Subclass {
  Control* control;
  WNDPROC original;
};

std::unordered_map<HWND, Subclass>& Registry() {
  thread_local std::unordered_map<HWND, Subclass> registry;
  return registry;
}

}  // namespace

LRESULT RouteMessage(Control* control, HWND window, UINT message, WPARAM wParam, LPARAM lParam);

LRESULT CALLBACK ControlWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  auto found = Registry().find(window);
  if (found == Registry().end()) return DefWindowProcW(window, message, wParam, lParam);
  return RouteMessage(found->second.control, window, message, wParam, lParam);
}

namespace detail {

LRESULT CallOriginal(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  auto found = Registry().find(window);
  WNDPROC original = found == Registry().end() ? DefWindowProcW : found->second.original;
  return CallWindowProcW(original, window, message, wParam, lParam);
}

}  // namespace detail

LRESULT RouteMessage(Control* control, HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_NCDESTROY) {
    WNDPROC original = Registry()[window].original;
    control->Detach(window);
    return CallWindowProcW(original, window, message, wParam, lParam);
  }
  LRESULT result = 0;
  if (ReflectToChild(message, wParam, lParam, result)) return result;
  if (window == control->handle_) {
    try {
      if (auto handled = control->HandleMessage(message, wParam, lParam)) return *handled;
    } catch (const std::exception& error) {
      App::ReportError(&error);
    } catch (...) {
      App::ReportError(nullptr);
    }
  }
  return detail::CallOriginal(window, message, wParam, lParam);
}

bool ReflectToChild(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result) {
  HWND child = nullptr;
  switch (message) {
    case WM_COMMAND:
    case WM_HSCROLL:
    case WM_VSCROLL:
    case WM_CTLCOLORSTATIC:
    case WM_CTLCOLOREDIT:
    case WM_CTLCOLORBTN:
    case WM_CTLCOLORLISTBOX:
      child = reinterpret_cast<HWND>(lParam);
      break;
    case WM_NOTIFY:
      child = reinterpret_cast<NMHDR*>(lParam)->hwndFrom;
      break;
    case WM_DRAWITEM: {
      auto* draw = reinterpret_cast<DRAWITEMSTRUCT*>(lParam);
      if (draw->CtlType != ODT_MENU) child = draw->hwndItem;
      break;
    }
    default:
      return false;
  }
  if (!child) return false;
  Control* target = Control::FromHandle(child);
  if (!target) return false;
  try {
    if (auto handled = target->HandleReflected(message, wParam, lParam)) {
      result = *handled;
      return true;
    }
  } catch (const std::exception& error) {
    App::ReportError(&error);
  } catch (...) {
    App::ReportError(nullptr);
  }
  return false;
}

Control::~Control() {
  if (tooltip_) DestroyWindow(tooltip_);
  if (handle_) {
    HWND window = handle_;
    // The destructor raises no events: the subclass goes first.
    Detach(window);
    DestroyWindow(window);
  }
}

Control* Control::FromHandle(HWND window) {
  if (!window) return nullptr;
  auto found = Registry().find(window);
  return found == Registry().end() ? nullptr : found->second.control;
}

int Control::NextId() {
  static std::atomic<int> next{1000};
  return next++;
}

void Control::Create(Parent parent, const wchar_t* windowClass, std::string_view text, DWORD style, DWORD exStyle,
                     const Rect& rect, int id) {
  if (!App::Initialized()) App::Init();
  HWND parentWindow = parent.Handle();
  dpi_ = Dpi::Of(parentWindow);
  RECT pixels = detail::ToPixels(dpi_, rect);
  if (id == 0) id = NextId();
  HWND window = CreateWindowExW(exStyle, windowClass, Wide(text).c_str(), style | WS_CHILD, pixels.left, pixels.top,
                                pixels.right - pixels.left, pixels.bottom - pixels.top, parentWindow,
                                reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), App::Instance(), nullptr);
  if (!window) return;
  Attach(window);
  // A new child goes below its siblings; group boxes must stay below the
  // controls they frame, which are usually made after them.
  bool isGroupBox = std::wstring_view(windowClass) == WC_BUTTONW && (style & BS_TYPEMASK) == BS_GROUPBOX;
  if (parentWindow && !isGroupBox) {
    std::vector<HWND> groups;
    for (HWND sibling = GetWindow(window, GW_HWNDPREV); sibling; sibling = GetWindow(sibling, GW_HWNDPREV)) {
      if (!Registry().count(sibling) || (GetWindowLongPtrW(sibling, GWL_STYLE) & BS_TYPEMASK) != BS_GROUPBOX) continue;
      wchar_t cls[16] = {};
      GetClassNameW(sibling, cls, 16);
      if (lstrcmpiW(cls, WC_BUTTONW) == 0) groups.push_back(sibling);
    }
    for (HWND group : groups) SetWindowPos(group, HWND_BOTTOM, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
  }
}

void Control::Attach(HWND window) {
  handle_ = window;
  dpi_ = Dpi::Of(window);
  AttachPart(window);
  SendMessageW(window, WM_SETFONT, reinterpret_cast<WPARAM>(UiFont(dpi_)), FALSE);
}

void Control::AttachPart(HWND part) {
  if (Registry().count(part)) return;
  auto original = reinterpret_cast<WNDPROC>(GetWindowLongPtrW(part, GWLP_WNDPROC));
  Registry()[part] = Subclass{this, original};
  SetWindowLongPtrW(part, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(ControlWindowProc));
}

void Control::Detach(HWND window) {
  auto found = Registry().find(window);
  if (found != Registry().end()) {
    // Only when nobody subclassed the window after us.
    if (reinterpret_cast<WNDPROC>(GetWindowLongPtrW(window, GWLP_WNDPROC)) == ControlWindowProc) {
      SetWindowLongPtrW(window, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(found->second.original));
    }
    Registry().erase(found);
  }
  if (window == handle_) {
    handle_ = nullptr;
    Destroyed();
  }
}

LRESULT Control::CallDefault(UINT message, WPARAM wParam, LPARAM lParam) {
  return detail::CallOriginal(handle_, message, wParam, lParam);
}

int Control::Id() const { return handle_ ? GetDlgCtrlID(handle_) : 0; }

void Control::SetText(std::string_view text) {
  if (handle_) SetWindowTextUtf8(handle_, text);
}

std::string Control::Text() const { return handle_ ? WindowText(handle_) : std::string(); }

void Control::Enable(bool on) {
  if (handle_) EnableWindow(handle_, on ? TRUE : FALSE);
}

bool Control::Enabled() const { return handle_ && IsWindowEnabled(handle_); }

void Control::Show(bool on) {
  if (handle_) ShowWindow(handle_, on ? SW_SHOWNA : SW_HIDE);
}

bool Control::Visible() const { return handle_ && (GetWindowLongPtrW(handle_, GWL_STYLE) & WS_VISIBLE) != 0; }

void Control::Move(const Rect& rect) { MovePixels(detail::ToPixels(dpi_, rect)); }

void Control::MovePixels(const RECT& rect) {
  if (handle_) {
    SetWindowPos(handle_, nullptr, rect.left, rect.top, rect.right - rect.left, rect.bottom - rect.top,
                 SWP_NOZORDER | SWP_NOACTIVATE);
  }
}

RECT Control::BoundsPixels() const {
  RECT rect{};
  if (!handle_) return rect;
  GetWindowRect(handle_, &rect);
  HWND parent = GetAncestor(handle_, GA_PARENT);
  if (parent && (GetWindowLongPtrW(handle_, GWL_STYLE) & WS_CHILD)) {
    MapWindowPoints(nullptr, parent, reinterpret_cast<POINT*>(&rect), 2);
  }
  return rect;
}

Rect Control::Bounds() const {
  RECT r = BoundsPixels();
  return Rect{dpi_.Unscale(r.left), dpi_.Unscale(r.top), dpi_.Unscale(r.right - r.left), dpi_.Unscale(r.bottom - r.top)};
}

Size Control::ClientSize() const {
  RECT r{};
  if (handle_) GetClientRect(handle_, &r);
  return Size{dpi_.Unscale(r.right), dpi_.Unscale(r.bottom)};
}

void Control::Focus() {
  if (handle_) SetFocus(handle_);
}

bool Control::Focused() const { return handle_ && GetFocus() == handle_; }

void Control::Redraw() {
  if (handle_) RedrawWindow(handle_, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_UPDATENOW | RDW_ALLCHILDREN);
}

void Control::BringToTop() {
  if (handle_) SetWindowPos(handle_, HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
}

void Control::SetTooltip(std::string_view text, std::string_view title) {
  if (!handle_) return;
  tooltipText_ = std::string(text);
  if (!tooltip_) {
    if (text.empty()) return;
    tooltip_ = detail::CreateTooltip(handle_);
    if (!tooltip_) return;
  }
  std::wstring wide = Wide(text);
  TTTOOLINFOW tool{};
  tool.cbSize = TTTOOLINFOW_V2_SIZE;
  tool.uFlags = TTF_IDISHWND | TTF_SUBCLASS;
  tool.hwnd = GetAncestor(handle_, GA_PARENT);
  tool.uId = reinterpret_cast<UINT_PTR>(handle_);
  tool.lpszText = wide.data();
  SendMessageW(tooltip_, TTM_DELTOOLW, 0, reinterpret_cast<LPARAM>(&tool));
  if (text.empty()) return;
  SendMessageW(tooltip_, TTM_ADDTOOLW, 0, reinterpret_cast<LPARAM>(&tool));
  std::wstring wideTitle = Wide(title);
  SendMessageW(tooltip_, TTM_SETTITLEW, title.empty() ? TTI_NONE : TTI_INFO, reinterpret_cast<LPARAM>(wideTitle.c_str()));
}

std::optional<LRESULT> Control::HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_KEYDOWN:
      if (onKeyDown && onKeyDown(static_cast<UINT>(wParam))) return 0;
      break;
    case WM_KEYUP:
      detail::Raise(onKeyUp, static_cast<UINT>(wParam));
      break;
    case WM_SETFOCUS:
      detail::Raise(onFocusGained);
      break;
    case WM_KILLFOCUS:
      detail::Raise(onFocusLost);
      break;
    case WM_MOUSEMOVE:
      if (!tracking_) {
        TRACKMOUSEEVENT track{sizeof(track), TME_LEAVE, handle_, 0};
        tracking_ = TrackMouseEvent(&track) != FALSE;
      }
      detail::Raise(onMouseMove, POINT{static_cast<short>(LOWORD(lParam)), static_cast<short>(HIWORD(lParam))});
      break;
    case WM_MOUSELEAVE:
      tracking_ = false;
      detail::Raise(onMouseLeave);
      break;
    default:
      break;
  }
  return std::nullopt;
}

std::optional<LRESULT> Control::HandleReflected(UINT, WPARAM, LPARAM) { return std::nullopt; }

// ---- Panel ----

Panel::~Panel() = default;

void Panel::Create(Parent parent, const PanelArgs& args) {
  const wchar_t* cls = detail::RegisterClassOnce(L"QvPanel");
  DWORD style = WS_CLIPCHILDREN | WS_CLIPSIBLINGS | (args.visible ? WS_VISIBLE : 0);
  DWORD ex = WS_EX_CONTROLPARENT | (args.border ? WS_EX_STATICEDGE : 0);
  Control::Create(parent, cls, "", style, ex, args.rect, args.id);
  SetBackground(args.background);
}

void Panel::SetBackground(COLORREF color) {
  background_ = color;
  brush_ = color == kDefaultColor ? nullptr : detail::SolidBrush(color);
  if (handle_) InvalidateRect(handle_, nullptr, TRUE);
}

std::optional<LRESULT> detail::PaintBackground(HWND window, UINT message, WPARAM wParam, HBRUSH brush,
                                               COLORREF color) {
  if (!brush) return std::nullopt;
  if (message == WM_ERASEBKGND) {
    RECT r;
    GetClientRect(window, &r);
    FillRect(reinterpret_cast<HDC>(wParam), &r, brush);
    return 1;
  }
  if (message == WM_CTLCOLORSTATIC || message == WM_CTLCOLORBTN) {
    SetBkColor(reinterpret_cast<HDC>(wParam), color);
    return reinterpret_cast<LRESULT>(brush);
  }
  return std::nullopt;
}

std::optional<LRESULT> Panel::HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_SIZE:
      detail::Raise(onSize, Size{dpi_.Unscale(LOWORD(lParam)), dpi_.Unscale(HIWORD(lParam))});
      return 0;
    case WM_ERASEBKGND:
    case WM_CTLCOLORSTATIC:
    case WM_CTLCOLORBTN:
      if (auto painted = detail::PaintBackground(handle_, message, wParam, brush_, background_)) return painted;
      break;
    default:
      break;
  }
  return Control::HandleMessage(message, wParam, lParam);
}

}  // namespace win
