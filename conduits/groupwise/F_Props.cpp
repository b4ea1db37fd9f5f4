#include "F_Props.h"

#include "C_io.h"
#include "ComObj.h"
#include "ConduitFrame.h"
#include "ConduitKit.h"
#include "F_Folders.h"
#include "GroupWise.h"
#include "Registry.h"

TPropForm::TPropForm()
    : TForm({.Name = "PropForm", .Caption = "Vantle Conduit Properties", .ClientWidth = 400, .ClientHeight = 308}) {
  OnCreate = Event(this, &TPropForm::FormCreate);
  OnShow = Event(this, &TPropForm::FormShow);
  cbManualLogin.OnClick = Event(this, &TPropForm::cbManualLoginClick);
  cbEmail.OnClick = Event(this, &TPropForm::cbEmailClick);
  cbPhone.OnClick = Event(this, &TPropForm::cbPhoneClick);
  btnFolder.OnClick = Event(this, &TPropForm::btnFolderClick);
  btnHelp.OnClick = Event(this, &TPropForm::btnHelpClick);
  pcProps.SetActivePage(&tsAbout);
  DoCreate();
}

TPropForm::~TPropForm() { DoDestroy(); }

void TPropForm::FormCreate(TObject*) {
  FillAboutPage(*this, "Novmail.hlp", Image1, lDesc, lVersion, lCopyright);
}

void TPropForm::FormShow(TObject* Sender) { cbManualLoginClick(Sender); }

void TPropForm::cbManualLoginClick(TObject*) {
  bool manual = cbManualLogin.Checked();
  for (TControl* c : std::initializer_list<TControl*>{&lUserID, &lCommand, &eUserName, &eCommandLine})
    c->SetEnabled(manual);
}

void TPropForm::cbEmailClick(TObject*) {
  if (!cbEmail.Checked() && !cbPhone.Checked()) cbPhone.SetChecked(true);
}

void TPropForm::cbPhoneClick(TObject*) {
  if (!cbEmail.Checked() && !cbPhone.Checked()) cbEmail.SetChecked(true);
}

void TPropForm::btnHelpClick(TObject*) { HelpContext(1); }

// A fresh automatic login of its own, whatever the settings say; silent
// when GroupWise is missing or refuses.
void TPropForm::btnFolderClick(TObject*) {
  Application.ProcessMessages();
  Screen.SetCursor(crHourGlass);
  try {
    Variant session = CreateOleObject(groupwise::ProgID_Session);
    Variant account = session.Call("Login");
    if (account.IsNothing()) throw Exception("Could not login to GroupWise!");
    TFolderList chooser;
    Application.ProcessMessages();
    chooser.lbFolders.Items.Clear();
    Variant folders = account.Get("AllFolders");
    int count = folders.Get("Count").AsInteger();
    for (int i = 1; i <= count; ++i) chooser.lbFolders.Items.Add(folders.Call("Item", {i}).Get("Name").AsString());
    Application.ProcessMessages();
    if (chooser.ShowModal() == mrOk) {
      Application.ProcessMessages();
      int index = chooser.lbFolders.ItemIndex();
      if (index >= 0) eFolderName.SetText(chooser.lbFolders.Items[index]);
    }
  } catch (const Exception&) {
  }
  Screen.SetCursor(crDefault);
}

bool ShowProperties() {
  TPropForm form;
  LoadSettings();
  const std::pair<TControl*, int> texts[] = {
      {&form.btnOK, 11},   {&form.btnCancel, 12}, {&form.gbLogin, 34},     {&form.cbManualLogin, 31},
      {&form.lUserID, 32}, {&form.lCommand, 33},  {&form.gbMsg, 35},       {&form.cbEmail, 36},
      {&form.cbPhone, 37}, {&form.lFolderDesc, 28}, {&form.lFolder, 29}};
  form.SetCaption(ResString(14));
  form.tsAbout.SetTabCaption(ResString(13));
  form.tsLogin.SetTabCaption(ResString(30));
  form.tsFolder.SetTabCaption(ResString(27));
  for (auto& [control, id] : texts) control->SetCaption(ResString(id));
  form.cbManualLogin.SetChecked(ManualLogin);
  form.eUserName.SetText(UserID);
  form.eCommandLine.SetText(CommandLine);
  form.eFolderName.SetText(FolderName);
  form.cbEmail.SetChecked(IncludeEmail);
  form.cbPhone.SetChecked(IncludePhone);
  Application.ProcessMessages();
  if (form.ShowModal() == mrOk) {
    TRegistry reg;
    OpenConduitSettings(reg);
    const std::tuple<TCheckBox*, const char*, bool*> checks[] = {{&form.cbManualLogin, "Manual Login", &ManualLogin},
                                                                 {&form.cbEmail, "IncludeEmail", &IncludeEmail},
                                                                 {&form.cbPhone, "IncludePhone", &IncludePhone}};
    for (auto& [box, name, value] : checks)
      if (box->Checked() != *value) {
        *value = box->Checked();
        reg.WriteBool(name, *value);
      }
    const std::tuple<TEdit*, const char*, std::string*> edits[] = {{&form.eUserName, "User ID", &UserID},
                                                                   {&form.eCommandLine, "Command Line", &CommandLine},
                                                                   {&form.eFolderName, "Folder", &FolderName}};
    for (auto& [edit, name, value] : edits)
      if (edit->Text() != *value) {
        *value = edit->Text();
        reg.WriteString(name, *value);
      }
  }
  return true;
}
