// The exogena-cli commands of the third parties, each over the core routine its page button
// calls: import-terceros (the directory copy refreshed) and validate-terceros (the directory
// checked, the faulty third parties listed with their errors).
#include <cinttypes>
#include <cstdio>
#include <filesystem>
#include <string>

#include "app/cli/ReturnCommand.h"
#include "expr/Codepage.h"
#include "expr/Text.h"
#include "import/ThirdPartyCheck.h"
#include "store/Engine.h"

namespace exo::cli {
namespace {

using Args = std::vector<std::string>;

std::string utf8(std::string_view cp1252) { return toUtf8(trimBlanks(cp1252)); }

int importTerceros(ReturnContext& c, const Args&) {
  return import::IMPORTASOLOTERC(c.session(), c.engine()) ? kExitDone : kExitStopped;
}

// The error rows: code, document and name on one line, then each error indented.
void printErrorRows(ReturnContext& c) {
  store::Engine& e = c.engine();
  const std::filesystem::path table = import::errorTablePath(c.session());
  const int area = e.open(table.string(), "Errores", true, true);
  if (area == 0) return;
  e.forEach(area, [&] {
    std::printf("%s\t%s\t%s\n", utf8(e.text(area, "CODIGO")).c_str(),
                utf8(e.text(area, "DOCUMENTO")).c_str(), utf8(e.text(area, "NOMBRE")).c_str());
    const std::string text = import::SETTXTERR(e.text(area, "ERROR"));
    for (std::size_t start = 0; start < text.size();) {
      std::size_t end = text.find("\r\n", start);
      if (end == std::string::npos) end = text.size();
      const std::string_view line = trimBlanks(std::string_view(text).substr(start, end - start));
      if (!line.empty()) std::printf("    %s\n", toUtf8(line).c_str());
      start = end + 2;
    }
    return true;
  });
  e.close(e.interp(), area);
}

int validateTerceros(ReturnContext& c, const Args&) {
  const import::ValidationResult r = import::VALIDAFICHTERC(c.session(), c.engine());
  if (!r.done) return kExitStopped;
  if (r.errors > 0) printErrorRows(c);
  std::printf("Fichas revisadas: %" PRId64 ", con errores: %" PRId64 "\n", r.records, r.errors);
  return kExitDone;
}

}  // namespace

int importTercerosCommand(int argc, char** argv) {
  return runReturnCommand(argc, argv, {"import-terceros", "", 0, 0}, importTerceros);
}
int validateTercerosCommand(int argc, char** argv) {
  return runReturnCommand(argc, argv, {"validate-terceros", "", 0, 0}, validateTerceros);
}

}  // namespace exo::cli
