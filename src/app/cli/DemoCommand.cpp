// exogena-cli demo DIR [--lines N] [--seed S] [--companies K] [--products orbisal|both]
// lays out the demo installation; exogena-cli demo-info DIR shows what an installation holds.
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "demo/Demo.h"
#include "expr/Codepage.h"
#include "expr/Failure.h"

#ifndef EXOGENA_SOURCE_DIR
#define EXOGENA_SOURCE_DIR "."
#endif

namespace exo::cli {
namespace {

const char* kUsage =
    "Uso: exogena-cli demo CARPETA [--lines N] [--seed S] [--companies K] "
    "[--products orbisal|both]\n";

bool parseNumber(const char* text, std::uint64_t& out) {
  char* end = nullptr;
  errno = 0;
  const unsigned long long v = std::strtoull(text, &end, 10);
  if (errno != 0 || end == text || *end != '\0' || text[0] == '-') return false;
  out = v;
  return true;
}

void printInstallation(const demo::DemoInstallation& inst) {
  std::printf("Carpeta del programa: %s\nUnidad (EXOGENA_DRIVE): %s\n", inst.programFolder.c_str(),
              inst.driveFolder.c_str());
  for (const demo::DemoCompany& c : inst.companies) {
    std::printf("\n%s\\%s\\  %s  a\xC3\xB1o %d, \xC3\xBAltimo per\xC3\xADodo %02d\n",
                c.product.c_str(), c.folder.c_str(), toUtf8(c.name).c_str(), c.year, c.lastPeriod);
    std::printf("  %zu cuentas, %zu terceros, %llu l\xC3\xADneas de movimiento\n", c.accounts,
                c.thirdParties, static_cast<unsigned long long>(c.totalLines()));
    std::printf("  por per\xC3\xADodo:");
    for (int p = 0; p <= 12; ++p)
      if (c.lines[static_cast<std::size_t>(p)] != 0)
        std::printf(" %02d:%llu", p,
                    static_cast<unsigned long long>(c.lines[static_cast<std::size_t>(p)]));
    std::printf("\n");
  }
}

}  // namespace

int demoCommand(int argc, char** argv) {
  if (argc < 2 || argv[1][0] == '-') {
    std::fputs(kUsage, stderr);
    return 2;
  }
  demo::DemoOptions o;
  o.folder = argv[1];
  const char* source = std::getenv("EXOGENA_SOURCE");
  o.sourceFolder = source != nullptr ? source : EXOGENA_SOURCE_DIR;
  for (int i = 2; i < argc; ++i) {
    const bool hasValue = i + 1 < argc;
    std::uint64_t n = 0;
    if (std::strcmp(argv[i], "--lines") == 0 && hasValue && parseNumber(argv[i + 1], n) && n > 0) {
      o.lines = n;
    } else if (std::strcmp(argv[i], "--seed") == 0 && hasValue && parseNumber(argv[i + 1], n)) {
      o.seed = n;
    } else if (std::strcmp(argv[i], "--companies") == 0 && hasValue &&
               parseNumber(argv[i + 1], n) && n >= 1 && n <= 40) {
      o.companies = static_cast<int>(n);
    } else if (std::strcmp(argv[i], "--products") == 0 && hasValue &&
               (std::strcmp(argv[i + 1], "orbisal") == 0 ||
                std::strcmp(argv[i + 1], "both") == 0)) {
      o.bothProducts = std::strcmp(argv[i + 1], "both") == 0;
    } else {
      std::fprintf(stderr, "exogena-cli demo: opci\xC3\xB3n no v\xC3\xA1lida: %s\n%s", argv[i],
                   kUsage);
      return 2;
    }
    ++i;
  }
  try {
    const auto start = std::chrono::steady_clock::now();
    const demo::DemoInstallation inst = demo::installDemo(o);
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    printInstallation(inst);
    std::printf("\nDemostraci\xC3\xB3n instalada en %.2f segundos.\n", seconds);
    return 0;
  } catch (const FailureError& e) {
    std::fprintf(stderr, "%s\n", toUtf8(errorMessage(e.failure())).c_str());
    return 1;
  } catch (const std::exception& e) {
    std::fprintf(stderr, "exogena-cli demo: %s\n", e.what());
    return 1;
  }
}

int demoInfoCommand(int argc, char** argv) {
  if (argc != 2) {
    std::fputs("Uso: exogena-cli demo-info CARPETA\n", stderr);
    return 2;
  }
  try {
    printInstallation(demo::describeDemo(argv[1]));
    return 0;
  } catch (const FailureError& e) {
    std::fprintf(stderr, "%s\n", toUtf8(errorMessage(e.failure())).c_str());
    return 1;
  }
}

}  // namespace exo::cli
