// One run over a list of formats, on the caller's thread or on two workers.
#include "generation/FormatRun.h"

#include <chrono>
#include <condition_variable>
#include <cstdlib>
#include <deque>
#include <exception>
#include <filesystem>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <utility>

#include "expr/Interp.h"
#include "expr/Memvars.h"
#include "expr/TPublic.h"
#include "masterdata/ThirdParty.h"
#include "reports/Runner.h"
#include "reports/WorkbookScript.h"
#include "shell/ErrorHandler.h"
#include "shell/Paths.h"
#include "shell/RunFiles.h"
#include "shell/Runtime.h"
#include "shell/Session.h"
#include "store/Engine.h"
#include "store/FileFaults.h"
#include "store/Publication.h"
#include "store/RefTables.h"

namespace exo::generation {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

namespace {

constexpr const char* kThreadsVariable = "EXOGENA_HILOS_FORMATOS";
constexpr std::size_t kNoFormat = static_cast<std::size_t>(-1);

double secondsSince(Clock::time_point start) {
  return std::chrono::duration<double>(Clock::now() - start).count();
}

// A later format's header takes what was given for the first one (its format and version stay
// its own).
void takeGiven(Header& h, const Header& given) {
  h.ano = given.ano;
  h.codCpt = given.codCpt;
  h.numEnv = given.numEnv;
  h.fecEnv = given.fecEnv;
  h.fecIni = given.fecIni;
  h.fecFin = given.fecFin;
}

// A value the worker's interpreter owns alone: texts and arrays copied, the containers TPublic
// copied with their values; code blocks and other objects belong to the interpreter that made
// them and are left out (NIL).
Value detached(const Value& v, int depth = 0) {
  constexpr int kMaxDepth = 16;
  switch (v.type()) {
    case Type::Character: {
      Value t = Value::text(v.textView());
      return t;
    }
    case Type::Array: {
      Value a = Value::newArray();
      if (depth < kMaxDepth)
        for (const Value& item : v.arrayData().items)
          a.arrayData().items.push_back(detached(item, depth + 1));
      return a;
    }
    case Type::Object: {
      const auto* from = dynamic_cast<const TPublic*>(&v.objectRef());
      if (from == nullptr || depth >= kMaxDepth) return Value();
      auto* copy = new TPublic(from->automatic());
      const Value held = Value::object(Ref<Object>(copy));
      for (const auto& [name, value] : from->vars()) copy->add(name, detached(value, depth + 1));
      return held;
    }
    case Type::Block: return Value();
    default: return v;
  }
}

// The caller's public variables, in the order they were declared, each value detached.
std::vector<std::pair<std::string, Value>> publicsOf(Interp& ip) {
  std::vector<std::pair<std::string, Value>> vars;
  Memvars& memvars = ip.memvars();
  for (const std::string& name : memvars.visibleNames("*")) {
    Memvars::Slot* slot = memvars.find(name);
    if (slot == nullptr) continue;
    for (const Memvars::Slot::Entry& e : slot->stack) {
      if (e.level != 0) continue;
      vars.emplace_back(name, detached(e.value));
      break;
    }
  }
  return vars;
}

// Something a worker asks of the user, done on the caller's thread with the caller's port.
struct UiRequest {
  std::function<int(shell::UserInterface&)> run;
  bool waits = false;
  bool done = false;
  int answer = -1;
};

// A format of the list while the run goes on.
struct Slot {
  int format = 0;
  bool taken = false;     // a worker took it
  bool finished = false;  // its worker ended it
  bool closed = false;    // handed over or dropped: no more requests are taken
  bool headerSettled = false;
  bool headerCancelled = false;
  bool failureSeen = false;
  double seconds = 0;
  GenerationResult result;
  std::exception_ptr error;
  std::deque<std::shared_ptr<UiRequest>> requests;
  store::HeldPublication publication;
};

class ParallelRun;

// The port of a worker: every call goes to the caller's thread in the turn of the format the
// worker is generating; the questions wait for their answer.
class WorkerPort final : public shell::UserInterface {
 public:
  explicit WorkerPort(ParallelRun& run) : m_run(run) {}
  std::size_t slot = kNoFormat;

