// Times the Eudora conduit reading a mailbox of 1,000 and 10,000 messages
// from the Eudora stand-in program, across the process boundary, as a run
// does: vazInitialize, then vazGetPCMail into the host's mail list. Prints
// the fastest and the median of several reads, their growth, the cost of one
// late-bound call to Eudora's process by name and of a bare call (by dispatch
// id, to a member that does next to nothing: the floor any call pays), and
// what one message costs in bare calls.
#include <windows.h>

#include <algorithm>
#include <cstdlib>
#include <cstdio>
#include <string>
#include <vector>

#include "BenchSupport.h"
#include "ConduitRead.h"
#include "C_Types.h"
#include "C_sesobj.h"
#include "ComObj.h"
#include "Eudora.h"
#include "EudoraProgram.h"
#include "Registry.h"
#include "Seed.h"
#include "VazInterface.h"

namespace {

using bench::ProgramFolder;
using bench::Seconds;

struct Times {
  double Min = -1, Median = -1, PerCall = -1, Floor = -1;
};

Times ReadMailbox(int count, int samples) {
  const std::string root = ProgramFolder() + "BenchProfiles";
  bench::RemoveTree(root);
  ForceDirectories(root);
  const std::string path = root + "\\Eudora";
  mailstore::Profile::Create(path, {.Name = "Eudora", .User = {"Pat Doe", "pat@example.com", "SMTP"}, .AddressBook = {}});
  {
    mailstore::Profile profile(path);
    mailstore::SeedFolder(profile, profile.RoleFolder(mailstore::Role::Inbox),
                          {.Count = count, .Unread = count, .Newest = EncodeDate(2026, 6, 10)});
  }
  bench::ScopedValue profile(HKEY_CURRENT_USER, std::string("\\") + eudora::StandInKey, eudora::ValueProfile, path);
  const std::string settings = "\\Software\\QuorvelCorp\\Vantle\\VAZ Settings\\Eudora 4";
  bench::ScopedValue address(HKEY_LOCAL_MACHINE, settings, "Email Address", "pat@example.com");
  bench::ScopedValue mailbox(HKEY_LOCAL_MACHINE, settings, "Mailbox Name", "IN");
  Times t;
  {
    bench::EudoraProgram eudora;
    const bench::ReadTimes read =
        bench::TimeGetPCMail("Boxmail.vaz", count, samples, EncodeDate(1980, 1, 1), EncodeDate(2030, 12, 31));
    t.Min = read.Min;
    t.Median = read.Median;
    const bench::EudoraCallCost cost = bench::MeasureEudoraCalls();
    t.PerCall = cost.ByName;
    t.Floor = cost.Bare;
  }
  bench::RemoveTree(root);
  return t;
}

}  // namespace

int main(int argc, char** argv) {
  try {
    CoInitScope com;
    if (argc > 1) {
      Times probe = ReadMailbox(std::atoi(argv[1]), 1);
      std::printf("one call by name: %.1f us, a bare call: %.1f us, one message: %.0f bare calls\n",
                  probe.PerCall * 1e6, probe.Floor * 1e6, probe.Min / std::atoi(argv[1]) / probe.Floor);
      return 0;
    }
    Times small = ReadMailbox(1000, 5);
    Times large = ReadMailbox(10000, 3);
    std::printf("Eudora conduit, vazGetPCMail over the In mailbox in Eudora's process (minimum, median):\n");
    std::printf("  1,000 messages   %8.3f s %8.3f s\n", small.Min, small.Median);
    std::printf("  10,000 messages  %8.3f s %8.3f s\n", large.Min, large.Median);
    if (small.Min > 0) std::printf("  ratio            %8.1f (linear: 10)\n", large.Min / small.Min);
    std::printf("  one call by name to Eudora's process: %.1f us\n", large.PerCall * 1e6);
    std::printf("  a bare call to Eudora's process (the floor): %.1f us\n", large.Floor * 1e6);
    std::printf("  one message read: %.2f ms, %.1f bare calls\n", large.Min / 10000 * 1e3,
                large.Min / 10000 / large.Floor);
    return 0;
  } catch (const Exception& e) {
    std::printf("EudoraBench: %s\n", e.Message.c_str());
    return 1;
  }
}
