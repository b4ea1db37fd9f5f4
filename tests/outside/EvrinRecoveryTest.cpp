// The data-file server after a writer was killed, after other processes
// changed a store it had opened before, and with several threads at once.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <random>
#include <thread>

#include "ComObj.h"
#include "EvrinFile.h"
#include "EvrinFormat.h"
#include "EvrinSession.h"
#include "Handles.h"
#include "TestSupport.h"

namespace {

using namespace evrin;

constexpr const char* OutBoxColumns = "SSSSDSBBBS";

std::vector<std::string> Subjects(const std::string& path) {
  StoreSession store(path);
  std::vector<std::string> subjects;
  for (int i = 0, n = store.Count(); i < n; ++i) subjects.push_back(store.Value(i, 0).AsString());
  return subjects;
}

void Add(const StoreSession& store, const std::string& subject, size_t filler = 0) {
  Variant r = store.NewRecord();
  r.Call("SetValue", {0, subject});
  r.Call("SetValue", {5, std::string(filler, 'f')});
  r.Call("SetValue", {9, false});  // as the writer helper fills it
  r.Call("Commit");
}

// The store as it was after each committed change: its bytes and subjects.
struct State {
  std::string Bytes;
  std::vector<std::string> Subjects;
  size_t EndMark() const { return Bytes.size() - EndSize; }
};

class EvrinRecoveryTest : public testing::Test {
 protected:
  void SetUp() override {
    ForceDirectories(folder_);
    test::WriteFileBytes(store_, EmptyStore(ParseColumnLetters(OutBoxColumns)));
  }

  // Small and large records, a change and a deletion, each kept as a state.
  std::vector<State> CommitSteps() {
    std::vector<State> states;
    auto keep = [&] { states.push_back({test::ReadFileBytes(store_), Subjects(store_)}); };
    keep();
    StoreSession store(store_);
    auto step = [&](auto change) {
      change();
      states.push_back({test::ReadFileBytes(store_), {}});
    };
    step([&] { Add(store, "small"); });
    step([&] { Add(store, "large", 20000); });  // an entry across many pages
    step([&] { Add(store, "third", 100); });
    step([&] {
      Variant r = store.Item(0);
      r.Call("Update");
      r.Call("SetValue", {0, "small changed"});
      r.Call("Commit");
    });
    step([&] { store.Item(2).Call("Delete"); });
    step([&] { Add(store, "last"); });
    states[1].Subjects = {"small"};
    states[2].Subjects = {"small", "large"};
    states[3].Subjects = {"small", "large", "third"};
    states[4].Subjects = {"small changed", "large", "third"};
    states[5].Subjects = {"small changed", "large"};
    states[6].Subjects = {"small changed", "large", "last"};
    return states;
  }

  // Opens the store as bytes and expects it to hold state, written whole.
  void ExpectOpensAs(const std::string& bytes, const State& state, const std::string& what) {
    ExpectOpensAs(bytes, state, what, store_);
  }
  void ExpectOpensAs(const std::string& bytes, const State& state, const std::string& what, const std::string& path) {
    test::WriteFileBytes(path, bytes);
    try {
      EXPECT_EQ(state.Subjects, Subjects(path)) << what;
    } catch (const EOleException& e) {
      ADD_FAILURE() << what << ": " << e.Description;
    }
    EXPECT_EQ(state.Bytes, test::ReadFileBytes(path)) << what;
  }

