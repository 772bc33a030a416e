#include "win/painted_win.h"

#include <algorithm>

#include "win/internal_win.h"
#include "win/text_win.h"

namespace win {

namespace {

COLORREF BackgroundOf(HWND control, COLORREF own) {
  if (own != kDefaultColor) return own;
  Control* parent = Control::FromHandle(GetParent(control));
  COLORREF color = parent ? parent->Background() : kDefaultColor;
  return color == kDefaultColor ? GetSysColor(COLOR_BTNFACE) : color;
}

// Paints through a memory bitmap so that frequent repaints do not flicker.
template <typename F>
void PaintBuffered(HWND window, F&& paint) {
  PAINTSTRUCT ps;
  HDC dc = BeginPaint(window, &ps);
  RECT client;
  GetClientRect(window, &client);
  HDC memory = CreateCompatibleDC(dc);
  HBITMAP bitmap = CreateCompatibleBitmap(dc, std::max<LONG>(client.right, 1), std::max<LONG>(client.bottom, 1));
  HGDIOBJ old = SelectObject(memory, bitmap);
  paint(memory, client);
  BitBlt(dc, 0, 0, client.right, client.bottom, memory, 0, 0, SRCCOPY);
  SelectObject(memory, old);
  DeleteObject(bitmap);
  DeleteDC(memory);
  EndPaint(window, &ps);
}

}  // namespace

// ---- ProgressBar ----

void ProgressBar::Create(Parent parent, const ProgressBarArgs& args) {
  painted_ = args.gradient || args.parts;
  parts_ = args.parts;
  max_ = std::max(1, args.max);
  position_ = std::clamp(args.position, 0, max_);
  if (painted_) {
    Control::Create(parent, detail::RegisterClassOnce(L"QvGradientBar", 0, -1), "", WS_VISIBLE, 0, args.rect, args.id);
  } else {
    Control::Create(parent, PROGRESS_CLASSW, "", WS_VISIBLE | PBS_SMOOTH, 0, args.rect, args.id);
    SendMessageW(handle_, PBM_SETRANGE32, 0, max_);
    SendMessageW(handle_, PBM_SETPOS, static_cast<WPARAM>(position_), 0);
  }
  if (!args.tooltip.empty()) SetTooltip(args.tooltip);
}

void ProgressBar::SetMax(int max) {
  max_ = std::max(1, max);
  position_ = std::min(position_, max_);
  if (!handle_) return;
  if (!painted_) SendMessageW(handle_, PBM_SETRANGE32, 0, max_);
  SetPosition(position_);
}

void ProgressBar::SetPosition(int position) {
  position_ = std::clamp(position, 0, max_);
  if (!handle_) return;
  if (painted_) {
    InvalidateRect(handle_, nullptr, FALSE);
  } else {
    SendMessageW(handle_, PBM_SETPOS, static_cast<WPARAM>(position_), 0);
  }
  UpdateWindow(handle_);
}

void ProgressBar::Step(int parts) { SetPosition(position_ + parts); }

void ProgressBar::Paint(HDC dc) {
  (void)dc;
  PaintBuffered(handle_, [this](HDC memory, const RECT& client) {
    FillRect(memory, &client, GetSysColorBrush(COLOR_WINDOW));
    RECT frame = client;
    DrawEdge(memory, &frame, BDR_SUNKENOUTER, BF_RECT | BF_ADJUST);
    int width = frame.right - frame.left;
    int filled = static_cast<int>(static_cast<long long>(width) * position_ / max_);
    if (filled <= 0) return;
    // Lime at the left edge to red at the right edge of the whole bar; the
    // filled part shows as much of it as is done.
    TRIVERTEX vertices[2] = {
        {frame.left, frame.top, 0x0000, 0xFF00, 0x0000, 0xFF00},
        {frame.right, frame.bottom, 0xFF00, 0x0000, 0x0000, 0xFF00},
    };
    GRADIENT_RECT gradient{0, 1};
    HRGN clip = CreateRectRgn(frame.left, frame.top, frame.left + filled, frame.bottom);
    SelectClipRgn(memory, clip);
    GradientFill(memory, vertices, 2, &gradient, 1, GRADIENT_FILL_RECT_H);
    if (parts_ && max_ > 1) {
      HBRUSH gap = GetSysColorBrush(COLOR_WINDOW);
      for (int k = 1; k < max_; ++k) {
        int x = frame.left + static_cast<int>(static_cast<long long>(width) * k / max_);
        RECT line{x - 1, frame.top, x + 1, frame.bottom};
        FillRect(memory, &line, gap);
      }
    }
    SelectClipRgn(memory, nullptr);
    DeleteObject(clip);
  });
}

std::optional<LRESULT> ProgressBar::HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) {
  if (painted_) {
    if (message == WM_PAINT) {
      Paint(nullptr);
      return 0;
    }
    if (message == WM_ERASEBKGND) return 1;
  }
  return Control::HandleMessage(message, wParam, lParam);
}

