// The caption tool's finder on the real screen: the inverted frame over a
// window, drawn twice, leaves every pixel as it was; the parents and
// titles come from the windows themselves.
#include <windows.h>

#include <gtest/gtest.h>

#include <vector>

#include "trading/unt_frmmodifytradecaption_win.h"
#include "win/trading_sim_trader_win.h"

using namespace trading;
using testing_support::PumpFor;

namespace {

// The window's pixels, read through its window DC (where the frame goes).
std::vector<COLORREF> Pixels(HWND window) {
  RECT r{};
  GetWindowRect(window, &r);
  HDC dc = GetWindowDC(window);
  std::vector<COLORREF> out;
  for (int y = 0; y < r.bottom - r.top; ++y)
    for (int x = 0; x < r.right - r.left; ++x) out.push_back(GetPixel(dc, x, y));
  ReleaseDC(window, dc);
  return out;
}

WindowHandle H(HWND w) { return reinterpret_cast<WindowHandle>(w); }

}  // namespace

TEST(CaptionFinderScreen, FrameDrawnTwiceRestoresThePixelsAndParentsAreRead) {
  // Never activated: a foreground window costs Wine seconds to take down.
  HWND frame = CreateWindowExW(WS_EX_NOACTIVATE, L"Static", L"  查找测试窗口 ", WS_POPUP | WS_BORDER, 120, 120, 240, 120,
                               nullptr, nullptr, GetModuleHandleW(nullptr), nullptr);
  HWND button = CreateWindowExW(0, L"Button", L"重填", WS_CHILD | WS_VISIBLE, 20, 20, 120, 40, frame, nullptr,
                                GetModuleHandleW(nullptr), nullptr);
  ASSERT_TRUE(frame && button);
  ShowWindow(frame, SW_SHOWNOACTIVATE);
  UpdateWindow(frame);
  PumpFor(100);
  const auto before = Pixels(button);

  const auto finder = CreateScreenFinder();
  finder->DrawInvertedFrame(H(button));
  GdiFlush();
  const auto framed = Pixels(button);
  EXPECT_NE(framed, before) << "the frame is on the screen";
  finder->DrawInvertedFrame(H(button));
  GdiFlush();
  EXPECT_EQ(Pixels(button), before) << "the second drawing puts every pixel back";

  EXPECT_EQ(finder->Parent(H(button)), H(frame));
  EXPECT_EQ(finder->Parent(H(frame)), kNoWindow);
  EXPECT_EQ(finder->WindowText(H(frame)), "  查找测试窗口 ");

  // The pointer over the button: the finder takes it and reads its parent.
  RECT r{};
  GetWindowRect(button, &r);
  SetCursorPos((r.left + r.right) / 2, (r.top + r.bottom) / 2);
  PumpFor(50);
  EXPECT_EQ(finder->WindowUnderCursor(), H(button));
  DestroyWindow(frame);
}
