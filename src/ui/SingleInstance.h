// One running copy of the program per program name on a machine. The first copy holds a lock
// named after the program and listens for the others; a later copy asks the running one to
// bring its window to the front (restoring it when minimised) and ends.
#pragma once

#include <QLockFile>
#include <QObject>
#include <QString>
#include <memory>

class QLocalServer;

namespace exo::ui {

class SingleInstance : public QObject {
  Q_OBJECT
 public:
  explicit SingleInstance(const QString& programName, QObject* parent = nullptr);
  ~SingleInstance() override;

  bool isFirst() const { return m_first; }
  // A later copy: asks the running one to come to the front; false when it did not answer.
  bool activateRunning(int timeoutMs = 1000);

 signals:
  void activationRequested();

 private:
  QString m_name;
  std::unique_ptr<QLockFile> m_lock;
  QLocalServer* m_server = nullptr;
  bool m_first = false;
};

}  // namespace exo::ui
