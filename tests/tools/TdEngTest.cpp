// tdeng.exe run as its users run it, through each engine class in turn, on
// the simulated handheld: what it prints and the exit code it ends with.
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "EngineFixture.h"
#include "SysUtils.h"

namespace {

struct Step {
  std::vector<std::string> Args;
  DWORD Code;         // through either class
  std::string Shows;  // a part of what it prints
  bool AsyncOnly = false;
};

class TdEngTest : public ServerTest {
 protected:
  test::ProgramResult Tdeng(bool sync, std::vector<std::string> args) {
    if (sync) args.insert(args.begin(), "--sync");
    return test::RunProgram("tdeng.exe", args);
  }
  const std::string pc_ = test::ProgramFolder() + "TdEngPc\\";
  test::FolderSnapshot pcFolder_{pc_};
};

TEST_F(TdEngTest, EveryCommandRunsThroughEitherClass) {
  const std::string big(300 * 1024, 'b');
  const std::string pc = "pc:" + pc_;
  const std::vector<Step> steps = {
      {{"drives"}, 0, "C:\\\r\ndone"},
      {{"dir", "C:\\Docs"}, 0, "        14  a.txt"},
      {{"info", "C:\\Docs\\a.txt"}, 0, "14  a.txt"},
      {{"copy", "C:\\Docs\\Sub\\b.txt", pc + "b.txt"}, 0, "] 100%\r\ndone"},
      {{"copy", pc + "b.txt", "C:\\Docs\\b2.txt"}, 0, "] 100%\r\ndone"},
      {{"copy", "C:\\Docs\\a.txt", "C:\\Docs\\b2.txt"}, 1, "(183)"},
      {{"copy", "C:\\Docs\\a.txt", "C:\\Docs\\b2.txt", "--replace"}, 0, "done"},
      {{"copy", "C:\\Docs\\none.txt", pc + "none.txt"}, 1, "0%\r\nFile not found. (2)"},
      {{"copydir", "C:\\Docs\\Sub", pc.substr(0, pc.size() - 1)}, 0, "  C:\\Docs\\Sub\\b.txt\r\n"},
      {{"mkdir", "C:\\Docs\\New"}, 0, "done"},
      {{"rename", "C:\\Docs\\b2.txt", "c.txt"}, 0, "done"},
      {{"move", "C:\\Docs\\c.txt", "C:\\Docs\\New"}, 0, "done"},
      {{"attrib", "C:\\Docs\\New\\c.txt", "rh"}, 0, "done"},
      {{"info", "C:\\Docs\\New\\c.txt"}, 0, "-rh"},
      {{"attrib", "C:\\Docs\\New\\c.txt"}, 0, "done"},
      {{"renamedir", "C:\\Docs\\New", "Old"}, 0, "done"},
      {{"mkdir", "C:\\Moved"}, 0, "done"},
      {{"movedir", "C:\\Docs\\Old", "C:\\Moved"}, 0, "done"},
      {{"del", "C:\\Moved\\Old\\c.txt"}, 0, "done"},
      {{"rmdir", "C:\\Moved"}, 0, "done"},
      {{"dir", "C:\\Moved"}, 1, "(3)"},
      {{"find", "C:\\Docs", "*.txt", "hello"}, 0, "C:\\Docs\\a.txt", true},
      {{"find", "C:\\", "Docs"}, 0, "C:\\Docs\r\n", true},
      {{"machine"}, 0, "owner \"Handheld Owner\", type 5"},
      {{"synctime"}, 0, "done"},
      {{"label", "C:", "Travel"}, 0, "done"},
      {{"driveinfo", "C:"}, 0, "label \"Travel\""},
      {{"readconfig", pc + "config.dat"}, 0, "done"},
      {{"writeconfig", pc + "config.dat"}, 0, "done"},
      {{"stop", "C:\\Documents\\Vantle\\InBox"}, 0, "done"},
      {{"start", "C:\\Documents\\Vantle\\InBox"}, 0, "done"},
      {{"start", "C:\\Docs\\a.txt"}, 1, "(160)"},
      {{"closeall", "C:"}, 0, "closed Data"},
      {{"link"}, 0, "baud "},
      {{"makepath", "C:", "Docs", "a.txt"}, 0, "C:Docs\\a.txt  drive 2, folder 5, name 5, extension 3, wildcards 0"},
      {{"match", "a.txt", "*.txt"}, 0, "matches"},
      {{"match", "a.doc", "*.txt"}, 0, "does not match"},
      {{"pathrequest", "C:\\Docs", "1", "2", "41"}, 0, "handle 7, ", true},
      {{"datarequest", "5", "abc"}, 0, "cba", true},
      {{"disconnect"}, 0, "done"},
      {{"connect", "5000"}, 0, "done"},
      {{"format", "C:"}, 0, "] 100%\r\ndone"},
      {{"dir", "C:\\Docs"}, 1, "(3)"},
  };
  for (bool sync : {false, true}) {
    test::RemoveTree(pc_);
    ASSERT_TRUE(ForceDirectories(pc_));
    PutFile("C:\\Docs\\a.txt", "hello handheld");
    PutFile("C:\\Docs\\Sub\\b.txt", big);
    PutFile("C:\\Documents\\Vantle\\InBox", "mail");
    for (const Step& step : steps) {
      const bool refused = sync && step.AsyncOnly;
      test::ProgramResult r = Tdeng(sync, step.Args);
      const std::string what = (sync ? "--sync " : "") + step.Args[0] + " " + (step.Args.size() > 1 ? step.Args[1] : "");
      EXPECT_EQ(refused ? 2u : step.Code, r.Code) << what << "\n" << r.Out;
      EXPECT_NE(std::string::npos, r.Out.find(refused ? "without --sync" : step.Shows)) << what << "\n" << r.Out;
    }
    EXPECT_EQ(big, test::ReadFileBytes(pc_ + "b.txt")) << sync;
    EXPECT_EQ(big, test::ReadFileBytes(pc_ + "Sub\\b.txt")) << sync;
  }
}

TEST_F(TdEngTest, HelpListsEveryCommandAndMistakesEndWithUsageErrors) {
  const test::ProgramResult help = Tdeng(false, {"--help"});
  EXPECT_EQ(0u, help.Code);
  for (const char* command : {"drives", "driveinfo", "label", "format", "dir", "info", "attrib", "copy", "copydir",
                              "move", "movedir", "rename", "renamedir", "del", "mkdir", "rmdir", "find", "machine",
                              "synctime", "start", "stop", "closeall", "readconfig", "writeconfig", "connect",
                              "disconnect", "link", "makepath", "match", "pathrequest", "datarequest", "wordrequest"})
    EXPECT_NE(std::string::npos, help.Out.find(std::string("  ") + command + " ")) << command;

  // An unquoted path cut at its blank, or a path too long cut short, would
  // name another folder.
  PutFile("C:\\Old\\keep.txt", "kept");
  const Step mistakes[] = {
      {{"frobnicate"}, 2, "unknown command \"frobnicate\""},
      {{"copy", "C:\\a.txt"}, 2, "tdeng copy: missing argument"},
      {{"link", "9600"}, 2, "give both"},
      {{"attrib", "C:\\a.txt", "rx"}, 2, "\"rhsa\""},
      {{"wordrequest", "x"}, 2, "\"x\" is not a number"},
      {{"connect", "99999999999"}, 2, "beyond the numbers"},
      {{"rmdir", "C:\\Old", "Mail"}, 2, "too many arguments"},
      {{"rmdir", "C:\\Old\\" + std::string(253, 'x')}, 2, "is longer than 259 characters"},
      {{"find", "C:\\Old", "*", std::string(256, 't')}, 2, "is longer than 255 characters"},
  };
  for (const Step& m : mistakes) {
    test::ProgramResult r = Tdeng(false, m.Args);
    EXPECT_EQ(m.Code, r.Code) << m.Args[0];
    EXPECT_NE(std::string::npos, r.Out.find(m.Shows)) << r.Out;
  }
  EXPECT_EQ("kept", test::ReadFileBytes(Pc("C\\Old\\keep.txt")));

  ASSERT_EQ(S_OK, Export("DllUnregisterServer")());
  const test::ProgramResult unregistered = Tdeng(false, {"drives"});
  EXPECT_EQ(2u, unregistered.Code);
  EXPECT_NE(std::string::npos, unregistered.Out.find("0x80040154")) << unregistered.Out;
}

// Under Wine this program, and so every program it starts, runs without
// address randomisation (scripts/lib/wine.sh): with it, about one start in a
// thousand died in Wine's loader before running, and tdeng ended with 65535
// and no output, or the connection server did not start. The program's own
// Linux process is the one of its name in this prefix.
TEST(WineStart, ProgramsRunWithoutAddressRandomisation) {
  if (!GetProcAddress(GetModuleHandleA("ntdll.dll"), "wine_get_version")) GTEST_SKIP() << "not under Wine";
  char prefix[MAX_PATH] = {};
  ASSERT_TRUE(GetEnvironmentVariableA("WINEPREFIX", prefix, sizeof prefix));
  auto read = [](const std::string& path) {
    std::ifstream f(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(f), {});
  };
  const std::string self = ExtractFileName(ModuleFileName());
  std::vector<std::string> personalities;
  WIN32_FIND_DATAA fd;
  FindHandle dir(FindFirstFileA("Z:\\proc\\*", &fd));
  for (bool more = dir.Valid(); more; more = FindNextFileA(dir.Get(), &fd)) {
    if (fd.cFileName[0] < '0' || fd.cFileName[0] > '9') continue;
    const std::string proc = std::string("Z:\\proc\\") + fd.cFileName + "\\";
    const std::string program = read(proc + "cmdline").c_str();
    if (!SameText(program.substr(program.find_last_of("\\/") + 1), self)) continue;
    if (read(proc + "environ").find(std::string("WINEPREFIX=") + prefix + '\0') == std::string::npos) continue;
    personalities.push_back(read(proc + "personality"));
  }
  ASSERT_EQ(1u, personalities.size());
  EXPECT_EQ(0x0040000ul, std::strtoul(personalities[0].c_str(), nullptr, 16) & 0x0040000ul) << personalities[0];
}

}  // namespace