// ---- Marquee ----

Marquee::~Marquee() {
  timer_.Stop();
  DropLine();
}

void Marquee::Create(Parent parent, const MarqueeArgs& args) {
  Control::Create(parent, detail::RegisterClassOnce(L"QvMarquee", 0, -1), "", WS_VISIBLE, 0, args.rect, args.id);
  text_ = args.text;
  wide_ = Wide(text_);
  step_ = std::max(1, args.stepPixels);
  color_ = args.color;
  background_ = args.background;
  bold_ = args.bold;
  timer_.SetInterval(args.intervalMs);
  timer_.onTick = [this] { Advance(); };
  if (args.running) Start();
}

void Marquee::SetText(std::string_view text) {
  text_ = std::string(text);
  wide_ = Wide(text_);
  textWidth_ = -1;
  DropLine();
  if (handle_) InvalidateRect(handle_, nullptr, FALSE);
}

void Marquee::Start() { timer_.Start(); }

void Marquee::Stop() { timer_.Stop(); }

int Marquee::TextWidth() {
  if (textWidth_ < 0 || measuredDpi_ != dpi_.Value()) {
    HDC dc = GetDC(handle_);
    HGDIOBJ old = SelectObject(dc, UiFont(dpi_, bold_));
    SIZE extent{};
    GetTextExtentPoint32W(dc, wide_.c_str(), static_cast<int>(wide_.size()), &extent);
    SelectObject(dc, old);
    ReleaseDC(handle_, dc);
    textWidth_ = extent.cx;
    measuredDpi_ = dpi_.Value();
  }
  return textWidth_;
}

void Marquee::Advance() {
  if (!handle_ || !IsWindowVisible(handle_) || IsIconic(GetAncestor(handle_, GA_ROOT))) return;
  RECT client;
  GetClientRect(handle_, &client);
  const int step = dpi_.Scale(step_);
  offset_ += step;
  // Once the text has left at the left edge it comes in again at the right.
  if (offset_ > client.right + TextWidth()) {
    offset_ = 0;
    InvalidateRect(handle_, nullptr, FALSE);
  } else {
    // The pixels shown move with the text; only the strip uncovered at the
    // right is drawn anew.
    ScrollWindowEx(handle_, -step, 0, nullptr, nullptr, nullptr, nullptr, SW_INVALIDATE);
  }
  UpdateWindow(handle_);
}

HDC Marquee::Line(int height, COLORREF background) {
  const int width = std::max(TextWidth(), 1);
  if (lineDc_ && lineWidth_ == width && lineHeight_ == height && lineBackground_ == background) return lineDc_;
  DropLine();
  HDC dc = GetDC(handle_);
  lineDc_ = CreateCompatibleDC(dc);
  line_ = CreateCompatibleBitmap(dc, width, std::max(height, 1));
  ReleaseDC(handle_, dc);
  if (!lineDc_ || !line_) {
    DropLine();
    return nullptr;
  }
  lineOld_ = SelectObject(lineDc_, line_);
  lineWidth_ = width;
  lineHeight_ = height;
  lineBackground_ = background;
  RECT all{0, 0, width, height};
  FillRect(lineDc_, &all, detail::SolidBrush(background));
  HGDIOBJ oldFont = SelectObject(lineDc_, UiFont(dpi_, bold_));
  SetBkMode(lineDc_, TRANSPARENT);
  SetTextColor(lineDc_, color_ == kDefaultColor ? GetSysColor(COLOR_WINDOWTEXT) : color_);
  all.right += 10000;  // DrawText must not cut the last glyph
  DrawTextW(lineDc_, wide_.c_str(), static_cast<int>(wide_.size()), &all, DT_SINGLELINE | DT_VCENTER | DT_NOPREFIX);
  SelectObject(lineDc_, oldFont);
  return lineDc_;
}