  void message(shell::MessageKind kind, std::string_view title, std::string_view text) override {
    post([kind, t = std::string(title), x = std::string(text)](shell::UserInterface& ui) {
      ui.message(kind, t, x);
      return 0;
    });
  }
  int ask(std::string_view title, std::string_view text, const std::vector<std::string>& buttons,
          int defaultButton) override {
    // An answer known ahead lets the worker go on; the question is still shown in its turn.
    if (const auto ahead = outer().answerAhead(title, text, buttons, defaultButton)) {
      post([t = std::string(title), x = std::string(text), buttons, defaultButton](
               shell::UserInterface& ui) { return ui.ask(t, x, buttons, defaultButton); });
      return *ahead;
    }
    return post([t = std::string(title), x = std::string(text), buttons, defaultButton](
                    shell::UserInterface& ui) { return ui.ask(t, x, buttons, defaultButton); },
                true);
  }
  void meterBegin(std::string_view caption, std::int64_t total, bool showPercent) override {
    post([c = std::string(caption), total, showPercent](shell::UserInterface& ui) {
      ui.meterBegin(c, total, showPercent);
      return 0;
    });
  }
  void meterAdvance(std::int64_t done) override {
    post([done](shell::UserInterface& ui) {
      ui.meterAdvance(done);
      return 0;
    });
  }
  void meterEnd() override {
    post([](shell::UserInterface& ui) {
      ui.meterEnd();
      return 0;
    });
  }
  void status(int line, std::string_view text) override {
    post([line, x = std::string(text)](shell::UserInterface& ui) {
      ui.status(line, x);
      return 0;
    });
  }
  void waitOpen(std::string_view text, std::optional<shell::ScreenPos> where) override {
    post([x = std::string(text), where](shell::UserInterface& ui) {
      ui.waitOpen(x, where);
      return 0;
    });
  }
  void waitClose() override {
    post([](shell::UserInterface& ui) {
      ui.waitClose();
      return 0;
    });
  }
  // The caller's thread keeps the window painted while it waits for the workers.
  void pumpEvents() override {}
  bool openWithShell(const std::string& path) override {
    return post([path](shell::UserInterface& ui) { return ui.openWithShell(path) ? 1 : 0; },
                true) == 1;
  }

  int post(std::function<int(shell::UserInterface&)> run, bool waits = false);

 private:
  const shell::UserInterface& outer() const;
  ParallelRun& m_run;
};

// One worker's interpreter, engine, session, error handler and report runner, made and ended
// on the worker's thread.
struct WorkerContext {
  WorkerPort port;
  shell::Runtime runtime;
  std::unique_ptr<shell::Session> session;
  std::unique_ptr<shell::ErrorHandler> handler;
  std::unique_ptr<reports::Runner> runner;

  WorkerContext(ParallelRun& run, std::vector<std::pair<std::string, Value>> publics,
                const shell::Folders& folders, const fs::path& scratch,
                const FormatRunOptions& options);
  ~WorkerContext();
  WorkerContext(const WorkerContext&) = delete;
  WorkerContext& operator=(const WorkerContext&) = delete;
};

class ParallelRun {
 public:
  ParallelRun(shell::Session& session, const std::vector<int>& formats,
              const FormatRunOptions& options)
      : m_options(options), m_outer(session.ui()) {
    for (int f : formats) {
      m_slots.push_back(std::make_unique<Slot>());
      m_slots.back()->format = f;
    }
    // The second worker's scratch tables keep to a folder of their own.
    const fs::path company = session.companyFolder();
    std::error_code ec;
    if (const auto old = shell::findEntry(company, shell::kWorkerScratchFolder))
      fs::remove_all(*old, ec);
    m_scratch = shell::entryPath(company, shell::kWorkerScratchFolder);
    fs::create_directory(m_scratch, ec);
    for (int w = 0; w < 2; ++w) {
      // The copies are made here, on the caller's thread, before the worker starts.
      auto publics = publicsOf(session.interp());
      try {
        m_threads.emplace_back(
            [this, w, publics = std::move(publics), folders = session.folders()]() mutable {
              work(std::move(publics), folders, w == 0 ? fs::path() : m_scratch);
            });
      } catch (const std::system_error&) {
        // No second thread: the first does every format.
        if (w == 0) throw;
      }
    }
  }

