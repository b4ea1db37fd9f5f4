// The asynchronous engine as its clients use it: created through the
// registered server by ProgID, answering through a sink on the client's thread.
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "EngineFixture.h"

using namespace tdengine;

using EngineClassTest = ServerTest;

TEST_F(EngineClassTest, BothClassesRegisterOnceUnregisterCleanlyAndKeepTheServerLoadedWhileAnObjectLives) {
  struct Class {
    const char* key;
    const char* progId;
  };
  const Class classes[] = {{"CLSID\\{3C476900-F450-11CF-885E-0020AFC04E78}", "Orvik.TDEng.Interface"},
                           {"CLSID\\{3C476920-F450-11CF-885E-0020AFC04E78}", "Orvik.TDEngS.Interface"}};
  ASSERT_EQ(S_OK, Export("DllRegisterServer")());
  for (const Class& c : classes) {
    HKEY key = nullptr;
    ASSERT_EQ(ERROR_SUCCESS, RegOpenKeyExA(HKEY_CLASSES_ROOT, (std::string(c.key) + "\\InprocServer32").c_str(), 0,
                                           KEY_READ, &key));
    DWORD values = 0;
    RegQueryInfoKeyA(key, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, &values, nullptr, nullptr, nullptr,
                     nullptr);
    char model[32] = {};
    DWORD size = sizeof model;
    EXPECT_EQ(ERROR_SUCCESS, RegQueryValueExA(key, "ThreadingModel", nullptr, nullptr,
                                              reinterpret_cast<BYTE*>(model), &size));
    RegCloseKey(key);
    EXPECT_STREQ("Apartment", model) << c.key;
    EXPECT_EQ(2u, values) << c.key;  // the path and one threading model
  }

  // Any object of either class, and a result object, keeps the server loaded.
  auto canUnload = [&] { return Export("DllCanUnloadNow")(); };
  ComPtr<ITDOrvWinEngine> engine = CreateAsync();
  ASSERT_TRUE(engine);
  EXPECT_EQ(S_FALSE, canUnload());
  engine.Reset();
  EXPECT_EQ(S_OK, canUnload());
  ComPtr<ITDOrvFile> file;
  {
    SyncClient sync(Create<ITDOrvWinEngineS>(L"Orvik.TDEngS.Interface", IID_ITDOrvWinEngineS));
    ASSERT_TRUE(sync.E);
    EXPECT_EQ(S_FALSE, canUnload());
    ASSERT_EQ(0, sync.Init());
    ASSERT_EQ(0, sync.Connect());
    TDPathRecord p = Path("C:\\none.txt");
    LONG error = 0;
    sync.E->GetFileInfo(&error, &p, file.Put());
    EXPECT_EQ(2, error);
    EXPECT_EQ(S_FALSE, canUnload());
  }
  EXPECT_EQ(S_FALSE, canUnload());
  file.Reset();
  CoFreeUnusedLibraries();
  EXPECT_EQ(S_OK, canUnload());

  // Unregistering twice: the second time of a server no longer registered.
  for (int i = 0; i < 2; ++i) EXPECT_EQ(S_OK, Export("DllUnregisterServer")());
  TRegistry reg;
  reg.SetRootKey(HKEY_CLASSES_ROOT);
  for (const Class& c : classes) {
    EXPECT_FALSE(reg.OpenKey(c.key, false));
    EXPECT_FALSE(reg.OpenKey(c.progId, false));
  }
}

