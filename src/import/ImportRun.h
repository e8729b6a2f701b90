// Pieces shared by the ledger import and its fixes (internal to src/import): the run helpers of
// the shell taken into this namespace and the fixed texts of the import page.
#pragma once

#include <string_view>

#include "shell/RunFiles.h"

namespace exo::import {

using shell::beginsWith;
using shell::FailureWatch;
using shell::isEmptyText;
using shell::OpenAreas;
using shell::StagedFiles;
using shell::Stopwatch;
using shell::throughHandler;
using shell::timeLine;
using shell::withThousands;

inline constexpr std::string_view kAttention = "Atenci\363n.....";
inline constexpr std::string_view kFinished = "Proceso terminado....";
inline constexpr std::string_view kImportFirst = "Debe Importar Movimientos Contables primero";
inline constexpr std::string_view kCheckPeriods =
    "Por favor verifique los per\355odos en su programa Norvasta.";

}  // namespace exo::import
