// Shows every dialog of the shared layer and the wizard filled with
// representative data and saves a picture of each, copied from the screen,
// as a BMP file in the folder given as the first argument. Run it on a real
// display (scripts/screenshots uses Xvfb): a window's own printing draws
// only its background under Wine.
#include <windows.h>

#include <cstdio>
#include <string>

#include "C_Prog.h"
#include "Capture.h"
#include "C_ResMan.h"
#include "C_sesobj.h"
#include "FAbout.h"
#include "FCountdn.h"
#include "FEditMal.h"
#include "FLimiter.h"

namespace {

bool Save(TForm& form, const std::string& file) {
  bool ok = SaveClientArea(form.Handle(), file);
  std::printf("%s %s\n", ok ? "saved" : "FAILED", file.c_str());
  return ok;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) {
    std::printf("usage: formshots <folder>\n");
    return 2;
  }
  std::string folder = IncludeTrailingBackslash(argv[1]);
  Application.Title = "Vantle";
  Application.Initialize();
  TResManager resources("Vantleres.dll");
  int failures = 0;
  auto shot = [&](TForm& form, const char* name) {
    form.Show();
    failures += !Save(form, folder + name + ".bmp");
    form.Hide();
  };

  {
    TProgress progress;
    progress.SetLine1(resources.GetString(38) == "" ? "Reading the mail..." : Format(resources.GetString(38), {"Outlook"}));
    progress.SetLine2(resources.GetString(165));
    progress.SetMax(40);
    progress.SetPosition(26);
    shot(progress, "Progress");
  }
  {
    TEditMail editor(resources);
    editor.SetCaption("Re: Quarterly figures");
    editor.eFrom.SetText("Ruth Calder <ruth.calder@quorvel.example>");
    editor.eTo.SetText("tomas.ried@quorvel.example,ana.silva@quorvel.example");
    editor.eCC.SetText("finance@quorvel.example");
    editor.eSubject.SetText("Re: Quarterly figures");
    editor.mMessage.Lines.Add("Tomas,");
    editor.mMessage.Lines.Add("");
    editor.mMessage.Lines.Add("the figures look good. Can we go through the travel costs on Thursday?");
    editor.mMessage.Lines.Add("");
    editor.mMessage.Lines.Add("Ruth");
    editor.cbSendItem.SetChecked(true);
    editor.StatusBar.SetPanelText(0, Format(resources.GetString(48), {1843}));
    editor.eFrom.SetEnabled(false);
    editor.lFrom.SetEnabled(false);
    editor.eFrom.SetColor(GetSysColor(COLOR_BTNFACE));
    shot(editor, "EditMail");
  }
  {
    TSesObj session;
    TLimitForm limits(session, resources);
    limits.tbEmailLimit.SetPosition(2500);
    limits.tbLimit.SetPosition(400);
    limits.cbEnableInClean.SetChecked(true);
    limits.tbInDays.SetPosition(30);
    limits.tbOutDays.SetPosition(60);
    limits.cbAutoKeep.SetChecked(true);
    limits.cbAutoQuote.SetChecked(true);
    limits.eInBox.SetText(session.InData);
    limits.eOutBox.SetText(session.OutData);
    const char* names[] = {"LimitForm-Limits", "LimitForm-CleanUp", "LimitForm-Other"};
    for (int i = 0; i < 3; ++i) {
      limits.pcSettings.SetActivePage(limits.pcSettings.Page(i));
      shot(limits, names[i]);
    }
  }
  {
    TFCountDown countdown;
    countdown.tCountDown.SetEnabled(false);
    shot(countdown, "Countdown");
  }
  {
    TBitmap picture;
    picture.LoadFromResourceID(resources.Handle, 1);
    TAboutPluginForm about;
    about.lblTitle.SetCaption(resources.GetString(1));
    about.lblVersion.SetCaption("Version 1.0.0.0");
    about.lblInfo.SetCaption(resources.GetString(181));
    about.imgAbout.Picture.Assign(picture);
    shot(about, "About");
  }
  return failures == 0 ? 0 : 1;
}
