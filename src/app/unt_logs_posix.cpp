// Linux has no user short date setting of its own; the program's files use
// the ISO form there.
#include "app/unt_logs.h"

namespace app {

std::string SystemShortDatePattern() { return "yyyy-MM-dd"; }

}  // namespace app
