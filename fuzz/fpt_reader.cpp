// Fuzz target: a memo file read as FPT and as DBT, every block it could hold.
#include <string>

#include "FuzzSupport.h"
#include "expr/Failure.h"
#include "store/MemoFile.h"

using namespace exo::store;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string path = fuzzsupport::writeInput("m.fpt", data, size);
  for (MemoKind kind : {MemoKind::Fpt, MemoKind::Dbt}) {
    try {
      auto memo = MemoFile::open(path, kind, false, false);
      const std::uint32_t blocks = static_cast<std::uint32_t>(size / memo->blockSize()) + 2;
      // Every block, damaged or not: a damaged one is told as a fault (with the description it
      // is raised with), and the last read raises it.
      std::string text, told;
      MemoFault fault;
      for (std::uint32_t b = 0; b < std::min<std::uint32_t>(blocks, 300); ++b) {
        try {
          if (!memo->tryRead(b, text, fault)) MemoFile::faultText(fault, told);
        } catch (const exo::FailureError&) {
        }
      }
      memo->read(0xFFFFFFFFu);
    } catch (const exo::FailureError&) {
    }
  }
  return 0;
}
