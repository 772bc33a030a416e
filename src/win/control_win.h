// The base of every wrapper: one window handle, its DPI, its text, state and
// position, and the events every control can raise. Messages a control's
// parent receives about it (WM_COMMAND, WM_NOTIFY, WM_CTLCOLOR*, scrolls) are
// handed back to the control itself, whichever of our windows its parent is.
#pragma once

#include <windows.h>

#include <commctrl.h>

#include <functional>
#include <optional>
#include <string>
#include <string_view>

#include "win/app_win.h"

namespace win {

// Position and size in 96-dpi units, relative to the parent's client area.
struct Rect {
  int x = 0;
  int y = 0;
  int width = 0;
  int height = 0;
};

struct Size {
  int width = 0;
  int height = 0;
};

enum class Align { Left, Center, Right };

// "No colour given": the control's normal colour.
constexpr COLORREF kDefaultColor = CLR_DEFAULT;

class Control;

// Where a control is created: any window handle or any wrapper.
class Parent {
 public:
  Parent(HWND window) : handle_(window) {}  // NOLINT: implicit on purpose
  Parent(const Control& control);          // NOLINT
  HWND Handle() const { return handle_; }

 private:
  HWND handle_{};
};

class Control {
 public:
  Control(const Control&) = delete;
  Control& operator=(const Control&) = delete;
  virtual ~Control();

  HWND Handle() const { return handle_; }
  explicit operator bool() const { return handle_ != nullptr; }
  int Id() const;
  const Dpi& dpi() const { return dpi_; }

  virtual void SetText(std::string_view text);
  virtual std::string Text() const;
  virtual void Enable(bool on = true);
  bool Enabled() const;
  virtual void Show(bool on = true);
  bool Visible() const;  // the control's own WS_VISIBLE style
  // In 96-dpi units relative to the parent's client area; MovePixels takes
  // device pixels.
  void Move(const Rect& rect);
  virtual void MovePixels(const RECT& rect);
  RECT BoundsPixels() const;  // relative to the parent's client area
  Rect Bounds() const;        // the same in 96-dpi units
  Size ClientSize() const;    // 96-dpi units
  void Focus();
  bool Focused() const;
  void Redraw();      // invalidates and paints at once
  void BringToTop();  // top of the sibling z-order
  // A tool tip on the whole control (multi-line text allowed), optionally
  // with a title; shown for kTooltipShowMs. An empty text removes it.
  void SetTooltip(std::string_view text, std::string_view title = {});
  std::string Tooltip() const { return tooltipText_; }

  // The wrapper of a window handle, when it is one of ours.
  static Control* FromHandle(HWND window);
  // The background colour a container paints (kDefaultColor: the system's
  // dialog face); labels on it take the same.
  virtual COLORREF Background() const { return kDefaultColor; }

  // Events every control raises. onKeyDown returns true when it consumed the
  // key. Points are client pixels of the control.
  std::function<bool(UINT virtualKey)> onKeyDown;
  std::function<void(UINT virtualKey)> onKeyUp;
  std::function<void()> onFocusGained;
  std::function<void()> onFocusLost;
  std::function<void(POINT client)> onMouseMove;
  std::function<void()> onMouseLeave;

 protected:
  Control() = default;
  // Creates the window (position in 96-dpi units) and attaches the wrapper:
  // the UI font, the subclass that routes messages here. An id of 0 takes
  // the next free one (from 1000, away from IDOK and IDCANCEL).
  void Create(Parent parent, const wchar_t* windowClass, std::string_view text, DWORD style, DWORD exStyle,
              const Rect& rect, int id);
  // Attaches a window created elsewhere (a part of a composite control) so
  // that its notifications reach this wrapper.
  void AttachPart(HWND part);
  // Attaches the wrapper to a window it created itself (top-level windows).
  void Attach(HWND window);

  // Messages of the control's own window; nullopt passes them on.
  virtual std::optional<LRESULT> HandleMessage(UINT message, WPARAM wParam, LPARAM lParam);
  // Messages the parent received about this control (WM_COMMAND, WM_NOTIFY,
  // WM_CTLCOLOR*, WM_HSCROLL/WM_VSCROLL, WM_DRAWITEM); nullopt passes them on.
  virtual std::optional<LRESULT> HandleReflected(UINT message, WPARAM wParam, LPARAM lParam);
  // After the window is gone (WM_NCDESTROY): the handle is already null.
  virtual void Destroyed() {}

  LRESULT CallDefault(UINT message, WPARAM wParam, LPARAM lParam);
  static int NextId();

  HWND handle_ = nullptr;
  Dpi dpi_{};

 private:
  friend LRESULT RouteMessage(Control*, HWND, UINT, WPARAM, LPARAM);
  friend bool ReflectToChild(UINT, WPARAM, LPARAM, LRESULT&);
  void Detach(HWND window);
  HWND tooltip_ = nullptr;
  std::string tooltipText_{};
  bool tracking_ = false;
};

// Hands a notification of a child window to the child's wrapper; true with
// `result` set when the wrapper handled it. Every window procedure of the
// layer calls it; a view with a window of its own may too.
bool ReflectToChild(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result);

// A plain child container (a page, a bottom panel, a tool strip): hosts
// controls and passes their notifications on to them.
struct PanelArgs {
  Rect rect{};
  int id = 0;
  COLORREF background = kDefaultColor;  // the window colour of dialogs
  bool border = false;
  bool visible = true;
};

class Panel : public Control {
 public:
  Panel() = default;
  Panel(Parent parent, const PanelArgs& args) { Create(parent, args); }
  ~Panel() override;
  void Create(Parent parent, const PanelArgs& args);
  void SetBackground(COLORREF color);
  COLORREF Background() const override { return background_; }
  std::function<void(Size client)> onSize;  // 96-dpi units

 protected:
  std::optional<LRESULT> HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) override;

 private:
  COLORREF background_ = kDefaultColor;
  HBRUSH brush_ = nullptr;
};

}  // namespace win
