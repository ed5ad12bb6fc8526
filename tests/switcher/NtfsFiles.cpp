#include "tests/switcher/NtfsFiles.h"

#include <cwctype>

std::wstring NtfsFiles::Key(const std::wstring& path) {
  std::wstring key = path;
  for (wchar_t& c : key) c = static_cast<wchar_t>(std::towupper(c));
  return key;
}

DWORD NtfsFiles::AttributesOf(HANDLE file) const {
  const auto at = paths_.find(file);
  return at == paths_.end() ? INVALID_FILE_ATTRIBUTES : GetFileAttributesW(at->second.c_str());
}

DWORD NtfsFiles::OpenFolder(const std::wstring& path, files::Handle& folder) {
  const DWORD error = real_.OpenFolder(path, folder);
  if (error == ERROR_SUCCESS) paths_[folder.get()] = path;
  return error;
}

DWORD NtfsFiles::Open(HANDLE folder, std::wstring_view name, DWORD access, DWORD share,
                      files::Disposition how, files::Handle& file) {
  const DWORD error = real_.Open(folder, name, access, share, how, file);
  if (error == ERROR_SUCCESS) paths_[file.get()] = paths_[folder] + L"\\" + std::wstring(name);
  return error;
}

DWORD NtfsFiles::Query(HANDLE file, files::Info& info) {
  const DWORD error = real_.Query(file, info);
  const auto at = paths_.find(file);
  if (error == ERROR_SUCCESS && at != paths_.end() && reparse_.contains(Key(at->second))) {
    info.attributes |= FILE_ATTRIBUTE_REPARSE_POINT;
  }
  return error;
}

DWORD NtfsFiles::Replace(HANDLE file, HANDLE folder, std::wstring_view name) {
  const std::wstring destination = paths_[folder] + L"\\" + std::wstring(name);
  const DWORD existing = GetFileAttributesW(destination.c_str());
  if (existing != INVALID_FILE_ATTRIBUTES && (existing & FILE_ATTRIBUTE_READONLY) != 0) {
    return ERROR_ACCESS_DENIED;
  }
  const DWORD error = real_.Replace(file, folder, name);
  if (error == ERROR_SUCCESS) paths_[file] = destination;
  return error;
}

DWORD NtfsFiles::Delete(HANDLE file) {
  const DWORD attributes = AttributesOf(file);
  if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_READONLY) != 0) {
    return ERROR_ACCESS_DENIED;
  }
  return real_.Delete(file);
}
