// Helpers shared by the table-engine file tests: temporary folders, copies of the shared test
// vectors, and the peer listing files.
#pragma once

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "support/Portable.h"

namespace storetest {

inline const std::string kPeerDir = EXOGENA_SHARED_DIR "/testdata/xbase-peer";
inline const std::string kVectorDir = EXOGENA_SHARED_DIR "/testdata/xbase";

// A fresh folder removed at the end of the test.
class TempDir {
 public:
  TempDir() { m_path = exotest::makeTempFolder("exo-store-").string(); }
  // Never throws: on Windows a folder whose files are still open (a fixture member destroyed
  // later) cannot be removed, and stays.
  ~TempDir() {
    std::error_code ec;
    std::filesystem::remove_all(m_path, ec);
  }
  std::string file(const std::string& name) const { return m_path + "/" + name; }
  // Copies `source` into the folder under `name` (writable) and returns the new path.
  std::string copy(const std::string& source, const std::string& name) const {
    std::filesystem::copy_file(source, file(name),
                               std::filesystem::copy_options::overwrite_existing);
    std::filesystem::permissions(file(name), std::filesystem::perms::owner_write,
                                 std::filesystem::perm_options::add);
    return file(name);
  }

 private:
  std::string m_path;
};

inline std::string hex(std::string_view bytes) {
  static const char* digits = "0123456789ABCDEF";
  std::string out;
  for (unsigned char c : bytes) {
    out += digits[c >> 4];
    out += digits[c & 15];
  }
  return out;
}

inline std::string readFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

inline void writeFile(const std::string& path, const std::string& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out << bytes;
}

// One line of a peer listing file: record, deleted mark and key bytes in hex.
struct ListedKey {
  std::uint32_t recno = 0;
  bool deleted = false;
  std::string hex;
};

inline std::vector<ListedKey> readListing(const std::string& path) {
  std::ifstream in(path);
  std::vector<ListedKey> out;
  std::string line;
  bool body = false;
  while (std::getline(in, line)) {
    if (line.find("recno del key") != std::string::npos) {
      body = true;
      continue;
    }
    const std::size_t h = line.find("hex=");
    if (!body || h == std::string::npos) continue;
    std::istringstream fields(line.substr(0, h));
    ListedKey k;
    std::string n, mark;
    fields >> n >> k.recno >> mark;
    k.deleted = mark == "*";
    k.hex = line.substr(h + 4, line.find(' ', h) - h - 4);
    out.push_back(k);
  }
  return out;
}

// Output of a command run through the shell, and its exit status.
inline int runCommand(const std::string& command, std::string& output) {
  output.clear();
  FILE* p = exotest::openPipe(command);
  if (p == nullptr) return -1;
  char buf[4096];
  std::size_t n;
  while ((n = std::fread(buf, 1, sizeof buf, p)) > 0) output.append(buf, n);
  return exotest::closePipe(p);
}

}  // namespace storetest
