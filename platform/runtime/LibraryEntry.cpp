// The entry point of every library we build: the C runtime's own, then, once
// the library has been freed and its static destructors have run, the release
// of its thread-local storage.
#include <windows.h>

extern "C" BOOL WINAPI DllMainCRTStartup(HANDLE module, DWORD reason, LPVOID reserved);
extern "C" void vantleReleaseThreadStorage();

extern "C" BOOL WINAPI vantleLibraryEntry(HANDLE module, DWORD reason, LPVOID reserved) {
  const BOOL ok = DllMainCRTStartup(module, reason, reserved);
  if (reason == DLL_PROCESS_DETACH && reserved == nullptr) vantleReleaseThreadStorage();
  return ok;
}