  ~ParallelRun() {
    closeFrom(0);
    for (std::thread& t : m_threads)
      if (t.joinable()) t.join();
    for (const auto& s : m_slots) s->publication.drop();
    std::error_code ec;
    fs::remove_all(m_scratch, ec);
  }
  ParallelRun(const ParallelRun&) = delete;
  ParallelRun& operator=(const ParallelRun&) = delete;

  Slot& slot(std::size_t i) { return *m_slots[i]; }
  const shell::UserInterface& outer() const { return m_outer; }

  // Serves the requests of format `i` until its worker has ended it.
  void serve(std::size_t i) {
    Slot& s = *m_slots[i];
    std::unique_lock lock(m_mutex);
    for (;;) {
      if (!s.requests.empty()) {
        const std::shared_ptr<UiRequest> r = s.requests.front();
        s.requests.pop_front();
        lock.unlock();
        int answer = -1;
        try {
          answer = r->run(m_outer);
        } catch (...) {
          lock.lock();
          r->done = true;
          m_changed.notify_all();
          throw;
        }
        lock.lock();
        r->answer = answer;
        r->done = true;
        m_changed.notify_all();
        continue;
      }
      if (s.finished) return;
      if (m_changed.wait_for(lock, std::chrono::milliseconds(40)) == std::cv_status::timeout) {
        lock.unlock();
        m_outer.pumpEvents();
        lock.lock();
      }
    }
  }

  // Format `i` has been handed over: what its worker asks from now on is not served.
  void close(std::size_t i) {
    const std::lock_guard lock(m_mutex);
    closeLocked(*m_slots[i]);
  }

  // Stops the run before format `i`: no worker takes another format, the formats from `i` on
  // are not served, and their held files are dropped once their workers have ended them.
  void closeFrom(std::size_t i) {
    std::unique_lock lock(m_mutex);
    m_stop = true;
    for (std::size_t k = i; k < m_slots.size(); ++k) closeLocked(*m_slots[k]);
    m_changed.notify_all();
    for (std::size_t k = i; k < m_slots.size(); ++k) {
      Slot& s = *m_slots[k];
      m_changed.wait(lock, [&] { return !s.taken || s.finished; });
      s.publication.drop();
    }
  }

  int post(std::size_t i, std::function<int(shell::UserInterface&)> run, bool waits) {
    if (i == kNoFormat) return -1;
    auto r = std::make_shared<UiRequest>();
    r->run = std::move(run);
    r->waits = waits;
    std::unique_lock lock(m_mutex);
    Slot& s = *m_slots[i];
    if (s.closed) return -1;
    s.requests.push_back(r);
    m_changed.notify_all();
    if (!waits) return 0;
    m_changed.wait(lock, [&] { return r->done; });
    return r->answer;
  }

  // The header of format `i` (HeaderAsking::Once): the first format of the list that asks goes
  // to the editor; the later ones wait for it and take what it gave.
  bool header(std::size_t i, Header& h) {
    if (m_options.asking == HeaderAsking::EachFormat)
      return m_options.editHeader ? m_options.editHeader(h) : true;
    std::unique_lock lock(m_mutex);
    m_changed.wait(lock, [&] { return m_stop || m_asked || m_cancelled || settledBefore(i); });
    Slot& s = *m_slots[i];
    if (m_stop || m_cancelled) {
      s.headerSettled = true;
      m_changed.notify_all();
      return false;
    }
    if (m_asked) {
      takeGiven(h, m_given);
      s.headerSettled = true;
      m_changed.notify_all();
      return true;
    }
    lock.unlock();
    const int accepted = post(
        i,
        [&](shell::UserInterface&) {
          return !m_options.editHeader || m_options.editHeader(h) ? 1 : 0;
        },
        true);
    lock.lock();
    if (accepted == 1) {
      m_asked = true;
      m_given = h;
    } else if (!s.closed) {
      m_cancelled = true;
      s.headerCancelled = true;
    }
    s.headerSettled = true;
    m_changed.notify_all();
    return accepted == 1;
  }

