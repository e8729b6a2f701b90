// Helpers of the file-reader fuzz targets: the input is held in a memory file of the store (see
// store/MemoryFiles.h) and opened through the engine like any table, memo or index file. Nothing
// reaches a disk, and a run does no more system calls per input than the reads themselves.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "store/MemoryFiles.h"

namespace fuzzsupport {

inline std::string writeInput(const std::string& name, const std::uint8_t* data, std::size_t size) {
  const std::string path = std::string(exo::store::kMemoryFolder) + name;
  if (!exo::store::setMemoryFile(path, std::string_view(reinterpret_cast<const char*>(data), size)))
    std::abort();  // no memory files here: the target cannot run
  return path;
}

}  // namespace fuzzsupport
