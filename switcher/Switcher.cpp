#include "switcher/Switcher.h"

#include <cstring>
#include <span>
#include <utility>

#include "registry/Key.h"
#include "switcher/EmbeddedManifest.h"

namespace switcher {
namespace {

constexpr std::wstring_view kManifest = kManifestName.substr(1);
constexpr std::wstring_view kIsALink = L"\" is a link (a reparse point)";
constexpr std::wstring_view kChangedNothing = L", so Burnisher changed nothing.";

constexpr int kKeptNames = 999;  // VB6.EXE.Manifest.bak, then .bak2 to .bak999

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

// The attributes to set for a file that has `attributes` but must not be read-only.
DWORD WithoutReadOnly(DWORD attributes) {
  attributes &= ~DWORD{FILE_ATTRIBUTE_READONLY};
  return attributes != 0 ? attributes : FILE_ATTRIBUTE_NORMAL;
}

// Reads at `offset` of `file`, wherever its file pointer is; `got` is 0 at the end.
DWORD ReadAt(HANDLE file, ULONGLONG offset, void* out, DWORD size, DWORD& got) {
  OVERLAPPED at{};
  at.Offset = static_cast<DWORD>(offset);
  at.OffsetHigh = static_cast<DWORD>(offset >> 32);
  got = 0;
  if (ReadFile(file, out, size, &got, &at)) return ERROR_SUCCESS;
  const DWORD error = GetLastError();
  return error == ERROR_HANDLE_EOF ? ERROR_SUCCESS : error;
}

// Copies `in` from its start into `out`, to the disk.
DWORD CopyData(HANDLE in, HANDLE out) {
  char chunk[4096];
  for (ULONGLONG at = 0;;) {
    DWORD got = 0;
    DWORD put = 0;
    if (const DWORD error = ReadAt(in, at, chunk, sizeof chunk, got)) return error;
    if (got == 0) break;
    if (!WriteFile(out, chunk, got, &put, nullptr) || put != got) return GetLastError();
    at += got;
  }
  return FlushFileBuffers(out) ? ERROR_SUCCESS : GetLastError();
}

// Whether two open files hold the same bytes; not when either cannot be read.
bool SameBytes(HANDLE one, HANDLE other) {
  char a[4096];
  char b[4096];
  for (ULONGLONG at = 0;;) {
    DWORD got = 0;
    DWORD otherGot = 0;
    if (ReadAt(one, at, a, sizeof a, got) != ERROR_SUCCESS ||
        ReadAt(other, at, b, sizeof b, otherGot) != ERROR_SUCCESS || got != otherGot ||
        std::memcmp(a, b, got) != 0) {
      return false;
    }
    if (got == 0) return true;
    at += got;
  }
}

// VB6.EXE's bytes for the resource reader, read as data only.
class ExeBytes final : public pe::Source {
 public:
  explicit ExeBytes(HANDLE file) : file_(file) {}
  bool Read(uint64_t offset, std::span<uint8_t> out) override {
    DWORD got = 0;
    return out.size() <= MAXDWORD &&
           ReadAt(file_, offset, out.data(), static_cast<DWORD>(out.size()), got) ==
               ERROR_SUCCESS &&
           got == out.size();
  }

 private:
  HANDLE file_;
};

// PreferExternalManifest as Windows reads it: from the system's own view of the
// registry, the 64-bit one on 64-bit Windows, which a 32-bit program is not shown
// unless it asks.
bool PrefersExternalManifest(vbreg::RegistryApi& api) {
  const vbreg::Key key = vbreg::Key::Open(
      api, vbreg::reg::kLocalMachine, "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\SideBySide",
      KEY_QUERY_VALUE | KEY_WOW64_64KEY);
  if (!key) return false;
  uint32_t type = 0;
  uint8_t data[4] = {};
  uint32_t size = sizeof data;
  return api.RegQueryValueExA(key.get(), "PreferExternalManifest", nullptr, &type, data, &size) ==
             vbreg::reg::kSuccess &&
         type == REG_DWORD && size == 4 && data[0] == 1 && data[1] == 0 && data[2] == 0 &&
         data[3] == 0;
}

// Whether this Windows starts the IDE with the manifest VB6.EXE carries in place of the
// file just installed beside it.
bool EmbeddedManifestWins(vbreg::RegistryApi& api, HANDLE ide) {
  ExeBytes exe(ide);
  if (!pe::HasManifestResource(exe)) return false;
  // Windows 8.1 and later say 6.2 to a program that does not name them in its
  // manifest: later than 5.2 all the same.
  OSVERSIONINFOW version{};
  version.dwOSVersionInfoSize = sizeof version;
  return GetVersionExW(&version) &&
         pe::EmbeddedManifestWins(version.dwMajorVersion, version.dwMinorVersion,
                                  PrefersExternalManifest(api));
}

// The IDE folder held open for one operation, so that it can be neither renamed nor
// replaced while the operation runs, and the VB6.EXE in it when there is one. Each call
// answers a Win32 error, 0 on success; a refusal keeps its reason for the report.
class HeldFolder {
 public:
  HeldFolder(files::FileApi& files, std::wstring path) : files_(files), path_(std::move(path)) {}

