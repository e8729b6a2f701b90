// Positioned file I/O over POSIX descriptors.
#include "store/File.h"

#ifdef _WIN32
// Port pending: this unit is POSIX only. The Windows version opens with CreateFileW (share
// modes as the lock unit describes) and uses ReadFile/WriteFile with OVERLAPPED offsets.
#error "store/File.cpp: Windows implementation not written yet"
#endif

#include <dirent.h>
#include <fcntl.h>
#include <strings.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <utility>

#include "store/FileFaults.h"
#include "store/MemoryFiles.h"
#include "store/StoreFailure.h"

namespace exo::store {

namespace {

// Consults the hook: false when the operation is to be skipped; a failure it decides is raised.
bool proceed(FileOp op, const std::string& path, GenCode code, const char* description,
             const char* operation = "") {
  const FileOpDecision d = checkFileOp(op, path);
  if (d.kind == FileOpDecision::Kind::Fail)
    raise(code, description, path, osCodeFromErrno(d.error), operation);
  return d.kind != FileOpDecision::Kind::Skip;
}

}  // namespace

File::~File() { close(); }

File::File(File&& other) noexcept : m_fd(other.m_fd), m_path(std::move(other.m_path)) {
  other.m_fd = -1;
}

File& File::operator=(File&& other) noexcept {
  if (this != &other) {
    close();
    m_fd = other.m_fd;
    m_path = std::move(other.m_path);
    other.m_fd = -1;
  }
  return *this;
}

File File::open(const std::string& path, bool writable) {
  if (const FileOpDecision d = checkFileOp(FileOp::Open, path);
      d.kind == FileOpDecision::Kind::Fail)
    raise(GenCode::Open, "No se puede abrir el archivo", path, osCodeFromErrno(d.error), "open");
  File f;
  f.m_fd = isMemoryPath(path) ? openMemoryFile(path, false)
                              : ::open(path.c_str(), (writable ? O_RDWR : O_RDONLY) | O_CLOEXEC);
  if (f.m_fd < 0) {
    const int err = errno;
    raise(GenCode::Open, "No se puede abrir el archivo", path, osCodeFromErrno(err), "open");
  }
  f.m_path = path;
  return f;
}

File File::create(const std::string& path) {
  if (const FileOpDecision d = checkFileOp(FileOp::Create, path);
      d.kind == FileOpDecision::Kind::Fail)
    raise(GenCode::Create, "No se puede crear el archivo", path, osCodeFromErrno(d.error),
          "create");
  File f;
  f.m_fd = isMemoryPath(path) ? openMemoryFile(path, true)
                              : ::open(path.c_str(), O_RDWR | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
  if (f.m_fd < 0) {
    const int err = errno;
    raise(GenCode::Create, "No se puede crear el archivo", path, osCodeFromErrno(err), "create");
  }
  f.m_path = path;
  return f;
}

std::size_t File::readSome(std::uint64_t offset, void* buf, std::size_t n) const {
  std::size_t done = 0;
  while (done < n) {
    const ssize_t r =
        ::pread(m_fd, static_cast<char*>(buf) + done, n - done, static_cast<off_t>(offset + done));
    if (r < 0) {
      if (errno == EINTR) continue;
      const int err = errno;
      raise(GenCode::Read, "Error de lectura", m_path, osCodeFromErrno(err), "read");
    }
    if (r == 0) break;
    done += static_cast<std::size_t>(r);
  }
  return done;
}

void File::readAt(std::uint64_t offset, void* buf, std::size_t n) const {
  if (readSome(offset, buf, n) != n) raiseCorrupt("el archivo termina antes de tiempo", m_path);
}

void File::writeAt(std::uint64_t offset, const void* buf, std::size_t n) {
  if (!proceed(FileOp::Write, m_path, GenCode::Write, "Error de escritura", "write")) return;
  std::size_t done = 0;
  while (done < n) {
    const ssize_t r = ::pwrite(m_fd, static_cast<const char*>(buf) + done, n - done,
                               static_cast<off_t>(offset + done));
    if (r < 0) {
      if (errno == EINTR) continue;
      const int err = errno;
      raise(GenCode::Write, "Error de escritura", m_path, osCodeFromErrno(err), "write");
    }
    done += static_cast<std::size_t>(r);
  }
}

std::uint64_t File::size() const {
  struct stat st {};
  if (::fstat(m_fd, &st) != 0) {
    const int err = errno;
    raise(GenCode::Read, "No se puede consultar el archivo", m_path, osCodeFromErrno(err));
  }
  return static_cast<std::uint64_t>(st.st_size);
}

void File::truncate(std::uint64_t length) {
  if (!proceed(FileOp::Truncate, m_path, GenCode::Write,
               "No se puede ajustar el tama\xF1o del archivo"))
    return;
  if (::ftruncate(m_fd, static_cast<off_t>(length)) != 0) {
    const int err = errno;
    raise(GenCode::Write, "No se puede ajustar el tama\xF1o del archivo", m_path,
          osCodeFromErrno(err));
  }
}

void File::sync() {
  if (!proceed(FileOp::Sync, m_path, GenCode::Write, "No se puede asegurar la escritura")) return;
  if (::fsync(m_fd) != 0) {
    const int err = errno;
    raise(GenCode::Write, "No se puede asegurar la escritura", m_path, osCodeFromErrno(err));
  }
}

void File::syncData() {
  if (!proceed(FileOp::Sync, m_path, GenCode::Write, "No se puede asegurar la escritura")) return;
  if (::fdatasync(m_fd) != 0) {
    const int err = errno;
    raise(GenCode::Write, "No se puede asegurar la escritura", m_path, osCodeFromErrno(err));
  }
}

void File::close() {
  if (m_fd >= 0) ::close(m_fd);
  m_fd = -1;
}

namespace {

std::pair<std::string, std::string> splitDirStem(const std::string& path) {
  const std::size_t slash = path.find_last_of('/');
  const std::string dir = slash == std::string::npos ? std::string(".") : path.substr(0, slash);
  std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
  const std::size_t dot = name.find_last_of('.');
  if (dot != std::string::npos) name.resize(dot);
  return {dir, name};
}

}  // namespace

std::string replaceExtension(const std::string& basePath, std::string_view ext) {
  const std::size_t slash = basePath.find_last_of('/');
  const std::size_t dot = basePath.find_last_of('.');
  std::string out = basePath;
  if (dot != std::string::npos && (slash == std::string::npos || dot > slash)) out.resize(dot);
  out += ext;
  return out;
}

FileView::FileView(FileView&& other) noexcept
    : m_data(std::exchange(other.m_data, nullptr)), m_size(std::exchange(other.m_size, 0)) {}

FileView& FileView::operator=(FileView&& other) noexcept {
  if (this != &other) {
    reset();
    m_data = std::exchange(other.m_data, nullptr);
    m_size = std::exchange(other.m_size, 0);
  }
  return *this;
}

bool FileView::map(const File& file, std::uint64_t length, bool prefault) {
  reset();
  if (!file.isOpen() || length == 0 || length > std::uint64_t{SIZE_MAX}) return false;
  int flags = MAP_SHARED;
#ifdef MAP_POPULATE
  if (prefault) flags |= MAP_POPULATE;
#endif
  void* p = ::mmap(nullptr, static_cast<std::size_t>(length), PROT_READ, flags, file.fd(), 0);
  if (p == MAP_FAILED) return false;
  m_data = static_cast<const char*>(p);
  m_size = length;
  return true;
}

void FileView::reset() {
  if (m_data != nullptr) ::munmap(const_cast<char*>(m_data), static_cast<std::size_t>(m_size));
  m_data = nullptr;
  m_size = 0;
}

std::string findCompanion(const std::string& basePath, std::string_view ext) {
  const std::string exact = replaceExtension(basePath, ext);
  if (isMemoryPath(basePath)) return findMemoryFile(exact);
  if (::access(exact.c_str(), F_OK) == 0) return exact;
  const auto [dir, stem] = splitDirStem(basePath);
  const std::string wanted = stem + std::string(ext);
  DIR* d = ::opendir(dir.c_str());
  if (d == nullptr) return {};
  std::string found;
  while (const dirent* e = ::readdir(d)) {
    if (::strcasecmp(e->d_name, wanted.c_str()) == 0) {
      found = dir + "/" + e->d_name;
      break;
    }
  }
  ::closedir(d);
  return found;
}

std::string siblingTempName(const std::string& path) {
  static std::atomic<unsigned> counter{0};
  return path + ".tmp" + std::to_string(::getpid()) + "_" + std::to_string(counter++);
}

}  // namespace exo::store
