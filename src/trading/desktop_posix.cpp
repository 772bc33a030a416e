#include "trading/desktop_port.h"

namespace trading {

std::unique_ptr<IDesktop> CreateSystemDesktop() { return nullptr; }

}  // namespace trading
