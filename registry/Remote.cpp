// Reading and writing one value in another computer's registry. Only the way to the
// key differs from the local members: the data is read with the local reader's
// decoding and written with the local writer's encoding.

#include "registry/Key.h"
#include "registry/NoThrow.h"
#include "registry/RegistryRoutines.h"
#include "registry/ValueCodec.h"

namespace vbreg {

Variant RegistryRoutines::ReadRemoteRegistryValue(const String& sRemoteComputer, RegHandle hkey,
                                                  const String& ValueName,
                                                  const std::optional<String>& KeyPath) {
  return Guard(Variant(), [&] {
    const std::string path = api_->ToAnsi(KeyPath ? *KeyPath : ObjectPath());
    // The connection outlives the key opened through it: locals go in reverse order.
    const Key connection = Key::Connect(*api_, api_->ToAnsi(sRemoteComputer), hkey);
    if (!connection) return Variant(u"Error!");
    const Key key = Key::Open(*api_, connection.get(), path, reg::kKeyAllAccess);
    if (!key) return Variant();
    return codec::QueryValue(*api_, key.get(), ValueName).value_or(Variant());
  });
}

bool RegistryRoutines::WriteRemoteRegistryValue(const String& sRemoteComputer, RegHandle hkey,
                                                const String& ValueName, const Variant& value,
                                                const int32_t& DType,
                                                const std::optional<String>& KeyPath) {
  return Guard(false, [&] {
    const std::string path = api_->ToAnsi(KeyPath ? *KeyPath : ObjectPath());
    const Key connection = Key::Connect(*api_, api_->ToAnsi(sRemoteComputer), hkey);
    if (!connection) return false;
    const Key key = Key::Open(*api_, connection.get(), path, reg::kKeyAllAccess);
    return key && codec::WriteValue(*api_, key.get(), ValueName, value, DType);
  });
}

}  // namespace vbreg
