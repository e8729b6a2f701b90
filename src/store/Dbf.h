// A DBF table file with its memo file: header and field layout, records read and written
// through caller-owned record buffers, typed access to the fields of a buffer, appends, pack,
// zap and the record/file/append locks that let other programs share the table.
//
// Files are byte-compatible with the FoxPro family: tables of other programs (dBase III/IV,
// FoxPro 2.x, Visual FoxPro) are read as they are, unknown field types are carried untouched,
// and new tables are written as FoxPro 2.x tables (0x03, or 0xF5 with an FPT memo file).
// Not thread-safe: one object is used by one thread at a time.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "store/FieldCodec.h"
#include "store/File.h"
#include "store/FileLock.h"

namespace exo::store {

class MemoFile;
struct MemoFault;

// A field to create: type C, N, F, D, L, M (others are written as given).
struct FieldDef {
  std::string name;  // up to 10 characters; stored upper case
  char type = 'C';
  std::uint16_t length = 0;  // ignored for D (8), L (1) and M (10)
  std::uint8_t decimals = 0;
};

// A field of an open table.
struct Field {
  std::string name;  // as stored (upper case by convention)
  char type = 'C';
  std::uint32_t offset = 0;  // inside the record; the deletion flag is byte 0
  std::uint16_t length = 0;
  std::uint8_t decimals = 0;
  std::uint8_t flags = 0;  // Visual FoxPro field flags (0 for other tables)
};

// Code-page marks (byte 29 of the header) of the tables the program writes.
inline constexpr std::uint8_t kWindowsAnsiMark = 0x03;  // Windows-1252
inline constexpr std::uint8_t kOem850Mark = 0x02;       // code page 850

struct OpenOptions {
  bool shared = true;  // others may open the table too (else exclusive)
  bool readOnly = false;
  int lockWaitMs = 2000;  // how long an append waits for the append lock
};

class Dbf {
 public:
  // Opens `path` and its memo file (found whatever the letter case of its name).
  // Fails (FailureError) with GenCode::Open (osCode 32 when another program holds the table
  // exclusively, or it is open elsewhere and exclusive use was asked), or GenCode::Corruption
  // for an impossible header, a field layout past the header, or a file shorter than its
  // record count says.
  static Dbf open(const std::string& path, const OpenOptions& options = {});
  // Creates a new empty table (and an FPT memo file when a field is M), replacing files of that
  // name, and opens it with `options`. The header carries `codePageMark` (byte 29): the
  // program's own tables hold Windows-1252 (kWindowsAnsiMark). Fails with GenCode::Create or
  // GenCode::Arg for a bad field list.
  static Dbf create(const std::string& path, const std::vector<FieldDef>& fields,
                    const OpenOptions& options = {false, false, 2000},
                    std::uint8_t codePageMark = kWindowsAnsiMark);

  Dbf(Dbf&&) noexcept;
  Dbf& operator=(Dbf&&) = delete;
  ~Dbf();  // closes; failures while closing are swallowed (call close() to see them)

  // Writes what is pending, restores the end-of-file marker, releases locks and closes.
  void close();
  // The records written so far on the disk (pending appends first), so that an index file that
  // describes them can say so.
  void syncData();
  bool isOpen() const { return m_file.isOpen(); }

  // --- Header -------------------------------------------------------------------------
  const std::string& path() const { return m_file.path(); }
  std::uint8_t version() const { return m_header[0]; }
  std::uint16_t headerLength() const { return m_headerLength; }
  std::uint16_t recordLength() const { return m_recordLength; }
  std::uint32_t recordCount() const { return m_count; }
  std::uint8_t tableFlags() const { return m_header[28]; }
  std::uint8_t codePageMark() const { return m_header[29]; }
  // Date of last update from the header as a Julian day number (0 when impossible). The
  // year byte is read both ways writers store it (year - 1900 or year mod 100).
  std::int32_t lastUpdate() const;
  bool isShared() const { return m_options.shared; }
  bool isReadOnly() const { return m_options.readOnly; }
  const std::vector<Field>& fields() const { return m_fields; }
  // Index of the field named `name` (case-insensitive), if any.
  std::optional<int> fieldIndex(std::string_view name) const;
  // The memo file, or null when the table has none.
  MemoFile* memoFile() const { return m_memo.get(); }

