// standin-tandeleng.dll: the connectivity suite's engine control. Every
// operation answers a 32-bit integer at once (0: started) and is answered
// later by its event, on the thread that created the control, with a Win32
// error code. Event arguments: the error (I4); copy progress: the percentage
// (I2) and a by-reference Boolean that the client sets to cancel the copy.
#include <olectl.h>

#include <memory>

#include "ComServer.h"
#include "Engine.h"
#include "Handheld.h"
#include "Handles.h"
#include "Registry.h"
#include "ServerExports.h"
#include "TandelLink.h"

namespace {

using namespace tandel;

class TandelEng final : public DispatchObject, private Events {
 public:
  TandelEng();

 private:
  void Init(DispCall& call) { Queue(call, opInit, 0); }
  void Connect(DispCall& call) { Queue(call, opConnect, 1, [&](Request& r) { r.Value = call.ArgInt(0); }); }
  void Disconnect(DispCall& call) { Queue(call, opDisconnect, 0); }
  void CopyFile(DispCall& call) {
    Queue(call, opCopyFile, 5, [&](Request& r) {
      r.Side1 = call.ArgInt(0);
      r.Path1 = call.ArgString(1);
      r.Side2 = call.ArgInt(2);
      r.Path2 = call.ArgString(3);
      r.Value = call.ArgInt(4);
    });
  }
  void CreateDirectory(DispCall& call) { QueueOnePath(call, opCreateDirectory); }
  void StartProgram(DispCall& call) { QueueOnePath(call, opStartProgram); }
  void StopProgram(DispCall& call) { QueueOnePath(call, opStopProgram); }

  // An operation on one side and path.
  void QueueOnePath(DispCall& call, int op) {
    Queue(call, op, 2, [&](Request& r) {
      r.Side1 = call.ArgInt(0);
      r.Path1 = call.ArgString(1);
    });
  }

  template <class Fill = void (*)(Request&)>
  void Queue(DispCall& call, int op, int args, Fill fill = [](Request&) {}) {
    call.RequireArgs(args);
    auto r = std::make_unique<Request>();
    r->Op = op;
    fill(*r);
    call.Return(Variant::I4(static_cast<std::int32_t>(engine_.Start(std::move(r)))));
  }

  // The client may release its last reference inside its handler.
  void Completed(int event, DWORD error) override {
    ComPtr<IDispatch> keep(this);
    const Variant args[] = {Variant::I4(static_cast<std::int32_t>(error))};
    FireEvent(event, args);
  }

  // Progress is sent by the worker, which waits for the answer: were the
  // client's last release to destroy the control here, the destructor would
  // wait for that worker in turn. The reference taken here is dropped later,
  // from the posted queue.
  void Progress(short percent, bool& cancel) override {
    AddRef();
    ++progressReferences_;
    struct Later {
      Engine& engine;
      ~Later() { engine.Defer(); }
    } later{engine_};
    // A by-reference Boolean (VT_BOOL | VT_BYREF), as the event declares it.
    VARIANT_BOOL flag = cancel ? VARIANT_TRUE : VARIANT_FALSE;
    VARIANT ref;
    VariantInit(&ref);
    ref.vt = VT_BOOL | VT_BYREF;
    ref.pboolVal = &flag;
    const Variant args[] = {Variant::I2(percent), Variant::Attach(ref)};
    FireEvent(evCopyProgress, args);
    // A client that has let go of the control, in this handler or before it
    // while earlier progresses' references still waited for the queue, has
    // no use for the copy: it ends now, as it would with the control destroyed.
    cancel = flag != VARIANT_FALSE || References() == progressReferences_;
  }

  void Deferred() override {
    --progressReferences_;
    Release();
  }

  static const DispMember Members[];
  static const IID Interfaces[];

  Engine engine_;
  ULONG progressReferences_ = 0;  // taken by progresses, not yet released from the queue
};

const DispMember TandelEng::Members[] = {
    {L"Init", opInit, DispKind::Method, Handler<&TandelEng::Init>},
    {L"Connect", opConnect, DispKind::Method, Handler<&TandelEng::Connect>},
    {L"Disconnect", opDisconnect, DispKind::Method, Handler<&TandelEng::Disconnect>},
    {L"CopyFile", opCopyFile, DispKind::Method, Handler<&TandelEng::CopyFile>},
    {L"CreateDirectory", opCreateDirectory, DispKind::Method, Handler<&TandelEng::CreateDirectory>},
    {L"StartProgram", opStartProgram, DispKind::Method, Handler<&TandelEng::StartProgram>},
    {L"StopProgram", opStopProgram, DispKind::Method, Handler<&TandelEng::StopProgram>},
};
const IID TandelEng::Interfaces[] = {DIID_TandelEng};

TandelEng::TandelEng() : DispatchObject(Members, Interfaces, "TandelEng", &DIID_TandelEngEvents), engine_(*this) {}

ComPtr<IUnknown> CreateTandelEng() { return MakeObject<TandelEng>(); }

const CoClassEntry Classes[] = {
    {&CLSID_TandelEng, &CreateTandelEng, nullptr, "Tandel engine control", "Apartment"},
};

// Installing the engine control installs the suite: its folder with the
// handheld, and where the device engine starts the connection server from
// (LINKSRV.EXE lies beside this module).
HRESULT RegisterSuiteSettings() {
  try {
    RegisterSuite();
    TRegistry reg;
    if (!reg.OpenKey(tdlink::ServerKey, true)) return SELFREG_E_CLASS;
    reg.WriteString(tdlink::ServerDirValue, ExtractFilePath(ModuleFileName(ThisModule())));
    return S_OK;
  } catch (const std::exception&) {
    return SELFREG_E_CLASS;
  }
}

}  // namespace

VANTLE_SERVER_EXPORTS_WITH(Classes, RegisterSuiteSettings, server_exports::NothingMore)
