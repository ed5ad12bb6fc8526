// The object's own state, and reading and writing one value at its location.

#include "registry/RegistryRoutines.h"

#include <utility>

#include "registry/Key.h"
#include "registry/NoThrow.h"
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
  // What stands where nothing is decoded, even when a step failed.
  const auto fallback = [&] {
    return DefaultValue.IsMissing() ? Variant() : Guard(Variant(), [&] { return DefaultValue; });
  };
  return Guard(fallback, [&] {
    const Key key = Key::Open(*api_, hkey_, api_->ToAnsi(ObjectPath()), reg::kKeyRead);
    if (key) {
      if (std::optional<Variant> decoded = codec::QueryValue(*api_, key.get(), ValueName)) {
        return std::move(*decoded);
      }
    }
    return fallback();
  });
}

bool RegistryRoutines::SetRegistryValue(const String& ValueName, const Variant& value,
                                        const int32_t& DType) {
  return Guard(false, [&] {
    // Write access to an existing key only: the writer never creates a key.
    const Key key = Key::Open(*api_, hkey_, api_->ToAnsi(ObjectPath()), reg::kKeyWrite);
    return key && codec::WriteValue(*api_, key.get(), ValueName, value, DType);
  });
}

String RegistryRoutines::TrimNull(String& item) {
  const auto nul = item.find(u'\0');
  if (nul != String::npos) item.erase(nul);
  return item;
}

}  // namespace vbreg
