// Figures of `exogena-cli batch`: a firm's many companies, each company's return in processes of
// its own. A demo of COMPANIES company-years (default 20) of LINES movement lines each (default
// 50,000), every company with the first one's assignments; then the whole return of every
// company with one job and with two. The baseline is the one-job time divided by two (what two
// jobs would take if nothing were shared), printed beside the two-job time.
//
//   bench_batch [LINES] [--companies=N] [--keep DIR]
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "BenchSupport.h"
#include "demo/Demo.h"

namespace fs = std::filesystem;

namespace {

int run(const std::string& command) { return std::system(command.c_str()); }

std::string quote(const fs::path& p) { return "'" + p.string() + "'"; }

}  // namespace

int main(int argc, char** argv) {
  int companies = 20;
  std::uint64_t lines = 50000;
  std::string keep;
  for (int i = 1; i < argc; ++i) {
    const std::string a = argv[i];
    if (a.rfind("--companies=", 0) == 0) companies = std::atoi(a.c_str() + 12);
    else if (a == "--keep" && i + 1 < argc) keep = argv[++i];
    else lines = std::strtoull(a.c_str(), nullptr, 10);
  }
  const fs::path root =
      keep.empty() ? fs::temp_directory_path() / ("exo-bench-batch-" + std::to_string(::getpid()))
                   : fs::path(keep);
  fs::remove_all(root);
  exo::demo::DemoOptions o;
  o.folder = (root / "demo").string();
  o.lines = lines;
  o.companies = companies;
  o.sourceFolder = EXOGENA_SOURCE_DIR;
  auto t0 = std::chrono::steady_clock::now();
  const exo::demo::DemoInstallation inst = exo::demo::installDemo(o);
  std::printf("demo de %d empresas de %llu lineas instalada en %.1f s (no cuenta)\n", companies,
              static_cast<unsigned long long>(lines), bench::seconds(t0));

  const std::string cli = std::string("cd ") + quote(inst.programFolder) +
                          " && EXOGENA_DRIVE=" + quote(inst.driveFolder) + " " +
                          quote(EXOGENA_CLI) + " ";
  for (const exo::demo::DemoCompany& c : inst.companies) {
    if (c.product != "NRVVS" || c.folder == "ANDINA10") continue;
    if (run(cli + "--company " + c.folder +
            " copy-assignments --from-company ANDINA10 --yes >/dev/null 2>&1") != 0) {
      std::fprintf(stderr, "no se pudieron copiar las asignaciones a %s\n", c.folder.c_str());
      return 1;
    }
  }

  double times[3] = {0, 0, 0};
  for (int jobs = 1; jobs <= 2; ++jobs) {
    t0 = std::chrono::steady_clock::now();
    const int code = run(cli + "batch --all --yes --jobs " + std::to_string(jobs) + " >" +
                         quote(root / ("batch-" + std::to_string(jobs) + ".txt")) + " 2>&1");
    times[jobs] = bench::seconds(t0);
    if (code != 0) {
      std::fprintf(stderr, "batch con %d trabajos termino con error; ver %s\n", jobs,
                   (root / ("batch-" + std::to_string(jobs) + ".txt")).string().c_str());
      return 1;
    }
  }
  std::printf("batch de %d empresas, 1 trabajo:   %7.1f s (%.2f s por empresa)\n", companies,
              times[1], times[1] / companies);
  std::printf(
      "batch de %d empresas, 2 trabajos:  %7.1f s (linea base: la mitad de 1 trabajo, "
      "%.1f s; %.0f%% de ella)\n",
      companies, times[2], times[1] / 2, 100.0 * times[2] / (times[1] / 2));
  if (keep.empty()) fs::remove_all(root);
  return 0;
}
