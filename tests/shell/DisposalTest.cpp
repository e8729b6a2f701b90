// What a step gives up is released on the worker thread, in the order it was handed over, and
// waitForDisposals returns only once all of it is released.
#include "shell/Disposal.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <mutex>
#include <thread>
#include <vector>

namespace {

using exo::shell::disposeLater;
using exo::shell::waitForDisposals;

struct Watched {
  Watched(std::atomic<bool>* f, std::thread::id* w) : freed(f), where(w) {}
  Watched(const Watched&) = delete;
  Watched& operator=(const Watched&) = delete;
  std::atomic<bool>* freed;
  std::thread::id* where;
  ~Watched() {
    *where = std::this_thread::get_id();
    freed->store(true);
  }
};

TEST(Disposal, ReleasesRunOnTheWorkerInTheOrderTheyCame) {
  std::mutex guard;
  std::vector<int> order;
  std::vector<std::thread::id> threads;
  for (int i = 0; i < 200; ++i) {
    disposeLater([&, i] {
      if (i == 0) std::this_thread::sleep_for(std::chrono::milliseconds(20));  // the rest queue
      const std::lock_guard<std::mutex> lock(guard);
      order.push_back(i);
      threads.push_back(std::this_thread::get_id());
    });
  }
  waitForDisposals();
  ASSERT_EQ(order.size(), 200u);
  for (int i = 0; i < 200; ++i) EXPECT_EQ(order[std::size_t(i)], i);
  for (const std::thread::id& t : threads) EXPECT_NE(t, std::this_thread::get_id());
}

TEST(Disposal, AnOwnedObjectIsFreedOffTheCallersThreadAndWaitedFor) {
  std::atomic<bool> freed{false};
  std::thread::id where;
  disposeLater([] { std::this_thread::sleep_for(std::chrono::milliseconds(20)); });
  disposeLater(std::make_unique<Watched>(&freed, &where));
  waitForDisposals();
  EXPECT_TRUE(freed.load());
  EXPECT_NE(where, std::this_thread::get_id());
  // Nothing handed over: nothing to wait for.
  disposeLater(std::unique_ptr<Watched>());
  waitForDisposals();
}

}  // namespace
