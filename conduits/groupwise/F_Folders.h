#pragma once
// The folder chooser: every folder of the GroupWise account, one picked by
// OK or a double click.
#include "Forms.h"
#include "StdCtrls.h"

class TFolderList : public TForm {
 public:
  TFolderList();
  ~TFolderList() override;

  void FormShow(TObject* Sender);
  void FormDeactivate(TObject* Sender);
  void lbFoldersDblClick(TObject* Sender);

  TListBox lbFolders{this, "lbFolders", {.Bounds = {8, 8, 260, 200}}};
  TButton btnOK{this, "btnOK", {.Bounds = {112, 216, 75, 25}, .Caption = "&OK", .Default = true, .ModalResult = mrOk}};
  TButton btnCancel{this, "btnCancel",
                    {.Bounds = {193, 216, 75, 25}, .Caption = "&Cancel", .Cancel = true, .ModalResult = mrCancel}};
};
