#include "win/window_win.h"

#include "win/internal_win.h"
#include "win/shell_win.h"
#include "win/text_win.h"

namespace win {

namespace {

DWORD StyleOf(const WindowArgs& args) {
  if (args.borderless) return WS_POPUP | WS_CLIPCHILDREN;
  DWORD style = WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_CLIPCHILDREN;
  if (args.sizeable) style |= WS_THICKFRAME;
  if (args.minimizeBox) style |= WS_MINIMIZEBOX;
  if (args.maximizeBox) style |= WS_MAXIMIZEBOX;
  return style;
}

// The outer size of a window whose client area has the given pixel size.
SIZE OuterSize(HWND window, int clientWidth, int clientHeight) {
  RECT r{0, 0, clientWidth, clientHeight};
  AdjustWindowRectEx(&r, static_cast<DWORD>(GetWindowLongPtrW(window, GWL_STYLE)), GetMenu(window) != nullptr,
                     static_cast<DWORD>(GetWindowLongPtrW(window, GWL_EXSTYLE)));
  return SIZE{r.right - r.left, r.bottom - r.top};
}

}  // namespace

Window::~Window() {
  // No events from a window whose view is going away.
  onClose = nullptr;
  onDestroy = nullptr;
  onSize = nullptr;
  onActivate = nullptr;
  onMessage = nullptr;
  onCommand = nullptr;
  if (handle_) {
    if (quitOnDestroy_) PostQuitMessage(0);
    HWND window = handle_;
    if (menu_ && GetMenu(window) == menu_->Handle()) ::SetMenu(window, nullptr);
    DestroyWindow(window);
  }
}

void Window::Create(const WindowArgs& args) {
  if (!App::Initialized()) App::Init();
  const wchar_t* cls = args.dropShadow ? detail::RegisterClassOnce(L"QvShadowWindow", CS_DBLCLKS | CS_DROPSHADOW)
                                       : detail::RegisterClassOnce(L"QvWindow");
  DWORD ex = WS_EX_CONTROLPARENT;
  if (args.toolWindow) ex |= WS_EX_TOOLWINDOW;
  if (args.topMost) ex |= WS_EX_TOPMOST;
  if (args.alpha) ex |= WS_EX_LAYERED;
  Dpi system = Dpi::System();
  bool defaultPos = args.rect.x == static_cast<int>(CW_USEDEFAULT);
  int x = defaultPos ? CW_USEDEFAULT : system.Scale(args.rect.x);
  int y = defaultPos ? CW_USEDEFAULT : system.Scale(args.rect.y);
  HWND window = CreateWindowExW(ex, cls, Wide(args.title).c_str(), StyleOf(args), x, y, system.Scale(args.rect.width),
                                system.Scale(args.rect.height), args.owner, nullptr, App::Instance(), nullptr);
  if (!window) return;
  Attach(window);
  quitOnDestroy_ = args.quitOnDestroy;
  minSize_ = args.minSize;
  SetBackground(args.background);
  if (args.alpha) SetLayeredWindowAttributes(window, 0, *args.alpha, LWA_ALPHA);
  if (args.icon) SetIcon(args.icon);
  // The size asked for is the client size at the window's own DPI.
  SIZE outer = OuterSize(window, dpi_.Scale(args.rect.width), dpi_.Scale(args.rect.height));
  SetWindowPos(window, nullptr, 0, 0, outer.cx, outer.cy, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
  detail::Raise(onCreate);
  detail::Raise(onSize, ClientSize());
}

void Window::Destroy() {
  if (handle_) DestroyWindow(handle_);
}

void Window::Close() {
  if (handle_) SendMessageW(handle_, WM_CLOSE, 0, 0);
}

void Window::SetIcon(HICON icon) {
  if (!handle_) return;
  SendMessageW(handle_, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(icon));
  SendMessageW(handle_, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(icon));
}

void Window::SetMenu(Menu* menu) {
  if (!handle_) return;
  RECT client;
  GetClientRect(handle_, &client);
  menu_ = menu;
  ::SetMenu(handle_, menu ? menu->Handle() : nullptr);
  if (menu) menu->AttachedTo(handle_);
  DrawMenuBar(handle_);
  // Keep the client area: the menu bar takes room from the outer size.
  if (!IsZoomed(handle_)) {
    SIZE outer = OuterSize(handle_, client.right, client.bottom);
    SetWindowPos(handle_, nullptr, 0, 0, outer.cx, outer.cy, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
  }
}

void Window::SetAlpha(uint8_t alpha) {
  if (!handle_) return;
  SetWindowLongPtrW(handle_, GWL_EXSTYLE, GetWindowLongPtrW(handle_, GWL_EXSTYLE) | WS_EX_LAYERED);
  SetLayeredWindowAttributes(handle_, 0, alpha, LWA_ALPHA);
}

void Window::SetTopMost(bool on) {
  if (handle_) SetWindowPos(handle_, on ? HWND_TOPMOST : HWND_NOTOPMOST, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
}

void Window::SetMinSize(Size clientMin) { minSize_ = clientMin; }

void Window::SetBackground(COLORREF color) {
  background_ = color;
  brush_ = color == kDefaultColor ? nullptr : detail::SolidBrush(color);
  if (handle_) InvalidateRect(handle_, nullptr, TRUE);
}

void Window::CenterOn(HWND other) {
  if (!handle_) return;
  RECT area{};
  if (other && IsWindow(other) && !IsIconic(other)) {
    GetWindowRect(other, &area);
  } else {
    SystemParametersInfoW(SPI_GETWORKAREA, 0, &area, 0);
  }
  RECT own;
  GetWindowRect(handle_, &own);
  int width = own.right - own.left;
  int height = own.bottom - own.top;
  int x = area.left + ((area.right - area.left) - width) / 2;
  int y = area.top + ((area.bottom - area.top) - height) / 2;
  // Stay on the work area of the monitor.
  HMONITOR monitor = MonitorFromRect(&area, MONITOR_DEFAULTTONEAREST);
  MONITORINFO info{sizeof(info), {}, {}, 0};
  if (GetMonitorInfoW(monitor, &info)) {
    if (x + width > info.rcWork.right) x = info.rcWork.right - width;
    if (y + height > info.rcWork.bottom) y = info.rcWork.bottom - height;
    if (x < info.rcWork.left) x = info.rcWork.left;
    if (y < info.rcWork.top) y = info.rcWork.top;
  }
  SetWindowPos(handle_, nullptr, x, y, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

void Window::MoveOnScreen(const Rect& rect) {
  if (!handle_) return;
  SIZE outer = OuterSize(handle_, dpi_.Scale(rect.width), dpi_.Scale(rect.height));
  SetWindowPos(handle_, nullptr, dpi_.Scale(rect.x), dpi_.Scale(rect.y), outer.cx, outer.cy,
               SWP_NOZORDER | SWP_NOACTIVATE);
}

void Window::ShowNormal() {
  if (!handle_) return;
  ShowWindow(handle_, IsIconic(handle_) ? SW_RESTORE : SW_SHOW);
  SetForegroundWindow(handle_);
}

void Window::Minimize() {
  if (handle_) ShowWindow(handle_, SW_MINIMIZE);
}

void Window::Maximize() {
  if (handle_) ShowWindow(handle_, SW_MAXIMIZE);
}

bool Window::Minimized() const { return handle_ && IsIconic(handle_); }

void Window::Activate() {
  if (handle_) SetForegroundWindow(handle_);
}

std::optional<LRESULT> Window::HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) {
  if (onMessage) {
    if (auto handled = onMessage(message, wParam, lParam)) return handled;
  }
  return WindowMessage(message, wParam, lParam);
}

std::optional<LRESULT> Window::WindowMessage(UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_CLOSE: {
      bool cancel = false;
      if (onClose) onClose(cancel);
      if (!cancel) DestroyWindow(handle_);
      return 0;
    }
    case WM_DESTROY:
      detail::Raise(onDestroy);
      if (quitOnDestroy_) PostQuitMessage(0);
      return 0;
    case WM_SIZE:
      if (wParam != SIZE_MINIMIZED) {
        detail::Raise(onSize, Size{dpi_.Unscale(LOWORD(lParam)), dpi_.Unscale(HIWORD(lParam))});
      }
      return 0;
    case WM_ACTIVATE:
      detail::Raise(onActivate, LOWORD(wParam) != WA_INACTIVE);
      break;
    case WM_GETMINMAXINFO:
      if (minSize_.width > 0 || minSize_.height > 0) {
        SIZE outer = OuterSize(handle_, dpi_.Scale(minSize_.width), dpi_.Scale(minSize_.height));
        auto* info = reinterpret_cast<MINMAXINFO*>(lParam);
        if (minSize_.width > 0) info->ptMinTrackSize.x = outer.cx;
        if (minSize_.height > 0) info->ptMinTrackSize.y = outer.cy;
        return 0;
      }
      break;
    case WM_COMMAND:
      if (lParam == 0) {
        int id = LOWORD(wParam);
        if ((id == IDOK || id == IDCANCEL) && HIWORD(wParam) == 0) {
          OnDialogKey(id);
          return 0;
        }
        if (menu_ && menu_->onCommand && menu_->Contains(id)) {
          detail::Raise(menu_->onCommand, id);
        } else {
          detail::Raise(onCommand, id);
        }
        return 0;
      }
      break;
    case WM_ERASEBKGND:
    case WM_CTLCOLORSTATIC:
    case WM_CTLCOLORBTN:
      if (auto painted = detail::PaintBackground(handle_, message, wParam, brush_, background_)) return painted;
      break;
    case WM_DPICHANGED: {
      dpi_ = Dpi(HIWORD(wParam));
      const RECT* suggested = reinterpret_cast<const RECT*>(lParam);
      SetWindowPos(handle_, nullptr, suggested->left, suggested->top, suggested->right - suggested->left,
                   suggested->bottom - suggested->top, SWP_NOZORDER | SWP_NOACTIVATE);
      return 0;
    }
    default:
      break;
  }
  return Control::HandleMessage(message, wParam, lParam);
}

void Window::Destroyed() {
  if (menu_) menu_->AttachedTo(nullptr);
}

// ---- Dialog ----

void Dialog::Create(const DialogArgs& args) {
  WindowArgs window;
  window.title = args.title;
  window.rect = Rect{static_cast<int>(CW_USEDEFAULT), static_cast<int>(CW_USEDEFAULT), args.size.width, args.size.height};
  window.owner = args.owner;
  window.sizeable = args.sizeable;
  window.minimizeBox = args.minimizeBox;
  window.maximizeBox = false;
  window.toolWindow = args.toolWindow;
  window.topMost = args.topMost;
  window.icon = args.icon;
  window.minSize = args.minSize;
  keepOnClose_ = args.keepOnClose;
  owner_ = args.owner;
  Window::Create(window);
}

int Dialog::ShowModal() {
  if (!handle_ || modal_) return IDCANCEL;
  HWND owner = owner_ ? owner_ : GetWindow(handle_, GW_OWNER);
  if (!centred_) {
    CenterOn(owner);
    centred_ = true;
  }
  bool ownerEnabled = owner && IsWindowEnabled(owner);
  if (ownerEnabled) EnableWindow(owner, FALSE);
  modal_ = true;
  endModal_ = false;
  result_ = IDCANCEL;
  ShowWindow(handle_, SW_SHOW);
  SetForegroundWindow(handle_);
  detail::Raise(onShow);
  HWND self = handle_;
  MSG message;
  while (!endModal_ && IsWindow(self)) {
    BOOL got = GetMessageW(&message, nullptr, 0, 0);
    if (got <= 0) {
      // WM_QUIT ends the program's loop too.
      PostQuitMessage(got == 0 ? static_cast<int>(message.wParam) : 0);
      break;
    }
    if (PreTranslate(message)) continue;
    TranslateMessage(&message);
    DispatchMessageW(&message);
  }
  modal_ = false;
  // The owner is enabled before the dialog hides, so that it gets the activation.
  if (ownerEnabled) EnableWindow(owner, TRUE);
  if (IsWindow(self)) {
    if (keepOnClose_) {
      ShowWindow(self, SW_HIDE);
    } else {
      DestroyWindow(self);
    }
  }
  if (owner && IsWindow(owner)) SetForegroundWindow(owner);
  return result_;
}

void Dialog::EndModal(int result) {
  result_ = result;
  endModal_ = true;
  if (handle_) PostMessageW(handle_, WM_NULL, 0, 0);
}

void Dialog::ShowModeless() {
  if (!handle_) return;
  if (!centred_) {
    CenterOn(owner_ ? owner_ : GetWindow(handle_, GW_OWNER));
    centred_ = true;
  }
  ShowWindow(handle_, IsIconic(handle_) ? SW_RESTORE : SW_SHOW);
  SetForegroundWindow(handle_);
  detail::Raise(onShow);
}

void Dialog::CloseDialog() {
  if (handle_) SendMessageW(handle_, WM_CLOSE, 0, 0);
}

void Dialog::SetDefaultButton(int id) { defaultButton_ = id; }

void Dialog::OnDialogKey(int id) {
  if (id == IDCANCEL) {
    if (onEscape) {
      detail::Raise(onEscape);
    } else {
      CloseDialog();
    }
  } else if (id == IDOK) {
    detail::Raise(onEnter);
  }
}

std::optional<LRESULT> Dialog::HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) {
  if (onMessage) {
    if (auto handled = onMessage(message, wParam, lParam)) return handled;
  }
  switch (message) {
    case WM_CLOSE: {
      bool cancel = false;
      if (onClose) onClose(cancel);
      if (cancel) return 0;
      if (modal_) {
        EndModal(IDCANCEL);
      } else if (keepOnClose_) {
        ShowWindow(handle_, SW_HIDE);
      } else {
        DestroyWindow(handle_);
      }
      return 0;
    }
    case DM_GETDEFID:
      if (defaultButton_) return MAKELRESULT(defaultButton_, DC_HASDEFID);
      return 0;
    default:
      break;
  }
  return WindowMessage(message, wParam, lParam);
}

}  // namespace win
