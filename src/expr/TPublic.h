// TPublic: a small container of named values added at run time. Names are stored trimmed and
// upper case, in order of addition; any message that is not a method reads or writes the value
// of that name.
#pragma once

#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "expr/Object.h"

namespace exo {

class TPublic final : public Object {
 public:
  explicit TPublic(bool automatic = true) : automatic_(automatic) {}

  std::string_view className() const override { return "TPublic"; }
  Value send(Interp& ip, const std::string& name, std::span<Value> args, bool isCall) override;
  Value assign(Interp& ip, const std::string& name, const Value& value) override;

  // C++ access, same rules as the messages.
  void add(std::string_view name, const Value& value);
  void del(std::string_view name);
  int getPos(std::string_view name);  // 1-based, 0 when absent
  bool isDef(std::string_view name) { return getPos(name) > 0; }
  // REQUIRES: isDef(name).
  const Value& get(std::string_view name);
  void set(std::string_view name, const Value& value);
  void release();
  std::size_t count() const { return vars_.size(); }
  bool automatic() const { return automatic_; }
  void setAutomatic(bool a) { automatic_ = a; }
  const std::vector<std::pair<std::string, Value>>& vars() const { return vars_; }

 private:
  Value methodCall(Interp& ip, const std::string& name, std::span<Value> args, bool& handled);
  Value fail(Interp& ip, std::string_view name, bool assign);
  Value saveArray() const;
  void restoreArray(const Value& arr);

  bool automatic_;
  std::vector<std::pair<std::string, Value>> vars_;
  int pos_ = 0;
  std::string lastName_;
};

}  // namespace exo
