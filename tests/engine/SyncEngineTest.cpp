// The synchronous engine as its clients use it: created by ProgID through the
// registered server, each operation returning its result in the call.
#include <cstring>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "EngineFixture.h"
#include "MessageWindow.h"

using namespace tdengine;

class SyncEngineTest : public SyncTest {};

TEST_F(SyncEngineTest, BeforeInitEveryCallAnswersNotInitialisedAndReleaseReturnsAtOnce) {
  SyncClient client(Create());
  ITDOrvWinEngineS* e = client.E.Get();
  TDPathRecord p = Path("C:\\Docs\\a.txt");
  char buffer[16] = "untouched";
  ComPtr<ITDOrvFile> file;
  ComPtr<ITDOrvDirectory> dir;
  ComPtr<ITDOrvMachine> machine;
  LONG value = 0, baud = 0, port = 0;
  using Call = std::function<HRESULT(LONG*)>;
  const Call calls[] = {
      [&](LONG* r) { return e->Connect(r, 0); },
      [&](LONG* r) { return e->Disconnect(r); },
      [&](LONG* r) { return e->GetDrives(r, &p, buffer, sizeof buffer); },
      [&](LONG* r) { return e->GetFileInfo(r, &p, file.Put()); },
      [&](LONG* r) { return e->GetDirectory(r, &p, dir.Put(), &value); },
      [&](LONG* r) { return e->CopyFile(r, &p, &p, 0); },
      [&](LONG* r) { return e->RenameFile(r, &p, "b.txt"); },
      [&](LONG* r) { return e->GetMachineInfo(r, 2, buffer, sizeof buffer, &value); },
      [&](LONG* r) { return e->GetExtraMachineInfo(r, 2, machine.Put()); },
      [&](LONG* r) { return e->WriteConfig(r, &p, 2); },
      [&](LONG* r) { return e->SetLinkSettings(r, 9600, 1); },
      [&](LONG* r) { return e->GetLinkSettings(r, &baud, &port); },
      [&](LONG* r) { return e->Abort(r); },
  };
  for (size_t i = 0; i < std::size(calls); ++i) {
    LONG error = -1;
    EXPECT_EQ(S_OK, calls[i](&error)) << i;
    EXPECT_EQ(31, error) << i;
  }
  EXPECT_STREQ("untouched", buffer);
  EXPECT_STREQ("C:\\Docs\\a.txt", p.Path);
  EXPECT_FALSE(file);

  EXPECT_EQ(E_NOTIMPL, e->Reserved27(1, 2));
  EXPECT_EQ(E_UNEXPECTED, e->LinkQuery(0, 0, 0, &value));
  TDPathInfo info{};
  ASSERT_EQ(S_OK, e->MakePath("C:", "Docs", "a.txt", &info));
  EXPECT_STREQ("C:Docs\\a.txt", info.Path);
  EXPECT_EQ(5, info.NameLength);

  client.E.Reset();
  EXPECT_EQ(S_OK, Export("DllCanUnloadNow")());
}

TEST_F(SyncEngineTest, InitWithoutTheAsynchronousClassAnswersItsCreationErrorAndLaterCallsFail) {
  ASSERT_EQ(ERROR_SUCCESS, RegDeleteTreeA(HKEY_CLASSES_ROOT, "CLSID\\{3C476900-F450-11CF-885E-0020AFC04E78}"));
  ComPtr<ITDOrvWinEngine> none;
  const HRESULT missing =
      CoCreateInstance(CLSID_TDOrvWinEngine, nullptr, CLSCTX_INPROC_SERVER, IID_ITDOrvWinEngine, none.PutVoid());
  ASSERT_TRUE(FAILED(missing));

  SyncClient client(Create());
  EXPECT_EQ(missing, client.Init());
  EXPECT_EQ(31, client.Connect());
  EXPECT_EQ(31, client.Call(&ITDOrvWinEngineS::DeleteFile, "C:\\a.txt"));
  EXPECT_EQ(31, client.Init());
}

