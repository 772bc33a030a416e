// The worked trigger and order-price examples as a policy store and a quote
// tape, for the replay tests on both platforms.
#pragma once

#include <map>
#include <string>

#include "base/datetime.h"
#include "policy/unt_policy.h"
#include "policy/unt_policy_describe.h"
#include "support/policy_fixtures.h"

namespace testing_support {

// The worked examples, one security each, all stopped as a saved store would
// be. Each code carries the name of its own security.
inline std::string ExampleStore() {
  using namespace policy;
  TPolicyList list;
  auto add = [&](TPolicyRecord m) {
    static const std::map<std::string, std::string> kNames = {
        {"600000", "浦发银行"}, {"600001", "邯郸钢铁"}, {"600002", "齐鲁石化"}, {"600003", "东北高速"},
        {"600004", "白云机场"}, {"600005", "武钢股份"}, {"600006", "东风汽车"}};
    if (auto it = kNames.find(base::ReadFixedText(m.code)); it != kNames.end()) SetName(m, it->second);
    m.state = kStateStopped;
    UpdateDescription(m);
    list.Add(m);
  };
  add(Monitor(1, kKindPayoff, "600000", 10.00f, 0.50f, kUnitYuan, kDirFall));  // sells at P less 10 per mille
  add(Monitor(2, kKindPayoff, "600001", 9.50f, 0.50f, kUnitYuan, kDirFall));
  TPolicyRecord rise = Monitor(3, kKindPrice, "600002", 10.00f, 0.50f, kUnitYuan, kDirRise);
  rise.tradeType = 1;
  add(rise);
  TPolicyRecord rebound = Monitor(4, kKindLimitDown, "600003", 8.00f, 0.20f, kUnitYuan, kDirFallRebound);
  rebound.optUnit = kOptUnitYuan;
  rebound.optAmount = 0.02f;
  add(rebound);
  TPolicyRecord time = Monitor(5, kKindTime, "600004", 20.00f);
  time.orderTime = base::EncodeTime(14, 30, 0);
  time.tradeType = 1;
  add(time);
  TPolicyRecord index = Monitor(6, kKindIndex, "000001", 3000.0f, 20.0f, kUnitPoint, kDirRise);
  SetName(index, "上证指数");
  SetTargetCode(index, "510050");
  SetTargetName(index, "50ETF");
  index.targetFlag = 1;
  index.tradeType = 1;
  add(index);
  add(Monitor(7, kKindPrice, "600005", 10.00f, 0.50f, kUnitYuan, kDirRiseFallBack));
  TPolicyRecord loss = Monitor(8, kKindLossLimit, "600006", 10.00f, 0.50f, kUnitYuan, kDirFall);
  loss.optUnit = kOptUnitYuan;
  loss.optAmount = 100.0f;
  loss.promptOnly = 1;
  add(loss);
  return list.StoreBytes();
}

inline const char* kExampleTape =
    "time,code,market,name,prev_close,open,high,low,price\n"
    "# the trailing take-profit: crossed at 10.20, high 10.80, 10.40 holds, 10.20 fires\n"
    "2012-05-18 09:30:00,600000,SH,浦发银行,10,10,10,10,10.20\n"
    "2012-05-18 09:30:01,600000,SH,浦发银行,10,10,10,10,10.80\n"
    "2012-05-18 09:30:02,600000,SH,浦发银行,10,10,10,10,10.40\n"
    "2012-05-18 09:30:03,600000,SH,浦发银行,10,10,10,10,10.20\n"
    "2012-05-18 09:31:00,600001,SH,邯郸钢铁,10,10,10,10,9.80\n"
    "2012-05-18 09:31:01,600001,SH,邯郸钢铁,10,10,10,10,10.60\n"
    "2012-05-18 09:31:02,600001,SH,邯郸钢铁,10,10,10,10,10.00\n"
    "2012-05-18 09:32:00,600002,SH,齐鲁石化,10,10,10,10,10.50\n"
    "2012-05-18 09:32:01,600002,SH,齐鲁石化,10,10,10,10,10.51\n"
    "2012-05-18 09:33:00,600003,SH,东北高速,8,8,8,8,7.90\n"
    "2012-05-18 09:33:01,600003,SH,东北高速,8,8,8,8,7.50\n"
    "2012-05-18 09:33:02,600003,SH,东北高速,8,8,8,8,7.71\n"
    "2012-05-18 14:29:59,600004,SH,白云机场,20,20,20,20,21.00\n"
    "2012-05-18 14:30:00,600004,SH,白云机场,20,20,20,20,21.00\n"
    "2012-05-18 14:31:00,600004,SH,白云机场,20,20,20,20,21.00\n"
    "2012-05-18 14:32:00,510050,SH,50ETF,2.5,2.5,2.5,2.5,2.500\n"
    "2012-05-18 14:32:01,000001,SH,上证指数,3000,3000,3000,3000,3020\n"
    "2012-05-18 14:32:02,000001,SH,上证指数,3000,3000,3000,3000,3020.5\n"
    "2012-05-18 14:33:00,600005,SH,武钢股份,10,10,10,10,10.20\n"
    "2012-05-18 14:33:01,600005,SH,武钢股份,10,10,10,10,10.80\n"
    "2012-05-18 14:33:02,600005,SH,武钢股份,10,10,10,10,9.90\n"
    "2012-05-18 14:34:00,600006,SH,东风汽车,10,10,10,10,9.00\n";

}  // namespace testing_support
