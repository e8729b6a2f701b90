// Files held in memory, under paths that begin with kMemoryFolder: the store opens them as any
// file (reads, writes, locks, views), and nothing reaches a disk. For the fuzz targets and the
// tests that feed the readers thousands of inputs; the program itself never makes one. Linux
// only (elsewhere no memory file can be made and the store sees plain paths).
#pragma once

#include <string>
#include <string_view>

namespace exo::store {

inline constexpr std::string_view kMemoryFolder = "/@memoria/";

bool isMemoryPath(std::string_view path);
// Makes the memory file `path` (under kMemoryFolder) hold `bytes`; files open on it see them.
// False when memory files cannot be made here.
bool setMemoryFile(const std::string& path, std::string_view bytes);
// Forgets the memory file `path` (files open on it keep their bytes until closed).
void removeMemoryFile(const std::string& path);

// For the file layer: a new descriptor on the memory file `path` (made empty first when
// `create`, and made when it does not exist yet), or -1 with errno set.
int openMemoryFile(const std::string& path, bool create);
// The memory file named `path` whatever the letter case of its name; empty when there is none.
std::string findMemoryFile(const std::string& path);

}  // namespace exo::store
