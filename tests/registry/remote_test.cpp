// ReadRemoteRegistryValue and WriteRemoteRegistryValue. The stand-in offers other
// computers; the real registry under Wine connects only to its own computer name.
// Through a computer name Windows offers HKEY_LOCAL_MACHINE, HKEY_USERS and
// HKEY_PERFORMANCE_DATA only, so these tests use the first two (Wine would connect
// to HKEY_CURRENT_USER as well, which would test Wine and not Windows).

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "tests/support/Routines.h"

namespace {

class Remote : public RoutinesTest {
 protected:
  void SetUp() override {
    UseRoot(reg::kLocalMachine);
    RoutinesTest::SetUp();
    routines().hkey(0);
    self = Wide(LocalComputerName());
    ASSERT_FALSE(self.empty());
    path = Wide(scratch());
    MakeKey("R");
    PutValue("R", "dw", reg::kRegDword, {0xFF, 0xFF, 0xFF, 0xFF});
    PutValue("R", "multi", reg::kRegMultiSz, {'o', 'n', 'e', 0, 't', 'w', 'o', 0, 0});
    // The object's own location, used when no KeyPath is given.
    routines().Subkey(u"R");
  }
  Variant Read(const String& computer, const String& name,
               const std::optional<String>& keyPath = std::nullopt) {
    return routines().ReadRemoteRegistryValue(computer, reg::kLocalMachine, name, keyPath);
  }
  bool Write(const String& computer, const String& name, const Variant& value, int32_t type,
             const std::optional<String>& keyPath = std::nullopt) {
    return routines().WriteRemoteRegistryValue(computer, reg::kLocalMachine, name, value, type,
                                               keyPath);
  }

