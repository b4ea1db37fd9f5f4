// Times the GroupWise conduit reading a mailbox of 1,000 and 10,000 messages
// (a tenth of them phone messages) through the GroupWise stand-in, as a run
// does: vazInitialize, then vazGetPCMail into the host's mail list over a
// range of days holding them all. Prints the fastest and the median of
// several reads of each and the ratio of the fastest: a ratio well above 10
// means reading grows worse than linearly.
#include <windows.h>
#include <oaidl.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include "BenchSupport.h"
#include "ConduitRead.h"
#include "C_Types.h"
#include "C_sesobj.h"
#include "ComPtr.h"
#include "GroupWise.h"
#include "Seed.h"
#include "VazInterface.h"

namespace {

using bench::ProgramFolder;
using bench::Seconds;

struct Times {
  double Min = -1, Median = -1;
};

Times ReadMailbox(int count, int samples) {
  const std::string root = ProgramFolder() + "BenchProfiles";
  bench::RemoveTree(root);
  ForceDirectories(root);
  const std::string path = root + "\\Bench";
  const TDateTime newest = EncodeDate(2026, 6, 10);
  mailstore::Profile::Create(path, {.Name = "Bench", .User = {"Pat Doe", "pat@example.com", "SMTP"}, .AddressBook = {}});
  double seedStart = Seconds();
  {
    mailstore::Profile profile(path);
    mailstore::SeedFolder(profile, profile.RoleFolder(mailstore::Role::Inbox),
                          {.Count = count, .Unread = 0, .Newest = newest, .Phone = count / 10});
  }
  std::printf("  (seeding %d messages: %.3f s)\n", count, Seconds() - seedStart);
  std::fflush(stdout);
  const std::string key = std::string("\\") + groupwise::StandInKey;
  bench::ScopedValue folder(HKEY_CURRENT_USER, key, groupwise::ValueProfilesFolder, root);
  bench::ScopedValue name(HKEY_CURRENT_USER, key, groupwise::ValueDefaultProfile, "Bench");

  const bench::ReadTimes t = bench::TimeGetPCMail("Novmail.vaz", count, samples, EncodeDate(2000, 1, 1), newest);
  bench::RemoveTree(root);
  return {t.Min, t.Median};
}

}  // namespace

int main() {
  try {
    CoInitScope com;
    Times small = ReadMailbox(1000, 5);
    Times large = ReadMailbox(10000, 3);
    std::printf("GroupWise conduit, vazGetPCMail over the mailbox (minimum, median):\n");
    std::printf("  1,000 messages   %8.3f s %8.3f s\n", small.Min, small.Median);
    std::printf("  10,000 messages  %8.3f s %8.3f s\n", large.Min, large.Median);
    if (small.Min > 0) std::printf("  ratio            %8.1f (linear: 10)\n", large.Min / small.Min);
    return 0;
  } catch (const Exception& e) {
    std::printf("GroupWiseBench: %s\n", e.Message.c_str());
    return 1;
  }
}
