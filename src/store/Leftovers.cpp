// Temporary files named after their process, and the erasure of those whose process has ended.
#include "store/Leftovers.h"

#include <cctype>
#include <cerrno>
#include <filesystem>
#include <system_error>

#include "expr/Failure.h"
#include "store/File.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <signal.h>
#include <unistd.h>
#endif

namespace exo::store {

namespace {

namespace fs = std::filesystem;

long ownPid() {
#ifdef _WIN32
  return static_cast<long>(::GetCurrentProcessId());
#else
  return static_cast<long>(::getpid());
#endif
}

// The number at the start of `s` (up to `end`), or 0 when there is none or it is too long.
long leadingNumber(std::string_view s, std::size_t& end) {
  long n = 0;
  end = 0;
  while (end < s.size() && std::isdigit(static_cast<unsigned char>(s[end])) && end < 10) {
    n = n * 10 + (s[end] - '0');
    ++end;
  }
  return end == 0 ? 0 : n;
}

}  // namespace

std::string stagedName(std::string_view name) {
  return "~" + std::to_string(ownPid()) + "~" + std::string(name);
}

long temporaryOwner(std::string_view fileName) {
  std::size_t end = 0;
  if (fileName.size() > 2 && fileName.front() == '~') {
    const long pid = leadingNumber(fileName.substr(1), end);
    if (pid > 0 && 1 + end + 1 < fileName.size() && fileName[1 + end] == '~') return pid;
  }
  // "name.tmpPID_N" (whole files written beside) or "name.tmpPID" (earlier session files).
  const std::size_t at = fileName.rfind(".tmp");
  if (at == std::string_view::npos || at == 0) return 0;
  const std::string_view rest = fileName.substr(at + 4);
  const long pid = leadingNumber(rest, end);
  if (pid <= 0) return 0;
  if (end == rest.size()) return pid;
  if (rest[end] != '_' || end + 1 == rest.size()) return 0;
  for (std::size_t i = end + 1; i < rest.size(); ++i)
    if (!std::isdigit(static_cast<unsigned char>(rest[i]))) return 0;
  return pid;
}

bool processAlive(long pid) {
  if (pid <= 0) return false;
#ifdef _WIN32
  const HANDLE h = ::OpenProcess(SYNCHRONIZE, FALSE, static_cast<DWORD>(pid));
  if (h == nullptr) return ::GetLastError() == ERROR_ACCESS_DENIED;
  const bool running = ::WaitForSingleObject(h, 0) == WAIT_TIMEOUT;
  ::CloseHandle(h);
  return running;
#else
  return ::kill(static_cast<pid_t>(pid), 0) == 0 || errno == EPERM;
#endif
}

int removeLeftovers(const std::string& folder) {
  std::error_code ec;
  fs::directory_iterator it(folder, ec);
  if (ec) return 0;
  int removed = 0;
  const long self = ownPid();
  for (const fs::directory_entry& e : it) {
    const std::string name = e.path().filename().string();
    const long pid = temporaryOwner(name);
    if (pid == 0 || pid == self || processAlive(pid) || !e.is_regular_file(ec)) continue;
    try {
      removeFile(e.path().string());
      ++removed;
    } catch (const FailureError&) {
      // A leftover that cannot be erased now is tried again at the next start.
    }
  }
  if (removed > 0) {
    try {
      syncFolder(folder);
    } catch (const FailureError&) {
    }
  }
  return removed;
}

}  // namespace exo::store
