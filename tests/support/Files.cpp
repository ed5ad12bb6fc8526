#ifdef _WIN32
#include "tests/support/Files.h"

#include <windows.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <stdexcept>

namespace testfiles {
namespace {

[[noreturn]] void Fail(const std::string& what, const std::wstring& path) {
  const DWORD error = GetLastError();
  throw std::runtime_error(what + " " + Narrow(path) + ": Win32 error " + std::to_string(error));
}

// Read-only, hidden and system entries too, which plain deletion refuses.
void RemoveTree(const std::filesystem::path& dir) {
  std::error_code ignored;
  for (std::filesystem::directory_iterator it(dir, ignored), end; it != end;
       it.increment(ignored)) {
    SetFileAttributesW(it->path().c_str(), FILE_ATTRIBUTE_NORMAL);
    if (it->is_directory(ignored)) {
      RemoveTree(it->path());
    } else {
      DeleteFileW(it->path().c_str());
    }
  }
  RemoveDirectoryW(dir.c_str());
}

}  // namespace

TempDirectory::TempDirectory() {
  static unsigned counter = 0;
  const std::filesystem::path base = std::filesystem::temp_directory_path();
  for (int attempt = 0; attempt < 100 && path_.empty(); ++attempt) {
    const std::filesystem::path candidate =
        base / (L"test-" + std::to_wstring(GetCurrentProcessId()) + L"-" +
                std::to_wstring(GetTickCount()) + L"-" + std::to_wstring(++counter));
    if (CreateDirectoryW(candidate.c_str(), nullptr)) {
      path_ = candidate.wstring();
    } else if (GetLastError() != ERROR_ALREADY_EXISTS) {
      Fail("cannot make", candidate.wstring());
    }
  }
  if (path_.empty()) Fail("cannot make a fresh folder in", base.wstring());
}

TempDirectory::~TempDirectory() {
  if (!path_.empty()) RemoveTree(path_);
}

std::string ReadFile(const std::wstring& path) {
  std::ifstream in(std::filesystem::path(path), std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void WriteFile(const std::wstring& path, const std::string& content, unsigned long attributes) {
  std::ofstream(std::filesystem::path(path), std::ios::binary) << content;
  if (attributes != 0 && !SetFileAttributesW(path.c_str(), attributes)) Fail("cannot mark", path);
}

bool Exists(const std::wstring& path) {
  return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

void CopyFileOrThrow(const std::wstring& from, const std::wstring& to) {
  if (!CopyFileW(from.c_str(), to.c_str(), FALSE)) Fail("cannot copy " + Narrow(from) + " to", to);
}

std::vector<std::wstring> FolderEntries(const std::wstring& folder) {
  std::vector<std::wstring> names;
  std::error_code ignored;
  for (std::filesystem::directory_iterator it(folder, ignored), end; it != end;
       it.increment(ignored)) {
    names.push_back(it->path().filename().wstring());
  }
  std::sort(names.begin(), names.end());
  return names;
}

unsigned long long WriteTime(const std::wstring& path) {
  WIN32_FILE_ATTRIBUTE_DATA data{};
  if (!GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &data)) Fail("no times of", path);
  return (static_cast<unsigned long long>(data.ftLastWriteTime.dwHighDateTime) << 32) |
         data.ftLastWriteTime.dwLowDateTime;
}

void SetOldWriteTime(const std::wstring& path) {
  const HANDLE h = CreateFileW(path.c_str(), FILE_WRITE_ATTRIBUTES,
                               FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                               OPEN_EXISTING, 0, nullptr);
  if (h == INVALID_HANDLE_VALUE) Fail("cannot open", path);
  SYSTEMTIME year2000{2000, 1, 6, 1, 12, 0, 0, 0};
  FILETIME old{};
  SystemTimeToFileTime(&year2000, &old);
  const BOOL set = SetFileTime(h, nullptr, nullptr, &old);
  CloseHandle(h);
  if (!set) Fail("cannot set the time of", path);
}

std::string Narrow(const std::wstring& text) {
  const int wide = static_cast<int>(text.size());
  const int n = WideCharToMultiByte(CP_UTF8, 0, text.data(), wide, nullptr, 0, nullptr, nullptr);
  std::string out(static_cast<size_t>(std::max(n, 0)), '\0');
  WideCharToMultiByte(CP_UTF8, 0, text.data(), wide, out.data(), n, nullptr, nullptr);
  return out;
}

}  // namespace testfiles
#endif  // _WIN32
