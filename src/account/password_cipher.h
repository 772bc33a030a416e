// The password cipher shared by the program (option.opt, the login) and the
// account service: o[i] = b[i] XOR (key[(i + 1) mod 12] mod 10). It works on
// the GBK bytes as they are, keeps the length, and is its own inverse, so one
// routine enciphers and deciphers. The key lives here and nowhere else.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace account {

inline constexpr char kPasswordKey[] = "kestrilunado";
static_assert(sizeof kPasswordKey - 1 == 12, "the password key has 12 letters");

inline std::string CipherPassword(std::string_view text) {
  std::string out(text);
  for (size_t i = 0; i < out.size(); ++i) {
    const auto k = static_cast<unsigned char>(kPasswordKey[(i + 1) % 12]);
    out[i] = static_cast<char>(static_cast<unsigned char>(out[i]) ^ (k % 10));
  }
  return out;
}

}  // namespace account
