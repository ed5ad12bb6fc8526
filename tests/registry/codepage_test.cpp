// The class on every ANSI code page: the stand-in on 1250 to 1258, 932 and 65001, and the
// real registry on the system's own (run a second time under Wine with code page
// 932, where BURNISHER_EXPECT_ACP says which code page the run must have).

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <string>
#include <vector>

#include "tests/standin/FakeCaseTable.h"
#include "tests/support/Routines.h"

#ifdef _WIN32
#include <windows.h>
#endif

namespace {

// Texts of one code page: a value name, data, two key levels (the first holds a
// character whose second byte on 932 is 0x5C, '\'), a name that differs from `upper`
// only in case, and one character repeated in an expansion. `dataAnsi` is the data's
// bytes, written out rather than converted. 1252's, the last, serves any other code page.
struct Sample {
  uint32_t codePage;
  String name, data, level1, level2, lower, upper;
  char16_t repeated;
  std::string dataAnsi;
};

const Sample kSamples[] = {
    {932, u"名前", u"日本語", u"表示", u"設定", u"ｂ名", u"Ｂ名", u'い',
     "\x93\xFA\x96\x7B\x8C\xEA"},
    {65001, u"名前", u"日本語", u"表示", u"設定", u"ｂ名", u"Ｂ名", u'い',
     "\xE6\x97\xA5\xE6\x9C\xAC\xE8\xAA\x9E"},
    {1250, u"Žluťoučký", u"Łódź €", u"Kůň", u"Świat", u"řa", u"ŘA", u'ř', "\xA3\xF3\x64\x9F \x80"},
    {1251, u"Имя", u"Данные €", u"Ключ", u"Юг", u"жа", u"ЖА", u'ж',
     "\xC4\xE0\xED\xED\xFB\xE5 \x88"},
    {1253, u"Όνομα", u"Δεδομένα €", u"Κλειδί", u"Νότος", u"ωa", u"ΩA", u'ω',
     "\xC4\xE5\xE4\xEF\xEC\xDD\xED\xE1 \x80"},
    {1254, u"Ağ", u"Şişli €", u"Anahtar", u"Güney", u"ğa", u"ĞA", u'ş', "\xDEi\xFEli \x80"},
    {1255, u"שם", u"נתונים ₪", u"מפתח", u"דרום", u"aש", u"Aש", u'ש',
     "\xF0\xFA\xE5\xF0\xE9\xED \xA4"},
    {1256, u"اسم", u"بيانات €", u"مفتاح", u"جنوب", u"ba", u"BA", u'ب',
     "\xC8\xED\xC7\xE4\xC7\xCA \x80"},
    {1257, u"Vārds", u"Dati €", u"Atslēga", u"Dienvidi", u"ša", u"ŠA", u'ā', "Dati \x80"},
    {1258, u"Tên", u"Dư €", u"Khóa", u"Nam", u"ơa", u"ƠA", u'ư', "D\xFD \x80"},
    {1252, u"Grüße", u"Café €", u"Clé", u"Süd", u"éa", u"ÉA", u'é', "Caf\xE9 \x80"}};

class CodePage : public RoutinesTest {
 protected:
  void SetUp() override {
    RoutinesTest::SetUp();
    if (!isFake()) {
      if (const char* expected = std::getenv("BURNISHER_EXPECT_ACP")) {
        // The run under a Japanese locale exists for this: it must not pass on 1252.
        ASSERT_EQ(codePage(), static_cast<uint32_t>(std::stoul(expected)))
            << "the system code page is not the one this run was started for";
      }
      if (codePage() != 932 && codePage() != 65001 && (codePage() < 1250 || codePage() > 1258)) {
        GTEST_SKIP() << "no sample texts for code page " << codePage();
      }
    }
    sample = *std::find_if(std::begin(kSamples), std::end(kSamples) - 1,
                           [this](const Sample& s) { return s.codePage == codePage(); });
  }
  std::string Ansi(const String& text) { return api().ToAnsi(text); }
  void SetEnv(const String& name, const String& value) {
    if (fake() != nullptr) {
      fake()->SetEnvironment(Ansi(name), Ansi(value));
      // Answer as Wine does, in characters: the harder case for the reader.
      fake()->SetExpansionCount(FakeRegistry::ExpansionCount::Characters);
      return;
    }
#ifdef _WIN32
    SetEnvironmentVariableW(reinterpret_cast<const wchar_t*>(name.c_str()),
                            reinterpret_cast<const wchar_t*>(value.c_str()));
#endif
  }
  Sample sample{};
};

TEST_P(CodePage, TextIsStoredInTheCodePagesBytesAndReadsBackWhole) {
  routines().Subkey(sample.level1);
  ASSERT_EQ(routines().CreateKey(), u"0");
  EXPECT_TRUE(routines().SetRegistryValue(sample.name, Variant(sample.data), reg::kRegSz));
  // The size counts the characters' bytes; the NUL that follows them is kept.
  EXPECT_EQ(Stored(Ansi(sample.level1), Ansi(sample.name)),
            std::pair(reg::kRegSz, Bytes0(sample.dataAnsi)));
  EXPECT_EQ(routines().GetRegistryValue(sample.name), Variant(sample.data));

  const String list = sample.name + String(1, u'\0') + sample.data + String(2, u'\0');
  EXPECT_TRUE(routines().SetRegistryValue(u"list", Variant(list), reg::kRegMultiSz));
  EXPECT_EQ(routines().GetRegistryValue(u"list"),
            Variant(sample.name + String(1, u'\0') + sample.data));
}

TEST_P(CodePage, KeysAndValuesAreNamedListedAndDeletedInTheCodePage) {
  const String path = sample.level1 + u"\\" + sample.level2;
  EXPECT_EQ(routines().CreateKey(Variant(path)), u"0");
  EXPECT_TRUE(HasKey(Ansi(path)));
  routines().Subkey(path);
  EXPECT_TRUE(routines().KeyExists());
  EXPECT_TRUE(routines().SetRegistryValue(sample.name, Variant(1), reg::kRegDword));
  EXPECT_TRUE(routines().SetRegistryValue(sample.lower, Variant(2), reg::kRegDword));
  // Names compare without regard to case in the code page's letters too.
  EXPECT_EQ(routines().GetRegistryValue(sample.upper), Variant(2));

  const String below = Wide(scratch()) + u"\\" + sample.level1;
  EXPECT_EQ(Names(routines().EnumRegistryKeys(reg::kCurrentUser, below)),
            std::vector<String>{sample.level2});
  const std::vector<String> values =
      Names(routines().EnumRegistryValues(reg::kCurrentUser, below + u"\\" + sample.level2));
  EXPECT_EQ(values.size(), 2u);
  EXPECT_NE(std::find(values.begin(), values.end(), sample.name), values.end());

  EXPECT_EQ(routines().DeleteValue(sample.upper), reg::kSuccess);
  EXPECT_EQ(routines().GetRegistryValue(sample.lower, Variant(u"gone")), Variant(u"gone"));
  EXPECT_EQ(routines().DeleteKey(path), reg::kSuccess);
  EXPECT_FALSE(routines().KeyExists());
  EXPECT_TRUE(HasKey(Ansi(sample.level1)));
}

TEST_P(CodePage, AnExpansionLongerInBytesThanInCharactersReadsBackWhole) {
  const String value(300, sample.repeated);
  SetEnv(u"BurnisherCpV", value);
  routines().Subkey(u"");
  ASSERT_TRUE(routines().SetRegistryValue(u"x", Variant(u"<%BurnisherCpV%>"), reg::kRegExpandSz));
  const Variant got = routines().GetRegistryValue(u"x");
  EXPECT_EQ(got.AsString().size(), 302u) << "the expansion was cut short";
  EXPECT_EQ(got, Variant(u"<" + value + u">"));
}

// Writing, testing for a key and deleting a value touch only what the caller named,
// and when a name does not convert they touch nothing at all.
TEST_P(CodePage, ANameThatDoesNotConvertTouchesNothing) {
  PutValue("", "", reg::kRegSz, {'k', 'e', 'e', 'p', 0});
  routines().Subkey(u"");
  EXPECT_TRUE(routines().SetRegistryValue(u"Name", Variant(u"v"), reg::kRegSz));
  EXPECT_EQ(routines().DeleteValue(u"Other"), reg::kFileNotFound);
  routines().Subkey(u"Missing");
  EXPECT_FALSE(routines().KeyExists());
  routines().Subkey(u"");
  EXPECT_EQ(routines().GetRegistryValue(u""), Variant(u"keep"));
  EXPECT_EQ(routines().GetRegistryValue(u"Name"), Variant(u"v"));
  if (fake() == nullptr) return;

  // A conversion that fails, as the old choice of flags failed on 65001.
  fake()->InjectStatus("WideCharToMultiByte", ansi::kInvalidFlags);
  fake()->ClearCalls();
  EXPECT_FALSE(routines().SetRegistryValue(u"Name", Variant(u"w"), reg::kRegSz));
  EXPECT_EQ(routines().DeleteValue(u"Other"), ansi::kInvalidFlags);
  EXPECT_EQ(routines().DeleteKey(u"Missing"), ansi::kInvalidFlags);
  routines().Subkey(u"Missing");
  EXPECT_FALSE(routines().KeyExists());
  EXPECT_EQ(routines().CreateKey(), u"");
  EXPECT_EQ(routines().GetRegistryValue(u"Name", Variant(3)), Variant(3));
  EXPECT_EQ(routines().EnumRegistryKeys(reg::kCurrentUser, Wide(scratch())).Count(), 0);
  EXPECT_TRUE(fake()->Calls().empty()) << "a call was made with text that did not convert";
  fake()->ClearFaults();
  routines().Subkey(u"");
  EXPECT_EQ(routines().GetRegistryValue(u""), Variant(u"keep"));
  EXPECT_EQ(routines().GetRegistryValue(u"Name"), Variant(u"v"));
}

TEST_P(CodePage, ANameThatDoesNotConvertBackIsLeftOutOfTheListing) {
  if (fake() == nullptr) GTEST_SKIP() << "fault injection exists on the stand-in only";
  for (const char* name : {"A", "B", "C"}) PutValue("", name, reg::kRegSz, {'x', 0});
  // Only the names come back through the conversion: the second one fails.
  fake()->InjectStatus("MultiByteToWideChar", ansi::kNoUnicodeTranslation, 2);
  EXPECT_EQ(Names(routines().EnumRegistryValues(reg::kCurrentUser, Wide(scratch()))),
            (std::vector<String>{u"A", u"C"}));
}

// The registry keeps names apart where its own upper case does, and so must both
// listings: a name merged into another would be lost to the caller. Windows' table
// gives the groups below; what the registry itself counts is the measure on every
// backend, and on the stand-in the groups are too.
TEST_P(CodePage, ListingsHoldEveryNameTheRegistryKeepsApart) {
  std::vector<std::vector<String>> groups = {{u"σ", u"Σ"}, {u"ς"}, {u"Μ"}, {u"µ"},
                                             {u"I", u"i"}, {u"ı"}, {u"İ"}, {u"S"},
                                             {u"ſ"},       {u"Ǆ"}, {u"ǅ"}, {u"ᾀ", u"ᾈ"}};
  groups.push_back({sample.lower, sample.upper});
  int32_t expected = 0;
  std::vector<std::string> writable;
  for (const auto& group : groups) {
    bool written = false;
    for (const String& name : group) {
      const std::string ansi = Ansi(name);
      if (api().FromAnsi(ansi) != name) continue;  // the code page cannot write it
      writable.push_back(ansi);
      written = true;
    }
    expected += written ? 1 : 0;
  }
  MakeBelow("L", writable, true);
  ScopedKey parent(api());
  ASSERT_EQ(
      api().RegOpenKeyExA(reg::kCurrentUser, Join("L").c_str(), 0, reg::kKeyRead, parent.out()),
      reg::kSuccess);
  const auto keys = static_cast<int32_t>(SubkeysOf(api(), parent).size());
  const auto values = static_cast<int32_t>(ValuesOf(api(), parent).size());
  parent.Reset();
  const String path = Wide(Join("L"));
  EXPECT_EQ(routines().EnumRegistryKeys(reg::kCurrentUser, path).Count(), keys);
  EXPECT_EQ(routines().EnumRegistryValues(reg::kCurrentUser, path).Count(), values);
  EXPECT_EQ(values, keys);
  if (isFake()) {
    EXPECT_EQ(keys, expected) << "the stand-in's registry groups names otherwise";
  }
}

// A name longer in bytes than the listings' first buffer (on 932 and 65001 this one
// is) is fetched once more with room for it, and the names after it are listed too.
TEST_P(CodePage, ANameLongInBytesIsListedWholeAmongItsNeighbours) {
  const String longName = u"B" + String(130, sample.repeated);
  MakeBelow("", {"A", Ansi(longName), "C"}, true);
  const std::vector<String> all{u"A", longName, u"C"};
  EXPECT_EQ(Names(routines().EnumRegistryKeys(reg::kCurrentUser, Wide(scratch()))), all);
  std::vector<String> values =
      Names(routines().EnumRegistryValues(reg::kCurrentUser, Wide(scratch())));
  std::sort(values.begin(), values.end());  // Windows lists values as set, Wine sorted
  EXPECT_EQ(values, all);
}

INSTANTIATE_CODE_PAGES(CodePage);

}  // namespace

