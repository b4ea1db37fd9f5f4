#include "FCountdn.h"

TFCountDown::TFCountDown()
    : TForm({.Name = "FCountDown",
             .Caption = "QuickSync Countdown",
             .ClientWidth = 288,
             .ClientHeight = 95,
             .BorderIcons = 0,
             .StayOnTop = true}) {
  OnCreate = Event(this, &TFCountDown::FormCreate);
  OnDestroy = Event(this, &TFCountDown::FormDestroy);
  OnClose = Event(this, &TFCountDown::FormClose);
  tCountDown.OnTimer = Event(this, &TFCountDown::tCountDownTimer);
  btnInterrupt.OnClick = Event(this, &TFCountDown::btnInterruptClick);
  DoCreate();
}

TFCountDown::~TFCountDown() { DoDestroy(); }

void TFCountDown::ShowSeconds() {
  lCountdown.SetCaption(
      Format("You have %d seconds left until the process continues.  Click the button to enter ViewSync mode.",
             {Seconds}));
}

void TFCountDown::Stop() {
  tCountDown.SetEnabled(false);
  Animate1.SetActive(false);
}

void TFCountDown::FormCreate(TObject*) {
  Seconds = 5;
  Done = false;
  Interrupted = false;
  Animate1.SetActive(true);
  tCountDown.SetEnabled(true);
  ShowSeconds();
  Application.ProcessMessages();
}

void TFCountDown::tCountDownTimer(TObject*) {
  Seconds = Seconds - 1;
  ShowSeconds();
  Application.ProcessMessages();
  if (Seconds <= 0) {
    Stop();
    Done = true;
  }
}

void TFCountDown::btnInterruptClick(TObject*) {
  Stop();
  Done = true;
  Interrupted = true;
}

// Closed from the keyboard (Alt+F4) without the button: the caller's wait
// must end, and the user has acted, so the run stops at the review page.
void TFCountDown::FormClose(TObject*) {
  if (Done) return;
  Stop();
  Done = true;
  Interrupted = true;
}

void TFCountDown::FormDestroy(TObject*) { Stop(); }
