#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "support/trading_fake_desktop.h"
#include "trading/sndkey32.h"

using namespace trading;
using testing::ElementsAre;
using testing::IsEmpty;
using testing_support::Down;
using testing_support::FakeDesktop;
using testing_support::KeyText;
using testing_support::Up;

namespace {

std::string DownX(uint8_t code) { return KeyText(code, kKeyEventExtendedKey); }
std::string UpX(uint8_t code) { return KeyText(code, kKeyEventExtendedKey | kKeyEventKeyUp); }

class SendKeysTest : public ::testing::Test {
 protected:
  bool Send(const std::string& keys, bool wait = true) { return SendKeys(desk_, keys, wait); }
  FakeDesktop desk_;
};

}  // namespace

TEST_F(SendKeysTest, NamedKeysAreFoundWhateverTheirCase) {
  EXPECT_TRUE(Send("{ENTER}"));
  EXPECT_TRUE(Send("{enter}"));
  EXPECT_THAT(desk_.keys, ElementsAre(Down(0x0D), Up(0x0D), Down(0x0D), Up(0x0D)));
}

TEST_F(SendKeysTest, BackspaceHasThreeNames) {
  EXPECT_TRUE(Send("{BKSP}{BS}{BACKSPACE}"));
  EXPECT_THAT(desk_.keys, ElementsAre(Down(8), Up(8), Down(8), Up(8), Down(8), Up(8)));
}

TEST_F(SendKeysTest, RepeatCountsRepeatTheWholePress) {
  EXPECT_TRUE(Send("{LEFT 3}"));
  EXPECT_THAT(desk_.keys, ElementsAre(DownX(0x25), UpX(0x25), DownX(0x25), UpX(0x25), DownX(0x25), UpX(0x25)));
  desk_.ClearRecords();
  EXPECT_TRUE(Send("{LEFT 0}"));
  EXPECT_THAT(desk_.keys, IsEmpty());
}

TEST_F(SendKeysTest, ExtendedKeysCarryTheExtendedFlagAndOthersDoNot) {
  EXPECT_TRUE(Send("{PGUP}{DOWN}{INS}{DEL}{HOME}{TAB}{F5}"));
  EXPECT_THAT(desk_.keys, ElementsAre(DownX(0x21), UpX(0x21), DownX(0x28), UpX(0x28), DownX(0x2D), UpX(0x2D),
                                      DownX(0x2E), UpX(0x2E), DownX(0x24), UpX(0x24), Down(0x09), Up(0x09),
                                      Down(0x74), Up(0x74)));
}

TEST_F(SendKeysTest, KeyEventsCarryTheLowByteOfTheScanCode) {
  EXPECT_TRUE(Send("{TAB}"));
  ASSERT_EQ(desk_.keyEvents.size(), 2u);
  EXPECT_EQ(desk_.keyEvents[0].scan, (0x09 * 3) & 0xFF);
  EXPECT_EQ(desk_.keyEvents[1].scan, (0x09 * 3) & 0xFF);
}

TEST_F(SendKeysTest, ModifiersWrapTheNextKey) {
  EXPECT_TRUE(Send("+{TAB}"));
  EXPECT_THAT(desk_.keys, ElementsAre(Down(0x10), Down(0x09), Up(0x09), Up(0x10)));
  desk_.ClearRecords();
  EXPECT_TRUE(Send("%x^y"));
  EXPECT_THAT(desk_.keys, ElementsAre(Down(0x12), Down(0x58), Up(0x58), Up(0x12), Down(0x11), Down(0x59), Up(0x59),
                                      Up(0x11)));
  desk_.ClearRecords();
  EXPECT_TRUE(Send("%^+a"));
  EXPECT_THAT(desk_.keys, ElementsAre(Down(0x12), Down(0x11), Down(0x10), Down(0x41), Up(0x41), Up(0x10), Up(0x11),
                                      Up(0x12)))
      << "released in the order Shift, Ctrl, Alt";
}

TEST_F(SendKeysTest, AGroupKeepsModifiersDownUntilItCloses) {
  EXPECT_TRUE(Send("^(ac)b"));
  EXPECT_THAT(desk_.keys, ElementsAre(Down(0x11), Down(0x41), Up(0x41), Down(0x43), Up(0x43), Up(0x11), Down(0x42),
                                      Up(0x42)));
}

TEST_F(SendKeysTest, TildeIsEnterAndReleasesModifiers) {
  EXPECT_TRUE(Send("^~"));
  EXPECT_THAT(desk_.keys, ElementsAre(Down(0x11), Down(0x0D), Up(0x0D), Up(0x11)));
}

