// GoogleTest's Notification for the win32 thread model, whose C++ library lacks the
// std::mutex and std::condition_variable of GoogleTest's own: a manual-reset event.
// Included ahead of every file that uses GoogleTest (GTEST_HAS_NOTIFICATION_ tells
// GoogleTest it is there).
#pragma once

#include <windows.h>

namespace testing::internal {

class Notification {
 public:
  Notification() : event_(CreateEventW(nullptr, TRUE, FALSE, nullptr)) {}
  ~Notification() {
    if (event_ != nullptr) CloseHandle(event_);
  }
  Notification(const Notification&) = delete;
  Notification& operator=(const Notification&) = delete;

  void Notify() { SetEvent(event_); }
  void WaitForNotification() { WaitForSingleObject(event_, INFINITE); }

 private:
  HANDLE event_;
};

}  // namespace testing::internal
