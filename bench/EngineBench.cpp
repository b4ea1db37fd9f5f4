// The device engine as a client sees it: the round trip of a queued request
// (the call to its completion event) against a bare post-and-reply between
// two threads, and the copy of a 100 MB file and of a 1,000-file folder, to
// new targets and over existing ones, against CopyFile of the same data, each
// as a ratio; and what the floor of each is made of: the file work and the
// messages the engine's protocol cannot do without, each measured on its own
// in the same run.
#include <windows.h>

#include <imm.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "BenchSupport.h"
#include "ComPtr.h"
#include "Handheld.h"
#include "MessageWindow.h"
#include "TDEng.h"
#include "TandelLink.h"

using namespace tdengine;

namespace {

// Counts completions; every other event is passed over.
class Counter final : public ITDOrvWinEngineEvents {
 public:
  int Done = 0;
  LONG Error = 0;
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override {
    *out = iid == IID_IUnknown || iid == IID_ITDOrvWinEngineEvents ? this : nullptr;
    return *out ? S_OK : E_NOINTERFACE;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return 2; }
  ULONG STDMETHODCALLTYPE Release() override { return 1; }
#define VANTLE_DONE(name)                           \
  HRESULT STDMETHODCALLTYPE name(LONG e) override { \
    ++Done;                                         \
    Error = e;                                      \
    return S_OK;                                    \
  }
  VANTLE_DONE(OnInit)
  VANTLE_DONE(OnConnect)
  VANTLE_DONE(OnDisconnect)
  VANTLE_DONE(OnGetFileInfo)
  VANTLE_DONE(OnCopyFile)
  VANTLE_DONE(OnDeleteFile)
  VANTLE_DONE(OnMoveFile)
  VANTLE_DONE(OnRenameFile)
  VANTLE_DONE(OnSetAttributes)
  VANTLE_DONE(OnDeleteDirectory)
  VANTLE_DONE(OnCopyDirectory)
  VANTLE_DONE(OnCreateDirectory)
  VANTLE_DONE(OnMoveDirectory)
  VANTLE_DONE(OnRenameDirectory)
  VANTLE_DONE(OnGetDriveInfo)
  VANTLE_DONE(OnLabelDrive)
  VANTLE_DONE(OnGetExtraMachineInfo)
  VANTLE_DONE(OnSyncMachineTime)
  VANTLE_DONE(OnFormat)
  VANTLE_DONE(OnClosePrograms)
  VANTLE_DONE(OnStartProgram)
  VANTLE_DONE(OnStopProgram)
  VANTLE_DONE(OnReadConfig)
  VANTLE_DONE(OnWriteConfig)
#undef VANTLE_DONE
  HRESULT STDMETHODCALLTYPE OnGetDirectory(LONG e, LONG) override { return OnSyncMachineTime(e); }
  HRESULT STDMETHODCALLTYPE OnGetDrives(LONG e, const char*) override { return OnSyncMachineTime(e); }
  HRESULT STDMETHODCALLTYPE OnGetMachineInfo(LONG e, const char*, LONG) override { return OnSyncMachineTime(e); }
  HRESULT STDMETHODCALLTYPE OnCopyProgress(SHORT, LONG*) override { return S_OK; }
  HRESULT STDMETHODCALLTYPE OnCopyDirectoryProgress(const char*) override { return S_OK; }
  HRESULT STDMETHODCALLTYPE OnFormatProgress(SHORT, LONG*) override { return S_OK; }
  HRESULT STDMETHODCALLTYPE OnCloseProgramProgress(const char*, const char*) override { return S_OK; }

