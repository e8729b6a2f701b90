// Figures of the directory check on 20,000 third parties: the check itself (every record read in
// code order, built, judged, the faulty ones written to the error table) beside the engine's
// plain read of the same records in the same order. Lays out its own installation in a
// temporary folder.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "BenchSupport.h"
#include "expr/Interp.h"
#include "import/ThirdPartyCheck.h"
#include "masterdata/CheckDigit.h"
#include "shell/Session.h"
#include "shell/UserInterface.h"
#include "store/Cdx.h"
#include "store/Dbf.h"
#include "store/Engine.h"

using namespace exo;
namespace fs = std::filesystem;

namespace {

using bench::seconds;

constexpr std::uint32_t kRecords = 20000;
constexpr int kRuns = 5;

// The ledger's directory: companies and persons in shuffled physical order, one in fifty with a
// defect (a wrong check digit, a missing municipality or a business-name structure).
void writeDirectory(const fs::path& folder) {
  fs::create_directories(folder);
  store::Dbf t = store::Dbf::create((folder / "VRDIR.DBF").string(), {{"CLAVE", 'C', 5, 0},
                                                                      {"NOMBRE", 'C', 60, 0},
                                                                      {"ESTR_NOMB", 'C', 4, 0},
                                                                      {"TP_P", 'C', 1, 0},
                                                                      {"TP_N", 'C', 2, 0},
                                                                      {"DIREC1", 'C', 40, 0},
                                                                      {"DIREC2", 'C', 40, 0},
                                                                      {"DIREC3", 'C', 40, 0},
                                                                      {"DIREC4", 'C', 20, 0},
                                                                      {"C_DPTO", 'C', 2, 0},
                                                                      {"C_MNCP", 'C', 3, 0},
                                                                      {"PAIS", 'C', 4, 0},
                                                                      {"E_MAIL", 'C', 40, 0},
                                                                      {"OBSERVA", 'M', 10, 0}});
  store::KeyBatch keys(5, store::KeyKind::Character);
  std::vector<char> rec = t.blankRecord();
  char buf[64];
  for (std::uint32_t n = 0; n < kRecords; ++n) {
    const std::uint32_t i = (n * 7919u) % kRecords;  // a permutation of the codes
    std::snprintf(buf, sizeof buf, "%05u", i + 1);
    const std::string key = buf;
    const bool company = i % 3 != 0;
    const std::string id = std::to_string(company ? 800000000 + i * 37 : 10000000 + i * 53);
    t.setText(rec.data(), 0, key);
    t.setText(rec.data(), 1,
              company ? "DISTRIBUIDORA " + key + " S.A.S." : "PEREZ GOMEZ JUAN " + key);
    t.setText(rec.data(), 2, company ? "0000" : (i % 50 == 7 ? "0000" : "1110"));
    t.setText(rec.data(), 3, company ? "J" : "N");
    t.setText(rec.data(), 4, company ? "31" : "13");
    std::snprintf(buf, sizeof buf, "CL %u # %u-%02u", i % 170 + 1, i % 120 + 1, i % 99);
    t.setText(rec.data(), 5, buf);
    std::string digit = masterdata::CALCULADIGV(id);
    if (i % 50 == 3) digit = std::string(1, static_cast<char>('0' + (digit[0] - '0' + 1) % 10));
    t.setText(rec.data(), 8, company ? id + "-" + digit : id);
    t.setText(rec.data(), 9, "11");
    t.setText(rec.data(), 10, i % 50 == 5 ? "" : "001");
    t.setText(rec.data(), 11, "0169");
    keys.add(key, t.append(rec.data()));
  }
  t.close();
  store::Cdx::create((folder / "VRDIRX1.CDX").string())
      .buildTag({"CLAVE", "CLAVE", "", 5, store::KeyKind::Character}, keys);
}

// The engine's plain read: the same records in the same order, the same ten fields read.
std::uint64_t plainRead(store::Engine& engine, const fs::path& ledger) {
  const int area = engine.open((ledger / "VRDIR.DBF").string(), "PLANO", true, true);
  engine.addIndex(area, "VRDIRX1.CDX");
  engine.setOrder(area, "CLAVE");
  const char* fields[] = {"CLAVE",  "NOMBRE", "ESTR_NOMB", "TP_P",   "TP_N",
                          "DIREC4", "DIREC1", "C_DPTO",    "C_MNCP", "PAIS"};
  std::uint64_t bytes = 0;
  engine.forEach(area, [&] {
    for (const char* f : fields) bytes += engine.text(area, f).size();
    return true;
  });
  engine.close(engine.interp(), area);
  return bytes;
}

}  // namespace

int main() {
  const fs::path dir = fs::temp_directory_path() / "exo-bench-terceros";
  fs::remove_all(dir);
  shell::Folders folders{dir / "program", dir / "drive"};
  for (const char* f : {"NRVVS/VR.EXE", "NRVVS/VRNRVV32.DLL"}) {
    fs::create_directories((folders.drive / f).parent_path());
    std::ofstream(folders.drive / f) << "x";
  }
  fs::create_directories(folders.program / "NRVVS" / "ACME10");
  const fs::path ledger = folders.drive / "NRVVS" / "ACME10";
  writeDirectory(ledger);

  Interp ip;
  store::Engine engine(ip);
  bench::QuietInterface ui;
  shell::VARIABLPUBLIC(ip, ui, folders);
  shell::Session session(ip, ui, folders);
  session.setPathOrigen("\\NRVVS\\");
  session.setCelPath("NRVVS\\ACME10\\");
  session.formPaths();

  double best = 1e9, bestPlain = 1e9;
  import::ValidationResult r;
  std::uint64_t bytes = 0;
  for (int run = 0; run < kRuns; ++run) {
    auto t0 = std::chrono::steady_clock::now();
    bytes = plainRead(engine, ledger);
    bestPlain = std::min(bestPlain, seconds(t0));
    t0 = std::chrono::steady_clock::now();
    r = import::VALIDAFICHTERC(session, engine);
    best = std::min(best, seconds(t0));
  }
  std::printf("plain read of %u directory records in code order (10 fields, %llu bytes): %.3f s\n",
              kRecords, static_cast<unsigned long long>(bytes), bestPlain);
  std::printf("check of %lld third parties, %lld faulty written to ErrFDir.dbf: %.3f s (%.1fx)\n",
              static_cast<long long>(r.records), static_cast<long long>(r.errors), best,
              best / bestPlain);
  fs::remove_all(dir);
  return r.done && r.records == kRecords ? 0 : 1;
}
