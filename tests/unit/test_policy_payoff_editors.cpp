// The take-profit, stop-loss and rebound editors, worked as a user works
// them: type a code, choose a basis, fill the fields, press OK.
#include <gtest/gtest.h>

#include <cstring>

#include "base/fixed_text.h"
#include "base/gbk.h"
#include "base/files.h"
#include "policy/unt_frmlimitdownup.h"
#include "policy/unt_frmpolicypaylosslimit.h"
#include "policy/unt_frmpolicypayoff.h"
#include "policy/unt_policy_describe.h"
#include "support/editor_fakes.h"

using namespace policy;
using testing_support::EditorRig;
using testing_support::MakeQuote;

namespace {

struct PayoffRig : EditorRig {
  PayoffRig() {
    Know(MakeQuote("600000", "浦发银行", 10.5f, 10.6f, 10.8f, quotes::kMarketShanghai));
    settings.monitorDefaults[settings::TMonitorSection::TakeProfit].quantity = "500";
    settings.monitorDefaults[settings::TMonitorSection::TakeProfit].changeAmount = "0.3";
    settings.monitorDefaults[settings::TMonitorSection::TakeProfit].optimiseAmount = "5‰";
    settings.monitorDefaults[settings::TMonitorSection::StopLoss].quantity = "700";
  }
};

void TypeCode(TEditorFrame& editor, const std::string& code) {
  editor.codeText = code;
  editor.RzEditLabelKeyUp();
}

// A status text and the control the focus went to.
using Refusal = std::pair<std::string, std::string>;

std::string FocusOf(TEditorFrame& editor) {
  const auto focus = editor.TakeFocus();
  return focus ? focus->control : "";
}

}  // namespace

TEST(PayoffEditor, TakeProfitOnPreviousCloseWritesItsRecordByteForByte) {
  PayoffRig rig;
  Tfrmpayoff editor(rig.Services(), rig.dialog);
  rig.monitors.Add([] {
    TPolicyRecord other = NewPolicyRecord();
    other.id = 4;
    return other;
  }());
  editor.OpenForAdd();
  editor.FormShow();
  EXPECT_EQ(editor.title, "添加移动止盈");
  EXPECT_EQ(FocusOf(editor), kCtlCode);
  // A new dialog starts from the take-profit defaults.
  EXPECT_EQ(editor.setPriceText, "0.000");
  EXPECT_EQ(editor.quantityText, "500");
  EXPECT_EQ(editor.amountText, "0.3");
  EXPECT_TRUE(editor.amountYuan);
  EXPECT_EQ(editor.optimise.amount, "5");
  EXPECT_FALSE(editor.optimise.yuan);
  EXPECT_FALSE(editor.optimise.Enabled());

  TypeCode(editor, "600000");
  EXPECT_EQ(editor.nameText, "浦发银行");
  EXPECT_EQ(editor.closeText, "10.500");
  EXPECT_EQ(FocusOf(editor), kCtlSetPrice);
  editor.BasisClick(2, true);
  EXPECT_EQ(editor.setPriceText, "用昨收价");
  EXPECT_FALSE(editor.setPriceEnabled);
  editor.quantityText = "1000";
  editor.amountText = "2";
  editor.amountYuan = false;
  editor.activeChecked = true;
  rig.dialog.answers = {true};
  editor.OkClick();
  EXPECT_EQ(editor.statusText, "");
  ASSERT_TRUE(editor.TakeClose());
  ASSERT_EQ(rig.monitors.Count(), 2u);
  EXPECT_EQ(rig.rebuilds, 1);
  EXPECT_FALSE(editor.LivePriceRunning(TLiveRole::Main));

  TPolicyRecord expected = NewPolicyRecord();
  expected.id = 5;
  expected.kind = kKindPayoff;
  base::WriteFixedText(expected.code, "600000");
  base::WriteFixedText(expected.name, base::Utf8ToGbkLossy("浦发银行"));
  expected.market = quotes::kMarketShanghai;
  expected.priceBasis = kBasisPrevClose;
  expected.setPrice = 10.5f;
  expected.state = kStateRunning;
  expected.newestPrice = 10.8f;
  expected.openPrice = 10.6f;
  expected.prevClose = 10.5f;
  expected.direction = kDirFall;
  expected.changeAmount = 2.0f;
  expected.changeUnit = kUnitPercent;
  expected.tradeType = 2;
  expected.quantity = 1000;
  expected.optAmount = 10.0f;
  expected.optUnit = kOptUnitPerMille;
  base::WriteFixedText(expected.description,
                       base::Utf8ToGbkLossy("当高于设定价位10.500后回落2.000%且大于设定价时自动卖出1000股"));
  const TPolicyRecord saved = rig.monitors.Snapshot()[1];
  EXPECT_EQ(0, std::memcmp(&saved, &expected, sizeof expected));
  EXPECT_EQ(rig.dialog.questions.back(),
            "确认提示！|当高于设定价位10.500后回落2.000%且大于设定价时自动卖出1000股\r\n\r\n是否确认下单？");
}

