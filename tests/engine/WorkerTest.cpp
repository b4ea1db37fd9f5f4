// The worker against the connection component and server stand-ins: the
// connection's life, the queue, the operations and their error codes; what a
// client sees of them through the synchronous class, the rest through the
// harness, which reaches the worker directly.
#include <algorithm>
#include <cstring>
#include <utility>

#include "EngineFixture.h"
#include "Handles.h"
#include "TDResults.h"

using namespace tdengine;

namespace {

size_t Count(const std::vector<Reply>& replies, LONG op) {
  size_t n = 0;
  for (const Reply& r : replies) n += r.Op == op;
  return n;
}

}  // namespace

TEST_F(EngineTest, ConnectStartsTheServerWithoutTimeOutAndRefusesASecondConnect) {
  ClientEngine engine;
  ASSERT_EQ(0, engine.Init());
  EXPECT_EQ(1, engine.LinkState.load());
  ASSERT_FALSE(ServerRunning());

  EXPECT_EQ(0, engine.Run(NewConnect(engine, 0)).Error);
  EXPECT_TRUE(ServerRunning());
  EXPECT_EQ(3, engine.LinkState.load());

  EXPECT_EQ(2402, engine.Run(NewConnect(engine, 5000)).Error);
  EXPECT_EQ(3, engine.LinkState.load());

  // An operation needs no more than the link.
  EXPECT_EQ(0, engine.Run(engine.Request(opSyncMachineTime)).Error);
}

TEST_F(EngineTest, OperationsBeforeConnectAndAfterDisconnectAreNotConnected) {
  ClientEngine engine;
  ASSERT_EQ(0, engine.Init());
  EXPECT_EQ(2250, engine.Run(engine.Request(opGetDrives, Handheld)).Error);
  EXPECT_EQ(2250, engine.Run(engine.Request(opDisconnect)).Error);

  ASSERT_EQ(0, engine.Run(NewConnect(engine, 0)).Error);
  EXPECT_EQ(0, engine.Run(engine.Request(opDisconnect)).Error);
  EXPECT_EQ(1, engine.LinkState.load());
  EXPECT_EQ(2250, engine.Run(engine.Request(opGetDrives, Handheld)).Error);
}

TEST_F(EngineTest, ConnectWhileTheHandheldIsAwayTimesOutAndStopsWanting) {
  tandel::SetLinkUp(false);
  StartServer();
  ASSERT_TRUE(ServerRunning());
  ClientEngine engine;
  ASSERT_EQ(0, engine.Init());
  EXPECT_EQ(1121, engine.Run(NewConnect(engine, 300)).Error);
  EXPECT_EQ(0, engine.Thread->ConnectWanted.load());
  EXPECT_EQ(1, engine.LinkState.load());

  // The link coming up later connects nobody who stopped asking.
  tandel::SetLinkUp(true);
  engine.PumpFor(400);
  EXPECT_EQ(1, engine.LinkState.load());
  EXPECT_TRUE(engine.Failures.empty());
}

TEST_F(EngineTest, ConnectWaitsForTheHandheldAndTheBroadcastConnectsIt) {
  tandel::SetLinkUp(false);
  ClientEngine engine;
  ASSERT_EQ(0, engine.Init());
  engine.Post(NewConnect(engine, 0));
  engine.PumpFor(300);
  EXPECT_TRUE(engine.Replies.size() == 1);  // only the open so far
  tandel::SetLinkUp(true);
  ASSERT_TRUE(engine.PumpUntil([&] { return Count(engine.Replies, opConnect) == 1; }));
  EXPECT_EQ(0, engine.Replies.back().Error);
  EXPECT_EQ(3, engine.LinkState.load());
}

TEST_F(EngineTest, ConnectFailsWithNotReadyWhenTheServerCannotStart) {
  test::RegistrySnapshot key(HKEY_CURRENT_USER, tdlink::ServerKey);
  TRegistry reg;
  reg.SetRootKey(HKEY_CURRENT_USER);
  ASSERT_TRUE(reg.OpenKey(tdlink::ServerKey, true));
  reg.WriteString(tdlink::ServerDirValue, install_ + "NoServerHere\\");
  ClientEngine engine;
  ASSERT_EQ(0, engine.Init());
  EXPECT_EQ(21, engine.Run(NewConnect(engine, 0)).Error);
  EXPECT_EQ(1, engine.LinkState.load());
}

TEST_F(EngineTest, ADroppedLinkQueuesOneDisconnectAndLaterOperationsAreNotConnected) {
  ClientEngine engine;
  Connected(engine);
  tandel::SetLinkUp(false);
  ASSERT_TRUE(engine.PumpUntil([&] { return Count(engine.Replies, opDisconnect) == 1; }));
  engine.PumpFor(300);
  EXPECT_EQ(1u, Count(engine.Replies, opDisconnect));
  const Reply& d = engine.Replies.back();
  EXPECT_EQ(opDisconnect, d.Op);
  EXPECT_EQ(1, d.Notify);
  EXPECT_EQ(0, d.Error);
  EXPECT_EQ(1, engine.LinkState.load());
  EXPECT_EQ(2250, engine.Run(engine.Request(opSyncMachineTime)).Error);
}

TEST_F(EngineTest, ALinkDroppedByAnotherProcessFailsTheNextOperation) {
  ClientEngine engine;
  Connected(engine);
  ASSERT_EQ(0, engine.Run(engine.Request(opSyncMachineTime)).Error);  // the handheld's state has been read
  ASSERT_EQ(0u, test::RunProgram("tandel-handheld.exe", {"link", "down"}).Code);
  EXPECT_EQ(2250, engine.Run(engine.Request(opSyncMachineTime)).Error);
}

