// The real registry: advapi32's ANSI entry points and kernel32's expansion, with the
// system ANSI code page for text. Windows builds only.
#include "platform/RegistryApi.h"

#ifdef _WIN32

#include <windows.h>

#include <array>
#include <climits>

namespace vbreg {

namespace {

// Our types and the ones Windows wants: a handle is an HKEY as an integer of its width,
// and a count a DWORD (unsigned long with mingw, so the pointers do not convert).
HKEY Native(RegHandle h) { return reinterpret_cast<HKEY>(h); }
DWORD Native(uint32_t n) { return n; }
RegHandle Portable(HKEY h) { return reinterpret_cast<RegHandle>(h); }
uint32_t Portable(DWORD n) { return static_cast<uint32_t>(n); }
RegStatus Status(LSTATUS st) { return static_cast<RegStatus>(st); }

// An in/out parameter of ours behind the pointer Windows wants: the value goes in
// converted and comes back converted when the call is over. Null stays null.
template <class Ours>
class Through {
 public:
  explicit Through(Ours* p) : p_(p), v_(Native(p != nullptr ? *p : Ours{})) {}
  ~Through() {
    if (p_ != nullptr) *p_ = Portable(v_);
  }
  Through(const Through&) = delete;
  Through& operator=(const Through&) = delete;
  auto get() { return p_ != nullptr ? &v_ : nullptr; }

 private:
  Ours* p_;
  decltype(Native(Ours{})) v_;
};

// Texts up to this many UTF-16 units convert to ANSI in a single call.
constexpr size_t kOneCallUnits = 1024;

int CheckedLength(size_t n) {
  // The system's conversion counts in int: a longer text cannot be converted at all.
  if (n > static_cast<size_t>(INT_MAX)) throw ansi::ConversionError(ERROR_NOT_ENOUGH_MEMORY);
  return static_cast<int>(n);
}

[[noreturn]] void ConversionFailed() {
  throw ansi::ConversionError(static_cast<int32_t>(::GetLastError()));
}

using VarI4FromStrFn = HRESULT(WINAPI*)(const wchar_t*, LCID, ULONG, LONG*);

// oleaut32's own conversion, looked up once: neither exe imports oleaut32, and only
// writing text as a number needs it. Loaded by its full path in the system folder,
// never by bare name: the calling program may run elevated from a folder another user
// can write to.
VarI4FromStrFn SystemConversion() {
  static const VarI4FromStrFn fn = [] {
    wchar_t path[MAX_PATH + 16] = {};
    const UINT n = ::GetSystemDirectoryW(path, MAX_PATH);
    if (n == 0 || n >= MAX_PATH) return VarI4FromStrFn{};
    const wchar_t name[] = L"\\oleaut32.dll";
    for (UINT i = 0; i < sizeof name / sizeof name[0]; ++i) path[n + i] = name[i];
    const HMODULE module = ::LoadLibraryW(path);  // kept for the process's life
    if (module == nullptr) return VarI4FromStrFn{};
    return reinterpret_cast<VarI4FromStrFn>(
        reinterpret_cast<void*>(::GetProcAddress(module, "VarI4FromStr")));
  }();
  return fn;
}

class Win32Registry final : public RegistryApi {
 public:
  RegStatus RegOpenKeyExA(RegHandle hKey, const char* lpSubKey, uint32_t ulOptions,
                          uint32_t samDesired, RegHandle* phkResult) override {
    Through<RegHandle> out(phkResult);
    return Status(::RegOpenKeyExA(Native(hKey), lpSubKey, ulOptions, samDesired, out.get()));
  }

  RegStatus RegQueryValueExA(RegHandle hKey, const char* lpValueName, uint32_t* lpReserved,
                             uint32_t* lpType, uint8_t* lpData, uint32_t* lpcbData) override {
    Through<uint32_t> reserved(lpReserved), type(lpType), cb(lpcbData);
    return Status(::RegQueryValueExA(Native(hKey), lpValueName, reserved.get(), type.get(), lpData,
                                     cb.get()));
  }

  RegStatus RegSetValueExA(RegHandle hKey, const char* lpValueName, uint32_t Reserved,
                           uint32_t dwType, const uint8_t* lpData, uint32_t cbData) override {
    return Status(::RegSetValueExA(Native(hKey), lpValueName, Reserved, dwType, lpData, cbData));
  }

  RegStatus RegCreateKeyExA(RegHandle hKey, const char* lpSubKey, uint32_t Reserved, char* lpClass,
                            uint32_t dwOptions, uint32_t samDesired,
                            const RegSecurityAttributes* lpSecurityAttributes, RegHandle* phkResult,
                            uint32_t* lpdwDisposition) override {
    // The record arrives in its 32-bit layout; hand Windows its native one.
    SECURITY_ATTRIBUTES sa{};
    if (lpSecurityAttributes != nullptr) {
      sa.nLength = sizeof sa;
      sa.lpSecurityDescriptor = reinterpret_cast<void*>(lpSecurityAttributes->lpSecurityDescriptor);
      sa.bInheritHandle = lpSecurityAttributes->bInheritHandle;
    }
    Through<RegHandle> out(phkResult);
    Through<uint32_t> disposition(lpdwDisposition);
    return Status(::RegCreateKeyExA(Native(hKey), lpSubKey, Reserved, lpClass, dwOptions,
                                    samDesired, lpSecurityAttributes != nullptr ? &sa : nullptr,
                                    out.get(), disposition.get()));
  }

  RegStatus RegDeleteKeyA(RegHandle hKey, const char* lpSubKey) override {
    return Status(::RegDeleteKeyA(Native(hKey), lpSubKey));
  }

