#pragma once
// The modal viewer and editor of one mail, opened from both review lists.
#include "C_ResMan.h"
#include "ComCtrls.h"
#include "Forms.h"
#include "StdCtrls.h"

class TEditMail : public TForm {
 public:
  explicit TEditMail(const TResManager& Resources);
  ~TEditMail() override;

  void FormCreate(TObject* Sender);
  void btnAddressClick(TObject* Sender);

  TLabel lFrom{this, "lFrom", {.Bounds = {8, 12, 64, 14}, .FocusControl = &eFrom}};
  TEdit eFrom{this, "eFrom", {.Bounds = {76, 8, 356, 21}}};
  TLabel lTo{this, "lTo", {.Bounds = {8, 38, 64, 14}, .FocusControl = &eTo}};
  TEdit eTo{this, "eTo", {.Bounds = {76, 34, 356, 21}}};
  TLabel lCC{this, "lCC", {.Bounds = {8, 64, 64, 14}, .FocusControl = &eCC}};
  TEdit eCC{this, "eCC", {.Bounds = {76, 60, 356, 21}}};
  TLabel lBC{this, "lBC", {.Bounds = {8, 90, 64, 14}, .FocusControl = &eBC}};
  TEdit eBC{this, "eBC", {.Bounds = {76, 86, 356, 21}}};
  TLabel lSubject{this, "lSubject", {.Bounds = {8, 116, 64, 14}, .FocusControl = &eSubject}};
  TEdit eSubject{this, "eSubject", {.Bounds = {76, 112, 356, 21}}};
  TLabel lMessage{this, "lMessage", {.Bounds = {8, 142, 200, 14}, .FocusControl = &mMessage}};
  TMemo mMessage{this, "mMessage", {.Bounds = {8, 158, 424, 132}, .VerticalScrollBar = true}};
  TCheckBox cbSendItem{this, "cbSendItem", {.Bounds = {8, 296, 260, 17}}};
  TButton btnAddress{this, "btnAddress", {.Bounds = {8, 320, 100, 25}}};
  TButton btnOK{this, "btnOK", {.Bounds = {276, 320, 75, 25}, .Default = true, .ModalResult = mrOk}};
  TButton btnCancel{this, "btnCancel", {.Bounds = {357, 320, 75, 25}, .Cancel = true, .ModalResult = mrCancel}};
  TStatusBar StatusBar{this, "StatusBar", {}};

 private:
  const TResManager& resources_;
};