  const std::wstring& Refusal() const { return refusal_; }
  bool HasIde() const { return ide_.valid(); }
  HANDLE Ide() const { return ide_.get(); }

  // Refuses the operation for the reason `why` (the report's first line).
  DWORD Refuse(std::wstring why, DWORD error = ERROR_ACCESS_DENIED) {
    refusal_ = std::move(why);
    return error;
  }

  // Opens the folder and its VB6.EXE, refused when either must not be touched.
  DWORD Enter() {
    if (IsDevicePath(path_)) {
      return Refuse(Cat({L"VB6's setup entry in the registry names the IDE folder \"", path_,
                         L"\" in a device namespace", kChangedNothing}));
    }
    DWORD error = files_.OpenFolder(path_, folder_);
    // The folder itself is missing: its path, not a file in it, was not found.
    if (error == ERROR_FILE_NOT_FOUND) return ERROR_PATH_NOT_FOUND;
    files::Info info;
    if (error == ERROR_SUCCESS) error = files_.Query(folder_.get(), info);
    if (error != ERROR_SUCCESS) return error;
    if ((info.attributes & FILE_ATTRIBUTE_DIRECTORY) == 0) return ERROR_DIRECTORY;
    std::wstring reached;
    if ((info.attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0) {
      return Refuse(Cat({L"The IDE folder \"", path_, kIsALink, kChangedNothing}));
    }
    if (files_.FinalPath(folder_.get(), reached) == ERROR_SUCCESS && !SameFolder(reached, path_)) {
      return Refuse(Cat({L"The IDE folder \"", path_, L"\" leads to another folder, \"", reached,
                         L"\"", kChangedNothing}));
    }
    files::Info exe;
    error =
        OpenOwn(kIdeExe, FILE_READ_DATA | FILE_READ_ATTRIBUTES | FILE_WRITE_ATTRIBUTES, ide_, exe);
    return error == ERROR_FILE_NOT_FOUND ? ERROR_SUCCESS : error;
  }

  // Puts the bytes of `shipped` in place of the folder's manifest, keeping one that is
  // not the same (`kept`, its full path).
  DWORD Install(files::Handle& shipped, std::wstring& kept) {
    files::Handle old;
    files::Info oldInfo;
    DWORD error = OpenManifest(old, oldInfo);
    if (error != ERROR_SUCCESS && error != ERROR_FILE_NOT_FOUND) return error;
    const bool theirs = old.valid() && !SameBytes(old.get(), shipped.get());
    files::Handle temporary;
    if ((error = CreateTemporary(temporary)) != ERROR_SUCCESS) return error;
    error = CopyData(shipped.get(), temporary.get());
    // Burnisher may lie in the IDE folder itself, its manifest the one to be replaced.
    shipped.reset();
    if (error == ERROR_SUCCESS && theirs) {
      error = Keep(old.get(), kept);
      if (error == ERROR_SUCCESS) {
        error = files_.Rename(temporary.get(), folder_.get(), kManifest, true);
        // Theirs goes back where it was; should even that fail, the report says where it is.
        if (error != ERROR_SUCCESS &&
            files_.Rename(old.get(), folder_.get(), kManifest, false) == ERROR_SUCCESS) {
          kept.clear();
        }
      }
    } else if (error == ERROR_SUCCESS) {
      error = Replace(old, oldInfo, temporary.get());
    }
    if (error != ERROR_SUCCESS) {
      files_.Delete(temporary.get());
      return error;
    }
    TouchIde();
    return ERROR_SUCCESS;
  }

  // Deletes the folder's manifest, or keeps it (`kept`, its full path) when its bytes are
  // not those of `shipped` (which may be no file at all).
  DWORD Remove(HANDLE shipped, std::wstring& kept) {
    files::Handle manifest;
    files::Info info;
    DWORD error = OpenManifest(manifest, info);
    if (error != ERROR_SUCCESS) return error;
    if (!SameBytes(manifest.get(), shipped)) {
      error = Keep(manifest.get(), kept);
    } else {
      // A read-only file cannot be deleted: the attribute goes first, and comes back
      // should the deletion fail.
      const bool clear = (info.attributes & FILE_ATTRIBUTE_READONLY) != 0;
      if (clear) files_.SetAttributes(manifest.get(), WithoutReadOnly(info.attributes));
      error = files_.Delete(manifest.get());
      if (error != ERROR_SUCCESS && clear) files_.SetAttributes(manifest.get(), info.attributes);
    }
    if (error != ERROR_SUCCESS) return error;
    manifest.reset();
    TouchIde();
    return ERROR_SUCCESS;
  }

 private:
  // Opens `name` in the folder, refused when changing it would change a file elsewhere:
  // through a link, or through a second name.
  DWORD OpenOwn(std::wstring_view name, DWORD access, files::Handle& file, files::Info& info) {
    DWORD error = files_.Open(folder_.get(), name, access,
                              FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                              files::Disposition::kOpen, file);
    if (error == ERROR_SUCCESS) error = files_.Query(file.get(), info);
    if (error != ERROR_SUCCESS) return error;
    const std::wstring_view what = (info.attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0 ? kIsALink
                                   : info.links > 1 ? L"\" is also a file elsewhere (hard links)"
                                                    : L"";
    if (what.empty()) return ERROR_SUCCESS;
    return Refuse(Cat({L"\"", path_, L"\\", name, what, kChangedNothing}));
  }

  // The manifest, open to be compared, and renamed or deleted.
  DWORD OpenManifest(files::Handle& file, files::Info& info) {
    return OpenOwn(kManifest,
                   FILE_READ_DATA | FILE_READ_ATTRIBUTES | FILE_WRITE_ATTRIBUTES | DELETE, file,
                   info);
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
      error = files_.Open(folder_.get(), name, GENERIC_WRITE | DELETE, 0,
                          files::Disposition::kCreate, temporary);
    }
    return error;
  }

  // Moves `temporary` over Burnisher's own manifest `old` (or to its name, when there is
  // none). Windows refuses to replace a read-only file by a rename, so that attribute is
  // cleared first and put back if the move fails; a hidden or system one goes with the
  // file it marks, on Windows and under Wine, and the new manifest is a normal file. The
  // file system replaces no file that is open, so the old one is let go before the move.
  DWORD Replace(files::Handle& old, const files::Info& oldInfo, HANDLE temporary) {
    const bool clear = old.valid() && (oldInfo.attributes & FILE_ATTRIBUTE_READONLY) != 0;
    DWORD error = clear ? files_.SetAttributes(old.get(), WithoutReadOnly(oldInfo.attributes))
                        : ERROR_SUCCESS;
    if (error != ERROR_SUCCESS) return error;
    old.reset();
    error = files_.Rename(temporary, folder_.get(), kManifest, true);
    files::Info again;
    if (error != ERROR_SUCCESS && clear &&
        files_.Open(folder_.get(), kManifest, FILE_WRITE_ATTRIBUTES,
                    FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                    files::Disposition::kOpen, old) == ERROR_SUCCESS &&
        files_.Query(old.get(), again) == ERROR_SUCCESS && again.index == oldInfo.index) {
      files_.SetAttributes(old.get(), oldInfo.attributes);
    }
    return error;
  }

  // Renames someone else's manifest to the first free name of VB6.EXE.Manifest.bak,
  // .bak2, ...: in this folder, by its handle, never over an entry that is there.
  DWORD Keep(HANDLE manifest, std::wstring& kept) {
    for (int n = 1; n <= kKeptNames; ++n) {
      const std::wstring name =
          Cat({kManifest, L".bak", n == 1 ? L"" : Decimal(static_cast<DWORD>(n))});
      const DWORD error = files_.Rename(manifest, folder_.get(), name, false);
      if (error == ERROR_SUCCESS) {
        kept = Cat({path_, L"\\", name});
        return ERROR_SUCCESS;
      }
      if (error != ERROR_ALREADY_EXISTS && error != ERROR_FILE_EXISTS) return error;
    }
    return ERROR_FILE_EXISTS;
  }

  // Windows caches per executable (by path and last-write time) whether it has a
  // manifest: VB6.EXE is touched once the manifest changed, or a change beside an exe
  // that has already run goes unnoticed.
  void TouchIde() {
    if (ide_.valid()) files_.Touch(ide_.get());
  }

  files::FileApi& files_;
  std::wstring path_;
  files::Handle folder_;
  files::Handle ide_;
  std::wstring refusal_;
};

// The shipped manifest, for reading. Shared for deletion too: Burnisher may lie in the
// IDE folder itself, its manifest the one to be replaced or removed there.
files::Handle OpenShipped(const std::wstring& path) {
  return files::Handle(CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_DELETE,
                                   nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
}

// A failed operation's report: what is wrong in the user's words on the first line (the
// registry's reason when it gave no folder, else the refusal, else the plain failure),
// then the operation with its path(s), the system's text and number, what the registry
// held, and where a kept manifest lies if it could not go back.
Outcome Failed(const IdeLookup& lookup, std::wstring_view operation, std::wstring_view what,
               const std::wstring& refusal, DWORD error, const std::wstring& kept) {
  std::wstring headline = lookup.Reason();
  if (headline.empty()) {
    headline =
        !refusal.empty() ? refusal : Cat({L"Burnisher could not ", operation, L" the manifest."});
  }
  const std::wstring why = lookup.Explanation();
  Outcome outcome{error == ERROR_SUCCESS ? ERROR_GEN_FAILURE : error,
                  Cat({headline, L"\n\n", what, L"\n\n", SystemErrorText(error), L" (error ",
                       Decimal(error), L")", why.empty() ? L"" : L"\n\n", why}),
                  kept};
  if (!kept.empty())
    outcome.report += Cat({L"\n\nThe manifest that was there is now \"", kept, L"\"."});
  return outcome;
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
  HeldFolder held(files_, lookup.folder);
  Outcome outcome;
  // The shipped manifest is opened before anything in the IDE folder is.
  files::Handle in = OpenShipped(source);
  DWORD error = in.valid() ? held.Enter() : GetLastError();
  if (error == ERROR_SUCCESS && !held.HasIde()) {
    error = held.Refuse(Cat({L"The folder \"", lookup.folder,
                             L"\" named by the registry holds no VB6.EXE", kChangedNothing}),
                        ERROR_FILE_NOT_FOUND);
  }
  if (error == ERROR_SUCCESS) error = held.Install(in, outcome.kept);
  if (error == ERROR_SUCCESS) {
    outcome.embeddedWins = EmbeddedManifestWins(api_, held.Ide());
    return outcome;
  }
  // A Burnisher.exe taken out of its zip alone has no manifest beside it to install.
  const DWORD shipped = GetFileAttributesW(source.c_str());
  std::wstring refusal = held.Refusal();
  if (refusal.empty() &&
      (shipped == INVALID_FILE_ATTRIBUTES || (shipped & FILE_ATTRIBUTE_DIRECTORY) != 0)) {
    refusal = Cat({L"\"VB6.EXE.Manifest\" must lie beside Burnisher.exe, in ", sourceFolder_,
                   L": extract the whole zip, not Burnisher.exe alone, and start it from there."});
  }
  return Failed(lookup, L"install",
                Cat({L"Copying\n", source, L"\nto\n", lookup.folder, kManifestName, L"\nfailed:"}),
                refusal, error, outcome.kept);
}

Outcome Switcher::Remove() {
  const IdeLookup lookup = LookUpIdeFolder(api_);
  HeldFolder held(files_, lookup.folder);
  Outcome outcome;
  // Tells Burnisher's own manifest from someone else's; when it cannot be read, every
  // manifest is someone else's and kept.
  const files::Handle shipped = OpenShipped(sourceFolder_ + std::wstring(kManifestName));
  DWORD error = held.Enter();
  if (error == ERROR_SUCCESS) error = held.Remove(shipped.get(), outcome.kept);
  if (error == ERROR_SUCCESS) return outcome;
  return Failed(lookup, L"remove", Cat({L"Deleting\n", lookup.folder, kManifestName, L"\nfailed:"}),
                held.Refusal(), error, outcome.kept);
}

}  // namespace switcher
