// test_localserver.exe: a local server made with the kit. "/RegServer" and
// "/UnregServer" write and remove its class keys; run by COM ("-Embedding")
// it serves its one object, also as the running object of its class, until
// a client calls Quit or the last client lets go (or a minute has passed, so
// a failed test leaves no server behind).
#include <windows.h>

#include "ComObj.h"
#include "LocalServer.h"
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

ComPtr<IUnknown> MakeCounter() { return MakeObject<TRemoteCounter>(); }

const CoClassEntry Classes[] = {
    {&CLSID_KitLocal, &MakeCounter, ProgID_KitLocal, "Vantle kit local server test", nullptr},
};

void CALLBACK GiveUp(HWND, UINT, UINT_PTR, DWORD) { PostQuitMessage(0); }

}  // namespace

int main(int argc, char** argv) {
  return LocalServerMain(argc, argv,
                         {.Classes = Classes, .RunningClass = &CLSID_KitLocal, .Started = [] {
                            SetTimer(nullptr, 0, 60000, &GiveUp);
                          }});
}
