#pragma once
// An in-memory registry that answers the RegistryApi calls the way Windows does,
// for the behaviours the registry class relies on. The host build runs the class
// against it; tests also use it for what the real registry cannot show: the exact
// calls made, handles left open, denied rights and injected failures.
//
// Text is held as the ANSI functions see it, in the bytes of the system code page
// the stand-in is made with (1250 to 1258, 932 or UTF-8), so byte counts are that
// code page's. Key and value names compare without regard to case, as Windows
// compares them: decoded, then upper-cased.

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/RegistryApi.h"

// The stand-in and its tests speak the library's names unqualified.
using namespace vbreg;

class FakeRegistry : public RegistryApi {
 public:
  // One registry call as it was made, with what the stand-in answered.
  struct Call {
    std::string function;        // e.g. "RegOpenKeyExA"
    RegHandle key = 0;           // hKey passed in (0 for RegConnectRegistryA's machine-less calls)
    std::string name;            // sub key path, value name, machine name or expansion source
    bool nameIsNull = false;     // a null pointer was passed for the name
    uint32_t access = 0;         // samDesired
    uint32_t options = 0;        // ulOptions / dwOptions
    uint32_t index = 0;          // enumeration index
    uint32_t type = 0;           // RegSetValueExA: dwType
    std::vector<uint8_t> data;   // RegSetValueExA: the bytes passed
    uint32_t size = 0;           // the buffer size passed in (*lpcbData, *lpcchName, cbData, nSize)
    uint32_t classSize = 0;      // RegEnumKeyExA: *lpcchClass passed in
    bool classGiven = false;     // RegEnumKeyExA / RegCreateKeyExA: lpClass was not null
    bool securityGiven = false;  // RegCreateKeyExA: lpSecurityAttributes was not null
    RegSecurityAttributes security{};  // RegCreateKeyExA: the record passed, when given
    RegStatus status = 0;    // the status answered (or, for the expansion, its return value)
    RegHandle result = 0;    // the handle handed out, when one was
    uint32_t dataSize = 0;   // RegEnumValueA: *lpcbData passed in
    bool dataGiven = false;  // a data or destination buffer was passed (lpData, lpDst)
  };

  // `localName` is the computer's own name: RegConnectRegistryA accepts it (and
  // "\\" + it, any case), the empty name and a null pointer for the local registry.
  // Through a name, this computer's or another's, only HKLM, HKU and
  // HKEY_PERFORMANCE_DATA connect; other roots give ERROR_INVALID_HANDLE.
  // `codePage` is the system ANSI code page: 1250 to 1258, 932 or 65001.
  explicit FakeRegistry(std::string localName = "STANDIN", uint32_t codePage = 1252);
  ~FakeRegistry() override;
  FakeRegistry(const FakeRegistry&) = delete;
  FakeRegistry& operator=(const FakeRegistry&) = delete;

  // RegistryApi.
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

  // ---- Set-up for tests (no call is logged) --------------------------------------
  // Another computer reachable through RegConnectRegistryA, with a registry of its own.
  void AddComputer(const std::string& name);
  // Makes every level of `path` below `root` on `computer` ("" = the local one);
  // `className` becomes the class of the last level.
  void MakeKey(RegHandle root, const std::string& path, const std::string& className = "",
               const std::string& computer = "");
  // Stores a value as RegSetValueExA would (making the key when missing).
  void PutValue(RegHandle root, const std::string& path, const std::string& name, uint32_t type,
                std::vector<uint8_t> data, const std::string& computer = "");
  // Opening this key with any right in `deniedRights` gives ERROR_ACCESS_DENIED;
  // so does creating, deleting or writing where the right needed is denied.
  void DenyAccess(RegHandle root, const std::string& path, uint32_t deniedRights,
                  const std::string& computer = "");
  // The environment that ExpandEnvironmentStringsA expands from (names compare
  // without regard to case).
  void SetEnvironment(const std::string& name, const std::string& value);
  // What ExpandEnvironmentStringsA answers: Windows' count of bytes, or Wine's count
  // of characters (Wine 8 on a double-byte code page answers the characters of the
  // result and its NUL and fills the buffer without a NUL when that is too few bytes).
  enum class ExpansionCount { Bytes, Characters };
  void SetExpansionCount(ExpansionCount count);
  // Plays Windows XP (and Server 2003): ExpandEnvironmentStringsA fails, answering 0,
  // when given a capacity above 32,767 characters or a longer source, where XP would
  // misread the count; ExpansionLimit() says so.
  void PlayWindowsXp(bool xp = true);
  // The user's locale for NumberFromText: "en-US" (at first) or "de-DE".
  void SetUserLocale(const std::string& name);

  // ---- Code page -------------------------------------------------------------------
  uint32_t CodePage() const;
  // WideCharToMultiByte on this code page with any flags and default character:
  // 0, or the error with which Windows refuses them there (ERROR_INVALID_FLAGS,
  // ERROR_INVALID_PARAMETER). ToAnsi converts with ansi::ConversionFor's choice.
  int32_t WideCharToMultiByte(std::u16string_view text, uint32_t flags, const char* defaultChar,
                              std::string& out) const;

  // ---- Observation -------------------------------------------------------------
  // Handles handed out and not yet closed (predefined roots are not counted).
  int OpenHandleCount() const;
  const std::vector<Call>& Calls() const;
  std::vector<Call> CallsTo(const std::string& function) const;
  void ClearCalls();
  // Direct look at stored data, without a call: nullopt when the key or value is absent.
  struct StoredValue {
    uint32_t type = 0;
    std::vector<uint8_t> data;
  };
  std::optional<StoredValue> GetStored(RegHandle root, const std::string& path,
                                       const std::string& name,
                                       const std::string& computer = "") const;
  bool HasKey(RegHandle root, const std::string& path, const std::string& computer = "") const;

  // ---- Fault injection -----------------------------------------------------------
  // The `nth` call (1-based, counted from now) of `function` answers `status` and does
  // nothing else; every call when nth is 0. "WideCharToMultiByte" and
  // "MultiByteToWideChar" make ToAnsi and FromAnsi of non-empty text throw
  // ansi::ConversionError(status) instead (conversions are not logged).
  void InjectStatus(const std::string& function, RegStatus status, int nth = 0);
  // Runs after every logged call, with that call; may change the registry through
  // the set-up functions (e.g. grow a value between two queries).
  void SetAfterCallHook(std::function<void(const Call&)> hook);
  void ClearFaults();

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
};
