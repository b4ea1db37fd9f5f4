#pragma once
// The GroupWise conduit's settings dialog: the login, the message types and
// the folder to read. ShowProperties fills it and writes back what the user
// changed.
#include "ComCtrls.h"
#include "ExtCtrls.h"
#include "Forms.h"
#include "StdCtrls.h"

class TPropForm : public TForm {
 public:
  TPropForm();
  ~TPropForm() override;

  void FormCreate(TObject* Sender);
  void FormShow(TObject* Sender);
  void cbManualLoginClick(TObject* Sender);
  void cbEmailClick(TObject* Sender);
  void cbPhoneClick(TObject* Sender);
  void btnFolderClick(TObject* Sender);
  void btnHelpClick(TObject* Sender);

  TPageControl pcProps{this, "pcProps", {.Bounds = {6, 6, 388, 262}}};
  TTabSheet tsAbout{&pcProps, "tsAbout", "About"};
  TImage Image1{&tsAbout, "Image1", {.Bounds = {16, 16, 32, 32}}};
  TLabel lDesc{&tsAbout, "lDesc", {.Bounds = {64, 18, 300, 16}, .Bold = true}};
  TLabel lVersion{&tsAbout, "lVersion", {.Bounds = {64, 40, 300, 14}}};
  TLabel lCopyright{&tsAbout, "lCopyright", {.Bounds = {64, 60, 300, 28}, .WordWrap = true}};

  TTabSheet tsLogin{&pcProps, "tsLogin", "Preferences"};
  TGroupBox gbLogin{&tsLogin, "gbLogin", {.Bounds = {8, 8, 364, 118}, .Caption = " GroupWise Login "}};
  TCheckBox cbManualLogin{&gbLogin, "cbManualLogin",
                          {.Bounds = {10, 20, 344, 17}, .Caption = "&Login to GroupWise using the following parameters:"}};
  TLabel lUserID{&gbLogin, "lUserID",
                 {.Bounds = {28, 50, 80, 14}, .Caption = "&User ID:", .FocusControl = &eUserName}};
  TEdit eUserName{&gbLogin, "eUserName", {.Bounds = {112, 46, 240, 21}}};
  TLabel lCommand{&gbLogin, "lCommand",
                  {.Bounds = {28, 82, 80, 14}, .Caption = "&Parameters:", .FocusControl = &eCommandLine}};
  TEdit eCommandLine{&gbLogin, "eCommandLine", {.Bounds = {112, 78, 240, 21}}};
  TGroupBox gbMsg{&tsLogin, "gbMsg", {.Bounds = {8, 134, 364, 86}, .Caption = " Message Types "}};
  TCheckBox cbEmail{&gbMsg, "cbEmail", {.Bounds = {10, 24, 200, 17}, .Caption = "&Email"}};
  TCheckBox cbPhone{&gbMsg, "cbPhone", {.Bounds = {10, 52, 200, 17}, .Caption = "&Phone Messages"}};

  TTabSheet tsFolder{&pcProps, "tsFolder", "Email Folder Name"};
  TLabel lFolderDesc{&tsFolder, "lFolderDesc",
                     {.Bounds = {10, 10, 356, 70},
                      .Caption = "Vantle will look in your mailbox folder by default when extracting email from "
                                 "GroupWise.  If you would like Vantle to look for email in a folder other than the "
                                 "default mailbox, enter the name of the folder below.",
                      .WordWrap = true}};
  TLabel lFolder{&tsFolder, "lFolder",
                 {.Bounds = {10, 96, 60, 14}, .Caption = "&Folder:", .FocusControl = &eFolderName}};
  TEdit eFolderName{&tsFolder, "eFolderName", {.Bounds = {72, 92, 260, 21}}};
  TButton btnFolder{&tsFolder, "btnFolder", {.Bounds = {338, 92, 28, 21}, .Caption = "..."}};

  TButton btnOK{this, "btnOK", {.Bounds = {157, 276, 75, 25}, .Caption = "&OK", .Default = true, .ModalResult = mrOk}};
  TButton btnCancel{this, "btnCancel",
                    {.Bounds = {238, 276, 75, 25}, .Caption = "&Cancel", .Cancel = true, .ModalResult = mrCancel}};
  TButton btnHelp{this, "btnHelp", {.Bounds = {319, 276, 75, 25}, .Caption = "&Help"}};
};

// vazProperties after the hand-over: the dialog over the settings, and on OK
// the changed ones written back. True when the dialog was shown and closed.
bool ShowProperties();
