// The readiness check and the pre-validation workbook.
#include "consolidation/Readiness.h"

#include "expr/Failure.h"
#include "expr/Text.h"
#include "shell/OpenFile.h"
#include "shell/Paths.h"
#include "shell/Session.h"
#include "store/Dictionary.h"
#include "store/File.h"

namespace exo::consolidation {

std::string notReadyMessage() {
  return "Sistema no inicializado adecuadamente.\r\n"
         "\r\n"
         "Vaya a secci\363n \"General\", acci\363n \"Importar Cuentas P.U.C.\" e importe el "
         "correspondiente PUC,\r\n"
         "luego, vaya a acci\363n \"Importar Movimientos Contables\" y ejecute todos los procesos "
         "indicados.";
}

bool CHEQUEATODO(shell::Session& session, int formatNumber) {
  // A replacement of the company's tables that a stopped run left midway is finished first, so
  // that the check, and what runs after it, see the tables of one run.
  try {
    store::finishReplacements(session.companyFolder().string());
  } catch (const FailureError& e) {
    session.ui().message(
        shell::MessageKind::Stop, kNotReadyTitle,
        std::string(trimBlanks(e.failure().description)) + "\r\n" + e.failure().fileName);
    return false;
  }
  const std::string file = store::formatTableFile(store::formatCode(formatNumber));
  if (shell::findEntry(session.companyFolder(), file)) return true;
  session.ui().message(shell::MessageKind::Stop, kNotReadyTitle, notReadyMessage());
  return false;
}

bool PREVALIDADOR(shell::Session& session) {
  const auto path = shell::entryPath(
      shell::entryPath(session.folders().program, kPrevalidatorFolder), kPrevalidatorFile);
  return shell::openOrExplain(session.ui(), path);
}

}  // namespace exo::consolidation
