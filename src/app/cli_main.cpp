// exogena-cli: the headless front end of the system (developer and batch commands).
// The global options of the return commands may stand before the command as well as after it
// ("exogena-cli --company ANDINA10 import-movements"); they are handed to the command after its
// own arguments.
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "app/cli/Commands.h"
#include "shell/Console.h"

namespace {

bool takesValue(const char* arg) {
  for (const char* name : {"--program", "--drive", "--product", "--company"}) {
    if (std::strcmp(arg, name) == 0) return true;
  }
  return false;
}

bool isGlobalOption(const char* arg) {
  if (takesValue(arg) || std::strcmp(arg, "--yes") == 0 || std::strcmp(arg, "--no") == 0) {
    return true;
  }
  for (const char* name : {"--program=", "--drive=", "--product=", "--company="}) {
    if (std::strncmp(arg, name, std::strlen(name)) == 0) return true;
  }
  return false;
}

}  // namespace

int main(int argc, char** argv) {
  exo::shell::prepareConsole();
  std::vector<char*> leading;
  int first = 1;
  while (first < argc && isGlobalOption(argv[first])) {
    leading.push_back(argv[first]);
    if (takesValue(argv[first]) && first + 1 < argc) leading.push_back(argv[++first]);
    ++first;
  }
  if (first >= argc || std::strcmp(argv[first], "--help") == 0 ||
      std::strcmp(argv[first], "-h") == 0) {
    exo::cli::printUsage();
    return first >= argc ? 2 : 0;
  }
  std::vector<char*> args(argv + first, argv + argc);
  args.insert(args.end(), leading.begin(), leading.end());
  args.push_back(nullptr);
  return exo::cli::runCommand(static_cast<int>(args.size()) - 1, args.data());
}
