// Abort from the client's thread while the worker is busy with the request it
// ends: only that request ends, and a copy ends through its own completion.
#include <algorithm>
#include <atomic>
#include <cstring>
#include <map>

#include "EngineFixture.h"
#include "TDResults.h"

using namespace tdengine;

namespace {

size_t FoldersIn(const std::string& folder) {
  size_t n = 0;
  WIN32_FIND_DATAA fd;
  HANDLE h = FindFirstFileA((folder + "\\*").c_str(), &fd);
  if (h == INVALID_HANDLE_VALUE) return 0;
  do n += (fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) && fd.cFileName[0] != '.';
  while (FindNextFileA(h, &fd));
  FindClose(h);
  return n;
}

// Aborts whatever runs, every few milliseconds of the client's pumping.
ClientEngine* aborting = nullptr;
int aborts = 0;
void CALLBACK AbortNow(HWND, UINT, UINT_PTR, DWORD) {
  LONG ignored;
  aborting->Thread->Abort(&ignored, 1);
  ++aborts;
}

// Once armed, holds the worker's next request until another one has been
// posted behind it.
std::atomic<bool> takeLate{false};
LRESULT CALLBACK TakeRequestLate(int code, WPARAM removed, LPARAM lParam) {
  const MSG* m = reinterpret_cast<const MSG*>(lParam);
  if (code == HC_ACTION && removed == PM_REMOVE && m->message == WM_TD_ENQUEUE && takeLate.exchange(false)) {
    MSG next;
    for (const DWORD start = GetTickCount(); GetTickCount() - start < 30000 &&
                                            !PeekMessageA(&next, m->hwnd, WM_TD_ENQUEUE, WM_TD_ENQUEUE, PM_NOREMOVE);)
      Sleep(1);
  }
  return CallNextHookEx(nullptr, code, removed, lParam);
}

}  // namespace

TEST_F(EngineTest, ARequestTheWorkerHasNotYetTakenWhenTheEngineGoesNeverRuns) {
  PutFile("C:\\Docs\\a.txt", "alpha");
  ClientEngine engine;
  Connected(engine);
  HHOOK late = SetWindowsHookExA(WH_GETMESSAGE, TakeRequestLate, nullptr, engine.Thread->ThreadId());
  ASSERT_TRUE(late);
  takeLate = true;
  engine.Post(engine.Request(opCopyFile, Handheld, "C:\\Docs\\a.txt", Handheld, "C:\\Docs\\b.txt"));
  engine.Stop();  // its shut-down is what the worker finds behind the copy
  UnhookWindowsHookEx(late);
  EXPECT_FALSE(takeLate);
  EXPECT_EQ(INVALID_FILE_ATTRIBUTES, GetFileAttributesA(Pc("C\\Docs\\b.txt").c_str()));
}

TEST_F(EngineTest, AbortsAmongManyQueuedRequestsEndOnlyTheRunningOne) {
  CTDMessageWnd::GuardTimeout = 10000;
  PutFile("C:\\Stress\\src.bin", std::string(1000, 's'));
  for (int i = 0; i < 60; ++i) PutFile("C:\\Stress\\List\\f" + std::to_string(i), "x");
  const long objects = ComModule::LiveObjects();
  ClientEngine engine;
  Connected(engine);
  {
    constexpr int Requests = 600;
    std::map<LONG, ComPtr<CTDOrvFile>> files;
    std::map<LONG, ComPtr<CTDOrvDirectory>> listings;
    for (LONG tag = 1; tag <= Requests; ++tag) {
      EngineRequest* r = nullptr;
      switch (tag % 5) {
        case 0:
          r = engine.Request(opGetFileInfo, Handheld, "C:\\Stress\\src.bin");
          files[tag] = ComPtr<CTDOrvFile>::Attach(new CTDOrvFile());
          r->Result = files[tag].Get();
          break;
        case 1:
          r = engine.Request(opGetDirectory, Handheld, "C:\\Stress\\List\\*.*");
          listings[tag] = ComPtr<CTDOrvDirectory>::Attach(new CTDOrvDirectory());
          r->Result = listings[tag].Get();
          break;
        case 2: r = engine.Request(opGetDrives, Handheld); break;
        case 3: r = engine.Request(opSyncMachineTime); break;
        default:
          r = engine.Request(opCopyFile, Handheld, "C:\\Stress\\src.bin", Handheld, "C:\\Stress\\copy.bin");
          r->Value = 1;
      }
      r->Crit9 = tag;
      engine.Post(r);
    }
    // Some aborts come while a copy reports its progress, the others at any moment.
    aborting = &engine;
    aborts = 0;
    int copyProgress = 0;
    engine.OnProgress = [&](EngineRequest&, WPARAM code) {
      if (code == progCopy && ++copyProgress % 15 == 0) AbortNow(nullptr, 0, 0, 0);
    };
    UINT_PTR timer = SetTimer(nullptr, 0, 15, AbortNow);
    ASSERT_TRUE(engine.PumpUntil(
        [&] {
          return std::count_if(engine.Replies.begin(), engine.Replies.end(),
                               [](const Reply& r) { return r.Tag >= 1 && r.Tag <= Requests; }) >= Requests;
        },
        240000));
    KillTimer(nullptr, timer);
    EXPECT_GE(aborts, 20);

    std::map<LONG, int> answers;
    size_t ended = 0;
    for (const Reply& reply : engine.Replies) {
      if (reply.Tag < 1 || reply.Tag > Requests) continue;
      ++answers[reply.Tag];
      if (reply.Notify == 0) {
        ++ended;
        EXPECT_NE(opCopyFile, reply.Op) << "a copy ends through its completion";
        continue;
      }
      EXPECT_EQ(0, reply.Error) << "request " << reply.Tag << ", operation " << reply.Op;
      switch (reply.Op) {
        case opGetFileInfo:
          EXPECT_STREQ("src.bin", files[reply.Tag]->Info.Name);
          EXPECT_EQ(1, files[reply.Tag]->Filled);
          break;
        case opGetDirectory: EXPECT_EQ(60, listings[reply.Tag]->Count()) << reply.Tag; break;
        case opGetDrives: EXPECT_EQ(std::vector<std::string>{"C:\\"}, Entries(reply.Path)); break;
      }
    }
    EXPECT_GT(ended, 0u);
    EXPECT_EQ(static_cast<size_t>(Requests), answers.size());
    for (auto [tag, n] : answers) EXPECT_EQ(1, n) << tag;
    EXPECT_TRUE(engine.Failures.empty());
  }
  engine.Stop();
  EXPECT_EQ(objects, ComModule::LiveObjects());
}

