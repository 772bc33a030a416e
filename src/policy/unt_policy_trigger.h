// Trigger evaluation: does a monitor fire on a quote report? Each test
// updates the monitor's tracking fields (newest price, trailing high and
// low, crossed flag) in place, in the list.
#pragma once

#include <functional>

#include "base/datetime.h"
#include "policy/unt_policy.h"
#include "quotes/Ustockdrv.h"

namespace policy {

// The local clock, asked only by the time rule.
using LocalClock = std::function<base::TDateTime()>;

// The offset D of a rule (before taking its absolute value): the change
// amount in yuan or points, otherwise that percentage of the set price,
// rounded to single precision.
float RuleOffset(const TPolicyRecord& monitor);

// A time monitor whose order price does not come from the quote: it orders
// at its set price (any basis but the trade price) moved by yuan, or by no
// per mille of the newest price.
bool OrdersAtOwnPrice(const TPolicyRecord& monitor);

// The test of the monitor's kind. Not running, already fired, another code:
// no fire and nothing written; the same for a report whose newest price is
// no trade (not positive and finite), except that a time monitor ordering
// at its own price needs no trade to fire. Kinds without a rule never fire.
bool TestPolicy(const quotes::TQuoteReport& report, TPolicyRecord& monitor, const LocalClock& clock);

}  // namespace policy
