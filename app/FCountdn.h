#pragma once
// The quick-mode countdown: five seconds for the user to stop a run at the
// review page.
#include "ComCtrls.h"
#include "ExtCtrls.h"
#include "Forms.h"
#include "StdCtrls.h"

class TFCountDown : public TForm {
 public:
  TFCountDown();
  ~TFCountDown() override;

  void FormCreate(TObject* Sender);
  void FormDestroy(TObject* Sender);
  void FormClose(TObject* Sender);
  void tCountDownTimer(TObject* Sender);
  void btnInterruptClick(TObject* Sender);

  TAnimate Animate1{this, "Animate1", {.Bounds = {6, 8, 80, 50}, .CommonAVI = TCommonAVI::aviFindFolder, .StopFrame = 29}};
  TLabel lCountdown{this, "lCountdown", {.Bounds = {92, 6, 190, 54}, .WordWrap = true}};
  TButton btnInterrupt{this, "btnInterrupt",
                       {.Bounds = {106, 62, 76, 25}, .Caption = "&ViewSync", .Default = true, .ModalResult = 1}};
  TTimer tCountDown{1000, false};

  int Seconds = 0;
  bool Done = false;
  bool Interrupted = false;

 private:
  void ShowSeconds();
  void Stop();
};
