// The identification of each third party of the year's lines, looked up once per code in the
// directory copy: used by the ledger fixes and by the integration.
#pragma once

#include <string>
#include <string_view>
#include <unordered_map>

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
    std::string key(code);
    if (const auto it = m_known.find(key); it != m_known.end()) return it->second;
    std::string nit = store::kNotRegistered;
    const std::string wanted(trimRight(key));
    if (!wanted.empty() && m_engine.seekKey(m_area, Value::text(wanted)) &&
        trimRight(m_engine.text(m_area, "CLAVE")) == wanted) {
      nit = std::string(trimRight(m_engine.text(m_area, "DIREC4")));
    }
    return m_known.emplace(std::move(key), std::move(nit)).first->second;
  }

 private:
  store::Engine& m_engine;
  int m_area;
  std::unordered_map<std::string, std::string> m_known;
};

}  // namespace exo::import
