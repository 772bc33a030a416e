#include "tool/tool_json.h"

#include <charconv>
#include <cmath>
#include <cstdlib>
#include <string>

namespace tool {

double JsonFloat(float value) {
  if (!std::isfinite(value)) return value;
  char buf[64];
  const auto res = std::to_chars(buf, buf + sizeof buf - 1, value);
  *res.ptr = '\0';
  return std::strtod(buf, nullptr);
}

std::string JsonLine(const Json& value) {
  return value.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
}

}  // namespace tool
