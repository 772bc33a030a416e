// Controls the layer paints itself: the progress bar (plain or with the
// lime-to-red gradient), the scrolling marquee line and the splitter bar.
#pragma once

#include <windows.h>

#include <functional>
#include <string>

#include "win/control_win.h"
#include "win/timer_win.h"

namespace win {

struct ProgressBarArgs {
  Rect rect{0, 0, 150, 12};
  int id = 0;
  int max = 100;      // the number of parts
  int position = 0;
  bool gradient = false;  // painted: lime at the left to red at the right, over the filled part
  bool parts = false;     // painted: a gap between the parts
  std::string tooltip{};
};

class ProgressBar : public Control {
 public:
  ProgressBar() = default;
  ProgressBar(Parent parent, const ProgressBarArgs& args) { Create(parent, args); }
  void Create(Parent parent, const ProgressBarArgs& args);
  void SetMax(int max);  // the position is kept within [0, max]
  int Max() const { return max_; }
  void SetPosition(int position);  // repaints at once
  int Position() const { return position_; }
  void Step(int parts = 1);  // position + parts, at most max

 protected:
  std::optional<LRESULT> HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) override;

 private:
  void Paint(HDC dc);
  bool painted_ = false;
  bool parts_ = false;
  int max_ = 100;
  int position_ = 0;
};

struct MarqueeArgs {
  std::string text{};
  Rect rect{0, 0, 300, 18};
  int id = 0;
  int intervalMs = 50;
  int stepPixels = 1;
  COLORREF color = RGB(255, 0, 0);
  COLORREF background = kDefaultColor;
  bool bold = false;
  bool running = false;
};

// One line of text that moves left by a step every interval and comes in
// again from the right.
class Marquee : public Control {
 public:
  Marquee() = default;
  Marquee(Parent parent, const MarqueeArgs& args) { Create(parent, args); }
  ~Marquee() override;
  void Create(Parent parent, const MarqueeArgs& args);
  void SetText(std::string_view text) override;
  std::string Text() const override { return text_; }
  void Start();
  void Stop();  // keeps the text where it is
  bool Running() const { return timer_.Enabled(); }
  int Offset() const { return offset_; }  // pixels the text has moved, for tests
  // One step, as the timer does; none while the marquee cannot be seen
  // (hidden, or its window minimised).
  void Advance();

 protected:
  std::optional<LRESULT> HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) override;

 private:
  void Paint(HDC dc);
  int TextWidth();
  // The text drawn once, as shown, for the steps to copy from.
  HDC Line(int height, COLORREF background);
  void DropLine();
  std::string text_{};
  std::wstring wide_{};
  Timer timer_{};
  int offset_ = 0;
  int textWidth_ = -1;  // measured once per text and DPI: a step is 20 times a second
  int measuredDpi_ = 0;
  HDC lineDc_ = nullptr;
  HBITMAP line_ = nullptr;
  HGDIOBJ lineOld_ = nullptr;
  int lineWidth_ = 0, lineHeight_ = 0;
  COLORREF lineBackground_ = 0;
  int step_ = 1;
  COLORREF color_ = RGB(255, 0, 0);
  COLORREF background_ = kDefaultColor;
  bool bold_ = false;
};

struct SplitterArgs {
  Rect rect{0, 0, 200, 5};
  int id = 0;
  bool vertical = false;  // a vertical bar moves left/right; a horizontal one up/down
};

// A bar the user drags: onDrag reports how far it moved (96-dpi units,
// positive down or right) on every mouse move of a drag; the view moves the
// bar and the panes. A double click asks the view to collapse or restore.
class Splitter : public Control {
 public:
  Splitter() = default;
  Splitter(Parent parent, const SplitterArgs& args) { Create(parent, args); }
  void Create(Parent parent, const SplitterArgs& args);
  bool Dragging() const { return dragging_; }
  std::function<void(int delta)> onDrag;
  std::function<void()> onDragEnd;
  std::function<void()> onDoubleClick;

 protected:
  std::optional<LRESULT> HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) override;

 private:
  bool vertical_ = false;
  bool dragging_ = false;
  POINT start_{};
};

}  // namespace win
