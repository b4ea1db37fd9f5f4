// The engine control as the system uses it: created through COM, called by
// dispatch id, answered by events through its connection point.
#include <atomic>
#include <functional>
#include <thread>

#include "ComObj.h"
#include "EngineFaults.h"
#include "Handles.h"
#include "TandelEng.h"
#include "TandelFixture.h"
#include "TandelLink.h"

using namespace tandel;

namespace {

using namespace tandeleng;
constexpr int evInitId = evInit, evConnectId = evConnect, evCopyFileId = evCopyFile, evDisconnectId = evDisconnect,
              evProgressId = evCopyProgress, evCreateDirectoryId = evCreateDirectory, evStartProgramId = evStartProgram,
              evStopProgramId = evStopProgram;

struct Fired {
  DISPID Id;
  DWORD Thread;
  long Value;  // the error, or the copy's percentage
};

// Records the control's events; cancels a copy at the progress event given.
class Sink final : public IDispatch {
 public:
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override {
    if (iid == IID_IUnknown || iid == IID_IDispatch || iid == DIID_TandelEngEvents) {
      *out = static_cast<IDispatch*>(this);
      AddRef();
      return S_OK;
    }
    *out = nullptr;
    return E_NOINTERFACE;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return ++refs_; }
  ULONG STDMETHODCALLTYPE Release() override { return --refs_; }  // lives on the test's stack
  HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* n) override {
    *n = 0;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE Invoke(DISPID id, REFIID, LCID, WORD, DISPPARAMS* p, VARIANT*, EXCEPINFO*,
                                   UINT*) override {
    if (id == evProgressId) {
      // Natural order: percentage (I2), cancel (by-reference Boolean); reversed in rgvarg.
      EXPECT_EQ(2u, p->cArgs);
      EXPECT_EQ(VT_I2, p->rgvarg[1].vt);
      EXPECT_EQ(VT_BOOL | VT_BYREF, p->rgvarg[0].vt);
      events.push_back({id, GetCurrentThreadId(), p->rgvarg[1].iVal});
      if (++progressCount == cancelAt) *p->rgvarg[0].pboolVal = VARIANT_TRUE;
      if (onProgress) onProgress();
      return S_OK;
    }
    EXPECT_EQ(1u, p->cArgs);
    EXPECT_EQ(VT_I4, p->rgvarg[0].vt);
    events.push_back({id, GetCurrentThreadId(), p->rgvarg[0].lVal});
    return S_OK;
  }

  std::vector<Fired> events;
  int progressCount = 0;
  int cancelAt = 0;  // 0: never cancel
  std::function<void()> onProgress;

 private:
  ULONG refs_ = 1;
};

class TandelEngTest : public TandelFixture {
 protected:
  void SetUp() override {
    TandelFixture::SetUp();
    engine_ = Variant(CreateDispatch(CLSID_TandelEng, DIID_TandelEng, CLSCTX_INPROC_SERVER));
    connection_ = std::make_unique<EventConnection>(engine_.AsDispatch().Get(), DIID_TandelEngEvents, &sink_);
  }
  void TearDown() override {
    connection_.reset();
    engine_ = Variant();
  }

  int Call(DISPID id, std::initializer_list<Variant> args = {}) { return engine_.Call(id, args).AsInteger(); }

  // Pumps this thread's messages until the event arrives; answers its value.
  long WaitFor(DISPID id, DWORD ms = 10000) {
    size_t i = seen_;
    if (!test::PumpUntil(
            [&] {
              for (; i < sink_.events.size(); ++i)
                if (sink_.events[i].Id == id) return true;
              return false;
            },
            ms)) {
      ADD_FAILURE() << "no event " << id;
      return -1;
    }
    EXPECT_EQ(GetCurrentThreadId(), sink_.events[i].Thread);
    seen_ = i + 1;
    return sink_.events[i].Value;
  }

