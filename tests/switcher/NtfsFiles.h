#pragma once
// The system's file calls with the rules of NTFS that Wine 8 does not keep, so that
// the switcher's tests see what Windows would do:
// - a replacing rename refuses a read-only destination (Wine replaces it);
// - a handle-based deletion refuses a read-only file;
// - a name can be marked a reparse point (a junction or symbolic link on Windows; Wine
//   reports a Unix link to a file as a plain file, and to a folder only through the
//   folder's final path).
// Hard links need no stand-in: Wine makes real ones (CreateHardLinkW) and counts them.
// An overwriting create, which NTFS refuses over a hidden or system file, is not among
// the calls: FileApi creates exclusively or not at all.
#ifdef _WIN32

#include <map>
#include <set>
#include <string>

#include "switcher/FileApi.h"

class NtfsFiles final : public files::FileApi {
 public:
  explicit NtfsFiles(files::FileApi& real = files::PlatformFiles()) : real_(real) {}

  // From now on `path` reads as a reparse point.
  void MarkReparsePoint(const std::wstring& path) { reparse_.insert(Key(path)); }

  DWORD OpenFolder(const std::wstring& path, files::Handle& folder) override;
  DWORD Open(HANDLE folder, std::wstring_view name, DWORD access, DWORD share,
             files::Disposition how, files::Handle& file) override;
  DWORD Query(HANDLE file, files::Info& info) override;
  DWORD FinalPath(HANDLE folder, std::wstring& path) override {
    return real_.FinalPath(folder, path);
  }
  DWORD SetAttributes(HANDLE file, DWORD attributes) override {
    return real_.SetAttributes(file, attributes);
  }
  DWORD Touch(HANDLE file) override { return real_.Touch(file); }
  DWORD Replace(HANDLE file, HANDLE folder, std::wstring_view name) override;
  DWORD Delete(HANDLE file) override;

 private:
  static std::wstring Key(const std::wstring& path);
  // The attributes of the file a handle was opened on, by its name.
  DWORD AttributesOf(HANDLE file) const;

  files::FileApi& real_;
  std::set<std::wstring> reparse_;
  std::map<HANDLE, std::wstring> paths_;  // the full path each open went to
};

#endif  // _WIN32
