#include "Handheld.h"

#include "Handles.h"
#include "TandelFixture.h"

using namespace tandel;

namespace {

DWORD CodeOf(const std::string& handheldPath) {
  try {
    ToPcPath(handheldPath);
  } catch (const EHandheld& e) {
    return e.Code;
  }
  return 0;
}

class HandheldTest : public TandelFixture {};

TEST_F(HandheldTest, MapsHandheldPathsIntoItsTreeAndBack) {
  EXPECT_EQ(Pc("C\\Documents\\Vantle\\InBox"), ToPcPath("C:\\Documents\\Vantle\\InBox"));
  EXPECT_EQ(Pc("C\\documents\\Vantle"), ToPcPath("c:\\documents\\Vantle\\"));
  EXPECT_EQ(Pc("C"), ToPcPath("C:\\"));
  EXPECT_EQ("C:\\Documents\\Vantle", NormalizePath("c:\\Documents\\Vantle\\"));
  EXPECT_EQ("C:\\Documents\\Vantle\\InBox", ToHandheldPath(Pc("C\\Documents\\Vantle\\InBox")));
  EXPECT_EQ("C:\\", ToHandheldPath(Pc("C")));
  EXPECT_EQ(std::vector<std::string>{"C:\\"}, Drives());
}

TEST_F(HandheldTest, RejectsPathsThatLeaveItsTree) {
  for (const char* bad : {"C:\\..\\..\\windows", "C:\\Documents\\..\\..\\x", "C:\\.\\x", "..\\x", "\\Documents",
                          "C:Documents", "\\\\server\\share\\x", "\\\\?\\C:\\x", "\\\\.\\C:\\x", "C:/Documents",
                          "/tmp/x", "C:\\Documents\\NUL", "C:\\a\\com1.txt", "C:\\a.\\b", "C:\\a \\b",
                          "C:\\a\\\\b", "C:\\a?b", "C:\\a:b", "", "C:"})
    EXPECT_EQ(static_cast<DWORD>(ERROR_BAD_PATHNAME), CodeOf(bad)) << bad;
  EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_DRIVE), CodeOf("D:\\Documents"));
  EXPECT_EQ(static_cast<DWORD>(ERROR_FILENAME_EXCED_RANGE), CodeOf("C:\\" + std::string(300, 'a')));
  EXPECT_THROW(ToHandheldPath(install_ + "State.json"), EHandheld);
  EXPECT_THROW(ToHandheldPath("C:\\windows\\win.ini"), EHandheld);
  EXPECT_THROW(ToHandheldPath(Pc("State.json")), EHandheld);
}

TEST_F(HandheldTest, WithoutTheSuiteInstalledNothingMaps) {
  TRegistry reg;
  reg.SetRootKey(HKEY_LOCAL_MACHINE);
  ASSERT_TRUE(reg.OpenKey(SuiteKey, false));
  reg.DeleteValue(InstallValue);
  try {
    ToPcPath("C:\\Documents");
    FAIL();
  } catch (const EHandheld& e) {
    EXPECT_EQ(static_cast<DWORD>(ERROR_PATH_NOT_FOUND), e.Code);
  }
}

TEST_F(HandheldTest, LinkStatePersistsAndADamagedStateIsRefused) {
  EXPECT_TRUE(LinkUp());
  SetLinkUp(false);
  EXPECT_FALSE(LinkUp());
  EXPECT_TRUE(FileExists(Pc("State.json")));
  EXPECT_FALSE(FileExists(Pc("State.json.new")));
  SetLinkUp(true);
  EXPECT_TRUE(LinkUp());

  test::WriteFileBytes(Pc("State.json"), "{\"link\": \"sideways\", \"programs\": []}");
  try {
    LinkUp();
    FAIL();
  } catch (const EHandheld& e) {
    EXPECT_EQ(static_cast<DWORD>(ERROR_FILE_CORRUPT), e.Code);
  }
  test::WriteFileBytes(Pc("State.json"), "{\"link\": \"up\", \"programs\": [{\"name\": \"X\", \"path\": "
                                         "\"C:\\\\..\\\\x\", \"files\": [], \"running\": true}]}");
  EXPECT_THROW(LoadState(), EHandheld);
}

TEST_F(HandheldTest, AWatchedStateSeesEverySaveEvenAfterAReadThatFailed) {
  WatchedState watched;
  EXPECT_TRUE(watched.Get().LinkUp);
  SetLinkUp(false);
  {
    // The file cannot be read for a moment: the reader fails now and reads it again next time.
    KernelHandle held(CreateFileA(Pc("State.json").c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr));
    ASSERT_TRUE(held);
    EXPECT_ANY_THROW(watched.Get());
  }
  EXPECT_FALSE(watched.Get().LinkUp);
  ASSERT_EQ(0u, test::RunProgram("tandel-handheld.exe", {"link", "up"}).Code);  // saved by another process
  EXPECT_TRUE(watched.Get().LinkUp);
}

TEST_F(HandheldTest, TheDataApplicationHoldsBothStoresUntilStopped) {
  const std::string in = "C:\\Documents\\Vantle\\InBox", out = "c:\\documents\\vantle\\OUTBOX";
  ASSERT_EQ("Data", HolderName(in));
  EXPECT_EQ("Data", HolderName(out));
  try {
    CheckNotHeld(in);
    FAIL();
  } catch (const EHandheld& e) {
    EXPECT_EQ(static_cast<DWORD>(ERROR_SHARING_VIOLATION), e.Code);
  }

  EXPECT_EQ(0u, StopProgram(in));
  EXPECT_EQ("", HolderName(in));
  EXPECT_EQ("", HolderName(out));
  EXPECT_NO_THROW(CheckNotHeld(out));
  EXPECT_EQ(0u, StopProgram(out));  // nothing holds it any more: nothing to stop

  EXPECT_EQ(static_cast<DWORD>(ERROR_FILE_NOT_FOUND), StartProgram(out));
  PutFile(out, "store");
  EXPECT_EQ(0u, StartProgram(out));
  EXPECT_EQ("Data", HolderName(in));
  EXPECT_EQ(0u, StartProgram(out));

  PutFile("C:\\Documents\\Letter", "text");
  EXPECT_EQ(static_cast<DWORD>(ERROR_NO_ASSOCIATION), StartProgram("C:\\Documents\\Letter"));
  EXPECT_EQ(0u, StopProgram("C:\\System\\Apps\\Data\\Data.app"));
  EXPECT_EQ(0u, StartProgram("C:\\System\\Apps\\Data\\Data.app"));
  EXPECT_EQ("Data", HolderName(in));
  EXPECT_EQ(static_cast<DWORD>(ERROR_BAD_PATHNAME), ErrorCodeOf(EHandheld(ERROR_BAD_PATHNAME, "")));
}

}  // namespace
