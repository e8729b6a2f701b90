// The work areas of the program over real table files: tables opened shared or exclusive under
// aliases, index files attached with their tags kept current, controlling orders with scopes,
// filters and relations, record and file locks, and the bulk operations (structure copy, append
// from, copy to, byte copy, totals by key).
//
// The expression language reaches tables through the WorkAreas interface this class implements;
// core routines use the same object directly through the C++ surface below. Index keys, FOR
// conditions, filters and relation keys are expressions of the language, compiled once and
// evaluated against the area's record buffer.
//
// Records marked deleted are invisible to every read, seek, skip and count. Failures go through
// the interpreter's error handler (Interp::raise); a sharing conflict on open or append is a
// failure with operating-system code 32. A record is written before its keys; a write or key
// change that fails, and that the handler lets go, is given up whole, so the tags always
// describe the table file.
//
// Not thread-safe: one engine per interpreter, used by one thread.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "expr/Interp.h"
#include "expr/WorkAreas.h"
#include "store/Cdx.h"
#include "store/Dbf.h"

namespace exo::store {

struct Area;
struct Order;
struct KeyMove;
class ChangeMarks;

// A field list for copies and totals: names of the source table, case-insensitive.
using FieldNames = std::vector<std::string>;

class Engine final : public WorkAreas {
 public:
  // Attaches itself to `ip` (ip.setWorkAreas(this)); detaches and closes every table on
  // destruction. `ip` must outlive the engine.
  explicit Engine(Interp& ip);
  ~Engine() override;
  Engine(const Engine&) = delete;
  Engine& operator=(const Engine&) = delete;

  Interp& interp() { return m_ip; }

  // --- C++ surface ----------------------------------------------------------------------------
  // Opens `file` in the lowest free area under `alias` (the file's base name when empty),
  // selects it and returns the area. Index files are attached with addIndex().
  int open(const std::string& file, const std::string& alias = {}, bool shared = true,
           bool readOnly = false);
  // Creates (replacing) a table from a field list; it is left closed.
  void createTable(const std::string& file, const std::vector<FieldDef>& fields);
  // Attaches an index file to the area (all its tags become orders; none gets control). The
  // table's last records are looked up in every tag first: tags that lack their keys (left so
  // by a program that ended between an append and its keys) are rebuilt when the open may
  // write (exclusive, or shared with the whole table lockable), else reported as a stale index.
  void addIndex(int area, const std::string& bagFile);
  // Builds (or rebuilds) tag `tag` of `bagFile` over the area's records that meet `forCondition`
  // and makes it the controlling order. The file is created when missing and attached.
  void buildIndex(int area, const std::string& bagFile, const std::string& tag,
                  const std::string& key, const std::string& forCondition = {},
                  bool descending = false);
  // As buildIndex() for tag `tag` on `key`, then for tag `prefixTag` on `prefixKey` (the same
  // files). When the second key is the start of the first (its fields the first fields of the
  // first key) and both are made of character fields, the second tag's keys are taken from the
  // first's sorted keys instead of being read and sorted again.
  void buildIndexWithPrefix(int area, const std::string& bagFile, const std::string& tag,
                            const std::string& key, const std::string& prefixTag,
                            const std::string& prefixKey, const std::string& forCondition = {});
  // Sets the controlling order by tag name ("" = natural order) and goes to its top.
  void setOrder(int area, const std::string& tag);
  // Field access by name on the current record (a missing field is a failure).
  Value get(int area, std::string_view field);
  void put(int area, std::string_view field, const Value& v);
  // Text of a character or memo field, trailing blanks kept (Windows-1252 bytes).
  std::string text(int area, std::string_view field);
  // Text of a character field of a ledger table (or of a byte copy of one) in Windows-1252,
  // converted by the table's code-page mark (ledgerText, Codepage.h).
  std::string ledgerText(int area, std::string_view field);
  double number(int area, std::string_view field);
  // Appends a blank record and stands on it.
  void appendBlank(int area);
  // Exact seek in the controlling order (a text key may be shorter than the tag's keys).
  bool seekKey(int area, const Value& key, bool softSeek = false);
  // Goes to the n-th visible record (1-based) of the controlling order within scope and
  // filter, as OrdKeyNo() counts them; end of file when there are fewer. Walks the keys only
  // (no record reads) when the order holds just the active records and no filter is set.
  void goToKeyNo(int area, std::int64_t n);
  // Visits every visible record of the area in its controlling order, within scope and filter,
  // from the top; `visit` returns false to stop. Leaves the area on the last record visited
  // (end of file after a full walk).
  void forEach(int area, const std::function<bool()>& visit);
  // The visible records of the area (filter and the order's FOR condition met; scopes
  // ignored) in the key order of its controlling order, with every key computed from its
  // record instead of read from the tag: a tag that lacks a key, or holds a stale one, can
  // neither hide a record nor put it out of place. Equal keys keep record order (reversed
  // for a descending order). Without a controlling order, or with a key this program cannot
  // evaluate, the visible records in record order. For whole-table reads of files that other
  // programs keep (the ledger's chart and directory); the area is left where it was.
  std::vector<std::uint32_t> recordsInKeyOrder(int area);
  // The table file of an area (for byte-level work of the bulk operations and tools).
  Dbf& table(int area);

