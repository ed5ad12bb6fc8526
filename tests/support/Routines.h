#pragma once
// The registry class on a test's backend, or on a stand-in of its own for what only
// the stand-in can show; either way no handle may outlive a test.

#include <gtest/gtest.h>

#include <optional>

#include "registry/RegistryRoutines.h"
#include "tests/support/Backends.h"

// The class on the backend, rooted at the scratch key below HKEY_CURRENT_USER.
template <class Param = Backend>
class RoutinesTestOf : public BackendTestOf<Param> {
 protected:
  void SetUp() override {
    BackendTestOf<Param>::SetUp();
    routines_.emplace(this->api());
    routines_->hkey(reg::kCurrentUser);
    routines_->KeyRoot(Wide(this->scratch()));
  }
  RegistryRoutines& routines() { return *routines_; }

 private:
  std::optional<RegistryRoutines> routines_;
};
using RoutinesTest = RoutinesTestOf<>;
template <class Row>
using RoutinesRowTest = RoutinesTestOf<std::tuple<Backend, Row>>;

// The class on a stand-in of the test's own (a FakeRegistry, or one derived from it).
template <class Registry = FakeRegistry>
class StandInTestOf : public ::testing::Test {
 protected:
  // The key the class names: HKEY_CURRENT_USER\Software\T\A.
  static constexpr const char* kKey = "Software\\T\\A";
  StandInTestOf() {
    fake.MakeKey(reg::kCurrentUser, kKey);
    routines.hkey(reg::kCurrentUser);
    routines.KeyRoot(u"Software\\T");
    routines.Subkey(u"A");
  }
  void TearDown() override { EXPECT_EQ(fake.OpenHandleCount(), 0) << "a handle outlived the test"; }
  void Put(const std::string& name, uint32_t type, const std::vector<uint8_t>& data) {
    fake.PutValue(reg::kCurrentUser, kKey, name, type, data);
  }
  Registry fake;
  RegistryRoutines routines{fake};
};
using StandInTest = StandInTestOf<>;
