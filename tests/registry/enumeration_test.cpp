// EnumRegistryKeys and EnumRegistryValues on both backends; what only the stand-in
// can show (the calls made, handles left open, injected failures) on the stand-in.

#include <gtest/gtest.h>

#include <algorithm>
#include <new>
#include <string>
#include <vector>

#include "tests/support/Routines.h"

namespace {

class Enumeration : public RoutinesTest {
 protected:
  String Path(const std::string& rel = "") { return api().FromAnsi(Join(rel)); }
  std::vector<String> Keys() {
    return Names(routines().EnumRegistryKeys(reg::kCurrentUser, Path()));
  }
  std::vector<String> Values() {
    return Names(routines().EnumRegistryValues(reg::kCurrentUser, Path()));
  }
};

TEST_P(Enumeration, EmptyKeyNameListsTheHandedInKeyAndLeavesItOpen) {
  MakeKey("Sub");
  PutValue("", "Val", reg::kRegSz, Bytes("x"));
  ScopedKey h(api());
  ASSERT_EQ(api().RegOpenKeyExA(reg::kCurrentUser, scratch().c_str(), 0, reg::kKeyRead, h.out()),
            reg::kSuccess);
  ClearCalls();

  RegistryRoutines& r = routines();
  EXPECT_EQ(Names(r.EnumRegistryKeys(h, u"")), std::vector<String>{u"Sub"});
  EXPECT_EQ(Names(r.EnumRegistryValues(h, u"")), std::vector<String>{u"Val"});

  // The handle still works, and nothing was opened or closed on the way.
  char name[260];
  uint32_t len = sizeof name;
  EXPECT_EQ(api().RegEnumKeyExA(h, 0, name, &len, nullptr, nullptr, nullptr, nullptr),
            reg::kSuccess);
  if (fake() != nullptr) {
    EXPECT_TRUE(fake()->CallsTo("RegOpenKeyExA").empty());
    EXPECT_TRUE(fake()->CallsTo("RegCloseKey").empty());
  }
  EXPECT_EQ(api().RegCloseKey(h.Release()), reg::kSuccess);
}

TEST_P(Enumeration, KeysThatDoNotOpenGiveEmptyCollections) {
  MakeKey("Sub");
  PutValue("", "Val", reg::kRegSz, Bytes("x"));
  RegistryRoutines& r = routines();
  EXPECT_EQ(r.EnumRegistryKeys(reg::kCurrentUser, Path("Missing")).Count(), 0);
  EXPECT_EQ(r.EnumRegistryValues(reg::kCurrentUser, Path("Missing")).Count(), 0);
  // An invalid handle fails at every index: the listing must still end.
  EXPECT_EQ(r.EnumRegistryKeys(kBogusHandle, u"").Count(), 0);
  EXPECT_EQ(r.EnumRegistryValues(kBogusHandle, u"").Count(), 0);
  // An empty key: nothing listed, and the key opened for it closed again.
  MakeKey("Empty");
  EXPECT_EQ(r.EnumRegistryKeys(reg::kCurrentUser, Path("Empty")).Count(), 0);
  EXPECT_EQ(r.EnumRegistryValues(reg::kCurrentUser, Path("Empty")).Count(), 0);
}

TEST_P(Enumeration, TheObjectsOwnKeyIsNeitherUsedNorChanged) {
  MakeKey("Sub");
  RegistryRoutines& r = routines();
  r.hkey(reg::kLocalMachine);
  r.KeyRoot(u"Nowhere");
  r.Subkey(u"AtAll");
  EXPECT_EQ(r.EnumRegistryKeys(reg::kCurrentUser, Path()).Count(), 1);
  EXPECT_EQ(r.EnumRegistryValues(reg::kCurrentUser, Path()).Count(), 0);
  EXPECT_EQ(r.hkey(), reg::kLocalMachine);
  EXPECT_EQ(r.KeyRoot(), u"Nowhere");
  EXPECT_EQ(r.Subkey(), u"AtAll");
}

TEST_P(Enumeration, SubkeysInIndexOrderFoundByNameInAnyCase) {
  MakeKey("Alpha");
  MakeKey("beta");
  MakeKey("Gamma\\Deeper");  // one level only
  MakeKey("\xC4pfel");       // Ä in the ANSI code page
  const Collection c = routines().EnumRegistryKeys(reg::kCurrentUser, Path());

  // Both backends keep subkeys sorted without regard to case.
  EXPECT_EQ(Names(c), (std::vector<String>{u"Alpha", u"beta", u"Gamma", u"Äpfel"}));
  EXPECT_EQ(c.Item(u"BETA").AsString(), u"beta");
  EXPECT_EQ(c.Item(u"äPFEL").AsString(), u"Äpfel");
  EXPECT_FALSE(c.Contains(u"Deeper"));
}

TEST_P(Enumeration, SubkeyNamesOfTheLongestLengthAreListedWhole) {
  const std::string longest(255, 'k');
  const std::string other = std::string(254, 'm') + "Z";
  MakeBelow("", {longest, other});
  EXPECT_EQ(Keys(), (std::vector<String>{Wide(longest), Wide(other)}));
}

TEST_P(Enumeration, SubkeysWithAClassAreListedAndTheListingGoesOn) {
  MakeKey("A_plain");
  MakeKey("B_classy", "SomeClass");
  MakeKey("C_plain");
  MakeKey("D_classy", "X");
  EXPECT_EQ(Keys(), (std::vector<String>{u"A_plain", u"B_classy", u"C_plain", u"D_classy"}));
}

TEST_P(Enumeration, ValuesOfEveryTypeFoundByNameInAnyCaseWithTheDefaultUnderEmpty) {
  PutValue("", "Alpha", reg::kRegDword, Le32(7));
  PutValue("", "", reg::kRegSz, Bytes("default"));
  PutValue("", "Beta", reg::kRegMultiSz, Bytes(std::string("one\0two\0\0", 9)));
  PutValue("", "Gamma", reg::kRegBinary, {});
  PutValue("", "Delta", reg::kRegQword, std::vector<uint8_t>(8, 1));
  const Collection c = routines().EnumRegistryValues(reg::kCurrentUser, Path());

  ASSERT_EQ(c.Count(), 5);
  EXPECT_TRUE(c.Contains(u""));
  EXPECT_EQ(c.Item(u"").AsString(), u"");
  EXPECT_EQ(c.Item(u"bETA").AsString(), u"Beta");
  EXPECT_EQ(c.Item(u"DELTA").AsString(), u"Delta");
}

TEST_P(Enumeration, ValuesComeInTheOrderTheyWereSet) {
  if (!isFake()) GTEST_SKIP() << "Wine lists values sorted by name; Windows as they were set";
  PutValue("", "Zulu", reg::kRegSz, Bytes("z"));
  PutValue("", "alpha", reg::kRegSz, Bytes("a"));
  PutValue("", "Mike", reg::kRegSz, Bytes("m"));
  EXPECT_EQ(Values(), (std::vector<String>{u"Zulu", u"alpha", u"Mike"}));
}

TEST_P(Enumeration, DataBeyondTheFirstBufferIsFetchedOnceMoreAndTheListingGoesOn) {
  PutValue("", "A", reg::kRegSz, Bytes("small"));
  PutValue("", "B", reg::kRegBinary, std::vector<uint8_t>(10000, 0xAB));
  PutValue("", "C", reg::kRegBinary, std::vector<uint8_t>(4096, 0xCD));  // fits exactly
  PutValue("", "D", reg::kRegDword, Le32(1));
  ClearCalls();
  EXPECT_EQ(Values(), (std::vector<String>{u"A", u"B", u"C", u"D"}));
  if (fake() == nullptr) return;

  const auto calls = fake()->CallsTo("RegEnumValueA");
  ASSERT_EQ(calls.size(), 6u);  // A, B, B again, C, D, the end
  const uint32_t indices[] = {0, 1, 1, 2, 3, 4};
  const uint32_t dataSizes[] = {4096, 4096, 10000, 4096, 4096, 4096};
  for (size_t i = 0; i < calls.size(); ++i) {
    EXPECT_EQ(std::tie(calls[i].index, calls[i].dataSize, calls[i].size, calls[i].dataGiven),
              std::tuple(indices[i], dataSizes[i], 260u, true))
        << "call " << i;
  }
  EXPECT_EQ(calls[1].status, reg::kMoreData);
  EXPECT_EQ(calls[2].status, reg::kSuccess);
  EXPECT_EQ(calls[5].status, reg::kNoMoreItems);
}

TEST_P(Enumeration, AValueNameTooLongForTheBufferIsAskedForOnceMoreAndListedWhole) {
  const std::string fits = "B" + std::string(258, 'b');     // 259 characters and the NUL
  const std::string tooLong = "C" + std::string(259, 'c');  // 260
  PutValue("", "A", reg::kRegSz, Bytes("a"));
  PutValue("", fits, reg::kRegSz, Bytes("b"));
  PutValue("", tooLong, reg::kRegSz, Bytes("c"));
  PutValue("", "D", reg::kRegSz, Bytes("d"));
  ClearCalls();
  EXPECT_EQ(Values(), (std::vector<String>{u"A", Wide(fits), Wide(tooLong), u"D"}));
  if (fake() == nullptr) return;

  // The long name's index: the first call and the data retry answer 234, the third
  // call has room for any value name.
  const auto calls = fake()->CallsTo("RegEnumValueA");
  ASSERT_EQ(calls.size(), 7u);
  for (size_t i = 2; i < 5; ++i) EXPECT_EQ(calls[i].index, 2u);
  EXPECT_EQ(calls[3].status, reg::kMoreData);
  EXPECT_EQ(std::tie(calls[4].size, calls[4].status), std::tuple(16383u * 3 + 1, reg::kSuccess));
  EXPECT_EQ(fake()->CallsTo("RegCloseKey").size(), 1u);
}

INSTANTIATE_BACKENDS(Enumeration);

// The stand-in, checking what every enumeration call receives; it can also answer as
// Windows versions that copy the name when only the class does not fit.
class Inspecting final : public FakeRegistry {
 public:
  bool copyNameOnClassOverflow = false;
  int keyCalls = 0;                     // RegEnumKeyExA calls received
  std::vector<std::string> badBuffers;  // why a call's buffers were not as they must be