void Marquee::DropLine() {
  if (lineDc_ && lineOld_) SelectObject(lineDc_, lineOld_);
  if (line_) DeleteObject(line_);
  if (lineDc_) DeleteDC(lineDc_);
  lineDc_ = nullptr;
  line_ = nullptr;
  lineOld_ = nullptr;
  lineWidth_ = lineHeight_ = 0;
}

void Marquee::Paint(HDC) {
  PAINTSTRUCT ps;
  HDC dc = BeginPaint(handle_, &ps);
  RECT client;
  GetClientRect(handle_, &client);
  const COLORREF background = BackgroundOf(handle_, background_);
  const RECT& area = ps.rcPaint;
  // The text is copied from the line drawn once; the rest is background.
  const int textLeft = client.right - offset_;
  HDC line = Line(client.bottom, background);
  const int from = std::max<int>(area.left, textLeft);
  const int to = line ? std::min<int>(area.right, textLeft + lineWidth_) : from;
  if (from < to) BitBlt(dc, from, area.top, to - from, area.bottom - area.top, line, from - textLeft, area.top, SRCCOPY);
  HBRUSH brush = detail::SolidBrush(background);
  if (area.left < from) {
    RECT before{area.left, area.top, std::min<int>(from, area.right), area.bottom};
    FillRect(dc, &before, brush);
  }
  if (to < area.right) {
    RECT after{std::max<int>(to, area.left), area.top, area.right, area.bottom};
    FillRect(dc, &after, brush);
  }
  EndPaint(handle_, &ps);
}

std::optional<LRESULT> Marquee::HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_PAINT) {
    Paint(nullptr);
    return 0;
  }
  if (message == WM_ERASEBKGND) return 1;
  return Control::HandleMessage(message, wParam, lParam);
}

// ---- Splitter ----

void Splitter::Create(Parent parent, const SplitterArgs& args) {
  vertical_ = args.vertical;
  Control::Create(parent, detail::RegisterClassOnce(L"QvSplitter"), "", WS_VISIBLE, 0, args.rect, args.id);
}

std::optional<LRESULT> Splitter::HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_SETCURSOR:
      SetCursor(LoadCursorW(nullptr, vertical_ ? IDC_SIZEWE : IDC_SIZENS));
      return TRUE;
    case WM_LBUTTONDOWN:
      SetCapture(handle_);
      dragging_ = true;
      GetCursorPos(&start_);
      return 0;
    case WM_MOUSEMOVE:
      if (dragging_) {
        POINT now{};
        GetCursorPos(&now);
        int pixels = vertical_ ? now.x - start_.x : now.y - start_.y;
        int units = dpi_.Unscale(pixels);
        if (units != 0) {
          // The remainder stays for the next move, so that slow drags add up.
          (vertical_ ? start_.x : start_.y) += dpi_.Scale(units);
          detail::Raise(onDrag, units);
        }
        return 0;
      }
      break;
    case WM_LBUTTONUP:
      if (dragging_) {
        ReleaseCapture();
        return 0;
      }
      break;
    case WM_CAPTURECHANGED:
      if (dragging_) {
        dragging_ = false;
        detail::Raise(onDragEnd);
      }
      return 0;
    case WM_LBUTTONDBLCLK:
      detail::Raise(onDoubleClick);
      return 0;
    case WM_PAINT: {
      PAINTSTRUCT ps;
      HDC dc = BeginPaint(handle_, &ps);
      RECT client;
      GetClientRect(handle_, &client);
      FillRect(dc, &client, GetSysColorBrush(COLOR_BTNFACE));
      DrawEdge(dc, &client, EDGE_RAISED, vertical_ ? (BF_LEFT | BF_RIGHT) : (BF_TOP | BF_BOTTOM));
      EndPaint(handle_, &ps);
      return 0;
    }
    default:
      break;
  }
  return Control::HandleMessage(message, wParam, lParam);
}

}  // namespace win
