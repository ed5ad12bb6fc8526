// Writing one value and the key maintenance members of RegistryRoutines: KeyExists,
// CreateKey, DeleteKey, DeleteValue. Each call closes what it opened, on every path.

#include <cstdint>
#include <optional>
#include <string>

#include "registry/KeyHandle.h"
#include "registry/RegistryRoutines.h"
#include "registry/ValueCodec.h"

namespace vbreg {

namespace {

// ERROR_NOT_ENOUGH_MEMORY: what a status-returning member reports when it could not
// even build its arguments for another reason than a failed conversion.
constexpr int32_t kNotEnoughMemory = 8;

}  // namespace

bool RegistryRoutines::SetRegistryValue(const String& ValueName, const Variant& value,
                                        const int32_t& DType) {
  try {
    const std::string path = api_->ToAnsi(ObjectPath());
    KeyHandle key(*api_);
    // Write access to an existing key only: the writer never creates a key.
    key.Adopt(api_->RegOpenKeyExA(hkey_, path.c_str(), 0, reg::kKeyWrite, key.Out()) ==
              reg::kSuccess);
    if (!key) return false;
    return codec::WriteValue(*api_, key.get(), ValueName, value, DType);
  } catch (...) {
    return false;
  }
}

bool RegistryRoutines::KeyExists() {
  try {
    const std::string path = api_->ToAnsi(ObjectPath());
    KeyHandle key(*api_);
    key.Adopt(api_->RegOpenKeyExA(hkey_, path.c_str(), 0, reg::kKeyRead, key.Out()) ==
              reg::kSuccess);
    return static_cast<bool>(key);
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
  KeyHandle key(api);
  key.Adopt(api.RegCreateKeyExA(root, ansiPath.c_str(), 0, noClass, 0 /*non-volatile*/,
                                reg::kKeyAllAccess, &security, key.Out(),
                                &disposition) == reg::kSuccess);
  return key ? String(u"0") : String();
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
    // The missing marker is a name not given: Subkey, as without an argument. The
    // marker stays in the caller's variable, as an omitted argument has none.
    if (KeyName.IsMissing()) return CreateKey();
    // A name without a text form (Null, a list) names no key: create nothing
    // rather than a key named after a fallback.
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

String RegistryRoutines::CreateKey(const Variant& KeyName) {
  try {
    // A temporary or constant name: resolved the same way, with nothing to write back to.
    Variant name(KeyName);
    return CreateKey(name);
  } catch (...) {
    return String();
  }
}

int32_t RegistryRoutines::DeleteKey(const String& KeyName) {
  try {
    // Subkey plays no part: the argument stands directly below KeyRoot.
    const std::string path = api_->ToAnsi(keyRoot_ + u"\\" + KeyName);
    return api_->RegDeleteKeyA(hkey_, path.c_str());
  } catch (const ansi::ConversionError& e) {
    // The path did not convert: nothing is deleted, and the status says why.
    return e.status();
  } catch (...) {
    return kNotEnoughMemory;
  }
}

int32_t RegistryRoutines::DeleteValue(String& ValueName) {
  try {
    const std::string path = api_->ToAnsi(ObjectPath());
    const std::string name = api_->ToAnsi(ValueName);
    KeyHandle key(*api_);
    const RegStatus opened =
        api_->RegOpenKeyExA(hkey_, path.c_str(), 0, reg::kKeyAllAccess, key.Out());
    key.Adopt(opened == reg::kSuccess);
    if (!key) return opened;
    // The key is closed whatever the deletion answered.
    const RegStatus deleted = api_->RegDeleteValueA(key.get(), name.c_str());
    // The name the registry was given, back in the caller's variable. A name that
    // does not convert back leaves the variable as it was.
    try {
      ValueName = api_->FromAnsi(name);
    } catch (const ansi::ConversionError&) {
    }
    return deleted;
  } catch (const ansi::ConversionError& e) {
    // Both texts are converted before anything is opened, so nothing was touched.
    return e.status();
  } catch (...) {
    return kNotEnoughMemory;
  }
}

int32_t RegistryRoutines::DeleteValue(const String& ValueName) {
  try {
    String name(ValueName);
    return DeleteValue(name);
  } catch (...) {
    return kNotEnoughMemory;
  }
}

}  // namespace vbreg
