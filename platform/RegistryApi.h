#pragma once
// What the registry class needs from Win32, and nothing more: the ANSI registry
// entry points, ExpandEnvironmentStringsA, and the system code page conversions.
// The library implements it with advapi32 and kernel32 (Windows builds); the
// tests have an in-memory stand-in that answers as Windows does.
//
// A handle travels as a signed integer as wide as a pointer, so it holds a whole
// HKEY on 32- and 64-bit Windows alike. The predefined roots are the 32-bit signed
// numbers Windows gives them (HKEY_LOCAL_MACHINE is 0x80000002), widened with their
// sign as Windows widens them. Statuses are the Win32 error numbers.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "platform/AnsiConversion.h"

namespace vbreg {

using RegHandle = std::intptr_t;
using RegStatus = int32_t;

namespace reg {

// Predefined roots. Named here (not HKEY_*) because <windows.h> defines those as macros.
inline constexpr RegHandle kClassesRoot = static_cast<int32_t>(0x80000000u);
inline constexpr RegHandle kCurrentUser = static_cast<int32_t>(0x80000001u);
inline constexpr RegHandle kLocalMachine = static_cast<int32_t>(0x80000002u);
inline constexpr RegHandle kUsers = static_cast<int32_t>(0x80000003u);
inline constexpr RegHandle kPerformanceData = static_cast<int32_t>(0x80000004u);
inline constexpr RegHandle kCurrentConfig = static_cast<int32_t>(0x80000005u);

inline constexpr uint32_t kKeyRead = 0x20019;
inline constexpr uint32_t kKeyWrite = 0x20006;
inline constexpr uint32_t kKeyAllAccess = 0xF003F;

inline constexpr RegStatus kSuccess = 0;
inline constexpr RegStatus kFileNotFound = 2;
inline constexpr RegStatus kAccessDenied = 5;
inline constexpr RegStatus kInvalidHandle = 6;
inline constexpr RegStatus kNotEnoughMemory = 8;
inline constexpr RegStatus kBadNetPath = 53;
inline constexpr RegStatus kInvalidParameter = 87;
inline constexpr RegStatus kBadPathName = 161;
inline constexpr RegStatus kMoreData = 234;
inline constexpr RegStatus kNoMoreItems = 259;
inline constexpr RegStatus kKeyDeleted = 1018;

inline constexpr uint32_t kRegNone = 0;
inline constexpr uint32_t kRegSz = 1;
inline constexpr uint32_t kRegExpandSz = 2;
inline constexpr uint32_t kRegBinary = 3;
inline constexpr uint32_t kRegDword = 4;
inline constexpr uint32_t kRegDwordBigEndian = 5;
inline constexpr uint32_t kRegLink = 6;
inline constexpr uint32_t kRegMultiSz = 7;
inline constexpr uint32_t kRegQword = 11;

}  // namespace reg

// Win32 SECURITY_ATTRIBUTES, its descriptor pointer as a whole integer.
struct RegSecurityAttributes {
  uint32_t nLength = 0;
  uintptr_t lpSecurityDescriptor = 0;
  int32_t bInheritHandle = 0;
};

// Win32 FILETIME.
struct RegFileTime {
  uint32_t dwLowDateTime = 0;
  uint32_t dwHighDateTime = 0;
};

class RegistryApi {
 public:
  virtual ~RegistryApi() = default;

  virtual RegStatus RegOpenKeyExA(RegHandle hKey, const char* lpSubKey, uint32_t ulOptions,
                                  uint32_t samDesired, RegHandle* phkResult) = 0;
  virtual RegStatus RegQueryValueExA(RegHandle hKey, const char* lpValueName, uint32_t* lpReserved,
                                     uint32_t* lpType, uint8_t* lpData, uint32_t* lpcbData) = 0;
  virtual RegStatus RegSetValueExA(RegHandle hKey, const char* lpValueName, uint32_t Reserved,
                                   uint32_t dwType, const uint8_t* lpData, uint32_t cbData) = 0;
  virtual RegStatus RegCreateKeyExA(RegHandle hKey, const char* lpSubKey, uint32_t Reserved,
                                    char* lpClass, uint32_t dwOptions, uint32_t samDesired,
                                    const RegSecurityAttributes* lpSecurityAttributes,
                                    RegHandle* phkResult, uint32_t* lpdwDisposition) = 0;
  virtual RegStatus RegDeleteKeyA(RegHandle hKey, const char* lpSubKey) = 0;
  virtual RegStatus RegDeleteValueA(RegHandle hKey, const char* lpValueName) = 0;
  virtual RegStatus RegEnumKeyExA(RegHandle hKey, uint32_t dwIndex, char* lpName,
                                  uint32_t* lpcchName, uint32_t* lpReserved, char* lpClass,
                                  uint32_t* lpcchClass, RegFileTime* lpftLastWriteTime) = 0;
  virtual RegStatus RegEnumValueA(RegHandle hKey, uint32_t dwIndex, char* lpValueName,
                                  uint32_t* lpcchValueName, uint32_t* lpReserved, uint32_t* lpType,
                                  uint8_t* lpData, uint32_t* lpcbData) = 0;
  virtual RegStatus RegConnectRegistryA(const char* lpMachineName, RegHandle hKey,
                                        RegHandle* phkResult) = 0;
  virtual RegStatus RegCloseKey(RegHandle hKey) = 0;
  virtual uint32_t ExpandEnvironmentStringsA(const char* lpSrc, char* lpDst, uint32_t nSize) = 0;
  // The most characters ExpandEnvironmentStringsA may be given as its capacity: 32,767
  // on Windows XP and Server 2003, which keep the count in 16 bits of bytes and
  // misread a larger one; 0 where no such limit stands.
  virtual uint32_t ExpansionLimit() = 0;

  // Text holding a number, read as the language reads it in the user's locale
  // (VarI4FromStr): nullopt when the text holds none, or one outside the 32-bit range.
  virtual std::optional<int32_t> NumberFromText(std::u16string_view text) = 0;

  // UTF-16 to the system ANSI code page over the whole length (NULs included),
  // converted as ansi::ConversionFor chooses: on the table code pages characters
  // they cannot represent become '?'. Throws ansi::ConversionError when the
  // conversion fails, so a failure is never mistaken for empty text.
  virtual std::string ToAnsi(std::u16string_view text) = 0;
  // The system ANSI code page back to UTF-16, over the whole length; throws
  // ansi::ConversionError when the conversion fails.
  virtual std::u16string FromAnsi(std::string_view bytes) = 0;
};

#ifdef _WIN32
// The registry of the system the program runs on (advapi32), one for the process.
// Other hosts have none: there a caller hands the class an implementation of its own.
RegistryApi& PlatformRegistry();
#endif

}  // namespace vbreg
