// The pieces every front end of the system sets up the same way: the interpreter with the
// shell's functions of the language, the table engine, and the session over a user interface
// (session variables declared, sibling products detected, last session restored).
//
// The desktop program, exogena-cli and the tests that run whole operations build one Runtime
// each; the subsystems above the shell register their own classes on interp().
#pragma once

#include <memory>

#include "expr/Interp.h"
#include "shell/Paths.h"
#include "shell/Session.h"
#include "store/Engine.h"

namespace exo::shell {

class Runtime {
 public:
  Runtime();
  Runtime(const Runtime&) = delete;
  Runtime& operator=(const Runtime&) = delete;

  Interp& interp() { return m_ip; }
  store::Engine& engine() { return m_engine; }

  // VARIABLPUBLIC over `folders`, then the session talking through `ui` (which must outlive
  // the runtime). False when no sibling product is installed: the stop message has been shown
  // and there is no session. `mayWrite` as VARIABLPUBLIC takes it.
  bool openSession(UserInterface& ui, const Folders& folders, bool mayWrite = true);
  bool hasSession() const { return m_session != nullptr; }
  // REQUIRES: openSession() returned true.
  Session& session() { return *m_session; }

 private:
  Interp m_ip;
  store::Engine m_engine{m_ip};
  std::unique_ptr<Session> m_session;
};

}  // namespace exo::shell
