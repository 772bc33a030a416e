// Menus, message boxes, image lists and the tray icon.
#pragma once

#include <windows.h>

#include <commctrl.h>

#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "win/timer_win.h"

namespace win {

// ---- Menus ---------------------------------------------------------------

struct MenuItem {
  std::string caption{};  // with & before the accelerator letter
  int id = 0;           // the command; 0 for a sub-menu or a separator
  bool checked = false;
  bool enabled = true;
  bool separator = false;
  bool rightJustify = false;  // menu bar: this and the following items sit at the right end
  std::vector<MenuItem> items{};  // a sub-menu when not empty
};

inline MenuItem MenuSeparator() {
  MenuItem item{};
  item.separator = true;
  return item;
}

// A menu bar or a pop-up menu built from a tree. The menu owns its HMENU
// unless it was handed to a window as its menu bar (the window destroys it).
class Menu {
 public:
  static constexpr bool kBar = true;
  static constexpr bool kPopup = false;
  Menu(const std::vector<MenuItem>& items, bool bar);
  Menu(const Menu&) = delete;
  Menu& operator=(const Menu&) = delete;
  ~Menu();

  HMENU Handle() const { return menu_; }
  void SetChecked(int id, bool on);
  bool Checked(int id) const;
  void SetEnabled(int id, bool on);
  bool Enabled(int id) const;
  void SetCaption(int id, std::string_view caption);
  std::string Caption(int id) const;
  bool Contains(int id) const;
  // An icon before an item's caption (a bitmap made from the icon, owned by
  // the menu).
  void SetItemIcon(int id, HICON icon);

  // Pop-up menus: shows the menu at a screen point and returns the chosen
  // command (0 when none); the command also goes to onCommand.
  int Track(HWND owner, POINT screen);

  // Commands of this menu, when it is a window's menu bar or tracked.
  std::function<void(int id)> onCommand;

  // The window whose menu bar this is (set by Window::SetMenu).
  void AttachedTo(HWND window) { window_ = window; }

 private:
  HMENU menu_ = nullptr;
  HWND window_ = nullptr;
  bool bar_ = false;
  std::vector<HBITMAP> bitmaps_{};
};

// ---- Message boxes -------------------------------------------------------

enum class BoxIcon { None, Information, Question, Warning, Error };

// Modal boxes with UTF-8 texts; the owner is disabled meanwhile and the
// thread's other windows keep their messages.
void ShowInfo(HWND owner, std::string_view text, std::string_view title,
              BoxIcon icon = BoxIcon::Information);
bool AskYesNo(HWND owner, std::string_view text, std::string_view title,
              BoxIcon icon = BoxIcon::Question);  // true: Yes
// An information box with a check box below the text (the "do not show
// again" box); `checked` is the check box's state before and after.
void ShowInfoWithCheck(HWND owner, std::string_view text, std::string_view title,
                       std::string_view checkText, bool& checked);
// The file-open dialog. `filter` is "description|pattern" pairs joined by
// "|" ("*.exe|*.exe"); `startFolder` is where it opens when given. The
// chosen path, or nullopt when cancelled.
std::optional<std::string> ChooseOpenFile(HWND owner, std::string_view title, std::string_view filter,
                                          std::string_view startFolder);
// The file-save dialog, with the same filter; `extension` (no dot) is
// added to a name typed without one; an existing file is asked about.
std::optional<std::string> ChooseSaveFile(HWND owner, std::string_view title, std::string_view filter,
                                          std::string_view extension);

// ---- Image lists ---------------------------------------------------------

// An image source: a resource id of the program, or a .ico/.bmp file path.
struct ImageSource {
  int resourceId = 0;
  std::string path{};
  ImageSource(int id) : resourceId(id) {}                      // NOLINT
  ImageSource(std::string file) : path(std::move(file)) {}     // NOLINT
  ImageSource(const char* file) : path(file) {}                // NOLINT
};

class ImageList {
 public:
  explicit ImageList(int size = 16);  // pixels per side
  ImageList(int size, const std::vector<ImageSource>& sources);
  ImageList(const ImageList&) = delete;
  ImageList& operator=(const ImageList&) = delete;
  ~ImageList();

  // Each returns the new image's index, or -1 when the picture could not be
  // loaded (an empty image keeps the indexes of the later ones).
  int Add(const ImageSource& source);
  int AddIcon(HICON icon);  // copied; the caller keeps its icon
  HIMAGELIST Handle() const { return list_; }
  int Count() const;
  int Size() const { return size_; }
  // The icon of an image, owned by the list.
  HICON Icon(int index) const;

 private:
  HIMAGELIST list_ = nullptr;
  int size_{};
  mutable std::vector<HICON> icons_{};
};

// Loads a 16x16 (or `size`) icon from the program's resources or a file.
HICON LoadIconSource(const ImageSource& source, int size = 16);

// ---- Tray icon -----------------------------------------------------------

struct TrayIconArgs {
  HICON icon = nullptr;  // not owned
  std::string tip{};
  UINT id = 1;
};

enum class BalloonIcon { Info, Warning };

// The notification-area icon, with its own hidden window for the callbacks.
// It is added again when the task bar restarts ("TaskbarCreated").
class TrayIcon {
 public:
  explicit TrayIcon(const TrayIconArgs& args);
  TrayIcon(const TrayIcon&) = delete;
  TrayIcon& operator=(const TrayIcon&) = delete;
  ~TrayIcon();  // removes the icon

  bool Add();
  void Remove();
  bool Added() const { return added_; }
  void SetTip(std::string_view tip);
  std::string Tip() const { return tip_; }
  void SetIcon(HICON icon);
  HICON CurrentIcon() const { return icon_; }
  // A balloon (title, text, icon) for `timeoutMs`.
  bool ShowBalloon(std::string_view title, std::string_view text, int timeoutMs = 10000,
                   BalloonIcon icon = BalloonIcon::Info);
  BalloonIcon LastBalloonIcon() const { return balloonIcon_; }
  std::string BalloonTitle() const { return balloonTitle_; }  // of the last balloon
  std::string BalloonText() const { return balloonText_; }

  // Animation: the icon steps through the frames every interval; stopping
  // shows the first frame.
  void SetAnimation(std::vector<HICON> frames, int intervalMs = 300);
  void StartAnimation();
  void StopAnimation();
  bool Animating() const { return animation_.Enabled(); }
  int Frame() const { return frame_; }

  HWND WindowHandle() const { return window_; }

  std::function<void()> onLeftClick;
  std::function<void()> onDoubleClick;
  std::function<void(POINT screen)> onRightClick;
  std::function<void()> onBalloonClick;

 private:
  static LRESULT CALLBACK Proc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
  bool Notify(DWORD message, UINT flags);
  HWND window_ = nullptr;
  UINT id_{};
  HICON icon_{};
  std::string tip_{};
  std::string balloonTitle_{};
  std::string balloonText_{};
  int balloonMs_ = 10000;
  BalloonIcon balloonIcon_ = BalloonIcon::Info;
  bool added_ = false;
  std::vector<HICON> frames_{};
  int frame_ = 0;
  Timer animation_{};
};

}  // namespace win
