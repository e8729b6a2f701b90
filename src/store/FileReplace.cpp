// Whole files replaced, erased and synced in their folder; several files replaced together
// through a record of the steps; the hook on the store's file operations.
#include <atomic>
#include <cerrno>
#include <filesystem>
#include <string>
#include <system_error>
#include <thread>
#include <utility>
#include <vector>

#include "store/File.h"
#include "store/FileFaults.h"
#include "store/MemoryFiles.h"
#include "store/Publication.h"
#include "store/StoreFailure.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#endif

namespace exo::store {

namespace fs = std::filesystem;

// --- the hook --------------------------------------------------------------------------------

namespace {

std::atomic<bool> g_hooked{false};
FileOpHook& hook() {
  static FileOpHook h;
  return h;
}

}  // namespace

void setFileOpHook(FileOpHook h) {
  g_hooked = false;
  hook() = std::move(h);
  g_hooked = static_cast<bool>(hook());
}

bool fileOpHookInstalled() { return g_hooked.load(); }

FileOpDecision checkFileOp(FileOp op, const std::string& path) {
  if (!g_hooked.load(std::memory_order_relaxed)) return {};
  const FileOpDecision d = hook()(op, path);
  if (d.kind == FileOpDecision::Kind::Stop ||
      (d.kind == FileOpDecision::Kind::Skip && (op == FileOp::Open || op == FileOp::Create)))
    throw RunStopped{op, path};
  return d;
}

const char* fileOpName(FileOp op) {
  switch (op) {
    case FileOp::Open: return "open";
    case FileOp::Create: return "create";
    case FileOp::Write: return "write";
    case FileOp::Truncate: return "truncate";
    case FileOp::Sync: return "sync";
    case FileOp::Rename: return "rename";
    case FileOp::Erase: return "erase";
  }
  return "?";
}

// --- the system's calls ----------------------------------------------------------------------

namespace {

constexpr const char* kReplaceRecordTemp = "~Reemplazo.tmp";

#ifdef _WIN32
int osCode(int err) { return osCodeFromSystemError(static_cast<unsigned long>(err)); }
#else
int osCode(int err) { return osCodeFromErrno(err); }
}  // namespace

int systemSyncFile(const std::string& path) {
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return errno;
  const int err = ::fsync(fd) == 0 ? 0 : errno;
  ::close(fd);
  return err;
}
int systemRename(const std::string& from, const std::string& to) {
  return std::rename(from.c_str(), to.c_str()) == 0 ? 0 : errno;
}
int systemErase(const std::string& path) {
  if (::unlink(path.c_str()) == 0) return 0;
  return errno == ENOENT ? 0 : errno;
}
int systemSyncFolder(const std::string& folder) {
  const int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return 0;  // a folder that cannot be opened for syncing is not synced
  int err = ::fsync(fd) == 0 ? 0 : errno;
  ::close(fd);
  // Systems and file systems that cannot sync a folder say so; that is no failure.
  if (err == EINVAL || err == EBADF || err == ENOTSUP || err == EROFS) err = 0;
  return err;
}

namespace {
#endif

std::string folderOf(const std::string& path) {
  const fs::path parent = fs::path(path).parent_path();
  return parent.empty() ? std::string(".") : parent.string();
}

void syncFile(const std::string& path) {
  const FileOpDecision d = checkFileOp(FileOp::Sync, path);
  if (d.kind == FileOpDecision::Kind::Skip) return;
  const int err = d.kind == FileOpDecision::Kind::Fail ? osCodeFromErrno(d.error)
                                                       : osCode(systemSyncFile(path));
  if (err != 0) raise(GenCode::Write, "No se puede asegurar la escritura", path, err, "sync");
}

// Syncs the files, the first failure in their order raised. The system's work of putting many
// pages on the disk is shared by two threads, each taking the next file; with a hook on the
// file operations they are synced one after another, in their order, as the hook expects.
void syncFiles(const std::vector<std::string>& paths) {
  if (paths.size() < 2 || fileOpHookInstalled()) {
    for (const std::string& p : paths) syncFile(p);
    return;
  }
  std::vector<int> errors(paths.size(), 0);
  std::atomic<std::size_t> next{0};
  const auto work = [&] {
    for (std::size_t i = next++; i < paths.size(); i = next++)
      errors[i] = osCode(systemSyncFile(paths[i]));
  };
  std::thread helper;
  try {
    helper = std::thread(work);
  } catch (const std::system_error&) {
    // No second thread: this one does it all.
  }
  work();
  if (helper.joinable()) helper.join();
  for (std::size_t i = 0; i < paths.size(); ++i) {
    if (errors[i] != 0)
      raise(GenCode::Write, "No se puede asegurar la escritura", paths[i], errors[i], "sync");
  }
}

void renameOver(const std::string& source, const std::string& target) {
  const FileOpDecision d = checkFileOp(FileOp::Rename, target);
  if (d.kind == FileOpDecision::Kind::Skip) return;
  const int err = d.kind == FileOpDecision::Kind::Fail ? osCodeFromErrno(d.error)
                                                       : osCode(systemRename(source, target));
  if (err != 0) raise(GenCode::Write, "No se puede reemplazar el archivo", target, err, "rename");
}

bool exists(const std::string& path) {
  std::error_code ec;
  return fs::exists(path, ec);
}

// A name of the record: a plain file name of the folder, never a path.
bool plainName(const std::string& name) {
  if (name.empty() || name == "." || name == "..") return false;
  for (const char c : name) {
    if (c == '/' || c == '\\' || c == ':' || c == '\t' || c == '\n' || c == '\r' || c == '\0')
      return false;
  }
  return true;
}

// The steps of a record's text; false when the text is not a complete record.
bool parseRecord(const std::string& text, std::vector<ReplaceStep>& steps) {
  std::size_t pos = 0;
  while (pos < text.size()) {
    const std::size_t end = text.find('\n', pos);
    if (end == std::string::npos) return false;
    const std::string line = text.substr(pos, end - pos);
    pos = end + 1;
    const std::size_t tab1 = line.find('\t');
    if (tab1 == std::string::npos) return false;
    const std::string kind = line.substr(0, tab1);
    if (kind == "FIN")
      return pos == text.size() && line.substr(tab1 + 1) == std::to_string(steps.size());
    const std::size_t tab2 = line.find('\t', tab1 + 1);
    if (tab2 == std::string::npos) return false;
    ReplaceStep s{line.substr(tab1 + 1, tab2 - tab1 - 1), line.substr(tab2 + 1)};
    if ((kind != "R" && kind != "E") || (kind == "R") == s.staged.empty() ||
        (kind == "R" && !plainName(s.staged)) || !plainName(s.target))
      return false;
    steps.push_back(std::move(s));
  }
  return false;
}

std::string readWhole(const std::string& path) {
  File f = File::open(path, false);
  std::string text(static_cast<std::size_t>(f.size()), '\0');
  if (!text.empty()) f.readAt(0, text.data(), text.size());
  return text;
}

void carryOut(const std::string& folder, const std::vector<ReplaceStep>& steps) {
  const fs::path dir(folder);
  for (const ReplaceStep& s : steps) {
    const std::string target = (dir / s.target).string();
    if (s.staged.empty()) {
      removeFile(target);
    } else if (const std::string staged = (dir / s.staged).string(); exists(staged)) {
      renameOver(staged, target);
    }
  }
  syncFolder(folder);
  removeFile((dir / kReplaceRecord).string());
  syncFolder(folder);
}

}  // namespace

// --- whole files -----------------------------------------------------------------------------

void replaceFile(const std::string& source, const std::string& target) {
  syncFile(source);
  renameOver(source, target);
  syncFolder(folderOf(target));
}

void writeWholeFile(const std::string& path, std::string_view bytes) {
  const std::string temp = siblingTempName(path);
  try {
    File out = File::create(temp);
    out.writeAt(0, bytes.data(), bytes.size());
    out.sync();
    out.close();
    replaceFile(temp, path);
  } catch (const FailureError&) {
    try {
      removeFile(temp);
    } catch (const FailureError&) {
      // The temporary file stays; the failure reported is the write's.
    }
    throw;
  }
}

void createWholeFile(const std::string& path, std::string_view bytes) {
  if (isMemoryPath(path)) {
    File out = File::create(path);
    out.writeAt(0, bytes.data(), bytes.size());
    return;
  }
  const std::string temp = siblingTempName(path);
  try {
    File out = File::create(temp);
    out.writeAt(0, bytes.data(), bytes.size());
    out.close();
    renameOver(temp, path);
  } catch (const FailureError&) {
    removeFileQuietly(temp);
    throw;
  }
}

void removeFile(const std::string& path) {
  const FileOpDecision d = checkFileOp(FileOp::Erase, path);
  if (d.kind == FileOpDecision::Kind::Skip) return;
  const int err =
      d.kind == FileOpDecision::Kind::Fail ? osCodeFromErrno(d.error) : osCode(systemErase(path));
  if (err != 0) raise(GenCode::Write, "No se puede borrar el archivo", path, err, "erase");
}

void syncFolder(const std::string& folder) {
  const FileOpDecision d = checkFileOp(FileOp::Sync, folder);
  if (d.kind == FileOpDecision::Kind::Skip) return;
  const int err = d.kind == FileOpDecision::Kind::Fail ? osCodeFromErrno(d.error)
                                                       : osCode(systemSyncFolder(folder));
  if (err != 0)
    raise(GenCode::Write, "No se puede asegurar la escritura", wholeFolderName(folder), err,
          "sync");
}

std::string wholeFolderName(const std::string& folder) {
  std::error_code ec;
  fs::path whole = fs::absolute(folder, ec).lexically_normal();
  if (ec) return folder;
  if (!whole.has_filename() && whole.has_relative_path()) whole = whole.parent_path();
  return whole.string();
}

// --- files replaced together -----------------------------------------------------------------

void replaceTogether(const std::string& folder, const std::vector<ReplaceStep>& steps) {
  if (steps.empty()) return;
  const fs::path dir(folder);
  std::string text;
  std::vector<std::string> staged;
  for (const ReplaceStep& s : steps) {
    if ((!s.staged.empty() && !plainName(s.staged)) || !plainName(s.target))
      raise(GenCode::Arg, "Nombre de archivo no v\xE1lido", s.staged + " " + s.target, 0,
            "replace");
    if (!s.staged.empty()) staged.push_back((dir / s.staged).string());
    text += (s.staged.empty() ? "E\t" : "R\t") + s.staged + "\t" + s.target + "\n";
  }
  syncFiles(staged);
  text += "FIN\t" + std::to_string(steps.size()) + "\n";
  const std::string temp = (dir / kReplaceRecordTemp).string();
  {
    File record = File::create(temp);
    record.writeAt(0, text.data(), text.size());
    record.sync();
  }
  // The record appears complete or not at all; from here on the replacement is decided.
  renameOver(temp, (dir / kReplaceRecord).string());
  syncFolder(folder);
  carryOut(folder, steps);
}

bool finishReplacements(const std::string& folder) {
  const fs::path dir(folder);
  bool found = false;
  const std::string temp = (dir / kReplaceRecordTemp).string();
  if (exists(temp)) {
    // A record never completed: nothing was replaced. Its staged files go with it.
    found = true;
    std::string text;
    try {
      text = readWhole(temp);
    } catch (const FailureError&) {
    }
    std::vector<ReplaceStep> steps;
    parseRecord(text, steps);
    for (const ReplaceStep& s : steps) {
      if (!s.staged.empty() && s.staged.front() == '~') removeFile((dir / s.staged).string());
    }
    removeFile(temp);
  }
  const std::string record = (dir / kReplaceRecord).string();
  if (!exists(record)) return found;
  std::vector<ReplaceStep> steps;
  if (parseRecord(readWhole(record), steps)) {
    carryOut(folder, steps);
  } else {
    // Only a damaged disk makes a record that appeared whole unreadable: its steps cannot be
    // trusted, and the files stay as they are.
    removeFile(record);
    syncFolder(folder);
  }
  return true;
}

}  // namespace exo::store

