#pragma once
// The one progress window of the main program. The conduits run their own
// build of SetLine2, SetMax and SetPosition on the host's window, and read
// its Visible state and Stopped flag, so these members touch nothing but the
// object's own fields and windows: no virtual call, no module-global state.
#include <string>

#include "ComCtrls.h"
#include "Forms.h"
#include "StdCtrls.h"

class TProgress : public TForm {
 public:
  TProgress();
  ~TProgress() override;

  void FormCreate(TObject* Sender);
  void FormDestroy(TObject* Sender);
  void btnStopClick(TObject* Sender);

  void SetLine1(const std::string& Text);
  void SetLine2(const std::string& Text);
  void SetMax(int N);
  void SetPosition(int N);

  TAnimate Animate{this, "Animate", {.Bounds = {64, 4, 272, 60}, .CommonAVI = TCommonAVI::aviCopyFiles, .StopFrame = 34}};
  TLabel lApptext1{this, "lApptext1", {.Bounds = {12, 70, 376, 14}, .ShowAccelChar = false}};
  TLabel lApptext2{this, "lApptext2", {.Bounds = {12, 86, 376, 14}, .ShowAccelChar = false}};
  TProgressBar ProgressBar{this, "ProgressBar", {.Bounds = {12, 106, 376, 16}, .Min = 0, .Max = 100}};
  TButton btnStop{this, "btnStop", {.Bounds = {162, 130, 75, 25}, .Caption = "Stop"}};

  bool Stopped = false;  // the user asked to stop
  int Max = 100;         // the bar's current maximum

 private:
  void PacedPump();
  void ShowPosition();

  int shown_ = 0;           // the position the bar was last given
  ULONGLONG lastPump_ = 0;  // when SetPosition last pumped messages
  int position_ = 0;        // the newest position set
  ULONGLONG shownAt_ = 0;   // when the bar was last given a position
};
