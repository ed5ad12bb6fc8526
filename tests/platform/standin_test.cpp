// What only the stand-in offers: the call log, the open-handle count, fault
// injection, the after-call hook, denied rights, other computers, set-up helpers.

#include <gtest/gtest.h>

#include <algorithm>
#include <stdexcept>
#include <string>
#include <tuple>
#include <vector>

#include "tests/standin/FakeRegistry.h"
#include "tests/support/Backends.h"

namespace {

constexpr const char* kPath = "Software\\Test";

class StandIn : public ::testing::Test {
 protected:
  StandIn() { fake_.MakeKey(reg::kCurrentUser, kPath); }
  FakeRegistry fake_;
  RegHandle Open(const std::string& path, uint32_t access = reg::kKeyAllAccess) {
    RegHandle h = 0;
    EXPECT_EQ(fake_.RegOpenKeyExA(reg::kCurrentUser, path.c_str(), 0, access, &h), reg::kSuccess);
    return h;
  }
};

TEST_F(StandIn, LogsEveryCallWithItsArguments) {
  ScopedKey key(fake_);
  ASSERT_EQ(fake_.RegOpenKeyExA(reg::kCurrentUser, kPath, 0, reg::kKeyRead, key.out()), 0);
  const uint8_t data[] = {'h', 'i', 0};
  EXPECT_EQ(fake_.RegSetValueExA(key, nullptr, 0, reg::kRegSz, data, 3), reg::kAccessDenied);
  uint32_t size = 16;
  EXPECT_EQ(fake_.RegQueryValueExA(key, "v", nullptr, nullptr, nullptr, &size), 2);
  fake_.ToAnsi(u"not logged");
  fake_.FromAnsi("not logged");
  key.Reset();

  const auto& c = fake_.Calls();
  ASSERT_EQ(c.size(), 4u);
  EXPECT_EQ(std::tie(c[0].function, c[0].key, c[0].name, c[0].access, c[0].status),
            std::tuple("RegOpenKeyExA", reg::kCurrentUser, kPath, reg::kKeyRead, reg::kSuccess));
  EXPECT_NE(c[0].result, 0);
  EXPECT_EQ(std::tie(c[1].function, c[1].key, c[1].nameIsNull, c[1].type, c[1].size, c[1].status),
            std::tuple("RegSetValueExA", c[0].result, true, reg::kRegSz, 3u, reg::kAccessDenied));
  EXPECT_EQ(c[1].data, (std::vector<uint8_t>{'h', 'i', 0}));
  EXPECT_EQ(std::tie(c[2].size, c[2].dataGiven), std::tuple(16u, false));
  EXPECT_EQ(std::tie(c[3].function, c[3].key), std::tuple("RegCloseKey", c[0].result));

  EXPECT_EQ(fake_.CallsTo("RegQueryValueExA").size(), 1u);
  fake_.ClearCalls();
  EXPECT_TRUE(fake_.Calls().empty());
}

TEST_F(StandIn, LogsCreateEnumerationAndExpansionDetails) {
  fake_.MakeKey(reg::kCurrentUser, "Software\\Test\\Sub", "Cls");
  char cls[8] = "Class";
  RegSecurityAttributes sa{12, 0, 1};
  ScopedKey key(fake_);
  uint32_t disposition = 0;
  ASSERT_EQ(fake_.RegCreateKeyExA(reg::kCurrentUser, kPath, 0, cls, 0, reg::kKeyAllAccess, &sa,
                                  key.out(), &disposition),
            0);
  char name[32];
  uint32_t len = sizeof name;
  char kcls[8];
  uint32_t clsLen = 4;
  EXPECT_EQ(fake_.RegEnumKeyExA(key, 0, name, &len, nullptr, kcls, &clsLen, nullptr), 0);
  uint8_t data[4];
  uint32_t cb = sizeof data;
  len = sizeof name;
  EXPECT_EQ(fake_.RegEnumValueA(key, 3, name, &len, nullptr, nullptr, data, &cb),
            reg::kNoMoreItems);
  char out[8];
  EXPECT_EQ(fake_.ExpandEnvironmentStringsA("abc", out, sizeof out), 4u);

  const auto& c = fake_.Calls();
  ASSERT_EQ(c.size(), 4u);
  EXPECT_EQ(
      std::tie(c[0].classGiven, c[0].securityGiven, c[0].security.bInheritHandle, c[0].result),
      std::tuple(true, true, 1, key.get()));
  EXPECT_EQ(std::tie(c[1].index, c[1].size, c[1].classSize, c[1].classGiven),
            std::tuple(0u, 32u, 4u, true));
  EXPECT_EQ(std::tie(c[2].index, c[2].dataSize, c[2].dataGiven), std::tuple(3u, 4u, true));
  EXPECT_EQ(std::tie(c[3].function, c[3].name, c[3].size, c[3].status),
            std::tuple("ExpandEnvironmentStringsA", "abc", 8u, 4));
}

TEST_F(StandIn, CountsOpenHandlesButNotRoots) {
  EXPECT_EQ(fake_.OpenHandleCount(), 0);
  RegHandle root = 0;
  ASSERT_EQ(fake_.RegOpenKeyExA(reg::kCurrentUser, "", 0, reg::kKeyRead, &root), 0);
  EXPECT_EQ(fake_.OpenHandleCount(), 0);
  const RegHandle a = Open(kPath);
  const RegHandle b = Open(kPath);
  EXPECT_NE(a, b);
  RegHandle remote = 0;
  ASSERT_EQ(fake_.RegConnectRegistryA(nullptr, reg::kLocalMachine, &remote), 0);
  EXPECT_EQ(fake_.OpenHandleCount(), 3);
  EXPECT_EQ(fake_.RegCloseKey(a), 0);
  EXPECT_EQ(fake_.RegCloseKey(remote), 0);
  EXPECT_EQ(fake_.RegCloseKey(reg::kCurrentUser), 0);
  EXPECT_EQ(fake_.OpenHandleCount(), 1);
  EXPECT_EQ(fake_.RegCloseKey(b), 0);
  EXPECT_EQ(fake_.OpenHandleCount(), 0);
  // A failed open hands out nothing.
  RegHandle h = 0;
  EXPECT_EQ(fake_.RegOpenKeyExA(reg::kCurrentUser, "Missing", 0, reg::kKeyRead, &h), 2);
  EXPECT_EQ(fake_.OpenHandleCount(), 0);
}

TEST_F(StandIn, InjectedStatusAnswersTheNthCallAndDoesNothingElse) {
  const RegHandle key = Open(kPath);
  const uint8_t data[] = {1, 2, 3, 4};
  fake_.InjectStatus("RegSetValueExA", 1450, 2);
  EXPECT_EQ(fake_.RegSetValueExA(key, "first", 0, reg::kRegDword, data, 4), 0);
  EXPECT_EQ(fake_.RegSetValueExA(key, "second", 0, reg::kRegDword, data, 4), 1450);
  EXPECT_EQ(fake_.RegSetValueExA(key, "third", 0, reg::kRegDword, data, 4), 0);
  EXPECT_TRUE(fake_.GetStored(reg::kCurrentUser, kPath, "first"));
  EXPECT_FALSE(fake_.GetStored(reg::kCurrentUser, kPath, "second"));
  EXPECT_TRUE(fake_.GetStored(reg::kCurrentUser, kPath, "third"));
  EXPECT_EQ(fake_.CallsTo("RegSetValueExA")[1].status, 1450);

  // Every call when nth is 0; an injected open hands out no handle.
  fake_.InjectStatus("RegOpenKeyExA", reg::kAccessDenied);
  RegHandle h = 77;
  EXPECT_EQ(fake_.RegOpenKeyExA(reg::kCurrentUser, kPath, 0, reg::kKeyRead, &h),
            reg::kAccessDenied);
  EXPECT_EQ(fake_.RegOpenKeyExA(reg::kCurrentUser, kPath, 0, reg::kKeyRead, &h),
            reg::kAccessDenied);
  EXPECT_EQ(h, 77);
  EXPECT_EQ(fake_.OpenHandleCount(), 1);
  fake_.InjectStatus("ExpandEnvironmentStringsA", 0, 1);
  char out[8] = "keep";
  EXPECT_EQ(fake_.ExpandEnvironmentStringsA("abc", out, sizeof out), 0u);
  EXPECT_STREQ(out, "keep");

  fake_.ClearFaults();
  h = Open(kPath);
  EXPECT_NE(h, 0);
  fake_.RegCloseKey(h);
  fake_.RegCloseKey(key);
}

TEST_F(StandIn, HookRunsAfterEachCallAndCanChangeTheRegistry) {
  fake_.PutValue(reg::kCurrentUser, kPath, "v", reg::kRegSz, {'a', 0});
  const RegHandle key = Open(kPath);
  // Grow the value between the size query and the read, as another writer might.
  std::vector<std::string> seen;
  fake_.SetAfterCallHook([&](const FakeRegistry::Call& call) {
    seen.push_back(call.function);
    if (call.function == "RegQueryValueExA" && !call.dataGiven) {
      fake_.PutValue(reg::kCurrentUser, kPath, "v", reg::kRegSz, {'l', 'o', 'n', 'g', 0});
    }
  });
  uint32_t size = 0;
  ASSERT_EQ(fake_.RegQueryValueExA(key, "v", nullptr, nullptr, nullptr, &size), 0);
  EXPECT_EQ(size, 2u);
  uint8_t buf[8];
  EXPECT_EQ(fake_.RegQueryValueExA(key, "v", nullptr, nullptr, buf, &size), reg::kMoreData);
  EXPECT_EQ(size, 5u);
  EXPECT_EQ(seen, (std::vector<std::string>{"RegQueryValueExA", "RegQueryValueExA"}));
  // Calls made by the hook do not run it again; it may replace itself.
  int runs = 0;
  fake_.SetAfterCallHook([&](const FakeRegistry::Call&) {
    ++runs;
    uint32_t n = 0;
    fake_.RegQueryValueExA(key, "v", nullptr, nullptr, nullptr, &n);
    fake_.SetAfterCallHook(nullptr);
  });
  fake_.RegQueryValueExA(key, "v", nullptr, nullptr, nullptr, &size);
  fake_.RegQueryValueExA(key, "v", nullptr, nullptr, nullptr, &size);
  EXPECT_EQ(runs, 1);
  fake_.ClearFaults();
  fake_.RegCloseKey(key);
  EXPECT_EQ(seen.size(), 2u);
}

TEST_F(StandIn, DeniedRights) {
  fake_.DenyAccess(reg::kCurrentUser, kPath, reg::kKeyWrite & ~0x20000u);
  RegHandle h = 0;
  EXPECT_EQ(fake_.RegOpenKeyExA(reg::kCurrentUser, kPath, 0, reg::kKeyAllAccess, &h),
            reg::kAccessDenied);
  EXPECT_EQ(h, 0);
  EXPECT_EQ(fake_.RegOpenKeyExA(reg::kCurrentUser, kPath, 0, reg::kKeyWrite, &h),
            reg::kAccessDenied);
  ScopedKey reader(fake_);
  ASSERT_EQ(fake_.RegOpenKeyExA(reg::kCurrentUser, kPath, 0, reg::kKeyRead, reader.out()), 0);
  // Creating below needs KEY_CREATE_SUB_KEY on the key itself, whatever the handle holds.
  ScopedKey child(fake_);
  EXPECT_EQ(fake_.RegCreateKeyExA(reader, "Child", 0, nullptr, 0, reg::kKeyRead, nullptr,
                                  child.out(), nullptr),
            reg::kAccessDenied);
  EXPECT_EQ(fake_.RegCreateKeyExA(reg::kCurrentUser, "Software\\Test\\A\\B", 0, nullptr, 0,
                                  reg::kKeyRead, nullptr, child.out(), nullptr),
            reg::kAccessDenied);
  EXPECT_FALSE(fake_.HasKey(reg::kCurrentUser, "Software\\Test\\A"));
  // MAXIMUM_ALLOWED gets what is not denied.
  ScopedKey most(fake_);
  ASSERT_EQ(fake_.RegOpenKeyExA(reg::kCurrentUser, kPath, 0, 0x02000000u, most.out()), 0);
  uint32_t size = 0;
  EXPECT_EQ(fake_.RegQueryValueExA(most, "v", nullptr, nullptr, nullptr, &size), 2);
  EXPECT_EQ(fake_.RegDeleteValueA(most, "v"), reg::kAccessDenied);

  fake_.DenyAccess(reg::kCurrentUser, "Software\\Keep", 0x10000u);  // DELETE
  EXPECT_EQ(fake_.RegDeleteKeyA(reg::kCurrentUser, "Software\\Keep"), reg::kAccessDenied);
  EXPECT_TRUE(fake_.HasKey(reg::kCurrentUser, "Software\\Keep"));
}

TEST_F(StandIn, OtherComputersHaveTheirOwnRegistry) {
  FakeRegistry fake("Home");
  fake.AddComputer("\\\\Far");
  fake.PutValue(reg::kLocalMachine, kPath, "where", reg::kRegBinary, {'f'}, "far");
  fake.PutValue(reg::kLocalMachine, kPath, "where", reg::kRegBinary, {'h'});
  EXPECT_EQ(fake.GetStored(reg::kLocalMachine, kPath, "where", "FAR")->data,
            std::vector<uint8_t>{'f'});
  EXPECT_EQ(fake.GetStored(reg::kLocalMachine, kPath, "where", "home")->data,
            std::vector<uint8_t>{'h'});
  EXPECT_FALSE(fake.HasKey(reg::kLocalMachine, kPath, "nowhere"));

  for (const char* name : {"far", "\\\\FAR"}) {
    ScopedKey remote(fake);
    ASSERT_EQ(fake.RegConnectRegistryA(name, reg::kLocalMachine, remote.out()), 0) << name;
    ScopedKey key(fake);
    ASSERT_EQ(fake.RegOpenKeyExA(remote, kPath, 0, reg::kKeyRead, key.out()), 0);
    uint8_t b = 0;
    uint32_t size = 1;
    ASSERT_EQ(fake.RegQueryValueExA(key, "where", nullptr, nullptr, &b, &size), 0);
    EXPECT_EQ(b, 'f');
  }
  ScopedKey remote(fake);
  EXPECT_EQ(fake.RegConnectRegistryA("\\\\HOME", reg::kLocalMachine, remote.out()), 0);
  // A named computer, this one too, serves HKLM, HKU and performance data only.
  EXPECT_EQ(fake.RegConnectRegistryA("Far", reg::kCurrentUser, remote.out()), reg::kInvalidHandle);
  EXPECT_EQ(fake.RegConnectRegistryA("home", reg::kClassesRoot, remote.out()), reg::kInvalidHandle);
  EXPECT_EQ(fake.RegConnectRegistryA("Elsewhere", reg::kLocalMachine, remote.out()),
            reg::kBadNetPath);
  EXPECT_EQ(fake.RegConnectRegistryA("Far", 0x1234, remote.out()), reg::kInvalidHandle);
}

TEST_F(StandIn, SetUpHelpersAndStoredValues) {
  fake_.MakeKey(reg::kUsers, "A\\\\B\\", "Klass");
  EXPECT_TRUE(fake_.HasKey(reg::kUsers, "a\\b"));
  EXPECT_FALSE(fake_.HasKey(reg::kCurrentUser, "A"));  // each root has its own tree
  fake_.PutValue(reg::kUsers, "A\\B", "Name", reg::kRegBinary, {1, 2});
  fake_.PutValue(reg::kUsers, "A\\B", "NAME", reg::kRegDword, {1, 0, 0, 0});
  const auto stored = fake_.GetStored(reg::kUsers, "A\\B", "name");
  ASSERT_TRUE(stored);
  EXPECT_EQ(stored->type, reg::kRegDword);
  EXPECT_FALSE(fake_.GetStored(reg::kUsers, "A\\B", "other"));
  EXPECT_FALSE(fake_.GetStored(reg::kUsers, "A\\C", "name"));
  EXPECT_TRUE(fake_.Calls().empty());
  EXPECT_THROW(fake_.MakeKey(0x1234, "A"), std::invalid_argument);
  EXPECT_THROW(fake_.PutValue(reg::kUsers, "A", "v", 1, {}, "Unknown"), std::invalid_argument);
}

TEST_F(StandIn, LogsTheCountedBytesButStoresTheNulThatFollows) {
  const RegHandle key = Open(kPath);
  const char text[] = "abc";
  ASSERT_EQ(
      fake_.RegSetValueExA(key, "s", 0, reg::kRegSz, reinterpret_cast<const uint8_t*>(text), 3), 0);
  EXPECT_EQ(fake_.GetStored(reg::kCurrentUser, kPath, "s")->data,
            (std::vector<uint8_t>{'a', 'b', 'c', 0}));
  EXPECT_EQ(fake_.CallsTo("RegSetValueExA").at(0).data, (std::vector<uint8_t>{'a', 'b', 'c'}));
  fake_.RegCloseKey(key);
}

TEST(StandInCodePage, TheAdaptersChoiceOfFlagsByCodePage) {
  for (const uint32_t cp : {1252u, 1250u, 874u, 932u, 936u, 949u, 950u}) {
    EXPECT_EQ(ansi::ConversionFor(cp).flags, ansi::kNoBestFitChars) << cp;
    EXPECT_STREQ(ansi::ConversionFor(cp).defaultChar, "?") << cp;
  }
  for (const uint32_t cp : {65001u, 54936u, 65000u, 42u, 50220u, 50229u, 57002u, 57011u}) {
    EXPECT_EQ(ansi::ConversionFor(cp).flags, 0u) << cp;
    EXPECT_EQ(ansi::ConversionFor(cp).defaultChar, nullptr) << cp;
  }
  EXPECT_EQ(ansi::ConversionFor(50219).flags, ansi::kNoBestFitChars);
  EXPECT_EQ(ansi::ConversionFor(57012).flags, ansi::kNoBestFitChars);
}

TEST(StandInCodePage, ConversionsRefuseWhatEachCodePageRefuses) {
  struct Case {
    uint32_t codePage;
    uint32_t flags;
    const char* defaultChar;
    int32_t status;
  };
  for (const Case& c :
       {Case{65001, ansi::kNoBestFitChars, "?", ansi::kInvalidFlags},
        Case{65001, ansi::kNoBestFitChars, nullptr, ansi::kInvalidFlags},
        Case{65001, 0, "?", ansi::kInvalidParameter},
        Case{65001, ansi::kErrInvalidChars, nullptr, 0},
        Case{1252, ansi::kErrInvalidChars, nullptr, ansi::kInvalidFlags},
        Case{932, ansi::kErrInvalidChars, nullptr, ansi::kInvalidFlags},
        Case{1252, ansi::kNoBestFitChars, "?", 0}, Case{932, ansi::kNoBestFitChars, "?", 0}}) {
    FakeRegistry fake("STANDIN", c.codePage);
    std::string out = "untouched";
    EXPECT_EQ(fake.WideCharToMultiByte(u"Name", c.flags, c.defaultChar, out), c.status)
        << c.codePage << " flags " << c.flags;
    if (c.status != 0) {
      EXPECT_EQ(out, "") << c.codePage;
    }
  }
  // The adapter's own conversion succeeds on every modelled code page.
  for (const uint32_t cp : {1252u, 932u, 65001u}) {
    FakeRegistry fake("STANDIN", cp);
    EXPECT_EQ(fake.ToAnsi(u"Name"), "Name") << cp;
  }
  EXPECT_THROW(FakeRegistry("STANDIN", 936), std::invalid_argument);
}

TEST(StandInCodePage, BytesOfEachCodePageBothWays) {
  struct Case {
    uint32_t codePage;
    std::u16string text;
    std::string bytes;
  };
  const Case cases[] = {
      {932, u"日本語い", "\x93\xFA\x96\x7B\x8C\xEA\x82\xA2"},
      {932, u"表\\ｱ", "\x95\x5C\\\xB1"},  // 表's second byte is '\'; half-width katakana
      {932, u"¥Ā\U0001F600", "????"},     // no best fit; each surrogate half is one '?'
      {932, u"ⅰ≒\uE000", "\xFA\x40\x81\xE0\xF0\x40"},  // IBM's copy over NEC's; user area
      {932, u"\u0080\uF8F0\uF8F3", "\x80\xA0\xFF"},
      {65001, u"日本\U0001F600", "\xE6\x97\xA5\xE6\x9C\xAC\xF0\x9F\x98\x80"},
      {1252, u"Caf\u00E9 \u20AC", "Caf\xE9 \x80"},
  };
  for (const Case& c : cases) {
    FakeRegistry fake("STANDIN", c.codePage);
    EXPECT_EQ(fake.ToAnsi(c.text), c.bytes) << c.codePage;
    if (c.bytes.find('?') == std::string::npos) {
      EXPECT_EQ(fake.FromAnsi(c.bytes), c.text) << c.codePage;
    }
  }
  // What does not decode becomes the code page's substitute.
  FakeRegistry sjis("STANDIN", 932);
  EXPECT_EQ(sjis.FromAnsi("\x85\x40"
                          "a\x81"),
            u"\u30FBa\u30FB");
  FakeRegistry utf8("STANDIN", 65001);
  EXPECT_EQ(utf8.FromAnsi("a\xC0\xAF"
                          "b"),
            u"a\uFFFD\uFFFDb");
  EXPECT_EQ(utf8.ToAnsi(std::u16string(1, u'\xD800')), "\xEF\xBF\xBD");
}

TEST(StandInCodePage, PathsNamesAndCountsFollowTheCodePage) {
  FakeRegistry fake("STANDIN", 932);
  const std::string hyouji = "\x95\x5C\x8E\xA6";  // 表示: the first character ends in 0x5C
  fake.MakeKey(reg::kCurrentUser, "Software\\" + hyouji + "\\Sub");
  ScopedKey key(fake);
  ASSERT_EQ(fake.RegOpenKeyExA(reg::kCurrentUser, ("Software\\" + hyouji).c_str(), 0,
                               reg::kKeyAllAccess, key.out()),
            reg::kSuccess);
  char name[16];
  uint32_t len = sizeof name;
  ASSERT_EQ(fake.RegEnumKeyExA(key, 0, name, &len, nullptr, nullptr, nullptr, nullptr), 0);
  EXPECT_EQ(std::string(name, len), "Sub");
  // Full-width letters fold too; byte counts are the code page's bytes.
  const std::string lower = "\x82\x82", upper = "\x82\x61";  // ｂ, Ｂ
  const uint8_t data[] = {0x93, 0xFA, 0};
  ASSERT_EQ(fake.RegSetValueExA(key, lower.c_str(), 0, reg::kRegSz, data, 3), 0);
  uint32_t size = 0;
  EXPECT_EQ(fake.RegQueryValueExA(key, upper.c_str(), nullptr, nullptr, nullptr, &size), 0);
  EXPECT_EQ(size, 3u);
  // A key name is limited in characters, not bytes: 255 double-byte ones fit.
  std::string longName;
  for (int i = 0; i < 255; ++i) longName += "\x82\xA2";
  ScopedKey created(fake);
  EXPECT_EQ(fake.RegCreateKeyExA(key, longName.c_str(), 0, nullptr, 0, reg::kKeyAllAccess, nullptr,
                                 created.out(), nullptr),
            reg::kSuccess);
}

TEST(StandInCodePage, ExpansionAnswersInBytesOrAsWineInCharacters) {
  FakeRegistry fake("STANDIN", 932);
  std::string value;
  for (int i = 0; i < 300; ++i) value += "\x82\xA2";  // い
  fake.SetEnvironment("V", value);
  std::vector<char> buf(700, 'Z');
  EXPECT_EQ(fake.ExpandEnvironmentStringsA("<%V%>", buf.data(), 256), 604u);
  EXPECT_EQ(fake.ExpandEnvironmentStringsA("<%V%>", buf.data(), 700), 603u);
  EXPECT_EQ(std::string(buf.data()), "<" + value + ">");
  fake.SetExpansionCount(FakeRegistry::ExpansionCount::Characters);
  for (const uint32_t capacity : {256u, 303u, 606u}) {
    std::fill(buf.begin(), buf.end(), 'Z');
    EXPECT_EQ(fake.ExpandEnvironmentStringsA("<%V%>", buf.data(), capacity), 303u) << capacity;
  }
  // At 606 the whole text and its NUL; at 303 the buffer is full and holds no NUL.
  EXPECT_EQ(std::string(buf.data()), "<" + value + ">");
  std::fill(buf.begin(), buf.end(), 'Z');
  fake.ExpandEnvironmentStringsA("<%V%>", buf.data(), 303);
  EXPECT_EQ(std::find(buf.begin(), buf.begin() + 303, '\0'), buf.begin() + 303);
  EXPECT_EQ(buf[303], 'Z');
}

#ifdef _WIN32
// The library's own registry is the system's, one for the process, never the stand-in.
TEST_F(StandIn, PlatformRegistryIsTheSystemsOne) {
  RegistryApi& a = PlatformRegistry();
  EXPECT_EQ(&a, &PlatformRegistry());
  EXPECT_EQ(dynamic_cast<FakeRegistry*>(&a), nullptr);
}
#endif

}  // namespace
