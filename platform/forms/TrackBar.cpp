#include "ComCtrls.h"

TTrackBar::TTrackBar(TWinControl* parent, std::string name, const TTrackBarArgs& a)
    : TControl(parent, std::move(name)) {
  CreateHandle(TRACKBAR_CLASSA, WS_VISIBLE | WS_TABSTOP | TBS_HORZ | TBS_AUTOTICKS, 0, a.Bounds, "");
  SetRange(a.Min, a.Max);
  SetFrequency(a.Frequency);
  SetPosition(a.Position);
}

int TTrackBar::Min() const { return static_cast<int>(SendMessageA(handle_, TBM_GETRANGEMIN, 0, 0)); }
int TTrackBar::Max() const { return static_cast<int>(SendMessageA(handle_, TBM_GETRANGEMAX, 0, 0)); }

void TTrackBar::SetRange(int min, int max) {
  SendMessageA(handle_, TBM_SETRANGEMIN, FALSE, min);
  SendMessageA(handle_, TBM_SETRANGEMAX, TRUE, max);
}

void TTrackBar::SetFrequency(int frequency) { SendMessageA(handle_, TBM_SETTICFREQ, static_cast<WPARAM>(frequency), 0); }

int TTrackBar::Position() const { return static_cast<int>(SendMessageA(handle_, TBM_GETPOS, 0, 0)); }

void TTrackBar::SetPosition(int value) { SendMessageA(handle_, TBM_SETPOS, TRUE, value); }

void TTrackBar::Scrolled(WORD code) {
  if (code != TB_ENDTRACK && OnChange) OnChange(this);
}

TProgressBar::TProgressBar(TWinControl* parent, std::string name, const TProgressBarArgs& a)
    : TControl(parent, std::move(name)) {
  CreateHandle(PROGRESS_CLASSA, WS_VISIBLE, 0, a.Bounds, "");
  SendMessageA(handle_, PBM_SETRANGE32, static_cast<WPARAM>(a.Min), a.Max);
}