TEST_F(EngineTest, AConnectionServerStartedWhileTheClientTakesAProgressKeepsRunning) {
  PutFile("C:\\Docs\\a.txt", "a");
  ClientEngine engine;
  Connected(engine);
  bool restarted = false;
  engine.OnProgress = [&](EngineRequest&, WPARAM) {
    if (std::exchange(restarted, true)) return;
    // Another program ends the server and starts it again meanwhile.
    HWND server = tdlink::FindServerWindow();
    DWORD pid = 0;
    GetWindowThreadProcessId(server, &pid);
    KernelHandle process(OpenProcess(SYNCHRONIZE, FALSE, pid));
    PostMessageA(server, WM_CLOSE, 0, 0);
    ASSERT_EQ(WAIT_OBJECT_0, WaitForSingleObject(process.Get(), 10000));
    StartServer();
  };
  EXPECT_EQ(0, engine.Run(engine.Request(opCopyFile, Handheld, "C:\\Docs\\a.txt", Handheld, "C:\\Docs\\b.txt")).Error);
  EXPECT_TRUE(restarted);
  EXPECT_NE(nullptr, tdlink::FindServerWindow());
}

TEST_F(EngineTest, AnOperationAfterTheServerEndedIsNotConnectedAndQueuesADisconnect) {
  ClientEngine engine;
  Connected(engine);
  StopServer();
  EXPECT_EQ(2250, engine.Run(engine.Request(opGetDrives, Handheld)).Error);
  ASSERT_TRUE(engine.PumpUntil([&] { return Count(engine.Replies, opDisconnect) == 1; }));
  EXPECT_EQ(1, engine.Replies.back().Notify);
  EXPECT_EQ(1, engine.LinkState.load());
  EXPECT_EQ(0, engine.Thread->ConnectWanted.load());
}

TEST_F(EngineTest, StoppingPurgesTheQueueAndAbortsTheRunningRequestWithoutReply) {
  Setting(tdlink::SilentSlotValue, 37);  // the first request never gets its answer
  ClientEngine engine;
  Connected(engine);
  size_t before = engine.Replies.size();
  for (int i = 0; i < 50; ++i) engine.Post(engine.Request(opSyncMachineTime));
  engine.PumpFor(100);
  engine.Stop();
  EXPECT_EQ(before, engine.Replies.size());
  EXPECT_TRUE(engine.Failures.empty());
}

TEST_F(SyncTest, DrivesAreListedAsAMaskAndADriveWithoutMediaIsNotReady) {
  ASSERT_TRUE(ForceDirectories(install_ + "Handheld\\A"));
  test::WriteFileBytes(install_ + "Handheld\\A\\$NOMEDIA", "");
  ITDOrvWinEngineS* e = Connected().E.Get();
  LONG error = -1;

  char list[260] = {};
  TDPathRecord side = Path("");
  e->GetDrives(&error, &side, list, sizeof list);
  EXPECT_EQ(0, error);
  EXPECT_EQ((std::vector<std::string>{"A:\\", "C:\\"}), Entries(std::string(list, sizeof list)));
  EXPECT_EQ(std::string("A:\\\0C:\\\0\0", 9), std::string(list, 9));

  TDPathRecord a = Path("a:\\");
  ComPtr<ITDOrvDrive> aInfo;
  e->GetDriveInfo(&error, &a, aInfo.Put());
  EXPECT_EQ(21, error);
  TDDriveInfo* info = nullptr;
  EXPECT_EQ(E_UNEXPECTED, aInfo->GetInfo(&info));

  TDPathRecord c = Path("c:\\");
  e->LabelDrive(&error, &c, "MAIL");
  ComPtr<ITDOrvDrive> cInfo;
  e->GetDriveInfo(&error, &c, cInfo.Put());
  EXPECT_EQ(0, error);
  EXPECT_STREQ("C:\\", c.Path);  // upper-cased for the component
  ASSERT_EQ(S_OK, cInfo->GetInfo(&info));
  EXPECT_STREQ("C:", info->Text1);
  EXPECT_STREQ("MAIL", info->Text2);
  EXPECT_EQ(1u, info->Values[0]);
}

TEST_F(SyncTest, FileOperationsReportTheComponentsTranslatedStatus) {
  PutFile("C:\\Docs\\a.txt", "alpha");
  SyncClient& client = Connected();
  ITDOrvWinEngineS* e = client.E.Get();
  auto info = [&](const char* path, ComPtr<ITDOrvFile>& file) {
    TDPathRecord p = Path(path);
    LONG error = -1;
    e->GetFileInfo(&error, &p, file.Put());
    return error;
  };

  ComPtr<ITDOrvFile> file;
  EXPECT_EQ(0, info("C:\\Docs\\a.txt", file));
  TDFileInfo* f = nullptr;
  ASSERT_EQ(S_OK, file->GetInfo(&f));
  EXPECT_STREQ("a.txt", f->Name);
  EXPECT_EQ(5u, f->Size);
  EXPECT_EQ(Handheld, f->Side);
  EXPECT_EQ(2, info("C:\\Docs\\none.txt", file));
  EXPECT_EQ(3, info("C:\\Nowhere\\none.txt", file));

  TDPathRecord a = Path("C:\\Docs\\a.txt");
  LONG error = -1;
  e->RenameFile(&error, &a, "b.txt");
  EXPECT_EQ(0, error);
  EXPECT_EQ("alpha", test::ReadFileBytes(Pc("C\\Docs\\b.txt")));
  const auto createDirectory = &ITDOrvWinEngineS::CreateDirectory;
  EXPECT_EQ(0, client.Call(createDirectory, "C:\\Docs\\Sub"));
  EXPECT_EQ(183, client.Call(createDirectory, "C:\\Docs\\Sub\\"));
  EXPECT_EQ(0, client.Call(&ITDOrvWinEngineS::DeleteFile, "C:\\Docs\\b.txt"));
  EXPECT_EQ(2, client.Call(&ITDOrvWinEngineS::DeleteFile, "C:\\Docs\\b.txt"));
  EXPECT_EQ(3, client.Call(createDirectory, "C:\\No\\Such\\Folder"));
}

