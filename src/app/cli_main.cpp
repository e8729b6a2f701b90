// exogena-cli: the headless front end of the system (developer and batch commands).
#include <cstdio>
#include <cstring>
#include <string>

#include "app/cli/Commands.h"

int main(int argc, char** argv) {
  if (argc < 2 || std::strcmp(argv[1], "--help") == 0 || std::strcmp(argv[1], "-h") == 0) {
    exo::cli::printUsage();
    return argc < 2 ? 2 : 0;
  }
  return exo::cli::runCommand(argc - 1, argv + 1);
}
