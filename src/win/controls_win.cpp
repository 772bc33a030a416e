#include "win/controls_win.h"

#include <algorithm>
#include <cmath>

#include "base/text.h"
#include "win/internal_win.h"
#include "win/shell_win.h"
#include "win/text_win.h"

namespace win {

namespace {

constexpr DWORD kChild = WS_VISIBLE | WS_CLIPSIBLINGS;

int Notification(WPARAM wParam) { return HIWORD(wParam); }

COLORREF ParentBackground(HWND control) {
  Control* parent = Control::FromHandle(GetParent(control));
  COLORREF color = parent ? parent->Background() : kDefaultColor;
  return color == kDefaultColor ? GetSysColor(COLOR_BTNFACE) : color;
}

// Text and background colours of a static or button drawn on its parent.
LRESULT ColorStatic(HWND control, HDC dc, COLORREF text, COLORREF background) {
  COLORREF back = background == kDefaultColor ? ParentBackground(control) : background;
  SetTextColor(dc, text == kDefaultColor ? GetSysColor(COLOR_WINDOWTEXT) : text);
  SetBkColor(dc, back);
  SetBkMode(dc, OPAQUE);
  return reinterpret_cast<LRESULT>(detail::SolidBrush(back));
}

}  // namespace

// ---- Button ----

void Button::Create(Parent parent, const ButtonArgs& args) {
  DWORD style = kChild | WS_TABSTOP | (args.defaultButton ? BS_DEFPUSHBUTTON : BS_PUSHBUTTON) | (args.flat ? BS_FLAT : 0);
  Control::Create(parent, WC_BUTTONW, args.text, style, 0, args.rect, args.id);
  if (args.icon) SendMessageW(handle_, BM_SETIMAGE, IMAGE_ICON, reinterpret_cast<LPARAM>(args.icon));
  if (!args.tooltip.empty()) SetTooltip(args.tooltip);
}

void Button::Click() {
  if (handle_) SendMessageW(handle_, BM_CLICK, 0, 0);
}

std::optional<LRESULT> Button::HandleReflected(UINT message, WPARAM wParam, LPARAM) {
  if (message == WM_COMMAND && Notification(wParam) == BN_CLICKED) {
    detail::Raise(onClick);
    return 0;
  }
  return std::nullopt;
}

// ---- CheckBox ----

void CheckBox::Create(Parent parent, const CheckBoxArgs& args) {
  Control::Create(parent, WC_BUTTONW, args.text, kChild | WS_TABSTOP | BS_AUTOCHECKBOX, 0, args.rect, args.id);
  SetChecked(args.checked);
  if (!args.tooltip.empty()) SetTooltip(args.tooltip);
}

bool CheckBox::Checked() const { return handle_ && SendMessageW(handle_, BM_GETCHECK, 0, 0) == BST_CHECKED; }

void CheckBox::SetChecked(bool on) {
  if (handle_) SendMessageW(handle_, BM_SETCHECK, on ? BST_CHECKED : BST_UNCHECKED, 0);
}

std::optional<LRESULT> CheckBox::HandleReflected(UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_COMMAND && Notification(wParam) == BN_CLICKED) {
    detail::Raise(onClick);
    return 0;
  }
  if (message == WM_CTLCOLORSTATIC || message == WM_CTLCOLORBTN) {
    return ColorStatic(handle_, reinterpret_cast<HDC>(wParam), kDefaultColor, kDefaultColor);
  }
  (void)lParam;
  return std::nullopt;
}

// ---- Radio ----

void Radio::Create(Parent parent, const RadioArgs& args) {
  DWORD style = kChild | WS_TABSTOP | BS_AUTORADIOBUTTON | (args.firstInGroup ? WS_GROUP : 0);
  Control::Create(parent, WC_BUTTONW, args.text, style, 0, args.rect, args.id);
  if (args.checked) SetChecked(true);
  if (!args.tooltip.empty()) SetTooltip(args.tooltip);
}

bool Radio::Checked() const { return handle_ && SendMessageW(handle_, BM_GETCHECK, 0, 0) == BST_CHECKED; }