  // --- Records (buffers are owned by the caller, recordLength() bytes) -----------------
  // A blank record: active flag, all fields blank (spaces; binary types zero).
  std::vector<char> blankRecord() const;
  // REQUIRES: 1 <= recno <= recordCount(). Fails with GenCode::Read/Corruption.
  void read(std::uint32_t recno, char* record);
  // The bytes of record `recno` where the table holds them, without a copy: valid until the
  // next read, write, append or close. Same requirements and failures as read().
  const char* peek(std::uint32_t recno);
  // Records `first` to `last` where the file's view holds them one after another (read from
  // other threads too, as long as nothing changes the table); null when they are not all there.
  const char* viewOf(std::uint32_t first, std::uint32_t last);
  // Asks the system to bring record `recno` close, ahead of a read in random order (a hint; no
  // effect when the record is not in the file's view).
  void prefetch(std::uint32_t recno) const;
  // Overwrites record `recno`. REQUIRES: 1 <= recno <= recordCount(), writable.
  void write(std::uint32_t recno, const char* record);
  // Overwrites records `first` to `first + count - 1` with `count` records one after another,
  // in one write of the file. REQUIRES: the records exist, writable.
  void writeRun(std::uint32_t first, std::uint32_t count, const char* records);
  // Appends a record and returns its number. Exclusive opens buffer appends until commit or
  // close; shared opens write at once under the append lock (GenCode::AppendLock with osCode
  // 33 when it cannot be taken in time). With `lockNew` a shared open locks the new record
  // before any other program can see it (held until released; not taken when another program
  // holds that byte). A failed append leaves the table as it was. REQUIRES: writable.
  std::uint32_t append(const char* record, bool lockNew = false);
  // Records that are in the file (the rest are buffered appends of an exclusive open).
  std::uint32_t writtenCount() const { return m_pending.empty() ? m_count : m_pendingFirst - 1; }
  // Drops the buffered appends (records writtenCount() + 1 onwards), when they cannot be
  // written and the caller gives them up.
  void discardUnwritten();
  // Makes pending appends and the header durable (record count, date of last update).
  void commit();
  // Re-reads the record count (shared opens see other programs' appends) and drops cached
  // records.
  void refresh();
  // Removes every record and empties the memo file. REQUIRES: exclusive, writable.
  void zap();
  // Removes the records marked deleted (the table is rewritten beside and renamed).
  // REQUIRES: exclusive, writable.
  void pack();

