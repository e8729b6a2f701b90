// exogena-cli install DIR: lays out a program folder for a real ledger (reference tables, report
// definitions, help, pre-validator folder) without session or companies. An existing
// installation is left alone: its reference tables may carry the user's changes.
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <system_error>

#include "demo/Demo.h"
#include "expr/Codepage.h"
#include "expr/Failure.h"
#include "shell/Paths.h"
#include "store/RefTables.h"

#ifndef EXOGENA_SOURCE_DIR
#define EXOGENA_SOURCE_DIR "."
#endif

namespace exo::cli {

int installCommand(int argc, char** argv) {
  if (argc != 2 || argv[1][0] == '-') {
    std::fputs("Uso: exogena-cli install CARPETA\n", stderr);
    return 2;
  }
  namespace fs = std::filesystem;
  const fs::path folder = argv[1];
  std::error_code ec;
  if (fs::exists(folder, ec) && !fs::is_directory(folder, ec)) {
    std::fprintf(stderr, "exogena-cli install: %s no es una carpeta\n", argv[1]);
    return 1;
  }
  for (const char* table : {store::kFormatosFile, store::kConceptsFile, store::kDepartmentsFile,
                            store::kMunicipalitiesFile, store::kCountriesFile}) {
    if (fs::is_directory(folder, ec) && shell::findEntry(folder, table)) {
      std::fprintf(stderr,
                   "exogena-cli install: la carpeta %s ya tiene una instalaci\xC3\xB3n del "
                   "programa (%s); no se reemplaza.\n",
                   argv[1], table);
      return 1;
    }
  }
  const char* source = std::getenv("EXOGENA_SOURCE");
  try {
    demo::installProgramFolder(source != nullptr ? source : EXOGENA_SOURCE_DIR, folder.string());
  } catch (const FailureError& e) {
    std::fprintf(stderr, "exogena-cli install: %s\n", toUtf8(errorMessage(e.failure())).c_str());
    return 1;
  }
  const std::string program = fs::absolute(folder, ec).string();
  std::printf(
      "Programa instalado en %s\n\n"
      "Para trabajar con la contabilidad, indique la carpeta que contiene \\NRVVS\\ o "
      "\\NRVCONTB\\\n"
      "(la ra\xC3\xADz de la unidad del programa contable) y elija la empresa-a\xC3\xB1o:\n"
      "  cd %s && EXOGENA_DRIVE=/ruta/de/la/unidad exogena\n"
      "  exogena-cli select-company --program %s --drive /ruta/de/la/unidad --company "
      "CARPETA\n",
      program.c_str(), program.c_str(), program.c_str());
  return 0;
}

}  // namespace exo::cli
