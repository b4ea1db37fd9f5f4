// The library entry of a conduit: after the runtime's own start-up (the
// shared allocator comes first, as VantleMM.dll is an import), it hands the
// notification to the frame. Nothing else runs at load.
#include <windows.h>

#include "ConduitFrame.h"

BOOL WINAPI DllMain(HINSTANCE, DWORD reason, LPVOID reserved) {
  // At process exit the resource library goes with the process; freeing it
  // then would only touch a module in mid-teardown.
  if (reason == DLL_PROCESS_DETACH && reserved != nullptr) {
    (void)ConduitResources.release();
    return TRUE;
  }
  ConduitDllProc(reason);
  return TRUE;
}
