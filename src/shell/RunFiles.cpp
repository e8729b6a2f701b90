// The staged files of a run, the open areas, the failure watch and the count texts.
#include "shell/RunFiles.h"

#include <cstdio>
#include <system_error>

#include "shell/Paths.h"
#include "store/Engine.h"
#include "store/File.h"
#include "store/Leftovers.h"

namespace exo::shell {

namespace fs = std::filesystem;

StagedFiles::StagedFiles(std::filesystem::path folder) : m_folder(std::move(folder)) {
  // A replacement of an earlier run left midway is finished before anything is staged over
  // its files.
  store::finishReplacements(m_folder.string());
  // Files staged by runs that were killed, once their process has ended.
  store::removeLeftovers(m_folder.string());
}

StagedFiles::~StagedFiles() {
  if (m_committed) return;
  for (const Entry& e : m_entries) {
    try {
      store::removeFile(e.temp.string());
    } catch (const FailureError&) {
      // A leftover temporary file is erased by the next run that stages it.
    }
  }
}

std::string StagedFiles::stage(std::string_view name, bool isIndex) {
  Entry e{std::string(name), m_folder / store::stagedName(name), isIndex};
  if (const auto old = findEntry(m_folder, store::stagedName(name))) {
    store::removeFile(old->string());
  }
  m_entries.push_back(e);
  return e.temp.string();
}

void StagedFiles::stageMemoOf(std::string_view tableName, std::string_view memoName) {
  const std::string temp = (m_folder / store::stagedName(tableName)).string();
  const std::string memo = store::findCompanion(temp, ".fpt");
  if (memo.empty()) return;
  m_entries.push_back({std::string(memoName), fs::path(memo), false});
}

void StagedFiles::commit() {
  std::error_code ec;
  auto written = [&](const Entry& e) { return fs::exists(e.temp, ec); };
  std::vector<store::ReplaceStep> steps;
  // An old file spelled in another case would otherwise stay beside the new one (where names
  // differ only in case the system takes them for one file, and the rename replaces it).
  for (const Entry& e : m_entries) {
    if (!written(e)) continue;
    const fs::path target = m_folder / e.name;
    if (const auto old = findEntry(m_folder, e.name);
        old && *old != target && !fs::equivalent(*old, target, ec)) {
      steps.push_back({"", old->filename().string()});
    }
  }
  // Tables before their indexes; all of them replaced together or none.
  for (int pass = 0; pass < 2; ++pass) {
    for (const Entry& e : m_entries) {
      if (e.isIndex != (pass == 1) || !written(e)) continue;
      steps.push_back({e.temp.filename().string(), e.name});
    }
  }
  store::replaceTogether(m_folder.string(), steps);
  m_committed = true;
}

FailureWatch::FailureWatch(Interp& ip) : m_ip(ip), m_previous(ip.errorHandler()) {
  m_ip.setErrorHandler([this](Interp& in, const Failure& f) {
    const ErrorReply reply = m_previous ? m_previous(in, f) : defaultErrorHandler(in, f);
    if (reply.kind != ErrorReply::Kind::Retry && f.genCode != GenCode::ZeroDiv) {
      if (!m_failed) {
        m_sharing = f.osCode == 32 || f.osCode == 33 || f.genCode == GenCode::AppendLock;
        m_fileName = f.fileName;
      }
      m_failed = true;
    }
    return reply;
  });
}

FailureWatch::~FailureWatch() { m_ip.setErrorHandler(m_previous); }

OpenAreas::OpenAreas(store::Engine& engine) : m_engine(engine), m_selected(engine.selected()) {}

OpenAreas::~OpenAreas() {
  try {
    closeAll();
  } catch (...) {
    // Unwinding from a failure already reported; the areas are closed as far as possible.
  }
  m_engine.select(m_selected);
}

int OpenAreas::open(const std::string& file, const std::string& alias, bool shared, bool readOnly) {
  const int area = m_engine.open(file, alias, shared, readOnly);
  if (area != 0) m_areas.push_back(area);
  return area;
}

void OpenAreas::closeAll() {
  Interp& ip = m_engine.interp();
  while (!m_areas.empty()) {
    const int area = m_areas.back();
    m_areas.pop_back();
    if (m_engine.isUsed(area)) m_engine.close(ip, area);
  }
}

std::string withThousands(std::int64_t n) {
  std::string digits = std::to_string(n < 0 ? -n : n);
  std::string out;
  for (std::size_t i = 0; i < digits.size(); ++i) {
    if (i > 0 && (digits.size() - i) % 3 == 0) out += ',';
    out += digits[i];
  }
  return n < 0 ? "-" + out : out;
}

std::string timeLine(double seconds) {
  char buf[64];
  std::snprintf(buf, sizeof buf, "%.2f", seconds);
  return "Tiempo:  " + std::string(buf) + " segundos";
}

bool isEmptyText(std::string_view s) {
  for (char c : s) {
    if (c != ' ' && c != '\t' && c != '\r' && c != '\n') return false;
  }
  return true;
}

}  // namespace exo::shell
