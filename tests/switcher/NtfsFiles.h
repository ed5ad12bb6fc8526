#pragma once
// The system's file calls with the rules of NTFS that Wine 8 does not keep, so that
// the switcher's tests see what Windows would do:
// - a replacing rename refuses a read-only destination (Wine replaces it): the reference
//   of FILE_RENAME_INFORMATION (ntifs.h) has the flag FILE_RENAME_IGNORE_READONLY_ATTRIBUTE
//   (Windows 10 1809 and later) "allow replacing a file even if it is read-only", which a
//   plain FileRenameInformation does not carry. A hidden or system destination is
//   replaced like any other, and the name then holds the renamed file with its own
//   attributes: the replaced file's go with it (the same reference, and SetFileInformation
//   ByHandle's FileRenameInfo: "the target file will be replaced by the source file").
// - a handle-based deletion refuses a read-only file;
// - a name can be marked a reparse point (a junction or symbolic link on Windows; Wine
//   reports a Unix link to a file as a plain file, and to a folder only through the
//   folder's final path).
// Hard links need no stand-in: Wine makes real ones (CreateHardLinkW) and counts them.
// An overwriting create, which NTFS refuses over a hidden or system file, is not among
// the calls: FileApi creates exclusively or not at all.
#ifdef _WIN32

#include <cwctype>
#include <map>
#include <set>
#include <string>

#include "switcher/FileApi.h"

class NtfsFiles final : public files::FileApi {
 public:
  // From now on `path` reads as a reparse point.
  void MarkReparsePoint(const std::wstring& path) { reparse_.insert(Key(path)); }
  // The next rename to `name` is refused, as when another program holds the name open.
  void FailNextRenameTo(std::wstring name) { failRename_ = Key(std::move(name)); }

  DWORD OpenFolder(const std::wstring& path, files::Handle& folder) override {
    const DWORD error = real_.OpenFolder(path, folder);
    if (error == ERROR_SUCCESS) paths_[folder.get()] = path;
    return error;
  }
  DWORD Open(HANDLE folder, std::wstring_view name, DWORD access, DWORD share,
             files::Disposition how, files::Handle& file) override {
    const DWORD error = real_.Open(folder, name, access, share, how, file);
    if (error == ERROR_SUCCESS) paths_[file.get()] = paths_[folder] + L"\\" + std::wstring(name);
    return error;
  }
  DWORD Query(HANDLE file, files::Info& info) override {
    const DWORD error = real_.Query(file, info);
    const auto at = paths_.find(file);
    if (error == ERROR_SUCCESS && at != paths_.end() && reparse_.contains(Key(at->second))) {
      info.attributes |= FILE_ATTRIBUTE_REPARSE_POINT;
    }
    return error;
  }
  DWORD FinalPath(HANDLE folder, std::wstring& path) override {
    return real_.FinalPath(folder, path);
  }
  DWORD SetAttributes(HANDLE file, DWORD attributes) override {
    return real_.SetAttributes(file, attributes);
  }
  DWORD Touch(HANDLE file) override { return real_.Touch(file); }
  DWORD Rename(HANDLE file, HANDLE folder, std::wstring_view name, bool replace) override {
    const std::wstring destination = paths_[folder] + L"\\" + std::wstring(name);
    if (replace && ReadOnly(destination)) return ERROR_ACCESS_DENIED;
    if (!failRename_.empty() && Key(std::wstring(name)) == failRename_) {
      failRename_.clear();
      return ERROR_SHARING_VIOLATION;
    }
    files::Info source;
    real_.Query(file, source);
    const DWORD error = real_.Rename(file, folder, name, replace);
    if (error != ERROR_SUCCESS) return error;
    paths_[file] = destination;
    // The name holds the renamed file as it was, whatever a file system kept of the other.
    files::Info renamed;
    if (real_.Query(file, renamed) == ERROR_SUCCESS && renamed.attributes != source.attributes) {
      real_.SetAttributes(file, source.attributes ? source.attributes : FILE_ATTRIBUTE_NORMAL);
    }
    return error;
  }
  DWORD Delete(HANDLE file) override {
    const auto at = paths_.find(file);
    if (at != paths_.end() && ReadOnly(at->second)) return ERROR_ACCESS_DENIED;
    return real_.Delete(file);
  }

 private:
  static std::wstring Key(std::wstring path) {
    for (wchar_t& c : path) c = static_cast<wchar_t>(std::towupper(c));
    return path;
  }
  static bool ReadOnly(const std::wstring& path) {
    const DWORD attributes = GetFileAttributesW(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_READONLY) != 0;
  }

  files::FileApi& real_ = files::PlatformFiles();
  std::set<std::wstring> reparse_;
  std::wstring failRename_;
  std::map<HANDLE, std::wstring> paths_;  // the full path each open went to
};

#endif  // _WIN32
