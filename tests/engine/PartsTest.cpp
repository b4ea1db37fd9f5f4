// The pieces of the engine that stand alone: path splitting, status
// translation, result objects and the connection sink's hand-over.
#include <gtest/gtest.h>

#include <cstring>

#include "EngineHarness.h"
#include "TDOrvPrcEvent.h"
#include "TDResults.h"

using namespace tdengine;

TEST(MakePath, JoinsPartsAndMeasuresThePieces) {
  TDPathInfo info;
  ASSERT_EQ(S_OK, MakePath("C:", "Docs", "a.txt", &info));
  EXPECT_STREQ("C:Docs\\a.txt", info.Path);
  EXPECT_EQ(2, info.DriveLength);
  EXPECT_EQ(5, info.FolderLength);
  EXPECT_EQ(5, info.NameLength);
  EXPECT_EQ(3, info.ExtensionLength);
  EXPECT_EQ(0, info.Wildcards);

  ASSERT_EQ(S_OK, MakePath("C:\\", "\\Docs\\", nullptr, &info));
  EXPECT_STREQ("C:\\Docs", info.Path);
  EXPECT_EQ(1, info.FolderLength);
  EXPECT_EQ(4, info.NameLength);

  ASSERT_EQ(S_OK, MakePath("C:\\Docs\\*.t?t", nullptr, nullptr, &info));
  EXPECT_EQ(1, info.Wildcards);
  ASSERT_EQ(S_OK, MakePath(nullptr, "name", nullptr, &info));
  EXPECT_STREQ("\\name", info.Path);
  EXPECT_EQ(E_FAIL, MakePath(std::string(300, 'x').c_str(), nullptr, nullptr, &info));
}

TEST(MonthsBefore, KeepsDayAndTimeUnlessTheMonthIsShorter) {
  struct Row {
    SYSTEMTIME From;
    LONG Months;
    SYSTEMTIME To;
  };
  const Row rows[] = {
      {{2027, 3, 0, 31, 10, 30, 0, 0}, 1, {2027, 2, 0, 28, 10, 30, 0, 0}},
      {{2028, 3, 0, 31, 10, 30, 0, 0}, 1, {2028, 2, 0, 29, 10, 30, 0, 0}},
      {{2027, 1, 0, 15, 8, 0, 0, 0}, 1, {2026, 12, 0, 15, 8, 0, 0, 0}},
      {{2027, 5, 0, 31, 0, 0, 0, 0}, 13, {2026, 4, 0, 30, 0, 0, 0, 0}},
      {{2027, 7, 0, 31, 23, 59, 59, 0}, 0, {2027, 7, 0, 31, 23, 59, 59, 0}},
      {{2027, 3, 0, 31, 10, 30, 0, 0}, 32767, {100, 1, 0, 1, 0, 0, 0, 0}},  // beyond the first date: from it
  };
  for (const Row& row : rows) {
    double expected = 0;
    ASSERT_TRUE(SystemTimeToVariantTime(const_cast<SYSTEMTIME*>(&row.To), &expected));
    EXPECT_DOUBLE_EQ(expected, MonthsBefore(row.From, row.Months))
        << row.From.wYear << "-" << row.From.wMonth << "-" << row.From.wDay << " less " << row.Months;
  }
}

TEST(TranslateStatus, MapsTheComponentsCodesAndEverythingElseToGeneralFailure) {
  const std::pair<LONG, LONG> table[] = {
      {0, 0},      {-1, 2},      {-3, 995},   {-39, 995}, {-4, 14},    {-5, 50},    {-6, 160},   {-7, 534},
      {-40, 534},  {-8, 6},      {-11, 183},  {-12, 3},   {-13, 1067}, {-15, 1067}, {-14, 33},   {-22, 33},
      {-16, 170},  {-502, 170},  {-17, 1237}, {-18, 21},  {-20, 1392}, {-21, 5},    {-23, 29},   {-25, 38},
      {-26, 112},  {-43, 112},   {-27, 119},  {-28, 123}, {-33, 1121}, {-34, 2250}, {-36, 2250}, {-500, 2250},
      {-35, 2402}, {-501, 2402}, {-2, 31},    {-19, 31},  {-24, 31},   {1, 31},     {-999, 31},
  };
  for (auto [status, error] : table) EXPECT_EQ(error, TranslateStatus(status)) << status;
}

TEST(ResultObjects, DirectoriesEnumerateOnlyWhenCompleteAndFromTheirReset) {
  ComPtr<CTDOrvDirectory> dir = ComPtr<CTDOrvDirectory>::Attach(new CTDOrvDirectory());
  BYTE block[tdlink::EntryBlockSize] = {};
  for (const char* name : {"one", "two", "three"}) {
    ComPtr<CTDOrvFile> f = MakeObject<CTDOrvFile>();
    lstrcpyA(reinterpret_cast<char*>(block + 28), name);
    f->Fill(2, block);
    ASSERT_EQ(0, dir->AddEntry(std::move(f)));
  }
  ITDOrvFile* got[4] = {};
  ULONG fetched = 7;
  EXPECT_EQ(E_UNEXPECTED, dir->Next(1, got, &fetched));
  EXPECT_EQ(0u, fetched);
  EXPECT_EQ(E_UNEXPECTED, dir->Skip(1));
  dir->Complete = 1;
  EXPECT_EQ(S_OK, dir->Next(4, got, &fetched));
  EXPECT_EQ(0u, fetched);
  dir->Reset();
  EXPECT_EQ(S_OK, dir->Skip(1));
  EXPECT_EQ(S_OK, dir->Next(4, got, &fetched));
  ASSERT_EQ(2u, fetched);
  char name[260];
  got[0]->GetName(name);
  EXPECT_STREQ("two", name);
  EXPECT_EQ(S_OK, dir->Skip(10));
  EXPECT_EQ(S_OK, dir->Next(1, got, &fetched));
  EXPECT_EQ(0u, fetched);
  EXPECT_EQ(nullptr, got[0]);
}

