// quorvel-tool order over a fake desktop: its arguments, its refusals, and
// the order it enters with the shipped sample profiles.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <sstream>

#include "base/ini_file.h"
#include "support/temp_dir.h"
#include "support/trading_fake_desktop.h"
#include "tool/cmd_order.h"

using testing::Contains;
using testing::HasSubstr;
using testing_support::AddTradingProgram;
using testing_support::FakeDesktop;
using testing_support::SourcePath;
using testing_support::TempDir;

namespace {

const std::string kKeystrokeProfile = SourcePath("dist/settings/simtrader_keystroke.ini");
const std::string kControlsProfile = SourcePath("dist/settings/simtrader_controls.ini");

class OrderCommand : public ::testing::Test {
 protected:
  int Run(const tool::Args& args, bool withDesktop = true) {
    out_.str("");
    err_.str("");
    return tool::RunOrderOn(args, withDesktop ? &desk_ : nullptr, out_, err_);
  }
  static tool::Args Args(const std::string& profile, const std::string& side, const std::string& code,
                         const std::string& price, const std::string& qty) {
    return {"--profile", profile, "--side", side, "--code", code, "--price", price, "--qty", qty};
  }
  // The digits typed as key presses, in order.
  std::string Typed() const {
    std::string typed;
    for (const auto& e : desk_.keyEvents) {
      if (e.flags & trading::kKeyEventKeyUp) continue;
      if (e.code >= '0' && e.code <= '9') typed += static_cast<char>(e.code);
      if (e.code == trading::kVkDecimal) typed += '.';
      if (e.code == 0x09) typed += '|';
    }
    return typed;
  }

  FakeDesktop desk_;
  std::ostringstream out_, err_;
};

}  // namespace

TEST_F(OrderCommand, RefusesIncompleteOrUnusableArguments) {
  EXPECT_EQ(Run({}), tool::kExitBadInput);
  EXPECT_THAT(err_.str(), HasSubstr("are required"));
  EXPECT_EQ(Run(Args(kKeystrokeProfile, "hold", "600000", "1", "100")), tool::kExitBadInput);
  EXPECT_THAT(err_.str(), HasSubstr("buy or sell"));
  for (const char* code : {"60000a", "600 000", "1234567890123456789", "６００"}) {
    EXPECT_EQ(Run(Args(kKeystrokeProfile, "buy", code, "1", "100")), tool::kExitBadInput) << code;
  }
  for (const char* price : {"abc", "-1", "1e20", "nan"}) {
    EXPECT_EQ(Run(Args(kKeystrokeProfile, "buy", "600000", price, "100")), tool::kExitBadInput) << price;
  }
  for (const char* qty : {"0", "1.5", "-100", "1234567890", "x"}) {
    EXPECT_EQ(Run(Args(kKeystrokeProfile, "buy", "600000", "1", qty)), tool::kExitBadInput) << qty;
  }
  EXPECT_EQ(Run({"--profile"}), tool::kExitBadInput);
  EXPECT_EQ(Run({"--colour", "red"}), tool::kExitBadInput);
  EXPECT_TRUE(desk_.log.empty()) << "nothing reached the desktop";
}

TEST_F(OrderCommand, RefusesAMissingProfileOrOneWithoutTitle) {
  TempDir dir;
  EXPECT_EQ(Run(Args(dir.File("none.ini"), "buy", "600000", "1", "100")), tool::kExitBadInput);
  EXPECT_THAT(err_.str(), HasSubstr("no such trading profile"));
  base::IniFile(dir.File("untitled.ini")).WriteInteger("交易系统", "底层绑定", 1);
  EXPECT_EQ(Run(Args(dir.File("untitled.ini"), "buy", "600000", "1", "100")), tool::kExitBadInput);
  EXPECT_THAT(err_.str(), HasSubstr("names no window title"));
}

TEST_F(OrderCommand, NeedsADesktop) {
  EXPECT_EQ(Run(Args(kKeystrokeProfile, "buy", "600000", "1", "100"), false), tool::kExitFailed);
  EXPECT_THAT(err_.str(), HasSubstr("Windows"));
}

TEST_F(OrderCommand, ReportsAMissingTradingProgram) {
  EXPECT_EQ(Run(Args(kKeystrokeProfile, "buy", "600000", "1", "100")), tool::kExitFailed);
  EXPECT_THAT(out_.str(), HasSubstr("没有找到证券交易系统"));
  EXPECT_THAT(err_.str(), HasSubstr("网上股票交易系统"));
  EXPECT_TRUE(desk_.keys.empty());
}