TEST(PayoffEditor, TakeProfitChecksRunInOrderAndNumbersMustBeNumbers) {
  PayoffRig rig;
  Tfrmpayoff editor(rig.Services(), rig.dialog);
  editor.OpenForAdd();
  auto ok = [&] {
    editor.statusText.clear();
    editor.TakeFocus();
    editor.OkClick();
    return std::pair{editor.statusText, FocusOf(editor)};
  };
  TypeCode(editor, "60000");  // five characters: no lookup
  EXPECT_EQ(rig.requests, 0);
  EXPECT_EQ(ok(), Refusal("证券代码不正确！", kCtlCode));
  TypeCode(editor, "999999");  // the engine does not know it
  EXPECT_EQ(ok().first, "证券代码不正确！");
  TypeCode(editor, "600000");
  editor.setPriceText = "-0.001";
  editor.quantityText = "-100";
  editor.amountText = "-1";
  editor.optimise.amount = "-1";
  EXPECT_EQ(ok(), Refusal("设定价格不能小于0！", kCtlSetPrice));
  editor.setPriceText = "1O.5";
  EXPECT_EQ(ok(), Refusal("设定价位不是有效的数字！", kCtlSetPrice));
  editor.setPriceText = "10.5";
  EXPECT_EQ(ok(), Refusal("卖出数量不能小于0！", kCtlQuantity));
  editor.quantityText = "1e2x";
  EXPECT_EQ(ok(), Refusal("卖出数量不是有效的整数！", kCtlQuantity));
  editor.quantityText = "100";
  EXPECT_EQ(ok(), Refusal("回落数量不能小于0！", kCtlAmount));
  editor.amountText = "";
  EXPECT_EQ(ok(), Refusal("回落数量不是有效的数字！", kCtlAmount));
  editor.amountText = "0.2";
  editor.OptimiseClick(true);
  EXPECT_EQ(ok(), Refusal("报价优化不能小于0！", kCtlOptimise));
  // Off, the amount is not what is saved, so it is not checked either.
  editor.OptimiseClick(false);
  // The open and newest-price bases need the session to have begun.
  editor.BasisClick(1, true);
  rig.now = base::EncodeDateTime(2026, 12, 9, 9, 29, 59);
  EXPECT_EQ(ok(), Refusal(kSessionRuleText, ""));
  editor.BasisClick(2, true);  // the previous close has no time rule
  EXPECT_EQ(ok().first, "");
  EXPECT_EQ(rig.monitors.Count(), 0u);  // the confirmation was not answered Yes
  editor.BasisClick(3, true);
  rig.now = base::EncodeDateTime(2026, 12, 9, 9, 30, 0);
  rig.dialog.answers = {true};
  EXPECT_EQ(ok().first, "");
  ASSERT_EQ(rig.monitors.Count(), 1u);
  const TPolicyRecord saved = rig.monitors.Snapshot()[0];
  EXPECT_EQ(saved.priceBasis, kBasisNewest);
  EXPECT_FLOAT_EQ(saved.setPrice, 10.8f);  // fetched again at OK
  EXPECT_FLOAT_EQ(saved.basisPrice, 10.8f);
  EXPECT_EQ(saved.optFlag, 0);
  EXPECT_FLOAT_EQ(saved.optAmount, 10.0f);
}

