// The one-sentence description of a monitor's rule, shown in the main list,
// the editors' confirmation, the trigger notice and the trade log.
#pragma once

#include <string>

#include "policy/unt_policy.h"

namespace policy {

// The sentence for the record (UTF-8); empty for kinds without one. Pure.
std::string Describe(const TPolicyRecord& record);

// Describe and store the sentence, GBK, in the record's description field.
void UpdateDescription(TPolicyRecord& record);

}  // namespace policy
