#include "C_Prog.h"

namespace {
// Status lines show at most this many characters.
constexpr size_t LineLength = 70;
// Milliseconds between the pumps of SetPosition and SetLine2.
constexpr ULONGLONG PumpInterval = 15;
}

TProgress::TProgress()
    : TForm({.Name = "Progress", .Caption = "Vantle Progress", .ClientWidth = 400, .ClientHeight = 164}) {
  OnCreate = Event(this, &TProgress::FormCreate);
  OnDestroy = Event(this, &TProgress::FormDestroy);
  btnStop.OnClick = Event(this, &TProgress::btnStopClick);
  DoCreate();
}

TProgress::~TProgress() { DoDestroy(); }

void TProgress::FormCreate(TObject*) {
  Stopped = false;
  Animate.SetActive(true);
}

void TProgress::FormDestroy(TObject*) { Animate.SetActive(false); }

void TProgress::SetLine1(const std::string& Text) {
  SetWindowTextA(lApptext1.Handle(), Text.substr(0, LineLength).c_str());
  ProcessPendingMessages();
}

// The second line names each mail as it is read: the text changes at once,
// the messages are pumped as for SetPosition.
void TProgress::SetLine2(const std::string& Text) {
  SetWindowTextA(lApptext2.Handle(), Text.substr(0, LineLength).c_str());
  PacedPump();
}

void TProgress::SetMax(int N) {
  Max = N < 0 ? 0 : N;
  SendMessageA(ProgressBar.Handle(), PBM_SETPOS, 0, 0);
  shown_ = 0;
  SendMessageA(ProgressBar.Handle(), PBM_SETRANGE32, 0, Max);
  ProcessPendingMessages();
}

// Callers set the position once per mail, and every new position repaints
// the bar at once (about a millisecond under Wine), more than the mail's own
// work. The bar fills in blocks of about a thirtieth of its width, so a step
// forward smaller than a two-hundredth of the range waits for a later one;
// the end of the range and every step back are shown at once. Messages are
// pumped at most every PumpInterval milliseconds.
void TProgress::SetPosition(int N) {
  if (N > shown_ && N < Max && N - shown_ < Max / 200) return;
  SendMessageA(ProgressBar.Handle(), PBM_SETPOS, static_cast<WPARAM>(N), 0);
  shown_ = N;
  PacedPump();
}

void TProgress::PacedPump() {
  const ULONGLONG now = GetTickCount64();
  if (now - lastPump_ < PumpInterval) return;
  lastPump_ = now;
  ProcessPendingMessages();
}

void TProgress::btnStopClick(TObject*) {
  Stopped = true;
  ProcessPendingMessages();
}
