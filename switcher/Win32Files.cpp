// The file calls through ntdll, whose opens relative to a folder handle and renames,
// deletions and attribute changes by handle every Windows from XP on has; Vista's
// SetFileInformationByHandle passes the same requests to NtSetInformationFile, so one
// path serves every version. Looked up at run time: the exe imports nothing from ntdll,
// and nothing newer than XP (GetFinalPathNameByHandleW is Vista's).
#include "switcher/FileApi.h"

namespace files {
namespace {

struct UnicodeString {
  USHORT length;
  USHORT maximumLength;
  const wchar_t* buffer;
};
struct ObjectAttributes {
  ULONG length;
  HANDLE rootDirectory;
  UnicodeString* objectName;
  ULONG attributes;
  void* securityDescriptor;
  void* securityQualityOfService;
};
struct IoStatus {
  LONG status;
  ULONG_PTR information;
};
struct BasicInformation {
  LARGE_INTEGER creation, lastAccess, lastWrite, change;
  ULONG attributes;
};
struct RenameInformation {
  BOOLEAN replaceIfExists;
  HANDLE rootDirectory;
  ULONG nameLength;
  wchar_t name[MAX_PATH];
};

constexpr ULONG kCaseInsensitive = 0x40;       // OBJ_CASE_INSENSITIVE
constexpr ULONG kSynchronousIo = 0x20;         // FILE_SYNCHRONOUS_IO_NONALERT
constexpr ULONG kNonDirectory = 0x40;          // FILE_NON_DIRECTORY_FILE
constexpr ULONG kOpenReparsePoint = 0x200000;  // FILE_OPEN_REPARSE_POINT
constexpr ULONG kBasicInformation = 4;
constexpr ULONG kNameInformation = 9;
constexpr ULONG kRenameInformation = 10;
constexpr ULONG kDispositionInformation = 13;

template <class Function>
Function Find(const wchar_t* module, const char* name) {
  const HMODULE loaded = GetModuleHandleW(module);
  return loaded ? reinterpret_cast<Function>(
                      reinterpret_cast<void (*)()>(GetProcAddress(loaded, name)))
                : nullptr;
}

DWORD Win32Error(LONG status) {
  if (status >= 0) return ERROR_SUCCESS;
  using ToDos = ULONG(WINAPI*)(LONG);
  const auto toDos = Find<ToDos>(L"ntdll.dll", "RtlNtStatusToDosError");
  const DWORD error = toDos ? toDos(status) : ERROR_GEN_FAILURE;
  return error != ERROR_SUCCESS ? error : ERROR_GEN_FAILURE;
}

DWORD SetInformation(HANDLE file, const void* data, ULONG size, ULONG kind) {
  using Set = LONG(WINAPI*)(HANDLE, IoStatus*, const void*, ULONG, ULONG);
  const auto set = Find<Set>(L"ntdll.dll", "NtSetInformationFile");
  if (!set) return ERROR_CALL_NOT_IMPLEMENTED;
  IoStatus io{};
  return Win32Error(set(file, &io, data, size, kind));
}

DWORD SetBasic(HANDLE file, DWORD attributes, LONGLONG lastWrite) {
  BasicInformation basic{};  // zero times and attributes are left as they are
  basic.lastWrite.QuadPart = lastWrite;
  basic.attributes = attributes;
  return SetInformation(file, &basic, sizeof basic, kBasicInformation);
}

class Win32Files final : public FileApi {
 public:
  DWORD OpenFolder(const std::wstring& path, Handle& folder) override {
    folder =
        Handle(CreateFileW(path.c_str(), FILE_LIST_DIRECTORY | FILE_TRAVERSE | SYNCHRONIZE,
                           FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                           FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
    return folder.valid() ? ERROR_SUCCESS : GetLastError();
  }

  DWORD Open(HANDLE folder, std::wstring_view name, DWORD access, DWORD share, Disposition how,
             Handle& file) override {
    using Create = LONG(WINAPI*)(HANDLE*, ACCESS_MASK, ObjectAttributes*, IoStatus*, LARGE_INTEGER*,
                                 ULONG, ULONG, ULONG, ULONG, void*, ULONG);
    const auto create = Find<Create>(L"ntdll.dll", "NtCreateFile");
    if (!create) return ERROR_CALL_NOT_IMPLEMENTED;
    const auto bytes = static_cast<USHORT>(name.size() * sizeof(wchar_t));
    UnicodeString text{bytes, bytes, name.data()};
    ObjectAttributes where{sizeof where, folder, &text, kCaseInsensitive, nullptr, nullptr};
    IoStatus io{};
    HANDLE opened = INVALID_HANDLE_VALUE;
    const LONG status = create(&opened, access | SYNCHRONIZE, &where, &io, nullptr,
                               FILE_ATTRIBUTE_NORMAL, share, static_cast<ULONG>(how),
                               kSynchronousIo | kNonDirectory | kOpenReparsePoint, nullptr, 0);
    file = Handle(status >= 0 ? opened : INVALID_HANDLE_VALUE);
    return Win32Error(status);
  }

  DWORD Query(HANDLE file, Info& info) override {
    BY_HANDLE_FILE_INFORMATION data{};
    if (!GetFileInformationByHandle(file, &data)) return GetLastError();
    info = {data.dwFileAttributes, data.nNumberOfLinks,
            ULONGLONG{data.nFileIndexHigh} << 32 | data.nFileIndexLow};
    return ERROR_SUCCESS;
  }

  DWORD FinalPath(HANDLE folder, std::wstring& path) override {
    // Longer paths cannot have been opened without "\\?\", which Burnisher never uses.
    union {
      ULONG bytes;
      wchar_t text[MAX_PATH + 8];
    } name{};
    using Final = DWORD(WINAPI*)(HANDLE, wchar_t*, DWORD, DWORD);
    if (const auto final = Find<Final>(L"kernel32.dll", "GetFinalPathNameByHandleW")) {
      const DWORD n = final(folder, name.text, MAX_PATH + 8, 0);
      if (n == 0 || n >= MAX_PATH + 8) return n == 0 ? GetLastError() : ERROR_BUFFER_OVERFLOW;
      // "\\?\C:\..." and "\\?\UNC\server\...": the forms the user would write.
      wchar_t* start = name.text + 4;
      if (start[0] == L'U' && start[1] == L'N' && start[2] == L'C' && start[3] == L'\\') {
        *(start += 2) = L'\\';
      }
      path = start;
      return ERROR_SUCCESS;
    }
    // Windows XP: the name on the volume (FILE_NAME_INFORMATION), without the volume.
    using QueryName = LONG(WINAPI*)(HANDLE, IoStatus*, void*, ULONG, ULONG);
    const auto query = Find<QueryName>(L"ntdll.dll", "NtQueryInformationFile");
    if (!query) return ERROR_CALL_NOT_IMPLEMENTED;
    IoStatus io{};
    const LONG status = query(folder, &io, &name, sizeof name - sizeof(wchar_t), kNameInformation);
    if (status < 0) return Win32Error(status);
    path.assign(name.text + 2, name.bytes / sizeof(wchar_t));
    return ERROR_SUCCESS;
  }

  DWORD SetAttributes(HANDLE file, DWORD attributes) override {
    return SetBasic(file, attributes, 0);
  }

  DWORD Touch(HANDLE file) override {
    FILETIME now{};
    GetSystemTimeAsFileTime(&now);
    return SetBasic(file, 0, LONGLONG{now.dwHighDateTime} << 32 | now.dwLowDateTime);
  }

  DWORD Rename(HANDLE file, HANDLE folder, std::wstring_view name, bool replace) override {
    RenameInformation rename{replace, folder, 0, {}};
    if (name.size() >= MAX_PATH) return ERROR_FILENAME_EXCED_RANGE;
    name.copy(rename.name, name.size());
    rename.nameLength = static_cast<ULONG>(name.size() * sizeof(wchar_t));
    return SetInformation(file, &rename, sizeof rename, kRenameInformation);
  }

  DWORD Delete(HANDLE file) override {
    const BOOLEAN remove = TRUE;
    return SetInformation(file, &remove, sizeof remove, kDispositionInformation);
  }
};

}  // namespace

namespace {
constinit Win32Files platformFiles;
}  // namespace

FileApi& PlatformFiles() { return platformFiles; }

ULONGLONG RandomBits() {
  ULONGLONG bits = 0;
  // RtlGenRandom, by its export name; advapi32 is loaded with the registry calls.
  using Random = BOOLEAN(WINAPI*)(void*, ULONG);
  const auto random = Find<Random>(L"advapi32.dll", "SystemFunction036");
  if (!random || !random(&bits, sizeof bits)) {
    FILETIME now{};
    GetSystemTimeAsFileTime(&now);
    bits = (ULONGLONG{now.dwHighDateTime} << 32 | now.dwLowDateTime) ^
           ULONGLONG { GetCurrentProcessId() } << 40;
  }
  return bits;
}

}  // namespace files
