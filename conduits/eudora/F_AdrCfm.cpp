#include "F_AdrCfm.h"

TChkEAddr::TChkEAddr() : TForm({.Name = "ChkEAddr", .Caption = "ChkEAddr", .ClientWidth = 336, .ClientHeight = 296}) {
  btnHelp.OnClick = Event(this, &TChkEAddr::btnHelpClick);
  DoCreate();
}

// The dialog names no help file of its own; the application's answers.
void TChkEAddr::btnHelpClick(TObject*) { Application.HelpContext(1); }
