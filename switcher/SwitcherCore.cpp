#include "switcher/SwitcherCore.h"

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

std::wstring Wide(const String& text) {
  std::wstring out;
  out.reserve(text.size());
  for (const char16_t c : text) out.push_back(static_cast<wchar_t>(c));
  return out;
}

std::wstring Failure(std::wstring_view what, DWORD error) {
  std::wstring text(what);
  text += L"\n\n";
  text += SystemErrorText(error);
  text += L" (error ";
  text += std::to_wstring(error);
  text += L")";
  return text;
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

Switcher::Switcher(RegistryApi& api, std::wstring sourceFolder)
    : api_(api), sourceFolder_(std::move(sourceFolder)) {}

std::wstring Switcher::GetIdeFolder() {
  registry_.emplace(api_);
  registry_->hkey(reg::kLocalMachine);
  registry_->KeyRoot(kKeyPath);
  const Variant installDir = registry_->GetRegistryValue(kValueName);
  registry_.reset();
  return IdeFolderFromInstallDir(Wide(installDir.ToText().value_or(String())));
}

bool Switcher::IsManifestInstalled() {
  return IsNormalFile(GetIdeFolder() + std::wstring(kManifestName));
}

Outcome Switcher::Install() {
  const std::wstring source = sourceFolder_ + std::wstring(kManifestName);
  const std::wstring folder = GetIdeFolder();
  const std::wstring destination = folder + std::wstring(kManifestName);
  const bool existed = GetFileAttributesW(destination.c_str()) != INVALID_FILE_ATTRIBUTES;
  if (!CopyFileW(source.c_str(), destination.c_str(), FALSE)) {
    const DWORD error = GetLastError();
    // A copy that broke off half-way must not pass for an installed manifest later.
    if (!existed) DeleteFileW(destination.c_str());
    return {error == ERROR_SUCCESS ? ERROR_GEN_FAILURE : error,
            Failure(L"Burnisher could not install the manifest.\n\nCopying\n" + source + L"\nto\n" +
                        destination + L"\nfailed:",
                    error)};
  }
  TouchLastWriteTime(folder + std::wstring(kIdeExeName));
  return {};
}

Outcome Switcher::Remove() {
  const std::wstring folder = GetIdeFolder();
  const std::wstring target = folder + std::wstring(kManifestName);
  if (!DeleteFileW(target.c_str())) {
    const DWORD error = GetLastError();
    return {
        error == ERROR_SUCCESS ? ERROR_GEN_FAILURE : error,
        Failure(L"Burnisher could not remove the manifest.\n\nDeleting\n" + target + L"\nfailed:",
                error)};
  }
  TouchLastWriteTime(folder + std::wstring(kIdeExeName));
  return {};
}

}  // namespace switcher
