#include "FAbout.h"

#include "Verinfo.h"
#include "Handles.h"

TAboutPluginForm::TAboutPluginForm()
    : TForm({.Name = "AboutPluginForm", .Caption = "About...", .ClientWidth = 376, .ClientHeight = 205}) {}

void ShowAboutBox(const std::string& Title, const std::string& Info, const TBitmap* Picture) {
  try {
    Screen.SetCursor(crHourGlass);
    TAboutPluginForm form;
    TVerInfoRes version(Trim(ModuleFileName()));
    form.lblVersion.SetCaption("Version " + version.GetString(TVerInfoRes::FileVersion));
    form.lblTitle.SetCaption(Title);
    form.lblInfo.SetCaption(Info);
    if (Picture != nullptr && !Picture->Empty()) {
      form.imgAbout.Picture.Assign(*Picture);
      form.imgAbout.PictureChanged();
    }
    Application.ProcessMessages();
    Screen.SetCursor(crDefault);
    form.ShowModal();
    Screen.SetCursor(crDefault);
  } catch (...) {
    Screen.SetCursor(crDefault);
  }
}