  RegStatus RegEnumKeyExA(RegHandle hKey, uint32_t dwIndex, char* lpName, uint32_t* lpcchName,
                          uint32_t* lpReserved, char* lpClass, uint32_t* lpcchClass,
                          RegFileTime* ft) override {
    ++keyCalls;
    CheckName(lpName, lpcchName, dwIndex);
    if (lpClass != nullptr && (lpcchClass == nullptr || *lpcchClass != 1 || lpClass[0] != '\0')) {
      badBuffers.push_back("class buffer at index " + std::to_string(dwIndex));
    }
    const RegStatus st = FakeRegistry::RegEnumKeyExA(hKey, dwIndex, lpName, lpcchName, lpReserved,
                                                     lpClass, lpcchClass, ft);
    if (st == reg::kMoreData && copyNameOnClassOverflow && lpClass != nullptr) {
      // Ask for the name alone and write it as such a Windows would, still answering 234.
      char name[260];
      uint32_t len = sizeof name;
      if (FakeRegistry::RegEnumKeyExA(hKey, dwIndex, name, &len, nullptr, nullptr, nullptr,
                                      nullptr) == reg::kSuccess) {
        std::copy(name, name + len + 1, lpName);
      }
    }
    return st;
  }

  RegStatus RegEnumValueA(RegHandle hKey, uint32_t dwIndex, char* lpValueName,
                          uint32_t* lpcchValueName, uint32_t* lpReserved, uint32_t* lpType,
                          uint8_t* lpData, uint32_t* lpcbData) override {
    CheckName(lpValueName, lpcchValueName, dwIndex);
    if (lpData == nullptr || lpcbData == nullptr ||
        std::any_of(lpData, lpData + *lpcbData, [](uint8_t b) { return b != 0; })) {
      badBuffers.push_back("data buffer at index " + std::to_string(dwIndex));
    }
    return FakeRegistry::RegEnumValueA(hKey, dwIndex, lpValueName, lpcchValueName, lpReserved,
                                       lpType, lpData, lpcbData);
  }

