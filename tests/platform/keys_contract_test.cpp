// Keys and handles: the same answers from the stand-in and from the real registry.

#include <gtest/gtest.h>

#include <cctype>
#include <cstring>
#include <string>

#include "tests/platform/PlatformTestSupport.h"

namespace {

class KeyContract : public PlatformTest {
 protected:
  // The names of the scratch key's subkey `rel`, in enumeration order.
  std::vector<std::string> SubkeyNames(const std::string& rel = "") {
    ScopedKey key(api());
    if (OpenRel(rel, key, reg::kKeyRead) != reg::kSuccess) return {};
    return SubkeysOf(api(), key);
  }
};

TEST_P(KeyContract, PathSeparatorsTrailingAndDoubled) {
  MakeKey("A\\B");
  ScopedKey b(api());
  EXPECT_EQ(OpenRel("A\\", b), reg::kSuccess);
  EXPECT_EQ(OpenRel("A\\B\\", b), reg::kSuccess);
  EXPECT_EQ(OpenRel("A\\\\B", b), reg::kSuccess);
  ASSERT_EQ(OpenRel("A\\\\B\\\\", b), reg::kSuccess);
  // It is the same key B, not a new one with an empty name.
  ASSERT_EQ(SetString(b, "here", "x"), reg::kSuccess);
  EXPECT_TRUE(HasValue("A\\B", "here"));
  EXPECT_EQ(SubkeyNames("A"), std::vector<std::string>{"B"});

  uint32_t disposition = 0;
  ScopedKey made(api());
  EXPECT_EQ(CreateRel(key(), "C\\", made, &disposition), reg::kSuccess);
  EXPECT_EQ(disposition, 1u);
  EXPECT_EQ(SubkeyNames(), (std::vector<std::string>{"A", "C"}));
}

TEST_P(KeyContract, LeadingSeparatorFailsExceptOnClassesRoot) {
  ScopedKey sub(api());
  EXPECT_EQ(api().RegOpenKeyExA(reg::kCurrentUser, ("\\" + scratch()).c_str(), 0, reg::kKeyRead,
                                sub.out()),
            reg::kBadPathName);
  EXPECT_EQ(CreateRel(key(), "\\Sub", sub), reg::kBadPathName);
  EXPECT_FALSE(HasKey("Sub"));

  // HKEY_CLASSES_ROOT takes one: "\" alone opens the root as a new handle.
  ASSERT_EQ(api().RegOpenKeyExA(reg::kClassesRoot, "\\", 0, reg::kKeyRead, sub.out()),
            reg::kSuccess);
  EXPECT_NE(sub.get(), reg::kClassesRoot);
  EXPECT_NE(sub.get(), 0);
}

TEST_P(KeyContract, EmptyPathOnRootIsTheRootButOnAKeyANewHandle) {
  for (const char* empty : {"", static_cast<const char*>(nullptr)}) {
    RegHandle h = 0;
    ASSERT_EQ(api().RegOpenKeyExA(reg::kCurrentUser, empty, 0, reg::kKeyRead, &h), reg::kSuccess);
    EXPECT_EQ(h, reg::kCurrentUser);
  }
  PutValue("", "v", reg::kRegSz, Bytes("1"));
  ScopedKey first(api());
  ScopedKey second(api());
  ASSERT_EQ(OpenRel("", first), reg::kSuccess);
  ASSERT_EQ(api().RegOpenKeyExA(first, "", 0, reg::kKeyRead, second.out()), reg::kSuccess);
  EXPECT_NE(second.get(), first.get());
  first.Reset();  // the second handle lives on its own
  uint32_t size = 0;
  EXPECT_EQ(ValueSize(second, "v", &size), reg::kSuccess);
  EXPECT_EQ(size, 1u);
}

TEST_P(KeyContract, InvalidAndClosedHandlesAreRejected) {
  RegHandle out = 1234;
  EXPECT_EQ(api().RegOpenKeyExA(0, "", 0, reg::kKeyRead, &out), reg::kInvalidHandle);
  EXPECT_EQ(out, 1234);  // the A function leaves the result alone
  EXPECT_EQ(api().RegOpenKeyExA(0, "Software", 0, reg::kKeyRead, &out), reg::kInvalidHandle);
  EXPECT_EQ(ValueSize(0, "v"), reg::kInvalidHandle);

  RegHandle h = 0;
  ASSERT_EQ(api().RegOpenKeyExA(reg::kCurrentUser, scratch().c_str(), 0, reg::kKeyRead, &h),
            reg::kSuccess);
  ASSERT_EQ(api().RegCloseKey(h), reg::kSuccess);
  EXPECT_EQ(ValueSize(h, "v"), reg::kInvalidHandle);
  EXPECT_EQ(api().RegCloseKey(h), reg::kInvalidHandle);
  EXPECT_EQ(api().RegCloseKey(0), reg::kInvalidHandle);
}

TEST_P(KeyContract, MissingKeyGivesNotFoundAndNoHandle) {
  RegHandle out = 1234;
  EXPECT_EQ(
      api().RegOpenKeyExA(reg::kCurrentUser, Join("Nope\\Deeper").c_str(), 0, reg::kKeyRead, &out),
      reg::kFileNotFound);
  EXPECT_EQ(out, 0);
  MakeKey("Real");
  EXPECT_EQ(
      api().RegOpenKeyExA(reg::kCurrentUser, Join("Real\\Nope").c_str(), 0, reg::kKeyRead, &out),
      reg::kFileNotFound);
}

TEST_P(KeyContract, NamesIgnoreCaseOfEveryCodePageLetter) {
  // "Été Ÿšœ" stored, then looked up upper/lower swapped (Windows-1252 bytes).
  MakeKey("MixedCase\\\xC9t\xE9 \x9F\x9A\x9C");
  ScopedKey key(api());
  EXPECT_EQ(OpenRel("mIXEDcASE", key), reg::kSuccess);
  ASSERT_EQ(OpenRel("MIXEDCASE\\\xE9T\xC9 \xFF\x8A\x8C", key), reg::kSuccess);
  // The key keeps the spelling it was created with.
  EXPECT_EQ(SubkeyNames("mixedcase"), std::vector<std::string>{"\xC9t\xE9 \x9F\x9A\x9C"});
  // Creating under another spelling opens the existing key.
  uint32_t disposition = 0;
  ScopedKey again(api());
  ASSERT_EQ(CreateRel(reg::kCurrentUser, (scratch() + "\\MIXEDCASE").c_str(), again, &disposition),
            reg::kSuccess);
  EXPECT_EQ(disposition, 2u);
}

TEST_P(KeyContract, HandleRightsLimitWhatItCanDo) {
  PutValue("", "v", reg::kRegSz, Bytes("1"));
  MakeKey("Sub");
  ScopedKey reader(api());
  ASSERT_EQ(OpenRel("", reader, reg::kKeyRead), reg::kSuccess);
  EXPECT_EQ(SetString(reader, "w", "2"), reg::kAccessDenied);
  EXPECT_EQ(api().RegDeleteValueA(reader, "v"), reg::kAccessDenied);

  ScopedKey writer(api());
  ASSERT_EQ(OpenRel("", writer, reg::kKeyWrite), reg::kSuccess);
  EXPECT_EQ(ValueSize(writer, "v"), reg::kAccessDenied);
  EXPECT_EQ(FirstSubkey(writer), reg::kAccessDenied);
  EXPECT_EQ(SetString(writer, "w", "2"), reg::kSuccess);
}

TEST_P(KeyContract, CreateMakesEveryMissingLevel) {
  uint32_t disposition = 0;
  ScopedKey made(api());
  ASSERT_EQ(CreateRel(key(), "L1\\L2\\L3", made, &disposition), reg::kSuccess);
  EXPECT_EQ(disposition, 1u);
  EXPECT_TRUE(HasKey("L1"));
  EXPECT_TRUE(HasKey("L1\\L2\\L3"));
  ASSERT_EQ(SetString(made, "v", "x"), reg::kSuccess);  // the handle is the last level
  EXPECT_TRUE(HasValue("L1\\L2\\L3", "v"));

  ASSERT_EQ(CreateRel(key(), "L1\\L2\\L3", made, &disposition), reg::kSuccess);
  EXPECT_EQ(disposition, 2u);
  ASSERT_EQ(CreateRel(key(), "L1\\L2\\Other", made, &disposition), reg::kSuccess);
  EXPECT_EQ(disposition, 1u);
  EXPECT_EQ(SubkeyNames("L1\\L2"), (std::vector<std::string>{"L3", "Other"}));
}

TEST_P(KeyContract, CreateGivesTheClassToTheLastLevel) {
  ScopedKey made(api());
  ASSERT_EQ(CreateRel(key(), "L1\\L2\\L3", made, nullptr, "Leaf"), reg::kSuccess);
  auto classOf = [&](const std::string& parent) {
    ScopedKey key(api());
    EXPECT_EQ(OpenRel(parent, key, reg::kKeyRead), reg::kSuccess);
    char name[64];
    uint32_t len = sizeof name;
    char cls[64] = "unchanged";
    uint32_t clsLen = sizeof cls;
    EXPECT_EQ(EnumKey(key, 0, name, &len, cls, &clsLen), reg::kSuccess);
    return std::string(cls, clsLen);
  };
  EXPECT_EQ(classOf("L1\\L2"), "Leaf");
  if (RealOnWine()) GTEST_SKIP() << "Wine gives the class to every level it creates";
  EXPECT_EQ(classOf("L1"), "");
  EXPECT_EQ(classOf(""), "");
}

TEST_P(KeyContract, DeleteKeyRefusesSubkeysAndMissingKeys) {
  MakeKey("Parent\\Child");
  EXPECT_EQ(api().RegDeleteKeyA(key(), "Parent"), reg::kAccessDenied);
  EXPECT_TRUE(HasKey("Parent\\Child"));
  EXPECT_EQ(api().RegDeleteKeyA(key(), "Missing"), reg::kFileNotFound);
  EXPECT_EQ(api().RegDeleteKeyA(key(), "Parent\\Missing"), reg::kFileNotFound);
  EXPECT_EQ(api().RegDeleteKeyA(key(), nullptr), reg::kInvalidParameter);
  EXPECT_EQ(api().RegDeleteKeyA(key(), "PARENT\\child"), reg::kSuccess);
  EXPECT_FALSE(HasKey("Parent\\Child"));
  EXPECT_EQ(api().RegDeleteKeyA(key(), "Parent"), reg::kSuccess);
  EXPECT_FALSE(HasKey("Parent"));
}

TEST_P(KeyContract, DeletingAKeyThroughItsOwnHandleLeavesTheHandleDead) {
  PutValue("Doomed", "v", reg::kRegSz, Bytes("1"));
  ScopedKey key(api());
  ASSERT_EQ(OpenRel("Doomed", key), reg::kSuccess);
  ASSERT_EQ(api().RegDeleteKeyA(key, ""), reg::kSuccess);
  EXPECT_FALSE(HasKey("Doomed"));
  EXPECT_EQ(ValueSize(key, "v"), reg::kKeyDeleted);
  EXPECT_EQ(SetString(key, "w", "1"), reg::kKeyDeleted);
  EXPECT_EQ(FirstSubkey(key), reg::kKeyDeleted);
  ScopedKey child(api());
  EXPECT_EQ(CreateRel(key, "Child", child), reg::kKeyDeleted);
  EXPECT_EQ(api().RegCloseKey(key.Release()), reg::kSuccess);

  // A key of the same name made again is a different key.
  MakeKey("Doomed");
  EXPECT_FALSE(HasValue("Doomed", "v"));
}

TEST_P(KeyContract, SubkeysEnumerateSortedWithoutRegardToCase) {
  // Names whose order does not depend on whether case is folded up or down ("_"
  // sorts after the letters upper-cased, before them lower-cased, as Wine does).
  for (const char* name : {"delta", "Bravo", "alpha", "Charlie", "ECHO", "b2", "\xE9t\xE9"}) {
    MakeKey(name);
  }
  EXPECT_EQ(SubkeyNames(), (std::vector<std::string>{"alpha", "b2", "Bravo", "Charlie", "delta",
                                                     "ECHO", "\xE9t\xE9"}));
  char name[16];
  uint32_t len = sizeof name;
  EXPECT_EQ(EnumKey(key(), 7, name, &len), reg::kNoMoreItems);
  EXPECT_EQ(EnumKey(key(), 1000, name, &len), reg::kNoMoreItems);
}

TEST_P(KeyContract, EnumKeyNameBufferMustHoldNameAndNul) {
  MakeKey("Seven77");
  for (uint32_t small : {0u, 1u, 7u}) {
    char name[16];
    std::memset(name, 'Z', sizeof name);
    uint32_t len = small;
    EXPECT_EQ(EnumKey(key(), 0, name, &len), reg::kMoreData) << small;
    EXPECT_EQ(len, small);
    EXPECT_EQ(name[0], 'Z') << "nothing copied";
  }
  char name[16];
  uint32_t len = 8;
  ASSERT_EQ(EnumKey(key(), 0, name, &len), reg::kSuccess);
  EXPECT_EQ(len, 7u);
  EXPECT_STREQ(name, "Seven77");
}

TEST_P(KeyContract, EnumKeyOneByteClassBufferForAClassGivesMoreData) {
  MakeKey("WithClass", "SomeClass");
  MakeKey("ZNoClass");
  char name[64];
  uint32_t len = sizeof name;
  char cls[1] = {'Q'};
  uint32_t clsLen = 1;
  EXPECT_EQ(EnumKey(key(), 0, name, &len, cls, &clsLen), reg::kMoreData);
  // Without a class a 1-byte buffer holds the empty class.
  len = sizeof name;
  clsLen = 1;
  ASSERT_EQ(EnumKey(key(), 1, name, &len, cls, &clsLen), reg::kSuccess);
  EXPECT_EQ(std::string(name, len), "ZNoClass");
  EXPECT_EQ(clsLen, 0u);
  // A class buffer large enough gives the class and its length.
  char big[32];
  len = sizeof name;
  clsLen = sizeof big;
  ASSERT_EQ(EnumKey(key(), 0, name, &len, big, &clsLen), reg::kSuccess);
  EXPECT_EQ(std::string(big, clsLen), "SomeClass");
}

TEST_P(KeyContract, KeyNamesUpTo255Characters) {
  const std::string longest(255, 'k');
  ScopedKey made(api());
  ASSERT_EQ(CreateRel(key(), longest.c_str(), made), reg::kSuccess);
  char name[300];
  uint32_t len = sizeof name;
  ASSERT_EQ(EnumKey(key(), 0, name, &len), reg::kSuccess);
  EXPECT_EQ(len, 255u);
  EXPECT_NE(CreateRel(key(), std::string(257, 'k').c_str(), made), reg::kSuccess);
  EXPECT_NE(CreateRel(key(), ("a\\" + std::string(257, 'k')).c_str(), made), reg::kSuccess);
  EXPECT_NE(OpenRel(std::string(257, 'k'), made), reg::kSuccess);
  // Wine's server takes names of up to 256 characters; Windows' limit is 255.
  if (RealOnWine()) GTEST_SKIP() << "Wine accepts a 256-character key name";
  EXPECT_EQ(CreateRel(key(), std::string(256, 'k').c_str(), made), reg::kInvalidParameter);
  EXPECT_EQ(CreateRel(key(), ("a\\" + std::string(256, 'k')).c_str(), made),
            reg::kInvalidParameter);
}

TEST_P(KeyContract, ConnectRegistryKnowsTheLocalComputerByAnySpelling) {
  PutValue("", "v", reg::kRegBinary, Bytes("local"));
  const std::string local = LocalComputerName();
  ASSERT_FALSE(local.empty());
  std::string lower = local;
  for (auto& c : lower) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  for (const std::string& name : {local, "\\\\" + local, lower}) {
    // By name only the roots Windows serves remotely (Wine would take any).
    ScopedKey remote(api());
    EXPECT_EQ(api().RegConnectRegistryA(name.c_str(), reg::kLocalMachine, remote.out()),
              reg::kSuccess)
        << name;
  }
  {
    // Without a name, the local registry with every root.
    ScopedKey remote(api());
    ASSERT_EQ(api().RegConnectRegistryA("", reg::kCurrentUser, remote.out()), reg::kSuccess);
    ScopedKey key(api());
    ASSERT_EQ(api().RegOpenKeyExA(remote, scratch().c_str(), 0, reg::kKeyRead, key.out()),
              reg::kSuccess);
    uint32_t size = 0;
    EXPECT_EQ(ValueSize(key, "v", &size), reg::kSuccess);
    EXPECT_EQ(size, 5u);
  }
  ScopedKey remote(api());
  EXPECT_EQ(api().RegConnectRegistryA(nullptr, reg::kLocalMachine, remote.out()), reg::kSuccess);
  EXPECT_EQ(api().RegConnectRegistryA("NoSuchHostBurnisher", reg::kLocalMachine, remote.out()),
            reg::kBadNetPath);
  EXPECT_EQ(api().RegConnectRegistryA("\\\\NoSuchHostBurnisher", reg::kLocalMachine, remote.out()),
            reg::kBadNetPath);
}

INSTANTIATE_BACKENDS(KeyContract);

}  // namespace
