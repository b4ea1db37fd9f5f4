// A local server made with the kit: it registers itself, COM starts it for a
// client in another process, and its object is found in the running object
// table until it quits.
#include <gtest/gtest.h>

#include "ComObj.h"
#include "ComServer.h"
#include "Handles.h"
#include "LocalServerIds.h"
#include "Registry.h"
#include "TestSupport.h"

namespace {

std::string QuotedServerPath() {
  std::string quoted(1, '"');
  return quoted.append(test::ProgramFolder()).append("test_localserver.exe").append(1, '"');
}

// Runs the server program with a switch and answers its exit code.
DWORD RunServer(const std::string& arguments) {
  std::string command = QuotedServerPath().append(1, ' ').append(arguments);
  STARTUPINFOA startup{};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION process{};
  if (!CreateProcessA(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &process))
    return GetLastError();
  KernelHandle thread(process.hThread), handle(process.hProcess);
  WaitForSingleObject(handle.Get(), 30000);
  DWORD code = STILL_ACTIVE;
  GetExitCodeProcess(handle.Get(), &code);
  return code;
}

}  // namespace

TEST(LocalServer, RegistersItselfAndIsFoundInTheRunningObjectTableAcrossProcesses) {
  CoInitScope com;
  const std::string clsid = GuidToString(CLSID_KitLocal);
  test::RegistrySnapshot classKey(HKEY_CLASSES_ROOT, "CLSID\\" + clsid);
  test::RegistrySnapshot progKey(HKEY_CLASSES_ROOT, ProgID_KitLocal);

  ASSERT_EQ(0u, RunServer("/RegServer"));
  TRegistry reg(KEY_READ);
  reg.SetRootKey(HKEY_CLASSES_ROOT);
  ASSERT_TRUE(reg.OpenKeyReadOnly("\\CLSID\\" + clsid + "\\LocalServer32"));
  EXPECT_TRUE(SameText(reg.ReadString(""), QuotedServerPath())) << reg.ReadString("");
  EXPECT_FALSE(reg.KeyExists("\\CLSID\\" + clsid + "\\InprocServer32"));
  reg.CloseKey();
  EXPECT_FALSE(TryGetActiveObject(CLSID_KitLocal));

  {
    // COM starts the program for the client; the object lives over there.
    Variant created(CreateDispatch(std::string(ProgID_KitLocal), IID_IDispatch, CLSCTX_LOCAL_SERVER));
    const DWORD serverProcess = static_cast<DWORD>(created.Get("ProcessId").AsInteger());
    EXPECT_NE(GetCurrentProcessId(), serverProcess);
    EXPECT_EQ(2, created.Call("Add", {2}).AsInteger());

    // The running object of the class is that same object.
    Variant running(GetActiveObject(CLSID_KitLocal).Query<IDispatch>(IID_IDispatch));
    EXPECT_EQ(5, running.Call("Add", {3}).AsInteger());
    EXPECT_EQ(6, created.Call("Add", {1}).AsInteger());
    // Calls by name across processes ask for the name only, never for the type.
    EXPECT_EQ(0, created.Get("TypeQueries").AsInteger());

    KernelHandle server(OpenProcess(SYNCHRONIZE, FALSE, serverProcess));
    ASSERT_TRUE(server);
    running.Call("Quit");
    EXPECT_EQ(WAIT_OBJECT_0, WaitForSingleObject(server.Get(), 30000));
  }
  // Gone from the table with its program.
  EXPECT_FALSE(TryGetActiveObject(CLSID_KitLocal));

  ASSERT_EQ(0u, RunServer("/UnregServer"));
  EXPECT_FALSE(reg.KeyExists("\\CLSID\\" + clsid));
  EXPECT_FALSE(reg.KeyExists(std::string("\\") + ProgID_KitLocal));
}

TEST(LocalServer, StartedForAClientEndsWhenItsLastClientLetsGo) {
  CoInitScope com;
  test::RegistrySnapshot classKey(HKEY_CLASSES_ROOT, "CLSID\\" + GuidToString(CLSID_KitLocal));
  test::RegistrySnapshot progKey(HKEY_CLASSES_ROOT, ProgID_KitLocal);
  ASSERT_EQ(0u, RunServer("/RegServer"));

  KernelHandle server;
  {
    Variant created(CreateDispatch(std::string(ProgID_KitLocal), IID_IDispatch, CLSCTX_LOCAL_SERVER));
    server = KernelHandle(OpenProcess(SYNCHRONIZE, FALSE, static_cast<DWORD>(created.Get("ProcessId").AsInteger())));
    ASSERT_TRUE(server);
    // A second client's hold on the running object keeps it serving.
    Variant running(GetActiveObject(CLSID_KitLocal).Query<IDispatch>(IID_IDispatch));
    created = Variant();
    EXPECT_EQ(WAIT_TIMEOUT, WaitForSingleObject(server.Get(), 0));
    EXPECT_EQ(4, running.Call("Add", {4}).AsInteger());
  }
  EXPECT_EQ(WAIT_OBJECT_0, WaitForSingleObject(server.Get(), 30000));
  EXPECT_FALSE(TryGetActiveObject(CLSID_KitLocal));
  ASSERT_EQ(0u, RunServer("/UnregServer"));
}
