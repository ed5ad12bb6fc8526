// GetRegistryValue and TrimNull, on the stand-in and on the real registry.

#include <gtest/gtest.h>

#include <limits>
#include <string>
#include <vector>

#include "tests/support/Routines.h"

#ifdef _WIN32
#include <windows.h>
#endif

namespace {

class Reading : public RoutinesTest {
 protected:
  void SetUp() override {
    RoutinesTest::SetUp();
    routines().Subkey(u"Values");
    MakeKey("Values");
  }
  void Put(const std::string& name, uint32_t type, const std::vector<uint8_t>& data) {
    PutValue("Values", name, type, data);
  }
  Variant Get(const std::u16string& name, const Variant& def = Variant::Missing()) {
    ClearCalls();
    return routines().GetRegistryValue(name, def);
  }
};

TEST_P(Reading, MissingValueOrKeyGivesTheDefaultUnchanged) {
  EXPECT_EQ(Get(u"nothing"), Variant());
  EXPECT_EQ(Get(u"nothing", Variant(5)), Variant(5));
  EXPECT_EQ(Get(u"nothing", Variant(u"d")), Variant(u"d"));
  routines().Subkey(u"NoSuchKey");
  EXPECT_EQ(Get(u"nothing", Variant(5)), Variant(5));
  EXPECT_EQ(Get(u"nothing"), Variant());
}

TEST_P(Reading, AnObjectWithoutRootGivesTheDefault) {
  Put("v", reg::kRegSz, Bytes0("x"));
  RegistryRoutines fresh(api());
  fresh.KeyRoot(routines().KeyRoot());
  fresh.Subkey(u"Values");
  EXPECT_EQ(fresh.GetRegistryValue(u"v"), Variant());
  EXPECT_EQ(fresh.GetRegistryValue(u"v", Variant(7)), Variant(7));
}

TEST_P(Reading, KeyPathAlwaysGetsItsSeparator) {
  PutValue("", "top", reg::kRegSz, Bytes0("top"));
  routines().Subkey(u"");
  // KeyRoot + "\" opens the key itself: the trailing separator is accepted.
  EXPECT_EQ(Get(u"top"), Variant(u"top"));
  if (fake()) {
    const auto opens = fake()->CallsTo("RegOpenKeyExA");
    ASSERT_EQ(opens.size(), 1u);
    EXPECT_EQ(opens[0].name, scratch() + "\\");
  }
  // An empty KeyRoot gives a leading separator, which the registry refuses.
  routines().KeyRoot(u"");
  routines().Subkey(Wide(scratch()));
  EXPECT_EQ(Get(u"top", Variant(1)), Variant(1));
  if (fake()) {
    EXPECT_EQ(fake()->CallsTo("RegOpenKeyExA")[0].name, "\\" + scratch());
  }
}

TEST_P(Reading, ABufferBoundaryCostsExactlyOneMoreQuery) {
  const std::string k1023(1023, 'k');
  Put("fits", reg::kRegSz, Bytes0(k1023));        // 1024 bytes
  Put("over", reg::kRegSz, Bytes0(k1023 + "L"));  // 1025 bytes
  EXPECT_EQ(Get(u"fits"), Variant(String(1023, u'k')));
  if (fake()) {
    EXPECT_EQ(fake()->CallsTo("RegQueryValueExA").size(), 1u);
  }
  EXPECT_EQ(Get(u"over"), Variant(String(1023, u'k') + u"L"));
  if (fake()) {
    const auto q = fake()->CallsTo("RegQueryValueExA");
    ASSERT_EQ(q.size(), 2u);
    EXPECT_EQ(q[0].size, 1024u);
    EXPECT_EQ(q[1].size, 1025u) << "the retry's buffer is exactly the reported size";
  }
}

TEST_P(Reading, ExpandableTextIsExpandedWhole) {
  SetEnv("BnShort", "C:\\t");
  SetEnv("BnLong", std::string(3000, 'L'));
  Put("shorter", reg::kRegExpandSz, Bytes0("%BnShort%\\x"));
  Put("longer", reg::kRegExpandSz, Bytes0("<%BNLONG%>"));
  Put("unknown", reg::kRegExpandSz, Bytes0("%NoSuchBnVariable%"));
  Put("zero", reg::kRegExpandSz, {});
  EXPECT_EQ(Get(u"shorter"), Variant(u"C:\\t\\x"));
  EXPECT_EQ(Get(u"longer"), Variant(u"<" + String(3000, u'L') + u">"));
  EXPECT_EQ(Get(u"unknown"), Variant(u"%NoSuchBnVariable%"));
  EXPECT_EQ(Get(u"zero", Variant(4)), Variant(4));
}

INSTANTIATE_BACKENDS(Reading);

// What each type's bytes read as: the value, or the default (9) where they hold none.
struct Decoded {
  const char* name;
  uint32_t type;
  std::vector<uint8_t> bytes;
  Variant expected;
  const char16_t* readAs = u"v";
};

std::vector<uint8_t> Counting(size_t size) {
  std::vector<uint8_t> bytes(size);
  for (size_t i = 0; i < size; ++i) bytes[i] = static_cast<uint8_t>(i * 7);
  return bytes;
}

const Decoded kDecoded[] = {
    {"TextWhole", reg::kRegSz, Bytes0("abc"), Variant(u"abc")},
    {"TextOfATerminatorIsEmpty", reg::kRegSz, {0}, Variant(u"")},
    {"TextOfNoBytesGivesTheDefault", reg::kRegSz, {}, Variant(9)},
    {"TextKeepsAnInnerNul", reg::kRegSz, {'a', 0, 'b', 0}, Variant(String(u"a\0b", 3))},
    {"TextInTheCodePage", reg::kRegSz, {0xC4, 0x80, 0}, Variant(u"\u00C4\u20AC")},  // Ä, € in 1252
    {"TextNamedInAnyCase", reg::kRegSz, Bytes0("abc"), Variant(u"abc"), u"V"},
    {"BinaryOfThreeBytes", reg::kRegBinary, {1, 2, 3}, Variant(ByteArray({1, 2, 3}, 0))},
    {"BinaryFillingTheFirstBuffer", reg::kRegBinary, std::vector<uint8_t>(1024, 0xAB),
     Variant(ByteArray(std::vector<uint8_t>(1024, 0xAB), 0))},
    {"BinaryBeyondTheFirstBuffer", reg::kRegBinary, Counting(5000),
     Variant(ByteArray(Counting(5000), 0))},
    {"BinaryOfNoBytesIsAnEmptyArray", reg::kRegBinary, {}, Variant(ByteArray({}, 0))},
    {"DwordAllOnesIsMinusOne", reg::kRegDword, {0xFF, 0xFF, 0xFF, 0xFF}, Variant(-1)},
    {"DwordOne", reg::kRegDword, {1, 0, 0, 0}, Variant(1)},
    {"DwordLongerUsesTheFirstFour", reg::kRegDword, {2, 0, 0, 0, 9, 9}, Variant(2)},
    {"DwordShorterUsesWhatThereIs", reg::kRegDword, {0x34, 0x12}, Variant(0x1234)},
    {"MultiKeepsItsSeparators",
     reg::kRegMultiSz,
     {'o', 'n', 'e', 0, 't', 'w', 'o', 0, 0},
     Variant(String(u"one\0two", 7))},
    {"MultiEmptyGivesTheDefault", reg::kRegMultiSz, {0, 0}, Variant(9)},
    {"MultiOfOneNulGivesTheDefault", reg::kRegMultiSz, {0}, Variant(9)},
    {"MultiStartingEmptyGivesTheDefault", reg::kRegMultiSz, {0, 'x', 0, 0}, Variant(9)},
    {"QwordGivesTheDefault", reg::kRegQword, {1, 0, 0, 0, 0, 0, 0, 0}, Variant(9)},
    {"NoneGivesTheDefault", reg::kRegNone, {1}, Variant(9)},
    {"LinkGivesTheDefault", reg::kRegLink, {'a', 0}, Variant(9)},
    {"BigEndianDwordGivesTheDefault", reg::kRegDwordBigEndian, {0, 0, 0, 1}, Variant(9)},
};

class Decoding : public RoutinesRowTest<Decoded> {};

TEST_P(Decoding, GivesTheValueOrTheDefault) {
  PutValue("Values", "v", row().type, row().bytes);
  routines().Subkey(u"Values");
  EXPECT_EQ(routines().GetRegistryValue(row().readAs, Variant(9)), row().expected);
}

INSTANTIATE_BACKEND_ROWS(Decoding, kDecoded);

class ReadingStandIn : public StandInTest {
 protected:
  Variant Get(const std::u16string& name, const Variant& def = Variant::Missing()) {
    fake.ClearCalls();
    return routines.GetRegistryValue(name, def);
  }
  // Another writer's value "v" of `type`: `before` at the first query, `after` from then on.
  void ChangeAfterTheFirstQuery(uint32_t type, const std::vector<uint8_t>& before,
                                const std::vector<uint8_t>& after) {
    Put("v", type, before);
    fake.SetAfterCallHook([this, type, after](const FakeRegistry::Call& c) {
      if (c.function != "RegQueryValueExA") return;
      Put("v", type, after);
      fake.SetAfterCallHook(nullptr);
    });
  }
};

TEST_F(ReadingStandIn, OpensForReadingQueriesAndClosesNothingElse) {
  Put("v", reg::kRegSz, Bytes0("x"));
  Get(u"v");
  const auto& c = fake.Calls();
  ASSERT_EQ(c.size(), 3u);
  EXPECT_EQ(std::tie(c[0].function, c[0].key, c[0].access, c[0].options),
            std::tuple("RegOpenKeyExA", reg::kCurrentUser, reg::kKeyRead, 0u));
  EXPECT_EQ(std::tie(c[1].function, c[1].key, c[1].name, c[1].size),
            std::tuple("RegQueryValueExA", c[0].result, "v", 1024u));
  EXPECT_EQ(std::tie(c[2].function, c[2].key), std::tuple("RegCloseKey", c[0].result));
}

TEST_F(ReadingStandIn, AFailedOpenClosesNothing) {
  fake.DenyAccess(reg::kCurrentUser, kKey, reg::kKeyRead);
  EXPECT_EQ(Get(u"v", Variant(2)), Variant(2));
  ASSERT_EQ(fake.Calls().size(), 1u);
  EXPECT_EQ(fake.Calls()[0].status, reg::kAccessDenied);
}

TEST_F(ReadingStandIn, AFailingQueryGivesTheDefaultAndClosesTheKey) {
  Put("v", reg::kRegSz, Bytes0("x"));
  fake.InjectStatus("RegQueryValueExA", reg::kAccessDenied, 1);
  EXPECT_EQ(Get(u"v", Variant(2)), Variant(2));
  EXPECT_EQ(fake.CallsTo("RegCloseKey").size(), 1u);
}

TEST_F(ReadingStandIn, AValueThatGrowsBetweenTheQueriesIsNeverOverread) {
  ChangeAfterTheFirstQuery(reg::kRegBinary, std::vector<uint8_t>(2000, 1),
                           std::vector<uint8_t>(9000, 2));
  EXPECT_EQ(Get(u"v", Variant(u"d")), Variant(u"d"));
  EXPECT_EQ(fake.CallsTo("RegQueryValueExA").size(), 2u) << "one retry, never a third query";
}

TEST_F(ReadingStandIn, AValueThatShrinksBetweenTheQueriesReadsWhatIsThere) {
  ChangeAfterTheFirstQuery(reg::kRegSz, Bytes0(std::string(1500, 's')), Bytes0("tiny"));
  EXPECT_EQ(Get(u"v"), Variant(u"tiny"));
}

TEST_F(ReadingStandIn, AFailedExpansionGivesEmptyText) {
  Put("x", reg::kRegExpandSz, Bytes0("%A%"));
  fake.InjectStatus("ExpandEnvironmentStringsA", 0);
  EXPECT_EQ(Get(u"x", Variant(1)), Variant(u""));
}

// Windows XP and 2003 misread an expansion capacity above 32K characters: there the
// reader never offers one, whichever way the system counts, and an expansion longer
// than the limit gives empty text. Later Windows take the long one whole.
TEST_F(ReadingStandIn, OnWindowsXpNoExpansionCapacityPassesItsLimit) {
  fake.SetEnvironment("BnBig", std::string(20000, 'b'));
  fake.SetEnvironment("BnHuge", std::string(40000, 'h'));
  Put("big", reg::kRegExpandSz, Bytes0("<%BnBig%>"));
  Put("huge", reg::kRegExpandSz, Bytes0("<%BnHuge%>"));
  EXPECT_EQ(Get(u"huge"), Variant(u"<" + String(40000, u'h') + u">"));
  fake.PlayWindowsXp();
  for (const auto count :
       {FakeRegistry::ExpansionCount::Bytes, FakeRegistry::ExpansionCount::Characters}) {
    fake.SetExpansionCount(count);
    const auto expectWithinTheLimit = [this] {
      for (const auto& call : fake.CallsTo("ExpandEnvironmentStringsA")) {
        EXPECT_LE(call.size, 32767u);
      }
    };
    EXPECT_EQ(Get(u"big"), Variant(u"<" + String(20000, u'b') + u">"));
    expectWithinTheLimit();
    EXPECT_EQ(Get(u"huge", Variant(1)), Variant(u""));
    expectWithinTheLimit();
  }
}

TEST_F(ReadingStandIn, NamesOutsideTheCodePageBecomeItsSubstitute) {
  Get(u"\u4E2D");
  EXPECT_EQ(fake.CallsTo("RegQueryValueExA").at(0).name, "?");
}

TEST(TrimNull, CutsAtTheFirstNulInPlace) {
  String plain = u"abc";
  EXPECT_EQ(RegistryRoutines::TrimNull(plain), u"abc");
  EXPECT_EQ(plain, u"abc");
  String inner(u"ab\0cd", 5);
  EXPECT_EQ(RegistryRoutines::TrimNull(inner), u"ab");
  EXPECT_EQ(inner, u"ab");
  String leading(u"\0x", 2);
  EXPECT_EQ(RegistryRoutines::TrimNull(leading), u"");
  String empty;
  EXPECT_EQ(RegistryRoutines::TrimNull(empty), u"");
}

TEST(RegistryRoutinesObject, PropertiesOnlyCopyValues) {
  FakeRegistry fake;
  RegistryRoutines r(fake);
  EXPECT_EQ(r.hkey(), 0);
  EXPECT_EQ(r.KeyRoot(), u"");
  EXPECT_EQ(r.Subkey(), u"");
  r.hkey(reg::kLocalMachine);
  r.KeyRoot(u"SOFTWARE\\\\x\\");
  r.Subkey(u" ");
  EXPECT_EQ(r.hkey(), static_cast<int32_t>(0x80000002u));
  EXPECT_EQ(r.KeyRoot(), u"SOFTWARE\\\\x\\") << "nothing is trimmed or normalised";
  EXPECT_EQ(r.Subkey(), u" ");
}

// Every handle the caller names reaches the platform whole, as wide as an HKEY; the
// predefined roots are Windows' own values, sign-extended on 64-bit builds.
TEST(RegistryRoutinesObject, HandlesReachThePlatformWhole) {
  FakeRegistry fake;
  RegistryRoutines r(fake);
  const RegHandle wide = std::numeric_limits<RegHandle>::max() - 2;
  r.hkey(wide);
  EXPECT_EQ(r.hkey(), wide);
  r.GetRegistryValue(u"v");
  r.EnumRegistryKeys(wide, u"k");
  r.EnumRegistryValues(wide, u"k");
  r.ReadRemoteRegistryValue(u"STANDIN", wide, u"v", String(u"k"));
  ASSERT_EQ(fake.Calls().size(), 4u);
  for (const auto& call : fake.Calls()) EXPECT_EQ(call.key, wide) << call.function;
#ifdef _WIN32
  EXPECT_EQ(reg::kClassesRoot, reinterpret_cast<RegHandle>(HKEY_CLASSES_ROOT));
  EXPECT_EQ(reg::kCurrentUser, reinterpret_cast<RegHandle>(HKEY_CURRENT_USER));
  EXPECT_EQ(reg::kLocalMachine, reinterpret_cast<RegHandle>(HKEY_LOCAL_MACHINE));
  EXPECT_EQ(reg::kUsers, reinterpret_cast<RegHandle>(HKEY_USERS));
  EXPECT_EQ(reg::kPerformanceData, reinterpret_cast<RegHandle>(HKEY_PERFORMANCE_DATA));
  EXPECT_EQ(reg::kCurrentConfig, reinterpret_cast<RegHandle>(HKEY_CURRENT_CONFIG));
#endif
}

}  // namespace