void Radio::SetChecked(bool on) {
  if (!handle_) return;
  SendMessageW(handle_, BM_SETCHECK, on ? BST_CHECKED : BST_UNCHECKED, 0);
  if (!on) return;
  // The group runs from the sibling with WS_GROUP to the next one.
  HWND first = handle_;
  while (!(GetWindowLongPtrW(first, GWL_STYLE) & WS_GROUP)) {
    HWND previous = GetWindow(first, GW_HWNDPREV);
    if (!previous) break;
    first = previous;
  }
  for (HWND sibling = first; sibling; sibling = GetWindow(sibling, GW_HWNDNEXT)) {
    LONG_PTR style = GetWindowLongPtrW(sibling, GWL_STYLE);
    if (sibling != first && (style & WS_GROUP)) break;
    if (sibling != handle_ && (style & BS_TYPEMASK) == BS_AUTORADIOBUTTON) {
      SendMessageW(sibling, BM_SETCHECK, BST_UNCHECKED, 0);
    }
  }
}

std::optional<LRESULT> Radio::HandleReflected(UINT message, WPARAM wParam, LPARAM) {
  if (message == WM_COMMAND && Notification(wParam) == BN_CLICKED) {
    detail::Raise(onClick);
    return 0;
  }
  if (message == WM_CTLCOLORSTATIC || message == WM_CTLCOLORBTN) {
    return ColorStatic(handle_, reinterpret_cast<HDC>(wParam), kDefaultColor, kDefaultColor);
  }
  return std::nullopt;
}

// ---- GroupBox ----

void GroupBox::Create(Parent parent, const GroupBoxArgs& args) {
  Control::Create(parent, WC_BUTTONW, args.text, kChild | BS_GROUPBOX, 0, args.rect, args.id);
  if (handle_) SetWindowPos(handle_, HWND_BOTTOM, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
}

std::optional<LRESULT> GroupBox::HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_PAINT) {
    // Some group boxes (Wine's) never erase their inside; the controls on
    // top of it are clipped out of this DC.
    HDC dc = GetDC(handle_);
    RECT client;
    GetClientRect(handle_, &client);
    FillRect(dc, &client, detail::SolidBrush(ParentBackground(handle_)));
    ReleaseDC(handle_, dc);
  }
  return Control::HandleMessage(message, wParam, lParam);
}

std::optional<LRESULT> GroupBox::HandleReflected(UINT message, WPARAM wParam, LPARAM) {
  if (message == WM_CTLCOLORSTATIC || message == WM_CTLCOLORBTN) {
    return ColorStatic(handle_, reinterpret_cast<HDC>(wParam), kDefaultColor, kDefaultColor);
  }
  return std::nullopt;
}

// ---- Label ----

Label::~Label() = default;

void Label::Create(Parent parent, const LabelArgs& args) {
  DWORD style = kChild | SS_NOTIFY | SS_NOPREFIX;
  style |= args.align == Align::Center ? SS_CENTER : args.align == Align::Right ? SS_RIGHT : SS_LEFT;
  if (args.vcenter) style |= SS_CENTERIMAGE;
  if (args.ellipsis) style |= SS_ENDELLIPSIS;
  if (args.sunken) style |= SS_SUNKEN;
  Control::Create(parent, WC_STATICW, args.text, style, 0, args.rect, args.id);
  color_ = args.color;
  background_ = args.background;
  hand_ = args.handCursor;
  if (args.bold) SetBold(true);
  if (!args.tooltip.empty()) SetTooltip(args.tooltip);
}

void Label::SetText(std::string_view text) {
  if (!handle_) return;
  SetWindowTextUtf8(handle_, text);
  InvalidateRect(handle_, nullptr, TRUE);
  UpdateWindow(handle_);
}

void Label::SetColor(COLORREF color) {
  color_ = color;
  if (handle_) InvalidateRect(handle_, nullptr, TRUE);
}

void Label::SetBackground(COLORREF color) {
  background_ = color;
  if (handle_) InvalidateRect(handle_, nullptr, TRUE);
}

void Label::SetBold(bool bold) {
  if (handle_) SendMessageW(handle_, WM_SETFONT, reinterpret_cast<WPARAM>(UiFont(dpi_, bold)), TRUE);
}

