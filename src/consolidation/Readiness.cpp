// The readiness check and the pre-validation workbook.
#include "consolidation/Readiness.h"

#include "shell/OpenFile.h"
#include "shell/Paths.h"
#include "shell/Session.h"
#include "store/Dictionary.h"

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
