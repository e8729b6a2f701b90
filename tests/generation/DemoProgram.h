// The program set up on a demo's first company as exogena-cli sets it up, with a user interface
// that shows nothing and takes every question's first answer: for tests that run whole steps
// of the return in the test's own process.
#pragma once

#include <filesystem>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "demo/Demo.h"
#include "expr/Text.h"
#include "generation/XmlWriter.h"
#include "masterdata/ThirdParty.h"
#include "reports/Runner.h"
#include "reports/WorkbookScript.h"
#include "shell/Company.h"
#include "shell/Runtime.h"
#include "store/Dictionary.h"
#include "store/Engine.h"
#include "store/RefTables.h"

namespace demoprogram {

namespace fs = std::filesystem;
using namespace exo;

// Questions take their first answer ("Si", "Continuar"), also when asked ahead; nothing is
// shown.
class Quiet final : public shell::UserInterface {
 public:
  void message(shell::MessageKind, std::string_view, std::string_view) override {}
  int ask(std::string_view, std::string_view, const std::vector<std::string>&, int) override {
    return 0;
  }
  std::optional<int> answerAhead(std::string_view, std::string_view,
                                 const std::vector<std::string>&, int) const override {
    return 0;
  }
  void meterBegin(std::string_view, std::int64_t, bool) override {}
  void meterAdvance(std::int64_t) override {}
  void meterEnd() override {}
  void status(int, std::string_view) override {}
  void waitOpen(std::string_view, std::optional<shell::ScreenPos>) override {}
  void waitClose() override {}
  void pumpEvents() override {}
  bool openWithShell(const std::string&) override { return false; }
};

// One start of the program on the demo's first company, as exogena-cli makes it.
struct Program {
  Quiet ui;
  shell::Runtime runtime;
  std::unique_ptr<reports::Runner> runner;

  explicit Program(const demo::DemoInstallation& inst) {
    const shell::Folders folders{fs::absolute(inst.programFolder), fs::absolute(inst.driveFolder)};
    fs::current_path(folders.program);
    Interp& ip = runtime.interp();
    masterdata::registerThirdPartyClasses(ip);
    reports::registerWorkbookFunctions(ip, &ui, folders);
    if (!runtime.openSession(ui, folders)) throw std::runtime_error("sin sesi\363n");
    generation::registerXmlFunctions(ip, runtime.session());
    store::CREATABLAS(runtime.engine());
    const demo::DemoCompany& company = inst.companies.front();
    const std::vector<shell::CompanyEntry> list =
        shell::CARGAVRCTL(runtime.session(), runtime.engine(), company.product == "NRVVS" ? 1 : 2);
    const shell::CompanyEntry* entry = nullptr;
    for (const shell::CompanyEntry& e : list)
      if (entry == nullptr && trimBlanks(e.camino) == company.folder + "\\") entry = &e;
    if (entry == nullptr || !shell::chooseCompany(runtime.session(), runtime.engine(), *entry, {}))
      throw std::runtime_error("sin empresa");
    runner = std::make_unique<reports::Runner>(ip, ui, folders.program);
  }
  ~Program() {
    runner.reset();
    try {
      runtime.engine().closeAll(runtime.interp());
    } catch (...) {
    }
  }
  shell::Session& session() { return runtime.session(); }
  store::Engine& engine() { return runtime.engine(); }
};

}  // namespace demoprogram
