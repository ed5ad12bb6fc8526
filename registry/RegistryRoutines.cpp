#include "registry/RegistryRoutines.h"

#include <utility>

#include "registry/KeyHandle.h"
#include "registry/ValueCodec.h"

namespace vbreg {

#ifdef _WIN32
RegistryRoutines::RegistryRoutines() : api_(&PlatformRegistry()) {}
#endif

RegistryRoutines::RegistryRoutines(RegistryApi& api) : api_(&api) {}

RegHandle RegistryRoutines::hkey() const { return hkey_; }
void RegistryRoutines::hkey(RegHandle vData) { hkey_ = vData; }
String RegistryRoutines::KeyRoot() const { return keyRoot_; }
void RegistryRoutines::KeyRoot(String vData) { keyRoot_ = std::move(vData); }
String RegistryRoutines::Subkey() const { return subkey_; }
void RegistryRoutines::Subkey(String vData) { subkey_ = std::move(vData); }

// The separator is always inserted and nothing is normalised: an empty Subkey gives
// a trailing "\", an empty KeyRoot a leading one, exactly as callers wrote them.
String RegistryRoutines::ObjectPath() const {
  String path;
  path.reserve(keyRoot_.size() + 1 + subkey_.size());
  return path.append(keyRoot_).append(1, u'\\').append(subkey_);
}

Variant RegistryRoutines::GetRegistryValue(const String& ValueName, const Variant& DefaultValue) {
  Variant result = DefaultValue.IsMissing() ? Variant() : DefaultValue;
  try {
    KeyHandle key(*api_);
    const std::string path = api_->ToAnsi(ObjectPath());
    key.Adopt(api_->RegOpenKeyExA(hkey_, path.c_str(), 0, reg::kKeyRead, key.Out()) ==
              reg::kSuccess);
    if (!key) return result;
    if (auto decoded = codec::QueryValue(*api_, key.get(), ValueName)) {
      result = std::move(*decoded);
    }
  } catch (...) {
    // Nothing escapes the class; what was decided before the failure stands.
  }
  return result;
}

String RegistryRoutines::TrimNull(String& item) {
  const auto nul = item.find(u'\0');
  if (nul != String::npos) item.erase(nul);
  return item;
}

}  // namespace vbreg