  // --- Fields of a record buffer --------------------------------------------------------
  static bool isDeleted(const char* record) { return record[0] == '*'; }
  static void setDeleted(char* record, bool deleted) { record[0] = deleted ? '*' : ' '; }
  // Raw bytes of the field (trailing blanks kept).
  std::string_view text(const char* record, int index) const {
    const Field& f = field(index);
    return {record + f.offset, f.length};
  }
  // Stores `value` left-aligned, blank-padded, truncated to the field length.
  void setText(char* record, int field, std::string_view value) const;
  // N/F as text, I, B and Y as binary. Other types give state Invalid.
  NumberValue number(const char* record, int field) const;
  // The first N or F field of `record` whose text cannot be read as a number (the asterisks of
  // a value that did not fit, or any text that is not a decimal number); -1 when every one
  // reads. A blank field reads (as 0).
  int unreadableNumber(const char* record) const;
  // Writes a number into an N/F/I/B/Y field. Returns false when it does not fit: the field
  // then holds asterisks (N/F) and the caller reports the data-width failure.
  bool setNumber(char* record, int field, double value) const;
  // D field as a Julian day number, 0 for an empty date.
  std::int32_t date(const char* record, int field) const;
  void setDate(char* record, int field, std::int32_t jdn) const;
  // L field: T/t/Y/y are true, anything else false.
  bool logical(const char* record, int field) const;
  void setLogical(char* record, int field, bool value) const;
  // Memo block number stored in an M/G/P/W field (ASCII or binary form), 0 = none.
  std::uint32_t memoBlock(const char* record, int field) const;
  // Text of a memo field. Fails with GenCode::Corruption when the pointer lies beyond the memo
  // file, GenCode::Open when the table has memo fields but no memo file.
  std::string memo(const char* record, int field) const;
  // As memo(), into `text` (its room used again); a damaged block of the memo file, a pointer
  // that is no block number, or a memo file the table lacks is told in `fault`, with false,
  // instead of raised (MemoFile::faultText() gives the description memo() raises it with).
  // Every other failure is raised as memo() raises it.
  bool tryMemo(const char* record, int field, std::string& text, MemoFault& fault) const;
  // Stores `value` in the memo file now and the new pointer in the buffer (the caller then
  // writes the record). The blocks the buffer points at are rewritten in place when the new
  // text fits in them. REQUIRES: writable; the buffer's memo pointer is this record's own (a
  // buffer holding another record's pointer must be cleared first, e.g. from blankRecord()).
  void setMemo(char* record, int field, std::string_view value);

  // --- Locks (shared opens; exclusive opens always succeed) -----------------------------
  // Locks one record; false when another program (or another open) holds it or the file.
  bool lockRecord(std::uint32_t recno);
  void unlockRecord(std::uint32_t recno);
  // Locks the whole table; false when anyone else holds a record or the file.
  bool lockFile();
  // Releases every record and file lock of this open.
  void unlockAll();
  bool holdsFileLock() const { return m_fileLocked; }
  bool holdsRecordLock(std::uint32_t recno) const;

 private:
  Dbf() = default;
  void loadHeader();
  void loadFields();
  void openMemo();
  void checkWritable(const char* operation) const;
  void flushAppends();
  void writeHeaderCount();
  std::uint64_t recordOffset(std::uint32_t recno) const;
  std::uint32_t physicalCount() const;
  std::uint32_t appendShared(const char* record, bool lockNew);
  void fillCache(std::uint32_t recno);
  void rewriteWith(const std::vector<std::uint32_t>& keep);
  void followInCache(std::uint32_t first, std::uint32_t count, const char* records);
  // The field of that number (one comparison: a negative number is out of range as unsigned).
  const Field& field(int index) const {
    if (static_cast<std::size_t>(index) >= m_fields.size()) [[unlikely]]
      raiseFieldOutOfRange();
    return m_fields[static_cast<std::size_t>(index)];
  }
  [[noreturn]] void raiseFieldOutOfRange() const;

  File m_file;
  std::unique_ptr<MemoFile> m_memo;
  OpenOptions m_options;
  std::vector<unsigned char> m_header;  // the whole header area, as read
  std::vector<Field> m_fields;
  std::uint16_t m_headerLength = 0;
  std::uint16_t m_recordLength = 0;
  std::uint32_t m_count = 0;
  bool m_dirty = false;
  // Records read ahead: records m_cacheFirst .. m_cacheFirst + m_cacheCount - 1.
  // The records come from a view of the file where the system gives one, else from m_cache.
  std::vector<char> m_cache;
  FileView m_view;
  const char* m_window = nullptr;
  std::uint32_t m_cacheFirst = 0, m_cacheCount = 0;
  // Appended records not yet written (exclusive opens): m_pendingFirst onwards.
  std::vector<char> m_pending;
  std::uint32_t m_pendingFirst = 0;
  TableLockLayout m_lockLayout;
  std::vector<std::uint32_t> m_lockedRecords;
  bool m_fileLocked = false;
};

}  // namespace exo::store