TEST_F(EngineClassTest, BeforeInitEveryOperationIsRefusedAndNothingArrives) {
  ComPtr<ITDOrvWinEngine> engine = CreateAsync();
  TDPathRecord p = Path("C:\\Docs\\a.txt");
  ComPtr<ITDOrvFile> file;
  ComPtr<ITDOrvDirectory> dir;
  ComPtr<ITDOrvDrive> drive;
  ComPtr<ITDOrvMachine> machine;
  const std::function<HRESULT()> calls[] = {
      [&] { return engine->Connect(0); },
      [&] { return engine->Disconnect(); },
      [&] { return engine->GetDrives(&p); },
      [&] { return engine->GetDriveInfo(&p, drive.Put()); },
      [&] { return engine->GetFileInfo(&p, file.Put()); },
      [&] { return engine->GetDirectory(&p, dir.Put()); },
      [&] { return engine->GetExtraMachineInfo(2, machine.Put()); },
      [&] { return engine->CopyFile(&p, &p, 0); },
      [&] { return engine->RenameFile(&p, "b.txt"); },
      [&] { return engine->MoveFile(&p, &p, 0); },
      [&] { return engine->CreateDirectory(&p); },
      [&] { return engine->SyncMachineTime(); },
      [&] { return engine->ReadConfig(2, &p); },
      [&] { return engine->WriteConfig(&p, 2); },
  };
  for (size_t i = 0; i < std::size(calls); ++i) EXPECT_EQ(E_UNEXPECTED, calls[i]()) << i;
  EXPECT_FALSE(file);
  EXPECT_STREQ("C:\\Docs\\a.txt", p.Path);

  LONG error = 0, baud = 0, port = 0;
  EXPECT_EQ(S_OK, engine->SetLinkSettings(&error, 9600, 1));
  EXPECT_EQ(31, error);
  error = 0;
  EXPECT_EQ(S_OK, engine->GetLinkSettings(&error, &baud, &port));
  EXPECT_EQ(31, error);
  error = 0;
  EXPECT_EQ(S_OK, engine->Abort(&error));
  EXPECT_EQ(31, error);
  EXPECT_EQ(E_NOTIMPL, engine->Reserved27(0));

  ComPtr<IUnknown> unknown;
  EXPECT_EQ(E_NOINTERFACE, engine->QueryInterface(IID_IUnknown, unknown.PutVoid()));
  ComPtr<ITDOrvWinEngine3> third;
  ASSERT_EQ(S_OK, engine->QueryInterface(IID_ITDOrvWinEngine3, third.PutVoid()));
  EXPECT_EQ(E_UNEXPECTED, third->SetEvents3(nullptr));
  ComPtr<ITDOrvWinEngine2> second;
  EXPECT_EQ(S_OK, third->QueryInterface(IID_ITDOrvWinEngine2, second.PutVoid()));
  EXPECT_EQ(E_UNEXPECTED, second->WordRequest(1));
}

TEST_F(EngineClassTest, MakePathSplitsAPathIntoItsParts) {
  ComPtr<ITDOrvWinEngine> engine = CreateAsync();
  struct Case {
    const char *a, *b, *c, *path;
    USHORT drive, folder, name, extension, wildcards;
  };
  const Case cases[] = {
      {"C:", "Docs", "a.txt", "C:Docs\\a.txt", 2, 5, 5, 3, 0},
      {"C:\\", "\\Docs\\", nullptr, "C:\\Docs", 2, 1, 4, 0, 0},
      {"C:\\Docs\\*.t?t", nullptr, nullptr, "C:\\Docs\\*.t?t", 2, 6, 5, 3, 1},
  };
  for (const Case& c : cases) {
    TDPathInfo info{};
    ASSERT_EQ(S_OK, engine->MakePath(c.a, c.b, c.c, &info));
    EXPECT_STREQ(c.path, info.Path);
    EXPECT_EQ(c.drive, info.DriveLength) << c.path;
    EXPECT_EQ(c.folder, info.FolderLength) << c.path;
    EXPECT_EQ(c.name, info.NameLength) << c.path;
    EXPECT_EQ(c.extension, info.ExtensionLength) << c.path;
    EXPECT_EQ(c.wildcards, info.Wildcards) << c.path;
  }
}

