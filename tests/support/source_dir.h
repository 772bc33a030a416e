#pragma once

// The folder of the source tree (a Linux path; Wine sees it on drive Z:).
const char* QvSourceDir();