// The collection and the stand-in fold with two tables generated apart from each
// other from Windows' published mapping; they must agree on every unit.
TEST(CaseTables, TheCollectionAndTheStandInFoldEveryUnitAlike) {
  int mismatches = 0;
  for (uint32_t u = 0; u < 0x10000; ++u) {
    const auto unit = static_cast<char16_t>(u);
    if (FoldUnit(unit) != fakecase::Upper(unit) && ++mismatches <= 10) {
      ADD_FAILURE() << "U+" << std::hex << u << ": collection U+" << +FoldUnit(unit)
                    << ", stand-in U+" << +fakecase::Upper(unit);
    }
  }
  EXPECT_EQ(mismatches, 0);
}

// The stand-in's model of the code page against the system's own conversions.
TEST_P(CodePage, TheStandInConvertsAsTheSystemDoes) {
  if (isFake()) GTEST_SKIP() << "compares the stand-in with the real conversions";
  FakeRegistry model("STANDIN", codePage());
  std::vector<std::string> codes;
  for (int b = 1; b < 256; ++b) codes.emplace_back(1, static_cast<char>(b));
  if (codePage() == 932) {
    for (int lead = 0x81; lead <= 0xFC; ++lead) {
      if (lead >= 0xA0 && lead < 0xE0) continue;
      for (int trail = 0x40; trail <= 0xFC; ++trail) {
        if (trail != 0x7F) codes.push_back({static_cast<char>(lead), static_cast<char>(trail)});
      }
    }
  }
  int mismatches = 0;
  for (const std::string& code : codes) {
    const String system = api().FromAnsi(code);
    if (model.FromAnsi(code) != system && ++mismatches <= 10) {
      ADD_FAILURE() << "decoding " << std::hex << (static_cast<unsigned>(code[0]) & 0xFF) << " "
                    << (code.size() > 1 ? static_cast<unsigned>(code[1]) & 0xFF : 0)
                    << ": system U+" << static_cast<unsigned>(system.empty() ? 0 : system[0]);
    }
  }
  for (uint32_t u = 1; u < 0x10000; ++u) {
    if (u >= 0xD800 && u < 0xE000) continue;
    const String text(1, static_cast<char16_t>(u));
    const std::string system = api().ToAnsi(text);
    if (model.ToAnsi(text) != system && ++mismatches <= 20) {
      ADD_FAILURE() << "encoding U+" << std::hex << u << ": system " << system.size()
                    << " bytes, first " << (static_cast<unsigned>(system[0]) & 0xFF);
    }
  }
  EXPECT_EQ(mismatches, 0);
}
