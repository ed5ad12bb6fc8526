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

// Calls `each` with the name and the attributes of every entry of `folder`.
template <typename Each>
void ForEachEntry(const std::wstring& folder, Each each) {
  WIN32_FIND_DATAW found{};
  HANDLE h = FindFirstFileW((folder + L"\\*").c_str(), &found);
  if (h == INVALID_HANDLE_VALUE) return;
  do {
    const std::wstring name = found.cFileName;
    if (name != L"." && name != L"..") each(name, found.dwFileAttributes);
  } while (FindNextFileW(h, &found));
  FindClose(h);
}

// Read-only, hidden and system entries too, which plain deletion refuses.
void RemoveTree(const std::wstring& dir) {
  ForEachEntry(dir, [&](const std::wstring& name, DWORD attributes) {
    const std::wstring full = dir + L"\\" + name;
    SetFileAttributesW(full.c_str(), FILE_ATTRIBUTE_NORMAL);
    if (attributes & FILE_ATTRIBUTE_DIRECTORY) {
      RemoveTree(full);
    } else {
      DeleteFileW(full.c_str());
    }
  });
  RemoveDirectoryW(dir.c_str());
}

}  // namespace

TempDirectory::TempDirectory() {
  wchar_t base[MAX_PATH + 1];
  const DWORD n = GetTempPathW(MAX_PATH + 1, base);
  if (n == 0 || n > MAX_PATH) Fail("no temporary folder", L"");
  static unsigned counter = 0;
  for (int attempt = 0; attempt < 100; ++attempt) {
    std::wstring candidate = std::wstring(base) + L"test-" +
                             std::to_wstring(GetCurrentProcessId()) + L"-" +
                             std::to_wstring(GetTickCount()) + L"-" + std::to_wstring(++counter);
    if (CreateDirectoryW(candidate.c_str(), nullptr)) {
      path_ = std::move(candidate);
      return;
    }
    if (GetLastError() != ERROR_ALREADY_EXISTS) Fail("cannot make", candidate);
  }
  Fail("cannot make a fresh folder in", base);
}

TempDirectory::~TempDirectory() {
  if (!path_.empty()) RemoveTree(path_);
}

std::string ReadFile(const std::wstring& path) {
  std::ifstream in(std::filesystem::path(path), std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void WriteFile(const std::wstring& path, const std::string& content) {
  std::ofstream(std::filesystem::path(path), std::ios::binary) << content;
}

bool Exists(const std::wstring& path) {
  return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

void CopyFileOrThrow(const std::wstring& from, const std::wstring& to) {
  if (!CopyFileW(from.c_str(), to.c_str(), FALSE)) Fail("cannot copy " + Narrow(from) + " to", to);
}

std::vector<std::wstring> FolderEntries(const std::wstring& folder) {
  std::vector<std::wstring> names;
  ForEachEntry(folder, [&](const std::wstring& name, DWORD) { names.push_back(name); });
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
