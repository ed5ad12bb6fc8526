// GoogleTest's Notification for the win32 thread model, whose C++ library lacks the
// std::mutex and std::condition_variable of GoogleTest's own: a manual-reset event.
// Included ahead of every file that uses GoogleTest (GTEST_HAS_NOTIFICATION_ tells
// GoogleTest it is there).
#pragma once

#include <windows.h>

#include <memory>

namespace testing::internal {

class Notification {
 public:
  void Notify() { SetEvent(event_.get()); }
  void WaitForNotification() { WaitForSingleObject(event_.get(), INFINITE); }

 private:
  std::unique_ptr<void, decltype(&CloseHandle)> event_{CreateEventW(nullptr, TRUE, FALSE, nullptr),
                                                       &CloseHandle};
};

}  // namespace testing::internal
