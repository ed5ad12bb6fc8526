#include "switcher/SwitcherCore.h"

#include <iterator>
#include <utility>

namespace switcher {
namespace {

// Closes a file handle when it goes.
class FileHandle {
 public:
  explicit FileHandle(HANDLE h) noexcept : h_(h) {}
  FileHandle(const FileHandle&) = delete;
  FileHandle& operator=(const FileHandle&) = delete;
  ~FileHandle() {
    if (valid()) CloseHandle(h_);
  }
  HANDLE get() const noexcept { return h_; }
  bool valid() const noexcept { return h_ != nullptr && h_ != INVALID_HANDLE_VALUE; }

 private:
  HANDLE h_;
};

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

std::wstring Wide(const vbreg::String& text) {
  std::wstring out;
  out.reserve(text.size());
  for (const char16_t c : text) out.push_back(static_cast<wchar_t>(c));
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
  std::wstring text(headline);
  text += L"\n\n";
  text += what;
  text += L"\n\n";
  text += SystemErrorText(error);
  text += L" (error ";
  text += Decimal(error);
  text += L")";
  if (const std::wstring why = lookup.Explanation(); !why.empty()) text += L"\n\n" + why;
  return text;
}

// The first line of a failed operation's report: the registry's reason when it gave no
// folder, else `other` when there is one, else the operation's plain failure.
std::wstring Headline(const IdeLookup& lookup, std::wstring other, std::wstring_view operation) {
  if (std::wstring reason = lookup.Reason(); !reason.empty()) return reason;
  if (!other.empty()) return other;
  return L"Burnisher could not " + std::wstring(operation) + L" the manifest.";
}

}  // namespace

std::wstring IdeFolderFromInstallDir(std::wstring_view installDir) {
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

bool TouchLastWriteTime(const std::wstring& path) {
  const FileHandle file(CreateFileW(path.c_str(), FILE_WRITE_ATTRIBUTES,
                                    FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                    OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file.valid()) return false;
  FILETIME now{};
  GetSystemTimeAsFileTime(&now);
  return SetFileTime(file.get(), nullptr, nullptr, &now) != FALSE;
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
  return L"VB6's setup entry in the registry names no IDE folder Burnisher knows: its InstallDir "
         L"does not contain \"" +
         std::wstring(kMarker) + L"\".";
}

std::wstring IdeLookup::Explanation() const {
  if (FoundInRegistry()) return L"";
  const std::wstring key(kRegistryPlace);
  std::wstring text;
  if (!keyExists) {
    text = L"The key " + key + L" does not exist.";
  } else if (!installDir) {
    text = L"The key " + key + L" has no value InstallDir.";
  } else {
    text = L"The value InstallDir of the key " + key + L" holds \"" + *installDir +
           L"\", which does not contain \"" + std::wstring(kMarker) + L"\".";
  }
  text += L"\n\nBurnisher tried the folder \"" + folder + L"\" in the current folder instead:\n" +
          FullPath(folder);
  return text;
}

Switcher::Switcher(vbreg::RegistryApi& api, std::wstring sourceFolder)
    : api_(api), sourceFolder_(std::move(sourceFolder)) {}

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
  return IsNormalFile(GetIdeFolder() + std::wstring(kManifestName));
}

Outcome Switcher::Install() {
  const std::wstring source = sourceFolder_ + std::wstring(kManifestName);
  const IdeLookup lookup = LookUpIdeFolder();
  const std::wstring destination = lookup.folder + std::wstring(kManifestName);
  const auto fail = [&](DWORD error) {
    // A Burnisher.exe taken out of its zip alone has no manifest beside it to install.
    const DWORD shipped = GetFileAttributesW(source.c_str());
    std::wstring missing;
    if (shipped == INVALID_FILE_ATTRIBUTES || (shipped & FILE_ATTRIBUTE_DIRECTORY) != 0) {
      missing = L"\"VB6.EXE.Manifest\" must lie beside Burnisher.exe, in " + sourceFolder_ +
                L": extract the whole zip, not Burnisher.exe alone, and start it from there.";
    }
    return Outcome{
        error == ERROR_SUCCESS ? ERROR_GEN_FAILURE : error,
        Failure(Headline(lookup, std::move(missing), L"install"),
                L"Copying\n" + source + L"\nto\n" + destination + L"\nfailed:", error, lookup)};
  };

  // The new manifest is written whole beside the old one before anything of the old
  // one changes: a copy that breaks off leaves only a temporary file, removed below.
  std::wstring temporary;
  DWORD error = ERROR_SUCCESS;
  for (int attempt = 0; attempt < 100; ++attempt) {
    temporary = destination + L"." + Decimal(GetCurrentProcessId()) + L"-" +
                Decimal(static_cast<DWORD>(attempt)) + L".tmp";
    if (CopyFileW(source.c_str(), temporary.c_str(), TRUE)) {
      error = ERROR_SUCCESS;
      break;
    }
    error = GetLastError();
    // Only a leftover of an earlier run in the way is worth another name.
    if (error != ERROR_FILE_EXISTS && error != ERROR_ALREADY_EXISTS) break;
  }
  if (error != ERROR_SUCCESS) return fail(error);
  const auto discard = [&] {
    SetFileAttributesW(temporary.c_str(), FILE_ATTRIBUTE_NORMAL);
    DeleteFileW(temporary.c_str());
  };
  // The copy takes the source's attributes (a read-only file from a CD, say); the
  // installed manifest is to be a normal one.
  if (!SetFileAttributesW(temporary.c_str(), FILE_ATTRIBUTE_NORMAL)) {
    error = GetLastError();
    discard();
    return fail(error);
  }

  // A read-only, hidden or system destination refuses to be replaced on Windows (and
  // under Wine a replaced hidden file stays hidden, so the next start would still see
  // no manifest): clear its attributes, and put them back if the move fails.
  const DWORD oldAttributes = GetFileAttributesW(destination.c_str());
  const bool clearAttributes =
      oldAttributes != INVALID_FILE_ATTRIBUTES && (oldAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0 &&
      (oldAttributes & ~DWORD{FILE_ATTRIBUTE_ARCHIVE | FILE_ATTRIBUTE_NORMAL}) != 0;
  if (clearAttributes && !SetFileAttributesW(destination.c_str(), FILE_ATTRIBUTE_NORMAL)) {
    error = GetLastError();
    discard();
    return fail(error);
  }
  if (!MoveFileExW(temporary.c_str(), destination.c_str(),
                   MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
    error = GetLastError();
    if (clearAttributes) SetFileAttributesW(destination.c_str(), oldAttributes);
    discard();
    return fail(error);
  }
  TouchLastWriteTime(lookup.folder + std::wstring(kIdeExeName));
  return {};
}

Outcome Switcher::Remove() {
  const IdeLookup lookup = LookUpIdeFolder();
  const std::wstring target = lookup.folder + std::wstring(kManifestName);
  // DeleteFileW refuses a read-only file; hidden and system go too, so that nothing of
  // a manifest Windows would still use is left behind.
  constexpr DWORD kBlocking =
      FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM;
  const DWORD oldAttributes = GetFileAttributesW(target.c_str());
  const bool clearAttributes = oldAttributes != INVALID_FILE_ATTRIBUTES &&
                               (oldAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0 &&
                               (oldAttributes & kBlocking) != 0;
  if (clearAttributes) {
    const DWORD kept = oldAttributes & ~kBlocking;
    SetFileAttributesW(target.c_str(), kept != 0 ? kept : FILE_ATTRIBUTE_NORMAL);
  }
  if (!DeleteFileW(target.c_str())) {
    const DWORD error = GetLastError();
    if (clearAttributes) SetFileAttributesW(target.c_str(), oldAttributes);
    return {error == ERROR_SUCCESS ? ERROR_GEN_FAILURE : error,
            Failure(Headline(lookup, L"", L"remove"), L"Deleting\n" + target + L"\nfailed:", error,
                    lookup)};
  }
  TouchLastWriteTime(lookup.folder + std::wstring(kIdeExeName));
  return {};
}

}  // namespace switcher