TEST_F(SyncTest, CopyOntoItselfAndADirectoryIntoItsOwnSubtreeAreRefusedAtOnce) {
  PutFile("C:\\Docs\\a.txt", "alpha");
  PutFile("C:\\Docs\\Sub\\b.txt", "beta");
  SyncClient& client = Connected();
  const auto copyDirectory = &ITDOrvWinEngineS::CopyDirectory;

  EXPECT_EQ(183, client.Call(&ITDOrvWinEngineS::CopyFile, "C:\\Docs\\a.txt", "c:\\docs\\A.TXT"));
  EXPECT_TRUE(client.N.Percents.empty());  // never got as far as the component
  EXPECT_EQ("alpha", test::ReadFileBytes(Pc("C\\Docs\\a.txt")));

  EXPECT_EQ(123, client.Call(copyDirectory, "C:\\Docs", "C:\\Docs\\Sub"));
  EXPECT_EQ(123, client.Call(copyDirectory, "C:\\Docs", "C:\\Docs"));
  EXPECT_EQ(183, client.Call(copyDirectory, "C:\\Docs\\Sub", "C:\\Docs"));

  // A source named with its trailing backslash is copied under its own name.
  ASSERT_TRUE(ForceDirectories(Pc("C\\Copies")));
  EXPECT_EQ(0, client.Call(copyDirectory, "C:\\Docs\\", "C:\\Copies\\"));
  EXPECT_EQ("beta", test::ReadFileBytes(Pc("C\\Copies\\Docs\\Sub\\b.txt")));

  // A folder whose name merely begins like the source's is no subtree.
  ASSERT_TRUE(ForceDirectories(Pc("C\\Docsarchive")));
  EXPECT_EQ(0, client.Call(copyDirectory, "C:\\Docs", "C:\\Docsarchive"));
  EXPECT_EQ("beta", test::ReadFileBytes(Pc("C\\Docsarchive\\Docs\\Sub\\b.txt")));
  EXPECT_EQ("alpha", test::ReadFileBytes(Pc("C\\Docsarchive\\Docs\\a.txt")));

  // The target exists now: only the replace flag copies over it.
  EXPECT_EQ(183, client.Call(copyDirectory, "C:\\Docs", "C:\\Docsarchive"));
  EXPECT_EQ(0, client.Call(copyDirectory, "C:\\Docs", "C:\\Docsarchive", 1));

  // A drive, named with or without its backslash, has no name of its own: it
  // is copied into the target folder itself.
  const std::string pcFolder = install_ + "PcSide";
  ASSERT_TRUE(ForceDirectories(pcFolder));
  for (const char* drive : {"C:\\", "C:"}) {
    DeleteFileA((pcFolder + "\\Docs\\Sub\\b.txt").c_str());
    TDPathRecord from = Path(drive), to = Path(pcFolder.c_str(), tdlink::SidePC);
    LONG error = -1;
    client.E->CopyDirectory(&error, &from, &to, 1);
    EXPECT_EQ(0, error) << drive;
    EXPECT_EQ("beta", test::ReadFileBytes(pcFolder + "\\Docs\\Sub\\b.txt")) << drive;
  }
}

TEST_F(SyncTest, APathLongerThanARequestHoldsFailsInsteadOfReachingAShorterOne) {
  // Folders of the PC whose paths are n characters long.
  auto pcFolder = [&](size_t n, const char* file) {
    std::string folder = install_ + std::string(n - install_.size(), 'p');
    EXPECT_TRUE(ForceDirectories(ExtractFilePath(folder + "\\" + file)));
    test::WriteFileBytes(folder + "\\" + file, "keep");
    return folder;
  };
  PutFile("C:\\Src\\abcdefghij.txt", "new");
  // The copy of abcdefghij.txt would be 263 characters long; cut to 259, it is
  // the file beside it.
  const std::string target = pcFolder(244, "Src\\abcdefghij");
  const std::string renamed = pcFolder(253, "a.txt");
  SyncClient& client = Connected();

  TDPathRecord from = Path("C:\\Src"), to = Path(target.c_str(), tdlink::SidePC);
  LONG error = -1;
  client.E->CopyDirectory(&error, &from, &to, 1);
  EXPECT_EQ(206, error);
  EXPECT_EQ("keep", test::ReadFileBytes(target + "\\Src\\abcdefghij"));

  TDPathRecord file = Path((renamed + "\\a.txt").c_str(), tdlink::SidePC);
  client.E->RenameFile(&error, &file, "a.txt.bak");
  EXPECT_EQ(206, error);
  client.E->RenameFile(&error, &file, "b.txt");  // 259 characters still fit
  EXPECT_EQ(0, error);
  EXPECT_EQ("keep", test::ReadFileBytes(renamed + "\\b.txt"));

  // A path record filled to its last byte, without its end, names no shorter file.
  TDPathRecord full = Path("", tdlink::SidePC);
  std::memcpy(full.Path, (renamed + "\\b.txtx").c_str(), sizeof full.Path);
  client.E->DeleteFile(&error, &full);
  EXPECT_EQ(206, error);
  EXPECT_EQ("keep", test::ReadFileBytes(renamed + "\\b.txt"));
  struct {
    TDPathRecord Drive;
    char After[4];
  } unended{Path(""), "abc"};
  std::memset(unended.Drive.Path, 'c', sizeof unended.Drive.Path);
  ComPtr<ITDOrvDrive> drive;
  client.E->GetDriveInfo(&error, &unended.Drive, drive.Put());
  EXPECT_EQ(206, error);
  EXPECT_STREQ("abc", unended.After);  // upper-casing the drive stopped at the record's end
}

