// Helpers of the file-reader fuzz targets: the input is written to files in a private folder
// and opened through the engine like any table, memo or index file.
#pragma once

#include <stdlib.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <fstream>
#include <string>

namespace fuzzsupport {

inline const std::string& folder() {
  static const std::string dir = [] {
    char templ[] = "/tmp/exo-fuzz-XXXXXX";
    return std::string(::mkdtemp(templ));
  }();
  return dir;
}

inline std::string writeInput(const std::string& name, const std::uint8_t* data, std::size_t size) {
  const std::string path = folder() + "/" + name;
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
  return path;
}

}  // namespace fuzzsupport
