#include "switcher/Switcher.h"

#include <utility>

namespace switcher {
namespace {

constexpr std::wstring_view kIdeExe = L"VB6.EXE";
constexpr std::wstring_view kManifest = kManifestName.substr(1);
constexpr std::wstring_view kIsALink = L"\" is a link (a reparse point)";
constexpr std::wstring_view kChangedNothing = L", so Burnisher changed nothing.";
constexpr DWORD kStrayAttributes =
    FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM;

// Whether the folder reached (FileApi::FinalPath) is the folder named, in its full and
// long form (a setup may have written short names), letter case aside. XP gives only
// the path on the volume: there the named path has to end with it, and a link higher
// up to another volume's folder of the same path goes unseen.
bool SameFolder(const std::wstring& reached, const std::wstring& named) {
  wchar_t expected[MAX_PATH];
  DWORD n = GetFullPathNameW(named.c_str(), MAX_PATH, expected, nullptr);
  if (n == 0 || n >= MAX_PATH) return false;
  const DWORD longer = GetLongPathNameW(expected, expected, MAX_PATH);
  if (longer != 0 && longer < MAX_PATH) n = longer;
  size_t from = 0;
  if (reached.size() > 1 && reached[0] == L'\\' && reached[1] != L'\\') {
    if (n < reached.size()) return false;
    from = n - reached.size();
  }
  return lstrcmpiW(expected + from, reached.c_str()) == 0;
}

// The IDE folder held open for one operation, so that it can be neither renamed nor
// replaced while the operation runs, and the VB6.EXE in it when there is one. Each call
// answers a Win32 error, 0 on success.
struct HeldFolder {
  files::FileApi& files;
  std::wstring path;
  files::Handle folder;
  files::Handle ide;
  std::wstring refusal;  // why the operation was refused, for the report's first line