std::optional<LRESULT> Label::HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_SETCURSOR:
      if (hand_) {
        SetCursor(LoadCursorW(nullptr, IDC_HAND));
        return TRUE;
      }
      break;
    case WM_MOUSEMOVE:
      if (!inside_) {
        inside_ = true;
        detail::Raise(onMouseEnter);
      }
      break;
    case WM_MOUSELEAVE:
      inside_ = false;
      break;
    default:
      break;
  }
  return Control::HandleMessage(message, wParam, lParam);
}

std::optional<LRESULT> Label::HandleReflected(UINT message, WPARAM wParam, LPARAM) {
  if (message == WM_COMMAND) {
    if (Notification(wParam) == STN_CLICKED) detail::Raise(onClick);
    if (Notification(wParam) == STN_DBLCLK) detail::Raise(onDoubleClick);
    return 0;
  }
  if (message == WM_CTLCOLORSTATIC) return ColorStatic(handle_, reinterpret_cast<HDC>(wParam), color_, background_);
  return std::nullopt;
}

// ---- Picture ----

Picture::~Picture() {
  if (bitmap_) DeleteObject(bitmap_);
  DropOwnedIcon();
}

void Picture::Create(Parent parent, const PictureArgs& args) {
  const wchar_t* cls = detail::RegisterClassOnce(L"QvPicture");
  Control::Create(parent, cls, "", kChild, 0, args.rect, args.id);
  if (!args.tooltip.empty()) SetTooltip(args.tooltip);
}

void Picture::SetIcon(HICON icon) {
  if (owned_ && icon == icon_) return;
  DropOwnedIcon();
  icon_ = icon;
  if (handle_) InvalidateRect(handle_, nullptr, TRUE);
}

void Picture::ShowIcon(int resourceId, int size) {
  if (owned_ && ownedId_ == resourceId && ownedFile_.empty() && ownedSize_ == size) return;
  Own(LoadIconSource(resourceId, size), resourceId, {}, size);
}

void Picture::ShowIcon(const std::string& file, int size) {
  if (owned_ && ownedId_ == 0 && ownedFile_ == file && ownedSize_ == size) return;
  Own(LoadIconSource(file, size), 0, file, size);
}

void Picture::Own(HICON icon, int resourceId, std::string file, int size) {
  DropOwnedIcon();
  icon_ = icon;
  owned_ = icon != nullptr;
  ownedId_ = resourceId;
  ownedFile_ = std::move(file);
  ownedSize_ = size;
  if (handle_) InvalidateRect(handle_, nullptr, TRUE);
}

void Picture::DropOwnedIcon() {
  if (owned_ && icon_) DestroyIcon(icon_);
  if (owned_) icon_ = nullptr;
  owned_ = false;
  ownedId_ = ownedSize_ = 0;
  ownedFile_.clear();
}

void Picture::SetBitmap(HBITMAP bitmap) {
  if (bitmap_ && bitmap_ != bitmap) DeleteObject(bitmap_);
  bitmap_ = bitmap;
  if (handle_) InvalidateRect(handle_, nullptr, TRUE);
}

bool Picture::LoadBitmapFile(const std::string& path) {
  HANDLE image = LoadImageW(nullptr, Wide(path).c_str(), IMAGE_BITMAP, 0, 0, LR_LOADFROMFILE | LR_CREATEDIBSECTION);
  if (!image) return false;
  SetBitmap(static_cast<HBITMAP>(image));
  return true;
}

