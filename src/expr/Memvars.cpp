// Memory variables.
#include "expr/Memvars.h"

#include <algorithm>

namespace exo {

bool matchesMask(std::string_view name, std::string_view mask) {
  const std::string n = upperName(name);
  const std::string m = upperName(mask);
  if (!m.empty() && m.back() == '*') return n.compare(0, m.size() - 1, m, 0, m.size() - 1) == 0;
  return n == m;
}

Memvars::Memvars() { frames_.emplace_back(); }

Memvars::Slot& Memvars::slot(std::string_view name) {
  std::string key = upperName(name);
  auto it = slots_.find(key);
  if (it != slots_.end()) return *it->second;
  auto s = std::make_unique<Slot>();
  s->name = key;
  Slot& ref = *s;
  slots_.emplace(std::move(key), std::move(s));
  order_.push_back(&ref);
  return ref;
}

Memvars::Slot* Memvars::find(std::string_view name) {
  auto it = slots_.find(upperName(name));
  if (it == slots_.end() || !it->second->defined()) return nullptr;
  return it->second.get();
}

void Memvars::declarePublic(std::string_view name, Value value) {
  Slot& s = slot(name);
  value.own();
  if (!s.stack.empty() && s.stack.front().level == 0) {
    s.stack.front().value = std::move(value);
    return;
  }
  s.stack.insert(s.stack.begin(), Slot::Entry{std::move(value), 0});
}

void Memvars::declarePrivate(std::string_view name, Value value) {
  Slot& s = slot(name);
  value.own();
  const int level = depth();
  if (!s.stack.empty() && s.stack.back().level == level) {
    s.stack.back().value = std::move(value);
    return;
  }
  s.stack.push_back(Slot::Entry{std::move(value), level});
  frames_.back().push_back(&s);
}

void Memvars::assign(std::string_view name, Value value) {
  Slot& s = slot(name);
  if (s.defined()) {
    value.own();
    s.value() = std::move(value);
    return;
  }
  declarePrivate(name, std::move(value));
}

void Memvars::release(std::string_view name) {
  Slot* s = find(name);
  if (!s) return;
  const int level = s->stack.back().level;
  if (level == 0 || level == depth()) {
    s->stack.pop_back();
    auto& names = frames_[static_cast<std::size_t>(level == 0 ? 0 : level - 1)];
    if (level != 0) names.erase(std::remove(names.begin(), names.end(), s), names.end());
  } else {
    s->value() = Value();
  }
}

void Memvars::pushFrame() { frames_.emplace_back(); }

void Memvars::popFrame() {
  if (frames_.size() <= 1) return;
  const int level = depth();
  for (Slot* s : frames_.back()) {
    if (!s->stack.empty() && s->stack.back().level == level) s->stack.pop_back();
  }
  frames_.pop_back();
}

std::vector<std::string> Memvars::visibleNames(std::string_view mask) const {
  std::vector<std::string> names;
  for (const Slot* s : order_) {
    if (s->defined() && matchesMask(s->name, mask)) names.push_back(s->name);
  }
  return names;
}

}  // namespace exo
