// The price and time monitor editors worked as a user works them: opening,
// typing a code, the live price, spin buttons, basis boxes, the refusals in
// their order, the confirmation, the record that lands in the monitor list,
// modifying, saving defaults, and the updater threads on every close path.
#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <fstream>

#include "base/files.h"
#include "base/fixed_text.h"
#include "base/gbk.h"
#include "base/ini_file.h"
#include "policy/unt_frmprice.h"
#include "policy/unt_frmtime.h"
#include "support/editor_fakes.h"

using namespace policy;
using testing_support::EditorRig;
using testing_support::MakeQuote;

namespace {

void Type(TEditorFrame& form, const std::string& code) {
  form.codeText = code;
  form.RzEditLabelKeyUp();
}

std::string Focus(TEditorFrame& form) {
  const auto f = form.TakeFocus();
  return f ? f->control : "";
}

// The same bytes as stored; the description is Part of the record, compared as text.
void ExpectSameRecord(const TPolicyRecord& expected, const TPolicyRecord& actual) {
  EXPECT_EQ(DescriptionUtf8(expected), DescriptionUtf8(actual));
  EXPECT_EQ(0, std::memcmp(&expected, &actual, sizeof expected));
}

class EditorTest : public ::testing::Test {
 protected:
  void SetUp() override {
    auto& price = rig.settings.monitorDefaults[settings::TMonitorSection::Price];
    price.quantity = "1000";
    price.changeAmount = "1.5" + std::string(settings::kUnitMarker);
    price.optimiseAmount = "0.02";
    auto& time = rig.settings.monitorDefaults[settings::TMonitorSection::Time];
    time.quantity = "300";
    time.optimiseAmount = "5" + std::string(settings::kUnitMarker);
    rig.Know(MakeQuote("600000", "浦发银行", 10.10f, 10.20f, 10.23f, 1));
    rig.Know(MakeQuote("000001", "平安银行", 12.00f, 11.90f, 12.345f, 0));
  }
  EditorRig rig;
};

TEST_F(EditorTest, PriceMonitorFromCodeToSavedRecord) {
  Tfrmprice form(rig.Services(), rig.dialog);
  form.OpenForAdd();
  form.FormShow();
  EXPECT_EQ("添加按价位监视", form.title);
  EXPECT_EQ(kCtlCode, Focus(form));
  // Starting values from the defaults, by the unit marker rule.
  EXPECT_EQ("0.000", form.setPriceText);
  EXPECT_TRUE(form.setPriceEnabled);
  EXPECT_EQ("1000", form.quantityText);
  EXPECT_EQ("1.5", form.changeAmountText);
  EXPECT_FALSE(form.changeYuan);
  EXPECT_EQ("0.02", form.optimise.amount);
  EXPECT_TRUE(form.optimise.yuan);
  EXPECT_FALSE(form.optimise.Enabled());
  EXPECT_EQ(1, form.directionIndex);  // "下跌"
  EXPECT_FALSE(form.buy);

  // Five and seven characters look nothing up; the sixth does, once.
  Type(form, "60000");
  Type(form, "6000001");
  EXPECT_EQ(0, form.LookupCount());
  EXPECT_FALSE(form.LivePriceRunning(TLiveRole::Main));
  Type(form, "600000");
  EXPECT_EQ(1, form.LookupCount());
  EXPECT_TRUE(form.codeEnabled);
  EXPECT_EQ("浦发银行", form.nameText);
  EXPECT_EQ("10.200", form.openText);
  EXPECT_EQ("10.100", form.closeText);
  EXPECT_EQ(kCtlSetPrice, Focus(form));
  ASSERT_TRUE(form.LivePriceRunning(TLiveRole::Main));
  ASSERT_TRUE(rig.gui.DrainUntil([&] { return form.LivePriceText(TLiveRole::Main) == "10.230"; }));

  // Spin buttons in the shortest form.
  form.setPriceText = "0";
  form.SetPriceSpin(false);
  EXPECT_EQ("0", form.setPriceText);
  form.setPriceText = "12.345";
  form.SetPriceSpin(true);
  EXPECT_EQ("12.346", form.setPriceText);
  form.setPriceText = "12.349";
  form.SetPriceSpin(true);
  EXPECT_EQ("12.35", form.setPriceText);
  form.quantityText = "50";
  form.QuantitySpin(false);
  EXPECT_EQ("0", form.quantityText);
  form.QuantitySpin(true);
  EXPECT_EQ("100", form.quantityText);

  // Refusals, in order; a field that holds no number never saves.
  form.setPriceText = "abc";
  form.OkClick();
  EXPECT_EQ("设定价位不是有效的数字！", form.statusText);
  form.setPriceText = "-1";
  form.OkClick();
  EXPECT_EQ("设定价格不能小于0！", form.statusText);
  EXPECT_EQ(kCtlSetPrice, Focus(form));
  form.setPriceText = "10.231";  // falling, 0.001 above the newest price
  form.quantityText = "-100";
  form.OkClick();
  EXPECT_EQ("买卖数量不能小于0！", form.statusText);
  // Every broker refuses a buy in odd shares; a sell of them is fine.
  const bool buy = form.buy;
  form.buy = true;
  form.quantityText = "150";
  form.OkClick();
  EXPECT_EQ("买入数量必须为100的整数倍！", form.statusText);
  form.buy = buy;
  form.quantityText = "100";
  form.changeAmountText = "";
  form.OkClick();
  EXPECT_EQ("变化数量不是有效的数字！", form.statusText);
  form.changeAmountText = "0.5";
  form.changeYuan = true;
  form.optimise.amount = "-1";  // not counted while optimisation is off
  form.OkClick();
  EXPECT_EQ("下涨或下跌中反弹，设定价必须小于当前价！", form.statusText);
  EXPECT_EQ(kCtlSetPrice, Focus(form));
  form.OptimiseClick(true);
  EXPECT_TRUE(form.optimise.Enabled());
  form.OkClick();
  EXPECT_EQ("报价优化不能小于0！", form.statusText);
  form.optimise.amount = "0.01";
  form.directionIndex = 0;  // rising: an equal price passes
  form.setPriceText = "10.23";
  form.RzEditLabelClick();
  EXPECT_EQ("", form.statusText);

  // The confirmation: No keeps everything, Yes saves.
  rig.dialog.answers = {false};
  form.OkClick();
  ASSERT_EQ(1u, rig.dialog.questions.size());
  EXPECT_EQ(0u, rig.monitors.Count());
  EXPECT_FALSE(form.TakeClose());
  EXPECT_TRUE(form.LivePriceRunning(TLiveRole::Main));

  std::filesystem::create_directories(rig.dir.path() / "res");
  std::ofstream(rig.dir.File("res/Money_Policy.wav")).put('x');
  rig.settings.options.soundOn = 1;
  rig.monitors.Add([] { TPolicyRecord r = NewPolicyRecord(); r.id = 6; r.kind = kKindTime; SetCode(r, "000001"); return r; }());
  form.activeChecked = true;
  rig.dialog.answers = {true};
  form.OkClick();
  EXPECT_TRUE(form.TakeClose());
  EXPECT_FALSE(form.LivePriceRunning(TLiveRole::Main));
  EXPECT_EQ(1, rig.rebuilds);
  ASSERT_EQ(1u, rig.sounds.size());
  EXPECT_NE(std::string::npos, rig.sounds[0].find("Money_Policy.wav"));
  ASSERT_EQ(2u, rig.monitors.Count());

  TPolicyRecord expected = NewPolicyRecord();
  expected.id = 7;
  expected.kind = kKindPrice;
  base::WriteFixedText(expected.code, "600000");
  base::WriteFixedText(expected.name, base::Utf8ToGbkLossy("浦发银行"));
  expected.market = 1;
  expected.setPrice = 10.23f;
  expected.state = kStateRunning;
  expected.promptOnly = 0;
  expected.newestPrice = 10.23f;
  expected.openPrice = 10.20f;
  expected.prevClose = 10.10f;
  expected.direction = kDirRise;
  expected.changeAmount = 0.5f;
  expected.changeUnit = kUnitYuan;
  expected.tradeType = 2;
  expected.quantity = 100;
  expected.optFlag = 1;
  expected.optAmount = 0.01f;
  expected.optUnit = kOptUnitYuan;
  SetDescription(expected, "当相对设定价位10.230上涨0.500元时及时自动卖出100股");
  ExpectSameRecord(expected, rig.monitors.Snapshot()[1]);
  EXPECT_EQ("确认提示！|当相对设定价位10.230上涨0.500元时及时自动卖出100股\r\n\r\n是否确认下单？",
            rig.dialog.questions.back());
  // Published to the engine's list: the running monitor's code.
  ASSERT_FALSE(rig.monitors.Labels().empty());
  EXPECT_STREQ("600000", rig.monitors.Labels()[0].code);
}

TEST_F(EditorTest, PriceBasisBoxesSessionRuleAndModify) {
  Tfrmprice form(rig.Services(), rig.dialog);
  form.OpenForAdd();
  Type(form, "000001");
  form.BasisClick(1, true);
  EXPECT_EQ("用开盘价", form.setPriceText);
  EXPECT_FALSE(form.setPriceEnabled);
  form.BasisClick(2, true);  // one box at a time
  EXPECT_EQ(2, form.basis);
  EXPECT_EQ("用昨收价", form.setPriceText);
  form.BasisClick(2, false);
  EXPECT_TRUE(form.setPriceEnabled);
  EXPECT_EQ("0.000", form.setPriceText);
  // Save as default with the open basis: the open shown becomes the
  // default set price, the change amount keeps its unit marker.
  form.BasisClick(1, true);
  form.changeAmountText = "1.5";
  form.changeYuan = false;
  form.SaveDefaultsClick();
  auto& d = rig.settings.monitorDefaults[settings::TMonitorSection::Price];
  EXPECT_EQ("11.900", d.setPrice);
  EXPECT_EQ("1.5" + std::string(settings::kUnitMarker), d.changeAmount);
  form.BasisClick(1, false);
  EXPECT_EQ("11.900", form.setPriceText);
  d.setPrice = "0.000";
  form.BasisClick(2, false);

  // Falling with the open (11.90) below the newest 12.345: the shown basis
  // price is compared, so it passes; the 9:30 rule comes next.
  form.BasisClick(1, true);
  form.TakeFocus();
  rig.now = base::EncodeDateTime(2026, 12, 9, 9, 29, 59);
  form.OkClick();
  EXPECT_EQ(kSessionRuleText, form.statusText);
  EXPECT_FALSE(form.TakeFocus());
  form.BasisClick(2, true);  // the previous close has no time rule
  rig.now = base::EncodeDateTime(2026, 12, 9, 9, 0, 0);
  rig.dialog.answers = {true};
  form.OkClick();
  ASSERT_TRUE(form.TakeClose());
  TPolicyRecord saved = rig.monitors.Snapshot().at(0);
  EXPECT_EQ(kBasisPrevClose, saved.priceBasis);
  EXPECT_FLOAT_EQ(12.00f, saved.setPrice);
  EXPECT_EQ(0, saved.id);

  // Modify a stopped monitor with the newest-price basis and a target.
  saved.priceBasis = kBasisNewest;
  saved.state = kStateStopped;
  saved.targetFlag = 1;
  SetTargetCode(saved, "600000");
  SetTargetName(saved, "浦发银行");
  saved.changeUnit = kUnitPercent;
  saved.optFlag = 1;
  saved.optUnit = kOptUnitPerMille;
  saved.optAmount = 3;
  rig.monitors.Replace(saved);
  form.FormClose();
  ASSERT_TRUE(form.OpenForModify(saved));
  form.FormShow();
  EXPECT_EQ("修改按价位监视", form.title);
  EXPECT_EQ("用开始价", form.setPriceText);
  EXPECT_FALSE(form.setPriceEnabled);
  EXPECT_EQ(3, form.basis);
  EXPECT_TRUE(form.relationChecked);
  EXPECT_TRUE(form.relationCodeEnabled);
  EXPECT_EQ("600000", form.relationCodeText);
  EXPECT_TRUE(form.LivePriceRunning(TLiveRole::Target));
  EXPECT_FALSE(form.changeYuan);
  EXPECT_TRUE(form.optimise.Enabled());
  EXPECT_EQ("3.000", form.optimise.amount);
  EXPECT_FALSE(form.optimise.yuan);
  rig.now = base::EncodeDateTime(2026, 12, 9, 9, 30, 0);
  form.OkClick();
  ASSERT_TRUE(form.TakeClose()) << form.statusText;
  EXPECT_EQ(1u, rig.dialog.questions.size());  // no confirmation for a change
  EXPECT_FALSE(form.LivePriceRunning(TLiveRole::Target));
  const TPolicyRecord changed = rig.monitors.Snapshot().at(0);
  EXPECT_EQ(kStateStopped, changed.state);
  EXPECT_EQ(kBasisNewest, changed.priceBasis);
  EXPECT_FLOAT_EQ(12.345f, changed.setPrice);
  EXPECT_FLOAT_EQ(12.345f, changed.basisPrice);
  EXPECT_EQ(1, changed.targetFlag);
  EXPECT_EQ("浦发银行", base::ReadFixedUtf8(changed.targetName, sizeof changed.targetName));

  // "撤销[&R]" keeps the mode and empties what the reset empties.
  ASSERT_TRUE(form.OpenForModify(changed));
  form.statusText = "x";
  form.ResetClick();
  EXPECT_EQ(TEditorMode::Modify, form.mode);
  EXPECT_EQ("", form.statusText);
  EXPECT_EQ("", form.codeText);
  EXPECT_EQ(0, form.basis);
  EXPECT_TRUE(form.setPriceEnabled);
  EXPECT_FALSE(form.relationChecked);
  EXPECT_FALSE(form.relationCodeEnabled);
  EXPECT_FALSE(form.LivePriceRunning(TLiveRole::Main));
}

TEST_F(EditorTest, UnknownCodeAndUnboundEngineAreRefused) {
  Tfrmprice form(rig.Services(), rig.dialog);
  form.OpenForAdd();
  Type(form, "999999");
  EXPECT_EQ("", form.nameText);
  EXPECT_EQ(0, form.Quote().quoteTime);
  form.OkClick();
  EXPECT_EQ(kBadCodeText, form.statusText);
  EXPECT_EQ(kCtlCode, Focus(form));
  auto services = rig.Services();
  services.requestQuote = nullptr;  // no engine bound
  Tfrmtime unbound(services, rig.dialog);
  unbound.OpenForAdd();
  Type(unbound, "600000");
  unbound.OkClick();
  EXPECT_EQ(kBadCodeText, unbound.statusText);
  // A lookup that raises an error: the code box is usable again, and a
  // re-fill does not show the dialog.
  rig.engineThrows = true;
  EXPECT_THROW(Type(form, "600000"), std::runtime_error);
  EXPECT_TRUE(form.codeEnabled);
  TPolicyRecord m = NewPolicyRecord();
  m.kind = kKindPrice;
  SetCode(m, "600000");
  EXPECT_FALSE(form.OpenForModify(m));
  EXPECT_FALSE(form.LivePriceRunning(TLiveRole::Main));
  EXPECT_EQ(0u, rig.monitors.Count());
}

TEST_F(EditorTest, TimeMonitorRecordRefusalsAndDefaults) {
  Tfrmtime form(rig.Services(), rig.dialog);
  rig.now = base::EncodeDateTime(2026, 12, 9, 14, 5, 31);
  form.OpenForAdd();
  EXPECT_EQ("14:05", form.tradeTimeText);
  EXPECT_EQ("300", form.quantityText);
  EXPECT_EQ("5", form.optimise.amount);
  EXPECT_FALSE(form.optimise.yuan);
  Type(form, "600000");
  EXPECT_EQ(kCtlSetPrice, Focus(form));
  form.RzCBPriceClick(true);
  EXPECT_EQ("即时成交价", form.setPriceText);
  EXPECT_FALSE(form.setPriceEnabled);
  Type(form, "600000");
  EXPECT_EQ("RzNumEditVolume", Focus(form));
  form.tradeTimeText = "25:00";
  form.OkClick();
  EXPECT_EQ(kBadOrderTimeText, form.statusText);
  EXPECT_EQ("RzDTETradeTime", Focus(form));
  form.tradeTimeText = "14:5_";
  form.OkClick();
  EXPECT_EQ(kBadOrderTimeText, form.statusText);
  form.tradeTimeText = "14:50";
  form.buy = true;
  rig.dialog.answers = {true};
  form.OkClick();
  ASSERT_TRUE(form.TakeClose()) << form.statusText;

  TPolicyRecord expected = NewPolicyRecord();
  expected.kind = kKindTime;
  base::WriteFixedText(expected.code, "600000");
  base::WriteFixedText(expected.name, base::Utf8ToGbkLossy("浦发银行"));
  expected.market = 1;
  expected.priceBasis = kBasisTradePrice;
  expected.state = kStateRunning;
  expected.promptOnly = 1;
  expected.newestPrice = 10.23f;
  expected.openPrice = 10.20f;
  expected.prevClose = 10.10f;
  expected.tradeType = 1;
  expected.quantity = 300;
  expected.optFlag = 0;
  expected.optAmount = 10.0f;
  expected.optUnit = kOptUnitPerMille;
  expected.orderTime = base::EncodeTime(14, 50, 0);
  SetDescription(expected, "在14:50时按设定价位提示买入300股");
  ExpectSameRecord(expected, rig.monitors.Snapshot().at(0));

  // Modify: the trade price box with its caption, the time as hh:mm; the
  // reset sets the time to now again and the focus into the code box.
  ASSERT_TRUE(form.OpenForModify(rig.monitors.Snapshot().at(0)));
  EXPECT_TRUE(form.tradePriceChecked);
  EXPECT_EQ("即时成交价", form.setPriceText);
  EXPECT_EQ("14:50", form.tradeTimeText);
  EXPECT_TRUE(form.buy);
  form.TakeFocus();
  rig.now = base::EncodeDateTime(2026, 12, 9, 9, 7, 0);
  form.ResetClick();
  EXPECT_EQ("09:07", form.tradeTimeText);
  EXPECT_FALSE(form.tradePriceChecked);
  EXPECT_TRUE(form.setPriceEnabled);
  EXPECT_EQ(kCtlCode, Focus(form));
  EXPECT_TRUE(form.buy);  // the trade type keeps what it had

  // Save as default: the marker for the non-yuan unit, written to
  // config.ini only when it exists.
  form.setPriceText = "8.8";
  form.quantityText = " 200 ";
  form.optimise.amount = "1.5";
  form.optimise.yuan = false;
  form.SaveDefaultsClick();
  const auto& d = rig.settings.monitorDefaults[settings::TMonitorSection::Time];
  EXPECT_EQ("8.8", d.setPrice);
  EXPECT_EQ("200", d.quantity);
  EXPECT_EQ("1.5" + std::string(settings::kUnitMarker), d.optimiseAmount);
  EXPECT_FALSE(base::FileExists(rig.settings.ConfigPath()));
  std::ofstream(base::PathFromUtf8(rig.settings.ConfigPath())).close();
  form.SaveDefaultsClick();
  const auto bytes = base::ReadFileBytes(rig.settings.ConfigPath());
  ASSERT_TRUE(bytes);
  EXPECT_NE(std::string::npos, bytes->find(base::Utf8ToGbkLossy("按时间默认设置")));
  EXPECT_NE(std::string::npos, bytes->find("1.5\xA1\xEB"));
  // The set price default is never read back: a new run starts at 0.000.
  settings::TSettings restart(rig.settings.ApplicationFolder());
  restart.LoadTradingSettings();
  EXPECT_EQ("0.000", restart.monitorDefaults[settings::TMonitorSection::Time].setPrice);
  EXPECT_EQ("200", restart.monitorDefaults[settings::TMonitorSection::Time].quantity);
}

TEST_F(EditorTest, ClosingAThousandTimesLeavesNoUpdaterBehind) {
  auto threads = [] {
#ifdef __linux__
    size_t n = 0;
    for ([[maybe_unused]] const auto& e : std::filesystem::directory_iterator("/proc/self/task")) ++n;
    return n;
#else
    return size_t{0};
#endif
  };
  Tfrmprice form(rig.Services(), rig.dialog);
  const size_t before = threads();
  for (int i = 0; i < 1000; ++i) {
    form.OpenForAdd();
    Type(form, "600000");
    if (i % 2) {
      form.relationChecked = true;
      form.relationCodeText = "000001";
      form.RzEditLabelRelationKeyUp();
    }
    ASSERT_TRUE(form.LivePriceRunning(TLiveRole::Main));
    switch (i % 3) {
      case 0: form.CancelClick(); break;
      case 1: form.EscapePressed(); break;
      default: break;  // closed by the window itself
    }
    form.FormClose();
    ASSERT_FALSE(form.LivePriceRunning(TLiveRole::Main));
    ASSERT_FALSE(form.LivePriceRunning(TLiveRole::Target));
    rig.gui.Drain();
  }
  EXPECT_EQ(before, threads());
  // The last updater's end emptied its label.
  rig.gui.Drain();
  EXPECT_EQ("", form.LivePriceText(TLiveRole::Main));
}

}  // namespace