std::optional<LRESULT> Picture::HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_PAINT: {
      PAINTSTRUCT paint;
      HDC dc = BeginPaint(handle_, &paint);
      RECT client;
      GetClientRect(handle_, &client);
      int width = client.right;
      int height = client.bottom;
      if (bitmap_) {
        BITMAP info{};
        GetObjectW(bitmap_, sizeof(info), &info);
        HDC memory = CreateCompatibleDC(dc);
        HGDIOBJ old = SelectObject(memory, bitmap_);
        if (info.bmWidth > width || info.bmHeight > height) {
          SetStretchBltMode(dc, HALFTONE);
          StretchBlt(dc, 0, 0, width, height, memory, 0, 0, info.bmWidth, info.bmHeight, SRCCOPY);
        } else {
          BitBlt(dc, (width - info.bmWidth) / 2, (height - info.bmHeight) / 2, info.bmWidth, info.bmHeight, memory, 0, 0,
                 SRCCOPY);
        }
        SelectObject(memory, old);
        DeleteDC(memory);
      } else if (icon_) {
        int side = std::min({width, height, dpi_.Scale(16) > 16 ? dpi_.Scale(16) : 16});
        ICONINFO info{};
        if (GetIconInfo(icon_, &info)) {
          BITMAP mask{};
          GetObjectW(info.hbmMask, sizeof(mask), &mask);
          if (mask.bmWidth > 0) side = std::min({width, height, static_cast<int>(mask.bmWidth)});
          if (info.hbmMask) DeleteObject(info.hbmMask);
          if (info.hbmColor) DeleteObject(info.hbmColor);
        }
        DrawIconEx(dc, (width - side) / 2, (height - side) / 2, icon_, side, side, 0, nullptr, DI_NORMAL);
      }
      EndPaint(handle_, &paint);
      return 0;
    }
    case WM_LBUTTONUP:
      detail::Raise(onClick);
      return 0;
    default:
      break;
  }
  return Control::HandleMessage(message, wParam, lParam);
}

// ---- Edit ----

void Edit::Create(Parent parent, const EditArgs& args) {
  DWORD style = kChild | WS_TABSTOP | static_cast<DWORD>(detail::AlignStyleOfEdit(args.align));
  if (args.multiline) {
    style |= ES_MULTILINE | ES_WANTRETURN | WS_VSCROLL | ES_AUTOVSCROLL;
    if (!args.wordWrap) style |= ES_AUTOHSCROLL | WS_HSCROLL;
  } else {
    style |= ES_AUTOHSCROLL;
  }
  if (args.readOnly) style |= ES_READONLY;
  if (args.password) style |= ES_PASSWORD;
  if (args.upperCase) style |= ES_UPPERCASE;
  if (args.digitsOnly) style |= ES_NUMBER;
  Control::Create(parent, WC_EDITW, args.text, style, args.border ? WS_EX_CLIENTEDGE : 0, args.rect, args.id);
  if (args.maxLength > 0) SetMaxLength(args.maxLength);
  if (!args.tooltip.empty()) SetTooltip(args.tooltip);
}

void Edit::SelectAll() { SetSelection(0, -1); }

void Edit::SetSelection(int start, int end) {
  if (handle_) SendMessageW(handle_, EM_SETSEL, static_cast<WPARAM>(start), static_cast<LPARAM>(end));
}

std::pair<int, int> Edit::Selection() const {
  DWORD start = 0;
  DWORD end = 0;
  if (handle_) SendMessageW(handle_, EM_GETSEL, reinterpret_cast<WPARAM>(&start), reinterpret_cast<LPARAM>(&end));
  return {static_cast<int>(start), static_cast<int>(end)};
}

void Edit::ReplaceSelection(std::string_view text) {
  if (handle_) SendMessageW(handle_, EM_REPLACESEL, TRUE, reinterpret_cast<LPARAM>(Wide(text).c_str()));
}

void Edit::SetReadOnly(bool on) {
  if (handle_) SendMessageW(handle_, EM_SETREADONLY, on ? TRUE : FALSE, 0);
}

bool Edit::ReadOnly() const { return handle_ && (GetWindowLongPtrW(handle_, GWL_STYLE) & ES_READONLY) != 0; }

void Edit::SetMaxLength(int characters) {
  if (handle_) SendMessageW(handle_, EM_SETLIMITTEXT, static_cast<WPARAM>(characters), 0);
}

void Edit::AppendText(std::string_view text) {
  if (!handle_) return;
  int end = GetWindowTextLengthW(handle_);
  SetSelection(end, end);
  ReplaceSelection(text);
  SendMessageW(handle_, EM_SCROLLCARET, 0, 0);
}

