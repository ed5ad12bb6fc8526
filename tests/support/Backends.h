#pragma once
// Behaviour tests run on two backends: the in-memory stand-in (every build) and,
// on Windows builds, the real registry. Each test gets a fresh scratch key below
// HKEY_CURRENT_USER (or the root its suite names) that is removed again, with
// everything under it, afterwards; on the stand-in no handle may outlive a test.
// A table of cases runs one case per row and backend (RoutinesRowTest).

#include <gtest/gtest.h>

#include <cstdint>
#include <memory>
#include <ostream>
#include <string>
#include <tuple>
#include <type_traits>
#include <utility>
#include <vector>

#include "common/Collection.h"
#include "tests/standin/FakeRegistry.h"
#include "platform/RegistryApi.h"

enum class BackendKind { Fake, Real };

// A backend, and for the stand-in the system code page it models (the real
// registry runs on whatever code page the system has).
struct Backend {
  BackendKind kind = BackendKind::Fake;
  uint32_t codePage = 1252;
};

inline void PrintTo(const Backend& b, std::ostream* os) {
  *os << (b.kind == BackendKind::Real ? "the real registry" : "the stand-in on ") << b.codePage;
}

// The stand-in on Windows-1252 and, on Windows builds, the real registry.
std::vector<Backend> AllBackends();
// The same, with the stand-in also on code pages 932, 65001 and 1250 to 1258.
std::vector<Backend> AllCodePages();
// "StandIn" (on 1252), "StandIn932" and so on, or "Real".
std::string BackendLabel(const Backend& backend);
inline std::string BackendName(const ::testing::TestParamInfo<Backend>& info) {
  return BackendLabel(info.param);
}
// A row's case is named "<row>_<backend>", and printed so in failures and reports.
template <class Row>
void PrintTo(const std::tuple<Backend, Row>& param, std::ostream* os) {
  *os << std::get<1>(param).name << " on ";
  PrintTo(std::get<0>(param), os);
}
struct RowName {
  template <class Row>
  std::string operator()(const ::testing::TestParamInfo<std::tuple<Backend, Row>>& info) const {
    return std::string(std::get<1>(info.param).name) + "_" + BackendLabel(std::get<0>(info.param));
  }
};

// A handle no key has: the low bits of real handles are 0, and nothing hands out this one.
constexpr RegHandle kBogusHandle = 0x0BADBAD0;

// The ANSI code page of the running system: GetACP() on Windows, 0 elsewhere.
uint32_t SystemCodePage();
// Wine, not Windows: for the few cases where Wine is known to answer differently.
bool OnWine();

// ANSI bytes of `text`, without and with a terminating NUL; four little-endian bytes.
std::vector<uint8_t> Bytes(const std::string& text);
std::vector<uint8_t> Bytes0(const std::string& text);
std::vector<uint8_t> Le32(uint32_t v);
// ASCII text as the class's String; a collection's items as text.
String Wide(const std::string& ascii);
std::vector<String> Names(const Collection& c);
// The names of a key's subkeys and of its values as the platform lists them, up to the
// first index that fails.
std::vector<std::string> SubkeysOf(RegistryApi& api, RegHandle key);
std::vector<std::string> ValuesOf(RegistryApi& api, RegHandle key);

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
  RegHandle Release() { return std::exchange(h_, 0); }

 private:
  RegistryApi* api_;
  RegHandle h_ = 0;
};

// The scratch key and the backend behind a test.
class BackendFixture {
 protected:
  void SetUpBackend(const Backend& backend);
  void TearDownBackend();

  RegistryApi& api() { return *api_; }
  bool isFake() const { return backend_.kind == BackendKind::Fake; }
  // The ANSI code page the backend converts with.
  uint32_t codePage() const { return isFake() ? backend_.codePage : SystemCodePage(); }
  // The stand-in, for set-up and observation that only it offers; null on the real one.
  FakeRegistry* fake() { return fake_.get(); }
  void ClearCalls() {
    if (fake_) fake_->ClearCalls();
  }
  // On the stand-in, the functions called since ClearCalls (the real registry logs none).
  void ExpectCalls(const std::vector<std::string>& functions) const;
  // The real registry under Wine, for the cases where Wine is known to answer otherwise
  // than Windows (and the stand-in).
  bool RealOnWine() const { return !isFake() && OnWine(); }
  // The scratch key's path below root() (ANSI, no trailing separator).
  const std::string& scratch() const { return scratch_; }
  // The root the scratch key is made under: HKEY_CURRENT_USER unless a suite sets
  // another before the fixture's SetUp runs.
  RegHandle root() const { return root_; }
  void UseRoot(RegHandle root) { root_ = root; }

  // Set-up through the API itself, so it works on both backends.
  void MakeKey(const std::string& relPath, const std::string& className = "");
  void PutValue(const std::string& relPath, const std::string& name, uint32_t type,
                const std::vector<uint8_t>& data);
  // Makes each of `names` a subkey of `relPath` (and, with `values`, a value "x" of
  // it) through an open handle: the ANSI entry points take at most 260 characters of
  // path, so long names are made below a handle rather than by their whole path.
  void MakeBelow(const std::string& relPath, const std::vector<std::string>& names,
                 bool values = false);
  bool HasKey(const std::string& relPath);
  // The value's type and bytes; kMissing and none when there is no such value.
  static constexpr uint32_t kMissing = 0xFFFFFFFF;
  std::pair<uint32_t, std::vector<uint8_t>> Stored(const std::string& relPath,
                                                   const std::string& name);
  bool HasValue(const std::string& relPath, const std::string& name) {
    return Stored(relPath, name).first != kMissing;
  }
  std::string Join(const std::string& relPath) const {
    return relPath.empty() ? scratch_ : scratch_ + "\\" + relPath;
  }
  // The environment ExpandEnvironmentStringsA expands from.
  void SetEnv(const std::string& name, const std::string& value);
  // The name RegConnectRegistryA knows as this computer.
  std::string LocalComputerName() const;

 private:
  RegStatus OpenAt(const std::string& path, ScopedKey& key, uint32_t access);
  void DeleteTree(const std::string& path);
  Backend backend_;
  RegHandle root_ = reg::kCurrentUser;
  std::unique_ptr<FakeRegistry> fake_;
  RegistryApi* api_ = nullptr;
  std::string scratch_;
};

template <class Param>
class BackendTestOf : public ::testing::TestWithParam<Param>, public BackendFixture {
 protected:
  void SetUp() override {
    if constexpr (std::is_same_v<Param, Backend>) {
      SetUpBackend(this->GetParam());
    } else {
      SetUpBackend(std::get<0>(this->GetParam()));
    }
  }
  void TearDown() override { TearDownBackend(); }
  // The row of a table's case.
  const auto& row() const { return std::get<1>(this->GetParam()); }
};
using BackendTest = BackendTestOf<Backend>;

#define INSTANTIATE_BACKENDS(Suite) \
  INSTANTIATE_TEST_SUITE_P(Backends, Suite, ::testing::ValuesIn(AllBackends()), BackendName)
#define INSTANTIATE_CODE_PAGES(Suite) \
  INSTANTIATE_TEST_SUITE_P(CodePages, Suite, ::testing::ValuesIn(AllCodePages()), BackendName)
#define INSTANTIATE_BACKEND_ROWS(Suite, rows)                                            \
  INSTANTIATE_TEST_SUITE_P(                                                              \
      Backends, Suite,                                                                   \
      ::testing::Combine(::testing::ValuesIn(AllBackends()), ::testing::ValuesIn(rows)), \
      RowName())
