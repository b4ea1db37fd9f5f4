#include <gtest/gtest.h>

#include "C_ResMan.h"
#include "TestSupport.h"
#include "Verinfo.h"
#include "c_qrv.h"

TEST(PathBase, AddBackslashAppendsOnlyWhenMissing) {
  TQRV qrv;
  EXPECT_EQ(qrv.AddBackslash("C:\\A"), "C:\\A\\");
  EXPECT_EQ(qrv.AddBackslash("C:\\A\\"), "C:\\A\\");
  EXPECT_EQ(qrv.AddBackslash(""), "\\");
  std::string longPath(300, 'p');
  EXPECT_EQ(qrv.AddBackslash(longPath), longPath + "\\");
}

TEST(ResourceManager, ReadsNumberedTextsOfTheProgramLibrary) {
  TResManager res("Vantleres.dll");
  ASSERT_TRUE(res.Loaded);
  EXPECT_NE(res.Handle, nullptr);
  EXPECT_EQ(res.GetAppPath(), test::ProgramFolder());
  EXPECT_EQ(res.GetString(1), "Quorvel Vantle");
  EXPECT_EQ(res.GetString(68), "There is no mail to transfer.");
  EXPECT_EQ(res.GetString(60000), "");  // an id the library lacks
}

TEST(ResourceManager, CutsTextsAt499CharactersAndKeepsBlanks) {
  TResManager res("test_strings.dll");
  ASSERT_TRUE(res.Loaded);
  std::string text = res.GetString(1);
  ASSERT_EQ(text.size(), 499u);
  EXPECT_EQ(text.substr(0, 26), "abcdefghijklmnopqrstuvwxyz");
  EXPECT_EQ(res.GetString(2), "Short text");
  EXPECT_EQ(res.GetString(3), "  padded  ");
  EXPECT_EQ(res.GetString(-1), "");
}

TEST(ResourceManager, AMissingLibraryLeavesEveryTextEmpty) {
  for (const std::string& name : {std::string("NoSuchLibrary.dll"), std::string(""), std::string(300, 'n')}) {
    TResManager res(name);
    EXPECT_FALSE(res.Loaded) << name;
    EXPECT_EQ(res.Handle, nullptr);
    EXPECT_EQ(res.GetString(1), "");  // not the program's own texts
  }
}

TEST(VersionReader, AnswersTheFixedKeysOfTheFirstTranslation) {
  TVerInfoRes mm(test::ProgramFolder() + "VantleMM.dll");
  EXPECT_EQ(mm.GetString(TVerInfoRes::FileDescription), "Vantle shared memory manager");
  EXPECT_EQ(mm.GetString(TVerInfoRes::CompanyName), "Quorvel Corporation");
  EXPECT_EQ(mm.GetString(TVerInfoRes::OriginalFilename), "VantleMM.dll");
  EXPECT_FALSE(mm.GetString(TVerInfoRes::LegalCopyright).empty());
  EXPECT_FALSE(mm.GetString(TVerInfoRes::FileVersion).empty());
  EXPECT_EQ(mm.Size, static_cast<int>(mm.Data.size()));

  // A block in German, Unicode code page, that lacks most keys.
  TVerInfoRes texts(test::ProgramFolder() + "test_strings.dll");
  EXPECT_EQ(texts.Translation[0], 0x0407);
  EXPECT_EQ(texts.Translation[1], 1200);
  EXPECT_EQ(texts.GetString(TVerInfoRes::FileVersion), "2.5.0.17");
  EXPECT_EQ(texts.GetString(TVerInfoRes::CompanyName), "Test Company");
  EXPECT_EQ(texts.GetString(TVerInfoRes::LegalTrademarks), "");
  EXPECT_EQ(texts.GetString(9), "");  // past the key table
}

TEST(VersionReader, RaisesWhenThereIsNoBlock) {
  auto messageOf = [](const std::string& file) -> std::string {
    try {
      TVerInfoRes info(file);
    } catch (const EVerInfoError& e) {
      return e.Message;
    }
    return "no error";
  };
  EXPECT_EQ(messageOf(test::ProgramFolder() + "test_noversion.dll"), "File not found or unaccessable.");
  EXPECT_EQ(messageOf(test::ProgramFolder() + "missing.dll"), "File not found or unaccessable.");
  EXPECT_EQ(messageOf(std::string(300, 'v')), "File not found or unaccessable.");
}
