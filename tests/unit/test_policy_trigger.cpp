// The rule of each monitor kind, with its tracking fields.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <vector>

#include "base/datetime.h"
#include "policy/unt_policy_trigger.h"
#include "support/policy_fixtures.h"

using namespace policy;
using testing_support::Monitor;
using testing_support::Report;

namespace {

const LocalClock kNoClock;

// Feeds prices in order; returns which of them fired.
std::vector<bool> Feed(TPolicyRecord& m, const std::vector<float>& prices) {
  std::vector<bool> fired;
  for (float p : prices) fired.push_back(TestPolicy(Report(CodeText(m), p), m, kNoClock));
  return fired;
}

}  // namespace

TEST(TriggerPriceLevel, RiseFiresOnlyStrictlyAboveSetPlusOffset) {
  TPolicyRecord m = Monitor(1, kKindPrice, "600000", 10.00f, 0.50f, kUnitYuan, kDirRise);
  EXPECT_FALSE(TestPolicy(Report("600000", 10.50f), m, kNoClock)) << "equality never fires";
  EXPECT_TRUE(TestPolicy(Report("600000", 10.51f), m, kNoClock));
}

TEST(TriggerPriceLevel, PercentIsOfTheSetPriceWhateverTheTrailingHigh) {
  TPolicyRecord m = Monitor(1, kKindPrice, "600000", 10.00f, 5.0f, kUnitPercent, kDirRise);
  m.trailingHigh = 20.0f;
  EXPECT_FALSE(TestPolicy(Report("600000", 10.50f), m, kNoClock));
  EXPECT_TRUE(TestPolicy(Report("600000", 10.501f), m, kNoClock));
  EXPECT_FLOAT_EQ(RuleOffset(m), 0.5f);
}

TEST(TriggerPriceLevel, FallFiresStrictlyBelow) {
  TPolicyRecord m = Monitor(1, kKindPrice, "600000", 10.00f, 0.50f, kUnitYuan, kDirFall);
  EXPECT_EQ(Feed(m, {9.50f, 9.49f}), (std::vector<bool>{false, true}));
  EXPECT_EQ(m.trailingHigh, 0.0f) << "rise and fall keep no tracking";
  EXPECT_EQ(m.crossed, 0);
}

TEST(TriggerPriceLevel, RiseThenFallBackNeedsNoSetPriceCondition) {
  TPolicyRecord m = Monitor(1, kKindPrice, "600000", 10.00f, 0.50f, kUnitYuan, kDirRiseFallBack);
  EXPECT_EQ(Feed(m, {10.20f, 10.80f, 9.90f}), (std::vector<bool>{false, false, true}));
  EXPECT_FLOAT_EQ(m.trailingHigh, 10.80f);
}

TEST(TriggerPriceLevel, FallThenReboundTracksLowFromTheFirstReport) {
  TPolicyRecord m = Monitor(1, kKindPrice, "600000", 8.00f, 0.20f, kUnitYuan, kDirFallRebound);
  EXPECT_FALSE(TestPolicy(Report("600000", 8.50f), m, kNoClock));
  EXPECT_FLOAT_EQ(m.trailingLow, 8.50f) << "the low starts at the first price, even above the set price";
  EXPECT_EQ(m.crossed, 0) << "not crossed until a price below the set price";
  EXPECT_EQ(Feed(m, {7.90f, 8.20f}), (std::vector<bool>{false, true})) << "no set-price condition";
}

TEST(TriggerPriceLevel, UnknownDirectionNeverFiresButRecordsThePrice) {
  TPolicyRecord m = Monitor(1, kKindPrice, "600000", 10.00f, 0.50f, kUnitYuan, 0);
  EXPECT_FALSE(TestPolicy(Report("600000", 50.0f), m, kNoClock));
  EXPECT_FLOAT_EQ(m.newestPrice, 50.0f);
}