  const std::string folder_ = test::ProgramFolder() + "evrinrecovery-test\\";
  test::FolderSnapshot cleanup_{folder_};
  const std::string store_ = folder_ + "Out";
  CoInitScope com_;
};

TEST_F(EvrinRecoveryTest, AStoreCutAnywhereAfterItsHeaderKeepsEveryCompleteEntry) {
  std::vector<State> states = CommitSteps();
  const std::string whole = states.back().Bytes;
  const size_t header = states[0].EndMark();
  auto nearBoundary = [&](size_t n) {
    for (const State& s : states)
      if (n + 24 >= s.EndMark() && n <= s.EndMark() + 24) return true;
    return false;
  };
  for (size_t n = 0; n < whole.size(); ++n) {
    if (n >= header + 24 && !nearBoundary(n) && n % 4096 > 1 && n % 4096 != 4095 && n % 509 != 0) continue;
    std::string cut = whole.substr(0, n);
    if (n < header) {
      test::WriteFileBytes(store_, cut);
      EXPECT_THROW(StoreSession store(store_), EOleException) << n;
      EXPECT_EQ(cut, test::ReadFileBytes(store_)) << n;
      continue;
    }
    size_t k = 0;
    while (k + 1 < states.size() && states[k + 1].EndMark() <= n) ++k;
    ExpectOpensAs(cut, states[k], "cut at " + std::to_string(n));
  }
}

TEST_F(EvrinRecoveryTest, AWriteCutShortAtAnyPointLeavesTheStoreBeforeOrAfterIt) {
  // A change writes its entry and a new end mark over the old end mark; a
  // process killed meanwhile leaves any first part of that write.
  std::vector<State> states = CommitSteps();
  for (size_t k = 1; k < states.size(); ++k) {
    const State& before = states[k - 1];
    const State& after = states[k];
    const size_t at = before.EndMark();
    const std::string write = after.Bytes.substr(at);
    const size_t entry = write.size() - EndSize;
    for (size_t w = 1; w < write.size(); ++w) {
      if (w > 64 && w + 64 < write.size() && (at + w) % 4096 != 0) continue;
      std::string torn = before.Bytes.substr(0, at) + write.substr(0, w);
      if (w < EndSize) torn += before.Bytes.substr(at + w);
      ExpectOpensAs(torn, w >= entry ? after : before, Format("change %d cut after %d bytes", {int(k), int(w)}));
    }
  }
}

TEST_F(EvrinRecoveryTest, APowerCutKeepsEveryCompleteEntryWhateverPagesReachedTheDisk) {
  constexpr size_t Page = 4096;
  // Released, so on the disk, with its end mark across a page boundary.
  {
    StoreSession store(store_);
    const size_t empty = test::ReadFileBytes(store_).size();
    Add(store, "flushed 1");
    const size_t one = test::ReadFileBytes(store_).size();
    Add(store, "flushed 2", (Page - 10 + EndSize - one - (one - empty)) / 2);
  }
  // Then changed without a release: each version of the file after a commit.
  std::vector<State> versions{{test::ReadFileBytes(store_), {"flushed 1", "flushed 2"}}};
  ASSERT_EQ(Page - 10, versions[0].EndMark());
  {
    StoreSession store(store_);
    auto step = [&](auto change, std::vector<std::string> subjects) {
      change();
      versions.push_back({test::ReadFileBytes(store_), std::move(subjects)});
    };
    step([&] { Add(store, "large", 3000); }, {"flushed 1", "flushed 2", "large"});  // across new pages
    step([&] {
      Variant r = store.Item(0);
      r.Call("Update");
      r.Call("SetValue", {0, "changed"});
      r.Call("Commit");
    }, {"changed", "flushed 2", "large"});
    step([&] { store.Item(1).Call("Delete"); }, {"changed", "large"});
  }
  // The disk holds any version of each page from the durable end mark's
  // first page on (never written: zeros), and the file any size it had.
  const size_t first = versions[0].EndMark() / Page, pages = (versions.back().Bytes.size() + Page - 1) / Page;
  const size_t n = versions.size();
  auto disk = [&](size_t pick) {
    std::string bytes = versions[0].Bytes.substr(0, first * Page);
    for (size_t p = first; p < pages; ++p, pick /= n) {
      std::string page = versions[pick % n].Bytes.substr(std::min(p * Page, versions[pick % n].Bytes.size()), Page);
      bytes += page + std::string(Page - page.size(), '\0');
    }
    bytes.resize(versions[pick % n].Bytes.size());
    return bytes;
  };
  size_t states = 1;
  for (size_t p = first; p <= pages; ++p) states *= n;
  // Each state in a file of its own: the server trusts what it kept of a file
  // that looks unchanged, and these are written faster than its clock moves.
  for (size_t pick = 0; pick < states; ++pick) {
    const std::string bytes = disk(pick), path = folder_ + "Cut" + std::to_string(pick);
    // The newest version whose entries all reached the disk.
    size_t k = n - 1;
    while (bytes.size() < versions[k].EndMark() || bytes.compare(0, versions[k].EndMark(), versions[k].Bytes, 0,
                                                                 versions[k].EndMark()) != 0)
      --k;
    ExpectOpensAs(bytes, versions[k], "state " + std::to_string(pick), path);
    DeleteFileA(path.c_str());
  }
  // Damage in what was on the disk is still refused, and the file left as it was.
  const std::string newPagesOnly = disk(states - n);  // all but the old end mark's first page
  for (size_t at : {DurableAt, versions[0].EndMark() - 400, versions[0].EndMark() - 1}) {
    std::string bad = newPagesOnly, path = folder_ + "Bad" + std::to_string(at);
    bad[at] = static_cast<char>(bad[at] ^ 0x20);
    test::WriteFileBytes(path, bad);
    EXPECT_THROW(StoreSession store(path), EOleException) << at;
    EXPECT_EQ(bad, test::ReadFileBytes(path)) << at;
  }
}

TEST_F(EvrinRecoveryTest, StoresOfTheEarlierFormatOpenAndAreRewrittenInTheCurrentOne) {
  // Format 1 has no durable end in its header.
  std::string header("EVRNDATA\x01\x00\x0A\x00", 12);
  for (ColumnType t : ParseColumnLetters(OutBoxColumns)) header += static_cast<char>(t);
  const std::uint32_t crc = Crc32(header.data(), header.size());
  for (int i = 0; i < 4; ++i) header += static_cast<char>(crc >> (8 * i));
  auto record = [](std::uint32_t id, const char16_t* subject) {
    Row row(10);
    row[0] = {ValueKind::String, subject};
    return EncodeRecord(id, row);
  };
  const std::string entries = header + record(1, u"old one") + record(2, u"old two");
  const std::string whole = entries + EncodeEnd(2, entries.size());
  std::string damaged = whole;
  damaged[header.size() + 12] = static_cast<char>(damaged[header.size() + 12] ^ 0x20);
  const std::vector<std::string> both{"old one", "old two"};
  const struct {
    const char* what;
    std::string bytes;
    std::vector<std::string> subjects;  // none: refused
  } cases[] = {
      {"whole", whole, both},
      {"a last entry cut short", entries + record(3, u"old three").substr(0, 20), both},
      {"an end mark cut short", entries + EncodeEnd(2, entries.size()).substr(0, 15), both},
      {"damage before the last entry", damaged, {}},
  };
  for (const auto& c : cases) {
    const std::string path = folder_ + c.what;
    test::WriteFileBytes(path, c.bytes);
    if (c.subjects.empty()) {
      EXPECT_THROW(StoreSession store(path), EOleException) << c.what;
      EXPECT_EQ(c.bytes, test::ReadFileBytes(path)) << c.what;
      continue;
    }
    EXPECT_EQ(c.subjects, Subjects(path)) << c.what;
    const std::string now = test::ReadFileBytes(path);
    EXPECT_EQ('\x02', now[8]) << c.what;
    EXPECT_EQ(c.subjects.size(), StoreImage::Parse(now).Count()) << c.what;
    EXPECT_EQ(c.subjects, Subjects(path)) << c.what;
  }
}

// Runs a Unix command line through the shell; Wine gives no handle to wait on.
void RunShell(const std::string& line) {
  std::string command = "/bin/sh -c \"" + line + "\"";
  STARTUPINFOA si{};
  si.cb = sizeof si;
  PROCESS_INFORMATION pi{};
  if (!CreateProcessA(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi)) {
    ADD_FAILURE() << "cannot run " << command;
    return;
  }
  CloseHandle(pi.hThread);
  CloseHandle(pi.hProcess);
}

// The test prefix maps drive Z: to the Unix root.
std::string UnixPath(const std::string& windowsPath) {
  std::string p = windowsPath.substr(2);
  std::replace(p.begin(), p.end(), '\\', '/');
  return p;
}

// How the writer helper dies: TerminateProcess, or SIGKILL from the system
// (as a crash or a power cut stops it: even inside a write).
enum class Kill { Terminate, Hard };

// Runs the writer helper on a store, waits until it has committed at least
// `committed` changes, lets it go on for up to `moreMs` and kills it;
// answers the changes it had committed.
LONG KillWriterAfter(const std::string& store, const std::string& mode, LONG committed, DWORD moreMs = 0,
                     Kill how = Kill::Terminate) {
  std::string name = "VantleEvrinWriter" + std::to_string(GetCurrentProcessId());
  HANDLE mapping = CreateFileMappingA(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0, sizeof(LONG), name.c_str());
  auto* counter = static_cast<volatile LONG*>(MapViewOfFile(mapping, FILE_MAP_WRITE, 0, 0, sizeof(LONG)));
  *counter = 0;
  std::string writer = test::ProgramFolder() + "evrindata_writer.exe";
  LONG seen = -2;
  if (how == Kill::Terminate) {
    std::string cmd = "\"" + writer + "\" \"" + store + "\" " + name + " " + mode;
    STARTUPINFOA si{};
    si.cb = sizeof si;
    PROCESS_INFORMATION pi{};
    if (CreateProcessA(nullptr, cmd.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi)) {
      for (int waited = 0; *counter >= 0 && *counter < committed && waited < 30000; waited += 5) {
        if (WaitForSingleObject(pi.hProcess, 5) == WAIT_OBJECT_0) break;
      }
      if (moreMs) WaitForSingleObject(pi.hProcess, moreMs);
      TerminateProcess(pi.hProcess, 9);
      WaitForSingleObject(pi.hProcess, INFINITE);
      seen = *counter;
      CloseHandle(pi.hThread);
      CloseHandle(pi.hProcess);
    }
  } else {
    std::string pidFile = store + ".writer";
    DeleteFileA(pidFile.c_str());
    RunShell("wine '" + writer + "' '" + store + "' " + name + " " + mode + " & echo $! > '" + UnixPath(pidFile) + "'");
    for (int waited = 0; *counter >= 0 && *counter < committed && waited < 30000; waited += 5) Sleep(5);
    Sleep(moreMs);
    std::string pid;
    for (int waited = 0; pid.empty() && waited < 10000; waited += 10) {
      if (FileExists(pidFile)) pid = test::ReadFileBytes(pidFile);
      if (pid.empty() || pid.back() != '\n') pid.clear(), Sleep(10);
    }
    RunShell("kill -9 " + pid);
    // Gone when its handle on the store is.
    for (int waited = 0; waited < 30000; waited += 10) {
      HANDLE h = CreateFileA(store.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
      if (h != INVALID_HANDLE_VALUE) {
        CloseHandle(h);
        seen = *counter;
        break;
      }
      Sleep(10);
    }
    DeleteFileA(pidFile.c_str());
  }
  UnmapViewOfFile(const_cast<LONG*>(counter));
  CloseHandle(mapping);
  return seen;
}

TEST_F(EvrinRecoveryTest, AKilledWriterLosesNoCommittedChange) {
  // Killed many times at random moments while it appends records across
  // pages as fast as it can (at most 300 each time).
  std::mt19937 random(20261209);
  int total = 0;
  for (int kill = 0; kill < 32; ++kill) {
    Kill how = kill % 4 == 0 ? Kill::Terminate : Kill::Hard;
    LONG appended = KillWriterAfter(store_, "append 9000 300", 1, random() % 40, how);
    ASSERT_GE(appended, 1) << kill;
    StoreSession store(store_);
    int count = store.Count();
    // The counter rises after Commit returns, so at most one more is there.
    ASSERT_GE(count, total + appended) << kill;
    ASSERT_LE(count, total + appended + 1) << kill;
    for (int i = total; i < count; ++i) ASSERT_EQ("written " + std::to_string(i), store.Value(i, 0).AsString());
    total = count;
  }
  // Killed after deleting.
  ASSERT_EQ(10, KillWriterAfter(store_, "delete 10", 10));
  StoreSession store(store_);
  EXPECT_EQ(total - 10, store.Count());
  EXPECT_EQ("written 10", store.Value(0, 0).AsString());
}

TEST_F(EvrinRecoveryTest, RecordsCommittedByAWriterKilledBeforeReleasingTheStoreAreKept) {
  // The writer commits and then waits with the store still open: the kill
  // comes before any release of the store.
  int total = 0;
  for (Kill how : {Kill::Terminate, Kill::Hard}) {
    ASSERT_EQ(7, KillWriterAfter(store_, "keep 7", 7, 0, how));
    std::vector<std::string> subjects = Subjects(store_);
    ASSERT_EQ(size_t(total + 7), subjects.size());
    for (int i = 0; i < total + 7; ++i) EXPECT_EQ("written " + std::to_string(i), subjects[i]);
    total += 7;
  }
  EXPECT_NO_THROW(StoreImage::Parse(test::ReadFileBytes(store_)));
}

TEST_F(EvrinRecoveryTest, ChangesByOtherProcessesAreSeenByAStoreOpenedBefore) {
  {
    StoreSession store(store_);
    for (int i = 0; i < 3; ++i) Add(store, "written " + std::to_string(i), 3000);
  }
  EXPECT_EQ(3u, Subjects(store_).size());
  // Another process appends.
  ASSERT_EQ(5, KillWriterAfter(store_, "append 3000 5", 5, 30000));
  std::vector<std::string> subjects = Subjects(store_);
  ASSERT_EQ(8u, subjects.size());
  for (int i = 0; i < 8; ++i) EXPECT_EQ("written " + std::to_string(i), subjects[i]);
  const std::string eight = test::ReadFileBytes(store_);
  {
    StoreSession store(store_);
    Add(store, "written 8", 3000);
  }
  // Cut back to an earlier copy.
  test::WriteFileBytes(store_, eight);
  EXPECT_EQ(8u, Subjects(store_).size());
  // The same size, changed far from the end, written later.
  std::string other = folder_ + "Other";
  test::WriteFileBytes(other, EmptyStore(ParseColumnLetters(OutBoxColumns)));
  {
    StoreSession store(other);
    for (int i = 0; i < 8; ++i) Add(store, "written " + std::to_string(i == 0 ? 7 : i), 3000);
  }
  const std::string changed = test::ReadFileBytes(other);
  ASSERT_EQ(eight.size(), changed.size());
  auto lastWrite = [&] {
    FILETIME t{};
    HANDLE h = CreateFileA(store_.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    GetFileTime(h, nullptr, nullptr, &t);
    CloseHandle(h);
    return t;
  };
  // Written as a copy is: the bytes, then the source's last-write time.
  auto copyOver = [&](const std::string& bytes, FILETIME t) {
    Sleep(20);  // the clock moves on between a close and a later copy
    test::WriteFileBytes(store_, bytes);
    HANDLE h = CreateFileA(store_.c_str(), FILE_WRITE_ATTRIBUTES, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    EXPECT_TRUE(SetFileTime(h, nullptr, nullptr, &t));
    CloseHandle(h);
  };
  FILETIME written = lastWrite();
  ULARGE_INTEGER later{{written.dwLowDateTime, written.dwHighDateTime}};
  later.QuadPart += 10'000'000;
  copyOver(changed, FILETIME{later.LowPart, later.HighPart});
  EXPECT_EQ("written 7", Subjects(store_).front());
  // ...and with the very last-write time the store had.
  copyOver(eight, lastWrite());
  EXPECT_EQ("written 0", Subjects(store_).front());
  // Replaced by another file.
  test::WriteFileBytes(other, EmptyStore(ParseColumnLetters(OutBoxColumns)));
  {
    StoreSession store(other);
    Add(store, "from the other file");
  }
  ASSERT_TRUE(MoveFileExA(other.c_str(), store_.c_str(), MOVEFILE_REPLACE_EXISTING));
  EXPECT_EQ(std::vector<std::string>{"from the other file"}, Subjects(store_));
}

TEST_F(EvrinRecoveryTest, ThreadsOpeningStoresAtOnceLoseNoChange) {
  constexpr int Threads = 4, Rounds = 15;
  std::vector<std::thread> threads;
  std::vector<std::string> failures(Threads);
  std::atomic<int> shared{0};
  for (int t = 0; t < Threads; ++t) {
    threads.emplace_back([&, t] {
      try {
        CoInitScope com;
        std::string own = folder_ + "Own" + std::to_string(t);
        test::WriteFileBytes(own, EmptyStore(ParseColumnLetters(OutBoxColumns)));
        for (int round = 0; round < Rounds; ++round) {
          {
            StoreSession store(own);
            if (store.Count() != round) failures[t] += Format("round %d saw %d; ", {round, store.Count()});
            Add(store, "round " + std::to_string(round));
          }
          // The shared store has one writer at a time: the others retry.
          for (;;) {
            try {
              StoreSession store(store_);
              Add(store, "shared");
              ++shared;
              break;
            } catch (const EOleException&) {
              Sleep(1);
            }
          }
        }
      } catch (const std::exception& e) {
        failures[t] += e.what();
      }
    });
  }
  for (std::thread& t : threads) t.join();
  for (const std::string& f : failures) EXPECT_EQ("", f);
  EXPECT_EQ(Threads * Rounds, shared.load());
  EXPECT_EQ(size_t(Threads * Rounds), Subjects(store_).size());
}


TEST_F(EvrinRecoveryTest, AFlushAheadIsWaitedForUntilItHasEnded) {
  // A flush of a pipe lasts until its reader has read everything: a flush
  // of one of these two pipes is under way until the reader is let read its
  // byte. Each round starts a flush the moment the one before ends, then
  // waits for it.
  constexpr int Rounds = 1000;
  KernelHandle ends[2][2], go(CreateSemaphoreA(nullptr, 0, 2, nullptr));
  for (auto& pipe : ends) ASSERT_TRUE(CreatePipe(pipe[0].Put(), pipe[1].Put(), nullptr, 0));
  std::atomic<int> reading{0}, read{0};
  std::atomic<bool> stop{false};
  std::thread reader([&] {
    char byte;
    DWORD n;
    while (WaitForSingleObject(go.Get(), INFINITE) == WAIT_OBJECT_0 && !stop) {
      ++reading;
      ReadFile(ends[read % 2][0].Get(), &byte, 1, &n, nullptr);
      ++read;
    }
  });
  int round = 1;
  {
    FlushAhead ahead;
    for (; round <= Rounds; ++round) {
      for (auto& pipe : ends) {
        DWORD n;
        WriteFile(pipe[1].Get(), "x", 1, &n, nullptr);
      }
      for (auto& pipe : ends) {
        while (!ahead.Start(pipe[1].Get())) {
        }
        ReleaseSemaphore(go.Get(), 1, nullptr);
      }
      ahead.Wait();
      const bool early = reading < 2 * round;
      while (read < 2 * round) SwitchToThread();
      if (early) break;
    }
  }
  stop = true;
  ReleaseSemaphore(go.Get(), 1, nullptr);
  reader.join();
  EXPECT_GT(round, Rounds) << "the wait of round " << round << " ended before its flush";
}

TEST_F(EvrinRecoveryTest, AWriteThatStopsShortReportsTheSystemsReasonAndLeavesTheStoreWhole) {
  // The writer helper runs with a limit on the size of the files it writes:
  // the commit that crosses it is written only in part.
  const std::string report = folder_ + "report.txt";
  DeleteFileA(report.c_str());
  std::string command = "/bin/sh -c \"ulimit -f 256; trap '' XFSZ; exec wine '" + test::ProgramFolder() +
                        "evrindata_writer.exe' '" + store_ + "' '" + report + "' fill 9000\"";
  STARTUPINFOA si{};
  si.cb = sizeof si;
  PROCESS_INFORMATION pi{};
  ASSERT_TRUE(CreateProcessA(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi));
  CloseHandle(pi.hThread);
  CloseHandle(pi.hProcess);
  // A Unix process gives no handle to wait on: the report says it is done.
  std::string description;
  for (int waited = 0; waited < 60000 && description.empty(); waited += 50) {
    Sleep(50);
    if (FileExists(report)) description = test::ReadFileBytes(report);
  }
  EXPECT_NE(std::string::npos, description.find("Cannot write to the data file")) << description;
  EXPECT_EQ(std::string::npos, description.find("Success")) << description;
  std::vector<std::string> subjects = Subjects(store_);
  ASSERT_GE(subjects.size(), 3u);
  for (size_t i = 0; i < subjects.size(); ++i) EXPECT_EQ("written " + std::to_string(i), subjects[i]);
  EXPECT_NO_THROW(StoreImage::Parse(test::ReadFileBytes(store_)));
}

}  // namespace
