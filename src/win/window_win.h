// Top-level windows and dialogs built in code (no dialog templates).
#pragma once

#include <windows.h>

#include <cstdint>
#include <functional>
#include <optional>
#include <string>

#include "win/control_win.h"

namespace win {

class Menu;

struct WindowArgs {
  std::string title{};
  // Client size in 96-dpi units; x and y are the screen position in 96-dpi
  // units, or CW_USEDEFAULT for the system's choice.
  Rect rect{static_cast<int>(CW_USEDEFAULT), static_cast<int>(CW_USEDEFAULT), 640, 480};
  HWND owner = nullptr;
  bool sizeable = true;
  bool minimizeBox = true;
  bool maximizeBox = true;
  bool borderless = false;  // a popup without caption or frame
  bool toolWindow = false;  // no task-bar button, small caption
  bool topMost = false;
  bool dropShadow = false;  // CS_DROPSHADOW (a separate window class)
  std::optional<uint8_t> alpha{};  // layered window with this opacity
  Size minSize{};                // client, 96-dpi units; 0 = none
  HICON icon = nullptr;          // big and small icon
  COLORREF background = kDefaultColor;  // the dialog face colour
  bool quitOnDestroy = false;  // the main window ends the message loop
};

class Window : public Control {
 public:
  Window() = default;
  explicit Window(const WindowArgs& args) { Create(args); }
  ~Window() override;

  // Creates the window hidden; onCreate runs before Create returns, and
  // onSize once with the first client size.
  void Create(const WindowArgs& args);
  void Destroy();
  void Close();  // as the close box: onClose may cancel

  void SetTitle(std::string_view title) { SetText(title); }
  void SetIcon(HICON icon);
  void SetMenu(Menu* menu);  // the menu bar; its commands reach menu->onCommand
  Menu* MenuBar() const { return menu_; }
  void SetAlpha(uint8_t alpha);  // makes the window layered
  void SetTopMost(bool on);
  void SetMinSize(Size clientMin);
  void SetBackground(COLORREF color);
  COLORREF Background() const override { return background_; }
  void CenterOn(HWND other);  // the screen's work area when other is null
  void MoveOnScreen(const Rect& rect);  // screen position and client size, 96-dpi units
  void ShowNormal();   // shows, restores from minimised, activates
  void Minimize();
  void Maximize();
  bool Minimized() const;
  void Activate();  // to the foreground

  std::function<void()> onCreate;
  std::function<void(Size client)> onSize;  // 96-dpi units
  std::function<void(bool& cancel)> onClose;
  std::function<void()> onDestroy;
  std::function<void(bool active)> onActivate;
  std::function<void(int id)> onCommand;  // WM_COMMAND of a menu or accelerator without a wrapper
  // Messages the view handles itself (0x463 quote messages, ...), seen first.
  std::function<std::optional<LRESULT>(UINT message, WPARAM wParam, LPARAM lParam)> onMessage;

 protected:
  std::optional<LRESULT> HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) override;
  void Destroyed() override;
  // The window's own handling, after the view's onMessage hook.
  std::optional<LRESULT> WindowMessage(UINT message, WPARAM wParam, LPARAM lParam);
  // WM_COMMAND IDOK / IDCANCEL sent by the keyboard navigation (Enter, Esc).
  virtual void OnDialogKey(int /*id*/) {}

 private:
  Menu* menu_ = nullptr;
  Size minSize_{};
  COLORREF background_ = kDefaultColor;
  HBRUSH brush_ = nullptr;
  bool quitOnDestroy_ = false;
};

struct DialogArgs {
  std::string title{};
  Size size{400, 300};  // client, 96-dpi units
  HWND owner = nullptr;
  bool sizeable = false;
  bool toolWindow = false;
  bool topMost = false;
  bool minimizeBox = false;
  bool keepOnClose = true;  // closing hides the dialog, which is kept for the next use
  HICON icon = nullptr;
  Size minSize{};
};

// A dialog frame: dialog face colour, Tab/Esc/Enter handling, modal or
// modeless. Dialogs are created once and kept; closing only hides them.
class Dialog : public Window {
 public:
  Dialog() = default;
  explicit Dialog(const DialogArgs& args) { Create(args); }
  void Create(const DialogArgs& args);

  // Shows the dialog modally: the owner is disabled, the dialog runs its own
  // message loop (other windows of the thread still get their messages,
  // quote messages included) until EndModal or closing. Returns the result
  // given to EndModal, IDCANCEL when closed.
  int ShowModal();
  void EndModal(int result);
  bool IsModal() const { return modal_; }
  // Shows the dialog without blocking, centred on the owner the first time.
  void ShowModeless();
  // Hides a modeless dialog, or ends a modal one with IDCANCEL, after
  // onClose allowed it.
  void CloseDialog();

  // The button Enter presses when the focus is not on another button.
  void SetDefaultButton(int id);

  std::function<void()> onShow;    // each time the dialog is shown
  std::function<void()> onEnter;   // Enter (without a default button)
  std::function<void()> onEscape;  // Esc; by default the dialog closes

 protected:
  void OnDialogKey(int id) override;
  std::optional<LRESULT> HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) override;

 private:
  bool modal_ = false;
  bool endModal_ = false;
  int result_ = IDCANCEL;
  bool keepOnClose_ = true;
  bool centred_ = false;
  HWND owner_ = nullptr;
  int defaultButton_ = 0;
};

}  // namespace win
