// In-memory tables behind the work-area interface: records held as values, natural order only.
// Serves tests and benchmarks of the language, and small result sets kept in memory. Operations
// that need files or indexes (create, use, orders, locks on disk) raise "not supported".
#pragma once

#include <string>
#include <vector>

#include "expr/WorkAreas.h"

namespace exo {

class MemoryTables final : public WorkAreas {
 public:
  // Opens a new table in the lowest free area, selects it and returns the area number.
  int open(const std::string& alias, std::vector<FieldInfo> fields);
  // Appends a record with the given values (owned copies), positioned on it.
  void addRecord(int area, std::vector<Value> values);

  int selected() const override { return selected_; }
  void select(int area) override;
  int areaOf(std::string_view alias) const override;
  std::string aliasOf(int area) const override;
  bool isUsed(int area) const override { return table(area) != nullptr; }
  int layoutId(int area) const override;
  int fieldIndex(int area, std::string_view upperName) const override;
  Value getField(Interp& ip, int area, int field) override;
  void putField(Interp& ip, int area, int field, const Value& v) override;
  std::vector<FieldInfo> fields(int area) const override;

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
  void commit(Interp&, int) override {}
  bool lockRecord(Interp&, int, std::int64_t) override { return true; }
  bool lockFile(Interp&, int) override { return true; }
  void unlock(Interp&, int) override {}
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
  std::vector<OrderInfo> orders(int) const override { return {}; }
  std::string orderKey(int) const override { return ""; }
  Value orderScope(Interp& ip, int area, int which, const Value& key) override;
  std::int64_t keyCount(Interp&, int area) override { return recCount(area); }
  std::int64_t keyNo(Interp&, int area) override { return recNo(area); }
  void setFilter(Interp& ip, int area, const std::string& condition) override;
  std::string filter(int) const override { return ""; }
  void setRelation(Interp& ip, int area, const std::string& childAlias,
                   const std::string& key) override;

 private:
  struct Table {
    std::string alias;
    std::vector<FieldInfo> fields;
    std::vector<std::vector<Value>> rows;
    std::vector<bool> deleted;
    std::int64_t recno = 1;  // recCount + 1 at end of file
    bool bof = false;
    bool found = false;
    int layout = 0;
  };
  Table* table(int area);
  const Table* table(int area) const;
  void unsupported(Interp& ip, const char* what);
  void settle(Table& t, std::int64_t direction);  // steps over deleted records

  std::vector<Table> tables_;  // index = area - 1; empty alias = free
  int selected_ = 1;
  int nextLayout_ = 1;
};

}  // namespace exo
