// GoogleTest's thread-safe Windows build defines a Notification class on
// std::mutex and std::condition_variable, which GCC 12's win32 thread model
// does not have. Included ahead of GoogleTest and the test sources, this
// header supplies Notification instead. GoogleTest uses it only to start the
// threads of its own thread helpers, which these tests never create, so a
// plain flag to wait on is enough.
#pragma once

#ifdef __cplusplus
#include <atomic>

#define GTEST_HAS_NOTIFICATION_ 1

namespace testing {
namespace internal {

class Notification {
 public:
  Notification() : notified_(false) {}
  Notification(const Notification&) = delete;
  Notification& operator=(const Notification&) = delete;

  void Notify() { notified_.store(true, std::memory_order_release); }
  void WaitForNotification() {
    while (!notified_.load(std::memory_order_acquire)) {
    }
  }

 private:
  std::atomic<bool> notified_;
};

}  // namespace internal
}  // namespace testing
#endif
