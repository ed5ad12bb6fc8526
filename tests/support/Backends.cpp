#include "tests/support/Backends.h"

#include <atomic>
#include <cstdio>
#include <string>

#ifdef _WIN32
#include <windows.h>
#else
#include <unistd.h>
#endif

std::vector<Backend> AllBackends() {
#ifdef _WIN32
  return {Backend{BackendKind::Fake, 1252}, Backend{BackendKind::Real, 0}};
#else
  return {Backend{BackendKind::Fake, 1252}};
#endif
}

std::vector<Backend> AllCodePages() {
  std::vector<Backend> all = AllBackends();
  std::ptrdiff_t at = 1;  // after the stand-in on 1252, before the real registry
  for (const uint32_t id : {932u, 65001u, 1250u, 1251u, 1253u, 1254u, 1255u, 1256u, 1257u, 1258u}) {
    all.insert(all.begin() + at++, Backend{BackendKind::Fake, id});
  }
  return all;
}

// The stand-in on 1252 keeps the plain name, so filters written for it still match.
std::string BackendLabel(const Backend& backend) {
  if (backend.kind == BackendKind::Real) return "Real";
  if (backend.codePage == 1252) return "StandIn";
  return "StandIn" + std::to_string(backend.codePage);
}

uint32_t SystemCodePage() {
#ifdef _WIN32
  return GetACP();
#else
  return 0;
#endif
}

bool OnWine() {
#ifdef _WIN32
  const HMODULE ntdll = GetModuleHandleA("ntdll.dll");
  return ntdll != nullptr && GetProcAddress(ntdll, "wine_get_version") != nullptr;
#else
  return false;
#endif
}

std::vector<uint8_t> Bytes(const std::string& text) { return {text.begin(), text.end()}; }

std::vector<uint8_t> Bytes0(const std::string& text) {
  std::vector<uint8_t> bytes = Bytes(text);
  bytes.push_back(0);
  return bytes;
}

std::vector<uint8_t> Le32(uint32_t v) {
  return {static_cast<uint8_t>(v), static_cast<uint8_t>(v >> 8), static_cast<uint8_t>(v >> 16),
          static_cast<uint8_t>(v >> 24)};
}

String Wide(const std::string& ascii) { return String(ascii.begin(), ascii.end()); }

std::vector<String> Names(const Collection& c) {
  std::vector<String> out;
  for (const Variant& item : c) out.push_back(item.AsString());
  return out;
}

std::vector<std::string> SubkeysOf(RegistryApi& api, RegHandle key) {
  std::vector<std::string> names;
  char name[1024];  // a 255-character name in the longest characters
  for (uint32_t len = sizeof name;
       api.RegEnumKeyExA(key, static_cast<uint32_t>(names.size()), name, &len, nullptr, nullptr,
                         nullptr, nullptr) == reg::kSuccess;
       len = sizeof name) {
    names.emplace_back(name, len);
  }
  return names;
}

std::vector<std::string> ValuesOf(RegistryApi& api, RegHandle key) {
  std::vector<std::string> names;
  std::vector<char> name(16383 * 3 + 1);  // a 16,383-character name in the longest characters
  for (auto len = static_cast<uint32_t>(name.size());
       api.RegEnumValueA(key, static_cast<uint32_t>(names.size()), name.data(), &len, nullptr,
                         nullptr, nullptr, nullptr) == reg::kSuccess;
       len = static_cast<uint32_t>(name.size())) {
    names.emplace_back(name.data(), len);
  }
  return names;
}

namespace {
std::string UniqueScratch() {
  static std::atomic<int> counter{0};
#ifdef _WIN32
  const unsigned long pid = GetCurrentProcessId();
#else
  const unsigned long pid = static_cast<unsigned long>(getpid());
#endif
  char buf[96];
  std::snprintf(buf, sizeof buf, "Software\\BurnisherTests\\p%lu_%d", pid, counter++);
  return buf;
}
}  // namespace

void BackendFixture::SetUpBackend(const Backend& backend) {
  backend_ = backend;
  scratch_ = UniqueScratch();
  if (isFake()) {
    fake_ = std::make_unique<FakeRegistry>("STANDIN", backend.codePage);
    api_ = fake_.get();
  } else {
#ifdef _WIN32
    api_ = &PlatformRegistry();
#else
    FAIL() << "this host has no registry of its own";
#endif
  }
  MakeKey("");
}

void BackendFixture::TearDownBackend() {
  if (fake_) {
    EXPECT_EQ(fake_->OpenHandleCount(), 0) << "a handle outlived the test";
  }
  if (api_ != nullptr) DeleteTree(scratch_);
}

