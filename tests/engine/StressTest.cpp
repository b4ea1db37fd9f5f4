// Many engines on many client threads, each with a long queue of mixed
// requests, while the handheld's link comes and goes: every request comes
// back exactly once, and nothing is left behind.
#include <windows.h>
// After windows.h, which it needs.
#include <tlhelp32.h>

#include <atomic>
#include <random>
#include <thread>

#include "EngineFixture.h"
#include "Handles.h"
#include "TDResults.h"

using namespace tdengine;

namespace {

constexpr int Clients = 4;
constexpr int PerClient = 2500;

size_t ThreadCount() {
  KernelHandle snap(CreateToolhelp32Snapshot(TH32CS_SNAPTHREAD, 0));
  THREADENTRY32 te{};
  te.dwSize = sizeof te;
  size_t n = 0;
  for (BOOL ok = Thread32First(snap.Get(), &te); ok; ok = Thread32Next(snap.Get(), &te))
    n += te.th32OwnerProcessID == GetCurrentProcessId();
  return n;
}

// Worker threads end a moment after their engines let them go.
size_t SettledThreadCount() {
  size_t last = ThreadCount();
  for (int stable = 0, i = 0; stable < 5 && i < 500; ++i) {
    Sleep(20);
    size_t now = ThreadCount();
    stable = now == last ? stable + 1 : 0;
    last = now;
  }
  return last;
}

struct Outcome {
  int Unanswered = 0, Twice = 0, Connected = 0, NotConnected = 0;
  bool Started = false;
};

EngineRequest* Mixed(ClientEngine& engine, int i, int client, std::vector<ComPtr<IUnknown>>& results) {
  switch (i % 8) {
    case 0: {
      EngineRequest* r = engine.Request(opConnect);
      r->Value = 3000;
      return r;
    }
    case 1: return engine.Request(opGetDrives, Handheld);
    case 2: {
      EngineRequest* r = engine.Request(opGetFileInfo, Handheld, "C:\\Stress\\src.bin");
      auto* file = new CTDOrvFile();
      results.push_back(ComPtr<IUnknown>::Attach(static_cast<ITDOrvFile*>(file)));
      r->Result = file;
      return r;
    }
    case 3: return engine.Request(opSyncMachineTime);
    case 4: {
      EngineRequest* r = engine.Request(opGetDirectory, Handheld, "C:\\Stress\\*.*");
      auto* dir = new CTDOrvDirectory();
      results.push_back(ComPtr<IUnknown>::Attach(static_cast<ITDOrvDirectory*>(dir)));
      r->Result = dir;
      return r;
    }
    case 5: {
      EngineRequest* r = engine.Request(opDataRequest);
      r->Data.reset(new BYTE[4]{1, 2, 3, 4});
      r->Arg1 = 4;
      return r;
    }
    case 6: {
      EngineRequest* r = engine.Request(opCopyFile, Handheld, "C:\\Stress\\src.bin", Handheld,
                                        "C:\\Stress\\Copies\\" + std::to_string(client) + ".bin");
      r->Value = 1;
      return r;
    }
    default: return engine.Request(opSetAttributes, Handheld, "C:\\Stress\\src.bin");
  }
}

void RunClient(int client, Outcome& out) {
  std::vector<ComPtr<IUnknown>> results;
  {
    ClientEngine engine;
    if (engine.Init() != 0) return;
    out.Started = true;
    for (int i = 0; i < PerClient; ++i) {
      EngineRequest* r = Mixed(engine, i, client, results);
      r->Crit9 = i + 1;
      engine.Post(r);
    }
    std::vector<int> answers(PerClient + 1);
    size_t seen = 0;
    engine.PumpUntil(
        [&] {
          for (; seen < engine.Replies.size(); ++seen) {
            const Reply& reply = engine.Replies[seen];
            if (reply.Tag < 1 || reply.Tag > PerClient) continue;  // the worker's own disconnects
            ++answers[reply.Tag];
            if (reply.Op == opConnect && reply.Error == 0) ++out.Connected;
            if (reply.Error == ERROR_NOT_CONNECTED) ++out.NotConnected;
          }
          for (int i = 1; i <= PerClient; ++i)
            if (answers[i] == 0) return false;
          return true;
        },
        120000);
    engine.Stop();
    for (int i = 1; i <= PerClient; ++i) {
      out.Unanswered += answers[i] == 0;
      out.Twice += answers[i] > 1;
    }
  }
}

}  // namespace