TEST(TriggerPayoff, TheWorkedExample) {
  TPolicyRecord m = Monitor(1, kKindPayoff, "600000", 10.00f, 0.50f, kUnitYuan, kDirFall);
  EXPECT_FALSE(TestPolicy(Report("600000", 10.20f), m, kNoClock));
  EXPECT_EQ(m.crossed, 1);
  EXPECT_FALSE(TestPolicy(Report("600000", 10.80f), m, kNoClock));
  EXPECT_FLOAT_EQ(m.trailingHigh, 10.80f);
  EXPECT_FALSE(TestPolicy(Report("600000", 10.40f), m, kNoClock)) << "10.40 is not below 10.30";
  EXPECT_TRUE(TestPolicy(Report("600000", 10.20f), m, kNoClock));
  EXPECT_FLOAT_EQ(m.newestPrice, 10.20f);
}

TEST(TriggerPayoff, NeverFiresAtOrBelowTheSetPrice) {
  TPolicyRecord m = Monitor(1, kKindPayoff, "600000", 10.00f, 0.50f, kUnitYuan, kDirFall);
  EXPECT_EQ(Feed(m, {10.20f, 10.80f, 10.40f, 9.90f, 10.00f}), (std::vector<bool>(5, false)));
  EXPECT_FLOAT_EQ(m.trailingHigh, 10.80f);
}

TEST(TriggerPayoff, NotCrossedWhileThePriceStaysAtTheSetPrice) {
  TPolicyRecord m = Monitor(1, kKindPayoff, "600000", 10.00f, 0.50f, kUnitYuan, kDirFall);
  Feed(m, {10.00f, 9.00f});
  EXPECT_EQ(m.crossed, 0);
  EXPECT_FLOAT_EQ(m.trailingHigh, 10.00f);
}

TEST(TriggerLimitDown, TheWorkedExample) {
  TPolicyRecord m = Monitor(1, kKindLimitDown, "600000", 8.00f, 0.20f, kUnitYuan, kDirFallRebound);
  EXPECT_EQ(Feed(m, {7.90f, 7.50f, 7.71f}), (std::vector<bool>{false, false, true}));
  EXPECT_FLOAT_EQ(m.trailingLow, 7.50f);
  EXPECT_EQ(m.crossed, 1);
}

TEST(TriggerLimitDown, AJumpBackAboveTheSetPriceDoesNotFire) {
  TPolicyRecord m = Monitor(1, kKindLimitDown, "600000", 8.00f, 0.20f, kUnitYuan, kDirFallRebound);
  EXPECT_EQ(Feed(m, {7.90f, 7.50f, 8.10f}), (std::vector<bool>{false, false, false}));
}

TEST(TriggerLossLimit, FiresStrictlyBelowSetMinusOffset) {
  TPolicyRecord m = Monitor(1, kKindLossLimit, "600000", 10.00f, 10.0f, kUnitPercent, kDirFall);
  EXPECT_EQ(Feed(m, {9.00f, 8.99f}), (std::vector<bool>{false, true}));
}

TEST(TriggerIndex, PointsOrPercent) {
  TPolicyRecord up = Monitor(1, kKindIndex, "000001", 3000.0f, 20.0f, kUnitPoint, kDirRise);
  EXPECT_EQ(Feed(up, {3020.0f, 3020.5f}), (std::vector<bool>{false, true}));
  // Unit 3 is points for the index kind only; another kind takes 20 as a percentage.
  TPolicyRecord down = Monitor(1, kKindIndex, "000001", 3000.0f, 20.0f, kUnitPoint, kDirFall);
  EXPECT_EQ(Feed(down, {2980.0f, 2979.5f}), (std::vector<bool>{false, true}));
  TPolicyRecord pct = Monitor(1, kKindIndex, "000001", 3000.0f, 1.0f, kUnitPercent, kDirRise);
  EXPECT_EQ(Feed(pct, {3030.0f, 3030.5f}), (std::vector<bool>{false, true}));
  TPolicyRecord price = Monitor(1, kKindPrice, "600000", 10.0f, 20.0f, kUnitPoint, kDirRise);
  EXPECT_EQ(Feed(price, {11.0f, 12.0f, 12.01f}), (std::vector<bool>{false, false, true}));
  TPolicyRecord none = Monitor(1, kKindIndex, "000001", 3000.0f, 1.0f, kUnitPercent, kDirRiseFallBack);
  EXPECT_FALSE(TestPolicy(Report("000001", 9999.0f), none, kNoClock));
}

