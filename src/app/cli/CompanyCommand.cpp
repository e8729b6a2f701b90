// exogena-cli select-company: chooses the company-year as the company selection does (working
// folder laid out on its first choice, session file written), so that later commands without
// --company work on it, and lists the companies of the product.
#include <cstdio>

#include "app/cli/ReturnCommand.h"
#include "expr/Codepage.h"
#include "expr/Text.h"
#include "shell/Company.h"

namespace exo::cli {

int selectCompanyCommand(int argc, char** argv) {
  return runReturnCommand(
      argc, argv, {"select-company", "", 0, 0},
      [](ReturnContext& c, const std::vector<std::string>&) {
        shell::Session& s = c.session();
        const std::string current = upper1252(trimBlanks(shell::lastCompanyFolder(s)));
        for (const shell::CompanyEntry& e :
             shell::CARGAVRCTL(s, c.engine(), shell::initialProduct(s, s.pathOrigen()))) {
          const std::string folder(trimBlanks(e.camino));
          std::printf("%s %-12s %s  %s\n", folder == current ? "*" : " ", toUtf8(folder).c_str(),
                      e.anio.c_str(), toUtf8(std::string(trimBlanks(e.empresa))).c_str());
        }
        return kExitDone;
      });
}

}  // namespace exo::cli
