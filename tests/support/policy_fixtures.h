// Builders of monitors and quote reports for the monitoring tests.
#pragma once

#include <cstring>
#include <string>

#include "base/fixed_text.h"
#include "policy/unt_policy.h"
#include "quotes/Ustockdrv.h"

namespace testing_support {

inline quotes::TQuoteReport Report(const std::string& code, float price, uint16_t market = quotes::kMarketShanghai) {
  quotes::TQuoteReport r;
  std::memset(&r, 0, sizeof r);
  r.recordSize = sizeof r;
  r.market = market;
  base::WriteFixedText(r.code, code);
  r.newestPrice = price;
  return r;
}

// A running monitor with the usual fields of its editor.
inline policy::TPolicyRecord Monitor(int32_t id, uint8_t kind, const std::string& code, float setPrice,
                                     float changeAmount = 0.5f, uint8_t changeUnit = policy::kUnitYuan,
                                     uint8_t direction = 0) {
  policy::TPolicyRecord m = policy::NewPolicyRecord();
  m.id = id;
  m.kind = kind;
  policy::SetCode(m, code);
  policy::SetName(m, "浦发银行");
  m.market = quotes::kMarketShanghai;
  m.setPrice = setPrice;
  m.state = policy::kStateRunning;
  m.changeAmount = changeAmount;
  m.changeUnit = changeUnit;
  m.direction = direction;
  m.tradeType = kind == policy::kKindLimitDown ? 1 : 2;
  m.quantity = 1000;
  m.optAmount = 10.0f;
  m.optUnit = policy::kOptUnitPerMille;
  return m;
}

}  // namespace testing_support
