#pragma once
// Behaviour tests run on two backends: the in-memory stand-in (every build) and,
// on Windows builds, the real registry. Each test gets a fresh scratch key below
// HKEY_CURRENT_USER (or the root its suite names) that is removed again, with
// everything under it, afterwards.

#include <gtest/gtest.h>

#include <cstdint>
#include <memory>
#include <ostream>
#include <string>
#include <vector>

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
std::string BackendName(const ::testing::TestParamInfo<Backend>& info);

// The ANSI code page of the running system: GetACP() on Windows, 0 elsewhere.
uint32_t SystemCodePage();

class BackendTest : public ::testing::TestWithParam<Backend> {
 protected:
  void SetUp() override;
  void TearDown() override;

  RegistryApi& api() { return *api_; }
  bool isFake() const { return GetParam().kind == BackendKind::Fake; }
  // The ANSI code page the backend converts with.
  uint32_t codePage() const { return isFake() ? GetParam().codePage : SystemCodePage(); }
  // The stand-in, for set-up and observation that only it offers; null on the real one.
  FakeRegistry* fake() { return fake_.get(); }
  // The scratch key's path below root() (ANSI, no trailing separator).
  const std::string& scratch() const { return scratch_; }
  // The root the scratch key is made under: HKEY_CURRENT_USER unless a suite sets
  // another before BackendTest::SetUp runs.
  RegHandle root() const { return root_; }
  void UseRoot(RegHandle root) { root_ = root; }

  // Set-up through the API itself, so it works on both backends.
  void MakeKey(const std::string& relPath, const std::string& className = "");
  void PutValue(const std::string& relPath, const std::string& name, uint32_t type,
                const std::vector<uint8_t>& data);
  bool HasKey(const std::string& relPath);
  // nullopt-like: returns false when the value is missing.
  bool GetValue(const std::string& relPath, const std::string& name, uint32_t& type,
                std::vector<uint8_t>& data);
  static std::vector<uint8_t> Bytes(const std::string& text) {
    return std::vector<uint8_t>(text.begin(), text.end());
  }
  std::string Join(const std::string& relPath) const {
    return relPath.empty() ? scratch_ : scratch_ + "\\" + relPath;
  }

 private:
  void DeleteTree(RegHandle root, const std::string& path);
  RegHandle root_ = reg::kCurrentUser;
  std::unique_ptr<FakeRegistry> fake_;
  RegistryApi* api_ = nullptr;
  std::string scratch_;
};

#define INSTANTIATE_BACKENDS(Suite) \
  INSTANTIATE_TEST_SUITE_P(Backends, Suite, ::testing::ValuesIn(AllBackends()), BackendName)
#define INSTANTIATE_CODE_PAGES(Suite) \
  INSTANTIATE_TEST_SUITE_P(CodePages, Suite, ::testing::ValuesIn(AllCodePages()), BackendName)