TEST(TriggerOffset, ANegativeAmountActsAsItsAbsoluteValue) {
  TPolicyRecord m = Monitor(1, kKindPrice, "600000", 10.00f, -0.50f, kUnitYuan, kDirRise);
  EXPECT_EQ(Feed(m, {10.50f, 10.51f}), (std::vector<bool>{false, true}));
  TPolicyRecord p = Monitor(1, kKindPrice, "600000", 10.00f, -5.0f, kUnitPercent, kDirFall);
  EXPECT_EQ(Feed(p, {9.50f, 9.49f}), (std::vector<bool>{false, true}));
}

TEST(TriggerOffset, PercentIsRoundedToSinglePrecisionAndComparedInDouble) {
  // 3 % of 10.1f is 0.303 (in float 0.30300000309...). The threshold sum is
  // made in double, so the float just above it fires and the one at it does not.
  TPolicyRecord m = Monitor(1, kKindPrice, "600000", 10.1f, 3.0f, kUnitPercent, kDirRise);
  const float offset = RuleOffset(m);
  EXPECT_EQ(offset, static_cast<float>(static_cast<double>(10.1f) * 3.0f / 100.0));
  const double threshold = static_cast<double>(10.1f) + offset;
  const float below = std::nextafter(static_cast<float>(threshold), 0.0f);
  float above = static_cast<float>(threshold);
  if (static_cast<double>(above) <= threshold) above = std::nextafter(above, 100.0f);
  EXPECT_FALSE(TestPolicy(Report("600000", below), m, kNoClock));
  EXPECT_TRUE(TestPolicy(Report("600000", above), m, kNoClock));
}

TEST(TriggerTime, FiresOnlyDuringTheMinuteOfTheLocalClock) {
  TPolicyRecord m = Monitor(1, kKindTime, "600000", 20.0f);
  m.orderTime = base::EncodeDateTime(2001, 1, 1, 14, 30, 0);  // the date is ignored
  auto at = [](int h, int mi, int s) { return [=] { return base::EncodeDateTime(2012, 5, 18, h, mi, s); }; };
  EXPECT_FALSE(TestPolicy(Report("600000", 1.0f), m, at(14, 29, 59)));
  EXPECT_TRUE(TestPolicy(Report("600000", 1.0f), m, at(14, 30, 0)));
  EXPECT_TRUE(TestPolicy(Report("600000", 1.0f), m, at(14, 30, 59)));
  EXPECT_FALSE(TestPolicy(Report("600000", 1.0f), m, at(14, 31, 0)));
  EXPECT_FLOAT_EQ(m.newestPrice, 1.0f);
}

TEST(TriggerCommon, AnotherCodeLeavesTheMonitorUntouched) {
  TPolicyRecord m = Monitor(1, kKindPayoff, "600000", 10.00f);
  m.trailingHigh = 11.0f;
  const TPolicyRecord before = m;
  EXPECT_FALSE(TestPolicy(Report("600001", 20.0f), m, kNoClock));
  EXPECT_FALSE(TestPolicy(Report("60000", 20.0f), m, kNoClock)) << "a prefix is another code";
  EXPECT_EQ(std::memcmp(&before, &m, sizeof m), 0);
}

TEST(TriggerCommon, CodesAreComparedUpToTenBytesWithoutOverreading) {
  TPolicyRecord m = Monitor(1, kKindPrice, "", 1.0f, 0.5f, kUnitYuan, kDirRise);
  std::memcpy(m.code, "ABCDEFGHIJ", 10);  // no NUL in the field
  quotes::TQuoteReport r = Report("", 5.0f);
  std::memcpy(r.code, "ABCDEFGHIJ", 10);
  EXPECT_TRUE(TestPolicy(r, m, kNoClock));
}

