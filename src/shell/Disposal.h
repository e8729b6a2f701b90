// Memory given up at the end of a step (a workbook the definition closed, the third-party
// records kept for a format) freed by one worker thread of the process while the run goes on:
// freeing a large structure piece by piece takes time the next step need not wait for. Only what
// nothing else in the program refers to any longer is handed over.
#pragma once

#include <functional>
#include <memory>

namespace exo::shell {

// Runs `release` on the worker thread, after everything handed over before it. What is still
// pending when the process ends is released before it ends.
void disposeLater(std::function<void()> release);

// Frees `owned` on the worker thread.
template <class T>
void disposeLater(std::unique_ptr<T> owned) {
  if (owned == nullptr) return;
  std::shared_ptr<T> held(std::move(owned));
  disposeLater([held = std::move(held)]() mutable { held.reset(); });
}

// Returns once everything handed over so far has been released.
void waitForDisposals();

}  // namespace exo::shell
