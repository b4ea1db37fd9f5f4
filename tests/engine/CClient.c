/* A client written in C, as one of the engine server's clients may be: it
   knows the two engine classes by their ProgIDs only and calls them through
   their vtables by slot. Registers the server beside it for the run and
   leaves the registry as it found it. Exit code 0 when every check held. */
#include <objbase.h>
#include <stdio.h>
#include <string.h>
#include <windows.h>

#pragma pack(push, 1)
typedef struct {
  char Path[260];
  USHORT DriveLength, FolderLength, NameLength, ExtensionLength, Wildcards;
} PathInfo;
#pragma pack(pop)

typedef HRESULT(STDMETHODCALLTYPE* QueryFn)(void*, REFIID, void**);
typedef ULONG(STDMETHODCALLTYPE* ReleaseFn)(void*);
typedef HRESULT(STDMETHODCALLTYPE* MakePathFn)(void*, const char*, const char*, const char*, PathInfo*);
typedef HRESULT(STDMETHODCALLTYPE* Reserved1Fn)(void*, LONG);
typedef HRESULT(STDMETHODCALLTYPE* Reserved2Fn)(void*, LONG, LONG);
typedef HRESULT(STDMETHODCALLTYPE* InitSFn)(void*, LONG*, void*);
typedef HRESULT(STDMETHODCALLTYPE* ErrorOnlyFn)(void*, LONG*);
typedef HRESULT(STDMETHODCALLTYPE* MachineSFn)(void*, LONG*, SHORT, char*, USHORT, LONG*);
typedef HRESULT(WINAPI* ServerFn)(void);

static const IID IID_Engine = {0x3C476901, 0xF450, 0x11CF, {0x88, 0x5E, 0x00, 0x20, 0xAF, 0xC0, 0x4E, 0x78}};
static const IID IID_EngineS = {0x3C476921, 0xF450, 0x11CF, {0x88, 0x5E, 0x00, 0x20, 0xAF, 0xC0, 0x4E, 0x78}};

static int failures = 0;

#define CHECK(condition)                                         \
  do {                                                           \
    if (!(condition)) {                                          \
      printf("%s(%d): %s does not hold\n", __FILE__, __LINE__, #condition); \
      ++failures;                                                \
    }                                                            \
  } while (0)

/* Slot n of an object's vtable (0-2 are IUnknown's). */
static void* Slot(void* object, int n) { return (*(void***)object)[n]; }

static void* Create(const wchar_t* progId, const IID* iid) {
  CLSID clsid;
  void* object = NULL;
  CHECK(CLSIDFromProgID(progId, &clsid) == S_OK);
  CHECK(CoCreateInstance(&clsid, NULL, CLSCTX_INPROC_SERVER, iid, &object) == S_OK);
  return object;
}

static void MakePathSplits(void* engine, int slot) {
  PathInfo info;
  memset(&info, 0xFF, sizeof info);
  CHECK(((MakePathFn)Slot(engine, slot))(engine, "C:", "Docs", "a.txt", &info) == S_OK);
  CHECK(strcmp(info.Path, "C:Docs\\a.txt") == 0);
  CHECK(info.DriveLength == 2 && info.FolderLength == 5 && info.NameLength == 5 && info.ExtensionLength == 3);
}

static void Asynchronous(void) {
  void* engine = Create(L"Orvik.TDEng.Interface", &IID_Engine);
  void* unknown = NULL;
  if (!engine) return;
  CHECK(((QueryFn)Slot(engine, 0))(engine, &IID_IUnknown, &unknown) == E_NOINTERFACE);
  CHECK(((Reserved1Fn)Slot(engine, 27))(engine, 0) == E_NOTIMPL);
  MakePathSplits(engine, 28);
  CHECK(((ReleaseFn)Slot(engine, 2))(engine) == 0);
}

static void Synchronous(void) {
  void* engine = Create(L"Orvik.TDEngS.Interface", &IID_EngineS);
  LONG error = -1, type = 0;
  char owner[8];
  if (!engine) return;
  CHECK(((Reserved2Fn)Slot(engine, 27))(engine, 1, 2) == E_NOTIMPL);
  MakePathSplits(engine, 28);
  CHECK(((ErrorOnlyFn)Slot(engine, 7))(engine, &error) == S_OK); /* Disconnect before Init */
  CHECK(error == 31);
  CHECK(((InitSFn)Slot(engine, 3))(engine, &error, NULL) == S_OK);
  CHECK(error == 0);
  CHECK(((MachineSFn)Slot(engine, 24))(engine, &error, 2, owner, sizeof owner, &type) == S_OK);
  CHECK(error == 2250); /* not connected */
  CHECK(((ReleaseFn)Slot(engine, 2))(engine) == 0);
}

int main(void) {
  char path[MAX_PATH];
  char* slash;
  HMODULE server;
  HKEY key;
  int wasRegistered;
  CoInitialize(NULL);

  GetModuleFileNameA(NULL, path, sizeof path);
  slash = strrchr(path, '\\');
  strcpy(slash ? slash + 1 : path, "TDENGINE.dll");
  server = LoadLibraryA(path);
  CHECK(server != NULL);
  if (!server) return 1;
  wasRegistered = RegOpenKeyExA(HKEY_CLASSES_ROOT, "Orvik.TDEngS.Interface", 0, KEY_READ, &key) == ERROR_SUCCESS;
  if (wasRegistered) RegCloseKey(key);
  CHECK(((ServerFn)(void*)GetProcAddress(server, "DllRegisterServer"))() == S_OK);

  Asynchronous();
  Synchronous();
  CHECK(((ServerFn)(void*)GetProcAddress(server, "DllCanUnloadNow"))() == S_OK);

  if (!wasRegistered) ((ServerFn)(void*)GetProcAddress(server, "DllUnregisterServer"))();
  FreeLibrary(server);
  CoUninitialize();
  printf("%s\n", failures ? "FAILED" : "passed");
  return failures ? 1 : 0;
}
