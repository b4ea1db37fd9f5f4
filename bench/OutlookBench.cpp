// Times the Outlook conduit reading a profile's Inbox of 1,000 and 10,000
// unread messages through the CDO stand-in, as a run does by default:
// vazInitialize, then vazGetPCMail into the host's mail list, unread mail
// only, each marked read as it is taken. The Inbox's index is put back
// before every read, so each finds every message unread. Prints the fastest
// and the median of several reads of each and the ratio of the fastest (a
// ratio well above 10 means reading grows worse than linearly), and the same
// for reading every message without marking it.
#include <windows.h>
#include <oaidl.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include "BenchSupport.h"
#include "Handles.h"
#include "C_ResMan.h"
#include "C_Types.h"
#include "C_sesobj.h"
#include "Cdo.h"
#include "ConduitEntries.h"
#include "ComPtr.h"
#include "Registry.h"
#include "Seed.h"
#include "VazInterface.h"

namespace {

using bench::Seconds;
using bench::ProgramFolder;

// The conduit's reply-folder move stays off while the benchmark runs, so no
// dialog can wait for an answer.
class NoReplyMove {
 public:
  NoReplyMove() : key_("\\Software\\QuorvelCorp\\Vantle\\VAZ Settings\\" + TResManager("Mapimail.mrs").GetString(1)) {
    reg_.SetRootKey(HKEY_LOCAL_MACHINE);
    reg_.OpenKey(key_, true);
    existed_ = reg_.ValueExists("Reply Move");
    if (existed_) old_ = reg_.ReadInteger("Reply Move");
    reg_.WriteInteger("Reply Move", 0);
  }
  ~NoReplyMove() {
    if (existed_) reg_.WriteInteger("Reply Move", old_);
    else reg_.DeleteValue("Reply Move");
  }

 private:
  std::string key_;
  TRegistry reg_;
  bool existed_ = false;
  int old_ = 0;
};

struct Times {
  double Min = -1, Median = -1;
};
struct ReadTimes {
  Times Marking;  // unread only, each marked read (a run's default)
  Times All;      // every message, none marked
};

Times Summary(std::vector<double> times) {
  std::sort(times.begin(), times.end());
  return {times.front(), times[times.size() / 2]};
}

// Seeds a profile of `count` unread messages and reads its Inbox through the
// conduit several times each way.
ReadTimes ReadInbox(int count, int samples) {
  const std::string root = ProgramFolder() + "BenchProfiles";
  bench::RemoveTree(root);
  ForceDirectories(root);
  const std::string path = root + "\\Bench";
  mailstore::Profile::Create(path, {.Name = "Bench", .User = {"Pat Doe", "pat@example.com", "SMTP"}, .AddressBook = {}});
  double seedStart = Seconds();
  std::string inbox, unread;
  {
    mailstore::Profile profile(path);
    mailstore::SeedFolder(profile, profile.RoleFolder(mailstore::Role::Inbox),
                          {.Count = count, .Unread = count, .Newest = EncodeDate(2026, 6, 10)});
    inbox = profile.Folder(profile.RoleFolder(mailstore::Role::Inbox)).Path;
    unread = mailstore::ReadWholeFile(inbox + "Index.json");
  }
  std::printf("  (seeding %d messages: %.3f s)\n", count, Seconds() - seedStart);
  std::fflush(stdout);
  NoReplyMove noReplyMove;
  const std::string key = std::string("\\") + cdo::StandInKey;
  bench::ScopedValue folder(HKEY_CURRENT_USER, key, cdo::ValueProfilesFolder, root);
  bench::ScopedValue name(HKEY_CURRENT_USER, key, cdo::ValueDefaultProfile, "Bench");

  HMODULE conduit = LoadLibraryA((ProgramFolder() + "Mapimail.vaz").c_str());
  if (!conduit) throw Exception("Mapimail.vaz did not load");
  TConduitEntries entries;
  BindConduitEntries(conduit, entries, nullptr, true);
  TMemo* memo = nullptr;
  TProgress* progress = nullptr;
  auto read = [&](TGetMailOptions options) {
    // Every message unread again, as the seeding left them.
    mailstore::WriteFileAtomic(inbox + "Index.json", unread);
    DeleteFileA((inbox + "Index.log").c_str());
    TSesObj session;
    TMailList list(&session, nullptr);
    TMailList* listVar = &list;
    if (entries.vazInitialize(nullptr, &memo, &progress) != vazDone) throw Exception("vazInitialize failed");
    double start = Seconds();
    int result = entries.vazGetPCMail(nullptr, &listVar, 0, 0, options, &memo, &progress);
    double elapsed = Seconds() - start;
    if (result != vazDone || list.Count() != count)
      std::printf("reading %d messages answered %d with %d mails\n", count, result, list.Count());
    entries.vazShutDown(&memo, &progress);
    list.ClearList();
    return elapsed;
  };
  std::vector<double> marking, all;
  for (int i = 0; i < samples; ++i) marking.push_back(read({true, true}));
  for (int i = 0; i < samples; ++i) all.push_back(read({false, false}));
  FreeLibrary(conduit);
  bench::RemoveTree(root);
  return {Summary(marking), Summary(all)};
}

}  // namespace

int main() {
  try {
    CoInitScope com;
    ReadTimes small = ReadInbox(1000, 5);
    ReadTimes large = ReadInbox(10000, 3);
    auto print = [](const char* what, const Times& a, const Times& b) {
      std::printf("%s (minimum, median):\n", what);
      std::printf("  1,000 messages   %8.3f s %8.3f s\n", a.Min, a.Median);
      std::printf("  10,000 messages  %8.3f s %8.3f s\n", b.Min, b.Median);
      if (a.Min > 0) std::printf("  ratio            %8.1f (linear: 10)\n", b.Min / a.Min);
    };
    print("Outlook conduit, vazGetPCMail over the Inbox, unread mail only, each marked read", small.Marking,
          large.Marking);
    print("Every message, none marked", small.All, large.All);
    return 0;
  } catch (const Exception& e) {
    std::printf("OutlookBench: %s\n", e.Message.c_str());
    return 1;
  }
}
