#pragma once
// Where the VB6 IDE lives, as VB6's setup left it in the registry, and what the user
// reads when the registry gives no folder.
#ifdef _WIN32

#include <optional>
#include <string>
#include <string_view>

#include "platform/RegistryApi.h"

namespace switcher {

inline constexpr std::wstring_view kMarker = L"\\Common\\IDE\\IDE98";
inline constexpr std::wstring_view kManifestName = L"\\VB6.EXE.Manifest";
inline constexpr std::wstring_view kIdeExe = L"VB6.EXE";

// The IDE folder for an "InstallDir" value: everything before the first
// case-sensitive "\Common\IDE\IDE98" (its leading separator kept), then "VB98".
// Without the marker the result is the bare relative "VB98". The value counts up to
// its first NUL, as every Windows call taking it as a path would read it (a REG_MULTI_SZ
// list is its first string).
std::wstring IdeFolderFromInstallDir(std::wstring_view installDir);
// The folder a "ProductDir" value names: up to its first NUL, a trailing separator
// trimmed (a drive's root keeps its own).
std::wstring FolderFromProductDir(std::wstring_view productDir);
// Whether `folder` holds a file VB6.EXE (a folder of that name does not count).
bool HoldsIde(const std::wstring& folder);

// One lookup of the IDE folder: what the registry held and the folder it gave. The
// folder is the one InstallDir names when it holds a VB6.EXE; else the one ProductDir
// names when that does; else InstallDir's all the same, the relative "VB98" when the
// registry names none.
struct IdeLookup {
  std::optional<std::wstring> installDir;  // the value's text; empty optional when it is missing
  std::optional<std::wstring> productDir;  // asked only when InstallDir's folder holds no VB6.EXE
  bool keyExists = true;  // whether VB6's setup left its key at all (asked only without a value)
  std::wstring folder;
  bool named = false;     // whether the registry named the folder (else it is the relative "VB98")
  bool holdsIde = false;  // whether the folder held a VB6.EXE when it was looked up

  // For the first line of a failure report: why the registry gave no folder, in the
  // user's words; empty when it gave one.
  std::wstring Reason() const;
  // For a failure report's details: where the registry was asked, what it held and the
  // full folder that was tried; empty when the registry gave a folder with VB6.EXE in it.
  std::wstring Explanation() const;
};

// Looks the folder up afresh in `api`, through a RegistryRoutines object of its own
// that lives only as long as the lookup.
IdeLookup LookUpIdeFolder(vbreg::RegistryApi& api);

}  // namespace switcher

#endif  // _WIN32