TEST_F(SyncTest, ACopyCancelledFromItsProgressSucceedsAndLeavesNoTarget) {
  PutFile("C:\\Docs\\big.bin", std::string(300 * 1024, 'x'));
  SyncClient& client = Connected();
  const auto copy = &ITDOrvWinEngineS::CopyFile;

  for (size_t at : {1u, 3u}) {
    client.N.Percents.clear();
    client.N.Cancel = [&](SHORT) { return client.N.Percents.size() == at; };
    EXPECT_EQ(0, client.Call(copy, "C:\\Docs\\big.bin", "C:\\Docs\\c1.bin")) << at;
    EXPECT_EQ(at, client.N.Percents.size());
    EXPECT_EQ(INVALID_FILE_ATTRIBUTES, GetFileAttributesA(Pc("C\\Docs\\c1.bin").c_str())) << at;
  }

  client.N.Cancel = nullptr;
  client.N.Percents.clear();
  EXPECT_EQ(0, client.Call(copy, "C:\\Docs\\big.bin", "C:\\Docs\\c3.bin"));
  EXPECT_EQ(300u * 1024, test::ReadFileBytes(Pc("C\\Docs\\c3.bin")).size());
  ASSERT_FALSE(client.N.Percents.empty());
  EXPECT_EQ(0, client.N.Percents.front());
  EXPECT_EQ(100, client.N.Percents.back());

  // Without the replace flag an existing target stays; a move deletes its source.
  EXPECT_EQ(183, client.Call(copy, "C:\\Docs\\big.bin", "C:\\Docs\\c3.bin"));
  ASSERT_TRUE(ForceDirectories(Pc("C\\Arch")));
  EXPECT_EQ(0, client.Call(&ITDOrvWinEngineS::MoveFile, "C:\\Docs\\c3.bin", "C:\\Arch\\"));
  EXPECT_EQ(INVALID_FILE_ATTRIBUTES, GetFileAttributesA(Pc("C\\Docs\\c3.bin").c_str()));
  EXPECT_NE(INVALID_FILE_ATTRIBUTES, GetFileAttributesA(Pc("C\\Arch\\c3.bin").c_str()));

  // Each file of a folder is copied as a single copy is, and a stop at a
  // file's 0 percent ends the whole copy there, successfully.
  for (const char* f : {"a", "b", "c"}) PutFile(std::string("C:\\Set\\") + f + ".txt", f);
  const auto copyDirectory = &ITDOrvWinEngineS::CopyDirectory;
  client.N.Percents.clear();
  EXPECT_EQ(0, client.Call(copyDirectory, "C:\\Set", "C:\\Arch"));
  EXPECT_EQ(3u, client.N.Files.size());
  EXPECT_EQ((std::vector<SHORT>{0, 100, 0, 100, 0, 100}), client.N.Percents);
  client.N.Files.clear();
  client.N.Cancel = [&](SHORT percent) { return percent == 0 && client.N.Files.size() == 2; };
  EXPECT_EQ(0, client.Call(copyDirectory, "C:\\Set", "C:\\Docs"));
  EXPECT_EQ(2u, client.N.Files.size());
  int copied = 0;
  for (const char* f : {"a", "b", "c"})
    copied += GetFileAttributesA(Pc(std::string("C\\Docs\\Set\\") + f + ".txt").c_str()) != INVALID_FILE_ATTRIBUTES;
  EXPECT_EQ(1, copied);
}

TEST_F(SyncTest, CopiesOfEverySizeArriveWholeAlsoOverAnExistingTarget) {
  SyncClient& client = Connected();
  // Sizes around the small first blocks, the large ones after them, a large
  // one's first pass through the copy's buffer, and their ends.
  for (size_t size : {0u, 1u, 65536u, 65537u, 262144u, 262145u, 1048576u, 1048577u, 1310720u, 1310721u,
                       5u * 1048576u + 123u}) {
    SCOPED_TRACE(size);
    std::string data(size, '\0');
    for (size_t i = 0; i < size; ++i) data[i] = static_cast<char>(i * 7 + i / 65536);
    PutFile("C:\\Docs\\src.bin", data);
    PutFile("C:\\Docs\\dst.bin", "an older file in the way");
    EXPECT_EQ(0, client.Call(&ITDOrvWinEngineS::CopyFile, "C:\\Docs\\src.bin", "C:\\Docs\\dst.bin", 1));
    EXPECT_TRUE(test::ReadFileBytes(Pc("C\\Docs\\dst.bin")) == data);
    EXPECT_TRUE(NoCopyLeftOf("C\\Docs\\dst.bin"));
  }
}

TEST_F(SyncTest, ALinkDroppedMidCopyFailsTheCopyAndLeavesNoTargetAndTheClientIsTold) {
  PutFile("C:\\Docs\\big.bin", std::string(300 * 1024, 'x'));
  Setting(tdlink::DropAfterValue, 2);
  SyncClient& client = Connected();
  EXPECT_EQ(2250, client.Call(&ITDOrvWinEngineS::CopyFile, "C:\\Docs\\big.bin", "C:\\Docs\\c.bin"));
  EXPECT_EQ(INVALID_FILE_ATTRIBUTES, GetFileAttributesA(Pc("C\\Docs\\c.bin").c_str()));
  EXPECT_TRUE(NoCopyLeftOf("C\\Docs\\c.bin"));
  // The disconnection that follows is no call's: it reaches the client's notices.
  EXPECT_TRUE(test::PumpUntil([&] { return client.N.Disconnects == 1; }));
  EXPECT_EQ(2250, client.Call(&ITDOrvWinEngineS::DeleteFile, "C:\\Docs\\big.bin"));
}

TEST_F(SyncTest, ADirectoryIsListedToItsEndWithoutError) {
  PutFile("C:\\Docs\\a.txt", "a");
  PutFile("C:\\Docs\\b.txt", "bb");
  ASSERT_TRUE(ForceDirectories(Pc("C\\Docs\\Sub")));
  ITDOrvWinEngineS* e = Connected().E.Get();
  auto list = [&](const char* path, ComPtr<ITDOrvDirectory>& dir, LONG* value = nullptr) {
    TDPathRecord p = Path(path);
    LONG error = -1;
    e->GetDirectory(&error, &p, dir.Put(), value);
    return error;
  };

  ComPtr<ITDOrvDirectory> dir;
  LONG value = -1;
  EXPECT_EQ(0, list("C:\\Docs\\*.*", dir, &value));
  EXPECT_EQ(0, value);
  ITDOrvFile* got[5] = {};
  ULONG fetched = 9;
  EXPECT_EQ(S_OK, dir->Next(5, got, &fetched));  // nothing before Reset
  EXPECT_EQ(0u, fetched);
  dir->Reset();
  EXPECT_EQ(S_OK, dir->Next(5, got, &fetched));
  ASSERT_EQ(3u, fetched);
  std::vector<std::string> names;
  for (ULONG i = 0; i < fetched; ++i) {
    char name[260];
    got[i]->GetName(name);
    names.push_back(name);
  }
  std::sort(names.begin(), names.end());
  EXPECT_EQ((std::vector<std::string>{"Sub", "a.txt", "b.txt"}), names);

  // A missing folder right below the root lists as empty; deeper it is an error.
  ComPtr<ITDOrvDirectory> none, deep;
  EXPECT_EQ(0, list("C:\\Missing", none));
  EXPECT_EQ(S_OK, none->Next(1, got, &fetched));
  EXPECT_EQ(0u, fetched);
  EXPECT_EQ(3, list("C:\\Missing\\Deeper\\*.*", deep));
  EXPECT_EQ(E_UNEXPECTED, deep->Next(1, got, &fetched));
}