TEST_F(EngineClassTest, OperationsAnswerThroughTheSinkOnTheClientsThread) {
  PutFile("C:\\Docs\\a.txt", "alpha");
  ASSERT_TRUE(ForceDirectories(Pc("C\\Arch")));
  Sink sink;
  {
    ComPtr<ITDOrvWinEngine> engine = ConnectedAsync(sink);
    // A second Init is refused on the sink already given, during the call.
    Sink other;
    engine->Init(&other);
    EXPECT_EQ(ERROR_BUSY, sink.Last("OnInit"));
    EXPECT_TRUE(other.Calls.empty());
    // So is one that comes before the first has completed: the engine has its worker already.
    {
      Sink early, late;
      ComPtr<ITDOrvWinEngine> second = CreateAsync();
      second->Init(&early);
      second->Init(&late);
      EXPECT_EQ(ERROR_BUSY, early.Last("OnInit"));
      EXPECT_TRUE(test::PumpUntil([&] { return early.Count("OnInit") == 2; }));
      EXPECT_EQ(0, early.Calls.back().second);  // the first Init's own completion
      EXPECT_TRUE(late.Calls.empty());
    }

    TDPathRecord drive = Path("c:\\");
    ComPtr<ITDOrvDrive> driveInfo;
    ASSERT_EQ(S_OK, engine->GetDriveInfo(&drive, driveInfo.Put()));
    EXPECT_STREQ("C:\\", drive.Path);
    TDPathRecord file = Path("C:\\Docs\\a.txt");
    ComPtr<ITDOrvFile> info;
    ASSERT_EQ(S_OK, engine->GetFileInfo(&file, info.Put()));
    EXPECT_EQ(2u, info->AddRef());  // the caller's is the only reference
    info->Release();
    TDPathRecord folder = Path("C:\\Docs\\New");
    ASSERT_EQ(S_OK, engine->CreateDirectory(&folder));
    EXPECT_STREQ("C:\\Docs\\New\\", folder.Path);
    ASSERT_EQ(S_OK, engine->RenameFile(&file, "b.txt"));
    TDPathRecord moved = Path("C:\\Docs\\b.txt"), arch = Path("C:\\Arch");
    ASSERT_EQ(S_OK, engine->MoveFile(&moved, &arch, 0));
    TDPathRecord side = Path("");
    ASSERT_EQ(S_OK, engine->GetDrives(&side));
    ASSERT_EQ(S_OK, engine->GetMachineInfo(2));
    ASSERT_TRUE(test::PumpUntil([&] { return sink.Count("OnGetMachineInfo") == 1; }));

    EXPECT_EQ(0, sink.Last("OnGetDriveInfo"));
    TDDriveInfo* d = nullptr;
    ASSERT_EQ(S_OK, driveInfo->GetInfo(&d));
    EXPECT_STREQ("C:\\", d->DrivePath);
    EXPECT_EQ(0, sink.Last("OnGetFileInfo"));
    TDFileInfo* f = nullptr;
    ASSERT_EQ(S_OK, info->GetInfo(&f));
    EXPECT_STREQ("a.txt", f->Name);
    EXPECT_EQ(0, sink.Last("OnCreateDirectory"));
    EXPECT_EQ(0, sink.Last("OnRenameFile"));
    EXPECT_EQ(0, sink.Last("OnMoveFile"));
    EXPECT_EQ("alpha", test::ReadFileBytes(Pc("C\\Arch\\b.txt")));
    EXPECT_NE(INVALID_FILE_ATTRIBUTES, GetFileAttributesA(Pc("C\\Docs\\New").c_str()));
    EXPECT_EQ(0, sink.Last("OnGetDrives"));
    EXPECT_EQ("Handheld Owner", sink.Text);
    EXPECT_EQ(5, sink.Value);
  }
  EXPECT_EQ(1u, sink.Refs());  // the engine let its sink go
}

TEST_F(EngineClassTest, ReleasingTheEngineDuringACopyEndsItWithoutACompletion) {
  PutFile("C:\\Docs\\big.bin", std::string(1024 * 1024, 'x'));
  // The link stalls after two blocks: the copy still runs when the client lets go.
  Setting(tdlink::HoldAfterValue, 2);
  Sink sink;
  ComPtr<ITDOrvWinEngine> engine = ConnectedAsync(sink);
  bool copying = false;
  sink.OnCopy = [&](LONG*) { copying = true; };
  TDPathRecord from = Path("C:\\Docs\\big.bin"), to = Path("C:\\Docs\\copy.bin");
  ASSERT_EQ(S_OK, engine->CopyFile(&from, &to, 0));
  ASSERT_TRUE(test::PumpUntil([&] { return copying; }));
  engine.Reset();  // returns once its worker has ended
  EXPECT_EQ(0u, sink.Count("OnCopyFile"));
  EXPECT_EQ(INVALID_FILE_ATTRIBUTES, GetFileAttributesA(Pc("C\\Docs\\copy.bin").c_str()));
  EXPECT_TRUE(NoCopyLeftOf("C\\Docs\\copy.bin"));
}

TEST_F(EngineClassTest, AnInitWhoseReplyWindowCannotBeMadeFailsAndALaterOneSucceeds) {
  Sink sink;
  ComPtr<ITDOrvWinEngine> engine = CreateAsync();
  // No window can be made on this thread while the first Init runs.
  HHOOK refuse = SetWindowsHookExA(
      WH_CBT,
      [](int code, WPARAM w, LPARAM l) { return code == HCBT_CREATEWND ? 1 : CallNextHookEx(nullptr, code, w, l); },
      nullptr, GetCurrentThreadId());
  ASSERT_TRUE(refuse);
  engine->Init(&sink);
  UnhookWindowsHookEx(refuse);
  EXPECT_EQ(ERROR_GEN_FAILURE, sink.Last("OnInit"));
  engine->Init(&sink);
  ASSERT_TRUE(test::PumpUntil([&] { return sink.Count("OnInit") == 2; }));
  EXPECT_EQ(0, sink.Last("OnInit"));
  engine->Connect(0);
  ASSERT_TRUE(test::PumpUntil([&] { return sink.Count("OnConnect") == 1; }));
  EXPECT_EQ(0, sink.Last("OnConnect"));
  engine.Reset();  // returns once its worker has ended
  EXPECT_EQ(1u, sink.Refs());
}