// --- results whose official names wait -------------------------------------------------------

namespace exo::store {

namespace {
thread_local HeldPublication* t_publication = nullptr;
}  // namespace

HeldPublication::~HeldPublication() { drop(); }

void HeldPublication::hold(const std::string& staged, const std::string& target) {
  syncFile(staged);
  for (auto it = m_steps.begin(); it != m_steps.end(); ++it) {
    if (it->target != target) continue;
    if (!it->staged.empty()) removeFileQuietly(it->staged);
    m_steps.erase(it);
    break;
  }
  m_steps.push_back({staged, target});
}

bool HeldPublication::holdErasure(const std::string& target) {
  bool stood = exists(target);
  for (auto it = m_steps.begin(); it != m_steps.end(); ++it) {
    if (it->target != target) continue;
    if (!it->staged.empty()) {
      removeFileQuietly(it->staged);
      stood = true;
    }
    m_steps.erase(it);
    break;
  }
  m_steps.push_back({std::string(), target});
  return stood;
}

std::string HeldPublication::placeOf(const std::string& target) const {
  for (const Step& s : m_steps)
    if (s.target == target && !s.staged.empty()) return s.staged;
  return target;
}

void HeldPublication::carryOut() {
  std::vector<Step> steps = std::move(m_steps);
  m_steps.clear();
  for (std::size_t i = 0; i < steps.size(); ++i) {
    try {
      if (steps[i].staged.empty()) {
        removeFileQuietly(steps[i].target);
      } else {
        renameOver(steps[i].staged, steps[i].target);
        syncFolder(folderOf(steps[i].target));
      }
    } catch (...) {
      for (std::size_t j = i; j < steps.size(); ++j)
        if (!steps[j].staged.empty()) removeFileQuietly(steps[j].staged);
      throw;
    }
  }
}

void HeldPublication::drop() noexcept {
  for (const Step& s : m_steps)
    if (!s.staged.empty()) removeFileQuietly(s.staged);
  m_steps.clear();
}

PublicationScope::PublicationScope(HeldPublication* publication) : m_previous(t_publication) {
  t_publication = publication;
}

PublicationScope::~PublicationScope() { t_publication = m_previous; }

HeldPublication* threadPublication() { return t_publication; }

void publishFile(const std::string& source, const std::string& target) {
  if (t_publication == nullptr) replaceFile(source, target);
  else t_publication->hold(source, target);
}

void publishWholeFile(const std::string& path, std::string_view bytes) {
  if (t_publication == nullptr) {
    writeWholeFile(path, bytes);
    return;
  }
  const std::string temp = siblingTempName(path);
  try {
    File out = File::create(temp);
    out.writeAt(0, bytes.data(), bytes.size());
    out.close();
    t_publication->hold(temp, path);
  } catch (const FailureError&) {
    removeFileQuietly(temp);
    throw;
  }
}

bool unpublishFile(const std::string& path) noexcept {
  if (t_publication != nullptr) {
    try {
      return t_publication->holdErasure(path);
    } catch (...) {
      return false;
    }
  }
  std::error_code ec;
  return fs::remove(path, ec);
}

std::string publishedPlace(const std::string& path) {
  return t_publication == nullptr ? path : t_publication->placeOf(path);
}

}  // namespace exo::store
