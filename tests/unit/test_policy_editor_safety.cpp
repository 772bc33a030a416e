// The editors never save a monitor that would fire on a price that never
// traded or on another security's data: each test runs the sequence that
// once saved such a monitor, as a user (and the quote messages behind the
// modal dialog) would.
#include <gtest/gtest.h>

#include <functional>
#include <string>

#include "base/fixed_text.h"
#include "policy/unt_frmpolicyindex.h"
#include "policy/unt_frmpolicypaylosslimit.h"
#include "policy/unt_frmpolicypayoff.h"
#include "policy/unt_frmprice.h"
#include "support/editor_fakes.h"
#include "support/policy_fixtures.h"

using namespace policy;
using testing_support::EditorRig;
using testing_support::MakeQuote;

namespace {

struct SafetyRig : EditorRig {
  SafetyRig() {
    Know(MakeQuote("000001", "平安银行", 19.8f, 19.9f, 20.0f, 0));
    Know(MakeQuote("600000", "浦发银行", 9.9f, 9.95f, 10.0f, 1));
    Know(MakeQuote("1A0001", "上证指数", 3000.0f, 3001.0f, 3012.0f, 1));
    for (auto section : {settings::TMonitorSection::Price, settings::TMonitorSection::StopLoss,
                         settings::TMonitorSection::TakeProfit}) {
      settings.monitorDefaults[section].quantity = "100";
      settings.monitorDefaults[section].changeAmount = "0.2";
    }
  }
  void Forget(const std::string& code) {
    std::lock_guard lock(quotesMutex);
    quotes.erase(code);
  }
  TPolicyRecord Saved(size_t i = 0) { return monitors.Snapshot().at(i); }
};

void Type(TEditorFrame& form, const std::string& code) {
  form.codeText = code;
  form.RzEditLabelKeyUp();
}

}  // namespace

TEST(EditorSafety, AFailedLookupAtOkSavesNoSetPriceOfZero) {
  SafetyRig rig;
  // The price editor: "上涨" on "用现价"; the engine loses the code before OK.
  Tfrmprice price(rig.Services(), rig.dialog);
  price.OpenForAdd();
  Type(price, "600000");
  price.directionIndex = 0;
  price.BasisClick(3, true);
  rig.Forget("600000");
  rig.dialog.answers = {true};
  price.OkClick();
  EXPECT_EQ(price.statusText, kNoNewestPriceText);
  EXPECT_TRUE(rig.dialog.questions.empty());
  // A report with no trade yet is no newest price either.
  rig.Know(MakeQuote("600000", "浦发银行", 9.9f, 9.95f, 0.0f, 1));
  price.OkClick();
  EXPECT_EQ(price.statusText, kNoNewestPriceText);

  // The stop-loss editor on "用现价": the same step, the same refusal.
  rig.Forget("600000");
  Tfrmpaylosslimit loss(rig.Services(), rig.dialog);
  loss.OpenForAdd();
  rig.Know(MakeQuote("600000", "浦发银行", 9.9f, 9.95f, 10.0f, 1));
  Type(loss, "600000");
  loss.BasisClick(3, true);
  rig.Forget("600000");
  loss.OkClick();
  EXPECT_EQ(loss.statusText, kNoNewestPriceText);

  // The index editor: its market comes from the index's lookup at OK.
  Tfrmindex index(rig.Services(), rig.dialog);
  index.LoadIndexList();
  index.OpenForAdd();
  rig.Know(MakeQuote("600000", "浦发银行", 9.9f, 9.95f, 10.0f, 1));
  Type(index, "600000");
  index.RzCheckListChange(0, true);  // 上证指数 1A0001 at 3012
  index.setPriceText = "3100";
  index.changeText = "20";
  rig.Forget("1A0001");
  index.OkClick();
  EXPECT_EQ(index.statusText, kNoIndexQuoteText);
  EXPECT_EQ(rig.monitors.Count(), 0u);
  EXPECT_TRUE(rig.dialog.questions.empty());

  // With the price back, "用现价" saves the fresh newest price.
  rig.Know(MakeQuote("600000", "浦发银行", 9.9f, 9.95f, 10.01f, 1));
  rig.dialog.answers = {true};
  price.OkClick();
  ASSERT_EQ(rig.monitors.Count(), 1u);
  EXPECT_FLOAT_EQ(rig.Saved().setPrice, 10.01f);
  EXPECT_FLOAT_EQ(rig.Saved().basisPrice, 10.01f);
}

