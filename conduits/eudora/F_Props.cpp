#include "F_Props.h"

#include "ConduitFrame.h"
#include "Verinfo.h"

TPropForm::TPropForm()
    : TForm({.Name = "PropForm", .Caption = "Vantle Conduit Properties", .ClientWidth = 352, .ClientHeight = 350}) {
  OnCreate = Event(this, &TPropForm::FormCreate);
  btnHelp.OnClick = Event(this, &TPropForm::btnHelpClick);
  pcProps.SetActivePage(&tsAbout);
  DoCreate();
}

TPropForm::~TPropForm() { DoDestroy(); }

// Fills the About tab from the conduit's own version block; whatever cannot
// be read keeps its stored text.
void TPropForm::FormCreate(TObject*) {
  try {
    std::string path = GetModuleName();
    {
      TVerInfoRes info(path);
      lDesc.SetCaption(info.GetString(TVerInfoRes::FileDescription));
      lVersion.SetCaption(Format("Version: %s", {info.GetString(TVerInfoRes::FileVersion)}));
      lCopyright.SetCaption(info.GetString(TVerInfoRes::LegalCopyright));
    }
    Application.ProcessMessages();
    HelpFile = ExtractFilePath(path) + "Boxmail.hlp";
  } catch (...) {
  }
  try {
    Image1.Picture.LoadFromResourceName(ThisModule(), "ConduitPicture");
  } catch (...) {
  }
}

void TPropForm::btnHelpClick(TObject*) { HelpContext(1); }
