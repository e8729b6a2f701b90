// Pieces every step of the return stands on: the new files of a run built beside under
// temporary names and renamed into place at the end, the work areas a routine opens, a watch on
// the failures the error handler lets go, the elapsed time and counts with thousands separators.
#pragma once

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

#include "expr/Interp.h"

namespace exo::store {
class Engine;
}

namespace exo::shell {

// The files a run replaces in one folder. Each file is written under a temporary name beside
// it that carries the process's number ("~PID~name", see store/Leftovers.h); commit() puts them all
// in place together (store::replaceTogether): every later reader that first finishes an interrupted
// replacement of the folder sees all the old files or all the new ones, never tables and indexes of
// different runs. Files not committed are erased when the object goes away. Made on a folder, it
// first finishes a replacement an earlier run left there and erases the temporary files of runs
// whose process has ended.
class StagedFiles {
 public:
  explicit StagedFiles(std::filesystem::path folder);
  ~StagedFiles();
  StagedFiles(const StagedFiles&) = delete;
  StagedFiles& operator=(const StagedFiles&) = delete;

  // The native path under which `name` is written until commit(). An earlier leftover of that
  // temporary name (a run that was interrupted) is erased.
  std::string stage(std::string_view name, bool isIndex = false);
  // Stages the memo file of a staged table when the new table has one.
  void stageMemoOf(std::string_view tableName, std::string_view memoName);
  // Puts every staged file in place (replacing the file of that name whatever its letter case).
  // A staged file that was never written is skipped.
  void commit();
  const std::filesystem::path& folder() const { return m_folder; }

 private:
  struct Entry {
    std::string name;
    std::filesystem::path temp;
    bool isIndex;
  };
  std::filesystem::path m_folder;
  std::vector<Entry> m_entries;
  bool m_committed = false;
};

// Watches the failures raised through the interpreter while it lives: the installed handler
// still reports them (and the user still chooses), but a failure that the handler lets go
// without a retry marks the run as failed, so that a half-read file is never taken as complete.
class FailureWatch {
 public:
  explicit FailureWatch(Interp& ip);
  ~FailureWatch();
  FailureWatch(const FailureWatch&) = delete;
  FailureWatch& operator=(const FailureWatch&) = delete;

  bool failed() const { return m_failed; }
  // The failure let go was a sharing conflict (another program holds the file): the handler
  // settles those without a word, so the caller tells the user.
  bool sharingConflict() const { return m_sharing; }
  const std::string& fileName() const { return m_fileName; }

 private:
  Interp& m_ip;
  exo::ErrorHandler m_previous;
  bool m_failed = false;
  bool m_sharing = false;
  std::string m_fileName;
};

// The work areas a routine opens: closed again, and the area selected before selected again,
// when the routine ends, also when a failure unwinds it.
class OpenAreas {
 public:
  explicit OpenAreas(store::Engine& engine);
  ~OpenAreas();
  OpenAreas(const OpenAreas&) = delete;
  OpenAreas& operator=(const OpenAreas&) = delete;

  // engine.open(); 0 when the error handler let a failure go.
  int open(const std::string& file, const std::string& alias, bool shared = true,
           bool readOnly = false);
  // Takes an area opened elsewhere into the list (0 is ignored) and returns it.
  int adopt(int area) {
    if (area != 0) m_areas.push_back(area);
    return area;
  }
  // Commits and closes every area opened here.
  void closeAll();

 private:
  store::Engine& m_engine;
  int m_selected;
  std::vector<int> m_areas;
};

// Runs a file-layer operation that throws FailureError, handing its failure to the error handler
// until it succeeds or the handler lets it go (false).
template <class F>
bool throughHandler(Interp& ip, F&& op) {
  for (;;) {
    try {
      op();
      return true;
    } catch (const FailureError& e) {
      Failure f = e.failure();
      f.canRetry = true;
      f.canDefault = true;
      bool retry = false;
      ip.raise(std::move(f), &retry);
      if (!retry) return false;
    }
  }
}

// Seconds since construction.
class Stopwatch {
 public:
  double seconds() const {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - m_start).count();
  }

 private:
  std::chrono::steady_clock::time_point m_start = std::chrono::steady_clock::now();
};

// "1,234,567": a whole count with thousands separators.
std::string withThousands(std::int64_t n);
// "Tiempo:  " + seconds with two decimals + " segundos".
std::string timeLine(double seconds);
// The text of a character field as the language's Empty() sees it: only blanks, tabs and line
// ends.
bool isEmptyText(std::string_view s);
// The comparison of texts with exact comparison off: `s` begins with `prefix`.
inline bool beginsWith(std::string_view s, std::string_view prefix) {
  return s.substr(0, prefix.size()) == prefix;
}

}  // namespace exo::shell
