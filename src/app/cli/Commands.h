// Commands of exogena-cli: each takes its own arguments and returns the process exit code.
#pragma once

namespace exo::cli {

void printUsage();
// REQUIRES: argc >= 1; argv[0] is the command name.
int runCommand(int argc, char** argv);

}  // namespace exo::cli
