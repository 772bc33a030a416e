// Colours the program's lists share.
#pragma once

#include <cstdint>

namespace app {

// Background of the rows with an odd index: RGB(255,251,240), as the
// system's 0x00BBGGRR colour value.
inline constexpr uint32_t kOddRowColour = 0xF0FBFF;

}  // namespace app