  // Opens the folder `named` and its VB6.EXE, refused when either must not be touched.
  DWORD Enter(const std::wstring& named) {
    path = named;
    if (IsDevicePath(path)) {
      refusal = Cat({L"VB6's setup entry in the registry names the IDE folder \"", path,
                     L"\" in a device namespace", kChangedNothing});
      return ERROR_ACCESS_DENIED;
    }
    DWORD error = files.OpenFolder(path, folder);
    // The folder itself is missing: its path, not a file in it, was not found.
    if (error == ERROR_FILE_NOT_FOUND) return ERROR_PATH_NOT_FOUND;
    files::Info info;
    if (error == ERROR_SUCCESS) error = files.Query(folder.get(), info);
    if (error != ERROR_SUCCESS) return error;
    if ((info.attributes & FILE_ATTRIBUTE_DIRECTORY) == 0) return ERROR_DIRECTORY;
    std::wstring reached;
    if ((info.attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0) {
      refusal = Cat({L"The IDE folder \"", path, kIsALink, kChangedNothing});
    } else if (files.FinalPath(folder.get(), reached) == ERROR_SUCCESS &&
               !SameFolder(reached, path)) {
      refusal = Cat({L"The IDE folder \"", path, L"\" leads to another folder, \"", reached, L"\"",
                     kChangedNothing});
    }
    if (!refusal.empty()) return ERROR_ACCESS_DENIED;
    files::Info exe;
    error = OpenOwn(kIdeExe, FILE_READ_ATTRIBUTES | FILE_WRITE_ATTRIBUTES, ide, exe, refusal);
    return error == ERROR_FILE_NOT_FOUND ? ERROR_SUCCESS : error;
  }

  // Opens `name` in the folder, refused (the reason in `why`) when changing it would
  // change a file elsewhere: through a link, or through a second name.
  DWORD OpenOwn(std::wstring_view name, DWORD access, files::Handle& file, files::Info& info,
                std::wstring& why) {
    DWORD error = files.Open(folder.get(), name, access,
                             FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                             files::Disposition::kOpen, file);
    if (error == ERROR_SUCCESS) error = files.Query(file.get(), info);
    if (error != ERROR_SUCCESS) return error;
    const std::wstring_view what = (info.attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0 ? kIsALink
                                   : info.links > 1 ? L"\" is also a file elsewhere (hard links)"
                                                    : L"";
    if (what.empty()) return ERROR_SUCCESS;
    why = Cat({L"\"", path, L"\\", name, what, kChangedNothing});
    return ERROR_ACCESS_DENIED;
  }

  // The new manifest's file beside the old one, under a name nobody can plant in
  // advance, made afresh and shared with nobody; a name that is taken gets another.
  DWORD CreateTemporary(files::Handle& temporary) {
    DWORD error = ERROR_FILE_EXISTS;
    for (int attempt = 0;
         attempt < 16 && (error == ERROR_FILE_EXISTS || error == ERROR_ALREADY_EXISTS); ++attempt) {
      std::wstring name = Cat({kManifest, L"."});
      for (ULONGLONG bits = files::RandomBits(), i = 0; i < 16; ++i, bits >>= 4) {
        name += L"0123456789abcdef"[bits & 15];
      }
      name += L".tmp";
      error = files.Open(folder.get(), name, GENERIC_WRITE | DELETE, 0, files::Disposition::kCreate,
                         temporary);
    }
    return error;
  }

  // Moves `temporary` over the manifest `old` (or to its name, when there is none). A
  // read-only destination refuses to be replaced on Windows, and under Wine a replaced
  // hidden file stays hidden, so the next start would still see no manifest: its
  // attributes are cleared first and put back if the move fails. The file system
  // replaces no file that is open, so the old one is let go before the move.
  DWORD Replace(files::Handle& old, const files::Info& oldInfo, HANDLE temporary) {
    const bool clear = old.valid() && (oldInfo.attributes & kStrayAttributes) != 0;
    DWORD error = clear ? files.SetAttributes(old.get(), FILE_ATTRIBUTE_NORMAL) : ERROR_SUCCESS;
    if (error != ERROR_SUCCESS) return error;
    old.reset();
    error = files.Replace(temporary, folder.get(), kManifest);
    std::wstring ignored;
    files::Info again;
    if (error != ERROR_SUCCESS && clear &&
        OpenOwn(kManifest, FILE_WRITE_ATTRIBUTES, old, again, ignored) == ERROR_SUCCESS &&
        again.index == oldInfo.index) {
      files.SetAttributes(old.get(), oldInfo.attributes);
    }
    return error;
  }

  // Windows caches per executable (by path and last-write time) whether it has a
  // manifest: VB6.EXE is touched once the manifest changed, or a change beside an exe
  // that has already run goes unnoticed.
  void TouchIde() {
    if (ide.valid()) files.Touch(ide.get());
  }
};

// Copies what is left of `in` into `out`, to the disk.
DWORD CopyData(HANDLE in, HANDLE out) {
  for (;;) {
    char chunk[4096];
    DWORD got = 0;
    DWORD put = 0;
    if (!ReadFile(in, chunk, sizeof chunk, &got, nullptr)) return GetLastError();
    if (got == 0) break;
    if (!WriteFile(out, chunk, got, &put, nullptr) || put != got) return GetLastError();
  }
  return FlushFileBuffers(out) ? ERROR_SUCCESS : GetLastError();
}

DWORD InstallFrom(const std::wstring& source, HeldFolder& held, const std::wstring& folder) {
  // The shipped manifest is opened before anything in the IDE folder is.
  files::Handle in(CreateFileW(source.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                               OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!in.valid()) return GetLastError();
  DWORD error = held.Enter(folder);
  if (error != ERROR_SUCCESS) return error;
  files::Handle old;
  files::Info oldInfo;
  error = held.OpenOwn(kManifest, FILE_READ_ATTRIBUTES | FILE_WRITE_ATTRIBUTES, old, oldInfo,
                       held.refusal);
  if (error != ERROR_SUCCESS && error != ERROR_FILE_NOT_FOUND) return error;
  files::Handle temporary;
  if ((error = held.CreateTemporary(temporary)) != ERROR_SUCCESS) return error;
  error = CopyData(in.get(), temporary.get());
  // Burnisher may lie in the IDE folder itself, its manifest the one to be replaced.
  in.reset();
  if (error == ERROR_SUCCESS) error = held.Replace(old, oldInfo, temporary.get());
  if (error != ERROR_SUCCESS) {
    held.files.Delete(temporary.get());
    return error;
  }
  held.TouchIde();
  return ERROR_SUCCESS;
}

DWORD RemoveFrom(HeldFolder& held, const std::wstring& folder) {
  files::Handle manifest;
  files::Info info;
  DWORD error = held.Enter(folder);
  if (error == ERROR_SUCCESS) {
    error = held.OpenOwn(kManifest, FILE_READ_ATTRIBUTES | FILE_WRITE_ATTRIBUTES | DELETE, manifest,
                         info, held.refusal);
  }
  if (error != ERROR_SUCCESS) return error;
  // A read-only file cannot be deleted: its attributes go first, and come back should
  // the deletion fail.
  const bool clear = (info.attributes & kStrayAttributes) != 0;
  if (clear) held.files.SetAttributes(manifest.get(), FILE_ATTRIBUTE_NORMAL);
  error = held.files.Delete(manifest.get());
  if (error != ERROR_SUCCESS) {
    if (clear) held.files.SetAttributes(manifest.get(), info.attributes);
    return error;
  }
  manifest.reset();
  held.TouchIde();
  return ERROR_SUCCESS;
}

// A failed operation's report: what is wrong in the user's words on the first line (the
// registry's reason when it gave no folder, else the refusal, else the plain failure),
// then the operation with its path(s), the system's text and number, and what the
// registry held.
Outcome Failed(const IdeLookup& lookup, std::wstring_view operation, std::wstring_view what,
               const std::wstring& refusal, DWORD error) {
  std::wstring headline = lookup.Reason();
  if (headline.empty()) {
    headline =
        !refusal.empty() ? refusal : Cat({L"Burnisher could not ", operation, L" the manifest."});
  }
  const std::wstring why = lookup.Explanation();
  return {error == ERROR_SUCCESS ? ERROR_GEN_FAILURE : error,
          Cat({headline, L"\n\n", what, L"\n\n", SystemErrorText(error), L" (error ",
               Decimal(error), L")", why.empty() ? L"" : L"\n\n", why})};
}

}  // namespace

Switcher::Switcher(vbreg::RegistryApi& api, std::wstring sourceFolder, files::FileApi& files)
    : api_(api), files_(files), sourceFolder_(std::move(sourceFolder)) {}

std::wstring Switcher::GetIdeFolder() { return LookUpIdeFolder(api_).folder; }

bool Switcher::IsManifestInstalled() {
  const std::wstring folder = GetIdeFolder();
  return !IsDevicePath(folder) && IsNormalFile(folder + std::wstring(kManifestName));
}

Outcome Switcher::Install() {
  const std::wstring source = sourceFolder_ + std::wstring(kManifestName);
  const IdeLookup lookup = LookUpIdeFolder(api_);
  HeldFolder held{files_, {}, {}, {}, {}};
  const DWORD error = InstallFrom(source, held, lookup.folder);
  if (error == ERROR_SUCCESS) return {};
  // A Burnisher.exe taken out of its zip alone has no manifest beside it to install.
  const DWORD shipped = GetFileAttributesW(source.c_str());
  if (held.refusal.empty() &&
      (shipped == INVALID_FILE_ATTRIBUTES || (shipped & FILE_ATTRIBUTE_DIRECTORY) != 0)) {
    held.refusal =
        Cat({L"\"VB6.EXE.Manifest\" must lie beside Burnisher.exe, in ", sourceFolder_,
             L": extract the whole zip, not Burnisher.exe alone, and start it from there."});
  }
  return Failed(lookup, L"install",
                Cat({L"Copying\n", source, L"\nto\n", lookup.folder, kManifestName, L"\nfailed:"}),
                held.refusal, error);
}

Outcome Switcher::Remove() {
  const IdeLookup lookup = LookUpIdeFolder(api_);
  HeldFolder held{files_, {}, {}, {}, {}};
  const DWORD error = RemoveFrom(held, lookup.folder);
  if (error == ERROR_SUCCESS) return {};
  return Failed(lookup, L"remove", Cat({L"Deleting\n", lookup.folder, kManifestName, L"\nfailed:"}),
                held.refusal, error);
}

}  // namespace switcher
