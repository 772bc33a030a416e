#include "win/shell_win.h"

#include <commdlg.h>

#include <commctrl.h>
#include <shellapi.h>

#include <algorithm>
#include <cwctype>

#include "win/app_win.h"
#include "win/controls_win.h"
#include "win/internal_win.h"
#include "win/text_win.h"
#include "win/window_win.h"

namespace win {

// ---- Menu ----

namespace {

void AppendItems(HMENU menu, const std::vector<MenuItem>& items, bool bar) {
  for (const MenuItem& item : items) {
    if (item.separator) {
      AppendMenuW(menu, MF_SEPARATOR, 0, nullptr);
      continue;
    }
    std::wstring caption = Wide(item.caption);
    MENUITEMINFOW info{};
    info.cbSize = sizeof(info);
    info.fMask = MIIM_STRING | MIIM_FTYPE | MIIM_STATE;
    info.fType = MFT_STRING | (bar && item.rightJustify ? MFT_RIGHTJUSTIFY : 0);
    info.fState = (item.checked ? MFS_CHECKED : 0) | (item.enabled ? 0 : MFS_DISABLED);
    info.dwTypeData = caption.data();
    if (!item.items.empty()) {
      HMENU sub = CreatePopupMenu();
      AppendItems(sub, item.items, false);
      info.fMask |= MIIM_SUBMENU;
      info.hSubMenu = sub;
    } else {
      info.fMask |= MIIM_ID;
      info.wID = static_cast<UINT>(item.id);
    }
    InsertMenuItemW(menu, GetMenuItemCount(menu), TRUE, &info);
  }
}

}  // namespace

Menu::Menu(const std::vector<MenuItem>& items, bool bar) : bar_(bar) {
  menu_ = bar ? CreateMenu() : CreatePopupMenu();
  AppendItems(menu_, items, bar);
}

Menu::~Menu() {
  if (window_) {
    // A window destroys its menu bar with itself.
    if (IsWindow(window_) && GetMenu(window_) == menu_) {
      SetMenu(window_, nullptr);
      DestroyMenu(menu_);
    }
  } else if (menu_) {
    DestroyMenu(menu_);
  }
  for (HBITMAP bitmap : bitmaps_) DeleteObject(bitmap);
}

void Menu::SetChecked(int id, bool on) {
  CheckMenuItem(menu_, static_cast<UINT>(id), MF_BYCOMMAND | (on ? MF_CHECKED : MF_UNCHECKED));
}

bool Menu::Checked(int id) const {
  UINT state = GetMenuState(menu_, static_cast<UINT>(id), MF_BYCOMMAND);
  return state != static_cast<UINT>(-1) && (state & MF_CHECKED);
}

void Menu::SetEnabled(int id, bool on) {
  EnableMenuItem(menu_, static_cast<UINT>(id), MF_BYCOMMAND | (on ? MF_ENABLED : MF_GRAYED));
  if (bar_ && window_) DrawMenuBar(window_);
}

bool Menu::Enabled(int id) const {
  UINT state = GetMenuState(menu_, static_cast<UINT>(id), MF_BYCOMMAND);
  return state != static_cast<UINT>(-1) && !(state & (MF_DISABLED | MF_GRAYED));
}

void Menu::SetCaption(int id, std::string_view caption) {
  std::wstring text = Wide(caption);
  MENUITEMINFOW info{};
  info.cbSize = sizeof(info);
  info.fMask = MIIM_STRING;
  info.dwTypeData = text.data();
  SetMenuItemInfoW(menu_, static_cast<UINT>(id), FALSE, &info);
  if (bar_ && window_) DrawMenuBar(window_);
}

std::string Menu::Caption(int id) const {
  wchar_t text[256] = {};
  GetMenuStringW(menu_, static_cast<UINT>(id), text, 256, MF_BYCOMMAND);
  return Utf8(text);
}

bool Menu::Contains(int id) const { return GetMenuState(menu_, static_cast<UINT>(id), MF_BYCOMMAND) != static_cast<UINT>(-1); }

void Menu::SetItemIcon(int id, HICON icon) {
  if (!icon) return;
  int side = GetSystemMetrics(SM_CXMENUCHECK);
  if (side < 16) side = 16;
  HDC screen = GetDC(nullptr);
  HDC memory = CreateCompatibleDC(screen);
  HBITMAP bitmap = CreateCompatibleBitmap(screen, side, side);
  HGDIOBJ old = SelectObject(memory, bitmap);
  RECT all{0, 0, side, side};
  FillRect(memory, &all, GetSysColorBrush(COLOR_MENU));
  DrawIconEx(memory, (side - 16) / 2, (side - 16) / 2, icon, 16, 16, 0, nullptr, DI_NORMAL);
  SelectObject(memory, old);
  DeleteDC(memory);
  ReleaseDC(nullptr, screen);
  MENUITEMINFOW info{};
  info.cbSize = sizeof(info);
  info.fMask = MIIM_BITMAP;
  info.hbmpItem = bitmap;
  SetMenuItemInfoW(menu_, static_cast<UINT>(id), FALSE, &info);
  bitmaps_.push_back(bitmap);
}

int Menu::Track(HWND owner, POINT screen) {
  HMENU popup = menu_;
  if (bar_) return 0;
  // The menu closes when the user clicks elsewhere only if its owner is in
  // the foreground.
  SetForegroundWindow(owner);
  int id = static_cast<int>(TrackPopupMenu(popup, TPM_RETURNCMD | TPM_RIGHTBUTTON | TPM_NONOTIFY, screen.x, screen.y, 0,
                                           owner, nullptr));
  PostMessageW(owner, WM_NULL, 0, 0);
  if (id != 0) detail::Raise(onCommand, id);
  return id;
}

// ---- Message boxes ----

namespace {

UINT IconFlag(BoxIcon icon) {
  switch (icon) {
    case BoxIcon::Information: return MB_ICONINFORMATION;
    case BoxIcon::Question: return MB_ICONQUESTION;
    case BoxIcon::Warning: return MB_ICONWARNING;
    case BoxIcon::Error: return MB_ICONERROR;
    default: return 0;
  }
}

}  // namespace

void ShowInfo(HWND owner, std::string_view text, std::string_view title, BoxIcon icon) {
  MessageBoxW(owner, Wide(text).c_str(), Wide(title).c_str(), MB_OK | IconFlag(icon) | (owner ? 0 : MB_TASKMODAL));
}

bool AskYesNo(HWND owner, std::string_view text, std::string_view title, BoxIcon icon) {
  return MessageBoxW(owner, Wide(text).c_str(), Wide(title).c_str(), MB_YESNO | IconFlag(icon) | (owner ? 0 : MB_TASKMODAL)) ==
         IDYES;
}

namespace {

// The open and the save dialog: the filter's "|" separators become the NULs
// the dialog wants.
std::optional<std::string> ChooseFile(bool save, HWND owner, std::string_view title, std::string_view filter,
                                      std::string_view startFolder, std::string_view extension) {
  std::wstring filters = Wide(filter);
  std::replace(filters.begin(), filters.end(), L'|', L'\0');
  filters.push_back(L'\0');
  filters.push_back(L'\0');
  const std::wstring caption = Wide(title);
  const std::wstring folder = Wide(startFolder);
  const std::wstring defaultExtension = Wide(extension);
  std::wstring file(MAX_PATH * 4, L'\0');
  OPENFILENAMEW ofn{};
  ofn.lStructSize = sizeof ofn;
  ofn.hwndOwner = owner;
  ofn.lpstrFilter = filters.c_str();
  ofn.lpstrFile = file.data();
  ofn.nMaxFile = static_cast<DWORD>(file.size());
  ofn.lpstrTitle = caption.c_str();
  ofn.lpstrInitialDir = folder.empty() ? nullptr : folder.c_str();
  ofn.lpstrDefExt = defaultExtension.empty() ? nullptr : defaultExtension.c_str();
  ofn.Flags = (save ? OFN_OVERWRITEPROMPT : OFN_FILEMUSTEXIST) | OFN_PATHMUSTEXIST | OFN_HIDEREADONLY | OFN_NOCHANGEDIR;
  if (!(save ? GetSaveFileNameW(&ofn) : GetOpenFileNameW(&ofn))) return std::nullopt;
  return Utf8(file.c_str());
}

}  // namespace

std::optional<std::string> ChooseOpenFile(HWND owner, std::string_view title, std::string_view filter,
                                          std::string_view startFolder) {
  return ChooseFile(false, owner, title, filter, startFolder, {});
}

std::optional<std::string> ChooseSaveFile(HWND owner, std::string_view title, std::string_view filter,
                                          std::string_view extension) {
  return ChooseFile(true, owner, title, filter, {}, extension);
}

void ShowInfoWithCheck(HWND owner, std::string_view text, std::string_view title, std::string_view checkText,
                       bool& checked) {
  // A small dialog of our own: it looks the same with every comctl32.
  Dpi dpi = owner ? Dpi::Of(owner) : Dpi::System();
  HDC screen = GetDC(nullptr);
  HGDIOBJ old = SelectObject(screen, UiFont(dpi));
  std::wstring wide = Wide(text);
  RECT measure{0, 0, dpi.Scale(360), 0};
  DrawTextW(screen, wide.c_str(), -1, &measure, DT_CALCRECT | DT_WORDBREAK | DT_NOPREFIX);
  SelectObject(screen, old);
  ReleaseDC(nullptr, screen);
  int textWidth = std::max(dpi.Unscale(measure.right) + 4, 200);
  int textHeight = std::max(dpi.Unscale(measure.bottom) + 4, 32);
  int width = 12 + 32 + 12 + textWidth + 16;
  int height = 16 + textHeight + 12 + 19 + 12 + 23 + 12;

  Dialog box(DialogArgs{.title = std::string(title), .size = {width, height}, .owner = owner});
  Picture icon(box, PictureArgs{.rect = {12, 16, 32, 32}});
  icon.SetIcon(LoadIconW(nullptr, IDI_INFORMATION));
  Label label(box, LabelArgs{.text = std::string(text), .rect = {56, 16, textWidth, textHeight}});
  CheckBox check(box, CheckBoxArgs{.text = std::string(checkText), .rect = {56, 16 + textHeight + 12, textWidth, 19},
                                   .checked = checked});
  Button ok(box, ButtonArgs{.text = "确定", .rect = {width - 75 - 16, height - 23 - 12, 75, 23}, .id = IDOK,
                            .defaultButton = true});
  ok.onClick = [&] { box.EndModal(IDOK); };
  box.onEnter = [&] { box.EndModal(IDOK); };
  box.SetDefaultButton(IDOK);
  box.onShow = [&] { ok.Focus(); };
  box.ShowModal();
  checked = check.Checked();
}

// ---- Image lists ----

HICON LoadIconSource(const ImageSource& source, int size) {
  if (source.resourceId != 0) {
    return static_cast<HICON>(
        LoadImageW(App::Instance(), MAKEINTRESOURCEW(source.resourceId), IMAGE_ICON, size, size, LR_DEFAULTCOLOR));
  }
  if (source.path.empty()) return nullptr;
  std::wstring path = Wide(source.path);
  std::wstring lower = path;
  std::transform(lower.begin(), lower.end(), lower.begin(), [](wchar_t c) { return static_cast<wchar_t>(std::towlower(c)); });
  if (lower.size() >= 4 && lower.compare(lower.size() - 4, 4, L".bmp") == 0) {
    HBITMAP bitmap = static_cast<HBITMAP>(
        LoadImageW(nullptr, path.c_str(), IMAGE_BITMAP, size, size, LR_LOADFROMFILE | LR_CREATEDIBSECTION));
    if (!bitmap) return nullptr;
    HBITMAP mask = CreateBitmap(size, size, 1, 1, nullptr);
    ICONINFO info{TRUE, 0, 0, mask, bitmap};
    HICON icon = CreateIconIndirect(&info);
    DeleteObject(mask);
    DeleteObject(bitmap);
    return icon;
  }
  return static_cast<HICON>(LoadImageW(nullptr, path.c_str(), IMAGE_ICON, size, size, LR_LOADFROMFILE));
}

ImageList::ImageList(int size) : size_(size) {
  list_ = ImageList_Create(size, size, ILC_COLOR32 | ILC_MASK, 8, 8);
}

ImageList::ImageList(int size, const std::vector<ImageSource>& sources) : ImageList(size) {
  for (const ImageSource& source : sources) Add(source);
}

ImageList::~ImageList() {
  for (HICON icon : icons_) {
    if (icon) DestroyIcon(icon);
  }
  if (list_) ImageList_Destroy(list_);
}

int ImageList::Add(const ImageSource& source) {
  HICON icon = LoadIconSource(source, size_);
  if (!icon) {
    // A blank image, so that the indexes of the later pictures stay as planned.
    std::vector<unsigned char> zeros(static_cast<size_t>(size_) * size_ * 4, 0);
    std::vector<unsigned char> andMask(static_cast<size_t>((size_ + 15) / 16 * 2) * size_, 0xFF);
    HICON blank = CreateIcon(App::Instance(), size_, size_, 1, 32, andMask.data(), zeros.data());
    if (blank) {
      ImageList_ReplaceIcon(list_, -1, blank);
      DestroyIcon(blank);
    }
    return -1;
  }
  int index = AddIcon(icon);
  DestroyIcon(icon);
  return index;
}

int ImageList::AddIcon(HICON icon) { return list_ && icon ? ImageList_ReplaceIcon(list_, -1, icon) : -1; }

int ImageList::Count() const { return list_ ? ImageList_GetImageCount(list_) : 0; }

HICON ImageList::Icon(int index) const {
  if (index < 0 || index >= Count()) return nullptr;
  if (icons_.size() <= static_cast<size_t>(index)) icons_.resize(static_cast<size_t>(index) + 1, nullptr);
  HICON& icon = icons_[static_cast<size_t>(index)];
  if (!icon) icon = ImageList_GetIcon(list_, index, ILD_NORMAL);
  return icon;
}

// ---- Tray icon ----

namespace {

constexpr UINT kTrayCallback = WM_APP + 0x52;

UINT TaskbarCreated() {
  static const UINT message = RegisterWindowMessageW(L"TaskbarCreated");
  return message;
}

template <size_t N>
void CopyText(wchar_t (&target)[N], std::string_view text) {
  lstrcpynW(target, Wide(text).c_str(), static_cast<int>(N));
}

}  // namespace

TrayIcon::TrayIcon(const TrayIconArgs& args) : id_(args.id), icon_(args.icon), tip_(args.tip) {
  static const bool registered = [] {
    WNDCLASSEXW cls{};
    cls.cbSize = sizeof(cls);
    cls.lpfnWndProc = Proc;
    cls.hInstance = App::Instance();
    cls.lpszClassName = L"QvTrayHost";
    return RegisterClassExW(&cls) != 0;
  }();
  (void)registered;
  // A hidden top-level window: message-only windows miss the TaskbarCreated broadcast.
  window_ = CreateWindowExW(WS_EX_TOOLWINDOW, L"QvTrayHost", L"", WS_POPUP, 0, 0, 0, 0, nullptr, nullptr, App::Instance(),
                            nullptr);
  SetWindowLongPtrW(window_, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
  animation_.onTick = [this] {
    if (frames_.empty()) return;
    frame_ = (frame_ + 1) % static_cast<int>(frames_.size());
    SetIcon(frames_[static_cast<size_t>(frame_)]);
  };
}

TrayIcon::~TrayIcon() {
  animation_.Stop();
  Remove();
  if (window_) {
    SetWindowLongPtrW(window_, GWLP_USERDATA, 0);
    DestroyWindow(window_);
  }
}

bool TrayIcon::Notify(DWORD message, UINT flags) {
  NOTIFYICONDATAW data{};
  data.cbSize = sizeof(data);
  data.hWnd = window_;
  data.uID = id_;
  data.uFlags = flags;
  data.uCallbackMessage = kTrayCallback;
  data.hIcon = icon_;
  CopyText(data.szTip, tip_);
  if (flags & NIF_INFO) {
    CopyText(data.szInfoTitle, balloonTitle_);
    CopyText(data.szInfo, balloonText_);
    data.uTimeout = static_cast<UINT>(balloonMs_);
    data.dwInfoFlags = balloonIcon_ == BalloonIcon::Warning ? NIIF_WARNING : NIIF_INFO;
  }
  return Shell_NotifyIconW(message, &data) != FALSE;
}

bool TrayIcon::Add() {
  if (added_) return true;
  added_ = Notify(NIM_ADD, NIF_MESSAGE | NIF_ICON | NIF_TIP);
  if (added_) {
    NOTIFYICONDATAW data{};
    data.cbSize = sizeof(data);
    data.hWnd = window_;
    data.uID = id_;
    data.uVersion = NOTIFYICON_VERSION;
    Shell_NotifyIconW(NIM_SETVERSION, &data);
  }
  return added_;
}

void TrayIcon::Remove() {
  if (!added_) return;
  Notify(NIM_DELETE, 0);
  added_ = false;
}

void TrayIcon::SetTip(std::string_view tip) {
  tip_ = std::string(tip);
  if (added_) Notify(NIM_MODIFY, NIF_TIP);
}

void TrayIcon::SetIcon(HICON icon) {
  icon_ = icon;
  if (added_) Notify(NIM_MODIFY, NIF_ICON);
}

bool TrayIcon::ShowBalloon(std::string_view title, std::string_view text, int timeoutMs, BalloonIcon icon) {
  balloonIcon_ = icon;
  balloonTitle_ = std::string(title);
  balloonText_ = std::string(text);
  balloonMs_ = timeoutMs;
  return added_ && Notify(NIM_MODIFY, NIF_INFO);
}

void TrayIcon::SetAnimation(std::vector<HICON> frames, int intervalMs) {
  frames_ = std::move(frames);
  frame_ = 0;
  animation_.SetInterval(intervalMs);
}

void TrayIcon::StartAnimation() {
  if (frames_.size() > 1) animation_.Start();
}

void TrayIcon::StopAnimation() {
  animation_.Stop();
  frame_ = 0;
  if (!frames_.empty()) SetIcon(frames_.front());
}

LRESULT CALLBACK TrayIcon::Proc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  auto* tray = reinterpret_cast<TrayIcon*>(GetWindowLongPtrW(window, GWLP_USERDATA));
  if (tray && message == kTrayCallback) {
    switch (LOWORD(lParam)) {
      case WM_LBUTTONUP:
        detail::Raise(tray->onLeftClick);
        break;
      case WM_LBUTTONDBLCLK:
        detail::Raise(tray->onDoubleClick);
        break;
      case WM_RBUTTONUP: {
        POINT screen{};
        GetCursorPos(&screen);
        detail::Raise(tray->onRightClick, screen);
        break;
      }
      case NIN_BALLOONUSERCLICK:
        detail::Raise(tray->onBalloonClick);
        break;
      default:
        break;
    }
    return 0;
  }
  if (tray && message == TaskbarCreated() && tray->added_) {
    // The task bar restarted and forgot every icon; when the icon is still
    // known (the message came without a restart) it stays as it is.
    tray->added_ = false;
    if (!tray->Add()) tray->added_ = tray->Notify(NIM_MODIFY, NIF_ICON | NIF_TIP);
    return 0;
  }
  return DefWindowProcW(window, message, wParam, lParam);
}

}  // namespace win
