#pragma once
// The platform tests' own calls below the scratch key.

#include <memory>
#include <string>

#include "tests/support/Backends.h"

class PlatformTest : public BackendTest {
 protected:
  void SetUp() override {
    BackendTest::SetUp();
    key_ = std::make_unique<ScopedKey>(api());
    ASSERT_EQ(OpenRel("", *key_), reg::kSuccess);
  }
  void TearDown() override {
    key_.reset();
    BackendTest::TearDown();
  }
  // The scratch key, open with every right.
  RegHandle key() const { return key_->get(); }
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
  RegStatus EnumKey(RegHandle key, uint32_t index, char* name, uint32_t* len, char* cls = nullptr,
                    uint32_t* clsLen = nullptr) {
    return api().RegEnumKeyExA(key, index, name, len, nullptr, cls, clsLen, nullptr);
  }
  // What a handle's first subkey and a value's size answer, as probes of what it allows.
  RegStatus FirstSubkey(RegHandle key) {
    char name[64];
    uint32_t len = sizeof name;
    return EnumKey(key, 0, name, &len);
  }
  RegStatus ValueSize(RegHandle key, const char* name, uint32_t* size = nullptr) {
    uint32_t ignored = 0;
    return api().RegQueryValueExA(key, name, nullptr, nullptr, nullptr,
                                  size != nullptr ? size : &ignored);
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

 private:
  std::unique_ptr<ScopedKey> key_;  // made once the backend exists
};
