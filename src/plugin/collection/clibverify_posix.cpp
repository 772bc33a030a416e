// On Linux the plug-in only runs in tests and tools: a report is one line
// on the standard error stream.
#include <cstdio>

#include "plugin/collection/clibverify.h"

namespace coll::detail {

void PlatformShowVerify(const std::string& text) { std::fprintf(stderr, "CLIBVERIFY: %s\n", text.c_str()); }

}  // namespace coll::detail
