// SetRegistryValue on both backends: what is stored, read back directly and through
// GetRegistryValue; on the stand-in also the exact call (bytes, size, type, access).

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <optional>
#include <tuple>
#include <string>
#include <vector>

#include "common/NumberText.h"
#include "tests/support/Routines.h"

#ifdef _WIN32
#include <windows.h>
#endif

namespace {

template <class Param>
class WritingOf : public RoutinesTestOf<Param> {
 protected:
  void SetUp() override {
    RoutinesTestOf<Param>::SetUp();
    this->MakeKey("W");
    this->routines().Subkey(u"W");
  }

  // Windows (and the stand-in) also store the NUL that follows string data in memory
  // when the size leaves it out and the data does not end in one.
  static std::vector<uint8_t> AsStored(int32_t type, std::vector<uint8_t> sent) {
    const bool text = type == 1 || type == 2 || type == 7;
    if (text && !sent.empty() && sent.back() != 0) sent.push_back(0);
    return sent;
  }

  // Writes and checks the call the stand-in saw and what either backend holds.
  void ExpectWritten(const std::string& name, const Variant& value, int32_t type,
                     const std::vector<uint8_t>& bytes) {
    this->ClearCalls();
    EXPECT_TRUE(this->routines().SetRegistryValue(Wide(name), value, type));
    if (FakeRegistry* fake = this->fake()) {
      const auto opens = fake->CallsTo("RegOpenKeyExA");
      ASSERT_EQ(opens.size(), 1u);
      EXPECT_EQ(std::tie(opens[0].key, opens[0].name, opens[0].access, opens[0].options),
                std::tuple(reg::kCurrentUser, this->Join("W"), reg::kKeyWrite, 0u));
      const auto sets = fake->CallsTo("RegSetValueExA");
      ASSERT_EQ(sets.size(), 1u);
      EXPECT_EQ(std::tie(sets[0].key, sets[0].name, sets[0].type, sets[0].data),
                std::tuple(opens[0].result, name, static_cast<uint32_t>(type), bytes));
      EXPECT_EQ(sets[0].size, bytes.size());
      EXPECT_EQ(fake->CallsTo("RegCloseKey").size(), 1u);
    }
    EXPECT_EQ(this->Stored("W", name),
              std::pair(static_cast<uint32_t>(type), AsStored(type, bytes)))
        << name;
  }
};

class Writing : public WritingOf<Backend> {};

// Text written as a number is read as the language reads it in the user's locale:
// the system's conversion on Windows, the library's written-out reading on the
// stand-in. The same cases hold for both, under Wine in en-US and (registry_test_de)
// in de-DE.
TEST_P(Writing, TextHoldingANumberIsReadInTheUsersLocale) {
  using N = std::optional<int32_t>;
  struct Case {
    const char16_t* text;
    N us;
    N de;
  };
  const N no;
  const Case cases[] = {{u"42", 42, 42},
                        {u" \t42 ", 42, 42},
                        {u"1,000", 1000, 1},
                        {u"1.000", 1, 1000},
                        {u"1,000,000", 1000000, no},
                        {u"2.5", 2, 25},
                        {u"3,5", 35, 4},
                        {u"1,000.5", 1000, 1},
                        {u"(5)", -5, -5},
                        {u"5-", -5, -5},
                        {u"-5", -5, -5},
                        {u"+5", 5, 5},
                        {u"$5", 5, no},
                        {u"\u20AC5", no, 5},
                        {u"5 \u20AC", no, 5},
                        {u"-$5", -5, no},
                        {u"$-5", -5, no},
                        {u"1e3", 1000, 1000},
                        {u"&HFF", 255, 255},
                        {u"&O17", 15, 15},
                        {u"&HFFFFFFFF", -1, -1},
                        {u"2147483647", 2147483647, 2147483647},
                        {u"2147483648", no, no},
                        {u"abc", no, no},
                        {u"", no, no},
                        {u"5 5", no, no},
                        {u"--5", no, no},
                        {u"(-5)", -5, -5},
                        {u",5", no, 0}};
  std::vector<std::pair<const char*, bool>> locales;  // name, German
  if (fake() != nullptr) {
    locales = {{"en-US", false}, {"de-DE", true}};
  } else {
#ifdef _WIN32
    const LCID user = GetUserDefaultLCID();
    if (const char* expected = std::getenv("BURNISHER_EXPECT_LCID")) {
      // The German run exists for this: it must not pass in en-US.
      ASSERT_EQ(user, std::stoul(expected)) << "the user locale is not the one this run wants";
    }
    if (user != 0x409 && user != 0x407) GTEST_SKIP() << "cases for en-US and de-DE only";
    locales = {{user == 0x407 ? "de-DE" : "en-US", user == 0x407}};
#endif
  }
  for (const auto& [name, german] : locales) {
    if (fake() != nullptr) fake()->SetUserLocale(name);
    for (const Case& c : cases) {
      const N expected = german ? c.de : c.us;
      // The text in ASCII, other units as \u escapes: the report is XML.
      std::string shown;
      for (const char16_t* u = c.text; *u != 0; ++u) {
        char hex[8];
        std::snprintf(hex, sizeof hex, "\\u%04X", static_cast<unsigned>(*u));
        shown += (*u >= 0x20 && *u < 0x7F) ? std::string(1, static_cast<char>(*u)) : hex;
      }
      EXPECT_EQ(api().NumberFromText(c.text), expected) << name << " \"" << shown << "\"";
      // The library's own reading of the locale: on the real registry, held equal to
      // the system's conversion. The variant reads as en-US does, whatever the locale.
      EXPECT_EQ(NumberFromText(c.text, german ? kGermanNumbers : kUnitedStatesNumbers), expected)
          << name << " \"" << shown << "\"";
      EXPECT_EQ(Variant(c.text).ToInt32(), c.us) << "\"" << shown << "\"";
    }
  }
  if (locales.size() == 1 && locales[0].second) return;
  if (fake() != nullptr) fake()->SetUserLocale("en-US");
  ExpectWritten("thousand", u"1,000", 4, Le32(1000));
  ExpectWritten("negative", u"(5)", 4, Le32(static_cast<uint32_t>(-5)));
}

TEST_P(Writing, AMissingKeyIsNeverCreated) {
  routines().Subkey(u"Absent\\Deeper");
  ClearCalls();
  EXPECT_FALSE(routines().SetRegistryValue(u"v", u"abc", 1));
  if (fake() != nullptr) {
    EXPECT_EQ(fake()->Calls().size(), 1u) << "only the open is due";
  }
  EXPECT_FALSE(HasKey("Absent"));
  routines().hkey(0);
  routines().Subkey(u"W");
  EXPECT_FALSE(routines().SetRegistryValue(u"v", u"abc", 1));
}

TEST_P(Writing, AnExistingNameGetsTheNewDataAndType) {
  ExpectWritten("v", u"first", 1, Bytes("first"));
  ExpectWritten("v", 7, 4, Le32(7));
  ExpectWritten("V", u"x", 2, Bytes("x"));
}

TEST_P(Writing, EmptyNameIsTheDefaultValueAndEmptySubkeyTheKeyRootItself) {
  ExpectWritten("", u"dflt", 1, Bytes("dflt"));
  routines().Subkey(u"");
  ClearCalls();
  EXPECT_TRUE(routines().SetRegistryValue(u"top", 9, 4));
  if (fake() != nullptr) {
    EXPECT_EQ(fake()->CallsTo("RegOpenKeyExA").at(0).name, scratch() + "\\");
  }
  EXPECT_EQ(Stored("", "top").second, Le32(9));
}

TEST_P(Writing, ReadsBackThroughGetRegistryValueAsWritten) {
  // The writer leaves the terminator out of the size; the reader counts on the NUL
  // that Windows (and the stand-in) store after string data all the same.
  const String list(u"one\0two\0\0", 9);
  ASSERT_TRUE(routines().SetRegistryValue(u"sz", u"abc \u00E9", 1));
  ASSERT_TRUE(routines().SetRegistryValue(u"nul", String(u"a\0b", 3), 1));
  ASSERT_TRUE(routines().SetRegistryValue(u"expand", u"no references", 2));
  ASSERT_TRUE(routines().SetRegistryValue(u"bin", ByteArray({10, 20, 30}, 1), 3));
  ASSERT_TRUE(routines().SetRegistryValue(u"dword", -1, 4));
  ASSERT_TRUE(routines().SetRegistryValue(u"multi", list, 7));

  EXPECT_EQ(routines().GetRegistryValue(u"sz"), Variant(u"abc \u00E9"));
  EXPECT_EQ(routines().GetRegistryValue(u"nul"), Variant(String(u"a\0b", 3)));
  EXPECT_EQ(routines().GetRegistryValue(u"expand"), Variant(u"no references"));
  EXPECT_EQ(routines().GetRegistryValue(u"bin"), Variant(ByteArray({10, 20, 30})));
  EXPECT_EQ(routines().GetRegistryValue(u"dword"), Variant(-1));
  // The reader drops the list's closing terminators.
  EXPECT_EQ(routines().GetRegistryValue(u"multi"), Variant(String(u"one\0two", 7)));
}

TEST_P(Writing, UnknownTypesWriteNothingButNeedTheKey) {
  routines().Subkey(u"Absent");
  for (const int32_t type : {0, 5, 11}) {
    EXPECT_FALSE(routines().SetRegistryValue(u"v", u"data", type));
  }
  EXPECT_FALSE(HasKey("Absent"));
}

INSTANTIATE_BACKENDS(Writing);

// What each value and type is written as (ExpectWritten checks the call and the store).
struct Written {
  const char* name;
  Variant value;
  int32_t type;
  std::vector<uint8_t> bytes;
};

const Written kWritten[] = {
    // A DWORD is four little-endian bytes, a fraction rounded to even.
    {"DwordOne", 1, 4, {1, 0, 0, 0}},
    {"DwordMinusOne", -1, 4, Le32(0xFFFFFFFFu)},
    {"DwordTrue", true, 4, Le32(0xFFFFFFFFu)},
    {"DwordFalse", false, 4, Le32(0)},
    {"DwordEmpty", Variant(), 4, Le32(0)},
    {"DwordTwoAndAHalf", 2.5, 4, Le32(2)},
    {"DwordThreeAndAHalf", 3.5, 4, Le32(4)},
    {"DwordMinusTwoAndAHalf", -2.5, 4, Le32(static_cast<uint32_t>(-2))},
    {"DwordText", u"42", 4, Le32(42)},
    {"DwordMax", 2147483647, 4, Le32(0x7FFFFFFFu)},
    {"DwordMin", -2147483647 - 1, 4, Le32(0x80000000u)},
    // Text is its ANSI bytes without a terminator.
    {"TextOfText", u"abc", 1, Bytes("abc")},
    {"TextOfANumber", 12, 1, Bytes("12")},
    {"TextOfAFraction", 2.5, 1, Bytes("2.5")},
    {"TextOfABoolean", true, 1, Bytes("True")},
    {"TextEmpty", u"", 1, {}},
    {"TextExpandable", u"%TEMP%\\x", 2, Bytes("%TEMP%\\x")},
    // The caller's NULs are the list's separators and terminators; nothing is added.
    {"TextList", String(u"a\0b\0\0", 5), 7, Bytes(std::string("a\0b\0\0", 5))},
    {"TextListWithoutNuls", u"a,b", 7, Bytes("a,b")},
    // Windows-1252: é and € have bytes of their own, Ā has none.
    {"TextOutsideTheCodePageBecomesItsSubstitute", u"\u00E9\u20AC\u0100", 1, {0xE9, 0x80, '?'}},
    // Binary is the array from its lowest index; text its UTF-16 bytes.
    {"BinaryFromIndexOne", ByteArray({10, 20, 30}, 1), 3, {0x0A, 0x14, 0x1E}},
    {"BinaryFromANegativeIndex", ByteArray({0, 255}, -5), 3, {0x00, 0xFF}},
    {"BinaryOfText", u"AB", 3, {0x41, 0x00, 0x42, 0x00}},
};

class Encoding : public WritingOf<std::tuple<Backend, Written>> {};

TEST_P(Encoding, StoresTheBytesAndType) {
  ExpectWritten(row().name, row().value, row().type, row().bytes);
}

INSTANTIATE_BACKEND_ROWS(Encoding, kWritten);

// A write that gives `result` and leaves the value stored before it as it was.
struct Unwritten {
  std::string name;
  Variant value;
  int32_t type;
  bool result;
};

std::vector<Unwritten> UnwrittenRows() {
  // Binary without usable bytes writes nothing and succeeds.
  std::vector<Unwritten> rows = {
      {"BinaryOfAnArrayWithoutDimensions", ByteArray(), 3, true},
      {"BinaryOfAnEmptyArray", ByteArray(std::vector<uint8_t>{}, 1), 3, true},
      {"BinaryOfATwoDimensionalArray", *ByteArray::WithBounds({{0, 2}, {1, 2}}, {1, 2, 3, 4}), 3,
       true},
      {"BinaryOfNull", Variant::Null(), 3, true},
      {"BinaryOfANumber", 5, 3, true},
      {"BinaryOfEmptyText", u"", 3, true},
      // What does not convert is refused.
      {"TextAsDword", u"x", 4, false},
      {"TenBillionAsDword", 1e10, 4, false},
      {"OnePastTheMaxAsDword", 2147483648.0, 4, false},
      {"OnePastTheMinAsDword", -2147483649.0, 4, false}};
  const Variant list(std::vector<Variant>{Variant(u"a"), Variant(u"b")});
  for (const auto& [valueName, value] :
       {std::pair{"Null", Variant::Null()}, std::pair{"Missing", Variant::Missing()},
        std::pair{"List", list}}) {
    for (const auto& [typeName, type] : {std::pair{"Text", 1}, std::pair{"Expandable", 2},
                                         std::pair{"Multi", 7}, std::pair{"Dword", 4}}) {
      rows.push_back({std::string(valueName) + "As" + typeName, value, type, false});
    }
  }
  // Unknown types write nothing and succeed.
  for (const int32_t type : {0, 5, 6, 8, 11, -1}) {
    const std::string number = type < 0 ? "MinusOne" : std::to_string(type);
    rows.push_back({"UnknownType" + number, u"data", type, true});
  }
  return rows;
}

class NoWrite : public WritingOf<std::tuple<Backend, Unwritten>> {};

TEST_P(NoWrite, LeavesTheStoredValue) {
  PutValue("W", "v", reg::kRegSz, Bytes(std::string("keep", 5)));
  ClearCalls();
  EXPECT_EQ(routines().SetRegistryValue(u"v", row().value, row().type), row().result);
  if (fake() != nullptr) {
    EXPECT_TRUE(fake()->CallsTo("RegSetValueExA").empty());
  }
  EXPECT_EQ(Stored("W", "v"), std::pair(reg::kRegSz, Bytes(std::string("keep", 5))))
      << "the earlier value was lost";
}

INSTANTIATE_BACKEND_ROWS(NoWrite, UnwrittenRows());

class WritingStandIn : public StandInTest {};

TEST_F(WritingStandIn, NoRightToWriteFailsAtTheOpen) {
  fake.DenyAccess(reg::kCurrentUser, kKey, 0x0002 /*KEY_SET_VALUE*/);
  EXPECT_FALSE(routines.SetRegistryValue(u"v", u"abc", 1));
  ASSERT_EQ(fake.Calls().size(), 1u);
  EXPECT_EQ(fake.Calls()[0].status, reg::kAccessDenied);
  EXPECT_FALSE(fake.GetStored(reg::kCurrentUser, kKey, "v").has_value());
}

TEST_F(WritingStandIn, AFailingWriteIsFalseAndStillClosesTheKey) {
  fake.InjectStatus("RegSetValueExA", reg::kAccessDenied);
  EXPECT_FALSE(routines.SetRegistryValue(u"v", u"abc", 1));
  EXPECT_EQ(fake.CallsTo("RegCloseKey").size(), 1u);
}

TEST_F(WritingStandIn, RefusedValuesOpenAndCloseOnly) {
  EXPECT_FALSE(routines.SetRegistryValue(u"v", Variant::Null(), 1));
  ASSERT_EQ(fake.Calls().size(), 2u);
  EXPECT_EQ(fake.Calls()[0].function, "RegOpenKeyExA");
  EXPECT_EQ(fake.Calls()[1].function, "RegCloseKey");
}

TEST_F(WritingStandIn, ValueNamesPassThroughTheCodePage) {
  EXPECT_TRUE(routines.SetRegistryValue(u"\u0100\u00E9", 1, 4));
  EXPECT_EQ(fake.CallsTo("RegSetValueExA").at(0).name, "?\xE9");
}

}  // namespace