  // --- batches of changes -----------------------------------------------------------------------
  // Many record changes under the whole-table lock as one batch: the index files' write locks
  // are taken once and their changed pages reach the files together at endBatch() (see Cdx).
  // Each record is still written before its keys, and a key that cannot be changed undoes its
  // record's change as outside a batch. Reads of this area see the batch's keys; other opens of
  // the same table see them only after the end. A program that dies in the middle leaves a mark
  // in the index file, and the next open that may write rebuilds its tags (addIndex).
  // Starts a batch on an area that holds its table lock (lockFile) or is open exclusive; false
  // (nothing started) when it holds neither, is read-only, or an index file cannot be locked.
  // `count` says how the index files' change counters advance (see Cdx).
  bool beginBatch(int area, BatchCount count = BatchCount::Once);
  // Writes the pending change and ends the batch. Releasing the table lock (unlock) or closing
  // the area ends it too.
  void endBatch(int area);
  bool inBatch(int area) const;
  // Writes the pending change of the area and lets go of one record's lock (0 = the current
  // record). While the area holds its table lock no record lock of its own is held, and nothing
  // is released: the table lock stays.
  void unlockRecord(int area, std::int64_t recno = 0);

  // --- bulk operations ------------------------------------------------------------------------
  // Creates an empty table with the structure of the area's table (every field, unknown types
  // carried along) and returns nothing; the new table is left closed.
  void copyStructure(int area, const std::string& file);
  // Appends to `area` the visible records of table file `source` that meet `condition`
  // (evaluated on the source record; "" = all), fields copied by name. Returns records added.
  std::uint64_t appendFrom(int area, const std::string& source, const std::string& condition = {});
  // A test on the bytes of a source record (its fields read through `table`).
  using RecordTest = std::function<bool(const Dbf& table, const char* record)>;
  // As appendFrom() above, with a condition written in C++ instead of an expression: no
  // evaluation per record. `accept` sees every visible record of the source once, in file order.
  std::uint64_t appendFrom(int area, const std::string& source, const RecordTest& accept);
  // As above, from a ledger table: the character fields of the target named in `ledgerText`
  // receive the source's text in Windows-1252, converted by the source's code-page mark
  // (ledgerText, Codepage.h); the other fields are copied as they stand.
  std::uint64_t appendFrom(int area, const std::string& source, const RecordTest& accept,
                           const FieldNames& ledgerText);
  // Copies the visible records of `area` that meet `condition`, in its controlling order and
  // scope, to a new table with the same structure. Returns records written.
  std::uint64_t copyTo(int area, const std::string& file, const std::string& condition = {});
  // Copies a file byte for byte (written beside, then renamed into place).
  static void copyFile(const std::string& from, const std::string& to);
  // Totals the area's records in its controlling order into a new table with the same
  // structure without memo fields: each run of records with equal `key` that has at least one
  // record meeting `condition` gives one record, a copy of its first qualifying record with the
  // `sums` fields replaced by their totals over the run's qualifying records. Returns records
  // written.
  std::uint64_t total(int area, const std::string& file, const std::string& key,
                      const FieldNames& sums, const std::string& condition = {});

  // --- WorkAreas ------------------------------------------------------------------------------
  int selected() const override { return m_selected; }
  void select(int area) override;
  int areaOf(std::string_view alias) const override;
  std::string aliasOf(int area) const override;
  bool isUsed(int area) const override;
  int layoutId(int area) const override;
  int fieldIndex(int area, std::string_view upperName) const override;
  Value getField(Interp& ip, int area, int field) override;
  void putField(Interp& ip, int area, int field, const Value& v) override;
  std::vector<FieldInfo> fields(int area) const override;
  std::uint8_t codePageMark(int area) const override;
  int fieldCount(int area) const override;

  std::int64_t recNo(int area) const override;
  std::int64_t recCount(int area) const override;
  bool eof(int area) const override;
  bool bof(int area) const override;
  bool found(int area) const override;
  bool deleted(int area) const override;
  void skip(Interp& ip, int area, std::int64_t n) override;
  void goTop(Interp& ip, int area) override;
  void goBottom(Interp& ip, int area) override;
  void goTo(Interp& ip, int area, std::int64_t recno) override;
  bool seek(Interp& ip, int area, const Value& key, bool softSeek, bool last) override;

  void append(Interp& ip, int area) override;
  void deleteRecord(Interp& ip, int area) override;
  void recall(Interp& ip, int area) override;
  void commit(Interp& ip, int area) override;
  bool lockRecord(Interp& ip, int area, std::int64_t recno) override;
  bool lockFile(Interp& ip, int area) override;
  void unlock(Interp& ip, int area) override;
  void zap(Interp& ip, int area) override;
  void pack(Interp& ip, int area) override;

  void create(Interp& ip, const std::string& file, const std::vector<FieldInfo>& fields) override;
  void use(Interp& ip, bool newArea, const std::string& file, const std::string& alias, bool shared,
           bool readOnly) override;
  void close(Interp& ip, int area) override;
  void closeAll(Interp& ip) override;

