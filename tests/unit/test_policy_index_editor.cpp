// The index monitor editor: the index list and indexcode.txt, the set
// point, the checks, and the record it writes.
#include <gtest/gtest.h>

#include <cstring>

#include "base/files.h"
#include "base/fixed_text.h"
#include "base/gbk.h"
#include "policy/unt_frmpolicyindex.h"
#include "policy/unt_frmpolicypayoff.h"
#include "support/editor_fakes.h"

using namespace policy;
using testing_support::EditorRig;
using testing_support::MakeQuote;

namespace {

struct IndexRig : EditorRig {
  IndexRig() {
    Know(MakeQuote("600036", "招商银行", 30.0f, 30.2f, 30.5f, quotes::kMarketShanghai));
    Know(MakeQuote("1A0001", "上证指数", 3000.0f, 3001.0f, 3012.345f, quotes::kMarketShanghai));
    Know(MakeQuote("399905", "中证500", 6000.0f, 6001.0f, 6050.0f, quotes::kMarketShenzhen));
    settings.monitorDefaults[settings::TMonitorSection::TakeProfit].quantity = "400";
    settings.monitorDefaults[settings::TMonitorSection::TakeProfit].optimiseAmount = "3‰";
  }
};

std::string FocusOf(TEditorFrame& editor) {
  const auto focus = editor.TakeFocus();
  return focus ? focus->control : "";
}

}  // namespace

TEST(IndexEditor, ItemsGiveTheirCodeAndNameByBytes) {
  EXPECT_EQ(IndexItemOf("中证100  399903").code, "399903");
  EXPECT_EQ(IndexItemOf("中证100  399903").name, "中证100");
  EXPECT_EQ(IndexItemOf("上证指数 1A0001").name, "上证指数");
  EXPECT_EQ(IndexItemOf(" 39900 ").code, "39900");  // shorter than seven bytes
  EXPECT_EQ(IndexItemOf(" 39900 ").name, "");
  // Without its separator the name would end in half a character.
  EXPECT_EQ(IndexItemOf("上证指数1A0001").name, "上证指");
}

TEST(IndexEditor, IndexCodeFileReplacesTheListAndSelectionLooksTheIndexUp) {
  IndexRig rig;
  Tfrmindex editor(rig.Services(), rig.dialog);
  editor.LoadIndexList();
  editor.OpenForAdd();
  EXPECT_EQ(editor.indexItems, BuiltInIndexItems());
  ASSERT_TRUE(base::AtomicReplace(rig.settings.ApplicationFolder() + kIndexCodeFile,
                                  base::Utf8ToGbkLossy("深证指数 399001\r\n中证500  399905 \r\n\r\n")));
  editor.LoadIndexList();
  editor.OpenForAdd();
  editor.FormShow();
  EXPECT_EQ(editor.title, "添加指数策略");
  EXPECT_EQ(FocusOf(editor), kCtlSetPrice);
  EXPECT_EQ(editor.indexItems, (std::vector<std::string>{"深证指数 399001", "中证500  399905"}));
  EXPECT_EQ(editor.setPriceText, "0");
  EXPECT_EQ(editor.quantityText, "400");  // the take-profit defaults
  EXPECT_EQ(editor.optimise.amount, "3");

  editor.RzCheckListChange(0, true);
  editor.RzCheckListChange(1, true);
  EXPECT_EQ(editor.indexChecked, (std::vector<bool>{false, true}));
  EXPECT_EQ(editor.indexNameText, "中证500");
  EXPECT_EQ(editor.indexValueText, "6050.000");
  EXPECT_EQ(base::ReadFixedText(editor.IndexQuote().code), "399905");
  EXPECT_EQ(FocusOf(editor), kCtlSetPrice);
  editor.RzCheckListChange(1, false);
  EXPECT_EQ(editor.indexNameText, "");
  EXPECT_EQ(editor.indexValueText, "");
  editor.codeText = "600036";
  editor.RzEditLabelKeyUp();
  EXPECT_EQ(FocusOf(editor), kCtlSetPrice);
  editor.OkClick();
  EXPECT_EQ(editor.statusText, "没有选择监控指数，请选择！");
  // An index the engine does not know shows a zero value.
  editor.RzCheckListChange(0, true);
  EXPECT_EQ(editor.indexValueText, "0.000");
}

