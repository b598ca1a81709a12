// Runs tasks 0 .. count-1 on a number of threads and hands their results
// back in task order, on the calling thread, each as soon as it and every
// task before it are done.
#pragma once

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <cstddef>
#include <functional>
#include <mutex>
#include <optional>
#include <thread>
#include <vector>

namespace tressel_tool {

template <class Result>
class OrderedPool {
 public:
  using Task = std::function<Result(std::size_t)>;
  using Deliver = std::function<void(std::size_t, Result&)>;
  using Progress = std::function<void(std::size_t done)>;

  // `task` must not throw; it runs on several threads at once. `progress` is
  // called on the calling thread, with the number of finished tasks, whenever
  // that number has grown.
  static void run(std::size_t count, int threads, const Task& task, const Deliver& deliver,
                  const Progress& progress = nullptr) {
    if (threads <= 1 || count <= 1) {
      for (std::size_t i = 0; i < count; ++i) {
        Result r = task(i);
        if (progress) progress(i + 1);
        deliver(i, r);
      }
      return;
    }

    std::vector<std::optional<Result>> slots(count);
    std::mutex mutex;
    std::condition_variable finished;
    std::atomic<std::size_t> next{0};
    std::size_t done = 0;

    auto loop = [&]() {
      for (std::size_t i = next++; i < count; i = next++) {
        Result r = task(i);
        {
          std::lock_guard<std::mutex> lock(mutex);
          slots[i].emplace(std::move(r));
          ++done;
        }
        finished.notify_one();
      }
    };
    std::vector<std::thread> pool;
    struct JoinAll {  // also when `deliver` throws: the threads use the locals above
      std::vector<std::thread>& threads;
      ~JoinAll() {
        for (std::thread& t : threads) t.join();
      }
    } joinAll{pool};
    const std::size_t n = std::min<std::size_t>(static_cast<std::size_t>(threads), count);
    for (std::size_t t = 0; t < n; ++t) pool.emplace_back(loop);

    std::size_t reported = 0;
    for (std::size_t i = 0; i < count; ++i) {
      std::optional<Result> r;
      {
        std::unique_lock<std::mutex> lock(mutex);
        for (;;) {
          if (progress && done != reported) {
            reported = done;
            lock.unlock();
            progress(reported);
            lock.lock();
            continue;
          }
          if (slots[i]) break;
          finished.wait(lock);
        }
        r.swap(slots[i]);
      }
      deliver(i, *r);
    }
  }
};

}  // namespace tressel_tool