  void orderCreate(Interp& ip, int area, const std::string& bag, const std::string& tag,
                   const std::string& key, const std::string& forCondition) override;
  void orderListAdd(Interp& ip, int area, const std::string& bag) override;
  std::string orderSetFocus(Interp& ip, int area, const Value& order) override;
  std::vector<OrderInfo> orders(int area) const override;
  std::string orderKey(int area) const override;
  Value orderScope(Interp& ip, int area, int which, const Value& key) override;
  std::int64_t keyCount(Interp& ip, int area) override;
  std::int64_t keyNo(Interp& ip, int area) override;
  void setFilter(Interp& ip, int area, const std::string& condition) override;
  std::string filter(int area) const override;
  void setRelation(Interp& ip, int area, const std::string& childAlias,
                   const std::string& key) override;

 private:
  enum class Place { Exact, After, End };

  // Areas.
  Area& at(int area);  // a used area; raises "no table" otherwise (and throws when let go on)
  Area* find(int area) const;
  int freeArea() const;
  int openArea(int area, const std::string& file, const std::string& alias, bool shared,
               bool readOnly);
  void closeArea(Area& a);
  // Runs a file-layer operation; its failure goes to the error handler, which may ask to retry.
  // False when the handler lets the caller go on without it. `op` must not evaluate texts.
  template <class F>
  bool attempt(F&& op);
  void fail(GenCode code, std::string description, std::string fileName = {},
            std::string operation = {});

  // Records.
  void load(Area& a, std::uint32_t recno);
  void toEof(Area& a);
  void flush(Area& a);
  bool lockForChange(Area& a);
  void releaseAutoLock(Area& a);
  // `recno` is the number of the record `rec` holds (named in failures of its fields).
  bool visible(Area& a, const char* rec, std::uint32_t recno);
  void afterMove(Area& a);
  // Appends `rec` with its keys and returns its number, 0 when the append failed (nothing of it
  // is left in the tags). With `keepLock` the new record of a shared table stays locked.
  std::uint32_t appendRecord(Area& a, const char* rec, bool keepLock = false);
  std::uint64_t appendMatching(int area, const std::string& source, const std::string& condition,
                               const RecordTest* accept, const FieldNames& ledgerText = {});

  // Keys of records (EngineKeys.cpp).
  KeyMove keyMove(Area& a, const Order& o, const char* from, const char* to);
  bool moveKeys(Area& a, const Order& o, KeyMove& m, std::uint32_t recno);
  bool undoKeys(Area& a, std::size_t upTo, KeyMove& partial, const char* from, const char* to,
                std::uint32_t recno);
  void dropChange(Area& a);
  void restoreRecord(Area& a, std::size_t failed, KeyMove& partial, ChangeMarks& marks);
  void withdrawAppend(Area& a, std::size_t failed, KeyMove& partial, const char* rec,
                      std::uint32_t recno);
  void dropUnwritten(Area& a);
  void finishBatch(Area& a);
  void reportStaleIndex(const std::string& file, bool canRetry, bool* retry = nullptr,
                        const char* description = nullptr);
  void checkRecentKeys(Area& a, std::size_t bag);
  std::vector<std::size_t> lackingKeys(Area& a, std::size_t bag, std::uint32_t r,
                                       std::vector<char>& rec);
  bool rebuildTags(Area& a, std::size_t bag, const std::vector<std::size_t>& tags,
                   bool clearBatchMark = false);

  // Expressions on records.
  template <class F>
  void evalOn(Area& a, const Program& p, const char* rec, F&& use);
  bool isTrue(Area& a, const Program& p, const char* rec);
  bool inOrder(Area& a, const Order& o, const char* rec);
  std::string keyOf(Area& a, const Order& o, const char* rec);
  ProgramPtr compileFor(Area& a, const std::string& text);

  // Orders.
  std::string bagPath(const Area& a, const std::string& bag) const;
  void attachBag(Area& a, const std::string& path);
  void syncOrders(Area& a, const std::string& keep);
  // With `prefix`, that tag is built after this one from its sorted keys (when this tag's keys
  // are read straight from the records; true when it was).
  bool buildTag(Area& a, std::size_t bag, const std::string& tag, const std::string& key,
                const std::string& forCondition, bool descending,
                const TagDefinition* prefix = nullptr);
  std::size_t bagFor(Area& a, const std::string& bagFile);
  void reindex(Area& a);
  int scopeSide(const Order& o, std::string_view key) const;
  Place place(Area& a);
  bool settleOrdered(Area& a, bool storedForward, bool ok);
  bool startOrdered(Area& a, bool fromTop);
  bool moveNatural(Area& a, std::uint32_t from, bool forward);
  bool seekOrdered(Area& a, std::string_view key, bool softSeek, bool last);

  Interp& m_ip;
  std::vector<std::unique_ptr<Area>> m_areas;  // index = area - 1; null = free
  int m_selected = 1;
  int m_nextLayout = 1;
};

}  // namespace exo::store