namespace {

bool IsMultiline(HWND edit) { return (GetWindowLongPtrW(edit, GWL_STYLE) & ES_MULTILINE) != 0; }

// Enter reaches a single-line edit that acts on it, in spite of the
// dialog keyboard handling.
std::optional<LRESULT> EnterKeys(HWND edit, const std::function<void()>& onEnter, UINT message, WPARAM wParam,
                                 LPARAM lParam) {
  if (!onEnter || IsMultiline(edit)) return std::nullopt;
  if (message == WM_GETDLGCODE) {
    const MSG* pending = reinterpret_cast<const MSG*>(lParam);
    if (pending && pending->message == WM_KEYDOWN && pending->wParam == VK_RETURN) {
      return detail::CallOriginal(edit, message, wParam, lParam) | DLGC_WANTALLKEYS;
    }
  } else if (message == WM_KEYDOWN && wParam == VK_RETURN) {
    detail::Raise(onEnter);
    return 0;
  } else if (message == WM_CHAR && (wParam == L'\r' || wParam == L'\n')) {
    return 0;  // no beep
  }
  return std::nullopt;
}

bool CtrlA(UINT message, WPARAM wParam) {
  return message == WM_KEYDOWN && wParam == 'A' && (GetKeyState(VK_CONTROL) & 0x8000) && !(GetKeyState(VK_MENU) & 0x8000);
}

}  // namespace

std::optional<LRESULT> Edit::HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) {
  if (auto handled = Control::HandleMessage(message, wParam, lParam)) return handled;
  if (CtrlA(message, wParam)) {
    SelectAll();
    return 0;
  }
  if (message == WM_CHAR && wParam == 1) return 0;  // the Ctrl+A character
  return EnterKeys(handle_, onEnter, message, wParam, lParam);
}

std::optional<LRESULT> Edit::HandleReflected(UINT message, WPARAM wParam, LPARAM) {
  if (message == WM_COMMAND) {
    if (Notification(wParam) == EN_CHANGE) detail::Raise(onChanged);
    return 0;
  }
  return std::nullopt;
}

// ---- NumericEdit ----

void NumericEdit::Create(Parent parent, const NumericEditArgs& args) {
  decimals_ = args.decimals;
  step_ = args.step;
  min_ = args.min;
  max_ = args.max;
  DWORD style = kChild | WS_TABSTOP | WS_CLIPCHILDREN | ES_AUTOHSCROLL | static_cast<DWORD>(detail::AlignStyleOfEdit(args.align));
  Control::Create(parent, WC_EDITW, base::FormatFixed(std::clamp(args.value, min_, max_), decimals_), style,
                  args.border ? WS_EX_CLIENTEDGE : 0, args.rect, args.id);
  if (!handle_) return;
  if (args.maxLength > 0) SendMessageW(handle_, EM_SETLIMITTEXT, static_cast<WPARAM>(args.maxLength), 0);
  if (args.spinButtons) {
    spin_ = CreateWindowExW(0, UPDOWN_CLASSW, nullptr, WS_CHILD | WS_VISIBLE | UDS_NOTHOUSANDS, 0, 0, 0, 0, handle_,
                            nullptr, App::Instance(), nullptr);
    if (spin_) {
      SendMessageW(spin_, UDM_SETRANGE32, 0, 100);
      SendMessageW(spin_, UDM_SETPOS32, 0, 50);
      AttachPart(spin_);
      PlaceSpin();
    }
  }
  if (!args.tooltip.empty()) SetTooltip(args.tooltip);
}

void NumericEdit::PlaceSpin() {
  if (!spin_ || !handle_) return;
  RECT client;
  GetClientRect(handle_, &client);
  int width = std::min<int>(dpi_.Scale(16), client.right / 2);
  SetWindowPos(spin_, nullptr, client.right - width, 0, width, client.bottom, SWP_NOZORDER | SWP_NOACTIVATE);
  SendMessageW(handle_, EM_SETMARGINS, EC_RIGHTMARGIN, MAKELPARAM(0, width + 1));
}

void NumericEdit::MovePixels(const RECT& rect) {
  Control::MovePixels(rect);
  PlaceSpin();
}

void NumericEdit::Show(bool on) { Control::Show(on); }

void NumericEdit::Enable(bool on) {
  Control::Enable(on);
  if (spin_) EnableWindow(spin_, on ? TRUE : FALSE);
}

std::optional<double> NumericEdit::Value() const { return base::ParseDecimal(base::Trim(Text())); }

void NumericEdit::SetValue(double value) {
  if (std::isnan(value)) return;
  SetText(base::FormatFixed(std::clamp(value, min_, max_), decimals_));
}

