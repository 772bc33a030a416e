#include <iostream>

#include "tool/tool.h"

int main(int argc, char** argv) {
  tool::Args args(argv + 1, argv + argc);
  return tool::Main(args, std::cout, std::cerr);
}
