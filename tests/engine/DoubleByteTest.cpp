// Paths in a double-byte ANSI code page (this program runs under the
// Japanese one, 932), where the second byte of a character can be that of a
// backslash or a bar: 表 is 0x95 0x5C, ソ is 0x83 0x5C and ポ is 0x83 0x7C.

#include "EngineFixture.h"
#include "Registry.h"
#include "SysUtils.h"

using namespace tdengine;

namespace {

const std::string Hyo = "\x95\x5C", So = "\x83\x5C", HyoPo = Hyo + "\x83\x7C";  // 表, ソ, 表ポ

class DoubleByte : public testing::Environment {
  void SetUp() override { ASSERT_EQ(932u, GetACP()) << "the test needs the Japanese ANSI code page"; }
};
[[maybe_unused]] const auto* const environment = testing::AddGlobalTestEnvironment(new DoubleByte);

TEST(DoubleBytePaths, FileNamesAreSplitOnlyAtBackslashesOfTheirOwn) {
  const struct {
    std::string path, folder, name, ext;
  } cases[] = {
      {"C:\\" + Hyo, "C:\\", Hyo, ""},
      {"C:\\" + Hyo + "\\" + So + ".txt", "C:\\" + Hyo + "\\", So + ".txt", ".txt"},
      {"C:\\Docs\\a." + So, "C:\\Docs\\", "a." + So, "." + So},
      {Hyo + So, "", Hyo + So, ""},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(c.folder, ExtractFilePath(c.path)) << c.path;
    EXPECT_EQ(c.name, ExtractFileName(c.path)) << c.path;
    EXPECT_EQ(c.ext, ExtractFileExt(c.path)) << c.path;
    EXPECT_EQ(c.path.substr(0, c.path.size() - c.ext.size()) + ".bak", ChangeFileExt(c.path, ".bak")) << c.path;
    EXPECT_EQ(c.path + "\\", IncludeTrailingBackslash(c.path)) << c.path;
    EXPECT_EQ(c.path, ExcludeTrailingBackslash(c.path)) << c.path;
    EXPECT_EQ(c.path, ExcludeTrailingBackslash(c.path + "\\")) << c.path;
  }
  // Cut to whole characters; the letters inside characters keep their case.
  EXPECT_EQ(2u, WholeCharsLength(Hyo + So, 3));
  EXPECT_EQ("\x83\x61" "A", UpperCase("\x83\x61" "a"));
  EXPECT_FALSE(SameText("\x83\x61", "\x83\x41"));

  TDPathInfo info;
  ASSERT_EQ(S_OK, MakePath(("C:\\" + Hyo).c_str(), (So + ".txt").c_str(), nullptr, &info));
  EXPECT_EQ("C:\\" + Hyo + "\\" + So + ".txt", std::string(info.Path));
  EXPECT_EQ((std::vector<USHORT>{2, 4, 6, 3}),
            (std::vector<USHORT>{info.DriveLength, info.FolderLength, info.NameLength, info.ExtensionLength}));
}

TEST(DoubleBytePaths, FoldersAndRegistryKeysNamedSoAreMadeUnderTheirNames) {
  const std::string base = test::ProgramFolder() + "DoubleByte";
  test::FolderSnapshot folder(base);
  ASSERT_TRUE(ForceDirectories(base + "\\" + Hyo + "\\" + So));
  EXPECT_TRUE(DirectoryExists(base + "\\" + Hyo + "\\" + So));

  test::RegistrySnapshot key(HKEY_CURRENT_USER, "Software\\VantleTest");
  TRegistry reg;
  ASSERT_TRUE(reg.OpenKey("Software\\VantleTest\\" + Hyo, true));
  reg.CloseKey();
  EXPECT_TRUE(reg.OpenKeyReadOnly("Software\\VantleTest\\" + Hyo + "\\"));
}

TEST_F(SyncTest, FoldersWhoseNamesEndInABackslashByteAreListedCopiedMovedAndDeleted) {
  const std::string hyo = "C:\\" + Hyo, pcHyo = "C\\" + Hyo, pcHyoPo = "C\\" + HyoPo;
  PutFile(hyo + "\\" + So + ".txt", "so");
  ASSERT_TRUE(ForceDirectories(Pc(pcHyoPo)));
  SyncClient& client = Connected();
  const auto copyDirectory = &ITDOrvWinEngineS::CopyDirectory;

  EXPECT_EQ(0, client.Call(&ITDOrvWinEngineS::CreateDirectory, (hyo + "\\" + So).c_str()));
  EXPECT_TRUE(DirectoryExists(Pc(pcHyo + "\\" + So)));

  // "?" stands for one character.
  ComPtr<ITDOrvDirectory> dir;
  TDPathRecord pattern = Path((hyo + "\\?.txt").c_str());
  LONG error = -1;
  client.E->GetDirectory(&error, &pattern, dir.Put(), nullptr);
  ASSERT_EQ(0, error);
  ITDOrvFile* got[3] = {};
  ULONG fetched = 0;
  dir->Reset();
  dir->Next(3, got, &fetched);
  ASSERT_EQ(1u, fetched);
  char name[260];
  got[0]->GetName(name);
  EXPECT_EQ(So + ".txt", std::string(name));

  // 表ポ begins with the bytes of 表 but is no folder below it.
  EXPECT_EQ(0, client.Call(copyDirectory, hyo.c_str(), ("C:\\" + HyoPo).c_str()));
  EXPECT_EQ("so", test::ReadFileBytes(Pc(pcHyoPo + "\\" + Hyo + "\\" + So + ".txt")));
  EXPECT_TRUE(DirectoryExists(Pc(pcHyoPo + "\\" + Hyo + "\\" + So)));
  EXPECT_EQ(123, client.Call(copyDirectory, hyo.c_str(), (hyo + "\\" + So).c_str()));

  EXPECT_EQ(0, client.Call(&ITDOrvWinEngineS::MoveFile, (hyo + "\\" + So + ".txt").c_str(), ("C:\\" + HyoPo).c_str()));
  EXPECT_EQ("so", test::ReadFileBytes(Pc(pcHyoPo + "\\" + So + ".txt")));

  EXPECT_EQ(0, client.Call(&ITDOrvWinEngineS::DeleteDirectory, hyo.c_str()));
  EXPECT_FALSE(DirectoryExists(Pc(pcHyo)));
  EXPECT_TRUE(DirectoryExists(Pc(pcHyoPo + "\\" + Hyo)));
}

}  // namespace
