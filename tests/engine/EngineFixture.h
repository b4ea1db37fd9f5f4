#pragma once
// Every engine test runs on a handheld of its own with no connection server
// running at its start or end; the stand-in's test settings are put back.
#include <atomic>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "EngineHarness.h"
#include "Handles.h"
#include "TDEngine.h"
#include "TandelFixture.h"
#include "TandelLink.h"

class EngineTest : public TandelFixture {
 protected:
  void SetUp() override {
    TandelFixture::SetUp();
    StopServer();
    guard_ = CTDMessageWnd::GuardTimeout;
  }
  void TearDown() override {
    CTDMessageWnd::GuardTimeout = guard_;
    StopServer();
  }

  void Setting(const char* name, DWORD value) {
    TRegistry reg;
    reg.SetRootKey(HKEY_CURRENT_USER);
    ASSERT_TRUE(reg.OpenKey(tdlink::StandInKey, true));
    reg.WriteInteger(name, static_cast<int>(value));
  }

  // An engine with its link open and connected.
  void Connected(ClientEngine& engine) {
    ASSERT_EQ(0, engine.Init());
    ASSERT_EQ(0, engine.Run(NewConnect(engine, 0)).Error);
  }
  EngineRequest* NewConnect(ClientEngine& engine, LONG timeout) {
    EngineRequest* r = engine.Request(tdengine::opConnect);
    r->Value = timeout;
    return r;
  }

  // Nothing of a copy is left beside its target or among the copies under way.
  bool NoCopyLeftOf(const std::string& target) const {
    if (GetFileAttributesA(Pc(target + ".~copy").c_str()) != INVALID_FILE_ATTRIBUTES) return false;
    WIN32_FIND_DATAA fd;
    FindHandle staged(FindFirstFileA(Pc(std::string(tdlink::StagingFolder) + "\\*.~copy").c_str(), &fd));
    return !staged;
  }

  test::RegistrySnapshot standIn_{HKEY_CURRENT_USER, tdlink::StandInKey};

 private:
  UINT guard_ = 0;
};

constexpr LONG Handheld = tdlink::SideHandheld;

inline tdengine::TDPathRecord Path(const char* path, LONG side = Handheld) {
  tdengine::TDPathRecord p{static_cast<SHORT>(side), {}};
  lstrcpynA(p.Path, path, sizeof p.Path);
  return p;
}

// A client's sink for the asynchronous engine: records every completion.
class Sink final : public tdengine::ITDOrvWinEngineEvents {
 public:
  std::vector<std::pair<std::string, LONG>> Calls;
  std::string Text;
  LONG Value = 0;
  std::function<void(LONG*)> OnCopy;  // may cancel
  std::function<void(const char*)> OnEvent;  // after each completion recorded