TEST(TriggerCommon, StoppedTriggeredOrFiredMonitorsAreNotTouched) {
  for (auto setup : {+[](TPolicyRecord& m) { m.state = kStateStopped; },
                     +[](TPolicyRecord& m) { m.state = kStateTriggered; },
                     +[](TPolicyRecord& m) { m.fired = 1; }}) {
    TPolicyRecord m = Monitor(1, kKindPrice, "600000", 10.0f, 0.5f, kUnitYuan, kDirRise);
    setup(m);
    const TPolicyRecord before = m;
    EXPECT_FALSE(TestPolicy(Report("600000", 20.0f), m, kNoClock));
    EXPECT_EQ(std::memcmp(&before, &m, sizeof m), 0);
  }
}

TEST(TriggerCommon, ThePairKindNeverFiresAndWritesNothing) {
  TPolicyRecord m = Monitor(1, kKindPair, "600000", 10.0f, 0.5f, kUnitYuan, kDirRise);
  EXPECT_FALSE(TestPolicy(Report("600000", 20.0f), m, kNoClock));
  EXPECT_EQ(m.newestPrice, 0.0f);
}

TEST(TriggerCommon, AReportWithoutATradeNeitherFiresNorMovesTracking) {
  // Each monitor has seen normal prices, then meets reports whose newest
  // price is no trade, then a normal price that fires it as before.
  struct Case {
    TPolicyRecord monitor;
    std::vector<float> before;
    float fires;
  };
  auto index = Monitor(7, kKindIndex, "000001", 3000.0f, 20.0f, kUnitPoint, kDirFall);
  std::vector<Case> cases = {
      {Monitor(1, kKindLossLimit, "600000", 10.0f), {10.0f}, 9.4f},
      {Monitor(2, kKindPrice, "600000", 10.0f, 0.5f, kUnitYuan, kDirFall), {10.0f}, 9.4f},
      {Monitor(3, kKindPrice, "600000", 10.0f, 0.5f, kUnitYuan, kDirRise), {10.0f}, 10.6f},
      {Monitor(4, kKindPrice, "600000", 8.0f, 0.2f, kUnitYuan, kDirFallRebound), {7.9f, 7.5f}, 7.71f},
      {index, {3000.0f}, 2979.0f},
      {Monitor(5, kKindPayoff, "600000", 10.0f), {10.2f, 10.8f}, 10.2f},
      {Monitor(6, kKindLimitDown, "600000", 8.0f, 0.2f), {7.9f, 7.5f}, 7.71f},
      {Monitor(8, kKindTime, "600000", 20.0f), {}, 10.0f},
  };
  cases.back().monitor.orderTime = base::EncodeDateTime(2001, 1, 1, 14, 30, 0);
  const LocalClock clock = [] { return base::EncodeDateTime(2012, 5, 18, 14, 30, 10); };
  const float nan = std::nanf("");
  const float inf = HUGE_VALF;
  for (Case& c : cases) {
    TPolicyRecord& m = c.monitor;
    const std::string code = CodeText(m);
    for (float p : c.before) ASSERT_FALSE(TestPolicy(Report(code, p), m, clock)) << "kind " << int{m.kind};
    const TPolicyRecord seen = m;
    for (float bad : {0.0f, -0.0f, -5.0f, nan, inf, -inf}) {
      EXPECT_FALSE(TestPolicy(Report(code, bad), m, clock)) << "kind " << int{m.kind} << " fired on " << bad;
      EXPECT_EQ(0, std::memcmp(&seen, &m, sizeof m)) << "kind " << int{m.kind} << " tracked " << bad;
    }
    EXPECT_TRUE(TestPolicy(Report(code, c.fires), m, clock)) << "kind " << int{m.kind};
  }
}
