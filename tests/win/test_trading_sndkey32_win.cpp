// Key synthesis against real controls: key strings typed into an edit
// control of this process, and the foreground forced onto a window.
#include <windows.h>

#include <gtest/gtest.h>

#include "trading/desktop_win.h"
#include "trading/sndkey32.h"
#include "win/trading_sim_trader_win.h"

using namespace trading;
using testing_support::ControlText;
using testing_support::PumpFor;

namespace {

// One window for the whole suite: hiding a foreground window costs Wine
// about two seconds on a display without a window manager.
class TypingWindow : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    frame_ = CreateWindowExW(0, L"Static", L"SendKeys test", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 100, 100, 400, 120,
                             nullptr, nullptr, GetModuleHandleW(nullptr), nullptr);
    edit_ = CreateWindowExW(0, L"Edit", L"", WS_CHILD | WS_VISIBLE | ES_AUTOHSCROLL, 10, 10, 360, 24, frame_, nullptr,
                            GetModuleHandleW(nullptr), nullptr);
  }
  static void TearDownTestSuite() { DestroyWindow(frame_); }
  void SetUp() override {
    ASSERT_TRUE(edit_);
    ASSERT_TRUE(ForceForeground(desktop_, reinterpret_cast<WindowHandle>(frame_)));
    SetFocus(edit_);
    PumpFor(50);
  }

  // Types into an emptied field; with wait the keys are dispatched at once.
  std::string Typed(const std::string& keys) {
    SetWindowTextW(edit_, L"");
    EXPECT_TRUE(SendKeys(desktop_, keys, true)) << keys;
    return ControlText(edit_);
  }

  TWin32Desktop desktop_;
  static inline HWND frame_ = nullptr;
  static inline HWND edit_ = nullptr;
};

}  // namespace

TEST_F(TypingWindow, PlainCharactersKeepTheirCase) {
  EXPECT_EQ(Typed("abc 123"), "abc 123");
  EXPECT_EQ(Typed("Hello"), "Hello");
}

TEST_F(TypingWindow, ModifiersAndGroups) {
  EXPECT_EQ(Typed("+abc"), "Abc");
  EXPECT_EQ(Typed("+(ab)c"), "ABc");
  EXPECT_EQ(Typed("{a}b"), "Ab") << "brace names are upper-cased";
}

TEST_F(TypingWindow, EditingKeys) {
  EXPECT_EQ(Typed("12{BKSP}3"), "13");
  EXPECT_EQ(Typed("ab{LEFT}c"), "acb");
  EXPECT_EQ(Typed("xy{HOME}z"), "zxy");
  EXPECT_EQ(Typed("abc{LEFT 2}{DEL}"), "ac");
  EXPECT_EQ(Typed("abcd{BS 3}"), "a");
  EXPECT_EQ(Typed("ab{LEFT 0}c"), "abc");
}

TEST_F(TypingWindow, BracesAndRepeats) {
  EXPECT_EQ(Typed("{{}x{}}"), "{x}");
  EXPECT_EQ(Typed("{x 3}"), "XXX");
  EXPECT_EQ(Typed("a{x -2}b"), "ab") << "a negative count types nothing";
}

TEST_F(TypingWindow, TypeValueEntersCodesAndPrices) {
  SetWindowTextW(edit_, L"");
  TypeValue(desktop_, "600000");
  TypeValue(desktop_, "12.340");
  PumpFor(200);
  EXPECT_EQ(ControlText(edit_), "60000012.340") << "the keypad decimal key types a point";
}

TEST_F(TypingWindow, NumLockIsFlippedInTheKeyboardState) {
  const bool before = (GetKeyState(VK_NUMLOCK) & 1) != 0;
  EXPECT_TRUE(SendKeys(desktop_, "{NUMLOCK}", true));
  EXPECT_NE((GetKeyState(VK_NUMLOCK) & 1) != 0, before);
  EXPECT_TRUE(SendKeys(desktop_, "{NUMLOCK}", true));
  EXPECT_EQ((GetKeyState(VK_NUMLOCK) & 1) != 0, before);
}

TEST_F(TypingWindow, ModifiersAreUpAfterEveryString) {
  Typed("+a^b%c+(de)");
  PumpFor(100);
  EXPECT_EQ(GetKeyState(VK_SHIFT) & 0x8000, 0);
  EXPECT_EQ(GetKeyState(VK_CONTROL) & 0x8000, 0);
  EXPECT_EQ(GetKeyState(VK_MENU) & 0x8000, 0);
}

TEST(ForceForegroundWin, BringsABackWindowToTheFront) {
  TWin32Desktop desktop;
  HWND back = CreateWindowExW(0, L"Static", L"back", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 50, 50, 200, 100, nullptr,
                              nullptr, GetModuleHandleW(nullptr), nullptr);
  HWND front = CreateWindowExW(0, L"Static", L"front", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 80, 80, 200, 100, nullptr,
                               nullptr, GetModuleHandleW(nullptr), nullptr);
  SetForegroundWindow(front);
  PumpFor(100);
  ShowWindow(back, SW_MINIMIZE);
  PumpFor(100);
  EXPECT_TRUE(ForceForeground(desktop, reinterpret_cast<WindowHandle>(back)));
  EXPECT_EQ(GetForegroundWindow(), back);
  EXPECT_FALSE(IsIconic(back)) << "a minimised window is restored";
  DestroyWindow(back);
  DestroyWindow(front);
}
