// Times the Outlook conduit reading a profile's Inbox of 1,000 and 10,000
// messages through the CDO stand-in, as a run does: vazInitialize, then
// vazGetPCMail into the host's mail list. Prints the fastest and the median
// of several reads of each and the ratio of the fastest: a ratio well above
// 10 means reading grows worse than linearly.
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
  double MarkingRead = -1;  // one more read that marks every message read, as a run does by default
};

// Seeds a profile of `count` unread messages and reads its Inbox through the
// conduit several times, as stage 1 of a run does without marking mail read.
Times ReadInbox(int count, int samples) {
  const std::string root = ProgramFolder() + "BenchProfiles";
  bench::RemoveTree(root);
  ForceDirectories(root);
  const std::string path = root + "\\Bench";
  mailstore::Profile::Create(path, {.Name = "Bench", .User = {"Pat Doe", "pat@example.com", "SMTP"}, .AddressBook = {}});
  double seedStart = Seconds();
  {
    mailstore::Profile profile(path);
    mailstore::SeedFolder(profile, profile.RoleFolder(mailstore::Role::Inbox),
                          {.Count = count, .Unread = count, .Newest = EncodeDate(2026, 6, 10)});
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
  std::vector<double> times;
  for (int i = 0; i < samples; ++i) times.push_back(read({false, false}));
  double markingRead = read({true, true});
  FreeLibrary(conduit);
  bench::RemoveTree(root);
  std::sort(times.begin(), times.end());
  return {times.front(), times[times.size() / 2], markingRead};
}

}  // namespace

int main() {
  try {
    CoInitScope com;
    Times small = ReadInbox(1000, 5);
    Times large = ReadInbox(10000, 3);
    std::printf("Outlook conduit, vazGetPCMail over the Inbox (minimum, median):\n");
    std::printf("  1,000 messages   %8.3f s %8.3f s\n", small.Min, small.Median);
    std::printf("  10,000 messages  %8.3f s %8.3f s\n", large.Min, large.Median);
    if (small.Min > 0) std::printf("  ratio            %8.1f (linear: 10)\n", large.Min / small.Min);
    std::printf("Unread mail only, each marked read (a run's default), once:\n");
    std::printf("  1,000 messages   %8.3f s\n", small.MarkingRead);
    std::printf("  10,000 messages  %8.3f s\n", large.MarkingRead);
    return 0;
  } catch (const Exception& e) {
    std::printf("OutlookBench: %s\n", e.Message.c_str());
    return 1;
  }
}
