// Writes the worked examples as policy.tmp and tape.csv into the folder
// given, for the scenario script that runs quorvel-tool on both platforms.
#include <cstdio>
#include <string>

#include "base/files.h"
#include "support/replay_examples.h"

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: make_replay_example FOLDER\n");
    return 2;
  }
  const std::string folder = argv[1];
  std::string error;
  if (!base::AtomicReplace(folder + "/policy.tmp", testing_support::ExampleStore(), &error) ||
      !base::AtomicReplace(folder + "/tape.csv", testing_support::kExampleTape, &error)) {
    std::fprintf(stderr, "%s\n", error.c_str());
    return 1;
  }
  return 0;
}