TEST_F(EngineTest, MachineInformationCompletesExactlyOnce) {
  PutFile("C:\\Docs\\a.txt", "alpha");
  ClientEngine engine;
  Connected(engine);
  Reply owner = engine.Run(engine.Request(opGetMachineInfo, Handheld));
  EXPECT_EQ(0, owner.Error);
  EXPECT_STREQ("Handheld Owner", owner.Path.c_str());
  EXPECT_EQ(5, owner.Value);
  engine.PumpFor(200);
  EXPECT_EQ(1u, Count(engine.Replies, opGetMachineInfo));

  // Without a result object to fill the answer is a general failure.
  EXPECT_EQ(31, engine.Run(engine.Request(opGetFileInfo, Handheld, "C:\\Docs\\a.txt")).Error);
  EXPECT_EQ(31, engine.Run(engine.Request(opGetExtraMachineInfo, Handheld)).Error);
  EXPECT_EQ(31, engine.Run(engine.Request(opGetDriveInfo, Handheld, "C:\\")).Error);
  EXPECT_EQ(31, engine.Run(engine.Request(opGetDirectory, Handheld, "C:\\*.*")).Error);

  ComPtr<CTDOrvMachine> machine = ComPtr<CTDOrvMachine>::Attach(new CTDOrvMachine());
  EngineRequest* r = engine.Request(opGetExtraMachineInfo, Handheld);
  r->Result = machine.Get();
  EXPECT_EQ(0, engine.Run(r).Error);
  TDMachineInfo* info;
  ASSERT_EQ(S_OK, machine->GetInfo(&info));
  EXPECT_STREQ("Corran 5", info->Text1);
  EXPECT_EQ(-2, info->Value5);
  EXPECT_EQ(5, info->Byte1);
  EXPECT_EQ(124u, info->Values8[0]);
  EXPECT_EQ(148u, info->Values8[1]);
  EXPECT_EQ(1u, info->Flag1);
  EXPECT_NE(0, info->DateText[0]);
}

TEST_F(EngineTest, MachineInformationWhoseSecondAnswerFailsCompletesOnceWithTheError) {
  // The component's calls: Advise and the state query at Connect, the owner, the value.
  Setting(tdlink::FailCallValue, 4);
  Setting(tdlink::FailStatusValue, static_cast<DWORD>(-21));
  ClientEngine engine;
  Connected(engine);
  EXPECT_EQ(5, engine.Run(engine.Request(opGetMachineInfo, Handheld)).Error);
  engine.PumpFor(200);
  EXPECT_EQ(1u, Count(engine.Replies, opGetMachineInfo));
}

TEST_F(EngineTest, TheGuardEndsACallTheComponentNeverAnswers) {
  CTDMessageWnd::GuardTimeout = 300;
  Setting(tdlink::SilentSlotValue, 37);
  ClientEngine engine;
  Connected(engine);
  EXPECT_EQ(1121, engine.Run(engine.Request(opSyncMachineTime)).Error);
  // The word request has no answer at all: the guard ends it as well.
  EngineRequest* w = engine.Request(opWordRequest);
  EXPECT_EQ(1121, engine.Run(w).Error);
  // The queue goes on.
  EXPECT_EQ(0, engine.Run(engine.Request(opGetDrives, Handheld)).Error);
}

TEST_F(EngineTest, TheLateAnswerOfAStalledCopyEndedByTheGuardReachesNoOtherRequestNorTheClient) {
  CTDMessageWnd::GuardTimeout = 300;
  Setting(tdlink::HoldAfterValue, 1);
  PutFile("C:\\Docs\\big.bin", std::string(1024 * 1024, 'x'));
  ClientEngine engine;
  Connected(engine);
  for (bool queuedBehind : {true, false}) {
    SCOPED_TRACE(queuedBehind);
    EngineRequest* copy = engine.Request(opCopyFile, Handheld, "C:\\Docs\\big.bin", Handheld, "C:\\Docs\\copy.bin");
    if (queuedBehind) {
      copy->Crit9 = 1;
      engine.Post(copy);  // the guard ends it while the next one waits behind it
    } else {
      EXPECT_EQ(1121, engine.Run(copy).Error);
    }
    EXPECT_EQ(ERROR_FILE_NOT_FOUND, engine.Run(engine.Request(opSetAttributes, Handheld, "C:\\Docs\\none")).Error);
  }
  auto first = std::find_if(engine.Replies.begin(), engine.Replies.end(), [](const Reply& r) { return r.Tag == 1; });
  ASSERT_NE(engine.Replies.end(), first);
  EXPECT_EQ(1121, first->Error);
  EXPECT_EQ(2u, Count(engine.Replies, opCopyFile));
  EXPECT_TRUE(engine.Failures.empty());  // no second completion of either copy
}

TEST_F(SyncTest, DirectoriesAreDeletedAndMovedWithTheirSubtrees) {
  PutFile("C:\\Old\\a.txt", "a");
  PutFile("C:\\Old\\Sub\\b.txt", "b");
  PutFile("C:\\Old\\Sub\\Deeper\\c.txt", "c");
  ASSERT_TRUE(ForceDirectories(Pc("C\\New")));
  SyncClient& client = Connected();

  EXPECT_EQ(0, client.Call(&ITDOrvWinEngineS::MoveDirectory, "C:\\Old", "C:\\New"));
  EXPECT_EQ("c", test::ReadFileBytes(Pc("C\\New\\Old\\Sub\\Deeper\\c.txt")));
  EXPECT_EQ(3u, client.N.Files.size());  // one progress per file copied
  EXPECT_EQ(INVALID_FILE_ATTRIBUTES, GetFileAttributesA(Pc("C\\Old").c_str()));

  EXPECT_EQ(0, client.Call(&ITDOrvWinEngineS::DeleteDirectory, "C:\\New"));
  EXPECT_EQ(INVALID_FILE_ATTRIBUTES, GetFileAttributesA(Pc("C\\New").c_str()));
  EXPECT_NE(0, client.Call(&ITDOrvWinEngineS::DeleteDirectory, "C:\\New"));

  // A drive is emptied, but stays.
  PutFile("C:\\Last\\z.txt", "z");
  EXPECT_EQ(ERROR_ACCESS_DENIED, client.Call(&ITDOrvWinEngineS::DeleteDirectory, "C:\\"));
  EXPECT_EQ(INVALID_FILE_ATTRIBUTES, GetFileAttributesA(Pc("C\\Last").c_str()));
  EXPECT_EQ(0, client.Call(&ITDOrvWinEngineS::CreateDirectory, "C:\\New"));
}