// "用开盘价" before the first trade of the day (open 0) and "用昨收价" on a
// first day (previous close 0) are no prices: refused as "用现价" is, since
// a monitor set at 0 would fire on the first trade.
TEST_F(EditorTest, AnOpenOrPreviousCloseOfZeroIsNoBasis) {
  rig.Know(MakeQuote("600010", "包钢股份", 0.0f, 0.0f, 0.0f, 1));
  Tfrmprice form(rig.Services(), rig.dialog);
  form.OpenForAdd();
  Type(form, "600010");
  ASSERT_EQ("包钢股份", form.nameText);
  rig.dialog.answers = {true, true, true};
  for (const auto& [box, refusal] : {std::pair{1, kNoOpenPriceText}, std::pair{2, kNoPrevClosePriceText}}) {
    form.BasisClick(box, true);
    form.OkClick();
    EXPECT_EQ(refusal, form.statusText);
    EXPECT_FALSE(form.TakeClose());
    form.BasisClick(box, false);
  }
  EXPECT_TRUE(rig.monitors.Snapshot().empty());
  EXPECT_TRUE(rig.dialog.questions.empty()) << "refused before the confirmation";
  // Once it has traded, the same basis saves its price.
  rig.Know(MakeQuote("600010", "包钢股份", 1.50f, 1.52f, 1.53f, 1));
  Type(form, "60001");
  Type(form, "600010");
  form.BasisClick(1, true);
  form.OkClick();
  ASSERT_TRUE(form.TakeClose());
  ASSERT_EQ(1u, rig.monitors.Snapshot().size());
  EXPECT_FLOAT_EQ(1.52f, rig.monitors.Snapshot()[0].setPrice);
}
