// The interpreter, table engine and session of a front end.
#include "shell/Runtime.h"

#include "shell/Evalua.h"
#include "shell/Utilities.h"

namespace exo::shell {

Runtime::Runtime() {
  registerEvaluaFunctions(m_ip);
  registerUtilityFunctions(m_ip);
}

bool Runtime::openSession(UserInterface& ui, const Folders& folders, bool mayWrite) {
  m_session.reset();
  if (!VARIABLPUBLIC(m_ip, ui, folders, mayWrite)) return false;
  m_session = std::make_unique<Session>(m_ip, ui, folders);
  return true;
}

}  // namespace exo::shell
