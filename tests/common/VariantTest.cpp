#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <variant>

#include "common/Variant.h"

using namespace vbreg;

namespace {

std::optional<int32_t> Int(const Variant& v) { return v.ToInt32(); }

TEST(VariantToInt32, HalvesRoundToEvenOnBothSides) {
  EXPECT_EQ(Int(0.5), 0);
  EXPECT_EQ(Int(1.5), 2);
  EXPECT_EQ(Int(2.5), 2);
  EXPECT_EQ(Int(3.5), 4);
  EXPECT_EQ(Int(-0.5), 0);
  EXPECT_EQ(Int(-1.5), -2);
  EXPECT_EQ(Int(-2.5), -2);
  EXPECT_EQ(Int(-3.5), -4);
  EXPECT_EQ(Int(2.5000001), 3);
  EXPECT_EQ(Int(-2.4999999), -2);
}

TEST(VariantToInt32, Int32LimitsAfterRounding) {
  EXPECT_EQ(Int(2147483647.4), 2147483647);
  EXPECT_EQ(Int(2147483647.5), std::nullopt);                          // rounds to 2147483648
  EXPECT_EQ(Int(-2147483648.5), std::numeric_limits<int32_t>::min());  // even neighbour
  EXPECT_EQ(Int(-2147483648.6), std::nullopt);
  EXPECT_EQ(Int(-2147483649.5), std::nullopt);
  EXPECT_EQ(Int(1e300), std::nullopt);
  EXPECT_EQ(Int(std::numeric_limits<double>::quiet_NaN()), std::nullopt);
  EXPECT_EQ(Int(std::numeric_limits<double>::infinity()), std::nullopt);
  EXPECT_EQ(Int(-std::numeric_limits<double>::infinity()), std::nullopt);
}

TEST(VariantToInt32, OtherKinds) {
  EXPECT_EQ(Int(Variant()), 0);
  EXPECT_EQ(Int(true), -1);
  EXPECT_EQ(Int(false), 0);
  EXPECT_EQ(Int(std::numeric_limits<int32_t>::min()), std::numeric_limits<int32_t>::min());
  EXPECT_EQ(Int(Variant::Null()), std::nullopt);
  EXPECT_EQ(Int(Variant::Missing()), std::nullopt);
  EXPECT_EQ(Int(ByteArray({1, 0, 0, 0})), std::nullopt);
  EXPECT_EQ(Int(std::vector<Variant>{Variant(1)}), std::nullopt);
}

TEST(VariantToInt32, DecimalText) {
  EXPECT_EQ(Int(u"42"), 42);
  EXPECT_EQ(Int(u"  -17\t "), -17);
  EXPECT_EQ(Int(u"+8"), 8);
  EXPECT_EQ(Int(u"2.5"), 2);
  EXPECT_EQ(Int(u"3.5"), 4);
  EXPECT_EQ(Int(u"-2.5"), -2);
  EXPECT_EQ(Int(u"2.50000000000000000001"), 3);  // not an exact half, though a double is
  EXPECT_EQ(Int(u".5"), 0);
  EXPECT_EQ(Int(u"7."), 7);
  EXPECT_EQ(Int(u"1.5e3"), 1500);
  EXPECT_EQ(Int(u"25E-1"), 2);
  EXPECT_EQ(Int(u"1e-400"), 0);
  EXPECT_EQ(Int(u"000000000000002147483647"), 2147483647);
  EXPECT_EQ(Int(u"2147483647.5"), std::nullopt);
  EXPECT_EQ(Int(u"-2147483648.5"), std::numeric_limits<int32_t>::min());
  EXPECT_EQ(Int(u"2147483648"), std::nullopt);
  EXPECT_EQ(Int(u"1e10"), std::nullopt);
  EXPECT_EQ(Int(u"1e999999999999999999"), std::nullopt);
  // As an en-US system reads text, whatever the user's locale.
  EXPECT_EQ(Int(u"1,000"), 1000);
  EXPECT_EQ(Int(u"($5)"), -5);
}

TEST(VariantToInt32, HexAndOctalTextAsA32BitPattern) {
  EXPECT_EQ(Int(u"&H10"), 16);
  EXPECT_EQ(Int(u" &hff "), 255);
  EXPECT_EQ(Int(u"&HFFFFFFFF"), -1);
  EXPECT_EQ(Int(u"&H80000000"), std::numeric_limits<int32_t>::min());
  EXPECT_EQ(Int(u"&H0000000001"), 1);
  EXPECT_EQ(Int(u"&H100000000"), std::nullopt);
  EXPECT_EQ(Int(u"&O17"), 15);
  EXPECT_EQ(Int(u"&O37777777777"), -1);
  EXPECT_EQ(Int(u"&O8"), std::nullopt);
  EXPECT_EQ(Int(u"&H"), std::nullopt);
  EXPECT_EQ(Int(u"&HG"), std::nullopt);
}

TEST(VariantToInt32, TextThatIsNotANumberFails) {
  for (const char16_t* text : {u"", u"   ", u"abc", u"12abc", u"1 2", u"--1", u"+", u".", u"1e",
                               u"1e+", u"&", u"&X1", u"-&H1", u"True", u"\u0661"}) {
    EXPECT_EQ(Int(text), std::nullopt)
        << std::string(text, text + std::char_traits<char16_t>::length(text));
  }
}

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

TEST(VariantToText, DoublesAsCStrWritesThem) {
  const std::pair<double, const char16_t*> cases[] = {
      {0.0, u"0"},
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
  };
  for (const auto& [value, text] : cases) {
    EXPECT_EQ(Variant(value).ToText(), text) << value;
  }
  EXPECT_EQ(Variant(std::numeric_limits<double>::quiet_NaN()).ToText(), std::nullopt);
  EXPECT_EQ(Variant(std::numeric_limits<double>::infinity()).ToText(), std::nullopt);
}

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
  EXPECT_EQ(bytes->Dimensions(), 1u);
  EXPECT_EQ(bytes->Lower(), 0);
  EXPECT_EQ(bytes->Upper(), 5);
  const auto roundTrip = Variant(*bytes).ToText();
  EXPECT_EQ(roundTrip, u"A\u00C4\u20AC");

