// Base64 (RFC 4648, standard alphabet, with padding).
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace base {

std::string Base64Encode(std::string_view bytes);
// nullopt for anything that is not padded standard Base64.
std::optional<std::string> Base64Decode(std::string_view text);

}  // namespace base
