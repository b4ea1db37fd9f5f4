#include "C_Evrin.h"

#include "ComServer.h"
#include "Dialogs.h"
#include "Forms.h"
#include "TandelEng.h"

using namespace tandeleng;

// Receives the control's events and hands them to the wrapper's handlers; the
// other events of the control are not bound and go unanswered.
class TTandelEng::Sink final : public DispatchObject {
 public:
  explicit Sink(TTandelEng* owner);
  void Detach() { owner_ = nullptr; }

 private:
  // A handler may free the wrapper: it runs on a copy, and nothing of the
  // wrapper is touched after it.
  template <TEngineEvent TTandelEng::*Handler>
  void Completed(DispCall& call) {
    call.RequireArgs(1);
    if (!owner_) return;
    TEngineEvent handler = owner_->*Handler;
    if (handler) handler(owner_, call.ArgInt(0));
  }
  void CopyProgress(DispCall& call) {
    call.RequireArgs(2);
    bool cancel = call.ArgBool(1);
    if (owner_ && owner_->OnCopyProgress) {
      TCopyProgressEvent handler = owner_->OnCopyProgress;
      handler(owner_, static_cast<short>(call.ArgInt(0)), cancel);
    }
    call.SetByRef(1, Variant(cancel));
  }

  static const DispMember Members[];
  static const IID Interfaces[];

  TTandelEng* owner_;
};

const DispMember TTandelEng::Sink::Members[] = {
    {L"OnInit", evInit, DispKind::Method, Handler<&Sink::Completed<&TTandelEng::OnInit>>},
    {L"OnConnect", evConnect, DispKind::Method, Handler<&Sink::Completed<&TTandelEng::OnConnect>>},
    {L"OnCopyFile", evCopyFile, DispKind::Method, Handler<&Sink::Completed<&TTandelEng::OnCopyFile>>},
    {L"OnDisconnect", evDisconnect, DispKind::Method, Handler<&Sink::Completed<&TTandelEng::OnDisconnect>>},
    {L"OnCopyProgress", evCopyProgress, DispKind::Method, Handler<&Sink::CopyProgress>},
    {L"OnCreateDirectory", evCreateDirectory, DispKind::Method,
     Handler<&Sink::Completed<&TTandelEng::OnCreateDirectory>>},
    {L"OnClosePrograms", evClosePrograms, DispKind::Method, Handler<&Sink::Completed<&TTandelEng::OnClosePrograms>>},
    {L"OnStartProgram", evStartProgram, DispKind::Method, Handler<&Sink::Completed<&TTandelEng::OnStartProgram>>},
    {L"OnStopProgram", evStopProgram, DispKind::Method, Handler<&Sink::Completed<&TTandelEng::OnStopProgram>>},
};
const IID TTandelEng::Sink::Interfaces[] = {DIID_TandelEngEvents};

TTandelEng::Sink::Sink(TTandelEng* owner) : DispatchObject(Members, Interfaces, "TTandelEng"), owner_(owner) {}

TTandelEng::TTandelEng()
    : control_(CreateDispatch(CLSID_TandelEng, DIID_TandelEng, CLSCTX_INPROC_SERVER)), sink_(MakeObject<Sink>(this)) {
  try {
    connection_ = std::make_unique<EventConnection>(control_.AsDispatch().Get(), DIID_TandelEngEvents, sink_.Get());
  } catch (...) {
    sink_->Detach();
    throw;
  }
}

TTandelEng::~TTandelEng() {
  connection_.reset();
  sink_->Detach();
}

int TTandelEng::Call(DISPID id, std::initializer_list<Variant> args) {
  Variant answer = control_.Call(id, args);
  return answer.IsEmpty() ? 0 : answer.AsInteger();
}

int TTandelEng::Init() { return Call(opInit, {}); }
int TTandelEng::Connect(int TimeOut) { return Call(opConnect, {Variant::I4(TimeOut)}); }
int TTandelEng::Disconnect() { return Call(opDisconnect, {}); }
int TTandelEng::CopyFile(short SourceSide, const std::string& Source, short TargetSide, const std::string& Target,
                         short Flags) {
  return Call(opCopyFile,
              {Variant::I2(SourceSide), Variant(Source), Variant::I2(TargetSide), Variant(Target), Variant::I2(Flags)});
}
int TTandelEng::CreateDirectory(short Side, const std::string& Path) {
  return Call(opCreateDirectory, {Variant::I2(Side), Variant(Path)});
}
int TTandelEng::StartProgram(short Side, const std::string& Path) {
  return Call(opStartProgram, {Variant::I2(Side), Variant(Path)});
}
int TTandelEng::StopProgram(short Side, const std::string& Path) {
  return Call(opStopProgram, {Variant::I2(Side), Variant(Path)});
}

TEvrin* Evrin = nullptr;

TEvrin::TEvrin() = default;

