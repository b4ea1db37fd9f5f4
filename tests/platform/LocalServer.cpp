// test_localserver.exe: a local server made with the kit. "/RegServer" and
// "/UnregServer" write and remove its class keys; run by COM ("-Embedding")
// it serves its one object, also as the running object of its class, until
// a client calls Quit (or a minute has passed, so a failed test leaves no
// server behind).
#include <windows.h>

#include <cstring>

#include "ComObj.h"
#include "ComServer.h"
#include "LocalServerIds.h"

namespace {

class TRemoteCounter final : public DispatchObject {
 public:
  TRemoteCounter() : DispatchObject(Members, {}, "Vantle.KitTest.Local") {}
  HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* count) override {
    ++typeQueries_;
    return DispatchObject::GetTypeInfoCount(count);
  }

 private:
  void Add(DispCall& call) {
    call.RequireArgs(1);
    value_ += call.ArgInt(0);
    call.Return(Variant(value_));
  }
  void ProcessId(DispCall& call) { call.Return(Variant(static_cast<int>(GetCurrentProcessId()))); }
  void Quit(DispCall&) { PostQuitMessage(0); }
  void TypeQueries(DispCall& call) { call.Return(Variant(typeQueries_)); }

  static constexpr DispMember Members[] = {
      {L"Add", 1, DispKind::Method, Handler<&TRemoteCounter::Add>},
      {L"ProcessId", 2, DispKind::Get, Handler<&TRemoteCounter::ProcessId>},
      {L"Quit", 3, DispKind::Method, Handler<&TRemoteCounter::Quit>},
      {L"TypeQueries", 4, DispKind::Get, Handler<&TRemoteCounter::TypeQueries>},
  };
  int value_ = 0;
  int typeQueries_ = 0;
};

// The server's one object: what the class factory hands out and what the
// running object table holds.
ComPtr<IUnknown>* theObject = nullptr;

ComPtr<IUnknown> TheObject() { return ComPtr<IUnknown>(theObject->Get()); }

const CoClassEntry Classes[] = {
    {&CLSID_KitLocal, &TheObject, ProgID_KitLocal, "Vantle kit local server test", nullptr},
};

int Serve() {
  CoInitScope com;
  ComPtr<IUnknown> object = MakeObject<TRemoteCounter>();
  theObject = &object;
  {
    ClassObjectRegistration classes(Classes);
    ActiveObjectRegistration running(object.Get(), CLSID_KitLocal);
    const ULONGLONG deadline = GetTickCount64() + 60000;
    MSG msg;
    for (;;) {
      ULONGLONG now = GetTickCount64();
      if (now >= deadline) break;
      MsgWaitForMultipleObjects(0, nullptr, FALSE, static_cast<DWORD>(deadline - now), QS_ALLINPUT);
      bool quit = false;
      while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
        if (msg.message == WM_QUIT) quit = true;
        TranslateMessage(&msg);
        DispatchMessageA(&msg);
      }
      if (quit) break;
    }
  }
  theObject = nullptr;
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  try {
    for (int i = 1; i < argc; ++i) {
      if (_stricmp(argv[i], "/RegServer") == 0) return FAILED(RegisterServer(Classes, ServerKind::Local)) ? 1 : 0;
      if (_stricmp(argv[i], "/UnregServer") == 0) return FAILED(UnregisterServer(Classes)) ? 1 : 0;
    }
    return Serve();
  } catch (...) {
    return 2;
  }
}