  const auto empty = Variant(u"").ToBytes();
  ASSERT_TRUE(empty);
  EXPECT_EQ(empty->Size(), 0u);
  EXPECT_EQ(empty->Upper(), -1);

  for (const Variant& v : {Variant(), Variant::Null(), Variant::Missing(), Variant(1), Variant(1.5),
                           Variant(true), Variant(std::vector<Variant>{Variant(u"x")})}) {
    EXPECT_EQ(v.ToBytes(), std::nullopt);
  }
}

TEST(VariantToBytes, AnyBoundsAndDimensionsComeBackUnchanged) {
  const ByteArray fromOne({7, 8, 9}, 1);
  EXPECT_EQ(fromOne.Lower(), 1);
  EXPECT_EQ(fromOne.Upper(), 3);
  EXPECT_EQ(Variant(fromOne).ToBytes(), fromOne);

  const auto grid = ByteArray::WithBounds({{1, 2}, {-1, 3}}, {1, 2, 3, 4, 5, 6});
  ASSERT_TRUE(grid);
  EXPECT_EQ(grid->Dimensions(), 2u);
  EXPECT_EQ(grid->Lower(), 1);
  EXPECT_EQ(grid->Upper(), 2);
  EXPECT_EQ(Variant(*grid).ToBytes(), grid);
  EXPECT_EQ(Variant(*grid).ToText(), u"\u0201\u0403\u0605");
}

TEST(ByteArrayBounds, CountsMustMatchAndNotOverflow) {
  EXPECT_FALSE(ByteArray::WithBounds({{0, 2}, {0, 3}}, {1, 2, 3, 4, 5}));
  EXPECT_FALSE(ByteArray::WithBounds({}, {1}));
  EXPECT_TRUE(ByteArray::WithBounds({}, {}));
  EXPECT_TRUE(ByteArray::WithBounds({{0, 0}, {-5, 3}}, {}));
  // 2^16 to the 4th wraps to 0 in 64 bits; it must not pass as "no elements".
  constexpr int32_t kMin = std::numeric_limits<int32_t>::min();
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