  String self;
  String path;
};

TEST_P(Remote, ReadsThroughTheObjectPathOrTheGivenOne) {
  EXPECT_EQ(routines().hkey(), 0) << "the object's own root plays no part";
  EXPECT_EQ(Read(self, u"dw"), Variant(-1));
  EXPECT_EQ(Read(self, u"multi"), Variant(String(u"one\0two", 7)));
  routines().KeyRoot(u"");
  routines().Subkey(u"");
  EXPECT_EQ(Read(self, u"dw", path + u"\\R"), Variant(-1));
  EXPECT_EQ(Read(u"\\\\" + self, u"dw", path + u"\\R"), Variant(-1)) << "leading \\\\ accepted";
}

TEST_P(Remote, AnEmptyKeyPathReadsTheRootItself) {
  // HKLM's own values are not ours to set; a value that is not there reads Empty,
  // which shows the root opened (a failed open would also be Empty, so check the
  // call on the stand-in).
  EXPECT_EQ(Read(self, u"BurnisherNoSuchValue", String()), Variant());
  if (fake()) {
    const auto opens = fake()->CallsTo("RegOpenKeyExA");
    ASSERT_EQ(opens.size(), 1u);
    EXPECT_EQ(opens[0].name, "");
    EXPECT_EQ(opens[0].access, reg::kKeyAllAccess);
    EXPECT_EQ(opens[0].status, reg::kSuccess);
  }
}

TEST_P(Remote, AnUnknownComputerIsAnErrorOtherFailuresAreEmpty) {
  EXPECT_EQ(Read(u"NoSuchComputerBn", u"dw"), Variant(u"Error!"));
  EXPECT_EQ(Read(self, u"missing"), Variant()) << "a missing value is never an error";
  EXPECT_EQ(Read(self, u"dw", path + u"\\NoSuchKey"), Variant());
  EXPECT_FALSE(Write(u"NoSuchComputerBn", u"w", Variant(1), 4));
  EXPECT_FALSE(Write(self, u"w", Variant(1), 4, path + u"\\NoSuchKey"));
  EXPECT_FALSE(HasKey("NoSuchKey")) << "the writer never creates a key";
}

TEST_P(Remote, AValueWrittenRemotelyReadsBackLocallyAndRemotely) {
  ASSERT_TRUE(Write(self, u"text", Variant(u"abc"), 1));
  ASSERT_TRUE(Write(self, u"num", Variant(-1), 4, path + u"\\R"));
  EXPECT_TRUE(Write(self, u"skip", Variant(1), 5)) << "an unknown type writes nothing and succeeds";
  EXPECT_FALSE(Write(self, u"bad", Variant::Null(), 1)) << "unconvertible data is not written";

  EXPECT_EQ(Stored("R", "text").first, reg::kRegSz);
  EXPECT_EQ(Read(self, u"num"), Variant(-1));
  EXPECT_FALSE(HasValue("R", "skip"));
  EXPECT_FALSE(HasValue("R", "bad"));

  routines().hkey(reg::kLocalMachine);
  EXPECT_EQ(routines().GetRegistryValue(u"text"), Variant(u"abc"));
  EXPECT_EQ(routines().GetRegistryValue(u"num"), Variant(-1));
}

TEST_P(Remote, TheUsersRootIsReachedToo) {
  const std::string key = ".DEFAULT\\" + scratch();
  RegHandle h = 0;
  ASSERT_EQ(api().RegCreateKeyExA(reg::kUsers, key.c_str(), 0, nullptr, 0, reg::kKeyAllAccess,
                                  nullptr, &h, nullptr),
            reg::kSuccess);
  const String keyPath = Wide(key);
  EXPECT_TRUE(routines().WriteRemoteRegistryValue(self, reg::kUsers, u"u", Variant(7), 4, keyPath));
  EXPECT_EQ(routines().ReadRemoteRegistryValue(self, reg::kUsers, u"u", keyPath), Variant(7));
  api().RegDeleteValueA(h, "u");
  api().RegCloseKey(h);
  EXPECT_EQ(api().RegDeleteKeyA(reg::kUsers, key.c_str()), reg::kSuccess);
  api().RegDeleteKeyA(reg::kUsers, ".DEFAULT\\Software\\BurnisherTests");  // when empty
}

INSTANTIATE_BACKENDS(Remote);

class RemoteStandIn : public StandInTest {
 protected:
  RemoteStandIn() {
    fake.AddComputer("FAR");
    fake.MakeKey(reg::kLocalMachine, "Software\\A\\B", "", "FAR");
    fake.PutValue(reg::kLocalMachine, "Software\\A\\B", "v", reg::kRegSz, {'f', 'a', 'r', 0},
                  "FAR");
    fake.PutValue(reg::kLocalMachine, "Software\\A\\B", "v", reg::kRegSz, {'h', 'o', 'm', 'e', 0});
    fake.MakeKey(reg::kLocalMachine, "Software\\C", "", "FAR");
    routines.KeyRoot(u"Software\\A");
    routines.Subkey(u"B");
  }
  Variant Read(const String& computer, RegHandle root = reg::kLocalMachine,
               const std::optional<String>& keyPath = std::nullopt) {
    return routines.ReadRemoteRegistryValue(computer, root, u"v", keyPath);
  }
  bool Write(const String& computer, const Variant& value, int32_t type,
             RegHandle root = reg::kLocalMachine,
             const std::optional<String>& keyPath = std::nullopt) {
    return routines.WriteRemoteRegistryValue(computer, root, u"w", value, type, keyPath);
  }
};

TEST_F(RemoteStandIn, ReadsTheNamedComputersRegistry) {
  EXPECT_EQ(Read(u"FAR"), Variant(u"far"));
  EXPECT_EQ(Read(u"\\\\far"), Variant(u"far"));
  EXPECT_EQ(Read(u"STANDIN"), Variant(u"home"));
}

// Named, a computer (this one too) offers only HKLM, HKU and HKEY_PERFORMANCE_DATA;
// the local registry's other roots are reached without a name.
TEST_F(RemoteStandIn, OtherRootsOfANamedComputerAreRefused) {
  fake.PutValue(reg::kCurrentUser, "Software\\A\\B", "v", reg::kRegSz, {'c', 0});
  for (const char16_t* computer : {u"FAR", u"STANDIN", u"\\\\standin"}) {
    for (const RegHandle root : {reg::kCurrentUser, reg::kClassesRoot, reg::kCurrentConfig}) {
      EXPECT_EQ(Read(computer, root), Variant(u"Error!"));
      EXPECT_FALSE(Write(computer, Variant(u"x"), 1, root));
    }
  }
  EXPECT_EQ(fake.CallsTo("RegConnectRegistryA")[0].status, reg::kInvalidHandle);
  EXPECT_EQ(Read(u"", reg::kCurrentUser), Variant(u"c"));
}

// What a network gives besides a computer that answers: a name that resolves to
// nothing, a computer whose Remote Registry service is stopped, one that refuses the
// logon, and a slow link that times out.
TEST_F(RemoteStandIn, ConnectionsThatFailGiveErrorAndFalseAndHoldNothing) {
  for (const RegStatus status : {reg::kBadNetPath, 1722 /*RPC_S_SERVER_UNAVAILABLE*/,
                                 reg::kAccessDenied, 121 /*ERROR_SEM_TIMEOUT*/}) {
    fake.ClearFaults();
    fake.InjectStatus("RegConnectRegistryA", status);
    fake.ClearCalls();
    EXPECT_EQ(Read(u"FAR"), Variant(u"Error!")) << status;
    EXPECT_FALSE(Write(u"FAR", Variant(1), 4)) << status;
    EXPECT_EQ(fake.Calls().size(), 2u) << "only the two connections were tried";
  }
  fake.ClearFaults();
  EXPECT_EQ(Read(u"FAR"), Variant(u"far"));
  EXPECT_FALSE(fake.GetStored(reg::kLocalMachine, "Software\\A\\B", "w", "FAR").has_value());
}

TEST_F(RemoteStandIn, ReadableButNotFullyOpenableGivesEmptyAndFalse) {
  fake.DenyAccess(reg::kLocalMachine, "Software\\A\\B", 0x00020006 & ~0x00020000u, "FAR");
  EXPECT_EQ(Read(u"FAR"), Variant());
  EXPECT_FALSE(Write(u"FAR", Variant(u"x"), 1));
  // The local reader asks for reading only, so it still succeeds there.
  routines.hkey(reg::kLocalMachine);
  fake.DenyAccess(reg::kLocalMachine, "Software\\A\\B", 0x00020006 & ~0x00020000u);
  EXPECT_EQ(routines.GetRegistryValue(u"v"), Variant(u"home"));
}

TEST_F(RemoteStandIn, ClosesTheKeyThenTheConnectionOnEveryPath) {
  for (const auto& keyPath : {std::optional<String>(), std::optional<String>(u"Software\\Nope")}) {
    fake.ClearCalls();
    Read(u"FAR", reg::kLocalMachine, keyPath);
    Write(u"FAR", Variant(3), 4, reg::kLocalMachine, keyPath);
    EXPECT_EQ(fake.OpenHandleCount(), 0);
  }
  fake.ClearCalls();
  Read(u"FAR");
  const auto& c = fake.Calls();
  ASSERT_GE(c.size(), 5u);
  EXPECT_EQ(std::tie(c[0].function, c[0].name, c[0].key),
            std::tuple("RegConnectRegistryA", "FAR", reg::kLocalMachine));
  EXPECT_EQ(std::tie(c[1].function, c[1].key, c[1].name),
            std::tuple("RegOpenKeyExA", c[0].result, "Software\\A\\B"));
  const auto& key = c[c.size() - 2];
  EXPECT_EQ(std::tie(key.function, key.key), std::tuple("RegCloseKey", c[1].result))
      << "the key first";
  EXPECT_EQ(std::tie(c.back().function, c.back().key), std::tuple("RegCloseKey", c[0].result))
      << "then the connection";
}

TEST_F(RemoteStandIn, WritesTheSameBytesAsTheLocalWriter) {
  fake.MakeKey(reg::kLocalMachine, "Software\\A\\B");
  routines.hkey(reg::kLocalMachine);
  const std::vector<Variant> values = {Variant(-1),    Variant(2.5),
                                       Variant(u"42"), Variant(String(u"a\0b\0\0", 5)),
                                       Variant(u"AB"), Variant(ByteArray({10, 20, 30}, 1)),
                                       Variant(true)};
  for (const int32_t type : {1, 2, 3, 4, 7}) {
    for (const Variant& v : values) {
      fake.ClearCalls();
      const bool local = routines.SetRegistryValue(u"same", v, type);
      const auto localSets = fake.CallsTo("RegSetValueExA");
      fake.ClearCalls();
      const bool remote =
          routines.WriteRemoteRegistryValue(u"STANDIN", reg::kLocalMachine, u"same", v, type);
      const auto remoteSets = fake.CallsTo("RegSetValueExA");
      EXPECT_EQ(local, remote) << "type " << type;
      ASSERT_EQ(localSets.size(), remoteSets.size()) << "type " << type;
      for (size_t i = 0; i < localSets.size(); ++i) {
        const auto& [l, r] = std::tie(localSets[i], remoteSets[i]);
        EXPECT_EQ(std::tie(l.type, l.data, l.size), std::tie(r.type, r.data, r.size));
      }
    }
  }
}

TEST_F(RemoteStandIn, AnEmptyKeyPathWritesToTheRemoteRootItself) {
  EXPECT_TRUE(routines.WriteRemoteRegistryValue(u"FAR", reg::kLocalMachine, u"atRoot",
                                                Variant(u"r"), 1, String()));
  EXPECT_TRUE(fake.GetStored(reg::kLocalMachine, "", "atRoot", "FAR").has_value());
  EXPECT_FALSE(fake.GetStored(reg::kLocalMachine, "", "atRoot").has_value());
}

}  // namespace
