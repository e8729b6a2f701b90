// Fuzz target: any text given to the compiler and evaluator gives a value or a failure.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "expr/Interp.h"
#include "support/MemoryTables.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static exo::Interp* ip = [] {
    auto* i = new exo::Interp;
    auto* tables = new exo::MemoryTables;
    i->setWorkAreas(tables);
    const int area = tables->open(
        "MOVTOS", {{"CODIGO", 'C', 20, 0}, {"MONTO", 'N', 17, 2}, {"FECHA", 'D', 8, 0}});
    tables->addRecord(area, {exo::Value::text("5105061"), exo::Value::number(1500.5, 2),
                             exo::Value::date(2455927)});
    i->stepBudget = 20000;
    return i;
  }();
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  try {
    ip->evalText(text);
  } catch (const exo::FailureError&) {
  }
  return 0;
}