TEST(PayoffEditor, StopLossKeepsTheSetPriceAtOrBelowTheCurrentPrice) {
  PayoffRig rig;
  Tfrmpaylosslimit editor(rig.Services(), rig.dialog);
  editor.OpenForAdd();
  editor.FormShow();
  EXPECT_EQ(editor.title, "添加条件止损");
  EXPECT_EQ(editor.Info().amountLabel, std::string("下跌数量："));
  EXPECT_EQ(editor.quantityText, "700");  // its own defaults
  TypeCode(editor, "600000");
  editor.BasisClick(1, true);
  editor.TakeFocus();
  editor.BasisClick(1, false);
  editor.amountText = "-1";
  editor.OkClick();
  EXPECT_EQ(editor.statusText, "回落数量不能小于0！");  // the take-profit text, on purpose
  editor.amountText = "0.3";
  // The live price shown wins over the quote of the lookup.
  editor.SetLivePriceText(TLiveRole::Main, "10.000");
  editor.setPriceText = "10.001";
  editor.OkClick();
  EXPECT_EQ(editor.statusText, "设定价不能大于现价！");
  EXPECT_EQ(FocusOf(editor), kCtlSetPrice);
  editor.setPriceText = "10.000";
  rig.dialog.answers = {false};
  editor.statusText.clear();
  editor.OkClick();
  EXPECT_EQ(editor.statusText, "");
  EXPECT_EQ(rig.dialog.questions.size(), 1u);
  EXPECT_FALSE(editor.TakeClose());  // No keeps the dialog open
  // No live price yet: the lookup's newest price, 10.8, counts.
  editor.SetLivePriceText(TLiveRole::Main, "");
  editor.setPriceText = "10.801";
  editor.OkClick();
  EXPECT_EQ(editor.statusText, "设定价不能大于现价！");
  editor.setPriceText = "10.8";
  rig.dialog.answers = {true};
  editor.OkClick();
  ASSERT_EQ(rig.monitors.Count(), 1u);
  const TPolicyRecord saved = rig.monitors.Snapshot()[0];
  EXPECT_EQ(saved.kind, kKindLossLimit);
  EXPECT_EQ(saved.direction, kDirFall);
  EXPECT_EQ(saved.tradeType, 2);
  EXPECT_FLOAT_EQ(saved.changeAmount, 0.3f);
  EXPECT_EQ(DescriptionUtf8(saved), "当相对于设定价10.800下跌0.300元时及时提示卖出700股");
}

TEST(PayoffEditor, ReboundComparesWithTheNewestPriceAtTwoDecimals) {
  PayoffRig rig;
  rig.Know(MakeQuote("000001", "平安银行", 10.1f, 10.5f, 10.004f, quotes::kMarketShenzhen));
  rig.Know(MakeQuote("000002", "万科Ａ", 10.1f, 10.5f, 10.2f, quotes::kMarketShenzhen));
  Tfrmlimitdownup editor(rig.Services(), rig.dialog);
  editor.OpenForAdd();
  EXPECT_EQ(editor.Info().quantityLabel, std::string("买入数量："));
  TypeCode(editor, "000001");
  editor.setPriceText = "10.001";
  editor.TakeFocus();
  editor.OkClick();
  EXPECT_EQ(editor.statusText, "设定价不能大于现价！");
  EXPECT_FALSE(editor.TakeFocus().has_value());  // the focus stays
  editor.quantityText = "-1";
  editor.OkClick();
  EXPECT_EQ(editor.statusText, "卖出数量不能小于0！");  // the take-profit text, on purpose
  editor.quantityText = "300";
  editor.setPriceText = "10.000";
  rig.dialog.answers = {true};
  editor.statusText.clear();
  editor.OkClick();
  EXPECT_EQ(editor.statusText, "");
  ASSERT_EQ(rig.monitors.Count(), 1u);
  const TPolicyRecord saved = rig.monitors.Snapshot()[0];
  EXPECT_EQ(saved.kind, kKindLimitDown);
  EXPECT_EQ(saved.direction, kDirFallRebound);
  EXPECT_EQ(saved.tradeType, 1);
  EXPECT_EQ(saved.quantity, 300);
  EXPECT_EQ(saved.market, quotes::kMarketShenzhen);

  // With the open basis the open label is compared: 10.50 above 10.20.
  editor.OpenForAdd();
  TypeCode(editor, "000002");
  editor.BasisClick(1, true);
  editor.TakeFocus();
  editor.OkClick();
  EXPECT_EQ(editor.statusText, "设定价不能大于现价！");
  EXPECT_FALSE(editor.TakeFocus().has_value());
  // The newest-price basis always passes this check.
  editor.BasisClick(3, true);
  editor.statusText.clear();
  rig.dialog.answers = {false};
  editor.OkClick();
  EXPECT_EQ(editor.statusText, "");
}

