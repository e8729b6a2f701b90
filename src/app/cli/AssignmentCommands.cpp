// The exogena-cli commands of the account-to-concept assignments: copy-assignments (the two
// copies of the chart page's buttons, from another company or from the previous year) and
// assignments (the assignment table listed in the order of format, concept and account).
#include <cinttypes>
#include <cstdio>
#include <string>

#include "app/cli/ReturnCommand.h"
#include "assignment/AssignmentCopy.h"
#include "expr/Codepage.h"
#include "expr/Text.h"
#include "masterdata/ReferenceLists.h"
#include "store/Dictionary.h"
#include "store/Engine.h"

namespace exo::cli {
namespace {

using Args = std::vector<std::string>;

std::string utf8(std::string_view cp1252) { return toUtf8(trimBlanks(cp1252)); }

// A company folder as typed: upper case, without blanks, with its trailing backslash.
std::string folderKey(std::string_view text) {
  std::string s = upper1252(trimBlanks(text));
  if (!s.empty() && s.back() != '\\') s += '\\';
  return s;
}

int reportOutcome(assignment::CopyOutcome outcome) {
  switch (outcome) {
    case assignment::CopyOutcome::Copied: std::printf("Asignaciones copiadas.\n"); return kExitDone;
    case assignment::CopyOutcome::SameCompany:
      std::printf("La empresa de origen es la empresa actual: no se copi\xC3\xB3 nada.\n");
      return kExitDone;
    case assignment::CopyOutcome::Declined:
      std::printf("No se copi\xC3\xB3 nada.\n");
      return kExitDone;
    case assignment::CopyOutcome::Stopped: break;
  }
  return kExitStopped;
}

int copyAssignments(ReturnContext& c, const Args& args) {
  const char* usage =
      "exogena-cli copy-assignments: indique --from-company CARPETA o --previous-year\n";
  if (args.size() == 1 && args[0] == "--previous-year")
    return reportOutcome(assignment::copyAssignmentsFromPreviousYear(c.session(), c.engine()));
  if (args.size() != 2 || args[0] != "--from-company") {
    std::fputs(usage, stderr);
    return kExitUsage;
  }
  const auto choice = assignment::companiesForCopy(c.session(), c.engine());
  if (!choice) {
    std::fputs(
        "exogena-cli: la empresa actual no est\xC3\xA1 en el archivo de control del "
        "programa contable: no se copi\xC3\xB3 nada.\n",
        stderr);
    return kExitStopped;
  }
  const std::string wanted = folderKey(fromUtf8(args[1]));
  for (const shell::CompanyEntry& e : choice->companies) {
    if (folderKey(e.camino) == wanted)
      return reportOutcome(assignment::copyAssignmentsFromCompany(c.session(), c.engine(), e));
  }
  std::fprintf(stderr, "exogena-cli: no hay una empresa con la carpeta %s en %s\n", args[1].c_str(),
               utf8(c.session().pathOrigen()).c_str());
  return kExitStopped;
}

int listAssignments(ReturnContext& c, const Args&) {
  store::Engine& e = c.engine();
  const std::string work = c.session().companyFolder().string();
  const int area = store::openCompanyTable(e, work, store::kAssignments, "CodiCont", true);
  if (area == 0) return kExitStopped;
  e.setOrder(area, "CodiCont");
  std::int64_t n = 0;
  e.forEach(area, [&] {
    std::printf("%s\t%s\t%-20s\t%s\t%s\n", utf8(e.text(area, "FORMATO")).c_str(),
                utf8(e.text(area, "CONCEPTO")).c_str(), utf8(e.text(area, "COD_CONT")).c_str(),
                masterdata::natureDisplay(e.text(area, "NATURALEZ")).c_str(),
                utf8(e.text(area, "DETALLE")).c_str());
    ++n;
    return true;
  });
  e.close(e.interp(), area);
  std::printf("Asignaciones: %" PRId64 "\n", n);
  return kExitDone;
}

}  // namespace

int copyAssignmentsCommand(int argc, char** argv) {
  return runReturnCommand(argc, argv,
                          {"copy-assignments",
                           "--from-company CARPETA | --previous-year",
                           1,
                           2,
                           {"--from-company", "--previous-year"}},
                          copyAssignments);
}
int assignmentsCommand(int argc, char** argv) {
  return runReturnCommand(argc, argv, {"assignments", "", 0, 0, {}}, listAssignments);
}

}  // namespace exo::cli
