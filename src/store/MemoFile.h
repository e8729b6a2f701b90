// The memo file of a table: variable-length texts kept outside the records, addressed by block
// number. Reads FoxPro FPT files (any block size; 512- or 1024-byte headers) and dBase III/IV
// DBT files; writes FPT files.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "store/File.h"

namespace exo::store {

enum class MemoKind { Fpt, Dbt };

// What a read found wrong with a block (MemoFile::tryRead); kind None when the memo was read.
// A table's memo field (Dbf::tryMemo) may also hold a pointer that is no block number
// (BadPointer, naming the field) or point into a memo file the table lacks (NoMemoFile).
struct MemoFault {
  enum class Kind { None, OutOfFile, LongerThanFile, EndsEarly, BadLength, BadPointer, NoMemoFile };
  Kind kind = Kind::None;
  std::uint32_t block = 0;
  std::string_view field;  // BadPointer: the field's name (valid while its table is open)
};

class MemoFile {
 public:
  // Opens the memo file at `path`. `shared` makes block allocation take the memo lock.
  // Fails with GenCode::Open, or GenCode::Corruption for an impossible header.
  static std::unique_ptr<MemoFile> open(const std::string& path, MemoKind kind, bool writable,
                                        bool shared);
  // Writes a new empty FPT file (512-byte header, `blockSize`-byte blocks), replacing any file
  // of that name. Fails with GenCode::Create / GenCode::Write.
  static void createFpt(const std::string& path, std::uint16_t blockSize = 64);

  MemoKind kind() const { return m_kind; }
  std::uint32_t blockSize() const { return m_blockSize; }
  const std::string& path() const { return m_file.path(); }
  int fd() const { return m_file.fd(); }

  // Text of the memo starting at `block`; block 0 is the empty memo.
  // Fails with GenCode::Corruption when the block or its length lies beyond the file.
  std::string read(std::uint32_t block) const;
  // As read(), into `text` (its room used again); a damaged block is told in `fault`, with
  // false, instead of raised (read() raises it as raiseFault() does). Failures of the system's
  // reads are raised all the same.
  bool tryRead(std::uint32_t block, std::string& text, MemoFault& fault) const;
  // The description of the failure a fault is raised as.
  static std::string faultText(const MemoFault& fault);
  // The same description into `out` (its room used again: nothing allocated once it has grown).
  static void faultText(const MemoFault& fault, std::string& out);
  [[noreturn]] void raiseFault(const MemoFault& fault) const;
  // What a table with memo fields but no memo file says when a memo is read.
  static const char* const kNoMemoFileText;
  // Stores `text` and returns its block (0 for an empty text). The old memo at `oldBlock` is
  // rewritten in place when the new text fits in its blocks, otherwise the text goes to the
  // next free block and the old blocks are left unreferenced.
  // REQUIRES: opened writable, kind Fpt (DBT writing is refused with GenCode::Unsupported).
  std::uint32_t write(std::uint32_t oldBlock, std::string_view text);
  void sync() { m_file.sync(); }

 private:
  MemoFile(File file, MemoKind kind, bool shared);
  bool readDbt(std::uint32_t block, std::string& text, MemoFault& fault) const;
  std::uint32_t blocksOf(std::uint64_t bytes) const;
  std::uint32_t allocate(std::uint32_t blocks);
  // The file's size, asked of the file again when `end` lies beyond the one known (it changes
  // by this object's writes, or another open's that add to it).
  std::uint64_t sizeReaching(std::uint64_t end) const;
  static constexpr std::size_t kFirstRead = 256;  // bytes of a block read with its header

  File m_file;
  MemoKind m_kind;
  bool m_shared;
  std::uint32_t m_blockSize = 64;
  mutable std::uint64_t m_size = 0;
};

}  // namespace exo::store