TEST(PayoffEditor, SavedDefaultsAreSharedByTakeProfitReboundAndWritten) {
  PayoffRig rig;
  ASSERT_TRUE(base::AtomicReplace(rig.settings.ConfigPath(), "[止盈默认设置]\r\n"));
  Tfrmlimitdownup rebound(rig.Services(), rig.dialog);
  rebound.OpenForAdd();
  rebound.setPriceText = "9.99";  // typed: not a default
  rebound.quantityText = " 800 ";
  rebound.amountText = "1.5";
  rebound.amountYuan = false;
  rebound.OptimiseClick(true);
  rebound.optimise.amount = "0.02";
  rebound.optimise.yuan = true;
  rebound.SaveDefaultsClick();

  Tfrmpayoff payoff(rig.Services(), rig.dialog);
  payoff.OpenForAdd();
  EXPECT_EQ(payoff.setPriceText, "0.000");
  EXPECT_EQ(payoff.quantityText, "800");
  EXPECT_EQ(payoff.amountText, "1.5");
  EXPECT_FALSE(payoff.amountYuan);
  EXPECT_EQ(payoff.optimise.amount, "0.02");
  EXPECT_TRUE(payoff.optimise.yuan);
  settings::TTradingProfile profile;
  settings::TMonitorDefaultSet read;
  settings::ReadConfigFile(rig.settings.ConfigPath(), profile, read);
  EXPECT_EQ(read[settings::TMonitorSection::TakeProfit].changeAmount, "1.5‰");
  EXPECT_EQ(read[settings::TMonitorSection::TakeProfit].quantity, "800");

  // A basis saves its label; the stop-loss editor keeps the default while
  // the label is still empty, the take-profit editor does not.
  TypeCode(payoff, "600000");
  payoff.BasisClick(1, true);
  payoff.SaveDefaultsClick();
  EXPECT_EQ(rig.settings.monitorDefaults[settings::TMonitorSection::TakeProfit].setPrice, "10.600");
  Tfrmpaylosslimit loss(rig.Services(), rig.dialog);
  loss.OpenForAdd();
  rig.settings.monitorDefaults[settings::TMonitorSection::StopLoss].setPrice = "8.000";
  loss.BasisClick(3, true);
  loss.SaveDefaultsClick();
  EXPECT_EQ(rig.settings.monitorDefaults[settings::TMonitorSection::StopLoss].setPrice, "8.000");
  EXPECT_EQ(rig.settings.monitorDefaults[settings::TMonitorSection::TakeProfit].quantity, "800");
}

TEST(PayoffEditor, ModifyRefillsKeepsTheStateAndResetGoesBackToDefaults) {
  PayoffRig rig;
  TPolicyRecord m = NewPolicyRecord();
  m.id = 7;
  m.kind = kKindPayoff;
  SetCode(m, "600000");
  SetName(m, "浦发银行");
  m.priceBasis = kBasisNewest;
  m.setPrice = 10.7f;
  m.state = kStateStopped;
  m.quantity = 1200;
  m.changeAmount = 0.25f;
  m.changeUnit = kUnitYuan;
  m.optFlag = 1;
  m.optAmount = 0.01f;
  m.optUnit = kOptUnitYuan;
  m.promptOnly = 0;
  rig.monitors.Add(m);

  Tfrmpayoff editor(rig.Services(), rig.dialog);
  ASSERT_TRUE(editor.OpenForModify(m));
  editor.FormShow();
  EXPECT_EQ(editor.title, "修改移动止盈");
  EXPECT_EQ(editor.setPriceText, "用开始价");
  EXPECT_FALSE(editor.setPriceEnabled);
  EXPECT_EQ(editor.basis, 3);
  EXPECT_EQ(editor.quantityText, "1200");
  EXPECT_EQ(editor.amountText, "0.250");
  EXPECT_TRUE(editor.amountYuan);
  EXPECT_TRUE(editor.optimise.Enabled());
  EXPECT_EQ(editor.optimise.amount, "0.010");
  EXPECT_TRUE(editor.optimise.yuan);
  EXPECT_TRUE(editor.activeChecked);
  EXPECT_TRUE(editor.LivePriceRunning(TLiveRole::Main));

  editor.quantityText = "1300";
  editor.OkClick();
  EXPECT_TRUE(rig.dialog.questions.empty());  // modify never asks
  ASSERT_EQ(rig.monitors.Count(), 1u);
  const TPolicyRecord saved = rig.monitors.Snapshot()[0];
  EXPECT_EQ(saved.id, 7);
  EXPECT_EQ(saved.state, kStateStopped);
  EXPECT_EQ(saved.quantity, 1300);
  EXPECT_EQ(saved.optFlag, 1);
  EXPECT_FLOAT_EQ(saved.optAmount, 0.01f);

  // "撤销[&R]" in a modify dialog: defaults again, mode kept, updater stopped.
  ASSERT_TRUE(editor.OpenForModify(m));
  editor.statusText = "x";
  editor.ResetClick();
  EXPECT_EQ(editor.mode, TEditorMode::Modify);
  EXPECT_EQ(editor.statusText, "");
  EXPECT_FALSE(editor.LivePriceRunning(TLiveRole::Main));
  EXPECT_EQ(editor.codeText, "");
  EXPECT_EQ(editor.basis, 0);
  EXPECT_TRUE(editor.setPriceEnabled);
  EXPECT_EQ(editor.setPriceText, "0.000");
  EXPECT_EQ(editor.quantityText, "500");
  EXPECT_FALSE(editor.optimise.Enabled());
  EXPECT_FALSE(editor.activeChecked);
  EXPECT_EQ(editor.closeText, "");
}
