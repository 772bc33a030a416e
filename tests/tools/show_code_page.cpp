// Prints the system (ANSI) code page the program runs with, so that a test
// script can show that a run really had a non-Chinese one. Prints 0 where
// there is no such thing.
#include <cstdio>

#ifdef _WIN32
#include <windows.h>
#endif

int main() {
#ifdef _WIN32
  std::printf("%u\n", GetACP());
#else
  std::printf("0\n");
#endif
  return 0;
}
