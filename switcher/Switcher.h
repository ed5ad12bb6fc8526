#pragma once
// Whether the VB6 IDE's manifest is there, and the one file operation each of
// Burnisher's buttons performs, kept apart from the window so that tests can drive
// them directly.
#ifdef _WIN32

#include <windows.h>

#include <string>

#include "platform/RegistryApi.h"
#include "switcher/FileApi.h"
#include "switcher/IdeLocation.h"
#include "switcher/Win32Helpers.h"

namespace switcher {

// What a button's file operation came to.
struct Outcome {
  DWORD error = ERROR_SUCCESS;  // the Win32 error of the failed step; 0 on success
  std::wstring report;          // for the user when it failed: operation, path(s), system text
  // The full path under which a manifest that was not Burnisher's now lies in the IDE
  // folder (VB6.EXE.Manifest.bak, .bak2, ...); empty when none was kept.
  std::wstring kept;
  // After an install: VB6.EXE carries a manifest of its own, which this Windows takes
  // instead of the file beside it, so the IDE keeps its look.
  bool embeddedWins = false;
  bool ok() const { return error == ERROR_SUCCESS; }
};

// The switcher's logic for one window. Every question looks the IDE folder up afresh.
class Switcher {
 public:
  // `api`: the registry to read; `sourceFolder`: where the shipped manifest lies
  // (Burnisher's own folder in the program); `files`: the file calls in the IDE folder.
  Switcher(vbreg::RegistryApi& api, std::wstring sourceFolder,
           files::FileApi& files = files::PlatformFiles());

  std::wstring GetIdeFolder();
  bool IsManifestInstalled();
  // Copies the shipped manifest into the IDE folder as a normal file. The copy goes to a
  // temporary file beside the destination first and is then moved over it in one step,
  // so a failure at any point leaves an existing manifest as it was. A folder without
  // VB6.EXE is refused: the file would change nothing.
  //
  // Both operations hold the IDE folder open while they run and change only its own
  // files: a folder or file that is a link, or a file with a second name elsewhere, is
  // refused before anything changes, with a report that names it. A manifest there
  // whose bytes are not the shipped one's (someone else's) is never lost: it is renamed
  // to the first free name of VB6.EXE.Manifest.bak, .bak2, ... first (Outcome::kept).
  Outcome Install();
  // Deletes the manifest from the IDE folder, read-only, hidden or system as it may be;
  // someone else's is kept instead, as above.
  Outcome Remove();

 private:
  vbreg::RegistryApi& api_;
  files::FileApi& files_;
  std::wstring sourceFolder_;
};

}  // namespace switcher

#endif  // _WIN32