void NumericEdit::StepBy(int steps) {
  double start = Value().value_or(std::clamp(0.0, min_, max_));
  double scale = std::pow(10.0, decimals_);
  double next = std::round((start + steps * step_) * scale) / scale;
  SetValue(next);
  if (handle_) {
    int end = GetWindowTextLengthW(handle_);
    SendMessageW(handle_, EM_SETSEL, static_cast<WPARAM>(end), end);
  }
}

void NumericEdit::SetReadOnly(bool on) {
  if (handle_) SendMessageW(handle_, EM_SETREADONLY, on ? TRUE : FALSE, 0);
}

void NumericEdit::SetRange(double min, double max) {
  min_ = min;
  max_ = max;
}

void NumericEdit::SelectAll() {
  if (handle_) SendMessageW(handle_, EM_SETSEL, 0, -1);
}

std::optional<LRESULT> NumericEdit::HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) {
  if (auto handled = Control::HandleMessage(message, wParam, lParam)) return handled;
  switch (message) {
    case WM_MOUSEWHEEL: {
      wheelRest_ += GET_WHEEL_DELTA_WPARAM(wParam);
      int steps = wheelRest_ / WHEEL_DELTA;
      wheelRest_ %= WHEEL_DELTA;
      if (steps != 0 && IsWindowEnabled(handle_) && !(GetWindowLongPtrW(handle_, GWL_STYLE) & ES_READONLY)) StepBy(steps);
      return 0;
    }
    case WM_KEYDOWN:
      if (wParam == VK_UP || wParam == VK_DOWN) {
        StepBy(wParam == VK_UP ? 1 : -1);
        return 0;
      }
      if (CtrlA(message, wParam)) {
        SelectAll();
        return 0;
      }
      break;
    case WM_CHAR:
      if (wParam == 1) return 0;
      break;
    case WM_SIZE:
      PlaceSpin();
      break;
    default:
      break;
  }
  return EnterKeys(handle_, onEnter, message, wParam, lParam);
}

std::optional<LRESULT> NumericEdit::HandleReflected(UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_COMMAND) {
    if (Notification(wParam) == EN_CHANGE) detail::Raise(onChanged);
    return 0;
  }
  if (message == WM_NOTIFY) {
    auto* header = reinterpret_cast<NMHDR*>(lParam);
    if (header->hwndFrom == spin_ && header->code == UDN_DELTAPOS) {
      auto* delta = reinterpret_cast<NMUPDOWN*>(lParam);
      StepBy(delta->iDelta > 0 ? 1 : -1);
      return 1;  // the arrows keep no position of their own
    }
  }
  if (message == WM_VSCROLL) return 0;
  return std::nullopt;
}

// ---- SpinButtons ----

void SpinButtons::Create(Parent parent, const SpinButtonsArgs& args) {
  DWORD style = kChild | UDS_NOTHOUSANDS | (args.horizontal ? UDS_HORZ : 0);
  Control::Create(parent, UPDOWN_CLASSW, "", style, 0, args.rect, args.id);
  if (!handle_) return;
  SendMessageW(handle_, UDM_SETRANGE32, 0, 100);
  SendMessageW(handle_, UDM_SETPOS32, 0, 50);
  if (!args.tooltip.empty()) SetTooltip(args.tooltip);
}

std::optional<LRESULT> SpinButtons::HandleReflected(UINT message, WPARAM, LPARAM lParam) {
  if (message == WM_NOTIFY && reinterpret_cast<NMHDR*>(lParam)->code == UDN_DELTAPOS) {
    auto* delta = reinterpret_cast<NMUPDOWN*>(lParam);
    if (delta->iDelta > 0) {
      detail::Raise(onUp);
    } else {
      detail::Raise(onDown);
    }
    return 1;
  }
  if (message == WM_VSCROLL || message == WM_HSCROLL) return 0;
  return std::nullopt;
}

// ---- ComboBox ----

void ComboBox::Create(Parent parent, const ComboBoxArgs& args) {
  DWORD style = kChild | WS_TABSTOP | WS_VSCROLL | (args.editable ? (CBS_DROPDOWN | CBS_AUTOHSCROLL) : CBS_DROPDOWNLIST);
  dropHeight_ = args.dropHeight;
  Rect rect = args.rect;
  rect.height = args.dropHeight;
  Control::Create(parent, WC_COMBOBOXW, "", style, 0, rect, args.id);
  SetItems(args.items);
  Select(args.selected);
  if (!args.tooltip.empty()) SetTooltip(args.tooltip);
}

