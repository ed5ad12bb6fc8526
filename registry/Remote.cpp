// Reading and writing one value in another computer's registry. Only the way to
// the key differs from the local members: the data is read with the local reader's
// decoding and written with the local writer's encoding.

#include "registry/KeyHandle.h"
#include "registry/RegistryRoutines.h"
#include "registry/ValueCodec.h"

namespace vbreg {

namespace {

// Connects to `root` on `computer`, then opens `path` below it with full access.
// The connection outlives the key and is closed after it (members are destroyed in
// reverse order).
struct RemoteKey {
  RemoteKey(RegistryApi& api, const std::string& computer, RegHandle root, const std::string& path)
      : connection(api), key(api) {
    connected = api.RegConnectRegistryA(computer.c_str(), root, connection.Out()) == reg::kSuccess;
    connection.Adopt(connected);
    if (!connected) return;
    key.Adopt(api.RegOpenKeyExA(connection.get(), path.c_str(), 0, reg::kKeyAllAccess, key.Out()) ==
              reg::kSuccess);
  }
  KeyHandle connection;
  KeyHandle key;
  bool connected = false;
};

}  // namespace

Variant RegistryRoutines::ReadRemoteRegistryValue(const String& sRemoteComputer, RegHandle hkey,
                                                  const String& ValueName,
                                                  const std::optional<String>& KeyPath) {
  Variant result;
  try {
    const std::string path = api_->ToAnsi(KeyPath ? *KeyPath : ObjectPath());
    RemoteKey remote(*api_, api_->ToAnsi(sRemoteComputer), hkey, path);
    if (!remote.connected) return Variant(u"Error!");
    if (!remote.key) return result;
    if (auto decoded = codec::QueryValue(*api_, remote.key.get(), ValueName)) {
      result = std::move(*decoded);
    }
  } catch (...) {
    // Nothing escapes the class.
  }
  return result;
}

bool RegistryRoutines::WriteRemoteRegistryValue(const String& sRemoteComputer, RegHandle hkey,
                                                const String& ValueName, const Variant& value,
                                                const int32_t& DType,
                                                const std::optional<String>& KeyPath) {
  try {
    const std::string path = api_->ToAnsi(KeyPath ? *KeyPath : ObjectPath());
    RemoteKey remote(*api_, api_->ToAnsi(sRemoteComputer), hkey, path);
    if (!remote.key) return false;
    return codec::WriteValue(*api_, remote.key.get(), ValueName, value, DType);
  } catch (...) {
    return false;
  }
}

}  // namespace vbreg
