#pragma once
// The decisions behind Burnisher's window, kept apart from the window so that tests
// can drive them directly: where the VB6 IDE lives, whether its manifest is there,
// and the one file operation each button performs.
#ifdef _WIN32

#include <windows.h>

#include <optional>
#include <string>
#include <string_view>

#include "platform/FileApi.h"
#include "registry/RegistryRoutines.h"

namespace switcher {

inline constexpr std::wstring_view kMarker = L"\\Common\\IDE\\IDE98";
inline constexpr std::wstring_view kLeaf = L"VB98";
inline constexpr std::wstring_view kManifestName = L"\\VB6.EXE.Manifest";
inline constexpr std::wstring_view kReopenMessage = L"Reopen the VB6 IDE now...";
inline constexpr std::wstring_view kTitle = L"Burnisher";
inline constexpr char16_t kKeyPath[] = u"SOFTWARE\\Microsoft\\VisualStudio\\6.0";
inline constexpr char16_t kValueName[] = u"InstallDir";
inline constexpr std::wstring_view kRegistryPlace = L"HKLM\\SOFTWARE\\Microsoft\\VisualStudio\\6.0";

// The IDE folder for an "InstallDir" value: everything before the first
// case-sensitive "\Common\IDE\IDE98" (its leading separator kept), then "VB98".
// Without the marker the result is the bare relative "VB98". The value counts up to
// its first NUL, as every Windows call taking it as a path would read it (a REG_MULTI_SZ
// list is its first string).
std::wstring IdeFolderFromInstallDir(std::wstring_view installDir);

// Whether `path` names a normal file: hidden, system and directory entries do not
// count, read-only and archive files do.
bool IsNormalFile(const std::wstring& path);

// The full path of `path`, resolved against the current folder when it is relative;
// `path` itself when the system cannot resolve it.
std::wstring FullPath(const std::wstring& path);

// The folder of the running executable, without a trailing separator.
std::wstring ExeFolder();

// The system's own text for a Win32 error number, without the trailing line break.
std::wstring SystemErrorText(DWORD error);

// Whether `path` lies in one of Windows' device namespaces ("\\?\", "\\.\", "\??\"),
// where no path rules apply and any device can be named.
bool IsDevicePath(std::wstring_view path);

// What a button's file operation came to.
struct Outcome {
  DWORD error = ERROR_SUCCESS;  // the Win32 error of the failed step; 0 on success
  std::wstring report;          // for the user when it failed: operation, path(s), system text
  bool ok() const { return error == ERROR_SUCCESS; }
};

// One lookup of the IDE folder: what the registry held and the folder it gave.
struct IdeLookup {
  std::optional<std::wstring> installDir;  // the value's text; empty optional when it is missing
  bool keyExists = true;  // whether VB6's setup left its key at all (asked only without a value)
  std::wstring folder;

  // Whether the folder came from the registry (the value holds the marker); when it
  // did not, the folder is the relative "VB98" and failures need the reason told.
  bool FoundInRegistry() const;
  // For the first line of a failure report: why the registry gave no folder, in the
  // user's words; empty when it gave one.
  std::wstring Reason() const;
  // For a failure report's details: where the registry was asked, what it held and
  // the full folder that was tried; empty when the registry gave the folder.
  std::wstring Explanation() const;
};

// The switcher's logic for one window. Every lookup of the IDE folder uses a fresh
// RegistryRoutines object, held only while the lookup runs.
class Switcher {
 public:
  // `api`: the registry to read; `sourceFolder`: where the shipped manifest lies
  // (Burnisher's own folder in the program); `files`: the file calls in the IDE folder.
  Switcher(vbreg::RegistryApi& api, std::wstring sourceFolder,
           files::FileApi& files = files::PlatformFiles());

  std::wstring GetIdeFolder();
  IdeLookup LookUpIdeFolder();
  bool IsManifestInstalled();
  // Copies the shipped manifest into the IDE folder as a normal file, replacing one
  // that is there whatever its attributes. The copy goes to a temporary file beside
  // the destination first and is then moved over it in one step, so a failure at any
  // point leaves an existing manifest as it was.
  //
  // Both operations hold the IDE folder open while they run and change only its own
  // files: a folder or file that is a link, or a file with a second name elsewhere, is
  // refused before anything changes, with a report that names it.
  Outcome Install();
  // Deletes the manifest from the IDE folder, read-only, hidden or system as it may be.
  Outcome Remove();

 private:
  struct Place;
  // Opens the IDE folder and the VB6.EXE in it for one operation; the refusal's first
  // report line in `refusal` when either must not be touched.
  DWORD Enter(const IdeLookup& lookup, Place& place, std::wstring& refusal);
  // Opens `name` in the held folder; the refusal in `refusal` when it is a link or has
  // another name.
  DWORD OpenOwn(const Place& place, std::wstring_view name, DWORD access, files::Handle& file,
                files::Info& info, std::wstring& refusal);

  vbreg::RegistryApi& api_;
  files::FileApi& files_;
  std::wstring sourceFolder_;
  std::optional<vbreg::RegistryRoutines> registry_;  // engaged only inside GetIdeFolder
};

}  // namespace switcher

#endif  // _WIN32