TEST_F(SyncEngineTest, OperationsReturnTheirResultsInTheCall) {
  SyncClient& client = Connected();
  ITDOrvWinEngineS* e = client.E.Get();
  LONG error = -1;

  // A second Init is refused by the engine it already has.
  EXPECT_EQ(170, client.Init());

  // The owner's name cut to the buffer, without a terminator, and the type.
  struct Owner {
    USHORT size;
    const char* text;
  };
  for (const Owner& o : {Owner{32, "Handheld Owner"}, Owner{8, "Handheld"}, Owner{0, ""}}) {
    char owner[40];
    std::memset(owner, '#', sizeof owner);
    LONG type = 0;
    e->GetMachineInfo(&error, 2, owner, o.size, &type);
    EXPECT_EQ(0, error);
    EXPECT_EQ(5, type) << o.size;
    const std::string padded = std::string(o.text) + std::string(o.size - std::strlen(o.text), '\0');
    EXPECT_EQ(padded, std::string(owner, o.size));
    EXPECT_EQ('#', owner[o.size]) << o.size;
  }

  char drives[300];
  std::memset(drives, '#', sizeof drives);
  TDPathRecord side = Path("");
  e->GetDrives(&error, &side, drives, sizeof drives);
  EXPECT_EQ(0, error);
  EXPECT_EQ(std::string("C:\\\0\0", 5), std::string(drives, 5));
  EXPECT_EQ('#', drives[260]);  // no more than a drive list holds

  // A request the engine refuses outright still ends the call.
  TDPathRecord file = Path("C:\\Docs\\a.txt");
  e->GetFileInfo(&error, &file, nullptr);
  EXPECT_EQ(ERROR_INVALID_PARAMETER, error);
  e->RenameFile(&error, nullptr, "y");
  EXPECT_EQ(ERROR_INVALID_PARAMETER, error);

  e->Disconnect(&error);
  EXPECT_EQ(0, error);
  e->SyncMachineTime(&error);
  EXPECT_EQ(2250, error);
  EXPECT_EQ(0, client.N.Connects + client.N.Disconnects);  // the calls took their own completions

  client.E.Reset();
  EXPECT_EQ(1u, client.N.Refs());  // the engine let the client's interface go
}

TEST_F(SyncEngineTest, AClientMayLetTheEngineGoWhileACallOfItWaits) {
  PutFile("C:\\Docs\\a.bin", std::string(300 * 1024, 'a'));
  SyncClient client(Create());
  ASSERT_EQ(0, client.Init());
  ASSERT_EQ(0, client.Connect());
  // A message the client handles while the copy waits lets the engine go.
  MessageWindow window({.ClassName = "VantleSyncEngineTestWindow"});
  bool letGo = false;
  window.Post([&] {
    client.E.Reset();
    letGo = true;
  });
  ITDOrvWinEngineS* engine = client.E.Get();
  TDPathRecord from = Path("C:\\Docs\\a.bin"), to = Path("C:\\Docs\\b.bin");
  LONG error = -1;
  engine->CopyFile(&error, &from, &to, 0);
  EXPECT_TRUE(letGo);
  EXPECT_EQ(0, error);
  EXPECT_EQ(300u * 1024, test::ReadFileBytes(Pc("C\\Docs\\b.bin")).size());
  EXPECT_EQ(S_OK, Export("DllCanUnloadNow")());  // the engine has gone after the call
}

TEST_F(SyncEngineTest, ClientsOnSeveralThreadsEachGetTheirOwnResults) {
  constexpr int Clients = 4;
  for (int i = 0; i < Clients; ++i)
    PutFile("C:\\Docs\\f" + std::to_string(i) + ".bin", std::string(64 * 1024 * (i + 1), static_cast<char>('a' + i)));
  struct Outcome {
    LONG init = -1, connect = -1, copy = -1, owner = -1;
    std::string ownerText;
    size_t progress = 0;
  };
  std::vector<Outcome> outcomes(Clients);
  std::vector<std::thread> threads;
  for (int i = 0; i < Clients; ++i)
    threads.emplace_back([&, i] {
      CoInitScope com;
      Outcome& o = outcomes[i];
      ComPtr<ITDOrvWinEngineS> engine;
      CoCreateInstance(CLSID_TDOrvWinEngineS, nullptr, CLSCTX_INPROC_SERVER, IID_ITDOrvWinEngineS, engine.PutVoid());
      if (!engine) return;
      SyncClient client(std::move(engine));
      o.init = client.Init();
      o.connect = client.Connect();
      const std::string n = std::to_string(i);
      o.copy = client.Call(&ITDOrvWinEngineS::CopyFile, ("C:\\Docs\\f" + n + ".bin").c_str(),
                           ("C:\\Docs\\g" + n + ".bin").c_str());
      char owner[16] = {};
      LONG type = 0;
      client.E->GetMachineInfo(&o.owner, 2, owner, static_cast<USHORT>(i + 1), &type);
      o.ownerText = owner;
      o.progress = client.N.Percents.size();
    });
  for (std::thread& t : threads) t.join();
  for (int i = 0; i < Clients; ++i) {
    const Outcome& o = outcomes[i];
    EXPECT_EQ(0, o.init) << i;
    EXPECT_EQ(0, o.connect) << i;
    EXPECT_EQ(0, o.copy) << i;
    EXPECT_EQ(0, o.owner) << i;
    EXPECT_EQ(std::string("Handheld Owner").substr(0, i + 1), o.ownerText) << i;
    EXPECT_GT(o.progress, 0u) << i;
    EXPECT_EQ(std::string(64 * 1024 * (i + 1), static_cast<char>('a' + i)),
              test::ReadFileBytes(Pc("C\\Docs\\g" + std::to_string(i) + ".bin")))
        << i;
  }
}
