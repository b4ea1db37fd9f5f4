// Shows every dialog of the shared layer and the wizard filled with
// representative data and saves a picture of each, copied from the screen,
// as a BMP file in the folder given as the first argument. Run it on a real
// display (scripts/screenshots uses Xvfb): a window's own printing draws
// only its background under Wine.
#include <windows.h>

#include <cstdio>
#include <functional>
#include <string>

#include "C_Prog.h"
#include "C_ResMan.h"
#include "C_sesobj.h"
#include "FAbout.h"
#include "FCountdn.h"
#include "FEditMal.h"
#include "FLimiter.h"

namespace {

// Pumps for a while so the form has painted itself completely.
void Settle(TForm& form) {
  SetForegroundWindow(form.Handle());
  RedrawWindow(form.Handle(), nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN | RDW_UPDATENOW);
  DWORD until = GetTickCount() + 700;
  while (GetTickCount() < until) {
    ProcessPendingMessages();
    Sleep(20);
  }
}

bool Save(TForm& form, const std::string& file) {
  Settle(form);
  // The client area: without a window manager on the display there is no frame.
  RECT r{};
  GetClientRect(form.Handle(), &r);
  MapWindowPoints(form.Handle(), nullptr, reinterpret_cast<POINT*>(&r), 2);
  int w = r.right - r.left, h = r.bottom - r.top;
  HDC screen = GetDC(nullptr);
  HDC dc = CreateCompatibleDC(screen);
  BITMAPINFO info{};
  info.bmiHeader = {sizeof(BITMAPINFOHEADER), w, h, 1, 24, BI_RGB, 0, 2835, 2835, 0, 0};
  void* bits = nullptr;
  HBITMAP bitmap = CreateDIBSection(screen, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
  HGDIOBJ old = SelectObject(dc, bitmap);
  BitBlt(dc, 0, 0, w, h, screen, r.left, r.top, SRCCOPY | CAPTUREBLT);
  GdiFlush();
  DWORD rowBytes = static_cast<DWORD>((w * 3 + 3) & ~3);
  DWORD size = rowBytes * static_cast<DWORD>(h);
  BITMAPFILEHEADER header{0x4D42, static_cast<DWORD>(sizeof(BITMAPFILEHEADER) + sizeof(BITMAPINFOHEADER) + size), 0, 0,
                          static_cast<DWORD>(sizeof(BITMAPFILEHEADER) + sizeof(BITMAPINFOHEADER))};
  bool ok = false;
  if (FILE* f = std::fopen(file.c_str(), "wb")) {
    ok = std::fwrite(&header, sizeof header, 1, f) == 1 && std::fwrite(&info.bmiHeader, sizeof info.bmiHeader, 1, f) == 1 &&
         std::fwrite(bits, size, 1, f) == 1;
    std::fclose(f);
  }
  SelectObject(dc, old);
  DeleteObject(bitmap);
  DeleteDC(dc);
  ReleaseDC(nullptr, screen);
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
