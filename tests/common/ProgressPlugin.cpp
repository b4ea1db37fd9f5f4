// A separately built module that drives the host's progress window with its
// own build of the progress operations, as a conduit does.
#include "C_Prog.h"

extern "C" __declspec(dllexport) int __stdcall DriveProgress(TProgress** progress, const char* line, int max, int position) {
  try {
    if (progress == nullptr || *progress == nullptr) return -1;
    TProgress& p = **progress;
    if (!p.Visible()) return 0;
    p.SetLine2(line);
    p.SetMax(max);
    p.SetPosition(position);
    return p.Stopped ? 2 : 1;
  } catch (...) {
    return -2;
  }
}
