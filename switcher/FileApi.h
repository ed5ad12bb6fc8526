#pragma once
// The file calls Burnisher makes in the IDE folder, each through a handle: the folder
// is opened once and every file is opened inside it, never by a path that a link could
// redirect. Burnisher runs elevated in a folder other users may change; a path-by-path
// call would follow whatever they planted there. Two implementations: the system's
// (PlatformFiles) and, in the tests, a stand-in that answers as NTFS does where Wine
// does not.
#ifdef _WIN32

#include <windows.h>

#include <string>
#include <string_view>

#include "switcher/Win32Helpers.h"

namespace files {

struct CloseFile {
  void operator()(HANDLE file) const noexcept { CloseHandle(file); }
};
using Handle = switcher::Owned<CloseFile>;

// What the file system says of an open file.
struct Info {
  DWORD attributes = 0;
  DWORD links = 0;      // its names: more than one when it is hard-linked elsewhere
  ULONGLONG index = 0;  // its number on its volume, the same under every name
};

// Open: whether the name must exist or must not (then it is made, exclusively).
enum class Disposition : ULONG { kOpen = 1, kCreate = 2 };

// Each call answers a Win32 error number, 0 on success.
class FileApi {
 public:
  virtual ~FileApi() = default;
  // Opens the folder at `path` itself, a link there included rather than what it
  // points at; shared for reading and writing but not deletion, so that while it is
  // held it can be neither renamed nor removed and replaced.
  virtual DWORD OpenFolder(const std::wstring& path, Handle& folder) = 0;
  // Opens the file `name` inside `folder`, a link included rather than what it points at.
  virtual DWORD Open(HANDLE folder, std::wstring_view name, DWORD access, DWORD share,
                     Disposition how, Handle& file) = 0;
  virtual DWORD Query(HANDLE file, Info& info) = 0;
  // The full path by which the system reached an open folder. Where the system cannot
  // give the volume (Windows XP), the path on its volume, starting with "\".
  virtual DWORD FinalPath(HANDLE folder, std::wstring& path) = 0;
  // Sets the attributes (FILE_ATTRIBUTE_NORMAL for none) of an open file.
  virtual DWORD SetAttributes(HANDLE file, DWORD attributes) = 0;
  // Sets the last-write time of an open file to now.
  virtual DWORD Touch(HANDLE file) = 0;
  // Renames the open `file` (opened with DELETE access) to `name` in `folder`. With
  // `replace` a file of that name is replaced; without, any entry of that name (a file,
  // a folder, a link) refuses the rename with ERROR_ALREADY_EXISTS.
  virtual DWORD Rename(HANDLE file, HANDLE folder, std::wstring_view name, bool replace) = 0;
  // Deletes the open `file` (opened with DELETE access) once its handle is closed.
  virtual DWORD Delete(HANDLE file) = 0;
};

// The system's file calls.
FileApi& PlatformFiles();

// 64 bits from the system's random number generator, for names nobody can plant in
// advance; from the clock and the process when it cannot give them.
ULONGLONG RandomBits();

}  // namespace files

#endif  // _WIN32
