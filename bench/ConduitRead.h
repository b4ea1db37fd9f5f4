#pragma once
// A conduit beside the benchmark reading its PC client's mail through
// vazGetPCMail, as stage 1 of a run does: the fastest and the median of
// several reads, each in a fresh session of the conduit.
#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include "BenchSupport.h"
#include "C_Types.h"
#include "C_sesobj.h"
#include "ConduitEntries.h"
#include "VazInterface.h"

namespace bench {

struct ReadTimes {
  double Min = -1, Median = -1;
};

inline ReadTimes TimeGetPCMail(const std::string& conduitFile, int count, int samples, TDateTime from,
                               TDateTime to) {
  HMODULE conduit = LoadLibraryA((ProgramFolder() + conduitFile).c_str());
  if (!conduit) throw Exception(conduitFile + " did not load");
  TConduitEntries entries;
  BindConduitEntries(conduit, entries, nullptr, true);
  TMemo* memo = nullptr;
  TProgress* progress = nullptr;
  std::vector<double> times;
  for (int i = 0; i < samples; ++i) {
    TSesObj session;
    TMailList list(&session, nullptr);
    TMailList* listVar = &list;
    if (entries.vazInitialize(nullptr, &memo, &progress) != vazDone) throw Exception("vazInitialize failed");
    const double start = Seconds();
    const int result = entries.vazGetPCMail(nullptr, &listVar, from, to, {false, false}, &memo, &progress);
    times.push_back(Seconds() - start);
    std::printf("  (%d messages: %.3f s)\n", count, times.back());
    std::fflush(stdout);
    if (result != vazDone || list.Count() != count)
      std::printf("reading %d messages answered %d with %d mails\n", count, result, list.Count());
    entries.vazShutDown(&memo, &progress);
    list.ClearList();
  }
  FreeLibrary(conduit);
  std::sort(times.begin(), times.end());
  return {times.front(), times[times.size() / 2]};
}

}  // namespace bench
