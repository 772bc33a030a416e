// JSON helpers shared by the commands.
#pragma once

#include <nlohmann/json.hpp>

namespace tool {

using Json = nlohmann::ordered_json;

// A float as the shortest decimal number that reads back to the same
// single-precision value (10.2f prints as 10.2, not 10.199999809265137).
double JsonFloat(float value);

// One line of JSON; texts are UTF-8 already, anything invalid is replaced.
std::string JsonLine(const Json& value);

}  // namespace tool