TEST_F(EngineTest, AnAbortedFolderCopyStopsAtItsNextItemThroughItsOwnCompletion) {
  CTDMessageWnd::GuardTimeout = 600000;  // a walk left waiting would not end within the test
  for (int i = 0; i < 120; ++i) PutFile("C:\\Tree\\F" + std::to_string(i) + "\\a.txt", "a");
  ClientEngine engine;
  Connected(engine);
  for (bool fromProgress : {true, false}) {
    SCOPED_TRACE(fromProgress ? "aborted from its progress" : "aborted while it runs");
    const std::string name = fromProgress ? "CopyA" : "CopyB";
    ASSERT_TRUE(ForceDirectories(Pc("C\\" + name)));
    int files = 0;
    bool aborted = false;
    LONG error = -1;
    engine.OnProgress = [&](EngineRequest&, WPARAM code) {
      if (code == progCopyDirectory && ++files == 12 && fromProgress) {
        engine.Thread->Abort(&error, 1);
        aborted = true;
      }
    };
    const LONG tag = 7000 + fromProgress;
    EngineRequest* copy = engine.Request(opCopyDirectory, Handheld, "C:\\Tree", Handheld, "C:\\" + name);
    copy->Crit9 = tag;
    engine.Post(copy);
    const Reply* done = nullptr;
    ASSERT_TRUE(engine.PumpUntil([&] {
      if (!aborted && files >= 12) {
        engine.Thread->Abort(&error, 1);
        aborted = true;
      }
      for (const Reply& r : engine.Replies)
        if (r.Tag == tag) done = &r;
      return done != nullptr;
    }));
    EXPECT_EQ(0, error);
    EXPECT_EQ(1, done->Notify);
    EXPECT_EQ(0, done->Error);
    size_t copied = FoldersIn(Pc("C\\" + name + "\\Tree"));
    EXPECT_LE(copied, 14u);
    engine.PumpFor(200);
    EXPECT_EQ(copied, FoldersIn(Pc("C\\" + name + "\\Tree")));
  }
  EXPECT_TRUE(engine.Failures.empty());
  // The queue goes on.
  EXPECT_EQ(0, engine.Run(engine.Request(opSyncMachineTime)).Error);
}

TEST_F(EngineTest, AnAbortAskedDuringAnyProgressOfACopyKeepsItsTargetAway) {
  PutFile("C:\\Docs\\src.bin", std::string(3 * 65536, 'c'));
  ClientEngine engine;
  Connected(engine);
  // The k-th progress asks for the abort, for every k the copy reports, the
  // last one included; past them the copy runs to its end.
  for (int k = 1;; ++k) {
    SCOPED_TRACE(k);
    int progress = 0;
    LONG error = -1;
    engine.OnProgress = [&](EngineRequest&, WPARAM code) {
      if (code == progCopy && ++progress == k) engine.Thread->Abort(&error, 1);
    };
    EngineRequest* copy = engine.Request(opCopyFile, Handheld, "C:\\Docs\\src.bin", Handheld, "C:\\Docs\\dst.bin");
    copy->Value = 1;
    const Reply done = engine.Run(copy);
    EXPECT_EQ(0, done.Error);
    const bool arrived = GetFileAttributesA(Pc("C\\Docs\\dst.bin").c_str()) != INVALID_FILE_ATTRIBUTES;
    EXPECT_TRUE(NoCopyLeftOf("C\\Docs\\dst.bin"));
    if (progress < k) {
      EXPECT_TRUE(arrived);
      EXPECT_GT(k, 2);
      break;
    }
    EXPECT_EQ(0, error);
    EXPECT_EQ(k, progress);  // an aborted copy reports no more progress
    EXPECT_FALSE(arrived);
  }
  EXPECT_TRUE(engine.Failures.empty());
}
