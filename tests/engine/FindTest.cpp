// Finding files by name pattern, date, size and text through the find walk.
#include <algorithm>
#include <cstring>

#include "EngineFixture.h"
#include "Handles.h"

using namespace tdengine;

namespace {

char* Text(const char* s) {
  char* copy = new char[std::strlen(s) + 1];
  std::strcpy(copy, s);
  return copy;
}

std::vector<std::string> Reported(const ClientEngine& engine) {
  std::vector<std::string> names;
  for (const Progress& p : engine.Progresses)
    if (p.Code == progFind && p.Scratch == 1) names.push_back(p.Found);
  std::sort(names.begin(), names.end());
  return names;
}

class FindTest : public EngineTest {
 protected:
  void SetUp() override {
    EngineTest::SetUp();
    std::string straddling(2045, '.');
    straddling += "NEEDLE and more";
    PutFile("C:\\Docs\\a.txt", straddling);
    PutFile("C:\\Docs\\b.txt", "nothing to see");
    PutFile("C:\\Docs\\Sub\\c.txt", "a needle here");
    PutFile("C:\\Docs\\Sub\\d.dat", std::string(3000, 'z'));
    PutFile("C:\\Documents\\Vantle\\InBox", "needle in a locked store");
  }

  EngineRequest* Find(ClientEngine& engine, const char* folder, const char* pattern, LONG criteria,
                      const char* text = nullptr) {
    EngineRequest* r = engine.Request(opFind, Handheld, folder, 0, pattern);
    r->Value = 1;  // with subfolders
    r->Arg1 = criteria;
    if (text) r->SearchText.reset(Text(text));
    return r;
  }
};

}  // namespace

TEST_F(FindTest, ATextStraddlingTwoBlocksIsFoundAndLockedFilesArePassedOver) {
  ClientEngine engine;
  Connected(engine);
  // Folders carry no text: the criteria pass every folder whose name matches.
  const std::vector<std::string> folders{"Docs", "Documents", "Sub", "Vantle"};
  EXPECT_EQ(0, engine.Run(Find(engine, "C:\\", "*.*", 0x10000, "needle")).Error);
  std::vector<std::string> expected = folders;
  expected.insert(expected.end(), {"a.txt", "c.txt"});
  EXPECT_EQ(expected, Reported(engine));

  engine.Progresses.clear();
  EXPECT_EQ(0, engine.Run(Find(engine, "C:\\", "*.*", 0x20000, "needle")).Error);
  expected = folders;
  expected.push_back("c.txt");
  EXPECT_EQ(expected, Reported(engine));
}

TEST_F(FindTest, NamesAreMatchedByPatternWithAndWithoutSubfolders) {
  ClientEngine engine;
  Connected(engine);
  EXPECT_EQ(0, engine.Run(Find(engine, "C:\\Docs", "*.txt", 0)).Error);
  EXPECT_EQ((std::vector<std::string>{"a.txt", "b.txt", "c.txt"}), Reported(engine));

  engine.Progresses.clear();
  EngineRequest* top = Find(engine, "C:\\Docs", "*.TXT", 0);
  top->Value = 0;
  EXPECT_EQ(0, engine.Run(top).Error);
  EXPECT_EQ((std::vector<std::string>{"a.txt", "b.txt"}), Reported(engine));

  // Folders that match are reported too, unless a criterion excludes them.
  engine.Progresses.clear();
  EXPECT_EQ(0, engine.Run(Find(engine, "C:\\Docs", "S*", 0)).Error);
  EXPECT_EQ((std::vector<std::string>{"Sub"}), Reported(engine));
}

TEST_F(FindTest, SizeAndDateCriteriaFilterTheEntries) {
  ClientEngine engine;
  Connected(engine);
  EngineRequest* big = Find(engine, "C:\\Docs", "*.*", 0);
  big->Crit6 = 0x10000;  // at least Crit10 KB
  big->Crit10 = 2;
  EXPECT_EQ(0, engine.Run(big).Error);
  EXPECT_EQ((std::vector<std::string>{"a.txt", "d.dat"}), Reported(engine));

  // Modified within the last day: all but the one dated back.
  KernelHandle h(CreateFileA(Pc("C\\Docs\\b.txt").c_str(), FILE_WRITE_ATTRIBUTES, 0, nullptr, OPEN_EXISTING, 0, nullptr));
  ASSERT_TRUE(h);
  SYSTEMTIME old{2000, 1, 0, 1, 0, 0, 0, 0};
  FILETIME ft;
  SystemTimeToFileTime(&old, &ft);
  SetFileTime(h.Get(), nullptr, nullptr, &ft);
  h.Reset();
  engine.Progresses.clear();
  EngineRequest* recent = Find(engine, "C:\\Docs", "*.*", 4);
  recent->Arg2 = 1;
  EXPECT_EQ(0, engine.Run(recent).Error);
  EXPECT_EQ((std::vector<std::string>{"a.txt", "c.txt", "d.dat"}), Reported(engine));
}

TEST_F(FindTest, TheClientEndsAFindFromItsProgress) {
  ClientEngine engine;
  Connected(engine);
  engine.OnProgress = [](EngineRequest& r, WPARAM code) {
    if (code == progFind && r.Scratch == 1) r.Cancel = 1;
  };
  EXPECT_EQ(0, engine.Run(Find(engine, "C:\\Docs", "*.txt", 0)).Error);
  EXPECT_EQ(1u, Reported(engine).size());
  // The queue goes on after it.
  engine.OnProgress = nullptr;
  EXPECT_EQ(0, engine.Run(engine.Request(opSyncMachineTime)).Error);
}
