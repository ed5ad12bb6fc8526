// GetRegistryValue and TrimNull, on the stand-in and on the real registry.

#include <gtest/gtest.h>

#include <limits>
#include <optional>
#include <string>
#include <vector>

#include "registry/RegistryRoutines.h"
#include "tests/support/Backends.h"

#ifdef _WIN32
#include <windows.h>
#endif

namespace {

class Reading : public BackendTest {
 protected:
  void SetUp() override {
    BackendTest::SetUp();
    obj.emplace(api());
    obj->hkey(reg::kCurrentUser);
    obj->KeyRoot(String(scratch().begin(), scratch().end()));
    obj->Subkey(u"Values");
    MakeKey("Values");
  }
  void TearDown() override {
    if (fake()) {
      EXPECT_EQ(fake()->OpenHandleCount(), 0) << "a handle outlived the call";
    }
    obj.reset();
    BackendTest::TearDown();
  }
  void Put(const std::string& name, uint32_t type, const std::vector<uint8_t>& data) {
    PutValue("Values", name, type, data);
  }
  Variant Get(const std::u16string& name, const Variant& def = Variant::Missing()) {
    if (fake()) fake()->ClearCalls();
    return obj->GetRegistryValue(name, def);
  }

  std::optional<RegistryRoutines> obj;
};

std::vector<uint8_t> Str(const std::string& s) { return {s.begin(), s.end()}; }
std::vector<uint8_t> Str0(const std::string& s) {
  auto v = Str(s);
  v.push_back(0);
  return v;
}

TEST_P(Reading, MissingValueOrKeyGivesTheDefaultUnchanged) {
  EXPECT_EQ(Get(u"nothing"), Variant());
  EXPECT_EQ(Get(u"nothing", Variant(5)), Variant(5));
  EXPECT_EQ(Get(u"nothing", Variant(u"d")), Variant(u"d"));
  obj->Subkey(u"NoSuchKey");
  EXPECT_EQ(Get(u"nothing", Variant(5)), Variant(5));
  EXPECT_EQ(Get(u"nothing"), Variant());
}

TEST_P(Reading, AnObjectWithoutRootGivesTheDefault) {
  Put("v", reg::kRegSz, Str0("x"));
  RegistryRoutines fresh(api());
  fresh.KeyRoot(obj->KeyRoot());
  fresh.Subkey(u"Values");
  EXPECT_EQ(fresh.GetRegistryValue(u"v"), Variant());
  EXPECT_EQ(fresh.GetRegistryValue(u"v", Variant(7)), Variant(7));
}

TEST_P(Reading, KeyPathAlwaysGetsItsSeparator) {
  PutValue("", "top", reg::kRegSz, Str0("top"));
  obj->Subkey(u"");
  // KeyRoot + "\" opens the key itself: the trailing separator is accepted.
  EXPECT_EQ(Get(u"top"), Variant(u"top"));
  if (fake()) {
    const auto opens = fake()->CallsTo("RegOpenKeyExA");
    ASSERT_EQ(opens.size(), 1u);
    EXPECT_EQ(opens[0].name, scratch() + "\\");
  }
  // An empty KeyRoot gives a leading separator, which the registry refuses.
  obj->KeyRoot(u"");
  obj->Subkey(String(scratch().begin(), scratch().end()));
  EXPECT_EQ(Get(u"top", Variant(1)), Variant(1));
  if (fake()) {
    EXPECT_EQ(fake()->CallsTo("RegOpenKeyExA")[0].name, "\\" + scratch());
  }
}

TEST_P(Reading, TextValues) {
  Put("abc", reg::kRegSz, Str0("abc"));
  Put("terminator", reg::kRegSz, {0});
  Put("zero", reg::kRegSz, {});
  Put("inner", reg::kRegSz, {'a', 0, 'b', 0});
  Put("latin", reg::kRegSz, {0xC4, 0x80, 0});  // Ä and € in Windows-1252
  EXPECT_EQ(Get(u"abc"), Variant(u"abc"));
  EXPECT_EQ(Get(u"terminator", Variant(9)), Variant(u""));
  EXPECT_EQ(Get(u"zero", Variant(9)), Variant(9));
  EXPECT_EQ(Get(u"inner"), Variant(String(u"a\0b", 3)));
  EXPECT_EQ(Get(u"latin"), Variant(u"\u00C4\u20AC"));
  EXPECT_EQ(Get(u"ABC"), Variant(u"abc")) << "value names ignore case";
}

TEST_P(Reading, ABufferBoundaryCostsExactlyOneMoreQuery) {
  const std::string k1023(1023, 'k');
  Put("fits", reg::kRegSz, Str0(k1023));        // 1024 bytes
  Put("over", reg::kRegSz, Str0(k1023 + "L"));  // 1025 bytes
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

TEST_P(Reading, BinaryValuesAreExactlyTheirBytesFromIndexZero) {
  Put("three", reg::kRegBinary, {1, 2, 3});
  Put("full", reg::kRegBinary, std::vector<uint8_t>(1024, 0xAB));
  std::vector<uint8_t> big(5000);
  for (size_t i = 0; i < big.size(); ++i) big[i] = static_cast<uint8_t>(i * 7);
  Put("big", reg::kRegBinary, big);
  Put("none", reg::kRegBinary, {});
  EXPECT_EQ(Get(u"three"), Variant(ByteArray({1, 2, 3}, 0)));
  EXPECT_EQ(Get(u"full"), Variant(ByteArray(std::vector<uint8_t>(1024, 0xAB), 0)));
  EXPECT_EQ(Get(u"big"), Variant(ByteArray(big, 0)));
  const Variant none = Get(u"none", Variant(1));
  ASSERT_EQ(none.kind(), Variant::Kind::Bytes);
  EXPECT_EQ(none.AsBytes().Size(), 0u);
}

TEST_P(Reading, DwordsComeFromTheFirstFourBytes) {
  Put("all", reg::kRegDword, {0xFF, 0xFF, 0xFF, 0xFF});
  Put("one", reg::kRegDword, {1, 0, 0, 0});
  Put("long", reg::kRegDword, {2, 0, 0, 0, 9, 9});
  Put("short", reg::kRegDword, {0x34, 0x12});
  EXPECT_EQ(Get(u"all"), Variant(-1));
  EXPECT_EQ(Get(u"one"), Variant(1));
  EXPECT_EQ(Get(u"long"), Variant(2));
  EXPECT_EQ(Get(u"short"), Variant(0x1234));
}

TEST_P(Reading, MultiStringsKeepTheirSeparators) {
  Put("two", reg::kRegMultiSz, {'o', 'n', 'e', 0, 't', 'w', 'o', 0, 0});
  Put("empty", reg::kRegMultiSz, {0, 0});
  Put("short", reg::kRegMultiSz, {0});
  Put("firstEmpty", reg::kRegMultiSz, {0, 'x', 0, 0});
  EXPECT_EQ(Get(u"two"), Variant(String(u"one\0two", 7)));
  EXPECT_EQ(Get(u"empty", Variant(3)), Variant(3));
  EXPECT_EQ(Get(u"short", Variant(3)), Variant(3));
  EXPECT_EQ(Get(u"firstEmpty", Variant(3)), Variant(3));
}

TEST_P(Reading, TypesOutsideTheFiveGiveTheDefault) {
  Put("qword", reg::kRegQword, {1, 0, 0, 0, 0, 0, 0, 0});
  Put("none", reg::kRegNone, {1});
  Put("link", reg::kRegLink, {'a', 0});
  Put("bigendian", reg::kRegDwordBigEndian, {0, 0, 0, 1});
  for (const char16_t* name : {u"qword", u"none", u"link", u"bigendian"}) {
    EXPECT_EQ(Get(name, Variant(u"d")), Variant(u"d")) << std::string(name, name + 3);
  }
}

TEST_P(Reading, ExpandableTextIsExpandedWhole) {
  const std::string shortValue = "C:\\t";
  const std::string longValue(3000, 'L');
  if (fake()) {
    fake()->SetEnvironment("BnShort", shortValue);
    fake()->SetEnvironment("BnLong", longValue);
  } else {
#ifdef _WIN32
    SetEnvironmentVariableA("BnShort", shortValue.c_str());
    SetEnvironmentVariableA("BnLong", longValue.c_str());
#endif
  }
  Put("shorter", reg::kRegExpandSz, Str0("%BnShort%\\x"));
  Put("longer", reg::kRegExpandSz, Str0("<%BNLONG%>"));
  Put("unknown", reg::kRegExpandSz, Str0("%NoSuchBnVariable%"));
  Put("zero", reg::kRegExpandSz, {});
  EXPECT_EQ(Get(u"shorter"), Variant(u"C:\\t\\x"));
  EXPECT_EQ(Get(u"longer"), Variant(u"<" + String(3000, u'L') + u">"));
  EXPECT_EQ(Get(u"unknown"), Variant(u"%NoSuchBnVariable%"));
  EXPECT_EQ(Get(u"zero", Variant(4)), Variant(4));
}

// ---- What only the stand-in can show ------------------------------------------------

class ReadingCalls : public Reading {};

TEST_P(ReadingCalls, OpensForReadingQueriesAndClosesNothingElse) {
  if (!fake()) GTEST_SKIP() << "the call log exists on the stand-in only";
  Put("v", reg::kRegSz, Str0("x"));
  Get(u"v");
  const auto& calls = fake()->Calls();
  ASSERT_EQ(calls.size(), 3u);
  EXPECT_EQ(calls[0].function, "RegOpenKeyExA");
  EXPECT_EQ(calls[0].key, reg::kCurrentUser);
  EXPECT_EQ(calls[0].access, reg::kKeyRead);
  EXPECT_EQ(calls[0].options, 0u);
  EXPECT_EQ(calls[1].function, "RegQueryValueExA");
  EXPECT_EQ(calls[1].key, calls[0].result);
  EXPECT_EQ(calls[1].name, "v");
  EXPECT_EQ(calls[1].size, 1024u);
  EXPECT_EQ(calls[2].function, "RegCloseKey");
  EXPECT_EQ(calls[2].key, calls[0].result);
}

TEST_P(ReadingCalls, AFailedOpenClosesNothing) {
  if (!fake()) GTEST_SKIP() << "the call log exists on the stand-in only";
  fake()->DenyAccess(reg::kCurrentUser, Join("Values"), reg::kKeyRead);
  EXPECT_EQ(Get(u"v", Variant(2)), Variant(2));
  ASSERT_EQ(fake()->Calls().size(), 1u);
  EXPECT_EQ(fake()->Calls()[0].status, reg::kAccessDenied);
}

TEST_P(ReadingCalls, AFailingQueryGivesTheDefaultAndClosesTheKey) {
  if (!fake()) GTEST_SKIP() << "fault injection exists on the stand-in only";
  Put("v", reg::kRegSz, Str0("x"));
  fake()->InjectStatus("RegQueryValueExA", reg::kAccessDenied, 1);
  EXPECT_EQ(Get(u"v", Variant(2)), Variant(2));
  EXPECT_EQ(fake()->CallsTo("RegCloseKey").size(), 1u);
}

TEST_P(ReadingCalls, AValueThatGrowsBetweenTheQueriesIsNeverOverread) {
  if (!fake()) GTEST_SKIP() << "the hook exists on the stand-in only";
  Put("grows", reg::kRegBinary, std::vector<uint8_t>(2000, 1));
  const std::string path = Join("Values");
  bool grown = false;
  fake()->SetAfterCallHook([&](const FakeRegistry::Call& c) {
    if (c.function == "RegQueryValueExA" && !grown) {
      grown = true;
      fake()->PutValue(reg::kCurrentUser, path, "grows", reg::kRegBinary,
                       std::vector<uint8_t>(9000, 2));
    }
  });
  EXPECT_EQ(Get(u"grows", Variant(u"d")), Variant(u"d"));
  EXPECT_EQ(fake()->CallsTo("RegQueryValueExA").size(), 2u) << "one retry, never a third query";
}

TEST_P(ReadingCalls, AValueThatShrinksBetweenTheQueriesReadsWhatIsThere) {
  if (!fake()) GTEST_SKIP() << "the hook exists on the stand-in only";
  Put("shrinks", reg::kRegSz, Str0(std::string(1500, 's')));
  const std::string path = Join("Values");
  bool shrunk = false;
  fake()->SetAfterCallHook([&](const FakeRegistry::Call& c) {
    if (c.function == "RegQueryValueExA" && !shrunk) {
      shrunk = true;
      fake()->PutValue(reg::kCurrentUser, path, "shrinks", reg::kRegSz, Str0("tiny"));
    }
  });
  EXPECT_EQ(Get(u"shrinks"), Variant(u"tiny"));
}

TEST_P(ReadingCalls, AFailedExpansionGivesEmptyText) {
  if (!fake()) GTEST_SKIP() << "fault injection exists on the stand-in only";
  Put("x", reg::kRegExpandSz, Str0("%A%"));
  fake()->InjectStatus("ExpandEnvironmentStringsA", 0);
  EXPECT_EQ(Get(u"x", Variant(1)), Variant(u""));
}

// Windows XP and 2003 misread an expansion capacity above 32K characters: there the
// reader never offers one, whichever way the system counts, and an expansion longer
// than the limit gives empty text. Later Windows take the long one whole.
TEST_P(ReadingCalls, OnWindowsXpNoExpansionCapacityPassesItsLimit) {
  if (!fake()) GTEST_SKIP() << "the XP model is the stand-in's";
  fake()->SetEnvironment("BnBig", std::string(20000, 'b'));
  fake()->SetEnvironment("BnHuge", std::string(40000, 'h'));
  Put("big", reg::kRegExpandSz, Str0("<%BnBig%>"));
  Put("huge", reg::kRegExpandSz, Str0("<%BnHuge%>"));
  const Variant huge(u"<" + String(40000, u'h') + u">");
  EXPECT_EQ(Get(u"huge"), huge);
  fake()->PlayWindowsXp();
  for (const auto count :
       {FakeRegistry::ExpansionCount::Bytes, FakeRegistry::ExpansionCount::Characters}) {
    fake()->SetExpansionCount(count);
    const auto expectWithinTheLimit = [this] {
      for (const auto& call : fake()->CallsTo("ExpandEnvironmentStringsA")) {
        EXPECT_LE(call.size, 32767u);
      }
    };
    EXPECT_EQ(Get(u"big"), Variant(u"<" + String(20000, u'b') + u">"));
    expectWithinTheLimit();
    EXPECT_EQ(Get(u"huge", Variant(1)), Variant(u""));
    expectWithinTheLimit();
  }
}

TEST_P(ReadingCalls, NamesOutsideTheCodePageBecomeItsSubstitute) {
  if (!fake()) GTEST_SKIP() << "the call log exists on the stand-in only";
  Get(u"\u4E2D");
  EXPECT_EQ(fake()->CallsTo("RegQueryValueExA").at(0).name, "?");
}

INSTANTIATE_BACKENDS(Reading);
INSTANTIATE_BACKENDS(ReadingCalls);

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