 private:
  bool settledBefore(std::size_t i) const {
    for (std::size_t k = 0; k < i; ++k)
      if (!m_slots[k]->headerSettled) return false;
    return true;
  }

  void closeLocked(Slot& s) {
    s.closed = true;
    for (const auto& r : s.requests) r->done = true;  // a waiting question gets no answer (-1)
    s.requests.clear();
  }

  void work(std::vector<std::pair<std::string, Value>> publics, const shell::Folders& folders,
            const fs::path& scratch) {
    std::unique_ptr<WorkerContext> context;
    std::exception_ptr setUpError;
    try {
      context =
          std::make_unique<WorkerContext>(*this, std::move(publics), folders, scratch, m_options);
    } catch (...) {
      setUpError = std::current_exception();
    }
    for (;;) {
      std::size_t i = 0;
      {
        const std::lock_guard lock(m_mutex);
        if (m_stop || m_next >= m_slots.size()) break;
        i = m_next++;
        m_slots[i]->taken = true;
      }
      Slot& s = *m_slots[i];
      if (setUpError) s.error = setUpError;
      else generate(*context, i, s);
      const std::lock_guard lock(m_mutex);
      s.finished = true;
      s.headerSettled = true;
      m_changed.notify_all();
    }
    context.reset();
  }

  void generate(WorkerContext& c, std::size_t i, Slot& s) {
    c.port.slot = i;
    const store::PublicationScope publication(&s.publication);
    const auto start = Clock::now();
    const HeaderEditor editor = [this, i](Header& h) { return header(i, h); };
    try {
      shell::FailureWatch watch(c.runtime.interp());
      s.result = GENERADORAZO(*c.session, c.runtime.engine(), *c.runner, s.format, kAllConcepts,
                              m_options.excel, m_options.xml, editor);
      s.failureSeen = watch.failed();
    } catch (...) {
      s.error = std::current_exception();
    }
    s.seconds = secondsSince(start);
    c.port.slot = kNoFormat;
  }

