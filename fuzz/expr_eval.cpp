// Fuzz target: any text given to the compiler and evaluator gives a value or a failure.
// One interpreter serves every input, reset between them (Interp::reset), so that variables an
// input makes (up to the language's text limit each) do not pile up across inputs and read as a
// leak or an exhausted memory, while the function table is built once.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "expr/Interp.h"
#include "support/MemoryTables.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static exo::Interp& ip = *[] {
    auto* made = new exo::Interp;  // kept to the end of the process
    made->stepBudget = 20000;
    return made;
  }();
  exo::MemoryTables tables;
  ip.setWorkAreas(&tables);
  const int area =
      tables.open("MOVTOS", {{"CODIGO", 'C', 20, 0}, {"MONTO", 'N', 17, 2}, {"FECHA", 'D', 8, 0}});
  tables.addRecord(area, {exo::Value::text("5105061"), exo::Value::number(1500.5, 2),
                          exo::Value::date(2455927)});
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  try {
    ip.evalText(text);
  } catch (const exo::FailureError&) {
  }
  ip.reset();
  ip.setWorkAreas(nullptr);
  return 0;
}
