// The worker that frees what a step gave up (Disposal.h).
#include "shell/Disposal.h"

#include <condition_variable>
#include <deque>
#include <mutex>
#include <thread>

namespace exo::shell {
namespace {

class Worker {
 public:
  ~Worker() {
    {
      const std::lock_guard<std::mutex> lock(m_mutex);
      m_stop = true;
    }
    m_wake.notify_all();
    if (m_thread.joinable()) m_thread.join();
  }

  void add(std::function<void()> release) {
    {
      const std::lock_guard<std::mutex> lock(m_mutex);
      m_pending.push_back(std::move(release));
      if (!m_thread.joinable()) m_thread = std::thread([this] { run(); });
    }
    m_wake.notify_all();
  }

  void wait() {
    std::unique_lock<std::mutex> lock(m_mutex);
    m_idle.wait(lock, [this] { return m_pending.empty() && !m_busy; });
  }

 private:
  void run() {
    std::unique_lock<std::mutex> lock(m_mutex);
    for (;;) {
      m_wake.wait(lock, [this] { return m_stop || !m_pending.empty(); });
      if (m_pending.empty()) return;  // stopping, nothing left
      std::function<void()> release = std::move(m_pending.front());
      m_pending.pop_front();
      m_busy = true;
      lock.unlock();
      release();
      release = nullptr;  // what it held goes here too, off the program's thread
      lock.lock();
      m_busy = false;
      if (m_pending.empty()) m_idle.notify_all();
    }
  }

  std::mutex m_mutex;
  std::condition_variable m_wake, m_idle;
  std::deque<std::function<void()>> m_pending;
  bool m_stop = false, m_busy = false;
  std::thread m_thread;
};

Worker& worker() {
  static Worker w;
  return w;
}

}  // namespace

void disposeLater(std::function<void()> release) {
  if (release) worker().add(std::move(release));
}

void waitForDisposals() { worker().wait(); }

}  // namespace exo::shell
