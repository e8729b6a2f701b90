// exogena-cli eval "EXPR": prints the value of an expression in the language's display form.
#include <cstdio>
#include <string>

#include "expr/Codepage.h"
#include "expr/Interp.h"
#include "shell/Evalua.h"
#include "store/Engine.h"

namespace exo::cli {

int evalCommand(int argc, char** argv) {
  if (argc != 2) {
    std::fputs("Uso: exogena-cli eval \"EXPRESION\"\n", stderr);
    return 2;
  }
  Interp ip;
  store::Engine tables(ip);  // expressions may open and read tables
  registerEvaluaFunctions(ip);
  try {
    const Value v = ip.evalText(fromUtf8(argv[1]));
    std::printf("%s\n", toUtf8(displayValue(v)).c_str());
    return 0;
  } catch (const FailureError& e) {
    std::fprintf(stderr, "%s\n", toUtf8(errorMessage(e.failure())).c_str());
    return 1;
  }
}

}  // namespace exo::cli
