#include <gtest/gtest.h>

#include <limits>
#include <optional>
#include <tuple>
#include <utility>
#include <variant>

#include "common/Variant.h"

using namespace vbreg;

namespace {

using std::nullopt;
constexpr int32_t kMin = std::numeric_limits<int32_t>::min();
constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
constexpr double kInf = std::numeric_limits<double>::infinity();

// A value and the 32-bit integer it converts to (nullopt: none).
struct ToInt {
  Variant value;
  std::optional<int32_t> expected;
};
class VariantToInt32 : public ::testing::TestWithParam<ToInt> {};
TEST_P(VariantToInt32, Converts) { EXPECT_EQ(GetParam().value.ToInt32(), GetParam().expected); }

const ToInt kHalves[] = {{0.5, 0},   {1.5, 2},   {2.5, 2},   {3.5, 4},       {-0.5, 0},
                         {-1.5, -2}, {-2.5, -2}, {-3.5, -4}, {2.5000001, 3}, {-2.4999999, -2}};
// 2147483647.5 rounds to 2147483648, -2147483648.5 to its even neighbour.
const ToInt kLimits[] = {{2147483647.4, 2147483647},
                         {2147483647.5, nullopt},
                         {-2147483648.5, kMin},
                         {-2147483648.6, nullopt},
                         {-2147483649.5, nullopt},
                         {1e300, nullopt},
                         {kNaN, nullopt},
                         {kInf, nullopt},
                         {-kInf, nullopt}};
const ToInt kOtherKinds[] = {{Variant(), 0},
                             {true, -1},
                             {false, 0},
                             {kMin, kMin},
                             {Variant::Null(), nullopt},
                             {Variant::Missing(), nullopt},
                             {ByteArray({1, 0, 0, 0}), nullopt},
                             {std::vector<Variant>{Variant(1)}, nullopt}};
// 2.50000000000000000001 is not an exact half, though a double is. The thousands
// separator is en-US's whatever the user's locale: a value carries none.
const ToInt kDecimalText[] = {{u"42", 42},
                              {u"  -17\t ", -17},
                              {u"+8", 8},
                              {u"2.5", 2},
                              {u"3.5", 4},
                              {u"-2.5", -2},
                              {u"2.50000000000000000001", 3},
                              {u".5", 0},
                              {u"7.", 7},
                              {u"1.5e3", 1500},
                              {u"25E-1", 2},
                              {u"1e-400", 0},
                              {u"000000000000002147483647", 2147483647},
                              {u"2147483647.5", nullopt},
                              {u"-2147483648.5", kMin},
                              {u"2147483648", nullopt},
                              {u"1e10", nullopt},
                              {u"1e999999999999999999", nullopt},
                              {u"1,000", 1000}};  // as an en-US system reads it
const ToInt kHexAndOctalText[] = {
    {u"&H10", 16},        {u" &hff ", 255},          {u"&HFFFFFFFF", -1}, {u"&H80000000", kMin},
    {u"&H0000000001", 1}, {u"&H100000000", nullopt}, {u"&O17", 15},       {u"&O37777777777", -1},
    {u"&O8", nullopt},    {u"&H", nullopt},          {u"&HG", nullopt}};
const ToInt kNotANumber[] = {{u"", nullopt},      {u"   ", nullopt},  {u"abc", nullopt},
                             {u"12abc", nullopt}, {u"1 2", nullopt},  {u"--1", nullopt},
                             {u"+", nullopt},     {u".", nullopt},    {u"1e", nullopt},
                             {u"1e+", nullopt},   {u"&", nullopt},    {u"&X1", nullopt},
                             {u"-&H1", nullopt},  {u"True", nullopt}, {u"\u0661", nullopt}};
INSTANTIATE_TEST_SUITE_P(HalvesRoundToEvenOnBothSides, VariantToInt32,
                         ::testing::ValuesIn(kHalves));
INSTANTIATE_TEST_SUITE_P(Int32LimitsAfterRounding, VariantToInt32, ::testing::ValuesIn(kLimits));
INSTANTIATE_TEST_SUITE_P(OtherKinds, VariantToInt32, ::testing::ValuesIn(kOtherKinds));
INSTANTIATE_TEST_SUITE_P(DecimalText, VariantToInt32, ::testing::ValuesIn(kDecimalText));
INSTANTIATE_TEST_SUITE_P(HexAndOctalTextAsA32BitPattern, VariantToInt32,
                         ::testing::ValuesIn(kHexAndOctalText));
INSTANTIATE_TEST_SUITE_P(TextThatIsNotANumberFails, VariantToInt32,
                         ::testing::ValuesIn(kNotANumber));

TEST(VariantToText, NumbersBooleansAndEmpty) {
  EXPECT_EQ(Variant(0).ToText(), u"0");
  EXPECT_EQ(Variant(std::numeric_limits<int32_t>::min()).ToText(), u"-2147483648");
  EXPECT_EQ(Variant(true).ToText(), u"True");
  EXPECT_EQ(Variant(false).ToText(), u"False");
  EXPECT_EQ(Variant().ToText(), u"");
  EXPECT_EQ(Variant(u"as is").ToText(), u"as is");
  EXPECT_EQ(Variant::Null().ToText(), std::nullopt);
  EXPECT_EQ(Variant::Missing().ToText(), std::nullopt);
  EXPECT_EQ(Variant(std::vector<Variant>{}).ToText(), std::nullopt);
}

// A double as CStr writes it (nullopt: no text).
using DoubleText = std::pair<double, std::optional<String>>;
class DoubleToText : public ::testing::TestWithParam<DoubleText> {};
TEST_P(DoubleToText, IsAsCStrWritesIt) {
  EXPECT_EQ(Variant(GetParam().first).ToText(), GetParam().second) << GetParam().first;
}
const DoubleText kDoubles[] = {{0.0, u"0"},
                               {-0.0, u"0"},
                               {1.0, u"1"},
                               {0.5, u"0.5"},
                               {-0.5, u"-0.5"},
                               {0.1 + 0.2, u"0.3"},
                               {1.0 / 3.0, u"0.333333333333333"},
                               {2.0 / 3.0, u"0.666666666666667"},
                               {123456.789, u"123456.789"},
                               {0.0001, u"0.0001"},
                               {0.00001, u"1E-05"},
                               {-0.000012345, u"-1.2345E-05"},
                               {999999999999999.0, u"999999999999999"},
                               {1e15, u"1E+15"},
                               {9999999999999999.0, u"1E+16"},
                               {1e20, u"1E+20"},
                               {1.5e100, u"1.5E+100"},
                               {4.9e-324, u"4.94065645841247E-324"},
                               {-1.7976931348623157e308, u"-1.79769313486232E+308"},
                               {kNaN, nullopt},
                               {kInf, nullopt}};
INSTANTIATE_TEST_SUITE_P(DoublesAsCStrWritesThem, DoubleToText, ::testing::ValuesIn(kDoubles));

TEST(VariantToText, BytesReadAsUtf16LowByteFirst) {
  EXPECT_EQ(Variant(ByteArray({0x41, 0x00, 0xC4, 0x00, 0x3B, 0x04})).ToText(), u"A\u00C4\u043B");
  EXPECT_EQ(Variant(ByteArray({0x41, 0x00, 0xFF})).ToText(), u"A\u00FF");  // odd byte alone
  EXPECT_EQ(Variant(ByteArray({0x00, 0x00})).ToText(), String(1, u'\0'));
  EXPECT_EQ(Variant(ByteArray()).ToText(), u"");
}

TEST(VariantToBytes, TextGivesUtf16LowByteFirstFromIndexZero) {
  const auto bytes = Variant(u"A\u00C4\u20AC").ToBytes();
  ASSERT_TRUE(bytes);
  EXPECT_EQ(bytes->Bytes(), (std::vector<uint8_t>{0x41, 0x00, 0xC4, 0x00, 0xAC, 0x20}));
  EXPECT_EQ(std::tuple(bytes->Dimensions(), bytes->Lower(), bytes->Upper()), std::tuple(1u, 0, 5));
  EXPECT_EQ(Variant(*bytes).ToText(), u"A\u00C4\u20AC");

  const auto empty = Variant(u"").ToBytes();
  ASSERT_TRUE(empty);
  EXPECT_EQ(std::tuple(empty->Size(), empty->Upper()), std::tuple(0u, -1));

  for (const Variant& v : {Variant(), Variant::Null(), Variant::Missing(), Variant(1), Variant(1.5),
                           Variant(true), Variant(std::vector<Variant>{Variant(u"x")})}) {
    EXPECT_EQ(v.ToBytes(), std::nullopt);
  }
}

TEST(VariantToBytes, AnyBoundsAndDimensionsComeBackUnchanged) {
  const ByteArray fromOne({7, 8, 9}, 1);
  EXPECT_EQ(std::tuple(fromOne.Lower(), fromOne.Upper()), std::tuple(1, 3));
  EXPECT_EQ(Variant(fromOne).ToBytes(), fromOne);

  const auto grid = ByteArray::WithBounds({{1, 2}, {-1, 3}}, {1, 2, 3, 4, 5, 6});
  ASSERT_TRUE(grid);
  EXPECT_EQ(std::tuple(grid->Dimensions(), grid->Lower(), grid->Upper()), std::tuple(2u, 1, 2));
  EXPECT_EQ(Variant(*grid).ToBytes(), grid);
  EXPECT_EQ(Variant(*grid).ToText(), u"\u0201\u0403\u0605");
}

TEST(ByteArrayBounds, CountsMustMatchAndNotOverflow) {
  EXPECT_FALSE(ByteArray::WithBounds({{0, 2}, {0, 3}}, {1, 2, 3, 4, 5}));
  EXPECT_FALSE(ByteArray::WithBounds({}, {1}));
  EXPECT_TRUE(ByteArray::WithBounds({}, {}));
  EXPECT_TRUE(ByteArray::WithBounds({{0, 0}, {-5, 3}}, {}));
  // 2^16 to the 4th wraps to 0 in 64 bits; it must not pass as "no elements".
  EXPECT_FALSE(ByteArray::WithBounds({{kMin, 0xFFFFFFFFu}, {kMin, 0xFFFFFFFFu}, {0, 5}}, {}));
  EXPECT_FALSE(ByteArray::WithBounds({{0, 65536}, {0, 65536}, {0, 65536}, {0, 65536}}, {}));
  // An upper bound beyond the 32-bit range cannot be named.
  EXPECT_FALSE(ByteArray::WithBounds({{std::numeric_limits<int32_t>::max(), 2}}, {1, 2}));
  EXPECT_TRUE(ByteArray::WithBounds({{std::numeric_limits<int32_t>::max(), 1}}, {1}));
  EXPECT_THROW(ByteArray({1, 2}, std::numeric_limits<int32_t>::max()), std::length_error);
}

TEST(VariantEquality, KindAndValue) {
  EXPECT_NE(Variant(1), Variant(1.0));
  EXPECT_NE(Variant(-1), Variant(true));
  EXPECT_NE(Variant(), Variant::Null());
  EXPECT_NE(Variant::Missing(), Variant::Null());
  EXPECT_NE(Variant(), Variant(u""));
  EXPECT_EQ(Variant(u"a"), Variant(String(u"a")));
  EXPECT_NE(Variant(ByteArray({1}, 0)), Variant(ByteArray({1}, 1)));
  const std::vector<Variant> list{Variant(1), Variant(u"x"), Variant(std::vector<Variant>{})};
  EXPECT_EQ(Variant(list), Variant(list));
  EXPECT_NE(Variant(list), Variant(std::vector<Variant>{Variant(1), Variant(u"x")}));
  EXPECT_NE(Variant(list), Variant(std::vector<Variant>{Variant(1.0), Variant(u"x"),
                                                        Variant(std::vector<Variant>{})}));
  EXPECT_EQ(Variant(static_cast<const char16_t*>(nullptr)), Variant(u""));
}

TEST(VariantAccessors, KindAndWrongKind) {
  EXPECT_EQ(Variant(u"t").kind(), Variant::Kind::Text);
  EXPECT_EQ(Variant(ByteArray()).kind(), Variant::Kind::Bytes);
  EXPECT_EQ(Variant(std::vector<Variant>{}).kind(), Variant::Kind::Array);
  EXPECT_TRUE(Variant::Missing().IsMissing());
  EXPECT_THROW((void)Variant(1).AsDouble(), std::bad_variant_access);
  EXPECT_THROW((void)Variant().AsString(), std::bad_variant_access);
}

}  // namespace
