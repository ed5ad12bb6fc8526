// Creates a key below HKEY_CURRENT_USER, writes a value there, reads it back, lists
// the key's subkeys and values, and deletes it all again. Exits 0 when every step
// gave what it should.
#include <windows.h>

#include <common/Variant.h>
#include <registry/RegistryRoutines.h>

#include <cstdint>
#include <cstdio>
#include <string>

#include "common.h"

int main() {
  using vbreg::String;
  using vbreg::Variant;
  namespace reg = vbreg::reg;

  const String parent = u"Software\\RegistryRoutinesConsumer";
  String leaf = u"p";
  for (char c : std::to_string(GetCurrentProcessId())) leaf += static_cast<char16_t>(c);
  const int32_t text = reg::kRegSz;

  vbreg::RegistryRoutines registry;  // the system's registry
  registry.hkey(reg::kCurrentUser);
  registry.KeyRoot(parent);
  registry.Subkey(leaf);
  bool ok = Check(registry.CreateKey() == u"0", "CreateKey");
  ok &= Check(registry.KeyExists(), "KeyExists");
  ok &= Check(registry.SetRegistryValue(u"Greeting", Variant(u"hello"), text), "SetRegistryValue");
  ok &= Check(registry.GetRegistryValue(u"Greeting") == Variant(u"hello"), "GetRegistryValue");
  const vbreg::Collection values =
      registry.EnumRegistryValues(reg::kCurrentUser, parent + u"\\" + leaf);
  ok &= Check(values.Count() == 1 && values.Contains(u"GREETING"), "EnumRegistryValues");
  const vbreg::Collection keys = registry.EnumRegistryKeys(reg::kCurrentUser, parent);
  ok &= Check(keys.Contains(leaf), "EnumRegistryKeys");
  ok &= Check(registry.DeleteValue(u"Greeting") == reg::kSuccess, "DeleteValue");
  ok &= Check(registry.DeleteKey(leaf) == reg::kSuccess && !registry.KeyExists(), "DeleteKey");
  // The shared parent goes too, unless another run still has a key below it.
  registry.KeyRoot(u"Software");
  registry.DeleteKey(u"RegistryRoutinesConsumer");
  std::printf("consumer: %s\n", ok ? "every step gave what it should" : "a step failed");
  return ok ? 0 : 1;
}
