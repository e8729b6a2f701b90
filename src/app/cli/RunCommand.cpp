// exogena-cli run DEF [TEXT]: runs a report definition headless in an installation, as the
// program runs it, with the company of the global options selected. A failure of a line is
// reported like in the desktop program (the error log of the program folder keeps it, with the
// definition and the line), shown on stderr, and ends the command with exit code 1.
#include <cstdio>
#include <optional>
#include <string>

#include "app/cli/ReturnCommand.h"
#include "expr/Codepage.h"
#include "reports/Runner.h"
#include "shell/ErrorHandler.h"

namespace exo::cli {
namespace {

int runDefinition(ReturnContext& c, const std::vector<std::string>& args) {
  const std::filesystem::path program = c.session().folders().program;
  CommandErrorHandler errors(c);
  shell::ErrorHandler& handler = errors.handler();

  reports::Runner runner(c.interp(), c.ui(), program, &handler);
  std::optional<std::string> text;
  if (args.size() > 1) text = fromUtf8(args[1]);
  runner.EJECUTAR(fromUtf8(args[0]), text);
  return kExitDone;
}

}  // namespace

int runDefinitionCommand(int argc, char** argv) {
  return runReturnCommand(argc, argv, {"run", "DEF [TEXTO]", 1, 2}, runDefinition);
}

}  // namespace exo::cli
