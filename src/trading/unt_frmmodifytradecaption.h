// The caption tool "修改关联下单软件名称" as a form model: shows the active
// profile and its window title fragment, and takes a new fragment, typed or
// picked with the drag-and-drop finder from a window on the screen. The
// Win32 view owns the controls and the mouse capture.
#pragma once

#include <functional>
#include <string>

#include "settings/unt_common.h"
#include "trading/desktop_port.h"

namespace trading {

inline constexpr char kCaptionToolCaption[] = "修改关联下单软件名称";
inline constexpr char kFinderHint[] = "点击鼠标不放，拖动到目标窗口。";
inline constexpr char kCaptionToolNote1[] = "修改关联下单软件的窗口名称，会影响自动交易";
inline constexpr char kCaptionToolNote2[] = "软件与下单软件的关联。";
// GetWindowTextA's buffer of the finder: at most 251 bytes of a title.
inline constexpr size_t kFinderTitleBytes = 251;

// What the finder does on the screen.
class ICaptionFinderDesktop {
 public:
  virtual ~ICaptionFinderDesktop() = default;
  virtual WindowHandle WindowUnderCursor() = 0;  // GetCursorPos, WindowFromPoint
  virtual WindowHandle Parent(WindowHandle window) = 0;  // kNoWindow at the top
  virtual std::string WindowText(WindowHandle window) = 0;
  // The inverted frame over the whole window; drawn twice it is gone.
  virtual void DrawInvertedFrame(WindowHandle window) = 0;
  virtual void RepaintAll() = 0;
};

class Tfrmmodifytradecaption {
 public:
  // `relink` is RelinkAfterTitleChange of the association.
  Tfrmmodifytradecaption(ICaptionFinderDesktop& desktop, settings::TSettings& settings, std::function<void()> relink);

  // ---- events ----
  void FormShow();
  void FinderMouseMove();  // while the finder holds the mouse capture
  void FinderMouseUp();
  void BtnOkClick();
  void BtnCancelClick() { closed_ = true; }  // and Esc

  // ---- control state ----
  std::string profileName;   // "配置文件名称："
  std::string currentTitle;  // "关联下单窗口名称："
  std::string newName;       // "修改后名称："
  WindowHandle UnderCursor() const { return underCursor_; }
  WindowHandle LastFramed() const { return lastFramed_; }
  bool Closed() const { return closed_; }
  void ResetClosed() { closed_ = false; }

 private:
  ICaptionFinderDesktop& desktop_;
  settings::TSettings& settings_;
  std::function<void()> relink_;
  WindowHandle underCursor_ = kNoWindow;
  WindowHandle lastFramed_ = kNoWindow;
  bool closed_ = false;
};

}  // namespace trading
