#pragma once
// An opened registry key that is closed when it goes out of scope, so every path
// out of a member (early returns and exceptions alike) closes what it opened.

#include "platform/RegistryApi.h"

namespace vbreg {

class KeyHandle {
 public:
  explicit KeyHandle(RegistryApi& api) : api_(api) {}
  ~KeyHandle() {
    try {
      Close();
    } catch (...) {  // a destructor lets nothing out; the handle is lost either way
    }
  }
  KeyHandle(const KeyHandle&) = delete;
  KeyHandle& operator=(const KeyHandle&) = delete;

  // The place RegOpenKeyExA and friends write the handle to. Only call once the
  // previous handle (if any) is closed.
  RegHandle* Out() { return &handle_; }
  // Marks the handle as held: only a successful open or create hands one out.
  void Adopt(bool opened) { held_ = opened; }
  RegHandle get() const { return handle_; }
  explicit operator bool() const { return held_; }
  void Close() {
    const bool held = held_;
    held_ = false;  // closed once, even when the close throws
    if (held) api_.RegCloseKey(handle_);
  }

 private:
  RegistryApi& api_;
  RegHandle handle_ = 0;
  bool held_ = false;
};

}  // namespace vbreg
