// Text arena allocation.
#include "expr/Arena.h"

namespace exo {

char* TextArena::allocateSlow(std::size_t n) {
  static char empty[1] = {0};
  if (n == 0) return empty;
  while (current_ < chunks_.size()) {
    Chunk& c = chunks_[current_];
    if (c.size - used_ >= n) {
      char* p = c.bytes.get() + used_;
      used_ += n;
      return p;
    }
    ++current_;
    used_ = 0;
  }
  const std::size_t size = n > kChunk ? n : kChunk;
  chunks_.push_back({std::make_unique<char[]>(size), size});
  current_ = chunks_.size() - 1;
  used_ = n;
  return chunks_.back().bytes.get();
}

}  // namespace exo
