// Memory files: one anonymous memory descriptor (memfd) per name, handed out duplicated.
#include "store/MemoryFiles.h"

#include <cerrno>
#include <map>
#include <mutex>

#ifdef __linux__
#include <fcntl.h>
#include <strings.h>
#include <sys/mman.h>
#include <unistd.h>
#endif

namespace exo::store {

namespace {

struct Registry {
  std::mutex mutex;
  std::map<std::string, int> files;  // path -> memfd
};

Registry& registry() {
  static Registry* r = new Registry;  // never destroyed: files may close after static teardown
  return *r;
}

}  // namespace

bool isMemoryPath(std::string_view path) { return path.starts_with(kMemoryFolder); }

#ifdef __linux__

namespace {

// The descriptor of `path`, made when `make`; -1 when there is none. Called with the lock held.
int descriptorOf(Registry& r, const std::string& path, bool make) {
  const auto it = r.files.find(path);
  if (it != r.files.end()) return it->second;
  if (!make) return -1;
  const int fd = ::memfd_create("exo-memoria", MFD_CLOEXEC);
  if (fd >= 0) r.files.emplace(path, fd);
  return fd;
}

bool fill(int fd, std::string_view bytes) {
  if (::ftruncate(fd, 0) != 0) return false;
  std::size_t done = 0;
  while (done < bytes.size()) {
    const ssize_t n =
        ::pwrite(fd, bytes.data() + done, bytes.size() - done, static_cast<off_t>(done));
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    done += static_cast<std::size_t>(n);
  }
  return true;
}

}  // namespace

bool setMemoryFile(const std::string& path, std::string_view bytes) {
  if (!isMemoryPath(path)) return false;
  Registry& r = registry();
  std::lock_guard lock(r.mutex);
  const int fd = descriptorOf(r, path, true);
  return fd >= 0 && fill(fd, bytes);
}

void removeMemoryFile(const std::string& path) {
  Registry& r = registry();
  std::lock_guard lock(r.mutex);
  const auto it = r.files.find(path);
  if (it == r.files.end()) return;
  ::close(it->second);
  r.files.erase(it);
}

int openMemoryFile(const std::string& path, bool create) {
  Registry& r = registry();
  std::lock_guard lock(r.mutex);
  const int fd = descriptorOf(r, path, create);
  if (fd < 0) {
    errno = create ? errno : ENOENT;
    return -1;
  }
  if (create && ::ftruncate(fd, 0) != 0) return -1;
  return ::fcntl(fd, F_DUPFD_CLOEXEC, 0);
}

std::string findMemoryFile(const std::string& path) {
  Registry& r = registry();
  std::lock_guard lock(r.mutex);
  if (r.files.count(path) != 0) return path;
  for (const auto& [name, fd] : r.files) {
    if (name.size() == path.size() && ::strcasecmp(name.c_str(), path.c_str()) == 0) return name;
  }
  return {};
}

#else

bool setMemoryFile(const std::string&, std::string_view) { return false; }
void removeMemoryFile(const std::string&) {}
int openMemoryFile(const std::string&, bool) {
  errno = ENOENT;
  return -1;
}
std::string findMemoryFile(const std::string&) { return {}; }

#endif

}  // namespace exo::store