  RegStatus RegDeleteValueA(RegHandle hKey, const char* lpValueName) override {
    return Status(::RegDeleteValueA(Native(hKey), lpValueName));
  }

  RegStatus RegEnumKeyExA(RegHandle hKey, uint32_t dwIndex, char* lpName, uint32_t* lpcchName,
                          uint32_t* lpReserved, char* lpClass, uint32_t* lpcchClass,
                          RegFileTime* lpftLastWriteTime) override {
    Through<uint32_t> name(lpcchName), reserved(lpReserved), cls(lpcchClass);
    FILETIME ft{};
    const LSTATUS st =
        ::RegEnumKeyExA(Native(hKey), dwIndex, lpName, name.get(), reserved.get(), lpClass,
                        cls.get(), lpftLastWriteTime != nullptr ? &ft : nullptr);
    if (lpftLastWriteTime != nullptr) *lpftLastWriteTime = {ft.dwLowDateTime, ft.dwHighDateTime};
    return Status(st);
  }

  RegStatus RegEnumValueA(RegHandle hKey, uint32_t dwIndex, char* lpValueName,
                          uint32_t* lpcchValueName, uint32_t* lpReserved, uint32_t* lpType,
                          uint8_t* lpData, uint32_t* lpcbData) override {
    Through<uint32_t> name(lpcchValueName), reserved(lpReserved), type(lpType), cb(lpcbData);
    return Status(::RegEnumValueA(Native(hKey), dwIndex, lpValueName, name.get(), reserved.get(),
                                  type.get(), lpData, cb.get()));
  }

  RegStatus RegConnectRegistryA(const char* lpMachineName, RegHandle hKey,
                                RegHandle* phkResult) override {
    Through<RegHandle> out(phkResult);
    return Status(::RegConnectRegistryA(lpMachineName, Native(hKey), out.get()));
  }

  RegStatus RegCloseKey(RegHandle hKey) override { return Status(::RegCloseKey(Native(hKey))); }

  uint32_t ExpandEnvironmentStringsA(const char* lpSrc, char* lpDst, uint32_t nSize) override {
    return static_cast<uint32_t>(::ExpandEnvironmentStringsA(lpSrc, lpDst, nSize));
  }

  uint32_t ExpansionLimit() override {
    // XP and Server 2003 are Windows 5.x; later versions take any capacity.
    static const bool limited = LOBYTE(LOWORD(::GetVersion())) == 5;
    return limited ? 32767 : 0;
  }

  std::optional<int32_t> NumberFromText(std::u16string_view text) override {
    // Without the system's conversion no text reads as a number: nothing is written.
    const VarI4FromStrFn convert = SystemConversion();
    if (convert == nullptr) return std::nullopt;
    // The conversion reads up to a NUL: a text holding one is no number.
    if (text.find(u'\0') != std::u16string_view::npos) return std::nullopt;
    const std::u16string terminated(text);
    LONG out = 0;
    if (FAILED(convert(reinterpret_cast<const wchar_t*>(terminated.c_str()), LOCALE_USER_DEFAULT, 0,
                       &out))) {
      return std::nullopt;
    }
    return static_cast<int32_t>(out);
  }

  std::string ToAnsi(std::u16string_view text) override {
    if (text.empty()) return {};
    // Explicit lengths throughout: embedded NULs are converted like any character.
    const ansi::Conversion how = ansi::ConversionFor(::GetACP());
    const auto* src = reinterpret_cast<const wchar_t*>(text.data());
    const int srcLen = CheckedLength(text.size());
    // No ANSI code page takes more than four bytes for one UTF-16 unit (GB 18030 does for
    // some), so a name or a path converts in one call into room for that on the stack;
    // only a long text, where such room would be wasteful, is measured first.
    if (text.size() <= kOneCallUnits) {
      // Not cleared: only the bytes the conversion reports writing are read.
      std::array<char, kOneCallUnits * 4> room;  // NOLINT(cppcoreguidelines-pro-type-member-init)
      const int got =
          ::WideCharToMultiByte(CP_ACP, how.flags, src, srcLen, room.data(),
                                static_cast<int>(room.size()), how.defaultChar, nullptr);
      if (got <= 0) ConversionFailed();
      return std::string(room.data(), static_cast<size_t>(got));
    }
    const int need =
        ::WideCharToMultiByte(CP_ACP, how.flags, src, srcLen, nullptr, 0, how.defaultChar, nullptr);
    if (need <= 0) ConversionFailed();
    std::string out(static_cast<size_t>(need), '\0');
    // A partial text would name something the caller never named.
    if (::WideCharToMultiByte(CP_ACP, how.flags, src, srcLen, out.data(), need, how.defaultChar,
                              nullptr) != need) {
      ConversionFailed();
    }
    return out;
  }

  std::u16string FromAnsi(std::string_view bytes) override {
    if (bytes.empty()) return {};
    const int srcLen = CheckedLength(bytes.size());
    // Every UTF-16 unit takes at least one byte on any ANSI code page (an invalid byte
    // becomes one U+FFFD), so one call into a buffer of the byte count is enough: the
    // listings convert every name they list.
    std::u16string out(bytes.size(), u'\0');
    const int got = ::MultiByteToWideChar(CP_ACP, 0, bytes.data(), srcLen,
                                          reinterpret_cast<wchar_t*>(out.data()), srcLen);
    if (got <= 0) ConversionFailed();
    out.resize(static_cast<size_t>(got));
    return out;
  }
};

}  // namespace

RegistryApi& PlatformRegistry() {
  static Win32Registry registry;
  return registry;
}

}  // namespace vbreg

#endif  // _WIN32
