#include "switcher/SwitcherCore.h"

#include <algorithm>
#include <iterator>
#include <utility>

namespace switcher {
namespace {

// Ends a FindFirstFileW search when it goes.
class FindHandle {
 public:
  explicit FindHandle(HANDLE h) noexcept : h_(h) {}
  FindHandle(const FindHandle&) = delete;
  FindHandle& operator=(const FindHandle&) = delete;
  ~FindHandle() {
    if (valid()) FindClose(h_);
  }
  HANDLE get() const noexcept { return h_; }
  bool valid() const noexcept { return h_ != INVALID_HANDLE_VALUE; }

 private:
  HANDLE h_;
};

// The text up to its first NUL: what follows is no part of the path any Windows call
// would see (and of a REG_MULTI_SZ list, the first string).
std::wstring Wide(const vbreg::String& text) {
  std::wstring out;
  out.reserve(text.size());
  for (const char16_t c : text) {
    if (c == u'\0') break;
    out.push_back(static_cast<wchar_t>(c));
  }
  return out;
}

// The parts one after the other: one call instead of a chain of temporaries.
std::wstring Cat(std::initializer_list<std::wstring_view> parts) {
  std::wstring out;
  for (const std::wstring_view part : parts) out += part;
  return out;
}

// Decimal digits of a number. std::to_wstring would bring mingw's whole wide printf
// (about 27 KiB) into an exe that formats nothing else.
std::wstring Decimal(DWORD value) {
  wchar_t digits[10];
  size_t n = 0;
  do {
    digits[n++] = static_cast<wchar_t>(L'0' + value % 10);
    value /= 10;
  } while (value != 0);
  return std::wstring(std::make_reverse_iterator(digits + n), std::make_reverse_iterator(digits));
}

// A failure report: what is wrong in the user's words on the first line, then the
// operation with its path(s), the system's text and number, and what the registry held.
std::wstring Failure(std::wstring_view headline, std::wstring_view what, DWORD error,
                     const IdeLookup& lookup) {
  const std::wstring why = lookup.Explanation();
  return Cat({headline, L"\n\n", what, L"\n\n", SystemErrorText(error), L" (error ", Decimal(error),
              L")", why.empty() ? L"" : L"\n\n", why});
}

// The first line of a failed operation's report: the registry's reason when it gave no
// folder, else `other` (a refusal, a missing shipped manifest) when there is one, else
// the operation's plain failure.
std::wstring Headline(const IdeLookup& lookup, std::wstring other, std::wstring_view operation) {
  if (std::wstring reason = lookup.Reason(); !reason.empty()) return reason;
  if (!other.empty()) return other;
  return Cat({L"Burnisher could not ", operation, L" the manifest."});
}

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

}  // namespace

std::wstring IdeFolderFromInstallDir(std::wstring_view installDir) {
  installDir = installDir.substr(0, installDir.find(L'\0'));
  const size_t at = installDir.find(kMarker);
  // Position + 1 characters in the 1-based view: the marker's leading separator stays.
  std::wstring folder(at == std::wstring_view::npos ? std::wstring_view()
                                                    : installDir.substr(0, at + 1));
  folder += kLeaf;
  return folder;
}

bool IsNormalFile(const std::wstring& path) {
  constexpr DWORD kExcluded =
      FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_DIRECTORY;
  WIN32_FIND_DATAW found{};
  const FindHandle search(FindFirstFileW(path.c_str(), &found));
  if (!search.valid()) return false;
  do {
    if ((found.dwFileAttributes & kExcluded) == 0) return true;
  } while (FindNextFileW(search.get(), &found));
  return false;
}

std::wstring FullPath(const std::wstring& path) {
  const DWORD need = GetFullPathNameW(path.c_str(), 0, nullptr, nullptr);
  if (need == 0) return path;
  std::wstring full(need, L'\0');
  const DWORD n = GetFullPathNameW(path.c_str(), need, full.data(), nullptr);
  if (n == 0 || n >= need) return path;
  full.resize(n);
  return full;
}

std::wstring ExeFolder() {
  std::wstring path(MAX_PATH, L'\0');
  for (;;) {
    const DWORD n = GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
    if (n == 0) return L"";
    if (n < path.size()) {
      path.resize(n);
      break;
    }
    path.resize(path.size() * 2);
  }
  const size_t cut = path.find_last_of(L"\\/");
  return cut == std::wstring::npos ? std::wstring() : path.substr(0, cut);
}

std::wstring SystemErrorText(DWORD error) {
  std::wstring text(1024, L'\0');
  const DWORD n =
      FormatMessageW(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, error, 0,
                     text.data(), static_cast<DWORD>(text.size()), nullptr);
  text.resize(n);
  while (!text.empty() && (text.back() == L'\n' || text.back() == L'\r' || text.back() == L' ')) {
    text.pop_back();
  }
  if (text.empty()) text = L"Unknown error";
  return text;
}

bool IsDevicePath(std::wstring_view path) {
  if (path.size() < 4) return false;
  const auto separator = [](wchar_t c) { return c == L'\\' || c == L'/'; };
  return separator(path[0]) && separator(path[3]) &&
         ((separator(path[1]) && (path[2] == L'?' || path[2] == L'.')) ||
          (path[1] == L'?' && path[2] == L'?'));
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

Switcher::Switcher(vbreg::RegistryApi& api, std::wstring sourceFolder, files::FileApi& files)
    : api_(api), files_(files), sourceFolder_(std::move(sourceFolder)) {}

IdeLookup Switcher::LookUpIdeFolder() {
  registry_.emplace(api_);
  registry_->hkey(vbreg::reg::kLocalMachine);
  registry_->KeyRoot(kKeyPath);
  const vbreg::Variant value = registry_->GetRegistryValue(kValueName);
  IdeLookup lookup;
  if (!value.IsEmpty()) {
    lookup.installDir = Wide(value.ToText().value_or(vbreg::String()));
  } else {
    // Only a failure report needs to tell a missing setup from a missing value.
    lookup.keyExists = registry_->KeyExists();
  }
  registry_.reset();
  lookup.folder = IdeFolderFromInstallDir(lookup.installDir.value_or(L""));
  return lookup;
}

std::wstring Switcher::GetIdeFolder() { return LookUpIdeFolder().folder; }

bool Switcher::IsManifestInstalled() {
  const std::wstring folder = GetIdeFolder();
  return !IsDevicePath(folder) && IsNormalFile(folder + std::wstring(kManifestName));
}

// The IDE folder held for one operation, and the VB6.EXE in it when there is one.
struct Switcher::Place {
  std::wstring path;
  files::Handle folder;
  files::Handle ide;
};

DWORD Switcher::OpenOwn(const Place& place, std::wstring_view name, DWORD access,
                        files::Handle& file, files::Info& info, std::wstring& refusal) {
  DWORD error = files_.Open(place.folder.get(), name, access,
                            FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                            files::Disposition::kOpen, file);
  if (error == ERROR_SUCCESS) error = files_.Query(file.get(), info);
  if (error != ERROR_SUCCESS) return error;
  // Changing a file through a second name, or through a link, changes a file elsewhere.
  const std::wstring_view why = (info.attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0 ? kIsALink
                                : info.links > 1 ? L"\" is also a file elsewhere (hard links)"
                                                 : L"";
  if (why.empty()) return ERROR_SUCCESS;
  refusal = Cat({L"\"", place.path, L"\\", name, why, kChangedNothing});
  return ERROR_ACCESS_DENIED;
}

DWORD Switcher::Enter(const IdeLookup& lookup, Place& place, std::wstring& refusal) {
  place.path = lookup.folder;
  if (IsDevicePath(place.path)) {
    refusal = Cat({L"VB6's setup entry in the registry names the IDE folder \"", place.path,
                   L"\" in a device namespace", kChangedNothing});
    return ERROR_ACCESS_DENIED;
  }
  DWORD error = files_.OpenFolder(place.path, place.folder);
  // The folder itself is missing: its path, not a file in it, was not found.
  if (error == ERROR_FILE_NOT_FOUND) return ERROR_PATH_NOT_FOUND;
  files::Info info;
  if (error == ERROR_SUCCESS) error = files_.Query(place.folder.get(), info);
  if (error != ERROR_SUCCESS) return error;
  if ((info.attributes & FILE_ATTRIBUTE_DIRECTORY) == 0) return ERROR_DIRECTORY;
  std::wstring reached;
  if ((info.attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0) {
    refusal = Cat({L"The IDE folder \"", place.path, kIsALink, kChangedNothing});
  } else if (files_.FinalPath(place.folder.get(), reached) == ERROR_SUCCESS &&
             !SameFolder(reached, place.path)) {
    refusal = Cat({L"The IDE folder \"", place.path, L"\" leads to another folder, \"", reached,
                   L"\"", kChangedNothing});
  }
  if (!refusal.empty()) return ERROR_ACCESS_DENIED;
  // Windows caches per executable (by path and last-write time) whether it has a
  // manifest: VB6.EXE is touched once the manifest changed, or a change beside an exe
  // that has already run goes unnoticed. It has to be the folder's own file too.
  files::Info exe;
  error = OpenOwn(place, kIdeExe, FILE_READ_ATTRIBUTES | FILE_WRITE_ATTRIBUTES, place.ide, exe,
                  refusal);
  return error == ERROR_FILE_NOT_FOUND ? ERROR_SUCCESS : error;
}

Outcome Switcher::Install() {
  const std::wstring source = sourceFolder_ + std::wstring(kManifestName);
  const IdeLookup lookup = LookUpIdeFolder();
  const std::wstring destination = lookup.folder + std::wstring(kManifestName);
  std::wstring refusal;
  const auto fail = [&](DWORD error) {
    // A Burnisher.exe taken out of its zip alone has no manifest beside it to install.
    const DWORD shipped = GetFileAttributesW(source.c_str());
    if (refusal.empty() &&
        (shipped == INVALID_FILE_ATTRIBUTES || (shipped & FILE_ATTRIBUTE_DIRECTORY) != 0)) {
      refusal =
          Cat({L"\"VB6.EXE.Manifest\" must lie beside Burnisher.exe, in ", sourceFolder_,
               L": extract the whole zip, not Burnisher.exe alone, and start it from there."});
    }
    return Outcome{
        error == ERROR_SUCCESS ? ERROR_GEN_FAILURE : error,
        Failure(Headline(lookup, refusal, L"install"),
                Cat({L"Copying\n", source, L"\nto\n", destination, L"\nfailed:"}), error, lookup)};
  };

  // The shipped manifest is opened before anything in the IDE folder is.
  files::Handle in(CreateFileW(source.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                               OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!in.valid()) return fail(GetLastError());

  Place place;
  DWORD error = Enter(lookup, place, refusal);
  if (error != ERROR_SUCCESS) return fail(error);
  files::Handle old;
  files::Info oldInfo;
  error = OpenOwn(place, kManifest, FILE_READ_ATTRIBUTES | FILE_WRITE_ATTRIBUTES, old, oldInfo,
                  refusal);
  if (error != ERROR_SUCCESS && error != ERROR_FILE_NOT_FOUND) return fail(error);

  // The new manifest is written whole beside the old one under a name nobody can plant
  // in advance, made afresh and shared with nobody; a name that is taken gets another.
  files::Handle temporary;
  for (int attempt = 0; attempt < 16; ++attempt) {
    std::wstring name(kManifest);
    name += L'.';
    for (ULONGLONG bits = files::RandomBits(), i = 0; i < 16; ++i, bits >>= 4) {
      name += L"0123456789abcdef"[bits & 15];
    }
    name += L".tmp";
    error = files_.Open(place.folder.get(), name, GENERIC_WRITE | DELETE, 0,
                        files::Disposition::kCreate, temporary);
    if (error != ERROR_ALREADY_EXISTS && error != ERROR_FILE_EXISTS) break;
  }
  if (error != ERROR_SUCCESS) return fail(error);
  const auto discard = [&](DWORD failure) {
    files_.Delete(temporary.get());
    return fail(failure);
  };
  for (;;) {
    char chunk[4096];
    DWORD got = 0;
    DWORD put = 0;
    if (!ReadFile(in.get(), chunk, sizeof chunk, &got, nullptr)) return discard(GetLastError());
    if (got == 0) break;
    if (!WriteFile(temporary.get(), chunk, got, &put, nullptr) || put != got) {
      return discard(GetLastError());
    }
  }
  if (!FlushFileBuffers(temporary.get())) return discard(GetLastError());
  // Burnisher may lie in the IDE folder itself, its manifest the one to be replaced.
  in.reset();

  // A read-only destination refuses to be replaced on Windows, and under Wine a
  // replaced hidden file stays hidden, so the next start would still see no manifest:
  // its attributes are cleared (put back if the move fails). The file system replaces
  // no file that is open, so the old one is let go first.
  const bool clear = old.valid() && (oldInfo.attributes & kStrayAttributes) != 0;
  if (clear && (error = files_.SetAttributes(old.get(), FILE_ATTRIBUTE_NORMAL)) != 0) {
    return discard(error);
  }
  old.reset();
  error = files_.Replace(temporary.get(), place.folder.get(), kManifest);
  if (error != ERROR_SUCCESS) {
    std::wstring ignored;
    files::Info again;
    if (clear && OpenOwn(place, kManifest, FILE_WRITE_ATTRIBUTES, old, again, ignored) == 0 &&
        again.index == oldInfo.index) {
      files_.SetAttributes(old.get(), oldInfo.attributes);
    }
    return discard(error);
  }
  if (place.ide.valid()) files_.Touch(place.ide.get());
  return {};
}

Outcome Switcher::Remove() {
  const IdeLookup lookup = LookUpIdeFolder();
  const std::wstring target = lookup.folder + std::wstring(kManifestName);
  std::wstring refusal;
  const auto fail = [&](DWORD error) {
    return Outcome{error == ERROR_SUCCESS ? ERROR_GEN_FAILURE : error,
                   Failure(Headline(lookup, refusal, L"remove"),
                           Cat({L"Deleting\n", target, L"\nfailed:"}), error, lookup)};
  };
  Place place;
  files::Handle manifest;
  files::Info info;
  DWORD error = Enter(lookup, place, refusal);
  if (error == ERROR_SUCCESS) {
    error = OpenOwn(place, kManifest, FILE_READ_ATTRIBUTES | FILE_WRITE_ATTRIBUTES | DELETE,
                    manifest, info, refusal);
  }
  if (error != ERROR_SUCCESS) return fail(error);
  // A read-only file cannot be deleted: its attributes go first, and come back should
  // the deletion fail.
  const bool clear = (info.attributes & kStrayAttributes) != 0;
  if (clear) files_.SetAttributes(manifest.get(), FILE_ATTRIBUTE_NORMAL);
  error = files_.Delete(manifest.get());
  if (error != ERROR_SUCCESS) {
    if (clear) files_.SetAttributes(manifest.get(), info.attributes);
    return fail(error);
  }
  manifest.reset();
  if (place.ide.valid()) files_.Touch(place.ide.get());
  return {};
}

}  // namespace switcher
