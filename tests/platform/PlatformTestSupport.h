#pragma once
// Helpers shared by the registry platform tests: a handle that closes itself, and
// the few things the two backends set up differently (environment, computer name).

#include <cstring>
#include <string>
#include <vector>

#include "platform/RegistryApi.h"
#include "tests/support/Backends.h"

#ifdef _WIN32
#include <windows.h>
#endif

// Wine, not Windows: for the few cases where Wine is known to answer differently.
inline bool OnWine() {
#ifdef _WIN32
  const HMODULE ntdll = GetModuleHandleA("ntdll.dll");
  return ntdll != nullptr && GetProcAddress(ntdll, "wine_get_version") != nullptr;
#else
  return false;
#endif
}

// An open registry handle, closed when the owner goes. Predefined roots are left alone.
class ScopedKey {
 public:
  explicit ScopedKey(RegistryApi& api) : api_(&api) {}
  ~ScopedKey() { Reset(); }
  ScopedKey(const ScopedKey&) = delete;
  ScopedKey& operator=(const ScopedKey&) = delete;

  RegHandle* out() {
    Reset();
    return &h_;
  }
  RegHandle get() const { return h_; }
  operator RegHandle() const { return h_; }
  void Reset() {
    if (h_ != 0 && !(h_ >= reg::kClassesRoot && h_ <= reg::kCurrentConfig)) api_->RegCloseKey(h_);
    h_ = 0;
  }
  // Hands the handle over without closing it.
  RegHandle Release() {
    const RegHandle h = h_;
    h_ = 0;
    return h;
  }

 private:
  RegistryApi* api_;
  RegHandle h_ = 0;
};

class PlatformTest : public BackendTest {
 protected:
  // Opens a key below the scratch key; the status is returned, the handle kept in `key`.
  RegStatus OpenRel(const std::string& rel, ScopedKey& key, uint32_t access = reg::kKeyAllAccess) {
    return api().RegOpenKeyExA(reg::kCurrentUser, Join(rel).c_str(), 0, access, key.out());
  }
  RegStatus CreateRel(RegHandle parent, const char* sub, ScopedKey& key,
                      uint32_t* disposition = nullptr, const char* cls = nullptr) {
    std::string classText = cls != nullptr ? cls : "";
    return api().RegCreateKeyExA(parent, sub, 0, cls != nullptr ? classText.data() : nullptr, 0,
                                 reg::kKeyAllAccess, nullptr, key.out(), disposition);
  }
  // Stores exactly the bytes of `text`: a non-NUL byte follows them in memory, so
  // Windows does not add the terminator it adds when the next byte is NUL.
  RegStatus SetString(RegHandle key, const char* name, const std::string& text,
                      uint32_t type = reg::kRegSz) {
    const std::string guarded = text + 'X';
    return api().RegSetValueExA(key, name, 0, type,
                                reinterpret_cast<const uint8_t*>(guarded.data()),
                                static_cast<uint32_t>(text.size()));
  }
  // The real registry under Wine, for the cases where Wine is known to answer otherwise
  // than Windows (and the stand-in).
  bool RealOnWine() const { return !isFake() && OnWine(); }
  // The environment ExpandEnvironmentStringsA expands from.
  void SetEnv(const std::string& name, const std::string& value) {
    if (fake() != nullptr) {
      fake()->SetEnvironment(name, value);
      return;
    }
#ifdef _WIN32
    ASSERT_TRUE(SetEnvironmentVariableA(name.c_str(), value.c_str()));
#endif
  }
  // The name RegConnectRegistryA knows as this computer.
  std::string LocalComputerName() {
#ifdef _WIN32
    if (fake() == nullptr) {
      char buf[MAX_COMPUTERNAME_LENGTH + 1];
      DWORD len = sizeof buf;
      if (GetComputerNameA(buf, &len)) return std::string(buf, len);
      return {};
    }
#endif
    return "STANDIN";  // FakeRegistry's default
  }
};