TEST(EditorSafety, UseNewestComparesTheOnePriceShown) {
  SafetyRig rig;
  Tfrmprice price(rig.Services(), rig.dialog);
  price.OpenForAdd();
  Type(price, "600000");  // looked up at 10.000
  price.BasisClick(3, true);
  price.directionIndex = 1;  // "下跌"
  // The price moved since the lookup; the label shows the new one.
  price.SetLivePriceText(TLiveRole::Main, "10.050");
  rig.dialog.answers = {true};
  price.OkClick();
  EXPECT_EQ(price.statusText, "");
  EXPECT_EQ(rig.monitors.Count(), 1u);
}

TEST(EditorSafety, ACodeSwapEmptiesTheLivePriceBeforeTheStopLossCheck) {
  SafetyRig rig;
  Tfrmpaylosslimit loss(rig.Services(), rig.dialog);
  loss.OpenForAdd();
  Type(loss, "000001");
  ASSERT_TRUE(rig.gui.DrainUntil([&] { return loss.LivePriceText(TLiveRole::Main) == "20.000"; }));
  // A new code pasted over the old one, six characters for six.
  Type(loss, "600000");
  EXPECT_EQ(loss.LivePriceText(TLiveRole::Main), "");
  loss.setPriceText = "15";
  rig.dialog.answers = {true};
  loss.OkClick();
  EXPECT_EQ(loss.statusText, kSetPriceAboveCurrent) << "15 is above 600000's 10.000";
  EXPECT_EQ(rig.monitors.Count(), 0u);
  // Captions of the old updater still on their way are dropped.
  rig.gui.Drain();
  ASSERT_TRUE(rig.gui.DrainUntil([&] { return loss.LivePriceText(TLiveRole::Main) == "10.000"; }));
  loss.FormClose();
  EXPECT_EQ(loss.LivePriceText(TLiveRole::Main), "") << "a stopped updater leaves no price";
}

TEST(EditorSafety, ACodeChangedWithoutAKeyReleaseIsLookedUpOrRefused) {
  SafetyRig rig;
  Tfrmprice price(rig.Services(), rig.dialog);
  price.OpenForAdd();
  Type(price, "600000");
  price.setPriceText = "9.5";
  // Pasted with the mouse: the text changes, no key is released.
  price.codeText = "000001";
  rig.dialog.answers = {true};
  price.OkClick();
  EXPECT_EQ(price.statusText, kBadCodeText) << "the looked-up quote is 600000's";
  EXPECT_EQ(rig.monitors.Count(), 0u);

  // The change itself looks the new code up, once, as a key release does.
  const int lookups = price.LookupCount();
  price.RzEditLabelChange();
  price.RzEditLabelKeyUp();
  EXPECT_EQ(price.LookupCount(), lookups + 1);
  EXPECT_EQ(price.nameText, "平安银行");
  price.setPriceText = "19.5";
  price.OkClick();
  ASSERT_EQ(rig.monitors.Count(), 1u);
  EXPECT_EQ(CodeText(rig.Saved()), "000001");
  EXPECT_EQ(NameUtf8(rig.Saved()), "平安银行");
  EXPECT_EQ(rig.Saved().market, 0);
}

