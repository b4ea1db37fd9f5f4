#pragma once
// The transfer-limit settings dialog: limits, clean-up of the handheld mail
// stores, the stores' handheld paths and the defaults for new In box
// records. It writes nothing itself; TSesObj::UpdateTransferLimit presets
// it and stores its values.
#include "C_ResMan.h"
#include "ComCtrls.h"
#include "Forms.h"
#include "StdCtrls.h"

class TSesObj;

class TLimitForm : public TForm {
 public:
  TLimitForm(TSesObj& Session, const TResManager& Resources);
  ~TLimitForm() override;

  void FormCreate(TObject* Sender);
  void FormShow(TObject* Sender);
  void tbLimitChange(TObject* Sender);
  void tbEmailLimitChange(TObject* Sender);
  void tbInDaysChange(TObject* Sender);
  void tbOutDaysChange(TObject* Sender);
  void cbEnableInCleanClick(TObject* Sender);
  void cbEnableOutCleanClick(TObject* Sender);
  void btnInBrowseClick(TObject* Sender);
  void btnOutBrowseClick(TObject* Sender);

  TPageControl pcSettings{this, "pcSettings", {.Bounds = {6, 6, 388, 286}}};
  TTabSheet tsLimits{&pcSettings, "tsLimits", "Limits"};
  TLabel lIndividualInstruct{&tsLimits, "lIndividualInstruct", {.Bounds = {10, 12, 356, 28}, .WordWrap = true}};
  TTrackBar tbEmailLimit{&tsLimits, "tbEmailLimit", {.Bounds = {6, 42, 364, 30}, .Min = 0, .Max = 5000, .Frequency = 10}};
  TLabel lEmailLimit{&tsLimits, "lEmailLimit", {.Bounds = {12, 76, 354, 14}}};
  TLabel lInstruct2{&tsLimits, "lInstruct2", {.Bounds = {10, 122, 356, 28}, .WordWrap = true}};
  TTrackBar tbLimit{&tsLimits, "tbLimit", {.Bounds = {6, 152, 364, 30}, .Min = 0, .Max = 800, .Frequency = 10}};
  TLabel lLimit{&tsLimits, "lLimit", {.Bounds = {12, 186, 354, 14}}};

  TTabSheet tsCleanUp{&pcSettings, "tsCleanUp", "Clean Up"};
  TGroupBox gbCleanIn{&tsCleanUp, "gbCleanIn", {.Bounds = {8, 6, 364, 98}}};
  TCheckBox cbEnableInClean{&gbCleanIn, "cbEnableInClean", {.Bounds = {10, 20, 344, 17}}};
  TLabel lInCleanDays{&gbCleanIn, "lInCleanDays", {.Bounds = {12, 44, 340, 14}}};
  TTrackBar tbInDays{&gbCleanIn, "tbInDays", {.Bounds = {6, 62, 352, 30}, .Min = 0, .Max = 120, .Frequency = 1}};
  TGroupBox gbCleanOut{&tsCleanUp, "gbCleanOut", {.Bounds = {8, 110, 364, 98}}};
  TCheckBox cbEnableOutClean{&gbCleanOut, "cbEnableOutClean", {.Bounds = {10, 20, 344, 17}}};
  TLabel lOutCleanDays{&gbCleanOut, "lOutCleanDays", {.Bounds = {12, 44, 340, 14}}};
  TTrackBar tbOutDays{&gbCleanOut, "tbOutDays", {.Bounds = {6, 62, 352, 30}, .Min = 0, .Max = 120, .Frequency = 1}};
  TCheckBox cbPimMaster{&tsCleanUp, "cbPimMaster", {.Bounds = {12, 216, 360, 30}, .WordWrap = true}};

  TTabSheet tsOther{&pcSettings, "tsOther", "Other"};
  TLabel lLocationDesc{&tsOther, "lLocationDesc", {.Bounds = {10, 12, 356, 14}}};
  TLabel lInLocation{&tsOther, "lInLocation", {.Bounds = {10, 38, 62, 14}}};
  TEdit eInBox{&tsOther, "eInBox", {.Bounds = {74, 34, 262, 21}}};
  TButton btnInBrowse{&tsOther, "btnInBrowse", {.Bounds = {340, 34, 26, 21}, .Caption = "..."}};
  TLabel lOutLocation{&tsOther, "lOutLocation", {.Bounds = {10, 66, 62, 14}}};
  TEdit eOutBox{&tsOther, "eOutBox", {.Bounds = {74, 62, 262, 21}}};
  TButton btnOutBrowse{&tsOther, "btnOutBrowse", {.Bounds = {340, 62, 26, 21}, .Caption = "..."}};
  TGroupBox gbNewMess{&tsOther, "gbNewMess", {.Bounds = {8, 100, 364, 98}, .Caption = " New Message Options "}};
  TCheckBox cbAutoKeep{&gbNewMess, "cbAutoKeep", {.Bounds = {10, 22, 344, 17}}};
  TCheckBox cbAutoReplyAll{&gbNewMess, "cbAutoReplyAll", {.Bounds = {10, 46, 344, 17}}};
  TCheckBox cbAutoQuote{&gbNewMess, "cbAutoQuote", {.Bounds = {10, 70, 344, 17}}};

  TButton btnOK{this, "btnOK", {.Bounds = {238, 300, 75, 25}, .Caption = "OK", .Default = true, .ModalResult = mrOk}};
  TButton btnCancel{this, "btnCancel",
                    {.Bounds = {319, 300, 75, 25}, .Caption = "Cancel", .Cancel = true, .ModalResult = mrCancel}};

 private:
  void Browse(TEdit& edit, const char* place);
  TSesObj& session_;
  const TResManager& resources_;
};
