// Finding files by name pattern, date, size and text, as a client of the
// asynchronous engine asks for it through its third interface.
#include <algorithm>
#include <cstring>
#include <functional>

#include "EngineFixture.h"
#include "Handles.h"

using namespace tdengine;

namespace {

// The client's find sink: the names reported as matches, and the find's end.
class Finds final : public ITDOrvWinEngineEvents3 {
 public:
  std::vector<std::string> Found;
  int Ends = 0;
  LONG Error = -1;
  bool CancelAtFirst = false;

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID, void** out) override {
    *out = nullptr;
    return E_NOINTERFACE;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return 2; }
  ULONG STDMETHODCALLTYPE Release() override { return 1; }
  HRESULT STDMETHODCALLTYPE OnFind(LONG error) override {
    Error = error;
    ++Ends;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE OnFindProgress(LONG found, const char*, ITDOrvFile* entry, LONG* cancel) override {
    if (!entry) return S_OK;
    char name[260];
    entry->GetName(name);
    entry->Release();
    if (found == 1) Found.push_back(name);
    if (found == 1 && CancelAtFirst) *cancel = 1;
    return S_OK;
  }
};

class FindTest : public ServerTest {
 protected:
  void SetUp() override {
    ServerTest::SetUp();
    std::string straddling(2045, '.');
    straddling += "NEEDLE and more";
    PutFile("C:\\Docs\\a.txt", straddling);
    PutFile("C:\\Docs\\b.txt", "nothing to see");
    PutFile("C:\\Docs\\Sub\\c.txt", "a needle here");
    PutFile("C:\\Docs\\Sub\\d.dat", std::string(3000, 'z'));
    PutFile("C:\\Documents\\Vantle\\InBox", "needle in a locked store");
    engine_ = ConnectedAsync(sink_);
    ASSERT_EQ(S_OK, engine_->QueryInterface(IID_ITDOrvWinEngine3, engine3_.PutVoid()));
    ASSERT_EQ(S_OK, engine3_->SetEvents3(&finds_));
  }
  void TearDown() override {
    engine3_.Reset();
    engine_.Reset();
    ServerTest::TearDown();
  }

  // Finds in folder and its subfolders (unless more says otherwise); the
  // find's error, with the names found sorted in Found().
  LONG Find(const char* folder, const char* pattern, LONG criteria, const char* text = nullptr,
            const std::function<void(TDFindCriteria&)>& more = {}) {
    TDFindCriteria c{};
    c.Side = Handheld;
    lstrcpynA(c.Folder, folder, sizeof c.Folder);
    lstrcpynA(c.Pattern, pattern, sizeof c.Pattern);
    c.Value = 1;
    c.DateCriteria = criteria;
    if (text) lstrcpynA(c.SearchText, text, sizeof c.SearchText);
    if (more) more(c);
    finds_.Found.clear();
    const int ends = finds_.Ends;
    EXPECT_EQ(S_OK, engine3_->Find(&c));
    EXPECT_TRUE(test::PumpUntil([&] { return finds_.Ends > ends; }));
    std::sort(finds_.Found.begin(), finds_.Found.end());
    return finds_.Error;
  }
  const std::vector<std::string>& Found() const { return finds_.Found; }

  Sink sink_;
  Finds finds_;
  ComPtr<ITDOrvWinEngine> engine_;
  ComPtr<ITDOrvWinEngine3> engine3_;
};

}  // namespace

TEST_F(FindTest, ATextStraddlingTwoBlocksIsFoundAndLockedFilesArePassedOver) {
  // Folders carry no text: the criteria pass every folder whose name matches.
  const std::vector<std::string> folders{"Docs", "Documents", "Sub", "Vantle"};
  EXPECT_EQ(0, Find("C:\\", "*.*", 0x10000, "needle"));
  std::vector<std::string> expected = folders;
  expected.insert(expected.end(), {"a.txt", "c.txt"});
  EXPECT_EQ(expected, Found());

  EXPECT_EQ(0, Find("C:\\", "*.*", 0x20000, "needle"));
  expected = folders;
  expected.push_back("c.txt");
  EXPECT_EQ(expected, Found());
}

TEST_F(FindTest, NamesAreMatchedByPatternWithAndWithoutSubfolders) {
  EXPECT_EQ(0, Find("C:\\Docs", "*.txt", 0));
  EXPECT_EQ((std::vector<std::string>{"a.txt", "b.txt", "c.txt"}), Found());

  EXPECT_EQ(0, Find("C:\\Docs", "*.TXT", 0, nullptr, [](TDFindCriteria& c) { c.Value = 0; }));
  EXPECT_EQ((std::vector<std::string>{"a.txt", "b.txt"}), Found());

  // Folders that match are reported too, unless a criterion excludes them.
  EXPECT_EQ(0, Find("C:\\Docs", "S*", 0));
  EXPECT_EQ((std::vector<std::string>{"Sub"}), Found());
}

