#include "FLimiter.h"

#include "C_sesobj.h"
#include "ComObj.h"
#include "FileBrowse.h"

TLimitForm::TLimitForm(TSesObj& Session, const TResManager& Resources)
    : TForm({.Name = "LimitForm",
             .Caption = "Maximum Transfer Limit Settings",
             .ClientWidth = 400,
             .ClientHeight = 332,
             .BorderIcons = biSystemMenu | biMinimize | biHelp}),
      session_(Session),
      resources_(Resources) {
  OnCreate = Event(this, &TLimitForm::FormCreate);
  OnShow = Event(this, &TLimitForm::FormShow);
  tbLimit.OnChange = Event(this, &TLimitForm::tbLimitChange);
  tbEmailLimit.OnChange = Event(this, &TLimitForm::tbEmailLimitChange);
  tbInDays.OnChange = Event(this, &TLimitForm::tbInDaysChange);
  tbOutDays.OnChange = Event(this, &TLimitForm::tbOutDaysChange);
  cbEnableInClean.OnClick = Event(this, &TLimitForm::cbEnableInCleanClick);
  cbEnableOutClean.OnClick = Event(this, &TLimitForm::cbEnableOutCleanClick);
  btnInBrowse.OnClick = Event(this, &TLimitForm::btnInBrowseClick);
  btnOutBrowse.OnClick = Event(this, &TLimitForm::btnOutBrowseClick);
  DoCreate();
}

TLimitForm::~TLimitForm() { DoDestroy(); }

void TLimitForm::FormCreate(TObject*) {
  const TResManager& r = resources_;
  tsLimits.SetTabCaption(r.GetString(137));
  tsCleanUp.SetTabCaption(r.GetString(138));
  tsOther.SetTabCaption(r.GetString(139));
  lIndividualInstruct.SetCaption(r.GetString(140));
  lInstruct2.SetCaption(r.GetString(141));
  gbCleanIn.SetCaption(r.GetString(142));
  gbCleanOut.SetCaption(r.GetString(143));
  cbEnableInClean.SetCaption(r.GetString(144));
  cbEnableOutClean.SetCaption(r.GetString(145));
  lInCleanDays.SetCaption(r.GetString(146));
  lOutCleanDays.SetCaption(r.GetString(147));
  lLocationDesc.SetCaption(r.GetString(148));
  lInLocation.SetCaption(r.GetString(149));
  lOutLocation.SetCaption(r.GetString(150));
  btnOK.SetCaption(r.GetString(88));
  btnCancel.SetCaption(r.GetString(89));
  cbAutoKeep.SetCaption(r.GetString(171));
  cbAutoQuote.SetCaption(r.GetString(172));
  cbAutoReplyAll.SetCaption(r.GetString(176));
  cbPimMaster.SetCaption(r.GetString(183));
  Application.ProcessMessages();
}

// Labels and enabled states follow the preset values.
void TLimitForm::FormShow(TObject* Sender) {
  tbLimitChange(Sender);
  tbEmailLimitChange(Sender);
  tbInDaysChange(Sender);
  tbOutDaysChange(Sender);
  cbEnableInCleanClick(Sender);
  cbEnableOutCleanClick(Sender);
}

// Decimal megabytes: 1000 KB to the MB.
void TLimitForm::tbLimitChange(TObject*) {
  int kb = tbLimit.Position() * 10;
  double mb = kb / 1000.0;
  lLimit.SetCaption(kb == 0 ? resources_.GetString(151) : Format(resources_.GetString(152), {kb, mb}));
}

void TLimitForm::tbEmailLimitChange(TObject*) {
  int position = tbEmailLimit.Position();
  lEmailLimit.SetCaption(position == 0 ? resources_.GetString(155) : Format(resources_.GetString(156), {position}));
}

void TLimitForm::tbInDaysChange(TObject*) {
  lInCleanDays.SetCaption(Format(resources_.GetString(157), {tbInDays.Position()}));
}

void TLimitForm::tbOutDaysChange(TObject*) {
  lOutCleanDays.SetCaption(Format(resources_.GetString(158), {tbOutDays.Position()}));
}

void TLimitForm::cbEnableInCleanClick(TObject*) {
  lInCleanDays.SetEnabled(cbEnableInClean.Checked());
  tbInDays.SetEnabled(cbEnableInClean.Checked());
}

void TLimitForm::cbEnableOutCleanClick(TObject*) {
  lOutCleanDays.SetEnabled(cbEnableOutClean.Checked());
  tbOutDays.SetEnabled(cbEnableOutClean.Checked());
}

void TLimitForm::btnInBrowseClick(TObject*) { Browse(eInBox, "TLimitForm.btnInBrowseClick"); }

void TLimitForm::btnOutBrowseClick(TObject*) { Browse(eOutBox, "TLimitForm.btnOutBrowseClick"); }

// The handheld file chooser: set up with the title, prompt and start folder,
// filtered to the handheld's three data-file types, shown; when it answers
// that a file was chosen, its handheld path goes into the edit.
void TLimitForm::Browse(TEdit& edit, const char* place) {
  using namespace filebrowse;
  try {
    CoInitScope com;
    Variant browser(CreateDispatch(CLSID_CFileDll));
    browser.Call(DispSetup,
                 {true, resources_.GetString(153), resources_.GetString(154), ExtractFilePath(edit.Text()), 0});
    browser.Call(DispSetFilter, {"Data Files", FileTypeData1, FileTypeData2, FileTypeData3});
    if (!browser.Call(DispExecute).AsBool()) return;
    edit.SetText(browser.Call(DispFileName).AsString());
  } catch (const Exception& e) {
    session_.ShowError(e.Message, place);
  }
}
