// Pieces the withholding bases and the manual-data tables share (internal to
// src/consolidation): the fixed texts, the readiness of a format's movement table, the scratch
// files of a run and the paths of the company folder.
#pragma once

#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

namespace exo::shell {
class Session;
}
namespace exo::store {
class Engine;
class FileHold;
}  // namespace exo::store

namespace exo::consolidation {

inline constexpr std::string_view kAttention = "Atenci\363n.....";
inline constexpr std::string_view kChooseOption = "Seleccione opci\363n....";
inline constexpr std::string_view kProcessing = "Procesando datos. Por favor espere......";
inline constexpr std::string_view kYes = "   &Si   ";
inline constexpr std::string_view kNo = "   &No   ";

// The readiness check CHEQUEATODO: whether the format movement table of `formatNumber` exists in
// the company folder; when not, tells the user which steps of the import to run and gives false.
bool formatTableReady(shell::Session& session, int formatNumber);

// Asks `text` with the choices "&No" (the default) and "&Si"; true only for "&Si".
bool confirm(shell::Session& session, std::string_view title, std::string_view text);

// Files a run builds in the company folder and erases when it ends, however it ends.
class ScratchFiles {
 public:
  explicit ScratchFiles(std::filesystem::path folder) : m_folder(std::move(folder)) {}
  ~ScratchFiles();
  ScratchFiles(const ScratchFiles&) = delete;
  ScratchFiles& operator=(const ScratchFiles&) = delete;
  // The native path of `name`; an earlier leftover of that name is erased now.
  std::string add(std::string_view name);

 private:
  std::filesystem::path m_folder;
  std::vector<std::filesystem::path> m_files;
};

// Takes the user table `table` (a base or manual-data table the user edits) exclusively before
// a rebuild replaces it, so that no other program writes into the table being replaced: the
// hold is kept until the new table is in place. A table that does not exist is free. When
// another program holds the table, says so ("... est\341 en uso por otro programa ...") and
// gives false: the caller changes nothing. REQUIRES: no area of this program is open on it.
bool holdUserTable(shell::Session& session, const std::filesystem::path& table,
                   store::FileHold& hold);

// The order of a directory area whose key is the third party's code (else its first order).
std::string directoryCodeOrder(store::Engine& engine, int area);

}  // namespace exo::consolidation
