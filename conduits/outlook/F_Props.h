#pragma once
// The Outlook conduit's settings dialog: its version, the default address
// type, the folder the mail is read from and the reply folder. vazProperties
// fills it and writes back what the user changed.
#include <memory>
#include <string>
#include <vector>

#include "ComCtrls.h"
#include "ExtCtrls.h"
#include "Forms.h"
#include "StdCtrls.h"
#include "Variant.h"

// The example of an address with the typed address type ("%s" stands for it).
extern std::string ExamplePattern;

// The CDO identifier of one folder in the folder list.
class TID : public TObject {
 public:
  explicit TID(std::string id) : ID(std::move(id)) {}
  std::string ID;
};

class TPropForm : public TForm {
 public:
  TPropForm();
  ~TPropForm() override;

  void FormCreate(TObject* Sender);
  void FormActivate(TObject* Sender);
  void FormDestroy(TObject* Sender);
  void pcPropsChange(TObject* Sender);
  void eEmailTypeChange(TObject* Sender);
  void cbReplyMoveClick(TObject* Sender);
  void btnOKClick(TObject* Sender);
  void btnHelpClick(TObject* Sender);

  void LoadFolders();
  void AddFolderTree(const Variant& Folder, TListBox& List);

  // The folder the conduit reads: given by vazProperties, set by btnOKClick.
  std::string SelectedFolderID;

  TPageControl pcProps{this, "pcProps", {.Bounds = {6, 6, 388, 262}}};
  TTabSheet tsAbout{&pcProps, "tsAbout", "About"};
  TImage Image1{&tsAbout, "Image1", {.Bounds = {16, 16, 32, 32}}};
  TLabel lDesc{&tsAbout, "lDesc", {.Bounds = {64, 18, 300, 16}, .Bold = true}};
  TLabel lVersion{&tsAbout, "lVersion", {.Bounds = {64, 40, 300, 14}}};
  TLabel lCopyright{&tsAbout, "lCopyright", {.Bounds = {64, 60, 300, 28}, .WordWrap = true}};
  TBevel Bevel1{&tsAbout, "Bevel1", {.Bounds = {8, 100, 364, 2}, .Shape = TBevelShape::bsTopLine}};

  TTabSheet tsRecipients{&pcProps, "tsRecipients", "Recipient Addressing"};
  TLabel lblRecInfo{&tsRecipients, "lblRecInfo", {.Bounds = {10, 10, 356, 42}, .WordWrap = true}};
  TLabel lbRecInfo2{&tsRecipients, "lbRecInfo2", {.Bounds = {10, 56, 356, 42}, .WordWrap = true}};
  TLabel lblRecInfo3{&tsRecipients, "lblRecInfo3", {.Bounds = {10, 102, 356, 28}, .WordWrap = true}};
  TLabel lblEmailType{&tsRecipients, "lblEmailType", {.Bounds = {10, 144, 80, 14}, .Caption = "Email type:"}};
  TEdit eEmailType{&tsRecipients, "eEmailType", {.Bounds = {96, 140, 120, 21}, .Text = "SMTP"}};
  TLabel lblExample{&tsRecipients, "lblExample", {.Bounds = {10, 174, 356, 14}, .ShowAccelChar = false}};

  TTabSheet tsFolders{&pcProps, "tsFolders", "Email Folder"};
  TLabel lblFolderDesc{&tsFolders, "lblFolderDesc", {.Bounds = {10, 10, 356, 42}, .WordWrap = true}};
  TLabel lblAvailableFolders{&tsFolders, "lblAvailableFolders",
                             {.Bounds = {10, 58, 356, 14}, .Caption = "Available Inbox Folders:"}};
  TListBox lvFolders{&tsFolders, "lvFolders", {.Bounds = {10, 76, 356, 146}}};

  TTabSheet tsReplyHandling{&pcProps, "tsReplyHandling", "Reply Management"};
  TLabel lblReplyHandle1{&tsReplyHandling, "lblReplyHandle1", {.Bounds = {10, 10, 356, 42}, .WordWrap = true}};
  TLabel lblReplyHandle2{&tsReplyHandling, "lblReplyHandle2", {.Bounds = {10, 56, 356, 42}, .WordWrap = true}};
  TCheckBox cbReplyMove{&tsReplyHandling, "cbReplyMove", {.Bounds = {10, 108, 356, 17}}};
  TLabel lblReplyFolder{&tsReplyHandling, "lblReplyFolder", {.Bounds = {10, 140, 80, 14}, .Caption = "Reply folder:"}};
  TEdit eReplyFolder{&tsReplyHandling, "eReplyFolder", {.Bounds = {96, 136, 200, 21}, .Text = "Vantle Replies"}};

  TButton btnOK{this, "btnOK", {.Bounds = {157, 276, 75, 25}, .Caption = "OK", .Default = true, .ModalResult = mrOk}};
  TButton btnCancel{this, "btnCancel",
                    {.Bounds = {238, 276, 75, 25}, .Caption = "Cancel", .Cancel = true, .ModalResult = mrCancel}};
  TButton btnHelp{this, "btnHelp", {.Bounds = {319, 276, 75, 25}, .Caption = "&Help"}};

 private:
  std::vector<std::unique_ptr<TID>> ids_;
};
