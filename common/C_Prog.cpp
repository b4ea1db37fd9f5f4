#include "C_Prog.h"

namespace {
// Status lines show at most this many characters.
constexpr size_t LineLength = 70;
// Milliseconds between the pumps of SetPosition and SetLine2.
constexpr ULONGLONG PumpInterval = 15;
// The bar shows about this many blocks; a range of at most this many steps
// shows each step at once.
constexpr int BlockSteps = 30;
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
  shown_ = position_ = 0;
  shownAt_ = 0;
  SendMessageA(ProgressBar.Handle(), PBM_SETRANGE32, 0, Max);
  ProcessPendingMessages();
}

// Callers set the position once per mail or per percent, and every position
// the bar is given repaints it at once (about a millisecond under Wine), more
// than a mail's own work: a list of 1,000 mails paid 200 ms for its bar. A
// step is shown at once when the bar has shown none for PumpInterval
// milliseconds, faster than the eye follows, and otherwise when messages are
// next pumped here. The first step after SetMax, a step into another block
// of the bar, the end of the range and every step back are shown at once: a
// caller that steps and then works long without a word leaves the bar less
// than a block behind, at a cost of about BlockSteps repaints a range.
void TProgress::SetPosition(int N) {
  position_ = N;
  const auto block = [this](int n) { return static_cast<long long>(n) * BlockSteps / Max; };
  if (N != shown_ && (N >= Max || N < shown_ || Max <= BlockSteps || block(N) != block(shown_) ||
                      GetTickCount64() - shownAt_ >= PumpInterval))
    ShowPosition();
  PacedPump();
}

void TProgress::ShowPosition() {
  SendMessageA(ProgressBar.Handle(), PBM_SETPOS, static_cast<WPARAM>(position_), 0);
  shown_ = position_;
  shownAt_ = GetTickCount64();
}

void TProgress::PacedPump() {
  const ULONGLONG now = GetTickCount64();
  if (now - lastPump_ < PumpInterval) return;
  lastPump_ = now;
  if (position_ != shown_) ShowPosition();
  ProcessPendingMessages();
}

void TProgress::btnStopClick(TObject*) {
  Stopped = true;
  ProcessPendingMessages();
}
