// The key maintenance members: KeyExists, CreateKey, DeleteKey and DeleteValue.

#include <optional>
#include <string>

#include "registry/Key.h"
#include "registry/NoThrow.h"
#include "registry/RegistryRoutines.h"

namespace vbreg {

namespace {

// "0" when root\path was created or opened, else the empty string: the failing status
// is not reported, so that a caller never mistakes it for success.
String Created(RegistryApi& api, RegHandle root, const String& path,
               const RegSecurityAttributes& security) {
  return Key::Create(api, root, api.ToAnsi(path), security) ? String(u"0") : String();
}

}  // namespace

bool RegistryRoutines::KeyExists() {
  return Guard(false, [&] {
    return static_cast<bool>(Key::Open(*api_, hkey_, api_->ToAnsi(ObjectPath()), reg::kKeyRead));
  });
}

String RegistryRoutines::CreateKey() {
  return Guard(String(), [&] { return Created(*api_, hkey_, ObjectPath(), security_); });
}

String RegistryRoutines::CreateKey(Variant& KeyName) {
  return Guard(String(), [&] { return CreateNamed(KeyName, &KeyName); });
}

String RegistryRoutines::CreateKey(const Variant& KeyName) {
  // A temporary or constant name: resolved the same way, with nothing to write back to.
  return Guard(String(), [&] { return CreateNamed(KeyName, nullptr); });
}

String RegistryRoutines::CreateNamed(const Variant& KeyName, Variant* resolved) {
  // The missing marker is a name not given: Subkey, as without an argument. The
  // marker stays in the caller's variable, as an omitted argument has none.
  if (KeyName.IsMissing()) return Created(*api_, hkey_, ObjectPath(), security_);
  // A name without a text form (Null, a list) names no key: create nothing rather
  // than a key named after a fallback.
  std::optional<String> name = KeyName.ToText();
  if (!name) return String();
  const String path = keyRoot_ + u"\\" + *name;
  // The caller's variable holds the name as text from here on, whatever the outcome.
  if (resolved != nullptr) *resolved = Variant(std::move(*name));
  return Created(*api_, hkey_, path, security_);
}

int32_t RegistryRoutines::DeleteKey(const String& KeyName) {
  // Subkey plays no part: the argument stands directly below KeyRoot. A path that does
  // not convert deletes nothing, and the status says why.
  return Guard(FailureStatus, [&] {
    return api_->RegDeleteKeyA(hkey_, api_->ToAnsi(keyRoot_ + u"\\" + KeyName).c_str());
  });
}

int32_t RegistryRoutines::DeleteValue(String& ValueName) {
  return Guard(FailureStatus, [&] { return DeleteNamed(ValueName, &ValueName); });
}

int32_t RegistryRoutines::DeleteValue(const String& ValueName) {
  return Guard(FailureStatus, [&] { return DeleteNamed(ValueName, nullptr); });
}

RegStatus RegistryRoutines::DeleteNamed(const String& ValueName, String* carried) {
  // Both texts are converted before anything is opened, so a failed conversion
  // touches nothing.
  const std::string path = api_->ToAnsi(ObjectPath());
  const std::string name = api_->ToAnsi(ValueName);
  const Key key = Key::Open(*api_, hkey_, path, reg::kKeyAllAccess);
  if (!key) return key.status();
  const RegStatus deleted = api_->RegDeleteValueA(key.get(), name.c_str());
  // The name the registry was given, back in the caller's variable. A name that does
  // not convert back leaves the variable as it was.
  if (carried != nullptr) {
    if (std::optional<String> back = TextFromAnsi(*api_, name)) *carried = std::move(*back);
  }
  return deleted;
}

}  // namespace vbreg
