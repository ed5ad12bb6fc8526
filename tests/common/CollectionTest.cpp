#include <gtest/gtest.h>

#include <stdexcept>
#include <string>

#include "common/Collection.h"

using namespace vbreg;

namespace {

TEST(Collection, ItemsInOrderFromOne) {
  Collection list;
  EXPECT_EQ(list.Count(), 0);
  EXPECT_TRUE(list.Add(Variant(u"first"), u"a"));
  EXPECT_TRUE(list.Add(Variant(2)));
  EXPECT_TRUE(list.Add(Variant(u"third"), u"c"));
  ASSERT_EQ(list.Count(), 3);
  EXPECT_EQ(list.Item(1), Variant(u"first"));
  EXPECT_EQ(list.Item(2), Variant(2));
  EXPECT_EQ(list.Item(3), Variant(u"third"));
  EXPECT_EQ(list.Item(u"c"), Variant(u"third"));
  std::vector<Variant> walked(list.begin(), list.end());
  EXPECT_EQ(walked, (std::vector<Variant>{Variant(u"first"), Variant(2), Variant(u"third")}));
}

TEST(Collection, OutsidePositionsAndAbsentKeysThrowOutOfRange) {
  Collection list;
  EXPECT_THROW((void)list.Item(1), std::out_of_range);
  list.Add(Variant(1), u"one");
  EXPECT_THROW((void)list.Item(0), std::out_of_range);
  EXPECT_THROW((void)list.Item(2), std::out_of_range);
  EXPECT_THROW((void)list.Item(-1), std::out_of_range);
  EXPECT_THROW((void)list.Item(std::numeric_limits<int32_t>::min()), std::out_of_range);
  EXPECT_THROW((void)list.Item(u"two"), std::out_of_range);
  EXPECT_THROW((void)list.Item(u""), std::out_of_range);
  EXPECT_FALSE(list.Contains(u"two"));
}

TEST(Collection, HeldKeyInAnyCaseIsRefusedAndListUnchanged) {
  Collection list;
  ASSERT_TRUE(list.Add(Variant(1), u"Software"));
  ASSERT_TRUE(list.Add(Variant(2), u"\u00C4rger"));          // Ärger
  ASSERT_TRUE(list.Add(Variant(3), u"\u03A3\u039F\u03A6"));  // ΣΟΦ
  ASSERT_TRUE(list.Add(Variant(4), u"\u041C\u0418\u0420"));  // МИР
  EXPECT_FALSE(list.Add(Variant(9), u"SOFTWARE"));
  EXPECT_FALSE(list.Add(Variant(9), u"\u00E4RGER"));          // äRGER
  EXPECT_FALSE(list.Add(Variant(9), u"\u03C3\u03BF\u03C6"));  // σοφ
  EXPECT_FALSE(list.Add(Variant(9), u"\u043C\u0438\u0440"));  // мир
  EXPECT_EQ(list.Count(), 4);
  EXPECT_EQ(list.Item(u"software"), Variant(1));
  EXPECT_EQ(list.Item(u"\u00E4rger"), Variant(2));
  EXPECT_EQ(list.Item(u"\u03C3\u03BF\u03C6"), Variant(3));
  EXPECT_TRUE(list.Contains(u"\u043C\u0418\u0440"));
  EXPECT_EQ(list.Item(4), Variant(4));
  // Letters that only look alike stay apart.
  EXPECT_TRUE(list.Add(Variant(5), u"Arger"));
  EXPECT_TRUE(list.Add(Variant(6), u"\u041C\u0418P"));  // Latin P
}

TEST(Collection, EmptyKeyIsAKeyLikeAnyOther) {
  Collection list;
  EXPECT_FALSE(list.Contains(u""));
  EXPECT_TRUE(list.Add(Variant(u"default"), String()));
  EXPECT_TRUE(list.Contains(u""));
  EXPECT_EQ(list.Item(u""), Variant(u"default"));
  EXPECT_FALSE(list.Add(Variant(u"again"), String()));
  EXPECT_TRUE(list.Add(Variant(u"unkeyed")));
  EXPECT_EQ(list.Count(), 2);
}

// A listing's names are their own keys; they share one key space with keys given apart,
// and items without a key between them move no position.
TEST(Collection, NamesAddedUnderThemselvesMeetOtherKeys) {
  Collection list;
  EXPECT_TRUE(list.AddNamed(u"Software"));
  EXPECT_TRUE(list.Add(Variant(2)));
  EXPECT_TRUE(list.Add(Variant(3), u"\u03A3"));
  list.Reserve(100);  // the keys held move to a larger table
  EXPECT_FALSE(list.AddNamed(u"SOFTWARE"));
  EXPECT_FALSE(list.AddNamed(u"\u03C3"));  // small sigma folds as capital sigma
  EXPECT_FALSE(list.Add(Variant(9), u"software"));
  EXPECT_TRUE(list.AddNamed(u""));
  EXPECT_EQ(list.Count(), 4);
  EXPECT_EQ(list.Item(u"sOFTWARE"), Variant(u"Software"));
  EXPECT_EQ(list.Item(u"\u03C3"), Variant(3));
  EXPECT_EQ(list.Item(u""), Variant(u""));
  EXPECT_EQ(list.Item(4), Variant(u""));
}

TEST(FoldCase, UpperCasesTheWholeBmpButLeavesSurrogatesAndUncasedAlone) {
  EXPECT_EQ(FoldCase(u"ABC xyz 09"), u"ABC XYZ 09");
  EXPECT_EQ(FoldCase(u"\u00FF\u2170\uFF41\u1F80\u1FB3"), u"\u0178\u2160\uFF21\u1F88\u1FBC");
  EXPECT_EQ(FoldCase(u"\u0100\u0101\u0103"), u"\u0100\u0100\u0102");
  const String pair = u"\U00010428";  // DESERET SMALL LONG I: a surrogate pair
  EXPECT_EQ(FoldCase(pair), pair);
  const String loneLow(1, u'\xDC28');
  EXPECT_EQ(FoldCase(loneLow), loneLow);
  // Upper cases longer than one unit stay as they are: sharp s is not "SS".
  EXPECT_EQ(FoldCase(u"\u00DF\u0149\u4E2D\uFFFF"), u"\u00DF\u0149\u4E2D\uFFFF");
}

// The registry compares upper-cased names; keys must split and merge exactly where it
// does, or a listing of its names would lose one of two names it holds apart.
TEST(Collection, KeysSplitAndMergeWhereTheRegistryDoes) {
  Collection list;
  EXPECT_TRUE(list.Add(Variant(u"k"), String(u"k")));
  EXPECT_TRUE(list.Add(Variant(u"kelvin"), String(u"\u212A")));
  EXPECT_TRUE(list.Add(Variant(u"ohm"), String(u"\u2126")));
  EXPECT_TRUE(list.Add(Variant(u"omega"), String(u"\u03C9")));
  EXPECT_TRUE(list.Add(Variant(u"sharp s"), String(u"\u00DF")));
  EXPECT_TRUE(list.Add(Variant(u"capital sharp s"), String(u"\u1E9E")));
  EXPECT_EQ(list.Count(), 6);
  EXPECT_EQ(list.Item(u"K"), Variant(u"k"));
  EXPECT_EQ(list.Item(u"\u03A9"), Variant(u"omega"));

  EXPECT_TRUE(list.Add(Variant(u"sigma"), String(u"\u03C3")));
  EXPECT_FALSE(list.Add(Variant(u"capital sigma"), String(u"\u03A3")));
  EXPECT_EQ(list.Count(), 7);
  // Windows' table leaves these apart from the letters Unicode upper-cases them to:
  // final sigma, micro sign, dotless i, long s, a title-case digraph, the Greek
  // symbol forms, and U+1FBE; the capital I with a dot has no small letter there.
  for (const char16_t* own :
       {u"\u03C2", u"\u00B5", u"\u039C", u"\u0131", u"I", u"\u0130", u"\u017F", u"S", u"\u01C4",
        u"\u01C5", u"\u03D0", u"\u0392", u"\u1FBE", u"\u0399", u"\u1F88"}) {
    EXPECT_TRUE(list.Add(Variant(own), String(own))) << "merged " << list.Count();
  }
  // And these fold to what Windows folds them to, some with one unit where Unicode's
  // full upper case has two.
  for (const char16_t* merged : {u"i", u"s", u"\u01C6", u"\u03B2", u"\u03B9", u"\u1F80"}) {
    EXPECT_FALSE(list.Add(Variant(merged), String(merged))) << "kept apart " << list.Count();
  }
  EXPECT_EQ(list.Item(u"\u03C2"), Variant(u"\u03C2"));
  EXPECT_EQ(list.Item(u"\u1F80"), Variant(u"\u1F88"));
}

TEST(Collection, HundredThousandKeyedItems) {
  constexpr int32_t kItems = 100000;
  Collection list;
  for (int32_t i = 0; i < kItems; ++i) {
    const std::string name = "Key" + std::to_string(i);
    ASSERT_TRUE(list.Add(Variant(i), String(name.begin(), name.end())));
  }
  ASSERT_EQ(list.Count(), kItems);
  for (int32_t i = 0; i < kItems; i += 997) {
    const std::string name = "KEY" + std::to_string(i);
    EXPECT_EQ(list.Item(String(name.begin(), name.end())), Variant(i));
    EXPECT_EQ(list.Item(i + 1), Variant(i));
  }
  EXPECT_FALSE(list.Add(Variant(-1), u"kEy99999"));
  EXPECT_EQ(list.Count(), kItems);
}

}  // namespace
