// The exogena-cli commands of the account-to-concept assignments: copy-assignments (the two
// copies of the chart page's buttons, from another company or from the previous year),
// assignments (the assignment table listed in the order of format, concept and account; a
// damaged table is listed as far as it can be read) and repair-assignments.
#include <cinttypes>
#include <cstdio>
#include <string>

#include "app/cli/ReturnCommand.h"
#include "assignment/AssignmentCopy.h"
#include "expr/Codepage.h"
#include "expr/Text.h"
#include "masterdata/ReferenceLists.h"
#include "shell/AssignmentTable.h"
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
  std::vector<shell::AssignmentRow> rows;
  std::uint64_t lost = 0;
  std::string problem;
  if (!shell::readAssignments(c.session(), c.engine(), rows, lost, &problem)) {
    std::fprintf(stderr, "exogena-cli assignments: %s\n", toUtf8(problem).c_str());
    return kExitStopped;
  }
  for (const shell::AssignmentRow& r : rows) {
    std::printf("%s\t%s\t%-20s\t%s\t%s\n", utf8(r.formato).c_str(), utf8(r.concepto).c_str(),
                utf8(r.codCont).c_str(), masterdata::natureDisplay(r.naturalez).c_str(),
                utf8(r.detalle).c_str());
  }
  std::printf("Asignaciones: %zu\n", rows.size());
  if (lost > 0) {
    std::fprintf(stderr,
                 "exogena-cli assignments: la tabla de asignaciones est\xC3\xA1 da\xC3\xB1"
                 "ada: %" PRIu64
                 " registros no se pudieron leer.\n  Rep\xC3\xA1rela con: exogena-cli "
                 "repair-assignments\n",
                 lost);
    return kExitStopped;
  }
  return kExitDone;
}

int repairAssignments(ReturnContext& c, const Args&) {
  const shell::RepairOutcome r = shell::repairAssignments(c.session(), c.engine());
  if (!r.done) return kExitStopped;
  std::printf("Asignaciones conservadas: %" PRIu64 "\nRegistros perdidos: %" PRIu64
              "\nTabla anterior: %s\n",
              r.kept, r.lost, r.asideFile.c_str());
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
  return runReturnCommand(argc, argv, {"assignments", "", 0, 0, {}, true}, listAssignments);
}

int repairAssignmentsCommand(int argc, char** argv) {
  return runReturnCommand(argc, argv, {"repair-assignments", "", 0, 0}, repairAssignments);
}

}  // namespace exo::cli
