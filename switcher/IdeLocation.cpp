#include "switcher/IdeLocation.h"

#include <algorithm>

#include "registry/RegistryRoutines.h"
#include "switcher/Win32Helpers.h"

namespace switcher {
namespace {

constexpr char16_t kKeyPath[] = u"SOFTWARE\\Microsoft\\VisualStudio\\6.0";
constexpr char16_t kSetupKeyPath[] =
    u"SOFTWARE\\Microsoft\\VisualStudio\\6.0\\Setup\\Microsoft Visual Basic";
constexpr std::wstring_view kRegistryPlace = L"HKLM\\SOFTWARE\\Microsoft\\VisualStudio\\6.0";
constexpr std::wstring_view kSetupPlace =
    L"HKLM\\SOFTWARE\\Microsoft\\VisualStudio\\6.0\\Setup\\Microsoft Visual Basic";

// The text up to its first NUL: what follows is no part of the path any Windows call
// would see (and of a REG_MULTI_SZ list, the first string).
std::wstring Wide(const vbreg::String& text) {
  return std::wstring(text.begin(), std::find(text.begin(), text.end(), u'\0'));
}

// The value `name` of the object's key as text; empty when it is missing.
std::optional<std::wstring> ReadText(vbreg::RegistryRoutines& registry, const char16_t* name) {
  const vbreg::Variant value = registry.GetRegistryValue(name);
  if (value.IsEmpty()) return std::nullopt;
  return Wide(value.ToText().value_or(vbreg::String()));
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

std::wstring FolderFromProductDir(std::wstring_view productDir) {
  productDir = productDir.substr(0, productDir.find(L'\0'));
  const bool trailing =
      !productDir.empty() && (productDir.back() == L'\\' || productDir.back() == L'/');
  // "C:" alone would be the current folder of drive C, not its root.
  if (trailing && !(productDir.size() == 3 && productDir[1] == L':')) productDir.remove_suffix(1);
  return std::wstring(productDir);
}

bool HoldsIde(const std::wstring& folder) {
  if (folder.empty() || IsDevicePath(folder)) return false;
  const DWORD attributes = GetFileAttributesW(Cat({folder, L"\\", kIdeExe}).c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
}

std::wstring IdeLookup::Reason() const {
  if (named) return L"";
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
  if (named && holdsIde) return L"";
  std::wstring text;
  if (!keyExists) {
    text = Cat({L"The key ", kRegistryPlace, L" does not exist."});
  } else if (!installDir) {
    text = Cat({L"The key ", kRegistryPlace, L" has no value InstallDir."});
  } else if (installDir->find(kMarker) == std::wstring::npos) {
    text = Cat({L"The value InstallDir of the key ", kRegistryPlace, L" holds \"", *installDir,
                L"\", which does not contain \"", kMarker, L"\"."});
  } else {
    text = Cat({L"The value InstallDir of the key ", kRegistryPlace, L" names the folder \"",
                IdeFolderFromInstallDir(*installDir), L"\", which holds no VB6.EXE."});
  }
  text += productDir && !productDir->empty()
              ? Cat({L"\nThe value ProductDir of the key ", kSetupPlace, L" names the folder \"",
                     *productDir, L"\", which holds no VB6.EXE."})
              : Cat({L"\nThe key ", kSetupPlace, L" has no value ProductDir."});
  if (!named) {
    text += Cat({L"\n\nBurnisher tried the folder \"", folder,
                 L"\" in the current folder instead:\n", FullPath(folder)});
  }
  return text;
}

IdeLookup LookUpIdeFolder(vbreg::RegistryApi& api) {
  vbreg::RegistryRoutines registry(api);
  registry.hkey(vbreg::reg::kLocalMachine);
  registry.KeyRoot(kKeyPath);
  IdeLookup lookup;
  lookup.installDir = ReadText(registry, u"InstallDir");
  // Only a failure report needs to tell a missing setup from a missing value.
  if (!lookup.installDir) lookup.keyExists = registry.KeyExists();
  lookup.folder = IdeFolderFromInstallDir(lookup.installDir.value_or(L""));
  lookup.named = lookup.installDir && lookup.installDir->find(kMarker) != std::wstring::npos;
  lookup.holdsIde = lookup.named && HoldsIde(lookup.folder);
  if (lookup.holdsIde) return lookup;
  // VB6's own setup names its folder here too; a setup without the shared IDE part, or
  // a repair that lost InstallDir, may have left only this.
  registry.KeyRoot(kSetupKeyPath);
  const std::optional<std::wstring> product = ReadText(registry, u"ProductDir");
  if (product) lookup.productDir = FolderFromProductDir(*product);
  if (lookup.productDir && HoldsIde(*lookup.productDir)) {
    lookup.folder = *lookup.productDir;
    lookup.named = lookup.holdsIde = true;
    return lookup;
  }
  // Neither names a folder with the IDE in it: InstallDir's folder, as it always was.
  lookup.holdsIde = HoldsIde(lookup.folder);
  return lookup;
}

}  // namespace switcher