TEST(EditorSafety, ModifyingAMonitorThatFiredOrWentMeanwhileSavesNothing) {
  SafetyRig rig;
  const TPolicyRecord running = testing_support::Monitor(1, kKindLossLimit, "600000", 9.0f);
  rig.monitors.Add(running);
  // What the monitor loop does to the running monitor behind the modal dialog.
  auto loop = [&](const std::function<void(TPolicyRecord&)>& change) {
    auto lock = rig.monitors.Lock();
    const auto index = rig.monitors.RunningIndexLocked();
    for (const auto& m : *TPolicyList::Candidates(*index, "600000")) change(*m);
  };
  Tfrmpaylosslimit loss(rig.Services(), rig.dialog);
  ASSERT_TRUE(loss.OpenForModify(running));
  loop([](TPolicyRecord& m) { m.fired = 1, m.state = kStateTriggered; });
  loss.setPriceText = "9.5";
  loss.OkClick();
  EXPECT_EQ(loss.statusText, kFiredWhileEditedText);
  EXPECT_EQ(rig.Saved().fired, 1);
  EXPECT_EQ(rig.Saved().state, kStateTriggered);
  EXPECT_FLOAT_EQ(rig.Saved().setPrice, 9.0f);
  EXPECT_EQ(rig.rebuilds, 0);

  // Still running: saved with what the loop tracked meanwhile.
  rig.monitors.StartOrStopAll(true);
  ASSERT_TRUE(loss.OpenForModify(rig.Saved()));
  loop([](TPolicyRecord& m) { m.newestPrice = 9.8f, m.trailingLow = 9.7f; });
  loss.setPriceText = "9.5";
  loss.statusText.clear();
  loss.OkClick();
  EXPECT_EQ(loss.statusText, "");
  EXPECT_FLOAT_EQ(rig.Saved().setPrice, 9.5f);
  EXPECT_EQ(rig.Saved().state, kStateRunning);
  EXPECT_FLOAT_EQ(rig.Saved().newestPrice, 9.8f);
  EXPECT_FLOAT_EQ(rig.Saved().trailingLow, 9.7f);

  // Stopped by a logout meanwhile: saved, and still stopped.
  ASSERT_TRUE(loss.OpenForModify(rig.Saved()));
  rig.monitors.StartOrStopAll(false);
  loss.setPriceText = "9.4";
  loss.OkClick();
  EXPECT_FLOAT_EQ(rig.Saved().setPrice, 9.4f);
  EXPECT_EQ(rig.Saved().state, kStateStopped);

  // Removed meanwhile: not brought back.
  ASSERT_TRUE(loss.OpenForModify(rig.Saved()));
  rig.monitors.RemoveAll();
  loss.OkClick();
  EXPECT_EQ(loss.statusText, kRemovedWhileEditedText);
  EXPECT_EQ(rig.monitors.Count(), 0u);
}

TEST(EditorSafety, TypedPricesAreCheckedAndSavedAtThousandthsAndMustFitAFloat) {
  SafetyRig rig;
  Tfrmpaylosslimit loss(rig.Services(), rig.dialog);
  loss.OpenForAdd();
  Type(loss, "600000");  // 10.000
  loss.setPriceText = "10.0004";
  loss.amountText = "0.2004";
  rig.dialog.answers = {true};
  loss.OkClick();
  ASSERT_EQ(rig.monitors.Count(), 1u);
  EXPECT_EQ(rig.Saved().setPrice, 10.0f) << "saved as checked";
  EXPECT_EQ(rig.Saved().changeAmount, 0.2f);

  Tfrmprice price(rig.Services(), rig.dialog);
  price.OpenForAdd();
  Type(price, "600000");
  price.setPriceText = std::string(42, '9');
  rig.dialog.answers = {true};
  price.OkClick();
  EXPECT_EQ(price.statusText, "设定价位不是有效的数字！");
  loss.OpenForAdd();
  Type(loss, "600000");
  loss.setPriceText = "1e39";
  loss.OkClick();
  EXPECT_EQ(loss.statusText, kSetPriceNotNumber);
  EXPECT_EQ(rig.monitors.Count(), 1u);
}
