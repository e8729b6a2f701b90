// Bringing a complete assignment table into the current company: from another company of the
// same installation, or from the company's folder of the previous year's installation
// ("\NRVEXO10\" on the drive).
//
// Both replace "CodCont.dbf" and "CodContx.cdx" as a pair: the source pair is copied beside the
// company's files under temporary names and checked (the table readable with the assignment
// fields, the index with both tags sound); only then are the current files set aside, the new
// ones renamed into place and the old ones erased. Work areas of this program open on the table
// are closed before the swap and opened again after it. A missing or damaged source, or a folder
// that cannot be written, leaves the current pair exactly as it was, with a message.
#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "shell/Company.h"

namespace exo::shell {
class Session;
}
namespace exo::store {
class Engine;
}

namespace exo::assignment {

inline constexpr const char* kCopyTitle = "Importar C\363digos Contables asignados a Conceptos";
inline constexpr const char* kPreviousYearFolder = "NRVEXO10";

// What the copy from another company offers: the product shown first and its companies.
struct CompanyCopyChoice {
  int product = 1;  // 1 "\NRVVS\", 2 "\NRVCONTB\"
  std::vector<shell::CompanyEntry> companies;
};
// Steps before the dialog: nothing when no ledger product is installed, or when the current
// company is not among the companies of the product offered (whose list is read with
// CARGAVRCTL, which makes it the session's product).
std::optional<CompanyCopyChoice> companiesForCopy(shell::Session& session, store::Engine& engine);

enum class CopyOutcome {
  Copied,
  SameCompany,  // the source is the current company: nothing copied, nothing said
  Declined,     // the question was not answered "Si"
  Stopped,      // a message said why nothing was copied
};

// The copy from `source`, a company of the session's product (CPATHORIGEN): its working folder
// in the program folder's data tree, under the wait message "Procesando copia...".
CopyOutcome copyAssignmentsFromCompany(shell::Session& session, store::Engine& engine,
                                       const shell::CompanyEntry& source);

// The copy from the previous year's installation, with its messages and its question.
CopyOutcome copyAssignmentsFromPreviousYear(shell::Session& session, store::Engine& engine);

// The swap itself: replaces the company's pair by the pair of `sourceFolder`. Returns false,
// after a message, when nothing was replaced.
bool replaceAssignments(shell::Session& session, store::Engine& engine,
                        const std::filesystem::path& sourceFolder);

}  // namespace exo::assignment