TEST_F(SyncTest, FolderCopiesTellWhatStoppedThemAndKeepTheTargetsTheyCouldNotReplace) {
  PutFile("C:\\Src\\a.txt", "new");
  PutFile("C:\\Dst\\Src\\a.txt", "old");
  SetFileAttributesA(Pc("C\\Dst\\Src\\a.txt").c_str(), FILE_ATTRIBUTE_READONLY);
  PutFile("C:\\Mail\\Documents\\Vantle\\InBox", "new");
  PutFile("C:\\Documents\\Vantle\\InBox", "store");  // a program holds it
  ASSERT_TRUE(ForceDirectories(Pc("C\\Empty")));
  PutFile("C:\\Caf\xE9 Notes\\R\xE9sum\xE9 final.txt", "cv");
  for (const char* f : {"a", "b", "c", "d"}) PutFile(std::string("C:\\Going\\") + f, f);
  SyncClient& client = Connected();
  const auto copyDirectory = &ITDOrvWinEngineS::CopyDirectory;

  EXPECT_EQ(5, client.Call(copyDirectory, "C:\\Src", "C:\\Dst", 1));
  EXPECT_EQ("old", test::ReadFileBytes(Pc("C\\Dst\\Src\\a.txt")));
  EXPECT_EQ(33, client.Call(copyDirectory, "C:\\Mail\\Documents", "C:\\", 1));
  EXPECT_EQ("store", test::ReadFileBytes(Pc("C\\Documents\\Vantle\\InBox")));
  EXPECT_TRUE(NoCopyLeftOf("C\\Dst\\Src\\a.txt"));

  // An empty folder, and names with spaces and letters beyond ASCII, are
  // copied and deleted as any other.
  for (const char* folder : {"Empty", "Caf\xE9 Notes"}) {
    EXPECT_EQ(0, client.Call(copyDirectory, (std::string("C:\\") + folder).c_str(), "C:\\Dst")) << folder;
    EXPECT_NE(INVALID_FILE_ATTRIBUTES, GetFileAttributesA(Pc(std::string("C\\Dst\\") + folder).c_str())) << folder;
    EXPECT_EQ(0, client.Call(&ITDOrvWinEngineS::DeleteDirectory, (std::string("c:\\") + folder).c_str())) << folder;
    EXPECT_EQ(INVALID_FILE_ATTRIBUTES, GetFileAttributesA(Pc(std::string("C\\") + folder).c_str())) << folder;
  }
  EXPECT_EQ("cv", test::ReadFileBytes(Pc("C\\Dst\\Caf\xE9 Notes\\R\xE9sum\xE9 final.txt")));

  // Files that vanish while the folder is copied fail the copy.
  client.N.Files.clear();
  client.N.Cancel = [&](SHORT) {
    if (client.N.Files.size() == 1)
      for (const char* f : {"a", "b", "c", "d"})
        if (client.N.Files[0].back() != *f) DeleteFileA(Pc(std::string("C\\Going\\") + f).c_str());
    return false;
  };
  EXPECT_EQ(2, client.Call(copyDirectory, "C:\\Going", "C:\\Dst"));
}

TEST_F(SyncTest, NoCopyOrMoveReplacesAReadOnlyFile) {
  PutFile("C:\\Docs\\big.bin", std::string(300 * 1024, 'n'));
  SyncClient& client = Connected();
  const std::string target = Pc("C\\Dst\\a.txt");
  struct Case {
    const char* what;
    bool move, toPc, late;  // late: made read-only while the copy runs
  };
  const Case cases[] = {{"copy", false, false, false},
                        {"move", true, false, false},
                        {"copy to the PC", false, true, false},
                        {"move to the PC", true, true, false},
                        {"copy onto a file made read-only meanwhile", false, false, true}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    PutFile("C:\\Docs\\a.txt", "new");
    PutFile("C:\\Dst\\a.txt", "old");
    SetFileAttributesA(target.c_str(), c.late ? FILE_ATTRIBUTE_NORMAL : FILE_ATTRIBUTE_READONLY);
    client.N.Cancel = [&](SHORT percent) {
      if (c.late && percent > 0) SetFileAttributesA(target.c_str(), FILE_ATTRIBUTE_READONLY);
      return false;
    };
    TDPathRecord from = Path(c.late ? "C:\\Docs\\big.bin" : "C:\\Docs\\a.txt");
    const std::string to = c.toPc ? (c.move ? Pc("C\\Dst") : target) : c.move ? "C:\\Dst" : "C:\\Dst\\a.txt";
    TDPathRecord into = Path(to.c_str(), c.toPc ? tdlink::SidePC : Handheld);
    LONG error = -1;
    if (c.move)
      client.E->MoveFile(&error, &from, &into, 1);
    else
      client.E->CopyFile(&error, &from, &into, 1);
    EXPECT_EQ(ERROR_ACCESS_DENIED, error);
    SetFileAttributesA(target.c_str(), FILE_ATTRIBUTE_NORMAL);
    EXPECT_TRUE(test::ReadFileBytes(target) == "old");
    EXPECT_TRUE(test::ReadFileBytes(Pc("C\\Docs\\a.txt")) == "new");
    EXPECT_TRUE(NoCopyLeftOf("C\\Dst\\a.txt"));
  }
}

TEST_F(SyncTest, ADeleteWalkStopsAtAFileAProgramHolds) {
  PutFile("C:\\Documents\\Vantle\\InBox", "store");
  PutFile("C:\\Documents\\Vantle\\Other", "x");
  SyncClient& client = Connected();
  EXPECT_EQ(33, client.Call(&ITDOrvWinEngineS::DeleteDirectory, "C:\\Documents"));
  EXPECT_EQ("store", test::ReadFileBytes(Pc("C\\Documents\\Vantle\\InBox")));
}