TEST_F(OrderCommand, KeystrokeProfileTypesTheOrder) {
  const auto program = AddTradingProgram(desk_, "网上股票交易系统5.0", 9);
  EXPECT_EQ(Run(Args(kKeystrokeProfile, "buy", "600000", "12.34", "100")), tool::kExitOk) << err_.str();
  EXPECT_EQ(Typed(), "600000|12.340|100|") << "the price in its 0.000 form";
  EXPECT_THAT(desk_.log, Contains("focus " + std::to_string(program.buy.code)));
  const std::string out = out_.str();
  EXPECT_THAT(out, HasSubstr("mode: keystroke, 13 buy steps, 13 sell steps"));
  EXPECT_THAT(out, HasSubstr("15 of 15 controls"));
  EXPECT_THAT(out, HasSubstr("status: 和交易软件关联：网上股票交易系统"));
  EXPECT_THAT(out, HasSubstr("  {F1} -> clicked the F1 panel button\n"));
  EXPECT_THAT(out, HasSubstr("  var CJJ -> typed the price 12.340\n"));
  EXPECT_EQ(desk_.attachDepth, 0);
}

TEST_F(OrderCommand, ControlsProfileFillsTheSellFields) {
  const auto program = AddTradingProgram(desk_, "网上股票交易系统5.0", 9);
  EXPECT_EQ(Run(Args(kControlsProfile, "sell", "000001", "9.8", "3000")), tool::kExitOk) << err_.str();
  EXPECT_THAT(desk_.MessagesTo(program.sell.code), Contains("send settext 000001"));
  EXPECT_THAT(desk_.MessagesTo(program.sell.price), Contains("send settext 9.800"));
  EXPECT_THAT(desk_.MessagesTo(program.sell.quantity), Contains("send settext 3000"));
  EXPECT_THAT(desk_.MessagesTo(program.sell.order), Contains("post 0201 0 0"));
  EXPECT_TRUE(desk_.MessagesTo(program.buy.code).empty());
  EXPECT_THAT(out_.str(), HasSubstr("mode: control-level"));
}

TEST_F(OrderCommand, BlocksTheUsersInputAroundTheOrderWhereAllowed) {
  AddTradingProgram(desk_, "网上股票交易系统5.0", 9);
  desk_.blockInputWorks = true;
  ASSERT_EQ(Run(Args(kKeystrokeProfile, "buy", "600000", "1", "100")), tool::kExitOk);
  const auto& log = desk_.log;
  const auto block = std::find(log.begin(), log.end(), "block input");
  const auto firstKey =
      std::find_if(log.begin(), log.end(), [](const std::string& l) { return l.find(" down") != std::string::npos; });
  ASSERT_NE(block, log.end());
  EXPECT_LT(block, firstKey);
  EXPECT_EQ(log.back(), "unblock input");
  EXPECT_THAT(out_.str(), testing::Not(HasSubstr("input block")));
}

TEST_F(OrderCommand, GoesOnWhenTheSystemRefusesTheInputBlock) {
  AddTradingProgram(desk_, "网上股票交易系统5.0", 9);
  desk_.blockInputWorks = false;
  ASSERT_EQ(Run(Args(kKeystrokeProfile, "buy", "600000", "1", "100")), tool::kExitOk);
  EXPECT_THAT(out_.str(), HasSubstr("input block: refused"));
  EXPECT_EQ(Typed(), "600000|1.000|100|");
}

TEST_F(OrderCommand, AFailingStepEndsTheOrderWithInputUnblockedAndDetached) {
  AddTradingProgram(desk_, "网上股票交易系统5.0", 9);
  TempDir dir;
  const std::string profile = dir.File("bad.ini");
  base::IniFile ini(profile);
  ini.WriteString("交易系统", "窗口标题", "网上股票交易系统");
  ini.WriteInteger("买入", "步骤数", 2);
  ini.WriteString("买入", "第1步键入", "wait soon");
  ini.WriteString("买入", "第2步键入", "var ZQDM");
  EXPECT_EQ(Run(Args(profile, "buy", "600000", "1", "100")), tool::kExitFailed);
  EXPECT_THAT(err_.str(), HasSubstr("'soon' is not a valid integer value"));
  EXPECT_EQ(desk_.log.back(), "unblock input");
  EXPECT_EQ(desk_.attachDepth, 0);
  EXPECT_EQ(Typed(), "");
}