TEST_F(EngineClassTest, AClientMayLetTheEngineGoFromItsProgressOrItsCompletion) {
  PutFile("C:\\Docs\\big.bin", std::string(1024 * 1024, 'x'));
  for (const bool inProgress : {true, false}) {
    SCOPED_TRACE(inProgress ? "in a progress" : "in the completion");
    DeleteFileA(Pc("C\\Docs\\copy.bin").c_str());
    Sink sink;
    ComPtr<ITDOrvWinEngine> engine = ConnectedAsync(sink);
    size_t seen = SIZE_MAX;
    auto letGo = [&] {
      seen = sink.Calls.size();
      engine.Reset();
    };
    if (inProgress)
      sink.OnCopy = [&](LONG*) {
        if (engine) letGo();
      };
    else
      sink.OnEvent = [&](const char* name) {
        if (std::string(name) == "OnCopyFile") letGo();
      };
    TDPathRecord from = Path("C:\\Docs\\big.bin"), to = Path("C:\\Docs\\copy.bin");
    ASSERT_EQ(S_OK, engine->CopyFile(&from, &to, 0));
    EXPECT_TRUE(test::PumpUntil([&] { return sink.Refs() == 1; }));  // the engine has ended
    EXPECT_EQ(seen, sink.Calls.size());
    EXPECT_EQ(inProgress, GetFileAttributesA(Pc("C\\Docs\\copy.bin").c_str()) == INVALID_FILE_ATTRIBUTES);
    EXPECT_TRUE(NoCopyLeftOf("C\\Docs\\copy.bin"));
  }
}

TEST_F(EngineClassTest, AListingTheClientLetsGoBeforeItsCompletionIsFilledAndFreedAllTheSame) {
  for (int i = 0; i < 200; ++i) PutFile("C:\\Many\\f" + std::to_string(i) + ".txt", "x");
  Sink sink;
  {
    ComPtr<ITDOrvWinEngine> engine = ConnectedAsync(sink);
    TDPathRecord p = Path("C:\\Many\\*.*");
    ComPtr<ITDOrvDirectory> dir;
    ASSERT_EQ(S_OK, engine->GetDirectory(&p, dir.Put()));
    dir.Reset();
    ASSERT_TRUE(test::PumpUntil([&] { return sink.Count("OnGetDirectory") == 1; }));
    EXPECT_EQ(0, sink.Last("OnGetDirectory"));
  }
  // Neither the listing nor its entries are left holding the server.
  EXPECT_EQ(S_OK, Export("DllCanUnloadNow")());
}

TEST_F(EngineClassTest, EnginesOnSeveralThreadsEachGetOnlyTheirOwnEvents) {
  constexpr int Clients = 4;
  std::vector<std::string> drives(Clients);
  std::vector<size_t> events(Clients);
  std::vector<std::thread> threads;
  for (int i = 0; i < Clients; ++i)
    threads.emplace_back([&, i] {
      CoInitScope com;
      Sink sink;
      {
        ComPtr<ITDOrvWinEngine> engine;
        CoCreateInstance(CLSID_TDOrvWinEngine, nullptr, CLSCTX_INPROC_SERVER, IID_ITDOrvWinEngine, engine.PutVoid());
        if (!engine) return;
        engine->Init(&sink);
        test::PumpUntil([&] { return sink.Count("OnInit") == 1; });
        engine->Connect(0);
        test::PumpUntil([&] { return sink.Count("OnConnect") == 1; });
        TDPathRecord side = Path("");
        for (int n = 0; n <= i; ++n) engine->GetDrives(&side);
        test::PumpUntil([&] { return sink.Count("OnGetDrives") == static_cast<size_t>(i + 1); });
        drives[i] = sink.Text;
        events[i] = sink.Count("OnGetDrives");
      }
    });
  for (std::thread& t : threads) t.join();
  for (int i = 0; i < Clients; ++i) {
    EXPECT_EQ("C:\\", drives[i]);
    EXPECT_EQ(static_cast<size_t>(i + 1), events[i]);
  }
}