  size_t Count(const std::string& name) const {
    size_t n = 0;
    for (auto& c : Calls) n += c.first == name;
    return n;
  }
  LONG Last(const std::string& name) const {
    for (auto it = Calls.rbegin(); it != Calls.rend(); ++it)
      if (it->first == name) return it->second;
    return -1;
  }

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override {
    *out = iid == IID_IUnknown || iid == tdengine::IID_ITDOrvWinEngineEvents ? this : nullptr;
    if (!*out) return E_NOINTERFACE;
    AddRef();
    return S_OK;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return ++refs_; }
  ULONG STDMETHODCALLTYPE Release() override { return --refs_; }
  ULONG Refs() const { return refs_; }

#define VANTLE_EVENT(name)                          \
  HRESULT STDMETHODCALLTYPE name(LONG e) override { \
    Calls.emplace_back(#name, e);                   \
    if (OnEvent) OnEvent(#name);                    \
    return S_OK;                                    \
  }
  VANTLE_EVENT(OnInit)
  VANTLE_EVENT(OnConnect)
  VANTLE_EVENT(OnDisconnect)
  VANTLE_EVENT(OnGetFileInfo)
  VANTLE_EVENT(OnCopyFile)
  VANTLE_EVENT(OnDeleteFile)
  VANTLE_EVENT(OnMoveFile)
  VANTLE_EVENT(OnRenameFile)
  VANTLE_EVENT(OnSetAttributes)
  VANTLE_EVENT(OnDeleteDirectory)
  VANTLE_EVENT(OnCopyDirectory)
  VANTLE_EVENT(OnCreateDirectory)
  VANTLE_EVENT(OnMoveDirectory)
  VANTLE_EVENT(OnRenameDirectory)
  VANTLE_EVENT(OnGetDriveInfo)
  VANTLE_EVENT(OnLabelDrive)
  VANTLE_EVENT(OnGetExtraMachineInfo)
  VANTLE_EVENT(OnSyncMachineTime)
  VANTLE_EVENT(OnFormat)
  VANTLE_EVENT(OnClosePrograms)
  VANTLE_EVENT(OnStartProgram)
  VANTLE_EVENT(OnStopProgram)
  VANTLE_EVENT(OnReadConfig)
  VANTLE_EVENT(OnWriteConfig)
#undef VANTLE_EVENT
  HRESULT STDMETHODCALLTYPE OnCopyProgress(SHORT, LONG* cancel) override {
    if (OnCopy) OnCopy(cancel);
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE OnGetDirectory(LONG e, LONG value) override {
    Calls.emplace_back("OnGetDirectory", e);
    Value = value;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE OnCopyDirectoryProgress(const char*) override { return S_OK; }
  HRESULT STDMETHODCALLTYPE OnGetDrives(LONG e, const char* drives) override {
    Calls.emplace_back("OnGetDrives", e);
    Text = drives;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE OnGetMachineInfo(LONG e, const char* owner, LONG type) override {
    Calls.emplace_back("OnGetMachineInfo", e);
    Text = owner;
    Value = type;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE OnFormatProgress(SHORT, LONG*) override { return S_OK; }
  HRESULT STDMETHODCALLTYPE OnCloseProgramProgress(const char*, const char*) override { return S_OK; }

 private:
  ULONG refs_ = 1;
};

// The engine server registered for the test and loaded, its classes created
// by ProgID as any client creates them; the registry is put back afterwards.
class ServerTest : public EngineTest {
 protected:
  using ServerCall = HRESULT(__stdcall*)();

  void SetUp() override {
    EngineTest::SetUp();
    module_ = LoadLibraryA((ExtractFilePath(ModuleFileName()) + "TDENGINE.dll").c_str());
    ASSERT_TRUE(module_);
    ASSERT_EQ(S_OK, Export("DllRegisterServer")());
  }
  void TearDown() override {
    if (module_) FreeLibrary(module_);
    EngineTest::TearDown();
  }
  ServerCall Export(const char* name) {
    return ModuleExport<ServerCall>(module_, name);
  }
  ComPtr<tdengine::ITDOrvWinEngine> CreateAsync() {
    return Create<tdengine::ITDOrvWinEngine>(L"Orvik.TDEng.Interface", tdengine::IID_ITDOrvWinEngine);
  }
  // An asynchronous engine initialised and connected to the handheld.
  ComPtr<tdengine::ITDOrvWinEngine> ConnectedAsync(Sink& sink) {
    ComPtr<tdengine::ITDOrvWinEngine> engine = CreateAsync();
    engine->Init(&sink);
    EXPECT_TRUE(test::PumpUntil([&] { return sink.Count("OnInit") == 1; }));
    engine->Connect(0);
    EXPECT_TRUE(test::PumpUntil([&] { return sink.Count("OnConnect") == 1; }));
    EXPECT_EQ(0, sink.Last("OnConnect"));
    return engine;
  }
  template <class I>
  ComPtr<I> Create(const wchar_t* progId, REFIID iid) {
    CLSID clsid;
    EXPECT_EQ(S_OK, CLSIDFromProgID(progId, &clsid));
    ComPtr<I> object;
    EXPECT_EQ(S_OK, CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, iid, object.PutVoid()));
    return object;
  }

  CoInitScope com_;
  test::RegistrySnapshot classKey_{HKEY_CLASSES_ROOT, "CLSID\\{3C476900-F450-11CF-885E-0020AFC04E78}"};
  test::RegistrySnapshot progIdKey_{HKEY_CLASSES_ROOT, "Orvik.TDEng.Interface"};
  test::RegistrySnapshot classKeyS_{HKEY_CLASSES_ROOT, "CLSID\\{3C476920-F450-11CF-885E-0020AFC04E78}"};
  test::RegistrySnapshot progIdKeyS_{HKEY_CLASSES_ROOT, "Orvik.TDEngS.Interface"};
  HMODULE module_ = nullptr;
};

// A client's notification interface for the synchronous engine. Its calls
// come on the engine's own thread, so what it records is guarded.
class Notices final : public tdengine::ITDOrvWinEngineSEvents {
 public:
  std::atomic<int> Connects{0}, Disconnects{0};
  std::vector<SHORT> Percents;       // copy and format progress
  std::vector<std::string> Files;    // folder-copy and close-program progress
  std::function<bool(SHORT)> Cancel;  // answers whether to cancel at this progress

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID, void** out) override {
    *out = nullptr;
    return E_NOINTERFACE;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return ++refs_; }
  ULONG STDMETHODCALLTYPE Release() override { return --refs_; }
  ULONG Refs() const { return refs_; }

  HRESULT STDMETHODCALLTYPE OnConnect(LONG) override { return ++Connects, S_OK; }
  HRESULT STDMETHODCALLTYPE OnDisconnect(LONG) override { return ++Disconnects, S_OK; }
  HRESULT STDMETHODCALLTYPE OnCopyProgress(SHORT percent, LONG* cancel) override { return Progress(percent, cancel); }
  HRESULT STDMETHODCALLTYPE OnFormatProgress(SHORT percent, LONG* cancel) override { return Progress(percent, cancel); }
  HRESULT STDMETHODCALLTYPE OnCopyDirectoryProgress(const char* file) override { return File(file); }
  HRESULT STDMETHODCALLTYPE OnCloseProgramProgress(const char* program, const char*) override { return File(program); }

 private:
  HRESULT Progress(SHORT percent, LONG* cancel) {
    std::lock_guard<std::mutex> lock(mutex_);
    Percents.push_back(percent);
    if (Cancel && Cancel(percent)) *cancel = 1;
    return S_OK;
  }
  HRESULT File(const char* name) {
    std::lock_guard<std::mutex> lock(mutex_);
    Files.push_back(name ? name : "");
    return S_OK;
  }
  std::mutex mutex_;
  std::atomic<ULONG> refs_{1};
};

// The synchronous engine as its clients use it: each call answers its error.
class SyncClient {
 public:
  using OnePath = HRESULT (STDMETHODCALLTYPE tdengine::ITDOrvWinEngineS::*)(LONG*, tdengine::TDPathRecord*);
  using TwoPaths = HRESULT (STDMETHODCALLTYPE tdengine::ITDOrvWinEngineS::*)(LONG*, tdengine::TDPathRecord*,
                                                                             tdengine::TDPathRecord*, USHORT);

  explicit SyncClient(ComPtr<tdengine::ITDOrvWinEngineS> engine) : E(std::move(engine)) {}

  LONG Init() {
    LONG error = -1;
    E->Init(&error, &N);
    return error;
  }
  LONG Connect(LONG timeoutMs = 0) {
    LONG error = -1;
    E->Connect(&error, timeoutMs);
    return error;
  }
  LONG Call(OnePath op, const char* path) {
    tdengine::TDPathRecord p = Path(path);
    LONG error = -1;
    (E.Get()->*op)(&error, &p);
    return error;
  }
  LONG Call(TwoPaths op, const char* from, const char* to, USHORT flags = 0) {
    tdengine::TDPathRecord a = Path(from), b = Path(to);
    LONG error = -1;
    (E.Get()->*op)(&error, &a, &b, flags);
    return error;
  }

  Notices N;
  ComPtr<tdengine::ITDOrvWinEngineS> E;
};

// Tests that drive the engine as its clients do, through the synchronous class.
class SyncTest : public ServerTest {
 protected:
  void TearDown() override {
    client_.reset();
    ServerTest::TearDown();
  }
  ComPtr<tdengine::ITDOrvWinEngineS> Create() {
    return ServerTest::Create<tdengine::ITDOrvWinEngineS>(L"Orvik.TDEngS.Interface", tdengine::IID_ITDOrvWinEngineS);
  }
  // The test's engine, initialised and connected.
  SyncClient& Connected() {
    client_ = std::make_unique<SyncClient>(Create());
    EXPECT_EQ(0, client_->Init());
    EXPECT_EQ(0, client_->Connect());
    return *client_;
  }

 private:
  std::unique_ptr<SyncClient> client_;
};
