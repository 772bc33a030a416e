// The description sentence of each kind.
#include <gtest/gtest.h>

#include "base/datetime.h"
#include "base/fixed_text.h"
#include "policy/unt_policy_describe.h"
#include "support/policy_fixtures.h"

using namespace policy;
using testing_support::Monitor;

TEST(Describe, TrailingTakeProfit) {
  TPolicyRecord m = Monitor(1, kKindPayoff, "600000", 10.0f, 0.5f, kUnitYuan, kDirFall);
  m.tradeType = 1;  // the kind sells whatever the field says
  EXPECT_EQ(Describe(m), "当高于设定价位10.000后回落0.500元且大于设定价时自动卖出1000股");
}

TEST(Describe, PriceLevelPromptOnly) {
  TPolicyRecord m = Monitor(1, kKindPrice, "600000", 12.5f, 5.0f, kUnitPercent, kDirRise);
  m.promptOnly = 1;
  m.tradeType = 1;
  m.quantity = 200;
  EXPECT_EQ(Describe(m), "当相对设定价位12.500上涨5.000%时及时提示买入200股");
}

TEST(Describe, TimeOfDay) {
  TPolicyRecord m = Monitor(1, kKindTime, "600000", 20.0f);
  m.orderTime = base::EncodeTime(14, 30, 0);
  m.quantity = 300;
  EXPECT_EQ(Describe(m), "在14:30时按设定价位自动卖出300股");
}

TEST(Describe, IndexNamesTheIndex) {
  TPolicyRecord m = Monitor(1, kKindIndex, "000001", 3000.0f, 20.0f, kUnitPoint, kDirFall);
  SetName(m, "上证指数");
  m.tradeType = 1;
  m.quantity = 100;
  EXPECT_EQ(Describe(m), "当所监控的上证指数相对于设定点位3000.000下跌20.000点时及时自动买入100股");
}

TEST(Describe, StopLossAndRebound) {
  TPolicyRecord loss = Monitor(1, kKindLossLimit, "600000", 9.0f, 0.3f, kUnitYuan, kDirFall);
  EXPECT_EQ(Describe(loss), "当相对于设定价9.000下跌0.300元时及时自动卖出1000股");
  TPolicyRecord rebound = Monitor(1, kKindLimitDown, "600000", 8.0f, 0.2f, kUnitYuan, kDirFallRebound);
  rebound.tradeType = 2;
  EXPECT_EQ(Describe(rebound), "当低于设定价位8.000后反弹0.200元且小于设定价时自动买入1000股");
}

TEST(Describe, UnknownCodesLeaveTheirPieceEmpty) {
  TPolicyRecord m = Monitor(1, kKindPrice, "600000", 10.0f, 0.5f, 0, 0);
  m.tradeType = 0;
  m.quantity = 100;
  EXPECT_EQ(Describe(m), "当相对设定价位10.0000.500时及时自动100股");
  m.kind = kKindPair;
  EXPECT_EQ(Describe(m), "");
  m.kind = 9;
  EXPECT_EQ(Describe(m), "");
}

TEST(Describe, StoredAsGbkInTheRecord) {
  TPolicyRecord m = Monitor(1, kKindPayoff, "600000", 10.0f);
  UpdateDescription(m);
  const std::string gbk = base::ReadFixedText(m.description);
  EXPECT_EQ(gbk.substr(0, 2), "\xB5\xB1") << "当 in GBK";
  EXPECT_EQ(DescriptionUtf8(m), Describe(m));
}
