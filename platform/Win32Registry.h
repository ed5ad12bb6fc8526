#pragma once
// The real registry: advapi32's ANSI entry points and kernel32's expansion, with
// the system ANSI code page for text. Windows builds only.

#ifdef _WIN32

#include "platform/RegistryApi.h"

namespace vbreg {

class Win32Registry final : public RegistryApi {
 public:
  RegStatus RegOpenKeyExA(RegHandle hKey, const char* lpSubKey, uint32_t ulOptions,
                          uint32_t samDesired, RegHandle* phkResult) override;
  RegStatus RegQueryValueExA(RegHandle hKey, const char* lpValueName, uint32_t* lpReserved,
                             uint32_t* lpType, uint8_t* lpData, uint32_t* lpcbData) override;
  RegStatus RegSetValueExA(RegHandle hKey, const char* lpValueName, uint32_t Reserved,
                           uint32_t dwType, const uint8_t* lpData, uint32_t cbData) override;
  RegStatus RegCreateKeyExA(RegHandle hKey, const char* lpSubKey, uint32_t Reserved, char* lpClass,
                            uint32_t dwOptions, uint32_t samDesired,
                            const RegSecurityAttributes* lpSecurityAttributes, RegHandle* phkResult,
                            uint32_t* lpdwDisposition) override;
  RegStatus RegDeleteKeyA(RegHandle hKey, const char* lpSubKey) override;
  RegStatus RegDeleteValueA(RegHandle hKey, const char* lpValueName) override;
  RegStatus RegEnumKeyExA(RegHandle hKey, uint32_t dwIndex, char* lpName, uint32_t* lpcchName,
                          uint32_t* lpReserved, char* lpClass, uint32_t* lpcchClass,
                          RegFileTime* lpftLastWriteTime) override;
  RegStatus RegEnumValueA(RegHandle hKey, uint32_t dwIndex, char* lpValueName,
                          uint32_t* lpcchValueName, uint32_t* lpReserved, uint32_t* lpType,
                          uint8_t* lpData, uint32_t* lpcbData) override;
  RegStatus RegConnectRegistryA(const char* lpMachineName, RegHandle hKey,
                                RegHandle* phkResult) override;
  RegStatus RegCloseKey(RegHandle hKey) override;
  uint32_t ExpandEnvironmentStringsA(const char* lpSrc, char* lpDst, uint32_t nSize) override;
  uint32_t ExpansionLimit() override;
  std::optional<int32_t> NumberFromText(std::u16string_view text) override;
  std::string ToAnsi(std::u16string_view text) override;
  std::u16string FromAnsi(std::string_view bytes) override;
};

}  // namespace vbreg

#endif  // _WIN32