TEST(ResultObjects, AFileCloneIsIndependentAndRecordsReadOnlyOnceFilled) {
  long live = ComModule::LiveObjects();
  {
    ComPtr<CTDOrvFile> file = ComPtr<CTDOrvFile>::Attach(new CTDOrvFile());
    BYTE block[tdlink::EntryBlockSize] = {};
    block[0] = 0x10;
    block[4] = 7;
    lstrcpyA(reinterpret_cast<char*>(block + 28), "Folder");
    lstrcpyA(reinterpret_cast<char*>(block + 284), "FOLDER~1");
    file->Fill(2, block);
    ComPtr<ITDOrvFile> copy;
    ASSERT_EQ(S_OK, file->Clone(copy.Put()));
    file->Info.Size = 99;
    TDFileInfo* info;
    copy->GetInfo(&info);
    EXPECT_EQ(7u, info->Size);
    EXPECT_EQ(0x10u, info->Attributes);
    char second[14];
    copy->GetSecondName(second);
    EXPECT_STREQ("FOLDER~1", second);

    ComPtr<CTDOrvDrive> drive = ComPtr<CTDOrvDrive>::Attach(new CTDOrvDrive());
    ComPtr<CTDOrvMachine> machine = ComPtr<CTDOrvMachine>::Attach(new CTDOrvMachine());
    TDDriveInfo* d;
    TDMachineInfo* m;
    EXPECT_EQ(E_UNEXPECTED, drive->GetInfo(&d));
    EXPECT_EQ(E_UNEXPECTED, machine->GetInfo(&m));
    ComPtr<IUnknown> unknown;
    EXPECT_EQ(E_NOINTERFACE, drive->QueryInterface(IID_ITDOrvMachine, unknown.PutVoid()));
    EXPECT_EQ(S_OK, drive->QueryInterface(IID_ITDOrvDrive, unknown.PutVoid()));
  }
  EXPECT_EQ(live, ComModule::LiveObjects());
}

TEST(ConnectionSink, CopiesDataOnlyForSuccessBoundsItAndAlwaysPosts) {
  CTDMessageWnd window;  // without its thread: it only collects what the sink posts
  window.Buffer.reset(new BYTE[CTDMessageWnd::BufferSize]());
  ASSERT_TRUE(window.CreateHidden());
  auto* sink = new CTDOrvPrcEvent();
  sink->Window = &window;
  auto posted = [&](UINT message) {
    MSG m;
    bool got = PeekMessageA(&m, window.Handle(), message, message, PM_REMOVE);
    return got ? static_cast<LONG>(m.lParam) : 12345;
  };

  std::memset(window.Buffer.get(), 0xAB, CTDMessageWnd::BufferSize);
  sink->FileOpened(-1, 77);
  EXPECT_EQ(-1, posted(WM_USER + 0x524));
  EXPECT_EQ(0xAB, window.Buffer[0]);

  sink->FileOpened(0, 77);
  EXPECT_EQ(0, posted(WM_USER + 0x524));
  EXPECT_EQ(77, window.Buffer[0]);

  sink->FileRead(0, "", 0);
  EXPECT_EQ(0, posted(WM_USER + 0x526));
  LONG length;
  std::memcpy(&length, window.Buffer.get(), 4);
  EXPECT_EQ(0, length);

  std::string big(5000, 'q');
  sink->FileRead(0, big.data(), static_cast<LONG>(big.size()));
  EXPECT_EQ(0, posted(WM_USER + 0x526));
  std::memcpy(&length, window.Buffer.get(), 4);
  EXPECT_EQ(2052, length);

  std::string longName(400, 'n');
  sink->ProgramFound(0, longName.c_str(), "C:\\App");
  EXPECT_EQ(0, posted(WM_USER + 0x51E));
  EXPECT_EQ(259u, std::strlen(reinterpret_cast<char*>(window.Buffer.get())));
  EXPECT_STREQ("C:\\App", reinterpret_cast<char*>(window.Buffer.get() + 260));

  sink->FormatOpened(0, 5, 9);
  EXPECT_EQ(0, posted(WM_USER + 0x51A));
  std::memcpy(&length, window.Buffer.get() + 2052, 4);
  EXPECT_EQ(9, length);

  // Slots the engine ignores post nothing; both closing slots post the same message.
  sink->Notice3(1, 2);
  sink->Notice45(1);
  MSG m;
  EXPECT_FALSE(PeekMessageA(&m, window.Handle(), 0, 0, PM_REMOVE));
  sink->ProgramsNone(-25);
  sink->ProgramClosed(0);
  EXPECT_EQ(-25, posted(WM_USER + 0x51F));
  EXPECT_EQ(0, posted(WM_USER + 0x51F));

  ComPtr<IUnknown> events;
  EXPECT_EQ(S_OK, sink->QueryInterface(tdlink::IID_ITDLinkEvents, events.PutVoid()));
  events.Reset();
  sink->ExternalRelease();
}
