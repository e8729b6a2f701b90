// Figures of the work-area engine on a table shaped like the ledger's movements (1,000,000
// records): append, two tag builds, a full scan, random seeks, a filtered copy and a total by
// key. Beside each step it prints the time plain file I/O takes over the same bytes (reading
// the table file, or writing a file of its size) and the ratio.
//
// Beside each of the first two tag builds it also times a peer on the same table in the same
// run: the independent xBase library of Debian's libdbd-xbase-perl (the Perl XBase modules)
// reading the key fields of every active record and sorting the same keys with their record
// numbers (in byte order; our tags sort in the Spanish collation). That library cannot build a
// compound index, and its single-field index builder stops after a few pages, so reading the
// table and sorting the keys is the most of a tag build it does; python3-dbf keeps its indexes
// in memory only, inserting key by key into a sorted list (quadratic over a million records).
// Our figure must be at least 3 times the peer's speed. --sin-par leaves the peer out.
//
//   bench_ledger_table [RECORDS] [--frio] [--sin-par]
#include <sys/resource.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <vector>

#include "BenchSupport.h"
#include "expr/Interp.h"
#include "store/Cdx.h"
#include "store/Engine.h"

using namespace exo;
using namespace exo::store;

namespace {

using bench::seconds;

std::uint32_t records = 1000000;

double plainRead(const std::string& path) {
  const auto t0 = std::chrono::steady_clock::now();
  std::FILE* f = std::fopen(path.c_str(), "rb");
  std::vector<char> buf(1 << 20);
  std::size_t sum = 0;
  while (const std::size_t n = std::fread(buf.data(), 1, buf.size(), f)) sum += n + buf[0];
  std::fclose(f);
  if (sum == 1) std::puts("");
  return seconds(t0);
}

double plainWrite(const std::string& path, std::uintmax_t size) {
  const auto t0 = std::chrono::steady_clock::now();
  std::FILE* f = std::fopen(path.c_str(), "wb");
  std::vector<char> buf(1 << 20, 'x');
  for (std::uintmax_t done = 0; done < size; done += buf.size()) {
    std::fwrite(buf.data(), 1, std::min<std::uintmax_t>(buf.size(), size - done), f);
  }
  std::fclose(f);
  return seconds(t0);
}

// Writes `v` as `width` digits with leading zeros (the values the benchmark stores; cheaper than
// snprintf, so that the append figure is the engine's).
std::string_view digits(char* out, unsigned v, int width) {
  for (int i = width - 1; i >= 0; --i, v /= 10) out[i] = static_cast<char>('0' + v % 10);
  return {out, static_cast<std::size_t>(width)};
}

// With --frio, each step starts with the table closed, the system's cache dropped (where the
// system lets us) and the table opened again, and plain I/O is timed the same way: the figures
// of a first run of the day.
bool cold = false;

// Writes the cache out and drops it; false when the system does not allow it.
bool dropCaches() {
  if (!cold) return false;
  ::sync();
  std::FILE* f = std::fopen("/proc/sys/vm/drop_caches", "w");
  if (f == nullptr) return false;
  const bool ok = std::fputs("3", f) >= 0;
  return std::fclose(f) == 0 && ok;
}

void report(const char* step, double secs, double plain, double target) {
  std::printf("%-44s %7.3f s  (E/S simple %.3f s, razon %5.1f)  meta %.2f s %s\n", step, secs,
              plain, secs / plain, target, secs <= target ? "" : "NO CUMPLIDA");
}

bool withPeer = true;

// The peer's work for a tag on `fields`: the Perl XBase modules read the fields of every active
// record and sort the keys with their record numbers. It prints the keys it sorted.
constexpr const char* kPeerScript = R"(use strict; use warnings; use XBase;
my ($file, @fields) = @ARGV;
my $table = XBase->new(name => $file, ignorememo => 1) or die XBase->errstr;
my $format = join '', map { 'A' . $table->field_length($_) } @fields;
my @keys;
for my $i (0 .. $table->last_record) {
  my ($deleted, @values) = $table->get_record($i, @fields);
  next if $deleted;
  push @keys, pack($format, @values) . pack('N', $i + 1);
}
@keys = sort @keys;
$table->close;
print scalar(@keys), "\n";
)";

