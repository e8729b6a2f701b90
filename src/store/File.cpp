// Positioned file I/O over POSIX descriptors, or over Windows handles (the Windows block at the
// end of this file).
#include "store/File.h"

#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#include <windows.h>

#include <map>
#include <mutex>
#include <set>
#else
#include <dirent.h>
#include <fcntl.h>
#include <strings.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <utility>
#include <vector>

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

constexpr const char* kUnreadableFolder = "No se puede leer la carpeta";

}  // namespace

#ifdef _WIN32
const char* const kPathSeparators = "\\/";
#else
const char* const kPathSeparators = "/";
#endif

File::~File() { close(); }

File::File(File&& other) noexcept
    : m_fd(other.m_fd), m_path(std::move(other.m_path)), m_memory(std::move(other.m_memory)) {
  other.m_fd = -1;
}

File& File::operator=(File&& other) noexcept {
  if (this != &other) {
    close();
    m_fd = other.m_fd;
    m_path = std::move(other.m_path);
    m_memory = std::move(other.m_memory);
    other.m_fd = -1;
  }
  return *this;
}

// Every byte asked for, or the file is damaged (it ends before them).
void File::readAt(std::uint64_t offset, void* buf, std::size_t n) const {
  if (readSome(offset, buf, n) != n) raiseCorrupt("el archivo termina antes de tiempo", m_path);
}

#ifndef _WIN32
File File::open(const std::string& path, bool writable, bool) {
  if (const FileOpDecision d = checkFileOp(FileOp::Open, path);
      d.kind == FileOpDecision::Kind::Fail)
    raise(GenCode::Open, "No se puede abrir el archivo", path, osCodeFromErrno(d.error), "open");
  File f;
  if (isMemoryPath(path)) {
    MemoryOpen open = openMemoryFile(path, false);  // a number in place of a descriptor
    f.m_fd = open.descriptor;
    f.m_memory = std::move(open.file);
  } else {
    f.m_fd = ::open(path.c_str(), (writable ? O_RDWR : O_RDONLY) | O_CLOEXEC);
  }
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
  if (isMemoryPath(path)) {
    MemoryOpen open = openMemoryFile(path, true);  // a number in place of a descriptor
    f.m_fd = open.descriptor;
    f.m_memory = std::move(open.file);
  } else {
    f.m_fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
  }
  if (f.m_fd < 0) {
    const int err = errno;
    raise(GenCode::Create, "No se puede crear el archivo", path, osCodeFromErrno(err), "create");
  }
  f.m_path = path;
  return f;
}