TEST_F(SendKeysTest, BracesAreTypedWithShift) {
  EXPECT_TRUE(Send("{{}"));
  EXPECT_THAT(desk_.keys, ElementsAre(Down(0x10), Down(0xDB), Up(0xDB), Up(0x10)));
  desk_.ClearRecords();
  EXPECT_TRUE(Send("{}}"));
  EXPECT_THAT(desk_.keys, ElementsAre(Down(0x10), Down(0xDD), Up(0xDD), Up(0x10)));
  desk_.ClearRecords();
  EXPECT_TRUE(Send("{{}1"));
  EXPECT_THAT(desk_.keys, ElementsAre(Down(0x10), Down(0xDB), Up(0xDB), Up(0x10), Down(0x31), Up(0x31)))
      << "reading goes on after the three characters";
}

TEST_F(SendKeysTest, ANameFollowedByADoubleCloseTypesARightBraceInstead) {
  EXPECT_TRUE(Send("{ENTER}}"));
  EXPECT_THAT(desk_.keys, ElementsAre(Down(0x10), Down(0xDD), Up(0xDD), Up(0x10)));
}

TEST_F(SendKeysTest, SingleLetterNamesAreUpperCasedBeforeMapping) {
  EXPECT_TRUE(Send("{a}"));
  EXPECT_THAT(desk_.keys, ElementsAre(Down(0x10), Down(0x41), Up(0x41), Up(0x10)));
  desk_.ClearRecords();
  EXPECT_TRUE(Send("a"));
  EXPECT_THAT(desk_.keys, ElementsAre(Down(0x41), Up(0x41))) << "outside braces the letter stays lower case";
}

TEST_F(SendKeysTest, SingleCharacterNameWithCountKeepsShiftAroundAllPresses) {
  EXPECT_TRUE(Send("{a 2}"));
  EXPECT_THAT(desk_.keys, ElementsAre(Down(0x10), Down(0x41), Up(0x41), Down(0x41), Up(0x41), Up(0x10)));
}

TEST_F(SendKeysTest, MissingCloseShowsNoCloseAndLeavesModifiersDown) {
  EXPECT_FALSE(Send("+{F1"));
  EXPECT_THAT(desk_.messageBoxes, ElementsAre("SendKeys: No Close"));
  EXPECT_THAT(desk_.keys, ElementsAre(Down(0x10)));
}

TEST_F(SendKeysTest, UnknownNameIsReportedAndSkipped) {
  EXPECT_TRUE(Send("{FOO}{}1"));
  EXPECT_THAT(desk_.messageBoxes, ElementsAre("SendKeys: Invalid Key Name", "SendKeys: Invalid Key Name"));
  EXPECT_THAT(desk_.keys, ElementsAre(Down(0x31), Up(0x31)));
}

TEST_F(SendKeysTest, UnmappableCharacterIsReportedAndSkipped) {
  EXPECT_TRUE(Send("1\xD6\xD0" "2{\xD6}"));
  EXPECT_THAT(desk_.messageBoxes, ElementsAre("SendKeys: Invalid KeyName", "SendKeys: Invalid KeyName"));
  EXPECT_THAT(desk_.keys, ElementsAre(Down(0x31), Up(0x31), Down(0x32), Up(0x32)))
      << "an unmappable one-character brace name is skipped without a message";
}

TEST_F(SendKeysTest, AnUnclosedGroupLeavesItsModifierDown) {
  EXPECT_TRUE(Send("+(ab"));
  EXPECT_THAT(desk_.keys, ElementsAre(Down(0x10), Down(0x41), Up(0x41), Down(0x42), Up(0x42)));
}

TEST_F(SendKeysTest, EmptyStringSendsNothing) {
  EXPECT_FALSE(Send(""));
  EXPECT_THAT(desk_.log, IsEmpty());
}

TEST_F(SendKeysTest, NumLockFlipsTheKeyboardStateWithoutAKeyEvent) {
  desk_.keyboard[kVkNumLock] = 0x01;
  EXPECT_TRUE(Send("{NUMLOCK}"));
  EXPECT_EQ(desk_.keyboard[kVkNumLock] & 1, 0);
  EXPECT_TRUE(Send("{NUMLOCK 5}"));
  EXPECT_EQ(desk_.keyboard[kVkNumLock] & 1, 1) << "the count does not matter";
  EXPECT_THAT(desk_.keys, IsEmpty());
}

