// The rich text pane (help texts from .rtf files) and the notice pane, which
// hosts the system web browser when it can and otherwise says so.
#pragma once

#include <windows.h>

#include <memory>
#include <string>
#include <string_view>

#include "win/control_win.h"

namespace win {

struct RichEditArgs {
  Rect rect{};
  int id = 0;
  bool readOnly = true;
  bool border = true;
  bool wordWrap = true;
  COLORREF background = kDefaultColor;
};

// Msftedit (RICHEDIT50W), or RichEdit 2.0 where that is missing.
class RichEdit : public Control {
 public:
  RichEdit() = default;
  RichEdit(Parent parent, const RichEditArgs& args) { Create(parent, args); }
  void Create(Parent parent, const RichEditArgs& args);
  // Loads an .rtf file (EM_STREAMIN, SF_RTF); false when the file cannot be
  // read, leaving the pane as it was.
  bool LoadRtfFile(const std::string& path);
  bool SetRtf(std::string_view rtf);
  void SetText(std::string_view text) override;  // plain text
  std::string Text() const override;
  void SetBackground(COLORREF color);
  void ScrollToTop();
};

struct WebViewArgs {
  Rect rect{};
  int id = 0;
};

// The embedded browser. Create returns false when the browser control
// cannot be hosted (no ActiveX browser on the system, or MSHTML disabled as
// under Wine without Gecko); the caller then shows the notice as text.
class WebView : public Control {
 public:
  WebView();
  ~WebView() override;
  bool Create(Parent parent, const WebViewArgs& args);
  bool Navigate(const std::string& url);
  void Refresh();
  void MovePixels(const RECT& rect) override;

  struct Host;

 private:
  std::unique_ptr<Host> host_{};
};

}  // namespace win
