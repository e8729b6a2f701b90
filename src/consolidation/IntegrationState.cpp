// The stamp of the integration's inputs and the accounts assigned twice within a format.
#include "consolidation/IntegrationState.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <map>
#include <sstream>

#include "expr/Failure.h"
#include "expr/Text.h"
#include "shell/Paths.h"
#include "store/File.h"
#include "shell/Session.h"
#include "store/Dbf.h"
#include "store/Dictionary.h"

namespace exo::consolidation {

namespace fs = std::filesystem;

namespace {

constexpr const char* kWatched[] = {store::kAssignments, store::kYearMovements,
                                    store::kLinesWithoutParty};

// FNV-1a over the active records of a table (the header, with its date of last change, and the
// deleted records left out).
std::string tableDigest(const fs::path& file) {
  std::uint64_t h = 1469598103934665603ull;
  std::uint32_t records = 0;
  try {
    store::Dbf t = store::Dbf::open(file.string(), {true, true, 0});
    std::vector<char> rec(t.recordLength());
    for (std::uint32_t r = 1; r <= t.recordCount(); ++r) {
      t.read(r, rec.data());
      if (store::Dbf::isDeleted(rec.data())) continue;
      ++records;
      for (char c : rec) h = (h ^ static_cast<unsigned char>(c)) * 1099511628211ull;
    }
  } catch (const exo::FailureError&) {
    return "ilegible";
  }
  char buf[64];
  std::snprintf(buf, sizeof buf, "%u %016llx", records, static_cast<unsigned long long>(h));
  return buf;
}

std::string fileState(const fs::path& file) {
  std::error_code ec;
  const auto size = fs::file_size(file, ec);
  const auto time = fs::last_write_time(file, ec);
  if (ec) return "ilegible";
  return std::to_string(size) + " " +
         std::to_string(
             std::chrono::duration_cast<std::chrono::nanoseconds>(time.time_since_epoch()).count());
}

std::map<std::string, std::string> parse(const std::string& text) {
  std::map<std::string, std::string> out;
  std::istringstream in(text);
  std::string line;
  while (std::getline(in, line)) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    const auto tab = line.find('\t');
    if (tab != std::string::npos) out[line.substr(0, tab)] = line.substr(tab + 1);
  }
  return out;
}

}  // namespace

std::string integrationInputs(const fs::path& folder) {
  std::string out;
  for (const char* name : kWatched) {
    const auto file = shell::findEntry(folder, name);
    std::string state = "ausente";
    if (file)
      state = name == std::string(store::kAssignments) ? tableDigest(*file) : fileState(*file);
    out += std::string(name) + '\t' + state + "\r\n";
  }
  return out;
}

void writeIntegrationStamp(const fs::path& folder, const std::string& inputs) {
  // Written beside and renamed into place. A stamp that cannot be written leaves the older one,
  // which then asks for the integration again: the safe side.
  try {
    store::writeWholeFile(shell::entryPath(folder, kIntegrationStamp).string(), inputs);
  } catch (const FailureError&) {
  }
}

std::vector<std::string> changedSinceIntegration(const fs::path& folder) {
  const auto file = shell::findEntry(folder, kIntegrationStamp);
  if (!file) return {};
  std::ifstream in(*file, std::ios::binary);
  std::stringstream text;
  text << in.rdbuf();
  const auto then = parse(text.str());
  const auto now = parse(integrationInputs(folder));
  std::vector<std::string> changed;
  for (const char* name : kWatched) {
    const auto a = then.find(name);
    const auto b = now.find(name);
    if (a == then.end() || b == now.end() || a->second != b->second) changed.push_back(name);
  }
  return changed;
}

std::string integrateAgainMessage(const std::vector<std::string>& changed) {
  std::string names;
  for (const std::string& n : changed) names += (names.empty() ? "" : ", ") + n;
  return "Las asignaciones contables, los movimientos o sus arreglos cambiaron despu\351s de la "
         "\372ltima integraci\363n (" +
         names +
         ").\r\nDebe integrar de nuevo los formatos: vaya a acci\363n \"Importar Movimientos "
         "Contables\" y ejecute \"4. Integrar Movimientos a Formatos\".";
}

bool countsEveryConcept(std::string_view formatCode) {
  const auto n = store::formatNumberOf(trimBlanks(formatCode));
  return n && *n <= 9;
}

std::vector<DoubleAssignment> accountConcepts(const fs::path& folder, std::string_view wanted) {
  const auto file = shell::findEntry(folder, store::kAssignments);
  if (!file) return {};
  std::map<std::pair<std::string, std::string>, std::vector<std::string>> byAccount;
  try {
    store::Dbf t = store::Dbf::open(file->string(), {true, true, 0});
    const auto code = t.fieldIndex("COD_CONT"), format = t.fieldIndex("FORMATO"),
               conc = t.fieldIndex("CONCEPTO");
    if (!code || !format || !conc) return {};
    std::vector<char> rec(t.recordLength());
    for (std::uint32_t r = 1; r <= t.recordCount(); ++r) {
      t.read(r, rec.data());
      if (store::Dbf::isDeleted(rec.data())) continue;
      const std::string f(trimBlanks(t.text(rec.data(), *format)));
      const std::string a(trimBlanks(t.text(rec.data(), *code)));
      const std::string c(trimBlanks(t.text(rec.data(), *conc)));
      if (a.empty() || (wanted.empty() ? !countsEveryConcept(f) : f != trimBlanks(wanted)))
        continue;
      auto& concepts = byAccount[{f, a}];
      if (std::find(concepts.begin(), concepts.end(), c) == concepts.end()) concepts.push_back(c);
    }
  } catch (const exo::FailureError&) {
    return {};
  }
  std::vector<DoubleAssignment> out;
  for (auto& [key, concepts] : byAccount)
    out.push_back({key.first, key.second, std::move(concepts)});
  return out;
}

std::vector<DoubleAssignment> doubleAssignments(const fs::path& folder) {
  std::vector<DoubleAssignment> out;
  for (DoubleAssignment& d : accountConcepts(folder, {}))
    if (d.concepts.size() > 1) out.push_back(std::move(d));
  return out;
}

std::string doubleAssignmentQuestion(std::string_view account, std::string_view conceptCode,
                                     std::string_view format) {
  return "La cuenta " + std::string(trimBlanks(account)) + " ya est\341 asignada al concepto " +
         std::string(trimBlanks(conceptCode)) + " del formato " + std::string(trimBlanks(format)) +
         "; sus movimientos se informar\341n en los dos conceptos. \277Continuar?";
}

std::vector<std::string> readinessObservations(shell::Session& session, int formatNumber) {
  const fs::path folder = session.companyFolder();
  std::vector<std::string> out;
  if (const auto changed = changedSinceIntegration(folder); !changed.empty())
    out.push_back(integrateAgainMessage(changed));
  const std::string wanted = formatNumber > 0 ? store::formatCode(formatNumber) : std::string();
  for (const DoubleAssignment& d : doubleAssignments(folder)) {
    if (!wanted.empty() && d.format != wanted) continue;
    std::string concepts;
    for (const std::string& c : d.concepts) concepts += (concepts.empty() ? "" : ", ") + c;
    out.push_back("Formato " + d.format + ": la cuenta " + d.account +
                  " est\341 asignada a los conceptos " + concepts +
                  "; sus movimientos se informan en cada uno.");
  }
  return out;
}

}  // namespace exo::consolidation