TEST_F(SendKeysTest, WaitPumpsAfterEveryKeyEventAndOnlyThen) {
  EXPECT_TRUE(Send("+a", true));
  EXPECT_THAT(desk_.log, ElementsAre(Down(0x10), "pump", Down(0x41), "pump", Up(0x41), "pump", Up(0x10), "pump"));
  desk_.ClearRecords();
  EXPECT_TRUE(Send("+a", false));
  EXPECT_THAT(desk_.log, ElementsAre(Down(0x10), Down(0x41), Up(0x41), Up(0x10)));
}

TEST_F(SendKeysTest, NonNumericRepeatCountIsAConversionError) {
  EXPECT_THROW(Send("{TAB x}"), EConvertError);
  EXPECT_THROW(Send("{TAB 3 }"), EConvertError);
  EXPECT_THROW(Send("{TAB }"), EConvertError);
}

TEST_F(SendKeysTest, NegativeRepeatCountPressesNothing) {
  EXPECT_TRUE(Send("{TAB -1}{ENTER -32768}"));
  EXPECT_THAT(desk_.keys, IsEmpty());
}

TEST_F(SendKeysTest, HugeRepeatCountIsCutToTheLimit) {
  for (const char* keys : {"{TAB 65535}", "{TAB 65537}", "{TAB 2147483647}", "{TAB 0x7FFFFFFF}"}) {
    desk_.ClearRecords();
    EXPECT_TRUE(Send(keys));
    EXPECT_EQ(desk_.keys.size(), 2u * kMaxRepeatCount) << keys;
  }
  desk_.ClearRecords();
  EXPECT_TRUE(Send("{TAB 100}"));
  EXPECT_EQ(desk_.keys.size(), 200u);
}

TEST(TypeValue, TypesDigitsAsTheirOwnKeysWithoutScanCodes) {
  FakeDesktop desk;
  TypeValue(desk, "600000");
  ASSERT_EQ(desk.keys.size(), 12u);
  EXPECT_EQ(desk.keys[0], Down('6'));
  EXPECT_EQ(desk.keys[1], Up('6'));
  EXPECT_EQ(desk.keys[11], Up('0'));
  for (const auto& e : desk.keyEvents) EXPECT_EQ(e.scan, 0);
  EXPECT_THAT(desk.log, testing::Not(testing::Contains("pump")));
}

TEST(TypeValue, TypesTheDecimalPointOnTheKeypad) {
  FakeDesktop desk;
  TypeValue(desk, "12.340");
  EXPECT_THAT(desk.keys, ElementsAre(Down('1'), Up('1'), Down('2'), Up('2'), Down(kVkDecimal), Up(kVkDecimal),
                                     Down('3'), Up('3'), Down('4'), Up('4'), Down('0'), Up('0')));
}

class ForceForegroundTest : public ::testing::Test {
 protected:
  void SetUp() override {
    other_ = desk_.AddTopLevel("other", 5, 50);
    target_ = desk_.AddTopLevel("target", 7, 70);
    desk_.foreground = other_;
  }
  FakeDesktop desk_;
  WindowHandle other_ = 0, target_ = 0;
};

TEST_F(ForceForegroundTest, AlreadyInFrontNeedsNothing) {
  desk_.foreground = target_;
  EXPECT_TRUE(ForceForeground(desk_, target_));
  EXPECT_THAT(desk_.log, IsEmpty());
}

TEST_F(ForceForegroundTest, AttachesToTheForegroundThreadAndDetachesAgain) {
  EXPECT_TRUE(ForceForeground(desk_, target_));
  EXPECT_THAT(desk_.log, ElementsAre("attach 70 50", "top 2", "foreground 2", "detach 70 50"));
  EXPECT_EQ(desk_.attachDepth, 0);
}

TEST_F(ForceForegroundTest, RestoresAMinimisedWindowFirst) {
  desk_.windows[target_].iconic = true;
  EXPECT_TRUE(ForceForeground(desk_, target_));
  EXPECT_EQ(desk_.log.front(), "show 2 9");
}

TEST_F(ForceForegroundTest, FailedAttachLiftsTheForegroundLockAndPutsItBack) {
  desk_.attachSucceeds = false;
  EXPECT_TRUE(ForceForeground(desk_, target_));
  EXPECT_THAT(desk_.log,
              ElementsAre("attach 70 50", "lock timeout 0", "top 2", "foreground 2", "lock timeout 200000"));
}

TEST_F(ForceForegroundTest, ReportsFailureWhenTheWindowStaysBehind) {
  desk_.refuseForeground = true;
  EXPECT_FALSE(ForceForeground(desk_, target_));
  EXPECT_EQ(desk_.attachDepth, 0);
  EXPECT_EQ(desk_.lockTimeout, 200000u);
}