// Times the peer over `table` (the wall time of the whole program, start-up included) and prints
// it beside our time `ours`.
void reportPeer(const std::filesystem::path& dir, const std::string& table, const char* fields,
                double ours, std::uint32_t expected) {
  if (!withPeer) return;
  const std::string script = (dir / "par.pl").string(), out = (dir / "par.txt").string();
  if (!std::filesystem::exists(script)) std::ofstream(script) << kPeerScript;
  const std::string command =
      "perl '" + script + "' '" + table + "' " + fields + " > '" + out + "' 2>/dev/null";
  const auto t0 = std::chrono::steady_clock::now();
  const int status = std::system(command.c_str());
  const double peer = seconds(t0);
  unsigned long sorted = 0;
  std::ifstream(out) >> sorted;
  if (status != 0 || sorted != expected) {
    std::puts("  par XBase de Perl: no disponible (hace falta perl con libdbd-xbase-perl)");
    return;
  }
  const double times = peer / ours;
  std::printf(
      "  par XBase de Perl (lee la tabla y ordena las mismas claves) %7.3f s: "
      "nuestra etiqueta x%.1f  meta x3.0 %s\n",
      peer, times, times >= 3.0 ? "" : "NO CUMPLIDA");
}

}  // namespace

int main(int argc, char** argv) {
  for (int i = 1; i < argc; ++i) {
    if (std::string(argv[i]) == "--frio") cold = true;
    else if (std::string(argv[i]) == "--sin-par") withPeer = false;
    else records = static_cast<std::uint32_t>(std::stoul(argv[i]));
  }
  const auto dir = std::filesystem::temp_directory_path() / "exo-bench-ledger";
  std::filesystem::remove_all(dir);
  std::filesystem::create_directories(dir);
  const std::string table = (dir / "vrtracon.dbf").string();

  Interp ip;
  Engine engine(ip);
  engine.createTable(table, {{"TIPO_COMP", 'C', 2, 0},
                             {"COMPROBA", 'C', 8, 0},
                             {"CTA_DIR", 'C', 5, 0},
                             {"CODIGO", 'C', 20, 0},
                             {"MONTO", 'N', 17, 2},
                             {"TIPO", 'C', 2, 0},
                             {"DETALLE", 'C', 40, 0}});
  int area = engine.open(table, "MOV", false, false);
  const int fTipoComp = engine.fieldIndex(area, "TIPO_COMP");
  const int fComproba = engine.fieldIndex(area, "COMPROBA");
  const int fCtaDir = engine.fieldIndex(area, "CTA_DIR");
  const int fCodigo = engine.fieldIndex(area, "CODIGO");
  const int fMonto = engine.fieldIndex(area, "MONTO");
  const int fTipo = engine.fieldIndex(area, "TIPO");
  const int fDetalle = engine.fieldIndex(area, "DETALLE");

  std::mt19937 rng(2011);
  const char* kinds[] = {"FC", "CE", "CC", "NC", "RC", "CD"};
  const char* classes[] = {"1.1.05.05", "1.3.05.05", "2.3.65.15", "2.4.08.10", "4.1.35.05",
                           "5.1.05.06", "7.2.95.95", "6.1.35.05", "1.4.35.01", "2.2.05.01"};
  char buf[64];
  auto t0 = std::chrono::steady_clock::now();
  for (std::uint32_t i = 0; i < records; ++i) {
    engine.append(ip, area);
    engine.putField(ip, area, fTipoComp, Value::temp(kinds[i % 6]));
    engine.putField(ip, area, fComproba, Value::temp(digits(buf, i / 3 + 1, 8)));
    engine.putField(ip, area, fCtaDir,
                    Value::temp(digits(buf, static_cast<unsigned>(rng() % 4000), 5)));
    std::memcpy(buf, classes[rng() % 10], 9);
    buf[9] = '.';
    digits(buf + 10, static_cast<unsigned>(rng() % 60), 2);
    engine.putField(ip, area, fCodigo, Value::temp(std::string_view(buf, 12)));
    engine.putField(ip, area, fMonto, Value::number((rng() % 100000000) / 100.0 - 100000));
    engine.putField(ip, area, fTipo, Value::temp(i % 2 ? "CR" : "DB"));
    engine.putField(ip, area, fDetalle, Value::temp("MOVIMIENTO DEL PERIODO CONTABLE"));
  }
  engine.commit(ip, area);
  const double append = seconds(t0);
  const auto size = std::filesystem::file_size(table);
  const double write = plainWrite((dir / "plain.bin").string(), size);
  if (cold && !dropCaches()) {
    std::puts("no se puede vaciar la cache del sistema: cifras con la cache llena");
    cold = false;
  }
  const double read = plainRead(table);
  std::printf("tabla: %u registros, %ju bytes%s\n", records, static_cast<std::uintmax_t>(size),
              cold ? " (cada paso y la E/S simple con la cache del sistema vacia)" : "");
  report("agregar todos los registros", append, write, 1.0);
  // In cold runs the table is closed before the cache is dropped (a table in use keeps its pages)
  // and opened again, with its index file, in the order the step needs.
  const auto coldStart = [&](const std::string& order) {
    if (!cold) return;
    engine.close(ip, area);
    dropCaches();
    area = engine.open(table, "MOV", false, false);
    engine.setOrder(area, order);
  };

  coldStart("");
  t0 = std::chrono::steady_clock::now();
  engine.buildIndex(area, "", "COMPROB", "TIPO_COMP+COMPROBA+CTA_DIR", "!Deleted()");
  const double comprob = seconds(t0);
  report("etiqueta TIPO_COMP+COMPROBA+CTA_DIR", comprob, read, 0.2);
  reportPeer(dir, table, "TIPO_COMP COMPROBA CTA_DIR", comprob, records);
  coldStart("");
  t0 = std::chrono::steady_clock::now();
  engine.buildIndex(area, "", "CODIGO", "CODIGO", "!Deleted()");
  const double codigo = seconds(t0);
  report("etiqueta CODIGO", codigo, read, 0.2);
  reportPeer(dir, table, "CODIGO", codigo, records);

  engine.setOrder(area, "");
  coldStart("");
  t0 = std::chrono::steady_clock::now();
  double sum = 0;
  engine.forEach(area, [&] {
    ArenaScope scope(ip.arena());
    sum += engine.getField(ip, area, fMonto).num();
    return true;
  });
  report("recorrido completo sumando MONTO", seconds(t0), read, 0.2);
  std::printf("  (suma %.2f)\n", sum);

  engine.setOrder(area, "CODIGO");
  std::vector<std::string> keys;
  for (int i = 0; i < 10000; ++i) {
    std::snprintf(buf, sizeof buf, "%s.%02u", classes[rng() % 10],
                  static_cast<unsigned>(rng() % 60));
    keys.emplace_back(buf);
  }
  int found = 0;
  coldStart("CODIGO");
  t0 = std::chrono::steady_clock::now();
  for (const std::string& k : keys) found += engine.seekKey(area, Value::temp(k)) ? 1 : 0;
  report("10.000 busquedas al azar", seconds(t0), read, 0.02);
  std::printf("  (encontradas %d)\n", found);
  // A browse grid dragged to the middle of the table: the row by its key position, and the
  // key count that sizes the grid.
  coldStart("CODIGO");
  t0 = std::chrono::steady_clock::now();
  engine.goToKeyNo(area, records / 2);
  const double middle = seconds(t0);
  coldStart("CODIGO");
  t0 = std::chrono::steady_clock::now();
  const auto counted = engine.keyCount(ip, area);
  std::printf("ir a la clave numero %u: %.3f s; contar las claves (%lld): %.3f s\n", records / 2,
              middle, static_cast<long long>(counted), seconds(t0));

  engine.setOrder(area, "");
  coldStart("");
  t0 = std::chrono::steady_clock::now();
  const auto copied = engine.copyTo(area, (dir / "cincos.dbf").string(), "CODIGO = '5.'");
  report("copia filtrada (CODIGO empieza por '5.')", seconds(t0), read, 0.3);
  std::printf("  (%ju registros copiados)\n", static_cast<std::uintmax_t>(copied));

  coldStart("");
  t0 = std::chrono::steady_clock::now();
  engine.buildIndex(area, "", "CTA_DIR", "CTA_DIR", "!Deleted()");
  const double tagTime = seconds(t0);
  coldStart("CTA_DIR");
  t0 = std::chrono::steady_clock::now();
  const auto totals = engine.total(area, (dir / "totales.dbf").string(), "CTA_DIR", {"MONTO"});
  report("total por CTA_DIR sumando MONTO", seconds(t0), read, 0.3);
  std::printf("  (%ju registros de total; etiqueta CTA_DIR previa %.3f s)\n",
              static_cast<std::uintmax_t>(totals), tagTime);

  // Opening the table shared with its index file of three tags, as every operation does: what
  // an open reads must not grow with the table.
  engine.close(ip, area);
  constexpr int kOpens = 200;
  t0 = std::chrono::steady_clock::now();
  for (int i = 0; i < kOpens; ++i) {
    area = engine.open(table, "MOV", true, false);
    engine.close(ip, area);
  }
  std::printf("abrir y cerrar la tabla con su indice de 3 etiquetas: %.3f ms por apertura\n",
              seconds(t0) * 1000 / kOpens);

  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  std::printf("memoria maxima: %.0f MB (meta < 1024 MB)\n", usage.ru_maxrss / 1024.0);
  engine.closeAll(ip);
  {
    // The same seeks on the index file alone (no records read), for comparison.
    Cdx cdx = Cdx::open((dir / "vrtracon.cdx").string(), {true, true, 0});
    CdxCursor c(cdx, *cdx.findTag("CODIGO"));
    c.seek(keys[0]);  // the first seek checks the tag's order once
    t0 = std::chrono::steady_clock::now();
    int onIndex = 0;
    for (const std::string& k : keys) onIndex += c.seek(k) ? 1 : 0;
    std::printf("las mismas busquedas solo en el indice: %.3f s (%d encontradas)\n", seconds(t0),
                onIndex);
  }
  std::filesystem::remove_all(dir);
  return 0;
}