TEST_F(FindTest, PathsTooLongForTheFindFailIt) {
  // "\\*.*" after it would make 260 characters.
  const std::string folder = install_ + std::string(256 - install_.size(), 'p');
  ASSERT_TRUE(ForceDirectories(folder));
  test::WriteFileBytes(folder + "\\a", "needle");
  EXPECT_EQ(206, Find(folder.c_str(), "*", 0, nullptr, [](TDFindCriteria& c) { c.Side = tdlink::SidePC; }));
  // A folder or pattern filled to its last byte has lost its end.
  for (const bool inFolder : {true, false})
    EXPECT_EQ(206, Find("C:\\Docs", "*", 0, nullptr,
                        [&](TDFindCriteria& c) { std::memset(inFolder ? c.Folder : c.Pattern, 'x', 260); }))
        << inFolder;
}

TEST_F(FindTest, SizeAndDateCriteriaFilterTheEntries) {
  EXPECT_EQ(0, Find("C:\\Docs", "*.*", 0, nullptr, [](TDFindCriteria& c) {
              c.SizeCriteria = 0x10000;  // at least Values[3] KB
              c.Values[3] = 2;
            }));
  EXPECT_EQ((std::vector<std::string>{"a.txt", "d.dat"}), Found());

  // Modified within the last day: all but the one dated back.
  KernelHandle h(CreateFileA(Pc("C\\Docs\\b.txt").c_str(), FILE_WRITE_ATTRIBUTES, 0, nullptr, OPEN_EXISTING, 0, nullptr));
  ASSERT_TRUE(h);
  SYSTEMTIME old{2000, 1, 0, 1, 0, 0, 0, 0};
  FILETIME ft;
  SystemTimeToFileTime(&old, &ft);
  SetFileTime(h.Get(), nullptr, nullptr, &ft);
  h.Reset();
  EXPECT_EQ(0, Find("C:\\Docs", "*.*", 4, nullptr, [](TDFindCriteria& c) { c.DateValue = 1; }));
  EXPECT_EQ((std::vector<std::string>{"a.txt", "c.txt", "d.dat"}), Found());

  // The other criteria, each alone; every one of them passes over folders.
  const std::pair<std::function<void(TDFindCriteria&)>, std::vector<std::string>> criteria[] = {
      {[&](TDFindCriteria& c) {  // modified within a range that holds only b.txt's date
         c.DateCriteria = 1;
         c.Dates[0] = static_cast<LONG>(ft.dwLowDateTime) - 1;
         c.Dates[1] = static_cast<LONG>(ft.dwHighDateTime);
         c.Dates[2] = static_cast<LONG>(ft.dwLowDateTime) + 1;
         c.Dates[3] = static_cast<LONG>(ft.dwHighDateTime);
       },
       {"b.txt"}},
      {[](TDFindCriteria& c) {  // modified within the last month
         c.DateCriteria = 2;
         c.DateValue = 1;
       },
       {"a.txt", "c.txt", "d.dat"}},
      {[](TDFindCriteria& c) {  // at most 1 KB
         c.SizeCriteria = 0x20000;
         c.Values[3] = 1;
       },
       {"b.txt", "c.txt"}},
      {[](TDFindCriteria& c) {  // the component's three values (none beyond 4 GB, then two zeros)
         c.SizeCriteria = 1;
       },
       {"a.txt", "b.txt", "c.txt", "d.dat"}},
  };
  for (const auto& [criterion, expected] : criteria) {
    EXPECT_EQ(0, Find("C:\\Docs", "*.*", 0, nullptr, criterion));
    EXPECT_EQ(expected, Found());
  }
}

TEST_F(FindTest, TheClientEndsAFindFromItsProgress) {
  finds_.CancelAtFirst = true;
  EXPECT_EQ(0, Find("C:\\Docs", "*.txt", 0));
  EXPECT_EQ(1u, Found().size());
  // The queue goes on after it.
  ASSERT_EQ(S_OK, engine_->SyncMachineTime());
  EXPECT_TRUE(test::PumpUntil([&] { return sink_.Count("OnSyncMachineTime") == 1; }));
  EXPECT_EQ(0, sink_.Last("OnSyncMachineTime"));
}
