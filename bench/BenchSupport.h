// What the benchmarks share: the clock, and a user interface that shows nothing, so that the
// figures are the measured routine's own and not a window's or a terminal's.
#pragma once

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "shell/UserInterface.h"

namespace bench {

// Seconds since `since`.
inline double seconds(std::chrono::steady_clock::time_point since) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - since).count();
}

// Messages go to stderr (a benchmark that stops on one says why); questions take their default.
class QuietInterface final : public exo::shell::UserInterface {
 public:
  void message(exo::shell::MessageKind, std::string_view title, std::string_view text) override {
    std::fprintf(stderr, "%.*s: %.*s\n", int(title.size()), title.data(), int(text.size()),
                 text.data());
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

}  // namespace bench
