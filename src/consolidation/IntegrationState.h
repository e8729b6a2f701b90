// What the format movement tables were integrated from, and what the readiness check says about
// it: the state of the integration's inputs (the assignments, the year's movements with their
// fixes, the lines without a third party) recorded by each integration in "Integra.sta", so that
// a later change of any of them is noticed before a return is generated from stale tables; and
// the accounts assigned to two concepts of one format of 1001 to 1009, whose movements that
// format reports twice.
#pragma once

#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

namespace exo::shell {
class Session;
}

namespace exo::consolidation {

inline constexpr const char* kIntegrationStamp = "Integra.sta";

// The state of the integration's inputs in `folder`, one line per file: the assignments by the
// digest of their active records (a compaction does not change it), the movement tables by size
// and time of last change.
std::string integrationInputs(const std::filesystem::path& folder);
// Writes `inputs` as the stamp of the integration that read them (replacing it).
void writeIntegrationStamp(const std::filesystem::path& folder, const std::string& inputs);
// The inputs changed since the last integration, by file name ("CodCont.dbf", "vrTraCon.99",
// "vrSinTer.99"); empty when nothing changed or when no integration left a stamp.
std::vector<std::string> changedSinceIntegration(const std::filesystem::path& folder);
// The message that says the formats must be integrated again, naming what changed.
std::string integrateAgainMessage(const std::vector<std::string>& changed);

// An account assigned to more than one concept of one format.
struct DoubleAssignment {
  std::string format;                 // "1001"
  std::string account;                // COD_CONT, trimmed
  std::vector<std::string> concepts;  // in the order of the table
};
// Formats whose movements are reported once per concept that takes them: 1001 to 1009 (1012
// reports balances and may take one account under several concepts).
bool countsEveryConcept(std::string_view formatCode);
// Every account of "CodCont.dbf" in `folder` with the concepts of `format` that take it (every
// format of 1001 to 1009 when `format` is empty), by format and account.
std::vector<DoubleAssignment> accountConcepts(const std::filesystem::path& folder,
                                              std::string_view format);
// The accounts of "CodCont.dbf" in `folder` assigned to two or more concepts of one format of
// 1001 to 1009, by format and account. Empty when the table is missing.
std::vector<DoubleAssignment> doubleAssignments(const std::filesystem::path& folder);
// "La cuenta ... ya está asignada al concepto ... del formato ...; sus movimientos se informarán
// en los dos conceptos. ¿Continuar?"
std::string doubleAssignmentQuestion(std::string_view account, std::string_view conceptCode,
                                     std::string_view format);

// The observations of the readiness check for `formatNumber` (0 = every format): the formats
// must be integrated again, and the accounts counted twice.
std::vector<std::string> readinessObservations(shell::Session& session, int formatNumber = 0);

}  // namespace exo::consolidation