TEST_F(EngineTest, TenThousandQueuedRequestsWithADroppingLinkAreAnsweredOnceAndLeaveNothingBehind) {
  PutFile("C:\\Stress\\src.bin", std::string(1000, 's'));
  ASSERT_TRUE(ForceDirectories(Pc("C\\Stress\\Copies")));
  // The component's module stays loaded throughout: this counts the engine's
  // handles, and what a module's unload leaves is tested on its own below.
  CoInitScope com;
  ComPtr<IUnknown> component;
  ASSERT_EQ(S_OK, CoCreateInstance(tdlink::CLSID_TDLink, nullptr, CLSCTX_INPROC_SERVER, IID_IUnknown, component.PutVoid()));
  {
    // Whatever the system creates once and keeps (classes, the server) exists before counting.
    ClientEngine warm;
    Connected(warm);
    warm.Run(warm.Request(opSyncMachineTime));
    // So does the threads runtime's record of this thread, made at its first join.
    std::thread([] {}).join();
  }
  SettledThreadCount();
  const size_t threads = ThreadCount();
  const DWORD handles = HandleCount();
  const long objects = ComModule::LiveObjects();

  Outcome outcomes[Clients];
  std::atomic<bool> done{false};
  std::vector<std::thread> clients;
  for (int c = 0; c < Clients; ++c) clients.emplace_back([&, c] { RunClient(c, outcomes[c]); });
  std::thread dropper([&] {
    std::mt19937 random(20261209);
    while (!done) {
      Sleep(100 + random() % 200);
      tandel::SetLinkUp(false);
      Sleep(50 + random() % 150);
      tandel::SetLinkUp(true);
    }
  });
  for (std::thread& t : clients) t.join();
  done = true;
  dropper.join();

  for (const Outcome& o : outcomes) {
    ASSERT_TRUE(o.Started);
    EXPECT_EQ(0, o.Unanswered);
    EXPECT_EQ(0, o.Twice);
    EXPECT_GT(o.Connected, 0);
  }
  EXPECT_EQ(objects, ComModule::LiveObjects());
  EXPECT_GE(threads, SettledThreadCount());  // a thread of the system's pool may retire meanwhile
  // A lock first contended by the clients keeps the event it then made.
  EXPECT_LE(HandleCount(), handles + Clients - 1);
}

TEST_F(EngineTest, EnginesThatComeAndGoLeaveNoHandlesBehind) {
  auto engineLife = [&] {
    ClientEngine engine;
    Connected(engine);
    engine.Run(engine.Request(opSyncMachineTime));
  };
  engineLife();  // whatever the system creates once
  engineLife();
  const DWORD handles = HandleCount();
  constexpr int Engines = 8;
  for (int i = 0; i < Engines; ++i) engineLife();
  EXPECT_LT(HandleCount(), handles + Engines);
}

// A host loads and frees a component many times: after the component has
// thrown (a setting that is not a number throws inside it and is taken as not
// set), its module leaves neither handles nor thread-local-storage indexes
// behind, of which a process has only about a thousand.
TEST_F(EngineTest, AComponentModuleFreedAfterItHasThrownLeavesNothingBehind) {
  TRegistry reg;
  reg.SetRootKey(HKEY_CURRENT_USER);
  ASSERT_TRUE(reg.OpenKey(tdlink::StandInKey, true));
  reg.WriteString(tdlink::FailCallValue, "not a number");
  const std::string path = ExtractFilePath(ModuleFileName()) + "standin-tandellink.dll";
  auto lifetime = [&] {
    ModuleHandle module(LoadLibraryA(path.c_str()));
    ASSERT_TRUE(module);
    auto getClass = ModuleExport<HRESULT(__stdcall*)(REFCLSID, REFIID, void**)>(module.Get(), "DllGetClassObject");
    ComPtr<IClassFactory> factory;
    ASSERT_EQ(S_OK, getClass(tdlink::CLSID_TDLink, IID_IClassFactory, factory.PutVoid()));
    ComPtr<IUnknown> component;
    ASSERT_EQ(S_OK, factory->CreateInstance(nullptr, IID_IUnknown, component.PutVoid()));
  };
  auto freeTlsIndexes = [] {
    std::vector<DWORD> taken;
    for (DWORD i; (i = TlsAlloc()) != TLS_OUT_OF_INDEXES;) taken.push_back(i);
    for (DWORD i : taken) TlsFree(i);
    return taken.size();
  };
  lifetime();
  const DWORD handles = HandleCount();
  const size_t tlsIndexes = freeTlsIndexes();
  for (int i = 0; i < 20; ++i) lifetime();
  EXPECT_EQ(handles, HandleCount());
  EXPECT_EQ(tlsIndexes, freeTlsIndexes());
}
