#pragma once
// An opened registry key that is closed when it goes out of scope, so every path
// out of a member (early returns and exceptions alike) closes what it opened.

#include "platform/RegistryApi.h"

class KeyHandle {
 public:
  explicit KeyHandle(RegistryApi& api) : api_(api) {}
  ~KeyHandle() { Close(); }
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
    if (held_) api_.RegCloseKey(handle_);
    held_ = false;
  }

 private:
  RegistryApi& api_;
  RegHandle handle_ = 0;
  bool held_ = false;
};
