// Writing one value and the key maintenance members of RegistryRoutines: KeyExists,
// CreateKey, DeleteKey, DeleteValue. Each call closes what it opened, on every path.

#include <cstdint>
#include <optional>
#include <string>

#include "registry/RegistryRoutines.h"
#include "registry/ValueCodec.h"

namespace {

// ERROR_NOT_ENOUGH_MEMORY: what a status-returning member reports when it could not
// even build its arguments.
constexpr int32_t kNotEnoughMemory = 8;

// A key handle this call received from the platform, closed when the call ends.
class OpenedKey {
 public:
  explicit OpenedKey(RegistryApi& api) : api_(api) {}
  ~OpenedKey() {
    if (!open_) return;
    try {
      api_.RegCloseKey(handle_);
    } catch (...) {
      // Closing is the last step; its outcome is never looked at.
    }
  }
  OpenedKey(const OpenedKey&) = delete;
  OpenedKey& operator=(const OpenedKey&) = delete;

  // Where the platform puts the handle.
  RegHandle* Slot() { return &handle_; }
  // Takes the status of the call that filled Slot(); on success the handle is ours.
  RegStatus Keep(RegStatus status) {
    open_ = status == reg::kSuccess;
    return status;
  }
  RegHandle handle() const { return handle_; }

 private:
  RegistryApi& api_;
  RegHandle handle_ = 0;
  bool open_ = false;
};

}  // namespace

bool RegistryRoutines::SetRegistryValue(const String& ValueName, const Variant& value,
                                        const int32_t& DType) {
  try {
    const std::string path = api_->ToAnsi(ObjectPath());
    OpenedKey key(*api_);
    // Write access to an existing key only: the writer never creates a key.
    if (key.Keep(api_->RegOpenKeyExA(hkey_, path.c_str(), 0, reg::kKeyWrite, key.Slot())) !=
        reg::kSuccess) {
      return false;
    }
    return codec::WriteValue(*api_, key.handle(), ValueName, value, DType);
  } catch (...) {
    return false;
  }
}

bool RegistryRoutines::KeyExists() {
  try {
    const std::string path = api_->ToAnsi(ObjectPath());
    OpenedKey key(*api_);
    return key.Keep(api_->RegOpenKeyExA(hkey_, path.c_str(), 0, reg::kKeyRead, key.Slot())) ==
           reg::kSuccess;
  } catch (...) {
    return false;
  }
}

namespace {

// Creates or opens hkey\path; "0" when that worked, else the empty string (the
// failing status is not reported, so a caller never mistakes it for success).
String CreateAt(RegistryApi& api, RegHandle root, const String& path,
                const RegSecurityAttributes& security) {
  const std::string ansiPath = api.ToAnsi(path);
  char noClass[1] = {'\0'};
  uint32_t disposition = 0;  // new or existing: both count as success
  OpenedKey key(api);
  const RegStatus status =
      key.Keep(api.RegCreateKeyExA(root, ansiPath.c_str(), 0, noClass, 0 /*non-volatile*/,
                                   reg::kKeyAllAccess, &security, key.Slot(), &disposition));
  return status == reg::kSuccess ? String(u"0") : String();
}

}  // namespace

String RegistryRoutines::CreateKey() {
  try {
    return CreateAt(*api_, hkey_, keyRoot_ + u"\\" + subkey_, security_);
  } catch (...) {
    return String();
  }
}

String RegistryRoutines::CreateKey(Variant& KeyName) {
  try {
    // A name without a text form (Null, the missing marker, a list) names no key:
    // create nothing rather than a key named after a fallback.
    if (KeyName.IsMissing()) return String();
    std::optional<String> name = KeyName.ToText();
    if (!name) return String();
    String path = keyRoot_ + u"\\" + *name;
    // The caller's variable holds the name as text from here on, whatever the outcome.
    KeyName = Variant(std::move(*name));
    return CreateAt(*api_, hkey_, path, security_);
  } catch (...) {
    return String();
  }
}

int32_t RegistryRoutines::DeleteKey(const String& KeyName) {
  try {
    // Subkey plays no part: the argument stands directly below KeyRoot.
    const std::string path = api_->ToAnsi(keyRoot_ + u"\\" + KeyName);
    return api_->RegDeleteKeyA(hkey_, path.c_str());
  } catch (...) {
    return kNotEnoughMemory;
  }
}

int32_t RegistryRoutines::DeleteValue(const String& ValueName) {
  try {
    const std::string path = api_->ToAnsi(ObjectPath());
    const std::string name = api_->ToAnsi(ValueName);
    OpenedKey key(*api_);
    const RegStatus opened =
        key.Keep(api_->RegOpenKeyExA(hkey_, path.c_str(), 0, reg::kKeyAllAccess, key.Slot()));
    if (opened != reg::kSuccess) return opened;
    return api_->RegDeleteValueA(key.handle(), name.c_str());
  } catch (...) {
    return kNotEnoughMemory;
  }
}
