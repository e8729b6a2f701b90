// The identification of each third party of the year's lines, looked up once per code in the
// directory copy: used by the ledger fixes and by the integration.
#pragma once

#include <cstdint>
#include <cstring>
#include <deque>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "expr/Text.h"
#include "expr/Value.h"
#include "store/Dictionary.h"
#include "store/Engine.h"

namespace exo::import {

// The directory copy is open in `area` in the order of its keys; a code that is not there has
// the not-registered text.
class Identifications {
 public:
  Identifications(store::Engine& engine, int area) : m_engine(engine), m_area(area) {}

  const std::string& of(std::string_view code) {
    if (const std::string* known = find(code)) return *known;
    return add(code, lookUp(code));
  }

  // Notes a code whose identification will be wanted, without moving the directory now; the
  // codes noted are looked up together by lookUpNoted(), before any of them is asked for.
  void note(std::string_view code) {
    if (find(code) != nullptr) return;
    add(code, std::string());
    m_noted.emplace_back(code);
  }
  void lookUpNoted() {
    for (const std::string& code : m_noted) {
      const std::string* slot = find(code);
      if (slot != nullptr) const_cast<std::string&>(*slot) = lookUp(code);
    }
    m_noted.clear();
  }

  // The identification of a code of() has looked up already; null for any other. Reads only:
  // several threads may ask at once while nobody calls of().
  const std::string* find(std::string_view code) const {
    if (code.size() > kShortCode) {
      const auto it = m_long.find(std::string(code));
      return it == m_long.end() ? nullptr : &it->second;
    }
    if (m_slots.empty()) return nullptr;
    const std::uint64_t key = pack(code);
    for (std::size_t i = slotOf(key);; i = (i + 1) & (m_slots.size() - 1)) {
      if (m_slots[i].key == key) return &m_values[m_slots[i].value];
      if (m_slots[i].key == 0) return nullptr;
    }
  }

 private:
  // Codes of up to seven bytes (the directory's are five) go as numbers into a table of their
  // own: the integration asks for one per row it writes.
  static constexpr std::size_t kShortCode = 7;
  struct Slot {
    std::uint64_t key = 0;  // 0: free
    std::uint32_t value = 0;
  };

  // The bytes and the length: never 0, and equal only for equal codes.
  static std::uint64_t pack(std::string_view code) {
    std::uint64_t key = 0;
    std::memcpy(&key, code.data(), code.size());
    return key | (std::uint64_t{code.size() + 1} << 56);
  }
  std::size_t slotOf(std::uint64_t key) const {
    return static_cast<std::size_t>((key * 0x9E3779B97F4A7C15ull) >> m_shift);
  }

  std::string lookUp(std::string_view code) {
    std::string nit = store::kNotRegistered;
    const std::string wanted(trimRight(code));
    if (!wanted.empty() && m_engine.seekKey(m_area, Value::text(wanted)) &&
        trimRight(m_engine.text(m_area, "CLAVE")) == wanted) {
      nit = std::string(trimRight(m_engine.text(m_area, "DIREC4")));
    }
    return nit;
  }

  const std::string& add(std::string_view code, std::string nit) {
    if (code.size() > kShortCode)
      return m_long.emplace(std::string(code), std::move(nit)).first->second;
    if ((m_values.size() + 1) * 2 > m_slots.size()) grow();
    m_values.push_back(std::move(nit));
    place(pack(code), static_cast<std::uint32_t>(m_values.size() - 1));
    return m_values.back();
  }
  void place(std::uint64_t key, std::uint32_t value) {
    std::size_t i = slotOf(key);
    while (m_slots[i].key != 0) i = (i + 1) & (m_slots.size() - 1);
    m_slots[i] = Slot{key, value};
  }
  void grow() {
    std::vector<Slot> old = std::move(m_slots);
    const std::size_t size = old.empty() ? 1024 : old.size() * 2;
    m_slots.assign(size, Slot{});
    m_shift = 64;
    for (std::size_t s = size; s > 1; s >>= 1) --m_shift;
    for (const Slot& s : old)
      if (s.key != 0) place(s.key, s.value);
  }

  store::Engine& m_engine;
  int m_area;
  std::vector<Slot> m_slots;         // a power of two of them, at most half taken
  int m_shift = 64;                  // 64 - log2(size of m_slots)
  std::deque<std::string> m_values;  // the identifications (they never move)
  std::unordered_map<std::string, std::string> m_long;  // longer codes
  std::vector<std::string> m_noted;                     // noted, not looked up yet
};

}  // namespace exo::import