TEST_F(SyncTest, ProgramsAreStoppedStartedAndClosedByDrive) {
  PutFile("C:\\Documents\\Vantle\\InBox", "store");
  SyncClient& client = Connected();
  const char* store = "C:\\Documents\\Vantle\\InBox";
  EXPECT_EQ(0, client.Call(&ITDOrvWinEngineS::StopProgram, store));
  EXPECT_EQ("", tandel::HolderName(store));
  EXPECT_EQ(0, client.Call(&ITDOrvWinEngineS::StartProgram, store));
  EXPECT_NE("", tandel::HolderName(store));

  EXPECT_EQ(0, client.Call(&ITDOrvWinEngineS::ClosePrograms, "c:\\"));
  EXPECT_EQ("", tandel::HolderName(store));
  EXPECT_EQ(1u, client.N.Files.size());  // the one program closed
}

TEST_F(SyncTest, TheConfigurationTravelsToAFileAndBack) {
  std::string config(5000, 'k');
  test::WriteFileBytes(install_ + "Handheld\\Config.dat", config);
  ITDOrvWinEngineS* e = Connected().E.Get();
  LONG error = -1;
  TDPathRecord backup = Path("C:\\config.bak");
  e->ReadConfig(&error, Handheld, &backup);
  EXPECT_EQ(0, error);
  EXPECT_EQ(config, test::ReadFileBytes(Pc("C\\config.bak")));

  PutFile("C:\\config.new", "new configuration");
  TDPathRecord source = Path("C:\\config.new");
  e->WriteConfig(&error, &source, Handheld);
  EXPECT_EQ(0, error);
  EXPECT_EQ("new configuration", test::ReadFileBytes(install_ + "Handheld\\Config.dat"));
}

TEST_F(EngineTest, AFormatCountsItsStepsAndEmptiesTheDrive) {
  ASSERT_TRUE(ForceDirectories(install_ + "Handheld\\D\\Stuff"));
  test::WriteFileBytes(install_ + "Handheld\\D\\Stuff\\x", "x");
  ClientEngine engine;
  Connected(engine);
  Reply formatted = engine.Run(engine.Request(opFormat, Handheld, "d:\\"));
  EXPECT_EQ(0, formatted.Error);
  EXPECT_EQ(4, formatted.Value);
  EXPECT_EQ(INVALID_FILE_ATTRIBUTES, GetFileAttributesA((install_ + "Handheld\\D\\Stuff").c_str()));
  ASSERT_EQ(5u, engine.Progresses.size());
  EXPECT_EQ(100, engine.Progresses.back().Percent);
}

TEST_F(EngineTest, PathDataAndWordRequestsCarryTheirAnswers) {
  ClientEngine engine;
  Connected(engine);
  EngineRequest* p = engine.Request(opPathRequest, Handheld, "C:\\abc");
  p->Value = 1;
  p->Arg1 = 2;
  p->Arg2 = 41;
  Reply path = engine.Run(p);
  EXPECT_EQ(0, path.Error);
  EXPECT_EQ(2, path.Value);  // the component swaps the bytes

  EngineRequest* d = engine.Request(opDataRequest);
  d->Data.reset(new BYTE[3]{1, 2, 3});
  d->Arg1 = 3;
  Reply data = engine.Run(d);
  EXPECT_EQ(0, data.Error);
  EXPECT_EQ((std::vector<BYTE>{3, 2, 1}), data.Data);
}

TEST_F(EngineTest, LinkSettingsAndNameMatchingGoStraightToTheComponent) {
  ClientEngine engine;
  ASSERT_EQ(0, engine.Init());
  LONG error = -1, baud = 0, port = 0;
  engine.Thread->SetLinkSettings(&error, 57600, 1024);
  EXPECT_EQ(0, error);
  engine.Thread->GetLinkSettings(&error, &baud, &port);
  EXPECT_EQ(0, error);
  EXPECT_EQ(57600, baud);
  EXPECT_EQ(1024, port);
  engine.Thread->SetLinkSettings(&error, 12345, 1);
  EXPECT_EQ(160, error);

  LONG match = -1;
  engine.Thread->LinkQuery(reinterpret_cast<INT_PTR>("Report.TXT"), reinterpret_cast<INT_PTR>("*.txt"), 1, &match);
  EXPECT_EQ(1, match);
  engine.Thread->LinkQuery(reinterpret_cast<INT_PTR>("Report"), reinterpret_cast<INT_PTR>("R?port.*"), 1, &match);
  EXPECT_EQ(0, match);

  engine.Thread->Abort(&error, 1);
  EXPECT_EQ(21, error);  // nothing runs
}

TEST_F(EngineTest, AComponentThatCannotBeCreatedFailsTheOpenWithItsResultAndConnectAfterIt) {
  const std::string key = "CLSID\\{A5D1DFA0-192F-11D0-9F11-0020AFC814CD}";
  test::RegistrySnapshot saved(HKEY_CLASSES_ROOT, key);
  TRegistry reg;
  reg.SetRootKey(HKEY_CLASSES_ROOT);
  ASSERT_TRUE(reg.OpenKey(key + "\\InprocServer32", true));
  reg.WriteString("", install_ + "missing.dll");
  reg.CloseKey();

  ClientEngine engine;
  LONG opened = engine.Init();
  EXPECT_TRUE(FAILED(static_cast<HRESULT>(opened))) << opened;
  EXPECT_EQ(1, engine.LinkState.load());  // created or not, the open has run
  EXPECT_EQ(31, engine.Run(NewConnect(engine, 0)).Error);
}

TEST_F(EngineTest, TheServerRunsOnceAndEndsWhenClosed) {
  StartServer();
  ASSERT_TRUE(ServerRunning());
  std::string second = ExtractFilePath(ModuleFileName()) + tdlink::ServerExe;
  STARTUPINFOA si{};
  si.cb = sizeof si;
  PROCESS_INFORMATION pi{};
  ASSERT_TRUE(CreateProcessA(second.c_str(), nullptr, nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi));
  KernelHandle process(pi.hProcess), thread(pi.hThread);
  EXPECT_EQ(WAIT_OBJECT_0, WaitForSingleObject(process.Get(), 10000));
  DWORD code = 0;
  GetExitCodeProcess(process.Get(), &code);
  EXPECT_EQ(1u, code);
  StopServer();
  EXPECT_FALSE(ServerRunning());
}