 private:
  void CheckName(const char* name, const uint32_t* len, uint32_t index) {
    if (name == nullptr || len == nullptr || *len != 260 ||
        std::any_of(name, name + 260, [](char c) { return c != ' '; })) {
      badBuffers.push_back("name buffer at index " + std::to_string(index));
    }
  }
};

class EnumerationStandIn : public StandInTestOf<Inspecting> {
 protected:
  void MakeKey(const std::string& name, const std::string& className = "") {
    fake.MakeKey(reg::kCurrentUser, std::string(kKey) + "\\" + name, className);
  }
  std::vector<String> Keys() { return Names(routines.EnumRegistryKeys(reg::kCurrentUser, kPath)); }
  std::vector<String> Values() {
    return Names(routines.EnumRegistryValues(reg::kCurrentUser, kPath));
  }
  static constexpr const char16_t* kPath = u"Software\\T\\A";
};

TEST_F(EnumerationStandIn, SubkeyCallsUseTheFixedBuffersAndCloseTheOpenedKey) {
  MakeKey("One");
  MakeKey("Two", "cls");
  fake.ClearCalls();
  EXPECT_EQ(Keys().size(), 2u);
  EXPECT_EQ(fake.badBuffers, std::vector<std::string>{});

  const auto& c = fake.Calls();
  ASSERT_EQ(c.size(), 6u);
  EXPECT_EQ(std::tie(c[0].function, c[0].key, c[0].name, c[0].options, c[0].access),
            std::tuple("RegOpenKeyExA", reg::kCurrentUser, kKey, 0u, reg::kKeyRead));
  const RegHandle opened = c[0].result;
  // Index 0; index 1 twice (its class does not fit, so once more without one); the end.
  const uint32_t indices[] = {0, 1, 1, 2};
  const bool withClass[] = {true, true, false, true};
  for (size_t i = 0; i < 4; ++i) {
    const auto& call = c[i + 1];
    EXPECT_EQ(std::tie(call.function, call.key, call.index, call.size, call.classGiven),
              std::tuple("RegEnumKeyExA", opened, indices[i], 260u, withClass[i]))
        << "call " << i;
    EXPECT_EQ(call.classSize, withClass[i] ? 1u : 0u) << "call " << i;
  }
  EXPECT_EQ(c[2].status, reg::kMoreData);
  EXPECT_EQ(c[4].status, reg::kNoMoreItems);
  EXPECT_EQ(std::tie(c[5].function, c[5].key), std::tuple("RegCloseKey", opened));
}

// Some Windows versions copy the name even when only the class does not fit: then
// the name in the buffer is used as it is, without asking again.
TEST_F(EnumerationStandIn, ANameCopiedBesideAClassThatDidNotFitIsUsedAsItIs) {
  MakeKey("Classy", "SomeClass");
  MakeKey("Plain");
  fake.copyNameOnClassOverflow = true;
  EXPECT_EQ(Keys(), (std::vector<String>{u"Classy", u"Plain"}));
  EXPECT_EQ(fake.keyCalls, 3);  // indices 0, 1 and the end, none asked twice
  EXPECT_EQ(fake.badBuffers, std::vector<std::string>{});
}

TEST_F(EnumerationStandIn, AFailingSubkeyCallEndsTheListingAndClosesTheKey) {
  for (const char* name : {"A", "B", "C"}) MakeKey(name);
  fake.InjectStatus("RegEnumKeyExA", reg::kKeyDeleted, 2);
  EXPECT_EQ(Keys(), std::vector<String>{u"A"});
}

TEST_F(EnumerationStandIn, EveryValueCallGetsAFreshZeroedBufferAndAResetName) {
  Put("First", reg::kRegBinary, std::vector<uint8_t>(5000, 0xFF));
  Put("Second", reg::kRegSz, Bytes("xyz"));
  Put("Third", reg::kRegBinary, std::vector<uint8_t>(100, 0xEE));
  EXPECT_EQ(Values().size(), 3u);
  EXPECT_EQ(fake.badBuffers, std::vector<std::string>{});
}

TEST_F(EnumerationStandIn, AFailingValueCallEndsTheListingAndClosesTheKey) {
  for (const char* name : {"A", "B", "C"}) Put(name, reg::kRegSz, Bytes(name));
  fake.InjectStatus("RegEnumValueA", reg::kKeyDeleted, 2);
  EXPECT_EQ(Values(), std::vector<String>{u"A"});
  EXPECT_EQ(fake.OpenHandleCount(), 0);

  // A failure of the retry ends it the same way.
  fake.ClearFaults();
  Put("B", reg::kRegBinary, std::vector<uint8_t>(5000, 1));
  fake.InjectStatus("RegEnumValueA", reg::kAccessDenied, 3);  // B's retry
  EXPECT_EQ(Values(), std::vector<String>{u"A"});
}

TEST_F(EnumerationStandIn, NothingEscapesAndTheKeyIsClosedWhenThePlatformThrows) {
  Put("A", reg::kRegSz, Bytes("a"));
  Put("B", reg::kRegSz, Bytes("b"));
  // The second value's call does nothing and throws, as an out-of-memory would.
  fake.InjectStatus("RegEnumValueA", reg::kNotEnoughMemory, 2);
  fake.SetAfterCallHook([](const FakeRegistry::Call& c) {
    if (c.status == reg::kNotEnoughMemory) throw std::bad_alloc();
  });
  std::vector<String> names;
  EXPECT_NO_THROW(names = Values());
  EXPECT_EQ(names, std::vector<String>{u"A"});
}

}  // namespace
