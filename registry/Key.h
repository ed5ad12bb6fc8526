#pragma once
// The one way the registry class holds a key: one it opened, closed when the Key goes
// on every way out of a member (exceptions included), or one the caller handed in,
// which is used and never closed. A Key is made by its factories and stays where it
// was made: it is neither copied nor moved.

#include <string>

#include "platform/RegistryApi.h"

namespace vbreg {

class Key {
 public:
  // The caller's own handle, a predefined root or a key it opened.
  static Key Borrow(RegistryApi& api, RegHandle handle) {
    return Key(api, handle, reg::kSuccess, false);
  }
  // `path` below `parent`, opened with `access`.
  static Key Open(RegistryApi& api, RegHandle parent, const std::string& path, uint32_t access) {
    RegHandle handle = 0;
    const RegStatus status = api.RegOpenKeyExA(parent, path.c_str(), 0, access, &handle);
    return Key(api, handle, status, status == reg::kSuccess);
  }
  // `path` below `parent`, made when it is missing, opened with full access. Whether
  // it was new or already there makes no difference to the class.
  static Key Create(RegistryApi& api, RegHandle parent, const std::string& path,
                    const RegSecurityAttributes& security) {
    char noClass[1] = {'\0'};
    uint32_t disposition = 0;
    RegHandle handle = 0;
    const RegStatus status =
        api.RegCreateKeyExA(parent, path.c_str(), 0, noClass, 0 /*non-volatile*/,
                            reg::kKeyAllAccess, &security, &handle, &disposition);
    return Key(api, handle, status, status == reg::kSuccess);
  }
  // The predefined `root` of the registry of `computer`.
  static Key Connect(RegistryApi& api, const std::string& computer, RegHandle root) {
    RegHandle handle = 0;
    const RegStatus status = api.RegConnectRegistryA(computer.c_str(), root, &handle);
    return Key(api, handle, status, status == reg::kSuccess);
  }

  Key(const Key&) = delete;
  Key& operator=(const Key&) = delete;
  ~Key() {
    if (!owned_) return;
    try {
      api_.RegCloseKey(handle_);
    } catch (...) {  // a destructor lets nothing out; the handle is lost either way
    }
  }

  RegHandle get() const { return handle_; }
  // What the open, create or connect answered.
  RegStatus status() const { return status_; }
  explicit operator bool() const { return status_ == reg::kSuccess; }

 private:
  Key(RegistryApi& api, RegHandle handle, RegStatus status, bool owned)
      : api_(api), handle_(handle), status_(status), owned_(owned) {}

  RegistryApi& api_;
  RegHandle handle_;
  RegStatus status_;
  bool owned_;
};

}  // namespace vbreg
