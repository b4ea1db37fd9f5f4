#pragma once
// The Eudora conduit's properties dialog: the conduit's version on the About
// tab, the mailbox it reads and the user's own address on the Options tab.
// vazProperties fills it and saves what it answers.
#include "ComCtrls.h"
#include "ExtCtrls.h"
#include "Forms.h"
#include "StdCtrls.h"

class TPropForm : public TForm {
 public:
  TPropForm();
  ~TPropForm() override;

  void FormCreate(TObject* Sender);
  void btnHelpClick(TObject* Sender);

  TButton btnOK{this, "btnOK", {.Bounds = {190, 320, 75, 25}, .Caption = "&OK", .Default = true, .ModalResult = mrOk}};
  TButton btnCancel{this, "btnCancel",
                    {.Bounds = {271, 320, 75, 25}, .Caption = "&Cancel", .Cancel = true, .ModalResult = mrCancel}};
  TPageControl pcProps{this, "pcProps", {.Bounds = {5, 5, 341, 309}}};
  TTabSheet tsAbout{&pcProps, "tsAbout", "About"};
  TImage Image1{&tsAbout, "Image1", {.Bounds = {8, 8, 32, 32}}};
  TLabel lDesc{&tsAbout, "lDesc", {.Bounds = {56, 8, 270, 13}, .Caption = "Description", .Bold = true}};
  TLabel lVersion{&tsAbout, "lVersion", {.Bounds = {56, 28, 270, 13}, .Caption = "Version: %s"}};
  TLabel lCopyright{&tsAbout, "lCopyright", {.Bounds = {56, 44, 270, 13}, .Caption = "Copyright notice"}};
  TBevel Bevel1{&tsAbout, "Bevel1", {.Bounds = {56, 64, 270, 3}, .Shape = TBevelShape::bsTopLine}};
  TButton btnHelp{this, "btnHelp", {.Bounds = {5, 320, 75, 25}, .Caption = "&Help"}};
  TTabSheet TabOptions{&pcProps, "TabOptions", "&Options"};
  TGroupBox gb1{&TabOptions, "gb1", {.Bounds = {10, 6, 312, 105}, .Caption = " Eudora Mailbox Name "}};
  TEdit eMBoxName{&gb1, "eMBoxName", {.Bounds = {14, 70, 282, 21}}};
  TGroupBox gb2{&TabOptions, "gb2", {.Bounds = {10, 124, 312, 146}, .Caption = " Your Email Address "}};
  TEdit eEmailAddr{&gb2, "eEmailAddr", {.Bounds = {14, 111, 284, 21}}};
  TLabel lMbxName{&gb1, "lMbxName", {.Bounds = {14, 19, 281, 44}, .WordWrap = true}};
  TLabel lEmailAddr{&gb2, "lEmailAddr", {.Bounds = {14, 19, 284, 83}, .WordWrap = true}};
};
