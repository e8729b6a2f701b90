// One running copy per program name.
#include "ui/SingleInstance.h"

#include <QDir>
#include <QLocalServer>
#include <QLocalSocket>
#include <QStandardPaths>

namespace exo::ui {

namespace {
// Names usable for a lock file and a local socket, the same for every copy of a program.
QString channelName(const QString& program) {
  QString name = QStringLiteral("exogena-") + program;
  for (QChar& c : name) {
    if (!c.isLetterOrNumber() && c != QLatin1Char('-')) c = QLatin1Char('_');
  }
  return name;
}
}  // namespace

SingleInstance::SingleInstance(const QString& programName, QObject* parent)
    : QObject(parent), m_name(channelName(programName)) {
  m_lock = std::make_unique<QLockFile>(QDir::temp().filePath(m_name + QStringLiteral(".lock")));
  m_lock->setStaleLockTime(0);  // a lock left by a copy that died is taken over
  m_first = m_lock->tryLock(0);
  if (!m_first) return;
  QLocalServer::removeServer(m_name);
  m_server = new QLocalServer(this);
  m_server->setSocketOptions(QLocalServer::UserAccessOption);
  if (m_server->listen(m_name)) {
    connect(m_server, &QLocalServer::newConnection, this, [this] {
      while (QLocalSocket* s = m_server->nextPendingConnection()) {
        connect(s, &QLocalSocket::disconnected, s, &QObject::deleteLater);
        emit activationRequested();
      }
    });
  }
}

SingleInstance::~SingleInstance() {
  if (m_server) m_server->close();
  if (m_first) m_lock->unlock();
}

bool SingleInstance::activateRunning(int timeoutMs) {
  if (m_first) return false;
  QLocalSocket socket;
  socket.connectToServer(m_name);
  if (!socket.waitForConnected(timeoutMs)) return false;
  socket.write("activar\n");
  socket.waitForBytesWritten(timeoutMs);
  socket.disconnectFromServer();
  return true;
}

}  // namespace exo::ui
