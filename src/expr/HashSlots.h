// An open table of hashes, each beside the place of an entry kept elsewhere (a vector or deque of
// texts, records...). A lookup reads a run of small adjacent slots and compares only the entries
// whose hash matches, instead of walking linked nodes spread over the heap; the tables of texts
// and records asked once per output record use it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>
#include <vector>

namespace exo {

class HashSlots {
 public:
  static constexpr std::uint32_t kNone = 0xFFFFFFFFu;

  // The hash the tables of texts use.
  static std::uint64_t hashOf(std::string_view text) { return std::hash<std::string_view>{}(text); }

  // The place of an entry of hash `h` for which `same(place)` holds, or kNone.
  template <class Same>
  std::uint32_t find(std::uint64_t h, Same&& same) const {
    if (m_used == 0) return kNone;
    for (std::size_t i = h & m_mask;; i = (i + 1) & m_mask) {
      const Slot& s = m_slots[i];
      if (s.place == 0) return kNone;
      if (s.hash == h && same(s.place - 1)) return s.place - 1;
    }
  }

  // Adds the entry at `place` with hash `h`. REQUIRES: no entry alike is in the table.
  void add(std::uint64_t h, std::uint32_t place) {
    // At most three slots in four are taken, so that runs stay short.
    if ((m_used + 1) * 4 > m_slots.size() * 3) grow();
    put(h, place + 1);
    ++m_used;
  }

  std::size_t size() const { return m_used; }

  void clear() {
    if (m_used == 0) return;
    m_slots.assign(m_slots.size(), Slot{});
    m_used = 0;
  }

 private:
  struct Slot {
    std::uint64_t hash = 0;
    std::uint32_t place = 0;  // the entry's place plus one; 0: free
  };

  void put(std::uint64_t h, std::uint32_t placePlusOne) {
    std::size_t i = h & m_mask;
    while (m_slots[i].place != 0) i = (i + 1) & m_mask;
    m_slots[i] = Slot{h, placePlusOne};
  }

  void grow() {
    std::vector<Slot> old(m_slots.empty() ? 64 : m_slots.size() * 2);
    old.swap(m_slots);
    m_mask = m_slots.size() - 1;
    for (const Slot& s : old)
      if (s.place != 0) put(s.hash, s.place);
  }

  std::vector<Slot> m_slots;
  std::size_t m_mask = 0;
  std::size_t m_used = 0;
};

}  // namespace exo
