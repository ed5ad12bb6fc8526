#pragma once
// RegistryRoutines: names a registry key by a root key (hkey) and a two-part key
// path (KeyRoot, then Subkey) and reads, writes, creates, deletes and enumerates
// there, or reads and writes one value in another computer's registry.
//
// No member throws: every failure shows only in the result. No registry handle is
// part of the object; each call closes what it opened before it returns (a handle
// passed in by the caller is never closed).

#include <cstdint>
#include <optional>
#include <string>

#include "common/Collection.h"
#include "common/Variant.h"
#include "platform/RegistryApi.h"

namespace vbreg {

class RegistryRoutines {
 public:
#ifdef _WIN32
  RegistryRoutines();  // the system's registry (advapi32)
#endif
  explicit RegistryRoutines(RegistryApi& api);  // any implementation, e.g. a stand-in

  RegHandle hkey() const;
  void hkey(RegHandle vData);
  String KeyRoot() const;
  void KeyRoot(String vData);
  String Subkey() const;
  void Subkey(String vData);

  // True when KeyRoot\Subkey opens for reading.
  bool KeyExists();
  // Creates (or opens) KeyRoot\Subkey, or KeyRoot\KeyName; "0" on success, else "".
  // The resolved name is written back into KeyName as text when the caller passed a
  // modifiable variable; the missing marker stands for no name (Subkey) and stays.
  String CreateKey();
  String CreateKey(Variant& KeyName);
  String CreateKey(const Variant& KeyName);
  // Deletes KeyRoot\KeyName (one key, no subkeys); the status of the deletion.
  int32_t DeleteKey(const String& KeyName);
  // Deletes one value of KeyRoot\Subkey; the open's status when it failed, else the deletion's.
  // Once the deletion is asked for, ValueName holds the name as the code page carried
  // it (a character the code page lacks comes back as its substitute); a temporary or
  // constant name has nothing to write back to.
  int32_t DeleteValue(String& ValueName);
  int32_t DeleteValue(const String& ValueName);

  // The names of the immediate subkeys / the values of hkey\KeyName (the object's
  // own state is not used), each stored under its own name.
  Collection EnumRegistryKeys(RegHandle hkey, const String& KeyName);
  Collection EnumRegistryValues(RegHandle hkey, const String& KeyName);

  // One value of KeyRoot\Subkey, decoded by its type; DefaultValue (or Empty when
  // it is missing) where nothing is decoded.
  Variant GetRegistryValue(const String& ValueName,
                           const Variant& DefaultValue = Variant::Missing());
  // Stores one value in the existing key KeyRoot\Subkey as type DType.
  bool SetRegistryValue(const String& ValueName, const Variant& value, const int32_t& DType);

  // One value from the registry of sRemoteComputer: "Error!" when the connection
  // fails, Empty on other failures. KeyPath absent: KeyRoot\Subkey.
  Variant ReadRemoteRegistryValue(const String& sRemoteComputer, RegHandle hkey,
                                  const String& ValueName,
                                  const std::optional<String>& KeyPath = std::nullopt);
  bool WriteRemoteRegistryValue(const String& sRemoteComputer, RegHandle hkey,
                                const String& ValueName, const Variant& value, const int32_t& DType,
                                const std::optional<String>& KeyPath = std::nullopt);

  // Cuts item at its first NUL character, in place; returns the new content.
  static String TrimNull(String& item);

 private:
  String ObjectPath() const;  // KeyRoot + "\" + Subkey, unchanged
  // CreateKey and DeleteValue with a name: what the registry was given goes back
  // through the pointer when the caller passed a variable to take it.
  String CreateNamed(const Variant& KeyName, Variant* resolved);
  RegStatus DeleteNamed(const String& ValueName, String* carried);

  RegistryApi* api_;
  RegHandle hkey_ = 0;
  String keyRoot_;
  String subkey_;
  RegSecurityAttributes security_{};
};

}  // namespace vbreg
