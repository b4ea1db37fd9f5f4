#pragma once
// The address-confirmation dialog: the return address found in Eudora's
// settings, for the user to correct, or to stop being asked about.
#include "Forms.h"
#include "StdCtrls.h"

class TChkEAddr : public TForm {
 public:
  TChkEAddr();

  void btnHelpClick(TObject* Sender);

  TGroupBox gb2{this, "gb2", {.Bounds = {7, 15, 322, 202}, .Caption = " Your Email Address "}};
  TLabel lEmailAddr{&gb2, "lEmailAddr", {.Bounds = {14, 65, 292, 92}, .Caption = "text....", .WordWrap = true}};
  TEdit eEmailAddr{&gb2, "eEmailAddr", {.Bounds = {14, 164, 292, 21}}};
  TButton btnHelp{this, "btnHelp", {.Bounds = {9, 260, 75, 25}, .Caption = "&Help"}};
  TButton btnOK{this, "btnOK", {.Bounds = {177, 260, 75, 25}, .Caption = "&OK", .Default = true, .ModalResult = mrOk}};
  TButton btnCancel{this, "btnCancel",
                    {.Bounds = {254, 260, 75, 25}, .Caption = "&Cancel", .Cancel = true, .ModalResult = mrCancel}};
  TCheckBox cbNoEmailChk{this, "cbNoEmailChk", {.Bounds = {9, 229, 313, 17}}};
  TLabel lDialogAddr{&gb2, "lDialogAddr", {.Bounds = {14, 25, 292, 38}, .WordWrap = true}};
};
