// KeyExists, CreateKey, DeleteKey and DeleteValue on both backends; on the stand-in
// also the exact calls, the zeroed security record, denied rights and open handles,
// and what every member answers when the platform throws.

#include <gtest/gtest.h>

#include <new>
#include <stdexcept>
#include <string>
#include <vector>

#include "tests/support/Routines.h"

namespace {

class Keys : public RoutinesTest {};

TEST_P(Keys, KeyExistsOpensForReadingAndClosesWhatItOpened) {
  routines().Subkey(u"A");
  ClearCalls();
  EXPECT_FALSE(routines().KeyExists());
  if (fake() != nullptr) {
    ExpectCalls({"RegOpenKeyExA"});
    EXPECT_EQ(fake()->Calls()[0].access, reg::kKeyRead);
    EXPECT_EQ(fake()->Calls()[0].name, Join("A"));
  }
  MakeKey("A");
  ClearCalls();
  EXPECT_TRUE(routines().KeyExists());
  ExpectCalls({"RegOpenKeyExA", "RegCloseKey"});
}

TEST_P(Keys, KeyExistsPassesEmptyPiecesUnchanged) {
  routines().Subkey(u"");
  ClearCalls();
  EXPECT_TRUE(routines().KeyExists()) << "a trailing separator names the key itself";
  if (fake() != nullptr) {
    EXPECT_EQ(fake()->Calls()[0].name, scratch() + "\\");
  }
  routines().KeyRoot(u"");
  routines().Subkey(Wide(scratch()));
  ClearCalls();
  EXPECT_FALSE(routines().KeyExists()) << "a leading separator is a bad path";
  if (fake() != nullptr) {
    EXPECT_EQ(fake()->Calls()[0].name, "\\" + scratch());
  }
  routines().hkey(0);
  routines().KeyRoot(Wide(scratch()));
  routines().Subkey(u"");
  EXPECT_FALSE(routines().KeyExists());
}

TEST_P(Keys, CreateKeyWithoutANameCreatesTheSubkey) {
  routines().Subkey(u"A");
  ClearCalls();
  EXPECT_EQ(routines().CreateKey(), u"0");
  if (fake() != nullptr) {
    ExpectCalls({"RegCreateKeyExA", "RegCloseKey"});
    const auto& create = fake()->Calls()[0];
    // Non-volatile, a class, and a security record given but zeroed.
    EXPECT_EQ(std::tie(create.key, create.name, create.options, create.access, create.classGiven),
              std::tuple(reg::kCurrentUser, Join("A"), 0u, reg::kKeyAllAccess, true));
    const auto& sa = create.security;
    EXPECT_EQ(
        std::tie(create.securityGiven, sa.nLength, sa.lpSecurityDescriptor, sa.bInheritHandle),
        std::tuple(true, 0u, 0u, 0));
    EXPECT_EQ(fake()->Calls()[1].key, create.result);
  }
  EXPECT_TRUE(HasKey("A"));
  EXPECT_EQ(routines().Subkey(), u"A");

  // The missing marker is no name given, whether passed in a variable or not.
  routines().Subkey(u"M");
  Variant missing = Variant::Missing();
  EXPECT_EQ(routines().CreateKey(missing), u"0");
  EXPECT_TRUE(missing.IsMissing());
  routines().Subkey(u"N");
  EXPECT_EQ(routines().CreateKey(Variant::Missing()), u"0");
  EXPECT_TRUE(HasKey("M"));
  EXPECT_TRUE(HasKey("N"));
}

TEST_P(Keys, CreateKeyTakesATemporaryOrConstantName) {
  EXPECT_EQ(routines().CreateKey(Variant(u"T\\U")), u"0");
  const Variant constant(7);
  EXPECT_EQ(routines().CreateKey(constant), u"0");
  EXPECT_EQ(constant, Variant(7));
  EXPECT_TRUE(HasKey("T\\U"));
  EXPECT_TRUE(HasKey("7"));
}

TEST_P(Keys, CreateKeyWritesTheResolvedNameBackAsText) {
  Variant name(5);
  EXPECT_EQ(routines().CreateKey(name), u"0");
  EXPECT_EQ(name.kind(), Variant::Kind::Text);
  EXPECT_EQ(name, Variant(u"5"));
  EXPECT_TRUE(HasKey("5"));

  routines().Subkey(u"Ignored");
  Variant deep(u"A\\B\\C");
  ClearCalls();
  EXPECT_EQ(routines().CreateKey(deep), u"0");
  EXPECT_TRUE(HasKey("A\\B\\C"));
  EXPECT_FALSE(HasKey("Ignored"));
  if (fake() != nullptr) {
    EXPECT_EQ(fake()->CallsTo("RegCreateKeyExA").size(), 1u) << "all levels in one call";
  }
}

TEST_P(Keys, CreateKeyOnAnExistingKeyOpensItAndKeepsItsContent) {
  PutValue("A\\Child", "v", reg::kRegDword, {1, 0, 0, 0});
  Variant name(u"A");
  EXPECT_EQ(routines().CreateKey(name), u"0");
  EXPECT_EQ(routines().CreateKey(name), u"0");
  EXPECT_TRUE(HasValue("A\\Child", "v"));
}

TEST_P(Keys, CreateKeyWithANameWithoutTextCreatesNothing) {
  const std::vector<Variant> names = {Variant::Null(),
                                      Variant(std::vector<Variant>{Variant(u"A")})};
  for (const Variant& original : names) {
    Variant name = original;
    ClearCalls();
    EXPECT_EQ(routines().CreateKey(name), u"");
    EXPECT_EQ(name, original);
    ExpectCalls({});
  }
  EXPECT_FALSE(HasKey("A"));
}

TEST_P(Keys, AFailingCreateKeyGivesEmptyTextNeverAStatus) {
  Variant name(u"A");
  routines().hkey(0);
  EXPECT_EQ(routines().CreateKey(name), u"");
  routines().hkey(kBogusHandle);
  EXPECT_EQ(routines().CreateKey(name), u"");
  routines().hkey(reg::kCurrentUser);
  routines().KeyRoot(u"");
  routines().Subkey(Wide(scratch()));
  EXPECT_EQ(routines().CreateKey(), u"") << "a leading separator is a bad path";
  EXPECT_EQ(name, Variant(u"A"));
  EXPECT_FALSE(HasKey("A"));
}

TEST_P(Keys, DeleteKeyRemovesOneKeyBelowKeyRootIgnoringSubkey) {
  MakeKey("A");
  PutValue("B", "v", reg::kRegSz, {'x', 0});
  routines().Subkey(u"A");
  ClearCalls();
  EXPECT_EQ(routines().DeleteKey(u"B"), reg::kSuccess);
  if (fake() != nullptr) {
    ExpectCalls({"RegDeleteKeyA"});
    EXPECT_EQ(fake()->Calls()[0].name, Join("B"));
    EXPECT_EQ(fake()->Calls()[0].key, reg::kCurrentUser);
  }
  EXPECT_FALSE(HasKey("B"));
  EXPECT_TRUE(HasKey("A"));
}

TEST_P(Keys, DeleteKeyReportsThePlatformsStatus) {
  MakeKey("P\\C");
  EXPECT_EQ(routines().DeleteKey(u"P"), reg::kAccessDenied) << "subkeys are not removed";
  EXPECT_TRUE(HasKey("P\\C"));
  EXPECT_EQ(routines().DeleteKey(u"Absent"), reg::kFileNotFound);
  EXPECT_EQ(routines().DeleteKey(u"P\\C"), reg::kSuccess);
  EXPECT_EQ(routines().DeleteKey(u"P"), reg::kSuccess);
  routines().hkey(0);
  EXPECT_NE(routines().DeleteKey(u"Any"), reg::kSuccess);
}

TEST_P(Keys, DeleteValueRemovesTheValueAndClosesTheKey) {
  PutValue("A", "v", reg::kRegSz, {'x', 0});
  PutValue("A", "", reg::kRegSz, {'d', 0});
  routines().Subkey(u"A");
  ClearCalls();
  EXPECT_EQ(routines().DeleteValue(u"V"), reg::kSuccess) << "names compare without case";
  if (fake() != nullptr) {
    ExpectCalls({"RegOpenKeyExA", "RegDeleteValueA", "RegCloseKey"});
    EXPECT_EQ(fake()->Calls()[0].access, reg::kKeyAllAccess);
    EXPECT_EQ(fake()->Calls()[0].name, Join("A"));
    EXPECT_EQ(fake()->Calls()[1].key, fake()->Calls()[0].result);
    EXPECT_EQ(fake()->Calls()[1].name, "V");
  }
  EXPECT_FALSE(HasValue("A", "v"));
  EXPECT_EQ(routines().DeleteValue(u""), reg::kSuccess);
  EXPECT_FALSE(HasValue("A", ""));
}

TEST_P(Keys, DeleteValueOfAMissingValueStillClosesTheKey) {
  MakeKey("A");
  routines().Subkey(u"A");
  ClearCalls();
  EXPECT_EQ(routines().DeleteValue(u"absent"), reg::kFileNotFound);
  ExpectCalls({"RegOpenKeyExA", "RegDeleteValueA", "RegCloseKey"});
}

TEST_P(Keys, DeleteValueOnAKeyThatDoesNotOpenGivesTheOpensStatus) {
  routines().Subkey(u"Absent");
  ClearCalls();
  EXPECT_EQ(routines().DeleteValue(u"v"), reg::kFileNotFound);
  ExpectCalls({"RegOpenKeyExA"});
  routines().hkey(0);
  EXPECT_NE(routines().DeleteValue(u"v"), reg::kSuccess);
}

TEST_P(Keys, DeleteValueNamesPassThroughTheCodePage) {
  PutValue("A", "?", reg::kRegSz, {'q', 0});
  routines().Subkey(u"A");
  String name = u"\u0100";
  EXPECT_EQ(routines().DeleteValue(name), reg::kSuccess);
  EXPECT_FALSE(HasValue("A", "?"));
  if (codePage() == 1252) {
    EXPECT_EQ(name, u"?") << "the name as the code page carried it";
  }
  // A name the deletion was never asked for stays as it was.
  name = u"\u0100";
  routines().Subkey(u"Absent");
  EXPECT_EQ(routines().DeleteValue(name), reg::kFileNotFound);
  EXPECT_EQ(name, u"\u0100");
}

INSTANTIATE_BACKENDS(Keys);

class KeysStandIn : public StandInTest {
 protected:
  KeysStandIn() { Put("v", reg::kRegSz, {'x', 0}); }
};

TEST_F(KeysStandIn, KeyExistsIsFalseForAKeyThatMayNotBeRead) {
  fake.DenyAccess(reg::kCurrentUser, kKey, 0x0001 /*KEY_QUERY_VALUE*/);
  EXPECT_FALSE(routines.KeyExists());
}

TEST_F(KeysStandIn, CreateKeyWithoutTheRightToCreateGivesEmptyText) {
  fake.DenyAccess(reg::kCurrentUser, "Software\\T", 0x0004 /*KEY_CREATE_SUB_KEY*/);
  Variant name(u"New");
  EXPECT_EQ(routines.CreateKey(name), u"");
  EXPECT_FALSE(fake.HasKey(reg::kCurrentUser, "Software\\T\\New"));
  EXPECT_EQ(name, Variant(u"New"));
}

TEST_F(KeysStandIn, DeleteKeyWithoutTheRightToDeleteIsRefused) {
  fake.DenyAccess(reg::kCurrentUser, kKey, 0x00010000 /*DELETE*/);
  EXPECT_EQ(routines.DeleteKey(u"A"), reg::kAccessDenied);
  EXPECT_TRUE(fake.HasKey(reg::kCurrentUser, kKey));
}

TEST_F(KeysStandIn, DeleteValueNeedsFullAccessEvenWhereSettingValuesIsAllowed) {
  fake.DenyAccess(reg::kCurrentUser, kKey, 0x00010000 /*DELETE*/);
  EXPECT_EQ(routines.DeleteValue(u"v"), reg::kAccessDenied);
  EXPECT_EQ(fake.Calls().size(), 1u);
  EXPECT_TRUE(fake.GetStored(reg::kCurrentUser, kKey, "v").has_value());
}

TEST_F(KeysStandIn, AThrowingCloseEscapesNoMember) {
  fake.SetAfterCallHook([](const FakeRegistry::Call& c) {
    if (c.function == "RegCloseKey") throw std::runtime_error("close failed");
  });
  EXPECT_TRUE(routines.KeyExists());
  EXPECT_EQ(routines.GetRegistryValue(u"v"), Variant(u"x"));
  EXPECT_EQ(routines.CreateKey(), u"0");
  EXPECT_EQ(routines.DeleteValue(u"v"), reg::kSuccess);
  EXPECT_EQ(fake.CallsTo("RegCloseKey").size(), 4u);
}

TEST_F(KeysStandIn, AFailingDeletionStillClosesTheKey) {
  fake.InjectStatus("RegDeleteValueA", reg::kAccessDenied);
  EXPECT_EQ(routines.DeleteValue(u"v"), reg::kAccessDenied);
  EXPECT_EQ(fake.CallsTo("RegCloseKey").size(), 1u);
}

struct Raised {
  const char* name;
  void (*raise)();
};
class KeysWhateverIsThrown : public StandInTest, public ::testing::WithParamInterface<Raised> {};

// No member tells one exception from another, a container's own error included: in
// the Windows builds this program links platform/ContainerErrors.cpp, as Burnisher
// does, so there that error arrives as std::bad_alloc. Each member ends with its
// failure result, and nothing changed.
TEST_P(KeysWhateverIsThrown, EveryMemberEndsWithItsFailureResult) {
  Put("v", reg::kRegSz, {'x', 0});
  // Every member's first call does nothing, so that nothing is left open, and throws.
  for (const char* first :
       {"RegOpenKeyExA", "RegCreateKeyExA", "RegDeleteKeyA", "RegConnectRegistryA"}) {
    fake.InjectStatus(first, reg::kAccessDenied);
  }
  fake.SetAfterCallHook([raise = GetParam().raise](const FakeRegistry::Call&) { raise(); });
  EXPECT_FALSE(routines.KeyExists());
  EXPECT_EQ(routines.GetRegistryValue(u"v", Variant(7)), Variant(7));
  EXPECT_FALSE(routines.SetRegistryValue(u"v", Variant(u"y"), reg::kRegSz));
  EXPECT_EQ(routines.CreateKey(), u"");
  EXPECT_EQ(routines.DeleteKey(u"A"), reg::kNotEnoughMemory);
  EXPECT_EQ(routines.DeleteValue(u"v"), reg::kNotEnoughMemory);
  EXPECT_EQ(routines.EnumRegistryKeys(reg::kCurrentUser, u"Software\\T").Count(), 0);
  EXPECT_EQ(routines.EnumRegistryValues(reg::kCurrentUser, u"Software\\T\\A").Count(), 0);
  EXPECT_EQ(routines.ReadRemoteRegistryValue(u"STANDIN", reg::kLocalMachine, u"v"), Variant());
  EXPECT_FALSE(routines.WriteRemoteRegistryValue(u"STANDIN", reg::kLocalMachine, u"v",
                                                 Variant(u"y"), reg::kRegSz));
  EXPECT_EQ(fake.Calls().size(), 10u) << "a member went on past its first call";
  fake.ClearFaults();
  EXPECT_EQ(routines.GetRegistryValue(u"v"), Variant(u"x"));
}

const Raised kRaised[] = {
    {"BadAlloc", [] { throw std::bad_alloc(); }},
    {"LengthError", [] { throw std::length_error("length"); }},
    {"OutOfRange", [] { throw std::out_of_range("range"); }},
    {"AContainersRangeError", [] { static_cast<void>(std::string().at(1)); }},
    {"RuntimeError", [] { throw std::runtime_error("runtime"); }},
    {"NoStandardException", [] { throw 42; }},
};
INSTANTIATE_TEST_SUITE_P(Raised, KeysWhateverIsThrown, ::testing::ValuesIn(kRaised),
                         [](const auto& row) { return std::string(row.param.name); });

#ifdef _WIN32
// The substitution the rows above run under on Windows, as Burnisher runs.
TEST(ContainerErrors, ArriveAsBadAllocAsInBurnisher) {
  EXPECT_THROW(static_cast<void>(std::string().at(1)), std::bad_alloc);
}
#endif

}  // namespace
