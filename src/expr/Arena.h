// Text arena of an evaluation: temporary character values are written here and live until the
// evaluation that made them returns. Memory is kept between evaluations, so evaluating an
// expression over many records does not allocate once the arena has warmed up.
#pragma once

#include <cstddef>
#include <memory>
#include <string_view>
#include <vector>

namespace exo {

class TextArena {
 public:
  struct Mark {
    std::size_t chunk;
    std::size_t used;
  };

  // Copies the bytes into the arena and returns a view of the copy.
  std::string_view store(std::string_view s) {
    char* p = allocate(s.size());
    if (!s.empty()) std::char_traits<char>::copy(p, s.data(), s.size());
    return {p, s.size()};
  }
  // Room for n bytes, valid until release() of an earlier mark.
  char* allocate(std::size_t n) {
    if (current_ < chunks_.size() && chunks_[current_].size - used_ >= n && n > 0) {
      char* p = chunks_[current_].bytes.get() + used_;
      used_ += n;
      return p;
    }
    return allocateSlow(n);
  }

  Mark mark() const { return {current_, used_}; }
  void release(Mark m) {
    current_ = m.chunk;
    used_ = m.used;
  }

 private:
  char* allocateSlow(std::size_t n);
  static constexpr std::size_t kChunk = 64 * 1024;
  struct Chunk {
    std::unique_ptr<char[]> bytes;
    std::size_t size;
  };
  std::vector<Chunk> chunks_;
  std::size_t current_ = 0;
  std::size_t used_ = 0;
};

// Releases the arena back to where it stood when the scope began.
class ArenaScope {
 public:
  explicit ArenaScope(TextArena& a) : arena_(a), mark_(a.mark()) {}
  ~ArenaScope() { arena_.release(mark_); }
  ArenaScope(const ArenaScope&) = delete;
  ArenaScope& operator=(const ArenaScope&) = delete;

 private:
  TextArena& arena_;
  TextArena::Mark mark_;
};

}  // namespace exo