std::size_t File::readSome(std::uint64_t offset, void* buf, std::size_t n) const {
  if (m_memory != nullptr) return memoryRead(*m_memory, offset, buf, n);
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

void File::writeAt(std::uint64_t offset, const void* buf, std::size_t n) {
  if (!proceed(FileOp::Write, m_path, GenCode::Write, "Error de escritura", "write")) return;
  if (m_memory != nullptr) {
    if (const int err = memoryWrite(*m_memory, offset, buf, n))
      raise(GenCode::Write, "Error de escritura", m_path, osCodeFromErrno(err), "write");
    return;
  }
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

const char* File::inPlace(std::uint64_t offset, std::size_t n) const {
  if (m_memory == nullptr || offset > memorySize(*m_memory) || n > memorySize(*m_memory) - offset)
    return nullptr;
  return memoryView(*m_memory, offset + n) + offset;
}

std::uint64_t File::size() const {
  if (m_memory != nullptr) return memorySize(*m_memory);
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
  if (m_memory != nullptr) {
    if (const int err = memoryTruncate(*m_memory, length))
      raise(GenCode::Write, "No se puede ajustar el tama\xF1o del archivo", m_path,
            osCodeFromErrno(err));
    return;
  }
  if (::ftruncate(m_fd, static_cast<off_t>(length)) != 0) {
    const int err = errno;
    raise(GenCode::Write, "No se puede ajustar el tama\xF1o del archivo", m_path,
          osCodeFromErrno(err));
  }
}

void File::sync() {
  if (!proceed(FileOp::Sync, m_path, GenCode::Write, "No se puede asegurar la escritura")) return;
  if (m_memory != nullptr) return;  // nothing lies beyond the memory
  if (::fsync(m_fd) != 0) {
    const int err = errno;
    raise(GenCode::Write, "No se puede asegurar la escritura", m_path, osCodeFromErrno(err));
  }
}

void File::syncData() {
  if (!proceed(FileOp::Sync, m_path, GenCode::Write, "No se puede asegurar la escritura")) return;
  if (m_memory != nullptr) return;
  if (::fdatasync(m_fd) != 0) {
    const int err = errno;
    raise(GenCode::Write, "No se puede asegurar la escritura", m_path, osCodeFromErrno(err));
  }
}

void File::close() {
  if (m_memory != nullptr) {
    MemoryOpen open{std::move(m_memory), m_fd};
    closeMemoryFile(open);
  } else if (m_fd >= 0) {
    ::close(m_fd);
  }
  m_fd = -1;
}

#endif  // !_WIN32

namespace {

std::pair<std::string, std::string> splitDirStem(const std::string& path) {
  const std::size_t slash = path.find_last_of(kPathSeparators);
  const std::string dir = slash == std::string::npos ? std::string(".") : path.substr(0, slash);
  std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
  const std::size_t dot = name.find_last_of('.');
  if (dot != std::string::npos) name.resize(dot);
  return {dir, name};
}

}  // namespace

std::string replaceExtension(const std::string& basePath, std::string_view ext) {
  const std::size_t slash = basePath.find_last_of(kPathSeparators);
  const std::size_t dot = basePath.find_last_of('.');
  std::string out = basePath;
  if (dot != std::string::npos && (slash == std::string::npos || dot > slash)) out.resize(dot);
  out += ext;
  return out;
}

FileView::FileView(FileView&& other) noexcept
    : m_data(std::exchange(other.m_data, nullptr)),
      m_size(std::exchange(other.m_size, 0)),
      m_memory(std::move(other.m_memory)) {}

FileView& FileView::operator=(FileView&& other) noexcept {
  if (this != &other) {
    reset();
    m_data = std::exchange(other.m_data, nullptr);
    m_size = std::exchange(other.m_size, 0);
    m_memory = std::move(other.m_memory);
  }
  return *this;
}

#ifndef _WIN32
bool FileView::map(const File& file, std::uint64_t length, bool prefault) {
  reset();
  if (!file.isOpen() || length == 0 || length > std::uint64_t{SIZE_MAX}) return false;
  if (file.m_memory != nullptr) {
    m_data = memoryView(*file.m_memory, length);
    if (m_data == nullptr) return false;
    m_size = length;
    m_memory = file.m_memory;
    return true;
  }
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
  if (m_memory != nullptr) {
    m_memory.reset();
  } else if (m_data != nullptr) {
    ::munmap(const_cast<char*>(m_data), static_cast<std::size_t>(m_size));
  }
  m_data = nullptr;
  m_size = 0;
}

std::string findCompanion(const std::string& basePath, std::string_view ext) {
  const std::string exact = replaceExtension(basePath, ext);
  if (isMemoryPath(basePath)) return findMemoryFile(exact);
  if (::access(exact.c_str(), F_OK) == 0) return exact;
  const auto [dir, stem] = splitDirStem(basePath);
  const std::string wanted = stem + std::string(ext);
  // A folder that cannot be listed is a failure, not a missing companion: a table opened
  // without its index would leave the index behind its records.
  proceed(FileOp::Open, wholeFolderName(dir), GenCode::Open, kUnreadableFolder, "open");
  DIR* d = ::opendir(dir.c_str());
  if (d == nullptr) {
    const int err = errno;
    if (err == ENOENT || err == ENOTDIR) return {};
    raise(GenCode::Open, kUnreadableFolder, wholeFolderName(dir), osCodeFromErrno(err), "open");
  }
  std::string found;
  for (;;) {
    errno = 0;
    const dirent* e = ::readdir(d);
    if (e == nullptr) {
      const int err = errno;
      ::closedir(d);
      if (err != 0)
        raise(GenCode::Open, kUnreadableFolder, wholeFolderName(dir), osCodeFromErrno(err), "open");
      return found;
    }
    if (::strcasecmp(e->d_name, wanted.c_str()) == 0) {
      found = dir + "/" + e->d_name;
      ::closedir(d);
      return found;
    }
  }
}

std::string siblingTempName(const std::string& path) {
  static std::atomic<unsigned> counter{0};
  return path + ".tmp" + std::to_string(::getpid()) + "_" + std::to_string(counter++);
}

#endif  // !_WIN32

void removeFileQuietly(const std::string& path) noexcept {
  try {
    removeFile(path);
  } catch (...) {
    // Only a leftover temporary file; the failure being reported matters more.
  }
}

#ifdef _WIN32
// Windows: a File keeps a C runtime descriptor over a handle opened with CreateFileW, so that the
// lock unit and the callers see the same `fd()` as on Linux. Narrow paths are UTF-8, as
// std::filesystem::path::string() writes them (bytes that are not UTF-8 are taken in the ANSI
// code page). Every open shares reading and writing with other programs (the sibling
// product keeps its tables open while we read them) unless it is exclusive, and always shares
// deletion so that a table can be replaced while it is open. A file cannot be truncated while a
// view of it is mapped: the callers drop their views first.
namespace {

HANDLE handleOf(int fd) { return reinterpret_cast<HANDLE>(_get_osfhandle(fd)); }

int lastError() { return static_cast<int>(GetLastError()); }

}  // namespace

std::wstring widePath(const std::string& path) {
  if (path.empty()) return {};
  const int size = static_cast<int>(path.size());
  // UTF-8 first (what std::filesystem::path::string() gives here), the ANSI code page for other
  // bytes (a name typed on the command line).
  UINT page = CP_UTF8;
  int n = MultiByteToWideChar(page, MB_ERR_INVALID_CHARS, path.data(), size, nullptr, 0);
  if (n == 0) {
    page = CP_ACP;
    n = MultiByteToWideChar(page, 0, path.data(), size, nullptr, 0);
  }
  std::wstring out(static_cast<std::size_t>(n), L'\0');
  MultiByteToWideChar(page, 0, path.data(), size, out.data(), n);
  return out;
}

namespace {

int descriptorOf(HANDLE h, bool writable) {
  const int fd =
      _open_osfhandle(reinterpret_cast<intptr_t>(h), _O_BINARY | (writable ? 0 : _O_RDONLY));
  if (fd < 0) CloseHandle(h);
  return fd;
}

constexpr DWORD kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;

// The system's identity of a file (its volume and its number there), the same for every name
// and every handle that leads to it.
struct FileIdentity {
  DWORD volume = 0, high = 0, low = 0;
  bool operator==(const FileIdentity&) const = default;
};

bool identityOf(HANDLE h, FileIdentity& id) {
  BY_HANDLE_FILE_INFORMATION info{};
  if (!GetFileInformationByHandle(h, &info)) return false;
  id = {info.dwVolumeSerialNumber, info.nFileIndexHigh, info.nFileIndexLow};
  return true;
}

// This process's exclusive handles: the exclusive opens of File and the holds of FileHold.
// Windows applies sharing modes between the handles of one process too, where the open locks of
// POSIX leave this process's plain opens alone (the salvage of a held table reads it, a flush
// asked by name reaches a file the engine still holds). So a plain open of a file this process
// holds borrows a duplicate of the holding handle, and a flush by name goes through a writable
// one. A table or index open on a borrowed descriptor is still refused (tryLockOpen), as the
// open lock refuses it on POSIX.
struct OwnHandles {
  struct Held {
    FileIdentity id;
    bool writable = false;
  };
  std::mutex mutex;
  std::map<HANDLE, Held> exclusive;
  std::set<int> borrowed;  // descriptors over borrowed duplicates
};

OwnHandles& ownHandles() {
  static OwnHandles* w = new OwnHandles;  // never destroyed: files may close late
  return *w;
}

// The identity of the file named `wide`, whoever holds it: attribute access takes no part in
// sharing.
bool identityOfName(const std::wstring& wide, FileIdentity& id) {
  const HANDLE probe = CreateFileW(wide.c_str(), FILE_READ_ATTRIBUTES, kShareAll, nullptr,
                                   OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (probe == INVALID_HANDLE_VALUE) return false;
  const bool known = identityOf(probe, id);
  CloseHandle(probe);
  return known;
}

// A duplicate of this process's exclusive handle on the file named `wide` (a writable one when
// `writable`), or nullptr when this process holds no such handle.
HANDLE borrowOwnHandle(const std::wstring& wide, bool writable) {
  FileIdentity wanted;
  if (!identityOfName(wide, wanted)) return nullptr;
  OwnHandles& own = ownHandles();
  std::lock_guard lock(own.mutex);
  for (const auto& [h, held] : own.exclusive) {
    if (held.id != wanted || (writable && !held.writable)) continue;
    HANDLE dup = nullptr;
    if (DuplicateHandle(GetCurrentProcess(), h, GetCurrentProcess(), &dup, 0, FALSE,
                        DUPLICATE_SAME_ACCESS))
      return dup;
  }
  return nullptr;
}

// Flushes the file named `wide` through a writable exclusive handle of this process: 0, the
// flush's error, or ERROR_SHARING_VIOLATION when there is none (another program holds the file).
int flushThroughOwnHandle(const std::wstring& wide) {
  FileIdentity wanted;
  if (!identityOfName(wide, wanted)) return ERROR_SHARING_VIOLATION;
  OwnHandles& own = ownHandles();
  std::lock_guard lock(own.mutex);
  for (const auto& [h, held] : own.exclusive) {
    if (held.id == wanted && held.writable) return FlushFileBuffers(h) ? 0 : lastError();
  }
  return ERROR_SHARING_VIOLATION;
}

}  // namespace

void noteExclusiveHandle(void* handle, bool writable) {
  FileIdentity id;
  if (!identityOf(handle, id)) return;
  OwnHandles& own = ownHandles();
  std::lock_guard lock(own.mutex);
  own.exclusive[handle] = {id, writable};
}

void forgetExclusiveHandle(void* handle) {
  OwnHandles& own = ownHandles();
  std::lock_guard lock(own.mutex);
  own.exclusive.erase(handle);
}

bool isBorrowedDescriptor(int fd) {
  OwnHandles& own = ownHandles();
  std::lock_guard lock(own.mutex);
  return own.borrowed.count(fd) != 0;
}

File File::open(const std::string& path, bool writable, bool exclusive) {
  if (const FileOpDecision d = checkFileOp(FileOp::Open, path);
      d.kind == FileOpDecision::Kind::Fail)
    raise(GenCode::Open, "No se puede abrir el archivo", path, osCodeFromErrno(d.error), "open");
  File f;
  const std::wstring wide = widePath(path);
  const HANDLE h = CreateFileW(wide.c_str(), GENERIC_READ | (writable ? GENERIC_WRITE : 0),
                               exclusive ? FILE_SHARE_DELETE : kShareAll, nullptr, OPEN_EXISTING,
                               FILE_ATTRIBUTE_NORMAL, nullptr);
  if (h == INVALID_HANDLE_VALUE) {
    const int err = lastError();
    if (err == kOsSharingViolation && !exclusive) {
      if (const HANDLE dup = borrowOwnHandle(wide, writable)) {
        f.m_fd = descriptorOf(dup, writable);
        if (f.m_fd < 0) raise(GenCode::Open, "No se puede abrir el archivo", path, 4, "open");
        f.m_path = path;
        OwnHandles& own = ownHandles();
        std::lock_guard lock(own.mutex);
        own.borrowed.insert(f.m_fd);
        return f;
      }
    }
    if (err == kOsSharingViolation)
      raise(GenCode::Open, "La tabla est\xE1 en uso por otro programa", path, err, "open");
    raise(GenCode::Open, "No se puede abrir el archivo", path, err, "open");
  }
  f.m_fd = descriptorOf(h, writable);
  if (f.m_fd < 0) raise(GenCode::Open, "No se puede abrir el archivo", path, 4, "open");
  f.m_path = path;
  if (exclusive) noteExclusiveHandle(h, writable);
  return f;
}

File File::create(const std::string& path) {
  if (const FileOpDecision d = checkFileOp(FileOp::Create, path);
      d.kind == FileOpDecision::Kind::Fail)
    raise(GenCode::Create, "No se puede crear el archivo", path, osCodeFromErrno(d.error),
          "create");
  File f;
  const HANDLE h = CreateFileW(widePath(path).c_str(), GENERIC_READ | GENERIC_WRITE, kShareAll,
                               nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (h == INVALID_HANDLE_VALUE) {
    const int err = lastError();
    raise(GenCode::Create, "No se puede crear el archivo", path, err, "create");
  }
  f.m_fd = descriptorOf(h, true);
  if (f.m_fd < 0) raise(GenCode::Create, "No se puede crear el archivo", path, 4, "create");
  f.m_path = path;
  return f;
}

std::size_t File::readSome(std::uint64_t offset, void* buf, std::size_t n) const {
  std::size_t done = 0;
  while (done < n) {
    OVERLAPPED ov{};
    ov.Offset = static_cast<DWORD>(offset + done);
    ov.OffsetHigh = static_cast<DWORD>((offset + done) >> 32);
    const DWORD want = static_cast<DWORD>(std::min<std::size_t>(n - done, 1u << 30));
    DWORD got = 0;
    if (!ReadFile(handleOf(m_fd), static_cast<char*>(buf) + done, want, &got, &ov)) {
      const int err = lastError();
      if (err == ERROR_HANDLE_EOF) break;
      raise(GenCode::Read, "Error de lectura", m_path, err, "read");
    }
    if (got == 0) break;
    done += got;
  }
  return done;
}

void File::writeAt(std::uint64_t offset, const void* buf, std::size_t n) {
  if (!proceed(FileOp::Write, m_path, GenCode::Write, "Error de escritura", "write")) return;
  std::size_t done = 0;
  while (done < n) {
    OVERLAPPED ov{};
    ov.Offset = static_cast<DWORD>(offset + done);
    ov.OffsetHigh = static_cast<DWORD>((offset + done) >> 32);
    const DWORD want = static_cast<DWORD>(std::min<std::size_t>(n - done, 1u << 30));
    DWORD put = 0;
    if (!WriteFile(handleOf(m_fd), static_cast<const char*>(buf) + done, want, &put, &ov)) {
      const int err = lastError();
      raise(GenCode::Write, "Error de escritura", m_path, err, "write");
    }
    done += put;
  }
}

const char* File::inPlace(std::uint64_t, std::size_t) const { return nullptr; }

std::uint64_t File::size() const {
  LARGE_INTEGER size{};
  if (!GetFileSizeEx(handleOf(m_fd), &size)) {
    const int err = lastError();
    raise(GenCode::Read, "No se puede consultar el archivo", m_path, err);
  }
  return static_cast<std::uint64_t>(size.QuadPart);
}

void File::truncate(std::uint64_t length) {
  if (!proceed(FileOp::Truncate, m_path, GenCode::Write,
               "No se puede ajustar el tama\xF1o del archivo"))
    return;
  FILE_END_OF_FILE_INFO info{};
  info.EndOfFile.QuadPart = static_cast<LONGLONG>(length);
  if (!SetFileInformationByHandle(handleOf(m_fd), FileEndOfFileInfo, &info, sizeof info)) {
    const int err = lastError();
    raise(GenCode::Write, "No se puede ajustar el tama\xF1o del archivo", m_path, err);
  }
}

void File::sync() {
  if (!proceed(FileOp::Sync, m_path, GenCode::Write, "No se puede asegurar la escritura")) return;
  if (!FlushFileBuffers(handleOf(m_fd))) {
    const int err = lastError();
    raise(GenCode::Write, "No se puede asegurar la escritura", m_path, err);
  }
}

void File::syncData() { sync(); }

void File::close() {
  if (m_fd < 0) return;
  {
    OwnHandles& own = ownHandles();
    std::lock_guard lock(own.mutex);
    own.exclusive.erase(handleOf(m_fd));
    own.borrowed.erase(m_fd);
  }
  _close(m_fd);
  m_fd = -1;
}

bool FileView::map(const File& file, std::uint64_t length, bool) {
  reset();
  if (!file.isOpen() || length == 0 || length > std::uint64_t{SIZE_MAX}) return false;
  // The mapping object may go once the view exists; the view keeps the section alive. Views and
  // ReadFile/WriteFile see the same bytes (one cache for both).
  const HANDLE section =
      CreateFileMappingW(handleOf(file.fd()), nullptr, PAGE_READONLY,
                         static_cast<DWORD>(length >> 32), static_cast<DWORD>(length), nullptr);
  if (section == nullptr) return false;
  void* p = MapViewOfFile(section, FILE_MAP_READ, 0, 0, static_cast<SIZE_T>(length));
  CloseHandle(section);
  if (p == nullptr) return false;
  m_data = static_cast<const char*>(p);
  m_size = length;
  return true;
}

void FileView::reset() {
  if (m_data != nullptr) UnmapViewOfFile(m_data);
  m_data = nullptr;
  m_size = 0;
}

std::string findCompanion(const std::string& basePath, std::string_view ext) {
  // Windows file names are found whatever their letter case.
  const std::string exact = replaceExtension(basePath, ext);
  if (GetFileAttributesW(widePath(exact).c_str()) != INVALID_FILE_ATTRIBUTES) return exact;
  // Only a name that is not there means no companion; a folder that cannot be read is a
  // failure (a table opened without its index would leave the index behind its records).
  const DWORD err = GetLastError();
  if (err == ERROR_FILE_NOT_FOUND || err == ERROR_PATH_NOT_FOUND || err == ERROR_INVALID_NAME)
    return {};
  raise(GenCode::Open, kUnreadableFolder, exact, static_cast<int>(err), "open");
}

std::string siblingTempName(const std::string& path) {
  static std::atomic<unsigned> counter{0};
  return path + ".tmp" + std::to_string(GetCurrentProcessId()) + "_" + std::to_string(counter++);
}

namespace {

bool denied(DWORD err) { return err == ERROR_ACCESS_DENIED || err == ERROR_SHARING_VIOLATION; }

// Renames `source` over `target` with POSIX semantics (the old file goes away even while open
// handles remain, as on Linux); Windows 10 1809 and later on NTFS. False where unsupported.
bool renameOverOpenFile(const std::wstring& source, const std::wstring& target) {
  const HANDLE h = CreateFileW(source.c_str(), DELETE | SYNCHRONIZE, kShareAll, nullptr,
                               OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (h == INVALID_HANDLE_VALUE) return false;
  const std::size_t bytes = target.size() * sizeof(wchar_t);
  std::vector<char> buffer(sizeof(FILE_RENAME_INFO) + bytes);
  auto* info = reinterpret_cast<FILE_RENAME_INFO*>(buffer.data());
  // FileRenameInfoEx (Windows 10) reads the union's first member as flags: replace if exists,
  // POSIX semantics. The numbers are the system's; older headers lack their names.
  constexpr DWORD kReplaceIfExists = 0x1, kPosixSemantics = 0x2;
  constexpr auto kFileRenameInfoEx = static_cast<FILE_INFO_BY_HANDLE_CLASS>(22);
  *reinterpret_cast<DWORD*>(buffer.data()) = kReplaceIfExists | kPosixSemantics;
  info->RootDirectory = nullptr;
  info->FileNameLength = static_cast<DWORD>(bytes);
  std::memcpy(info->FileName, target.data(), bytes);
  const bool ok = SetFileInformationByHandle(h, kFileRenameInfoEx, info,
                                             static_cast<DWORD>(buffer.size())) != 0;
  CloseHandle(h);
  return ok;
}

}  // namespace

int systemSyncFile(const std::string& path) {
  const std::wstring wide = widePath(path);
  const HANDLE h = CreateFileW(wide.c_str(), GENERIC_WRITE, kShareAll, nullptr, OPEN_EXISTING,
                               FILE_ATTRIBUTE_NORMAL, nullptr);
  if (h == INVALID_HANDLE_VALUE) {
    const int err = lastError();
    // Held exclusively: by this process (flushed through its own descriptor), or by another.
    return err == ERROR_SHARING_VIOLATION ? flushThroughOwnHandle(wide) : err;
  }
  const int err = FlushFileBuffers(h) ? 0 : lastError();
  CloseHandle(h);
  return err;
}

int systemRename(const std::string& source, const std::string& target) {
  const std::wstring from = widePath(source), to = widePath(target);
  // Written through: the rename reaches the disk before the call returns.
  if (MoveFileExW(from.c_str(), to.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
    return 0;
  int err = lastError();
  // The old file is still open somewhere (every open of ours shares deletion). Windows refuses to
  // replace an open file unless with POSIX semantics; where those are missing, the old file is
  // renamed aside (an open file may be renamed), the new one put in its place, and the old one
  // erased when its last handle closes. Should the second step fail, the old file goes back.
  if (denied(static_cast<DWORD>(err))) {
    if (renameOverOpenFile(from, to)) return 0;
    const std::wstring aside = widePath(siblingTempName(target) + ".old");
    if (MoveFileExW(to.c_str(), aside.c_str(), MOVEFILE_WRITE_THROUGH)) {
      if (MoveFileExW(from.c_str(), to.c_str(), MOVEFILE_WRITE_THROUGH)) {
        DeleteFileW(aside.c_str());
        return 0;
      }
      err = lastError();
      MoveFileExW(aside.c_str(), to.c_str(), MOVEFILE_WRITE_THROUGH);
    }
  }
  return err;
}

int systemErase(const std::string& path) {
  const std::wstring wide = widePath(path);
  if (DeleteFileW(wide.c_str())) return 0;
  const int err = lastError();
  // A folder of that name is no missing file: it stays, and that is a failure.
  if (GetFileAttributesW(wide.c_str()) == INVALID_FILE_ATTRIBUTES) return 0;
  return err == ERROR_FILE_NOT_FOUND || err == ERROR_PATH_NOT_FOUND ? ERROR_ACCESS_DENIED : err;
}

// NTFS journals its directory entries, and MOVEFILE_WRITE_THROUGH returns once the rename is on
// the disk: there is no folder to sync.
int systemSyncFolder(const std::string&) { return 0; }
#endif  // _WIN32

}  // namespace exo::store
