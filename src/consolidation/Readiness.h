// The guards of the later steps: the readiness check that refuses to work on a format whose
// movement table has not been built (and tells the user which import steps to run), and the
// hand-over to the tax authority's pre-validation workbook.
#pragma once

#include <string>

namespace exo::shell {
class Session;
}

namespace exo::consolidation {

inline constexpr const char* kNotReadyTitle = "Atenci\363n, Sistema no inicializado.....";
// The lines of the message, joined by CR LF.
std::string notReadyMessage();

// CHEQUEATODO: true when "TrF" + the format's code + ".dbf" exists in the company folder;
// otherwise shows the stop message and gives false. REQUIRES: 1 <= formatNumber <= 12.
bool CHEQUEATODO(shell::Session& session, int formatNumber);

// The pre-validation workbook, relative to the program folder.
inline constexpr const char* kPrevalidatorFolder = "PREVALIDADOR";
inline constexpr const char* kPrevalidatorFile = "Prevalidador_Tributario_2010_v1.0.xls";

// PREVALIDADOR: asks the desktop to open the pre-validation workbook of the program folder and
// returns at once; whether it opened is the desktop's business (true when it was handed over).
bool PREVALIDADOR(shell::Session& session);

}  // namespace exo::consolidation