  void Connect() {
    ASSERT_EQ(0, Call(1));
    ASSERT_EQ(0, WaitFor(evInitId));
    ASSERT_EQ(0, Call(2, {Variant::I4(15000)}));
    ASSERT_EQ(0, WaitFor(evConnectId));
  }

  long Copy(int fromSide, const std::string& from, int toSide, const std::string& to, int flags = 1) {
    EXPECT_EQ(0, Call(5, {Variant::I2(static_cast<std::int16_t>(fromSide)), Variant(from),
                          Variant::I2(static_cast<std::int16_t>(toSide)), Variant(to),
                          Variant::I2(static_cast<std::int16_t>(flags))}));
    return WaitFor(evCopyFileId);
  }
  long OnePath(DISPID op, DISPID event, int side, const std::string& path) {
    EXPECT_EQ(0, Call(op, {Variant::I2(static_cast<std::int16_t>(side)), Variant(path)}));
    return WaitFor(event);
  }
  std::vector<long> Percentages() const {
    std::vector<long> r;
    for (const Fired& f : sink_.events)
      if (f.Id == evProgressId) r.push_back(f.Value);
    return r;
  }

  std::string Local(const std::string& name) const { return install_ + name; }

  CoInitScope com_;
  Sink sink_;
  Variant engine_;
  std::unique_ptr<EventConnection> connection_;
  size_t seen_ = 0;
};

TEST_F(TandelEngTest, AnswersAtOnceAndReportsLaterOnTheCreatingThread) {
  EXPECT_EQ(0, Call(1));
  Sleep(200);  // the work is done meanwhile, but its answer waits for this thread's pump
  EXPECT_TRUE(sink_.events.empty());
  EXPECT_EQ(0, WaitFor(evInitId));
  EXPECT_EQ(0, Call(1));  // every run initialises again
  EXPECT_EQ(0, WaitFor(evInitId));

  EXPECT_EQ(0, engine_.Call("Connect", {Variant::I4(1000)}).AsInteger());
  EXPECT_EQ(0, WaitFor(evConnectId));
  EXPECT_EQ(0, Call(2, {Variant::I4(1000)}));
  EXPECT_EQ(0, WaitFor(evConnectId));
  EXPECT_EQ(0, Call(4));
  EXPECT_EQ(0, WaitFor(evDisconnectId));
  EXPECT_EQ(static_cast<long>(ERROR_NOT_CONNECTED), (Call(4), WaitFor(evDisconnectId)));
  EXPECT_THROW(engine_.Call(5, {Variant::I2(1)}), EOleSysError);  // too few arguments: no operation starts
}

TEST_F(TandelEngTest, OperationsNeedInitAndConnect) {
  EXPECT_EQ(static_cast<long>(ERROR_NOT_READY), (Call(2, {Variant::I4(100)}), WaitFor(evConnectId)));
  EXPECT_EQ(static_cast<long>(ERROR_NOT_READY), OnePath(30, evStopProgramId, 2, "C:\\Documents\\Vantle\\InBox"));
  EXPECT_EQ(static_cast<long>(ERROR_NOT_READY), Copy(1, Local("x"), 2, "C:\\x"));
  ASSERT_EQ(0, (Call(1), WaitFor(evInitId)));
  EXPECT_EQ(static_cast<long>(ERROR_NOT_CONNECTED), Copy(1, Local("x"), 2, "C:\\x"));
  EXPECT_EQ(static_cast<long>(ERROR_NOT_CONNECTED), OnePath(13, evCreateDirectoryId, 2, "C:\\New\\"));
  EXPECT_EQ(static_cast<long>(ERROR_NOT_CONNECTED), OnePath(29, evStartProgramId, 2, "C:\\Documents\\Vantle\\InBox"));
  EXPECT_FALSE(DirectoryExists(Pc("C\\New")));

  TRegistry reg;  // the suite uninstalled: Init fails, and nothing else starts
  reg.SetRootKey(HKEY_LOCAL_MACHINE);
  ASSERT_TRUE(reg.OpenKey(SuiteKey, false));
  reg.DeleteValue(InstallValue);
  EXPECT_EQ(static_cast<long>(ERROR_PATH_NOT_FOUND), (Call(1), WaitFor(evInitId)));
  EXPECT_EQ(static_cast<long>(ERROR_NOT_READY), (Call(2, {Variant::I4(100)}), WaitFor(evConnectId)));
}

TEST_F(TandelEngTest, ConnectWaitsForTheLinkUntilItsTimeOut) {
  SetLinkUp(false);
  ASSERT_EQ(0, (Call(1), WaitFor(evInitId)));
  ULONGLONG start = GetTickCount64();
  EXPECT_EQ(0, Call(2, {Variant::I4(400)}));
  EXPECT_LT(GetTickCount64() - start, 400u);  // the call itself does not wait
  EXPECT_EQ(static_cast<long>(ERROR_COUNTER_TIMEOUT), WaitFor(evConnectId));
  EXPECT_GE(GetTickCount64() - start, 380u);

  // A link that comes up during the wait connects.
  std::thread plug([] {
    Sleep(300);
    SetLinkUp(true);
  });
  EXPECT_EQ(0, Call(2, {Variant::I4(15000)}));
  EXPECT_EQ(0, WaitFor(evConnectId));
  plug.join();

  // A link that drops ends the connection.
  SetLinkUp(false);
  EXPECT_EQ(static_cast<long>(ERROR_NOT_CONNECTED), OnePath(13, evCreateDirectoryId, 2, "C:\\New"));
  SetLinkUp(true);
  EXPECT_EQ(static_cast<long>(ERROR_NOT_CONNECTED), OnePath(13, evCreateDirectoryId, 2, "C:\\New"));
}

TEST_F(TandelEngTest, CreatesFoldersOnEitherSide) {
  Connect();
  EXPECT_EQ(0, OnePath(13, evCreateDirectoryId, 2, "C:\\Documents\\Vantle\\"));
  EXPECT_TRUE(DirectoryExists(Pc("C\\Documents\\Vantle")));
  EXPECT_EQ(183, OnePath(13, evCreateDirectoryId, 2, "C:\\Documents\\Vantle\\"));
  EXPECT_EQ(183, OnePath(13, evCreateDirectoryId, 2, "c:\\documents\\vantle"));
  PutFile("C:\\Documents\\Note", "x");
  EXPECT_EQ(static_cast<long>(ERROR_PATH_NOT_FOUND), OnePath(13, evCreateDirectoryId, 2, "C:\\Documents\\Note\\Sub"));
  EXPECT_EQ(static_cast<long>(ERROR_BAD_PATHNAME), OnePath(13, evCreateDirectoryId, 2, "C:\\..\\..\\Escaped"));
  EXPECT_EQ(static_cast<long>(ERROR_BAD_PATHNAME), OnePath(13, evCreateDirectoryId, 2, "C:\\windows/system32"));
  EXPECT_EQ(static_cast<long>(ERROR_INVALID_DRIVE), OnePath(13, evCreateDirectoryId, 2, "D:\\Documents"));
  EXPECT_FALSE(DirectoryExists(install_ + "Escaped"));
  EXPECT_EQ(0, OnePath(13, evCreateDirectoryId, 1, Local("PC\\Temp\\")));
  EXPECT_TRUE(DirectoryExists(Local("PC\\Temp")));
  EXPECT_EQ(static_cast<long>(ERROR_BAD_PATHNAME), OnePath(13, evCreateDirectoryId, 1, "Relative\\Folder"));
  EXPECT_EQ(static_cast<long>(ERROR_INVALID_PARAMETER), OnePath(13, evCreateDirectoryId, 3, "C:\\X"));
}

TEST_F(TandelEngTest, CopiesBothWaysWithProgress) {
  Connect();
  ASSERT_EQ(0, OnePath(30, evStopProgramId, 2, "C:\\Documents\\Vantle\\InBox"));
  ASSERT_EQ(0, OnePath(13, evCreateDirectoryId, 2, "C:\\Documents\\Vantle\\"));
  std::string bytes;
  for (int i = 0; i < 300000; ++i) bytes += static_cast<char>(i * 7);
  test::WriteFileBytes(Local("In"), bytes);

  EXPECT_EQ(0, Copy(1, Local("In"), 2, "C:\\Documents\\Vantle\\InBox"));
  EXPECT_EQ(bytes, test::ReadFileBytes(Pc("C\\Documents\\Vantle\\InBox")));
  std::vector<long> pct = Percentages();
  ASSERT_GE(pct.size(), 3u);
  EXPECT_EQ(0, pct.front());
  EXPECT_EQ(100, pct.back());
  EXPECT_TRUE(std::is_sorted(pct.begin(), pct.end()));
  for (const Fired& f : sink_.events) EXPECT_EQ(GetCurrentThreadId(), f.Thread);

  EXPECT_EQ(0, Copy(2, "c:\\documents\\vantle\\inbox", 1, Local("Back")));
  EXPECT_EQ(bytes, test::ReadFileBytes(Local("Back")));
  test::WriteFileBytes(Local("Empty"), "");
  EXPECT_EQ(0, Copy(1, Local("Empty"), 2, "C:\\Documents\\Vantle\\Outbox"));
  EXPECT_EQ("", test::ReadFileBytes(Pc("C\\Documents\\Vantle\\Outbox")));

  EXPECT_EQ(static_cast<long>(ERROR_FILE_NOT_FOUND), Copy(2, "C:\\Documents\\Vantle\\Missing", 1, Local("M")));
  EXPECT_EQ(static_cast<long>(ERROR_PATH_NOT_FOUND), Copy(2, "C:\\Nowhere\\InBox", 1, Local("M")));
  EXPECT_EQ(static_cast<long>(ERROR_PATH_NOT_FOUND), Copy(1, Local("In"), 2, "C:\\Nowhere\\InBox"));
  EXPECT_EQ(static_cast<long>(ERROR_FILE_EXISTS), Copy(1, Local("Empty"), 2, "C:\\Documents\\Vantle\\InBox", 0));
  EXPECT_EQ(static_cast<long>(ERROR_ACCESS_DENIED), Copy(2, "C:\\Documents", 1, Local("M")));
  EXPECT_EQ(static_cast<long>(ERROR_BAD_PATHNAME), Copy(1, Local("In"), 2, "C:\\..\\Escaped"));
  EXPECT_FALSE(FileExists(Local("M")));
  EXPECT_FALSE(FileExists(install_ + "Escaped"));
  EXPECT_EQ(bytes, test::ReadFileBytes(Pc("C\\Documents\\Vantle\\InBox")));
}

TEST_F(TandelEngTest, ACancelledCopyLeavesTheTargetAsItWas) {
  Connect();
  ASSERT_EQ(0, OnePath(30, evStopProgramId, 2, "C:\\Documents\\Vantle\\InBox"));
  PutFile("C:\\Documents\\Vantle\\InBox", "old store");
  test::WriteFileBytes(Local("In"), std::string(3000000, 'n'));
  for (int at : {1, 3}) {
    sink_.progressCount = 0;
    sink_.cancelAt = at;
    EXPECT_EQ(static_cast<long>(ERROR_OPERATION_ABORTED), Copy(1, Local("In"), 2, "C:\\Documents\\Vantle\\InBox"));
    EXPECT_EQ(at, sink_.progressCount);  // no progress after the cancel
    EXPECT_EQ("old store", test::ReadFileBytes(Pc("C\\Documents\\Vantle\\InBox")));
  }
  WIN32_FIND_DATAA fd;
  HANDLE h = FindFirstFileA(Pc("C\\Documents\\Vantle\\*").c_str(), &fd);
  int files = 0;
  do files += !(fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY);
  while (FindNextFileA(h, &fd));
  FindClose(h);
  EXPECT_EQ(1, files);  // no half-written copy left behind
}

TEST_F(TandelEngTest, StoppedProgramsReleaseTheirFiles) {
  Connect();
  PutFile("C:\\Documents\\Vantle\\InBox", "handheld in");
  PutFile("C:\\Documents\\Vantle\\Outbox", "handheld out");
  test::WriteFileBytes(Local("In"), "pc in");
  EXPECT_EQ(static_cast<long>(ERROR_SHARING_VIOLATION), Copy(1, Local("In"), 2, "C:\\Documents\\Vantle\\InBox"));
  EXPECT_EQ(static_cast<long>(ERROR_SHARING_VIOLATION), Copy(2, "C:\\Documents\\Vantle\\Outbox", 1, Local("Out")));
  EXPECT_EQ("handheld in", test::ReadFileBytes(Pc("C\\Documents\\Vantle\\InBox")));

  EXPECT_EQ(0, OnePath(30, evStopProgramId, 2, "C:\\Documents\\Vantle\\InBox"));
  EXPECT_EQ(0, OnePath(30, evStopProgramId, 2, "C:\\Documents\\Vantle\\Outbox"));
  EXPECT_EQ(0, Copy(1, Local("In"), 2, "C:\\Documents\\Vantle\\InBox"));
  EXPECT_EQ(0, Copy(2, "C:\\Documents\\Vantle\\Outbox", 1, Local("Out")));
  EXPECT_EQ("pc in", test::ReadFileBytes(Pc("C\\Documents\\Vantle\\InBox")));

  EXPECT_EQ(0, OnePath(29, evStartProgramId, 2, "C:\\Documents\\Vantle\\Outbox"));
  EXPECT_EQ("Data", HolderName("C:\\Documents\\Vantle\\InBox"));
  EXPECT_EQ(static_cast<long>(ERROR_SHARING_VIOLATION), Copy(1, Local("In"), 2, "C:\\Documents\\Vantle\\InBox"));
  EXPECT_EQ(static_cast<long>(ERROR_NOT_SUPPORTED), OnePath(29, evStartProgramId, 1, Local("In")));
  EXPECT_EQ(static_cast<long>(ERROR_FILE_NOT_FOUND), OnePath(29, evStartProgramId, 2, "C:\\Documents\\Nothing"));
}

TEST_F(TandelEngTest, ReleasingTheControlEndsItsWorkWithoutAnswering) {
  SetLinkUp(false);
  ASSERT_EQ(0, (Call(1), WaitFor(evInitId)));
  EXPECT_EQ(0, Call(2, {Variant::I4(60000)}));
  ULONGLONG start = GetTickCount64();
  connection_.reset();
  engine_ = Variant();
  EXPECT_LT(GetTickCount64() - start, 10000u);  // the pending Connect does not hold the release up
  test::PumpPending();
  EXPECT_EQ(1u, sink_.events.size());
}

TEST_F(TandelEngTest, AClientMayReleaseTheControlWhileACopyReportsProgress) {
  Connect();
  test::WriteFileBytes(Local("Big"), std::string(40000, 'b'));
  ASSERT_EQ(0, Call(5, {Variant::I2(1), Variant(Local("Big")), Variant::I2(1), Variant(Local("Copy")), Variant::I2(1)}));
  sink_.onProgress = [&] {
    sink_.onProgress = nullptr;
    connection_.reset();
    engine_ = Variant();
  };
  ASSERT_TRUE(test::PumpUntil([&] { return engine_.IsEmpty(); }, 5000));
  for (int i = 0; i < 20; ++i) {  // the deferred release runs; the copy ends without an answer
    test::PumpPending();
    Sleep(10);
  }
  for (const Fired& f : sink_.events) EXPECT_NE(evCopyFileId, f.Id);
  EXPECT_FALSE(FileExists(Local("Copy")));  // its last progress was answered with a cancel
}

TEST_F(TandelEngTest, AClientThatLetGoWhileEarlierProgressesWaitForTheQueueEndsTheCopy) {
  // Only sent messages are handled: the references the first progresses
  // took are still queued for release when the client lets go.
  const auto sentOnly = [] {
    MSG m;
    PeekMessageA(&m, nullptr, 0, 0, PM_NOREMOVE | PM_QS_SENDMESSAGE);
  };
  Connect();
  test::WriteFileBytes(Local("Big"), std::string(3000000, 'b'));
  ASSERT_EQ(0, Call(5, {Variant::I2(1), Variant(Local("Big")), Variant::I2(1), Variant(Local("Copy")), Variant::I2(1)}));
  sink_.onProgress = [&] {
    if (sink_.progressCount < 3) return;
    sink_.onProgress = nullptr;
    connection_.reset();
    engine_ = Variant();
  };
  ASSERT_TRUE(test::PumpUntil([&] { return engine_.IsEmpty(); }, 10000, sentOnly));
  const auto copying = [&] {
    WIN32_FIND_DATAA fd;
    HANDLE h = FindFirstFileA((install_ + "Transfer\\*.tmp").c_str(), &fd);
    if (h == INVALID_HANDLE_VALUE) return false;
    FindClose(h);
    return true;
  };
  ASSERT_TRUE(test::PumpUntil([&] { return !copying(); }, 20000, sentOnly));
  test::PumpPending();
  EXPECT_FALSE(FileExists(Local("Copy")));
}

TEST_F(TandelEngTest, RegisteringTheControlInstallsTheSuiteAndKeepsARecordedFolder) {
  test::RegistrySnapshot server(HKEY_CURRENT_USER, tdlink::ServerKey);
  ModuleHandle dll(LoadLibraryA((test::ProgramFolder() + "standin-tandeleng.dll").c_str()));
  ASSERT_TRUE(dll);
  auto registerServer = ModuleExport<HRESULT(__stdcall*)()>(dll.Get(), "DllRegisterServer");
  ASSERT_TRUE(registerServer);
  // Installed already (this test's handheld): kept, with drive C: made.
  ASSERT_EQ(S_OK, registerServer());
  EXPECT_EQ(install_, InstallFolder());
  EXPECT_TRUE(DirectoryExists(Pc("C\\Documents")));
  TRegistry user;
  ASSERT_TRUE(user.OpenKeyReadOnly(tdlink::ServerKey));
  EXPECT_EQ(0, CompareText(test::ProgramFolder(), user.ReadString(tdlink::ServerDirValue)));
  // Never installed: the program files folder.
  TRegistry machine;
  machine.SetRootKey(HKEY_LOCAL_MACHINE);
  ASSERT_TRUE(machine.OpenKey(SuiteKey, false));
  machine.DeleteValue(InstallValue);
  ASSERT_EQ(S_OK, registerServer());
  char programs[MAX_PATH];
  ASSERT_NE(0u, GetEnvironmentVariableA("ProgramFiles", programs, sizeof programs));
  EXPECT_EQ(0, CompareText(std::string(programs) + "\\Tandel\\", InstallFolder()));
  EXPECT_TRUE(DirectoryExists(HandheldRoot() + "C\\Documents"));
}

}  // namespace