void BackendFixture::ExpectCalls(const std::vector<std::string>& functions) const {
  if (!fake_) return;
  std::vector<std::string> called;
  for (const auto& call : fake_->Calls()) called.push_back(call.function);
  EXPECT_EQ(called, functions);
}

RegStatus BackendFixture::OpenAt(const std::string& path, ScopedKey& key, uint32_t access) {
  return api_->RegOpenKeyExA(root_, path.c_str(), 0, access, key.out());
}

void BackendFixture::DeleteTree(const std::string& path) {
  ScopedKey key(*api_);
  if (OpenAt(path, key, reg::kKeyAllAccess) != reg::kSuccess) return;
  const std::vector<std::string> children = SubkeysOf(*api_, key);
  key.Reset();
  for (const auto& child : children) DeleteTree(path + "\\" + child);
  api_->RegDeleteKeyA(root_, path.c_str());
}

void BackendFixture::MakeKey(const std::string& relPath, const std::string& className) {
  if (fake_) return fake_->MakeKey(root_, Join(relPath), className);
  ScopedKey key(*api_);
  std::string cls = className;
  RegSecurityAttributes sa{};
  uint32_t disposition = 0;
  ASSERT_EQ(api_->RegCreateKeyExA(root_, Join(relPath).c_str(), 0, cls.data(), 0,
                                  reg::kKeyAllAccess, &sa, key.out(), &disposition),
            reg::kSuccess)
      << "creating " << Join(relPath);
}

void BackendFixture::PutValue(const std::string& relPath, const std::string& name, uint32_t type,
                              const std::vector<uint8_t>& data) {
  if (fake_) return fake_->PutValue(root_, Join(relPath), name, type, data);
  MakeKey(relPath);
  ScopedKey key(*api_);
  ASSERT_EQ(OpenAt(Join(relPath), key, reg::kKeyAllAccess), reg::kSuccess);
  // A non-NUL byte after the counted data: Windows adds a terminator to string data
  // when the next byte in memory is NUL, which would make the result depend on the heap.
  std::vector<uint8_t> guarded(data);
  guarded.push_back(0xFF);
  ASSERT_EQ(api_->RegSetValueExA(key, name.c_str(), 0, type, guarded.data(),
                                 static_cast<uint32_t>(data.size())),
            reg::kSuccess)
      << "writing " << name;
}

void BackendFixture::MakeBelow(const std::string& relPath, const std::vector<std::string>& names,
                               bool values) {
  MakeKey(relPath);
  ScopedKey parent(*api_);
  ASSERT_EQ(OpenAt(Join(relPath), parent, reg::kKeyAllAccess), reg::kSuccess);
  for (const std::string& name : names) {
    ScopedKey child(*api_);
    EXPECT_EQ(api_->RegCreateKeyExA(parent, name.c_str(), 0, nullptr, 0, reg::kKeyAllAccess,
                                    nullptr, child.out(), nullptr),
              reg::kSuccess)
        << name;
    if (values) {
      EXPECT_EQ(api_->RegSetValueExA(parent, name.c_str(), 0, reg::kRegSz,
                                     reinterpret_cast<const uint8_t*>("x"), 2),
                reg::kSuccess)
          << name;
    }
  }
}

bool BackendFixture::HasKey(const std::string& relPath) {
  ScopedKey key(*api_);
  return OpenAt(Join(relPath), key, reg::kKeyRead) == reg::kSuccess;
}

std::pair<uint32_t, std::vector<uint8_t>> BackendFixture::Stored(const std::string& relPath,
                                                                 const std::string& name) {
  ScopedKey key(*api_);
  uint32_t type = 0;
  uint32_t size = 0;
  if (OpenAt(Join(relPath), key, reg::kKeyRead) != reg::kSuccess ||
      api_->RegQueryValueExA(key, name.c_str(), nullptr, &type, nullptr, &size) != reg::kSuccess) {
    return {kMissing, {}};
  }
  std::vector<uint8_t> data(size);
  if (api_->RegQueryValueExA(key, name.c_str(), nullptr, &type, data.data(), &size) !=
      reg::kSuccess) {
    return {kMissing, {}};
  }
  data.resize(size);
  return {type, data};
}

void BackendFixture::SetEnv(const std::string& name, const std::string& value) {
  if (fake_) return fake_->SetEnvironment(name, value);
#ifdef _WIN32
  ASSERT_TRUE(SetEnvironmentVariableA(name.c_str(), value.c_str()));
#endif
}

std::string BackendFixture::LocalComputerName() const {
#ifdef _WIN32
  if (!isFake()) {
    char name[MAX_COMPUTERNAME_LENGTH + 1];
    DWORD len = sizeof name;
    return GetComputerNameA(name, &len) ? std::string(name, len) : std::string();
  }
#endif
  return "STANDIN";  // FakeRegistry's default
}