void ComboBox::MovePixels(const RECT& rect) {
  RECT withList = rect;
  withList.bottom = rect.top + dpi_.Scale(dropHeight_);
  Control::MovePixels(withList);
}

void ComboBox::SetItems(const std::vector<std::string>& items) {
  Clear();
  for (const std::string& item : items) AddItem(item);
}

int ComboBox::AddItem(std::string_view text) {
  if (!handle_) return -1;
  return static_cast<int>(SendMessageW(handle_, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(Wide(text).c_str())));
}

void ComboBox::Clear() {
  if (handle_) SendMessageW(handle_, CB_RESETCONTENT, 0, 0);
}

int ComboBox::Count() const { return handle_ ? static_cast<int>(SendMessageW(handle_, CB_GETCOUNT, 0, 0)) : 0; }

std::string ComboBox::ItemText(int index) const {
  if (!handle_) return {};
  LRESULT length = SendMessageW(handle_, CB_GETLBTEXTLEN, static_cast<WPARAM>(index), 0);
  if (length == CB_ERR) return {};
  std::wstring text(static_cast<size_t>(length) + 1, L'\0');
  SendMessageW(handle_, CB_GETLBTEXT, static_cast<WPARAM>(index), reinterpret_cast<LPARAM>(text.data()));
  text.resize(static_cast<size_t>(length));
  return Utf8(text);
}

int ComboBox::Selected() const {
  if (!handle_) return -1;
  LRESULT selected = SendMessageW(handle_, CB_GETCURSEL, 0, 0);
  return selected == CB_ERR ? -1 : static_cast<int>(selected);
}

void ComboBox::Select(int index) {
  if (handle_) SendMessageW(handle_, CB_SETCURSEL, static_cast<WPARAM>(index), 0);
}

std::optional<LRESULT> ComboBox::HandleReflected(UINT message, WPARAM wParam, LPARAM) {
  if (message == WM_COMMAND) {
    switch (Notification(wParam)) {
      case CBN_SELCHANGE:
      case CBN_EDITCHANGE:
        detail::Raise(onChanged);
        break;
      case CBN_DROPDOWN:
        detail::Raise(onDropDown);
        break;
      default:
        break;
    }
    return 0;
  }
  return std::nullopt;
}

// ---- TrackBar ----

void TrackBar::Create(Parent parent, const TrackBarArgs& args) {
  Control::Create(parent, TRACKBAR_CLASSW, "",
                  kChild | WS_TABSTOP | TBS_HORZ | TBS_BOTTOM | (args.ticks > 0 ? TBS_AUTOTICKS : TBS_NOTICKS), 0,
                  args.rect, args.id);
  SetRange(args.min, args.max);
  if (args.ticks > 0) SendMessageW(handle_, TBM_SETTICFREQ, static_cast<WPARAM>(args.ticks), 0);
  SendMessageW(handle_, TBM_SETPAGESIZE, 0, 16);
  SetPosition(args.position);
  if (!args.tooltip.empty()) SetTooltip(args.tooltip);
}

int TrackBar::Position() const { return handle_ ? static_cast<int>(SendMessageW(handle_, TBM_GETPOS, 0, 0)) : 0; }

void TrackBar::SetPosition(int position) {
  if (handle_) SendMessageW(handle_, TBM_SETPOS, TRUE, position);
}

void TrackBar::SetRange(int min, int max) {
  if (!handle_) return;
  SendMessageW(handle_, TBM_SETRANGEMIN, FALSE, min);
  SendMessageW(handle_, TBM_SETRANGEMAX, TRUE, max);
}

std::optional<LRESULT> TrackBar::HandleReflected(UINT message, WPARAM wParam, LPARAM) {
  if (message == WM_HSCROLL || message == WM_VSCROLL) {
    // Every move while dragging and every key step; the final
    // TB_ENDTRACK repeats the last position and is left out.
    if (LOWORD(wParam) != TB_ENDTRACK) detail::Raise(onChanged, Position());
    return 0;
  }
  return std::nullopt;
}

}  // namespace win
