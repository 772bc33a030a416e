// The source tree's folder, compiled into this one file only, so that the
// other test objects do not depend on where the tree is checked out (and a
// second checkout's build finds them in the compiler cache).
#include "support/source_dir.h"

const char* QvSourceDir() { return QV_SOURCE_DIR; }