// Faults asked for under the stand-in's key (as tests and the demo do).
class TandelFaultTest : public TandelEngTest {
 protected:
  // Files in a PC folder, folders not counted.
  int FilesIn(const std::string& folder) {
    WIN32_FIND_DATAA fd;
    HANDLE h = FindFirstFileA((folder + "*").c_str(), &fd);
    if (h == INVALID_HANDLE_VALUE) return 0;
    int files = 0;
    do files += !(fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY);
    while (FindNextFileA(h, &fd));
    FindClose(h);
    return files;
  }

  test::RegistrySnapshot faults_{HKEY_CURRENT_USER, enginefaults::FaultKey};
};

TEST_F(TandelFaultTest, TheNthOperationOfAKindFailsOnceWithTheErrorAsked) {
  Connect();
  enginefaults::FailNth(30, 2, 1234);
  EXPECT_EQ(0, OnePath(30, evStopProgramId, 2, "C:\\Documents\\Vantle\\InBox"));
  EXPECT_EQ(0, OnePath(13, evCreateDirectoryId, 2, "C:\\Documents\\Vantle\\"));  // another kind: not counted
  EXPECT_EQ(1234, OnePath(30, evStopProgramId, 2, "C:\\Documents\\Vantle\\Outbox"));
  EXPECT_EQ(0, OnePath(30, evStopProgramId, 2, "C:\\Documents\\Vantle\\Outbox"));  // fired once, then gone

  enginefaults::FailNth(2, 1, 1121);  // a failed Connect leaves the control disconnected
  EXPECT_EQ(1121, (Call(2, {Variant::I4(1000)}), WaitFor(evConnectId)));
  EXPECT_EQ(static_cast<long>(ERROR_NOT_CONNECTED), OnePath(13, evCreateDirectoryId, 2, "C:\\New\\"));
  enginefaults::FailNth(1, 1, 5);  // and a failed Init uninitialised
  EXPECT_EQ(5, (Call(1), WaitFor(evInitId)));
  EXPECT_EQ(static_cast<long>(ERROR_NOT_READY), (Call(2, {Variant::I4(100)}), WaitFor(evConnectId)));
  Connect();
}