TEST(IndexEditor, ChecksRunInOrderAndTheRecordNamesTheIndexAndTheTarget) {
  IndexRig rig;
  Tfrmindex editor(rig.Services(), rig.dialog);
  editor.LoadIndexList();
  editor.OpenForAdd();
  editor.OkClick();
  EXPECT_EQ(editor.statusText, "目标证券不正确！");
  EXPECT_EQ(FocusOf(editor), kCtlCode);
  editor.codeText = "600036";
  editor.RzEditLabelKeyUp();
  EXPECT_EQ(editor.nameText, "招商银行");
  editor.quantityText = "-100";
  editor.OkClick();
  EXPECT_EQ(editor.statusText, "交易数量不能小于0！");
  EXPECT_EQ(FocusOf(editor), kCtlIndexQuantity);
  editor.quantityText = "200";
  editor.OptimiseClick(true);
  editor.optimise.amount = "-0.5";
  editor.OkClick();
  EXPECT_EQ(editor.statusText, "报价优化不能小于0！");
  editor.optimise.amount = "0.5";
  editor.optimise.yuan = true;
  editor.OkClick();
  EXPECT_EQ(editor.statusText, "没有选择监控指数，请选择！");
  editor.RzCheckListChange(0, true);  // 上证指数 at 3012.345
  // Rising: the set point must lie above the value as shown.
  editor.setPriceText = "3012.345";
  editor.OkClick();
  EXPECT_EQ(editor.statusText, "当跟踪方式为上涨时，设定点位必须大于当前点位！");
  editor.directionUp = false;
  editor.OkClick();
  EXPECT_EQ(editor.statusText, "当跟踪方式为下跌时，设定点位必须小于当前点位！");
  // A click on the value takes it, to whole points, as the set point.
  editor.RzLbValueClick();
  EXPECT_EQ(editor.setPriceText, "3012.000");
  editor.SetPointSpin(false);
  EXPECT_EQ(editor.setPriceText, "3002");
  editor.changeText = "abc";
  editor.OkClick();
  EXPECT_EQ(editor.statusText, "变化数量不是有效的数字！");
  editor.changeText = "20";
  editor.sell = false;
  editor.activeChecked = true;
  rig.dialog.answers = {true};
  editor.statusText.clear();
  editor.OkClick();
  EXPECT_EQ(editor.statusText, "");
  ASSERT_EQ(rig.monitors.Count(), 1u);

  TPolicyRecord expected = NewPolicyRecord();
  expected.id = 0;
  expected.kind = kKindIndex;
  base::WriteFixedText(expected.code, "1A0001");
  base::WriteFixedText(expected.name, base::Utf8ToGbkLossy("上证指数"));
  expected.market = quotes::kMarketShanghai;
  expected.setPrice = 3002.0f;
  expected.state = kStateRunning;
  expected.direction = kDirFall;
  expected.changeAmount = 20.0f;
  expected.changeUnit = kUnitPoint;
  expected.tradeType = 1;
  expected.quantity = 200;
  expected.targetFlag = 1;
  base::WriteFixedText(expected.targetCode, "600036");
  base::WriteFixedText(expected.targetName, base::Utf8ToGbkLossy("招商银行"));
  expected.optFlag = 1;
  expected.optAmount = 0.5f;
  expected.optUnit = kOptUnitYuan;
  base::WriteFixedText(expected.description,
                       base::Utf8ToGbkLossy("当所监控的上证指数相对于设定点位3002.000下跌20.000点时及时自动买入200股"));
  const TPolicyRecord saved = rig.monitors.Snapshot()[0];
  EXPECT_EQ(0, std::memcmp(&saved, &expected, sizeof expected));
}

TEST(IndexEditor, SpinsModifyAndSharedDefaults) {
  IndexRig rig;
  Tfrmindex editor(rig.Services(), rig.dialog);
  editor.LoadIndexList();
  editor.OpenForAdd();
  editor.setPriceText = "5";
  editor.SetPointSpin(false);
  EXPECT_EQ(editor.setPriceText, "0");
  editor.SetPointSpin(true);
  EXPECT_EQ(editor.setPriceText, "10");
  editor.changeText = "1.5";
  editor.changePoints = false;

  TPolicyRecord m = NewPolicyRecord();
  m.id = 3;
  m.kind = kKindIndex;
  SetCode(m, "399905");
  SetName(m, "中证500");
  m.setPrice = 6100.0f;
  m.state = kStateTriggered;
  m.direction = kDirRise;
  m.changeAmount = 2.0f;
  m.changeUnit = kUnitPercent;
  m.tradeType = 2;
  m.quantity = 900;
  m.targetFlag = 1;
  SetTargetCode(m, "600036");
  SetTargetName(m, "招商银行");
  m.promptOnly = 1;
  m.optUnit = kOptUnitPerMille;
  m.optAmount = 10.0f;
  rig.monitors.Add(m);
  ASSERT_TRUE(editor.OpenForModify(editor.PrepareModify(m)));
  EXPECT_EQ(editor.codeText, "600036");
  EXPECT_EQ(editor.nameText, "招商银行");
  EXPECT_TRUE(editor.LivePriceRunning(TLiveRole::Main));
  EXPECT_EQ(editor.LivePriceCode(TLiveRole::Main), "600036");
  EXPECT_EQ(editor.SelectedIndex(), 4);
  EXPECT_EQ(editor.indexValueText, "6050.000");
  EXPECT_EQ(editor.setPriceText, "6100.000");
  EXPECT_TRUE(editor.directionUp);
  EXPECT_TRUE(editor.sell);
  EXPECT_EQ(editor.changeText, "2.000");
  EXPECT_FALSE(editor.changePoints);
  EXPECT_FALSE(editor.activeChecked);
  editor.OkClick();
  EXPECT_TRUE(rig.dialog.questions.empty());
  const TPolicyRecord saved = rig.monitors.Snapshot()[0];
  EXPECT_EQ(saved.id, 3);
  EXPECT_EQ(saved.state, kStateTriggered);
  EXPECT_EQ(CodeText(saved), "399905");
  EXPECT_EQ(saved.market, quotes::kMarketShenzhen);

  // The reset keeps the change amount, which is no default.
  editor.changeText = "7";
  editor.ResetClick();
  EXPECT_EQ(editor.changeText, "7");
  EXPECT_EQ(editor.SelectedIndex(), -1);
  EXPECT_FALSE(editor.LivePriceRunning(TLiveRole::Main));
  // Its saved defaults are the take-profit editor's starting values.
  editor.quantityText = "1500";
  editor.optimise.amount = "0.03";
  editor.optimise.yuan = true;
  editor.SaveDefaultsClick();
  Tfrmpayoff payoff(rig.Services(), rig.dialog);
  payoff.OpenForAdd();
  EXPECT_EQ(payoff.quantityText, "1500");
  EXPECT_EQ(payoff.optimise.amount, "0.03");
  EXPECT_TRUE(payoff.optimise.yuan);
}
