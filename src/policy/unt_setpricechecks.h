// The editors' checks of a set price, for a monitor whose set price is
// changed outside its editor (the main list's fine-tune field): the same
// texts and the same rules, so that no way round the editors saves a price
// they would refuse.
#pragma once

#include <string>
#include <string_view>

#include "policy/unt_policy.h"

namespace policy {

inline constexpr char kSetPriceZero[] = "设定价格必须大于0！";

// Checks `text` as the new set price of `monitor` against the current
// price of its security (0 when none is known). Empty when it may be saved,
// `price` then holding it as saved (three decimals, as the editors save
// it); otherwise the refusal, in the editors' words.
std::string SetPriceChangeError(const TPolicyRecord& monitor, std::string_view text, double current, double& price);

}  // namespace policy