namespace {
// A top-level window of the test that hears the connection broadcasts.
class Listener final : public CWnd {
 public:
  std::vector<std::pair<WPARAM, LPARAM>> Heard;

 protected:
  bool OnMessage(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result) override {
    if (message != tdengine::ConnectionMessage()) return false;
    Heard.emplace_back(wParam, lParam);
    result = 0;
    return true;
  }
};
}  // namespace

TEST_F(EngineTest, EachOperationButDisconnectIsAnnouncedWithItsValueWord) {
  PutFile("C:\\Docs\\a.txt", "alpha");
  ClientEngine engine;
  Connected(engine);
  Listener listener;
  ASSERT_TRUE(listener.CreateHidden());
  engine.PumpFor(100);
  listener.Heard.clear();

  EngineRequest* copy = engine.Request(opCopyFile, Handheld, "C:\\Docs\\a.txt", Handheld, "C:\\Docs\\b.txt");
  copy->Value = 1;
  engine.Run(copy);
  engine.Run(engine.Request(opGetDrives, Handheld));
  engine.Run(engine.Request(opDisconnect));
  engine.Run(NewConnect(engine, 4321));
  engine.PumpFor(100);
  // The server's own announcement of the link says wParam 1.
  std::vector<std::pair<WPARAM, LPARAM>> ours;
  for (auto heard : listener.Heard)
    if (heard.first == 0) ours.push_back(heard);
  EXPECT_EQ((std::vector<std::pair<WPARAM, LPARAM>>{{0, 1}, {0, 0}, {0, 4321}}), ours);
}

TEST_F(EngineTest, AnAbortedRequestComesBackWithoutNotificationAndTheQueueGoesOn) {
  Setting(tdlink::SilentSlotValue, 37);
  ClientEngine engine;
  Connected(engine);
  EngineRequest* silent = engine.Request(opSyncMachineTime);
  silent->Crit9 = 7;
  engine.Post(silent);
  engine.Post(engine.Request(opGetDrives, Handheld));
  engine.PumpFor(100);
  LONG error = -1;
  engine.Thread->Abort(&error, 1);
  EXPECT_EQ(0, error);
  ASSERT_TRUE(engine.PumpUntil([&] { return Count(engine.Replies, opGetDrives) == 1; }));
  const Reply& aborted = engine.Replies[engine.Replies.size() - 2];
  EXPECT_EQ(opSyncMachineTime, aborted.Op);
  EXPECT_EQ(0, aborted.Notify);
  EXPECT_EQ(0, engine.Replies.back().Error);
}

TEST_F(SyncTest, AFormatCancelledAtAnyProgressStopsAndLeavesTheDriveAsItWas) {
  SyncClient& client = Connected();
  for (size_t at : {1u, 2u, 4u}) {
    SCOPED_TRACE(at);
    ASSERT_TRUE(ForceDirectories(install_ + "Handheld\\D\\Stuff"));
    test::WriteFileBytes(install_ + "Handheld\\D\\Stuff\\x", "x");
    client.N.Percents.clear();
    client.N.Cancel = [&](SHORT) { return client.N.Percents.size() == at; };
    EXPECT_EQ(0, client.Call(&ITDOrvWinEngineS::Format, "d:\\"));
    EXPECT_EQ(at, client.N.Percents.size());
    EXPECT_EQ("x", test::ReadFileBytes(install_ + "Handheld\\D\\Stuff\\x"));
  }
}

TEST_F(EngineTest, AFormatWhoseNextStepCannotBeAskedForIsClosed) {
  // Advise and the state query at Connect, the format's opening, its first
  // step, then the second step fails; the close is never answered.
  CTDMessageWnd::GuardTimeout = 300;
  Setting(tdlink::FailCallValue, 5);
  Setting(tdlink::FailStatusValue, static_cast<DWORD>(-21));
  Setting(tdlink::SilentSlotValue, 40);
  ASSERT_TRUE(ForceDirectories(install_ + "Handheld\\D"));
  ClientEngine engine;
  Connected(engine);
  // Ended by the guard while waiting for the close, not at once with the step's error.
  EXPECT_EQ(1121, engine.Run(engine.Request(opFormat, Handheld, "d:\\")).Error);
}

TEST_F(EngineTest, AConnectionServerThatEndsAtItsStartFailsTheConnect) {
  test::RegistrySnapshot key(HKEY_CURRENT_USER, tdlink::ServerKey);
  const std::string folder = install_ + "QuitServer\\";
  ASSERT_TRUE(ForceDirectories(folder));
  ASSERT_TRUE(CopyFileA((ExtractFilePath(ModuleFileName()) + "quit-at-once.exe").c_str(),
                        (folder + tdlink::ServerExe).c_str(), FALSE));
  TRegistry reg;
  reg.SetRootKey(HKEY_CURRENT_USER);
  ASSERT_TRUE(reg.OpenKey(tdlink::ServerKey, true));
  reg.WriteString(tdlink::ServerDirValue, folder);
  ClientEngine engine;
  ASSERT_EQ(0, engine.Init());
  for (LONG timeout : {0, 20000}) EXPECT_EQ(21, engine.Run(NewConnect(engine, timeout)).Error) << timeout;
  EXPECT_EQ(1, engine.LinkState.load());
}

TEST_F(EngineTest, AFailedStateQueryOrLinkRequestFailsTheConnect) {
  struct Case {
    DWORD failCall;  // 2: the state query, 3: the request to bring the link up
    bool linkUp;
  };
  for (Case c : {Case{2, true}, Case{3, false}}) {
    SCOPED_TRACE(c.failCall);
    Setting(tdlink::FailCallValue, c.failCall);
    Setting(tdlink::FailStatusValue, static_cast<DWORD>(-21));
    tandel::SetLinkUp(c.linkUp);
    StartServer();
    ClientEngine engine;
    ASSERT_EQ(0, engine.Init());
    EXPECT_EQ(5, engine.Run(NewConnect(engine, 2000)).Error);
    EXPECT_EQ(1, engine.LinkState.load());
    StopServer();
  }
}
