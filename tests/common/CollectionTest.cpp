#include <gtest/gtest.h>

#include <stdexcept>
#include <string>

#include "common/Collection.h"

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

TEST(FoldCase, FoldsTheWholeBmpButLeavesSurrogatesAndUncasedAlone) {
  EXPECT_EQ(FoldCase(u"ABC xyz 09"), u"abc xyz 09");
  EXPECT_EQ(FoldCase(u"\u0178\u0130\u1E9E\u2160\uFF21"), u"\u00FF\u0130\u00DF\u2170\uFF41");
  EXPECT_EQ(FoldCase(u"\u0100\u0101\u0102"), u"\u0101\u0101\u0103");
  const String pair = u"\U00010400";  // DESERET CAPITAL LONG I: a surrogate pair
  EXPECT_EQ(FoldCase(pair), pair);
  const String loneHigh(1, u'\xD801');
  EXPECT_EQ(FoldCase(loneHigh), loneHigh);
  EXPECT_EQ(FoldCase(u"\u00DF\u4E2D\uFFFF"), u"\u00DF\u4E2D\uFFFF");
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