TEvrin::~TEvrin() {
  if (!Connected || !Eng) return;
  // Shutting down: a control that fails to take the disconnect is left as it is.
  try {
    Eng->Disconnect();
    while (IsBusy()) Application.ProcessMessages();
  } catch (...) {
  }
}

// The control answers the operations of one kind in the order they were
// started, so the first answers of a kind belong to its abandoned commands.
bool TEvrin::Answered(Answer Got) {
  if (abandoned_[Got] > 0) {
    --abandoned_[Got];
    return false;
  }
  if (awaited_ == Got) awaited_ = anNone;
  return true;
}

template <class Start>
void TEvrin::Begin(Answer Awaited, Start&& start) {
  if (awaited_ != anNone) ++abandoned_[awaited_];
  awaited_ = Awaited;
  try {
    start();
  } catch (...) {
    awaited_ = anNone;  // not started: nothing will answer
    throw;
  }
}

template <class Start>
void TEvrin::Command(Answer Awaited, bool& Outcome, bool Refused, bool Allowed, Start&& start) {
  Busy = true;
  Outcome = false;
  try {
    if (Allowed && Eng) {
      Begin(Awaited, start);
      return;
    }
  } catch (...) {
  }
  Busy = false;
  Outcome = Refused;
}

void TEvrin::Init() {
  Busy = true;
  Initialized = false;
  if (!Eng) throw Exception("The handheld's engine control is missing");
  Begin(anInit, [&] { Eng->Init(); });
}

void TEvrin::Connect(int TimeOut) {
  Command(anConnect, Connected, false, Initialized, [&] { Eng->Connect(TimeOut); });
}

void TEvrin::StopProgram(const std::string& Path) {
  Command(anStopProgram, Stopped, true, Initialized && Connected, [&] { Eng->StopProgram(sideHandheld, Path); });
}

void TEvrin::StartProgram(const std::string& Path) {
  Command(anStartProgram, Started, true, Initialized && Connected, [&] { Eng->StartProgram(sideHandheld, Path); });
}

void TEvrin::CopyFile(int SourceSide, const std::string& Source, int TargetSide, const std::string& Target,
                      int Flags) {
  CopyError = ERROR_NOT_READY;  // stays so when the copy cannot start
  Command(anCopyFile, Copied, false, Initialized && Connected, [&] {
    Eng->CopyFile(static_cast<short>(SourceSide), Source, static_cast<short>(TargetSide), Target,
                  static_cast<short>(Flags));
  });
}

void TEvrin::CreateDirectory(const std::string& Path) {
  Command(anCreateDirectory, DirCreated, false, Initialized && Connected,
          [&] { Eng->CreateDirectory(sideHandheld, Path); });
}

// Sleeps on the message queue until something arrives (or briefly, so that a
// caller's own checks still run), then handles what came: a command's event
// never waits on a spinning core.
bool TEvrin::IsBusy() {
  constexpr DWORD WaitSlice = 20;
  try {
    if (Busy) MsgWaitForMultipleObjectsEx(0, nullptr, WaitSlice, QS_ALLINPUT, MWMO_INPUTAVAILABLE);
    Application.ProcessMessages();
  } catch (...) {
    Busy = false;
    return false;
  }
  return Busy;
}

void TEvrin::EngineInit(TObject*, int Error) {
  if (!Answered(anInit)) return;
  Initialized = Error == 0;
  Busy = false;
}

void TEvrin::EngineConnect(TObject*, int Error) {
  if (!Answered(anConnect)) return;
  Connected = Error == 0;
  Busy = false;
}

void TEvrin::EngineDisconnect(TObject*, int Error) {
  Connected = Error != 0;
  Busy = false;
}

void TEvrin::EngineStopProgram(TObject*, int Error) {
  if (!Answered(anStopProgram)) return;
  Stopped = Error == 0;
  Busy = false;
}

void TEvrin::EngineStartProgram(TObject*, int Error) {
  if (!Answered(anStartProgram)) return;
  Started = Error == 0;
  Busy = false;
}

void TEvrin::EngineClosePrograms(TObject*, int Error) {
  Closed = Error == 0;
  Busy = false;
}

void TEvrin::EngineCopyFile(TObject*, int Error) {
  if (!Answered(anCopyFile)) return;
  CopyError = Error;
  Copied = Error == 0;
  Busy = false;
}

void TEvrin::EngineCreateDirectory(TObject*, int Error) {
  if (!Answered(anCreateDirectory)) return;
  if (Error == 0 || Error == ERROR_ALREADY_EXISTS) {
    DirCreated = true;
  } else {
    ShowMessage("Creation Error: " + IntToStr(Error));
    DirCreated = false;
  }
  Busy = false;
}

void TEvrin::EngineCopyProgress(TObject*, short Percent, bool&) {
  this->Percent = Percent;
  progressPacer_();
}