TEST_F(TandelFaultTest, ALinkThatDropsDuringACopyEndsItAndLeavesNothingOnTheHandheld) {
  Connect();
  ASSERT_EQ(0, OnePath(30, evStopProgramId, 2, "C:\\Documents\\Vantle\\InBox"));
  PutFile("C:\\Documents\\Vantle\\InBox", "old store");
  test::WriteFileBytes(Local("In"), std::string(3000000, 'n'));

  // While the copy runs, its partial file is not on the handheld.
  int during = -1;
  sink_.onProgress = [&] {
    if (sink_.progressCount == 10) during = FilesIn(Pc("C\\Documents\\Vantle\\"));
  };
  enginefaults::DropLinkAt(50);
  EXPECT_EQ(static_cast<long>(ERROR_NOT_CONNECTED), Copy(1, Local("In"), 2, "C:\\Documents\\Vantle\\InBox"));
  EXPECT_EQ(1, during);
  EXPECT_LT(Percentages().back(), 60);
  EXPECT_FALSE(LinkUp());
  EXPECT_EQ("old store", test::ReadFileBytes(Pc("C\\Documents\\Vantle\\InBox")));
  EXPECT_EQ(1, FilesIn(Pc("C\\Documents\\Vantle\\")));
  EXPECT_EQ(0, FilesIn(install_ + "Transfer\\"));

  // A link pulled by hand mid-copy ends it the same way.
  SetLinkUp(true);
  Connect();
  sink_.progressCount = 0;
  sink_.onProgress = [&] {
    if (sink_.progressCount == 5) SetLinkUp(false);
  };
  EXPECT_EQ(static_cast<long>(ERROR_NOT_CONNECTED), Copy(1, Local("In"), 2, "C:\\Documents\\Vantle\\InBox"));
  EXPECT_EQ("old store", test::ReadFileBytes(Pc("C\\Documents\\Vantle\\InBox")));

  // What a killed copy left in the transfer folder goes at the next Init.
  sink_.onProgress = nullptr;
  SetLinkUp(true);
  test::WriteFileBytes(install_ + "Transfer\\tdlDEAD.tmp", "half a store");
  Connect();
  EXPECT_EQ(0, FilesIn(install_ + "Transfer\\"));
  EXPECT_EQ(0, Copy(1, Local("In"), 2, "C:\\Documents\\Vantle\\InBox"));
  EXPECT_TRUE(std::string(3000000, 'n') == test::ReadFileBytes(Pc("C\\Documents\\Vantle\\InBox")));
}
