// What the benchmarks share: the clock, and a user interface that shows nothing, so that the
// figures are the measured routine's own and not a window's or a terminal's.
#pragma once

#include <unistd.h>

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "demo/Demo.h"
#include "expr/Codepage.h"
#include "shell/UserInterface.h"
#include "store/Engine.h"

namespace bench {

// Seconds since `since`.
inline double seconds(std::chrono::steady_clock::time_point since) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - since).count();
}

// Messages go to stderr (a benchmark that stops on one says why), turned from the program's
// Windows-1252 into the terminal's UTF-8; questions take their default.
class QuietInterface final : public exo::shell::UserInterface {
 public:
  void message(exo::shell::MessageKind, std::string_view title, std::string_view text) override {
    const std::string line = exo::toUtf8(title) + ": " + exo::toUtf8(text);
    std::fprintf(stderr, "%s\n", line.c_str());
  }
  int ask(std::string_view, std::string_view, const std::vector<std::string>&, int d) override {
    return d;
  }
  void meterBegin(std::string_view, std::int64_t, bool) override {}
  void meterAdvance(std::int64_t) override {}
  void meterEnd() override {}
  void status(int, std::string_view) override {}
  void waitOpen(std::string_view, std::optional<exo::shell::ScreenPos>) override {}
  void waitClose() override {}
  void pumpEvents() override {}
  bool openWithShell(const std::string&) override { return false; }
};

// One plain scan of the year's table through the engine, in record order, reading the account
// of every record: what any reading of the movements costs at least, the baseline beside which
// the steps of the return are shown.
inline double plainScan(exo::store::Engine& engine, const std::filesystem::path& table) {
  const auto t0 = std::chrono::steady_clock::now();
  const int area = engine.open(table.string(), "SCAN", true, true);
  std::size_t bytes = 0;
  engine.forEach(area, [&] {
    bytes += engine.text(area, "CODIGO").size();
    return true;
  });
  engine.close(engine.interp(), area);
  const double s = seconds(t0);
  if (bytes == 0) std::printf("(tabla vacia)\n");
  return s;
}

// The demo company a benchmark measures on: the arguments "[LINES] [--keep DIR] [--other...]"
// (LINES default one million; with --keep the demo stays in DIR, else it goes to a fresh
// temporary folder named after `tag` and is erased at the end), and the demo laid out there.
struct BenchDemo {
  std::uint64_t lines = 1000000;
  std::string keep;
  std::vector<std::string> flags;  // the other "--" arguments, for the benchmark to read
  std::filesystem::path root;
  exo::demo::DemoInstallation installation;
  double installSeconds = 0;

  BenchDemo(int argc, char** argv, const char* tag) {
    for (int i = 1; i < argc; ++i) {
      const std::string a = argv[i];
      if (a == "--keep" && i + 1 < argc) keep = argv[++i];
      else if (a.rfind("--", 0) == 0) flags.push_back(a);
      else lines = std::strtoull(a.c_str(), nullptr, 10);
    }
    root = keep.empty() ? std::filesystem::temp_directory_path() /
                              (std::string("exo-bench-") + tag + "-" + std::to_string(::getpid()))
                        : std::filesystem::path(keep);
    std::filesystem::remove_all(root);
    exo::demo::DemoOptions o;
    o.folder = (root / "demo").string();
    o.lines = lines;
    o.sourceFolder = EXOGENA_SOURCE_DIR;
    const auto t0 = std::chrono::steady_clock::now();
    installation = exo::demo::installDemo(o);
    installSeconds = seconds(t0);
  }
  ~BenchDemo() {
    std::error_code ec;
    if (keep.empty()) std::filesystem::remove_all(root, ec);
  }
  BenchDemo(const BenchDemo&) = delete;
  BenchDemo& operator=(const BenchDemo&) = delete;

  const exo::demo::DemoCompany& company() const { return installation.companies.front(); }
  bool has(const std::string& flag) const {
    for (const std::string& f : flags)
      if (f == flag) return true;
    return false;
  }
};

}  // namespace bench
