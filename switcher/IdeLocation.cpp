#include "switcher/IdeLocation.h"

#include <algorithm>

#include "registry/RegistryRoutines.h"
#include "switcher/Win32Helpers.h"

namespace switcher {
namespace {

constexpr char16_t kKeyPath[] = u"SOFTWARE\\Microsoft\\VisualStudio\\6.0";
constexpr std::wstring_view kRegistryPlace = L"HKLM\\SOFTWARE\\Microsoft\\VisualStudio\\6.0";

// The text up to its first NUL: what follows is no part of the path any Windows call
// would see (and of a REG_MULTI_SZ list, the first string).
std::wstring Wide(const vbreg::String& text) {
  return std::wstring(text.begin(), std::find(text.begin(), text.end(), u'\0'));
}

}  // namespace

std::wstring IdeFolderFromInstallDir(std::wstring_view installDir) {
  installDir = installDir.substr(0, installDir.find(L'\0'));
  const size_t at = installDir.find(kMarker);
  // Position + 1 characters in the 1-based view: the marker's leading separator stays.
  std::wstring folder(at == std::wstring_view::npos ? std::wstring_view()
                                                    : installDir.substr(0, at + 1));
  return folder += L"VB98";
}

bool IdeLookup::FoundInRegistry() const {
  return installDir && installDir->find(kMarker) != std::wstring::npos;
}

std::wstring IdeLookup::Reason() const {
  if (FoundInRegistry()) return L"";
  if (!keyExists) {
    return L"VB6 was not found on this computer: the registry holds no entry of its setup.";
  }
  if (!installDir) {
    return L"VB6's setup entry in the registry does not say where the IDE is: it has no value "
           L"InstallDir.";
  }
  return Cat(
      {L"VB6's setup entry in the registry names no IDE folder Burnisher knows: its "
       L"InstallDir does not contain \"",
       kMarker, L"\"."});
}

std::wstring IdeLookup::Explanation() const {
  if (FoundInRegistry()) return L"";
  const std::wstring tail = Cat({L"\n\nBurnisher tried the folder \"", folder,
                                 L"\" in the current folder instead:\n", FullPath(folder)});
  if (!keyExists) return Cat({L"The key ", kRegistryPlace, L" does not exist.", tail});
  if (!installDir) return Cat({L"The key ", kRegistryPlace, L" has no value InstallDir.", tail});
  return Cat({L"The value InstallDir of the key ", kRegistryPlace, L" holds \"", *installDir,
              L"\", which does not contain \"", kMarker, L"\".", tail});
}

IdeLookup LookUpIdeFolder(vbreg::RegistryApi& api) {
  vbreg::RegistryRoutines registry(api);
  registry.hkey(vbreg::reg::kLocalMachine);
  registry.KeyRoot(kKeyPath);
  const vbreg::Variant value = registry.GetRegistryValue(u"InstallDir");
  IdeLookup lookup;
  if (!value.IsEmpty()) {
    lookup.installDir = Wide(value.ToText().value_or(vbreg::String()));
  } else {
    // Only a failure report needs to tell a missing setup from a missing value.
    lookup.keyExists = registry.KeyExists();
  }
  lookup.folder = IdeFolderFromInstallDir(lookup.installDir.value_or(L""));
  return lookup;
}

}  // namespace switcher