  const FormatRunOptions& m_options;
  shell::UserInterface& m_outer;
  std::vector<std::unique_ptr<Slot>> m_slots;
  fs::path m_scratch;
  std::mutex m_mutex;
  std::condition_variable m_changed;
  std::size_t m_next = 0;
  bool m_stop = false;
  bool m_asked = false;
  bool m_cancelled = false;
  Header m_given;
  std::vector<std::thread> m_threads;  // last: joined before the rest goes
};

const shell::UserInterface& WorkerPort::outer() const { return m_run.outer(); }

int WorkerPort::post(std::function<int(shell::UserInterface&)> run, bool waits) {
  return m_run.post(slot, std::move(run), waits);
}

WorkerContext::WorkerContext(ParallelRun& run, std::vector<std::pair<std::string, Value>> publics,
                             const shell::Folders& folders, const fs::path& scratch,
                             const FormatRunOptions& options)
    : port(run) {
  Interp& ip = runtime.interp();
  masterdata::registerThirdPartyClasses(ip);
  reports::registerWorkbookFunctions(ip, &port, folders);
  for (auto& [name, value] : publics) ip.memvars().declarePublic(name, std::move(value));
  session = std::make_unique<shell::Session>(ip, port, folders);
  if (!scratch.empty()) session->setScratchFolder(scratch);
  registerXmlFunctions(ip, *session);
  handler = std::make_unique<shell::ErrorHandler>(ip, port, &runtime.engine(), folders.program);
  // A worker never ends the program: the failed operation is abandoned and the format fails.
  handler->setExit([](int) {});
  if (options.setUpHandler) {
    WorkerPort* p = &port;
    options.setUpHandler(*handler, [p](std::function<void()> f) {
      p->post([f = std::move(f)](shell::UserInterface&) {
        f();
        return 0;
      });
    });
  }
  shell::ERRORSYS(*handler, ip);
  // The reference tables of the program folder, wherever the process's working folder is.
  store::openReferenceTables(runtime.engine(), folders.program.string());
  runner = std::make_unique<reports::Runner>(ip, port, folders.program, handler.get());
}

WorkerContext::~WorkerContext() {
  runner.reset();
  try {
    runtime.engine().closeAll(runtime.interp());
  } catch (...) {
    // A table that cannot be written as it closes was the failure of a format already told.
  }
  runtime.interp().setErrorHandler({});
}

void runOnOneThread(shell::Session& session, store::Engine& engine, reports::Runner& runner,
                    const std::vector<int>& formats, const FormatRunOptions& options) {
  bool asked = false, cancelled = false, failed = false;
  Header given;
  // HeaderAsking::Once: the first header goes to the editor; the later ones take what it gave.
  const HeaderEditor once = [&](Header& h) {
    if (!asked) {
      if (options.editHeader && !options.editHeader(h)) {
        cancelled = true;
        return false;
      }
      asked = true;
      given = h;
      return true;
    }
    takeGiven(h, given);
    return true;
  };
  const HeaderEditor& editor = options.asking == HeaderAsking::Once ? once : options.editHeader;
  for (std::size_t i = 0; i < formats.size(); ++i) {
    FormatRunItem item;
    item.index = i;
    item.format = formats[i];
    if (cancelled || failed) {
      item.fate = cancelled ? FormatFate::StoppedByCancel : FormatFate::StoppedByFailure;
      if (options.end) options.end(item);
      continue;
    }
    if (options.begin) options.begin(i);
    const auto start = Clock::now();
    shell::FailureWatch watch(session.interp());
    item.result = GENERADORAZO(session, engine, runner, formats[i], kAllConcepts, options.excel,
                               options.xml, editor);
    item.failureSeen = watch.failed();
    item.seconds = secondsSince(start);
    item.headerCancelled = cancelled;
    failed = item.result.failed;
    if (options.end) options.end(item);
  }
}

}  // namespace

int formatRunThreads(std::size_t formats) {
#ifdef _WIN32
  // On Windows the formats stay on one thread for now: there a failed format's workbook was
  // found left under its name after a run on two workers, and the run must first be made as
  // sound there as it is here.
  (void)formats;
  return 1;
#endif
  if (formats < 2 || std::thread::hardware_concurrency() < 2 || store::fileOpHookInstalled())
    return 1;
  const char* forced = std::getenv(kThreadsVariable);
  if (forced != nullptr && std::string(forced) == "1") return 1;
  return 2;
}

void runFormatList(shell::Session& session, store::Engine& engine, reports::Runner& runner,
                   const std::vector<int>& formats, const FormatRunOptions& options) {
  if (formatRunThreads(formats.size()) < 2) {
    runOnOneThread(session, engine, runner, formats, options);
    return;
  }
  // What the caller's engine has written and still holds goes to the files first: the workers
  // read them through engines of their own.
  constexpr int kAreas = 1024;  // beyond any number of areas the program opens
  for (int area = 1; area <= kAreas; ++area)
    if (engine.isUsed(area)) engine.commit(session.interp(), area);
  ParallelRun run(session, formats, options);
  bool cancelled = false, failed = false;
  for (std::size_t i = 0; i < formats.size(); ++i) {
    FormatRunItem item;
    item.index = i;
    item.format = formats[i];
    if (cancelled || failed) {
      run.closeFrom(i);
      item.fate = cancelled ? FormatFate::StoppedByCancel : FormatFate::StoppedByFailure;
      if (options.end) options.end(item);
      continue;
    }
    if (options.begin) options.begin(i);
    run.serve(i);
    run.close(i);
    Slot& s = run.slot(i);
    // What the format wrote goes under its official names now that every earlier format has
    // ended well; its erasures too, when its own run failed.
    try {
      s.publication.carryOut();
    } catch (const FailureError&) {
      if (!s.error) s.error = std::current_exception();
    }
    if (s.error) {
      run.closeFrom(i + 1);
      std::rethrow_exception(s.error);
    }
    item.result = std::move(s.result);
    item.failureSeen = s.failureSeen;
    item.seconds = s.seconds;
    item.headerCancelled = s.headerCancelled;
    cancelled = s.headerCancelled;
    failed = item.result.failed;
    if (options.end) options.end(item);
  }
}

}  // namespace exo::generation
