#include "policy/unt_policy_trigger.h"

#include <cmath>
#include <cstring>

#include "base/fixed_text.h"

namespace policy {
namespace {

bool SameCode(const quotes::TQuoteReport& report, const TPolicyRecord& monitor) {
  return quotes::ReportCode(report) == base::FixedTextView(monitor.code);
}

// Tracking updates; each returns the value after the update.
double UpdateHigh(TPolicyRecord& m, float p) {
  if (m.trailingHigh < p) m.trailingHigh = p;
  return m.trailingHigh;
}

double UpdateLow(TPolicyRecord& m, float p) {
  if (m.trailingLow == 0 || m.trailingLow > p) m.trailingLow = p;
  return m.trailingLow;
}

void CrossAbove(TPolicyRecord& m, float p) {
  if (m.crossed == 0 && m.setPrice < p) m.crossed = 1;
}

void CrossBelow(TPolicyRecord& m, float p) {
  if (m.crossed == 0 && m.setPrice > p) m.crossed = 1;
}

bool SameMinute(base::TDateTime a, base::TDateTime b) {
  const base::DateTimeParts x = base::DecodeDateTime(a);
  const base::DateTimeParts y = base::DecodeDateTime(b);
  return x.hour == y.hour && x.minute == y.minute;
}

}  // namespace

float RuleOffset(const TPolicyRecord& m) {
  const bool absolute = m.kind == kKindIndex ? m.changeUnit == kUnitPoint : m.changeUnit == kUnitYuan;
  if (absolute) return m.changeAmount;
  return static_cast<float>(static_cast<double>(m.setPrice) * m.changeAmount / 100.0);
}

bool OrdersAtOwnPrice(const TPolicyRecord& m) {
  return m.kind == kKindTime && m.priceBasis != kBasisTradePrice &&
         (m.optUnit == kOptUnitYuan || m.optAmount == 0.0f);
}

bool TestPolicy(const quotes::TQuoteReport& report, TPolicyRecord& m, const LocalClock& clock) {
  if (m.state != kStateRunning || m.fired != 0) return false;
  if (!SameCode(report, m)) return false;
  // Kinds without a rule (the pair kind among them) are never touched.
  if (m.kind < kKindPayoff || m.kind > kKindIndex || m.kind == kKindPair) return false;
  // A report without a trade neither fires a price nor moves what the
  // monitor tracks; a time monitor at its own price only asks the clock.
  if (!quotes::IsTradedPrice(report.newestPrice)) {
    return OrdersAtOwnPrice(m) && clock && SameMinute(clock(), m.orderTime);
  }
  const float p = report.newestPrice;
  m.newestPrice = p;
  // Sums and comparisons in double; the offset itself is a float.
  const double P = p;
  const double S = m.setPrice;
  auto absD = [&] { return std::fabs(static_cast<double>(RuleOffset(m))); };

  switch (m.kind) {
    case kKindPayoff: {
      const double H = UpdateHigh(m, p);
      CrossAbove(m, p);
      return m.crossed == 1 && S < P && P < H - absD();
    }
    case kKindPrice:
      switch (m.direction) {
        case kDirRise: return P > S + absD();
        case kDirFall: return P < S - absD();
        case kDirRiseFallBack: {
          const double H = UpdateHigh(m, p);
          CrossAbove(m, p);
          return m.crossed == 1 && P < H - absD();
        }
        case kDirFallRebound: {
          const double L = UpdateLow(m, p);
          CrossBelow(m, p);
          return m.crossed == 1 && P > L + absD();
        }
        default: return false;
      }
    case kKindTime:
      return clock && SameMinute(clock(), m.orderTime);
    case kKindLossLimit:
      return P < S - absD();
    case kKindLimitDown: {
      const double L = UpdateLow(m, p);
      CrossBelow(m, p);
      return m.crossed == 1 && S > P && P > L + absD();
    }
    case kKindIndex:
      switch (m.direction) {
        case kDirRise: return P > S + absD();
        case kDirFall: return P < S - absD();
        default: return false;
      }
    default:
      return false;
  }
}

}  // namespace policy