  // Pumps until n completions in all; the error of the last.
  LONG WaitFor(int n) {
    MSG m;
    while (Done < n && GetMessageA(&m, nullptr, 0, 0) > 0) DispatchMessageA(&m);
    return Error;
  }
};

TDPathRecord Path(const std::string& p) {
  TDPathRecord r{2, {}};
  lstrcpynA(r.Path, p.c_str(), sizeof r.Path);
  return r;
}

std::string FileName(int i) {
  char name[32];
  std::snprintf(name, sizeof name, "f%d.txt", i);
  return name;
}

void Write(const std::string& file, size_t bytes) {
  HANDLE h = CreateFileA(file.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
  std::string block(1 << 20, 'v');
  for (size_t done = 0; done < bytes; done += block.size()) {
    DWORD n = 0;
    WriteFile(h, block.data(), static_cast<DWORD>(std::min(block.size(), bytes - done)), &n, nullptr);
  }
  CloseHandle(h);
}

// A file copied as the component copies it: written in a folder of its own,
// then renamed onto its target by the handle it was written through.
void AsideCopy(const std::string& from, const std::string& aside, const std::string& to) {
  KernelHandle source(CreateFileA(from.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                  FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
  KernelHandle target(CreateFileA(aside.c_str(), GENERIC_WRITE | DELETE, 0, nullptr, CREATE_ALWAYS,
                                  FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
  char block[64 * 1024];
  DWORD got = 0, written = 0;
  while (ReadFile(source.Get(), block, sizeof block, &got, nullptr) && got)
    WriteFile(target.Get(), block, got, &written, nullptr);
  source.Reset();
  const std::wstring name = L"\\??\\" + std::wstring(to.begin(), to.end());  // the bench's paths are ASCII
  std::vector<BYTE> info(sizeof(FILE_RENAME_INFO) + name.size() * sizeof(WCHAR));
  auto* rename = reinterpret_cast<FILE_RENAME_INFO*>(info.data());
  rename->ReplaceIfExists = TRUE;
  rename->FileNameLength = static_cast<DWORD>(name.size() * sizeof(WCHAR));
  std::memcpy(rename->FileName, name.c_str(), rename->FileNameLength);
  SetFileInformationByHandle(target.Get(), FileRenameInfo, rename, static_cast<DWORD>(info.size()));
}

UINT Probe() {
  static const UINT probe = RegisterWindowMessageA("VantleBenchProbe");
  return probe;
}

// A bare post-and-reply between this thread and another, the floor of any
// request that crosses threads.
class Echo {
 public:
  // topLevel: its window hears broadcasts, as the engine's worker's does.
  explicit Echo(bool topLevel = false) {
    KernelHandle ready(CreateEventA(nullptr, TRUE, FALSE, nullptr));
    thread_ = std::thread([&] {
      if (topLevel) ImmDisableIME(GetCurrentThreadId());  // as the worker: no input method window to reach too
      MessageWindow w(MessageWindow::Args{.ClassName = "VantleBenchEcho",
                                          .Type = topLevel ? MessageWindow::Kind::HiddenTopLevel
                                                           : MessageWindow::Kind::MessageOnly,
                                          .OnMessage = [&](UINT msg, WPARAM wParam, LPARAM, LRESULT& r) {
                                            if (msg == WM_USER + 1) {
                                              r = 0;
                                              return true;
                                            }
                                            if (msg != WM_USER) return false;
                                            if (wParam) SendNotifyMessageA(HWND_BROADCAST, Probe(), 0, 0);
                                            PostThreadMessageA(client_, WM_USER, 0, 0);
                                            r = 0;
                                            return true;
                                          }});
      worker_ = w.Handle();
      SetEvent(ready.Get());
      MSG m;
      while (GetMessageA(&m, nullptr, 0, 0) > 0) DispatchMessageA(&m);
    });
    WaitForSingleObject(ready.Get(), INFINITE);
    MSG m;
    PeekMessageA(&m, nullptr, 0, 0, PM_NOREMOVE);  // this thread's queue exists
  }
  ~Echo() {
    PostMessageA(worker_, WM_QUIT, 0, 0);
    thread_.join();
  }
  Echo(const Echo&) = delete;
  Echo& operator=(const Echo&) = delete;

  // announced: the other thread broadcasts before it replies, as the worker
  // announces each request before it starts it.
  void Trip(bool announced = false) {
    PostMessageA(worker_, WM_USER, announced, 0);
    MSG m;
    while (GetMessageA(&m, nullptr, 0, 0) > 0 && m.message != WM_USER) DispatchMessageA(&m);
  }
  // A message sent to the other thread and handled there: a progress.
  void Send() { SendMessageA(worker_, WM_USER + 1, 0, 0); }

 private:
  DWORD client_ = GetCurrentThreadId();
  HWND worker_ = nullptr;
  std::thread thread_;
};

// A message posted to a window of this thread and taken from its queue: how
// the sink hands an answer to the worker, and a copy's steps follow each other.
class Hop {
 public:
  Hop() : window_(MessageWindow::Args{.ClassName = "VantleBenchHop"}) {}
  void Trip() {
    PostMessageA(window_.Handle(), WM_USER, 0, 0);
    MSG m;
    while (GetMessageA(&m, nullptr, 0, 0) > 0 && m.message != WM_USER) DispatchMessageA(&m);
  }

 private:
  MessageWindow window_;
};

// The least time of one call of f over rounds of n calls: the machine's other
// work only ever adds to it.
template <class F>
double Fastest(int rounds, int n, F&& f) {
  double best = 1e9;
  for (int round = 0; round < rounds; ++round) {
    const double start = bench::Seconds();
    for (int i = 0; i < n; ++i) f();
    best = std::min(best, (bench::Seconds() - start) / n);
  }
  return best;
}

}  // namespace

int main() {
  std::setvbuf(stdout, nullptr, _IONBF, 0);  // each line as it comes, also into a pipe
  CoInitScope com;
  HMODULE server = LoadLibraryA((bench::ProgramFolder() + "TDENGINE.dll").c_str());
  auto getClass = reinterpret_cast<HRESULT(__stdcall*)(REFCLSID, REFIID, void**)>(
      reinterpret_cast<void*>(GetProcAddress(server, "DllGetClassObject")));
  ComPtr<IClassFactory> factory;
  if (!getClass || FAILED(getClass(CLSID_TDOrvWinEngine, IID_IClassFactory, factory.PutVoid()))) {
    std::printf("engine: TDENGINE.dll not found\n");
    return 1;
  }
  Counter counter;
  int expected = 0;
  double trip = 1e9, bare = 1e9, check = 1e9;
  {
    ComPtr<ITDOrvWinEngine> engine;
    factory->CreateInstance(nullptr, IID_ITDOrvWinEngine, engine.PutVoid());
    factory.Reset();
    engine->Init(&counter);
    counter.WaitFor(++expected);
    engine->Connect(15000);
    if (LONG e = counter.WaitFor(++expected)) {
      std::printf("engine: the handheld did not connect (%ld)\n", static_cast<long>(e));
      return 1;
    }

    // Rounds of each in turn, so that both meet the same load.
    Echo echo;
    Hop hop;
    double answer = 1e9, send = 1e9;
    std::vector<HANDLE> probes(200);
    for (int round = 0; round < 20; ++round) {
      trip = std::min(trip, Fastest(1, 200, [&] {
                        engine->SyncMachineTime();
                        counter.WaitFor(++expected);
                      }));
      bare = std::min(bare, Fastest(1, 200, [&] { echo.Trip(); }));
      answer = std::min(answer, Fastest(1, 200, [&] { hop.Trip(); }));
      size_t opened = 0;
      check = std::min(check, Fastest(1, 200, [&] {
                         probes[opened++] = OpenSemaphoreA(0x1F0003, FALSE, tdlink::ServerSemaphore);
                       }));
      for (HANDLE h : probes) CloseHandle(h);
      send = std::min(send, Fastest(1, 200, [&] { echo.Send(); }));
    }
    std::printf("engine: queued request round trip %.1f us, bare post-and-reply %.1f us, ratio %.2f (target <= 2)\n",
                trip * 1e6, bare * 1e6, trip / bare);

    // Each copy against CopyFile of the same data, in alternating order (the
    // one that runs second meets the first one's writes still going to disk),
    // the faster of each over the rounds, and apart to targets that do not
    // exist and over existing ones: a target replaced gives its space back,
    // which this machine's file system does at once, with a discard sent to
    // the disk, in whichever call frees it (CopyFile's emptying of its target
    // as much as the rename of the engine's copy over its own). prepare(),
    // outside the time, removes the target of a turn, or has the one it
    // replaces on the disk, as a file copied on an earlier run is: else each
    // would replace a target still being written out, by chance more or less.
    const std::string root = tandel::HandheldRoot() + "C\\Bench\\";
    CreateDirectoryA(root.c_str(), nullptr);
    auto compare = [&](const char* what, bool replace, int rounds, auto&& engineCopy, auto&& plainCopy, auto&& prepare) {
      if (replace) {  // the targets the first round replaces
        engineCopy();
        plainCopy();
      }
      double engineBest = 1e9, plainBest = 1e9;
      LONG error = 0;
      for (int round = 0; round < rounds; ++round) {
        for (int turn = 0; turn < 2; ++turn) {
          const bool engineTurn = (turn + round) % 2 == 0;
          prepare(engineTurn, replace);
          const double start = bench::Seconds();
          if (engineTurn) {
            error = engineCopy();
            engineBest = std::min(engineBest, bench::Seconds() - start);
          } else {
            plainCopy();
            plainBest = std::min(plainBest, bench::Seconds() - start);
          }
        }
      }
      std::printf("engine: %s %s %.3f s (error %ld), CopyFile %.3f s, throughput ratio %.2f (target >= 0.9)\n", what,
                  replace ? "over existing targets" : "to new targets", engineBest, static_cast<long>(error),
                  plainBest, plainBest / engineBest);
      return plainBest;
    };

    Write(root + "big.bin", 100u << 20);
    auto bigEngine = [&] {
      TDPathRecord from = Path("C:\\Bench\\big.bin"), to = Path("C:\\Bench\\big.copy");
      engine->CopyFile(&from, &to, 1);
      return counter.WaitFor(++expected);
    };
    auto bigPlain = [&] { CopyFileA((root + "big.bin").c_str(), (root + "big.plain").c_str(), FALSE); };
    auto bigPrepare = [&](bool engineTurn, bool replace) {
      const std::string target = root + (engineTurn ? "big.copy" : "big.plain");
      if (!replace) {
        DeleteFileA(target.c_str());
        return;
      }
      KernelHandle h(CreateFileA(target.c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr));
      FlushFileBuffers(h.Get());
    };
    // Beyond the data, a 100 MB copy reports 0 percent and a progress per
    // block (four of 64 KB, seven of up to 16 MB), each sent to the client
    // after a step through the worker's queue.
    constexpr int BigProgresses = 12;
    const double progresses = BigProgresses * (send + answer);
    const double plainNew = compare("100 MB file", false, 5, bigEngine, bigPlain, bigPrepare);
    std::printf("engine:   its floor: CopyFile %.3f + %d progresses sent through the worker's queue %d x %.1f us = "
                "%.3f s, ratio %.2f\n",
                plainNew, BigProgresses, BigProgresses, (send + answer) * 1e6, plainNew + progresses,
                plainNew / (plainNew + progresses));
    const double plainReplace = compare("100 MB file", true, 5, bigEngine, bigPlain, bigPrepare);
    // A copy that replaces its target is written aside and renamed over it
    // once complete. The rename has the file system start writing the new
    // copy out, and give the old target's space back behind those writes;
    // CopyFile empties its target before it writes instead.
    double replace = 1e9;
    for (int round = 0; round < 3; ++round) {
      bigPrepare(false, true);
      CopyFileA((root + "big.bin").c_str(), (root + "big.aside").c_str(), FALSE);
      const double start = bench::Seconds();
      MoveFileExA((root + "big.aside").c_str(), (root + "big.plain").c_str(), MOVEFILE_REPLACE_EXISTING);
      replace = std::min(replace, bench::Seconds() - start);
    }
    const double replaceFloor = plainNew + replace + progresses;
    std::printf("engine:   its floor: CopyFile to a new target %.3f + renaming a copy just written over a 100 MB "
                "target %.3f + the progresses %.3f = %.3f s, ratio %.2f\n",
                plainNew, replace, progresses, replaceFloor, plainReplace / replaceFloor);
    for (const char* big : {"big.bin", "big.copy", "big.plain"}) DeleteFileA((root + big).c_str());

    const std::string tree = root + "Tree\\";
    CreateDirectoryA(tree.c_str(), nullptr);
    for (int i = 0; i < 1000; ++i) Write(tree + FileName(i), 4096);
    CreateDirectoryA((root + "TreeCopy").c_str(), nullptr);
    CreateDirectoryA((root + "TreePlain").c_str(), nullptr);
    auto treeEngine = [&] {
      TDPathRecord source = Path("C:\\Bench\\Tree"), target = Path("C:\\Bench\\TreeCopy");
      engine->CopyDirectory(&source, &target, 1);
      return counter.WaitFor(++expected);
    };
    auto treePlain = [&] {
      for (int i = 0; i < 1000; ++i)
        CopyFileA((tree + FileName(i)).c_str(), (root + "TreePlain\\" + FileName(i)).c_str(), FALSE);
    };
    // A folder's small targets are replaced as they are.
    auto treePrepare = [&](bool engineTurn, bool replace) {
      if (replace) return;
      if (engineTurn) {
        bench::RemoveTree(root + "TreeCopy\\Tree");
      } else {
        for (int i = 0; i < 1000; ++i) DeleteFileA((root + "TreePlain\\" + FileName(i)).c_str());
      }
    };
    // Each file is written aside and renamed onto its target, which CopyFile
    // does not do.
    const std::string aside = root + "Aside\\", onto = root + "TreeAside\\";
    CreateDirectoryA(aside.c_str(), nullptr);
    CreateDirectoryA(onto.c_str(), nullptr);
    for (bool replace : {false, true}) {
      const double plainFolder = compare("1,000-file folder", replace, 2, treeEngine, treePlain, treePrepare);
      double asideFolder = 1e9;
      for (int round = 0; round < 2; ++round) {
        if (!replace)
          for (int i = 0; i < 1000; ++i) DeleteFileA((onto + FileName(i)).c_str());
        const double start = bench::Seconds();
        for (int i = 0; i < 1000; ++i) AsideCopy(tree + FileName(i), aside + FileName(i), onto + FileName(i));
        asideFolder = std::min(asideFolder, bench::Seconds() - start);
      }
      // Each file of the folder is announced to the client and its copy's
      // 0 percent and end told (three sent progresses), and copied: the
      // component's progress, its end of the copy and the sink's answer come
      // through the worker's queue (the listing's entries are taken in the
      // call's wake).
      const double perFile = asideFolder / 1000, protocol = 3 * send + 3 * answer;
      std::printf("engine:   its floor per file: a copy written aside and renamed onto its target %.1f (CopyFile "
                  "%.1f) + 3 progresses sent to the client 3 x %.1f + 3 messages through the worker's queue 3 x %.1f "
                  "= %.1f us, ratio %.2f\n",
                  perFile * 1e6, plainFolder / 1000 * 1e6, send * 1e6, answer * 1e6, (perFile + protocol) * 1e6,
                  plainFolder / 1000 / (perFile + protocol));
    }
    bench::RemoveTree(root.substr(0, root.size() - 1));
  }
  // Beyond a bare post-and-reply, the worker announces each request with a
  // broadcast, which reaches its own window (measured with the engine gone,
  // so that the echo's broadcast reaches no other thread), and finds the
  // server running; the component's answer is taken in the call's wake and
  // the check's handle closed after the reply, neither on the way.
  {
    Echo announcing(true);
    double announced = 1e9;
    for (int round = 0; round < 20; ++round)
      announced = std::min(announced, Fastest(1, 200, [&] { announcing.Trip(true); }));
    const double floor = announced + check;
    std::printf("engine: the round trip's floor: a post-and-reply whose other thread broadcasts first %.1f (the "
                "broadcast %.1f) + the server check %.1f = %.1f us, ratio %.2f\n",
                announced * 1e6, (announced - bare) * 1e6, check * 1e6, floor * 1e6, floor / bare);
  }
  // The connection server the engine started would outlive the benchmark.
  if (HWND linkServer = tdlink::FindServerWindow()) PostMessageA(linkServer, WM_CLOSE, 0, 0);
  FreeLibrary(server);
  return 0;
}
