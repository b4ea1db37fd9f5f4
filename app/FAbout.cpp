#include "FAbout.h"

#include "Dpi.h"
#include "Verinfo.h"

TAboutPluginForm::TAboutPluginForm()
    : TForm({.Name = "AboutPluginForm", .Caption = "About...", .ClientWidth = 376, .ClientHeight = 205}) {
  ScaleFormToDpi(*this);
}

void ShowAboutBox(const std::string& Title, const std::string& Info, const TBitmap* Picture) {
  try {
    Screen.SetCursor(crHourGlass);
    TAboutPluginForm form;
    char buffer[MAX_PATH];
    DWORD n = GetModuleFileNameA(nullptr, buffer, MAX_PATH);
    TVerInfoRes version(Trim(std::string(buffer, n > MAX_PATH ? MAX_PATH : n)));
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
