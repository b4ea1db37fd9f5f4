// Shows every dialog of the shared layer, the wizard and the Outlook, GroupWise
// and Eudora conduits filled with representative data and saves a picture of each,
// copied from the screen, as a BMP file in the folder given as the first
// argument. Run it on a real
// display (scripts/screenshots uses Xvfb): a window's own printing draws
// only its background under Wine.
#include <windows.h>
#include <commctrl.h>

#include <cstdio>
#include <string>
#include <vector>

#include "C_Prog.h"
#include "Capture.h"
#include "C_ResMan.h"
#include "C_sesobj.h"
#include "FAbout.h"
#include "FCountdn.h"
#include "FEditMal.h"
#include "FLimiter.h"
#include "Handles.h"
#include "VazInterface.h"

namespace {

bool Save(TForm& form, const std::string& file) {
  bool ok = SaveClientArea(form.Handle(), file);
  std::printf("%s %s\n", ok ? "saved" : "FAILED", file.c_str());
  return ok;
}

// The conduit's properties dialog is modal inside the conduit; a timer of
// this thread, run by the dialog's own message loop, takes a picture of each
// page and closes it.
struct PropertiesShots {
  std::string folder;
  std::vector<std::string> names;  // one per page
  const char* chooser = nullptr;   // a page's button that opens a chooser, shot too
  int failures = 0;
  bool done = false;
  HWND dialog = nullptr;
  int waits = 0;
};
PropertiesShots* propertiesShots = nullptr;

HWND ShownDialog() {
  HWND found = nullptr;
  EnumThreadWindows(
      GetCurrentThreadId(),
      [](HWND w, LPARAM out) -> BOOL {
        if (!IsWindowVisible(w) || FindWindowExA(w, nullptr, WC_TABCONTROLA, nullptr) == nullptr) return TRUE;
        *reinterpret_cast<HWND*>(out) = w;
        return FALSE;
      },
      reinterpret_cast<LPARAM>(&found));
  return found;
}

// A box the conduit shows while a page fills (no folders, no logon) is
// answered, so that the pictures go on.
void CALLBACK AnswerBox(HWND, UINT, UINT_PTR, DWORD) {
  if (HWND box = FindWindowA("#32770", nullptr); box != nullptr && IsWindowVisible(box)) {
    std::printf("answered a box of the conduit\n");
    PostMessageA(box, WM_COMMAND, IDOK, 0);
  }
}

HWND ChooserShown() {
  HWND found = nullptr;
  EnumThreadWindows(
      GetCurrentThreadId(),
      [](HWND w, LPARAM out) -> BOOL {
        if (!IsWindowVisible(w) || FindWindowExA(w, nullptr, "ListBox", nullptr) == nullptr ||
            FindWindowExA(w, nullptr, WC_TABCONTROLA, nullptr) != nullptr)
          return TRUE;
        *reinterpret_cast<HWND*>(out) = w;
        return FALSE;
      },
      reinterpret_cast<LPARAM>(&found));
  return found;
}

// The chooser opened from the properties dialog: a picture, then both close.
void CALLBACK ShootChooser(HWND, UINT, UINT_PTR timer, DWORD) {
  HWND chooser = ChooserShown();
  if (chooser == nullptr && ++propertiesShots->waits < 30) return;
  KillTimer(nullptr, timer);
  HWND dialog = propertiesShots->dialog;
  if (chooser == nullptr) {
    std::printf("FAILED: the folder chooser did not show\n");
    ++propertiesShots->failures;
    PostMessageA(dialog, WM_CLOSE, 0, 0);
    return;
  }
  SendMessageA(FindWindowExA(chooser, nullptr, "ListBox", nullptr), LB_SETCURSEL, 0, 0);
  std::string file = propertiesShots->folder + propertiesShots->names.front().substr(0, propertiesShots->names.front().find('-')) + "-Chooser.bmp";
  bool ok = SaveClientArea(chooser, file);
  std::printf("%s %s\n", ok ? "saved" : "FAILED", file.c_str());
  propertiesShots->failures += !ok;
  PostMessageA(chooser, WM_CLOSE, 0, 0);
  PostMessageA(dialog, WM_CLOSE, 0, 0);
}

void CALLBACK ShootProperties(HWND, UINT, UINT_PTR timer, DWORD) {
  HWND dialog = ShownDialog();
  if (dialog == nullptr || propertiesShots->done) return;
  KillTimer(nullptr, timer);
  propertiesShots->done = true;
  UINT_PTR boxes = SetTimer(nullptr, 0, 500, AnswerBox);
  HWND tabs = FindWindowExA(dialog, nullptr, WC_TABCONTROLA, nullptr);
  const std::vector<std::string>& names = propertiesShots->names;
  for (int i = 0; i < static_cast<int>(names.size()); ++i) {
    SendMessageA(tabs, TCM_SETCURSEL, static_cast<WPARAM>(i), 0);
    NMHDR change{tabs, static_cast<UINT_PTR>(GetDlgCtrlID(tabs)), static_cast<UINT>(TCN_SELCHANGE)};
    SendMessageA(dialog, WM_NOTIFY, change.idFrom, reinterpret_cast<LPARAM>(&change));
    bool ok = SaveClientArea(dialog, propertiesShots->folder + names[i] + ".bmp");
    std::printf("%s %s%s.bmp\n", ok ? "saved" : "FAILED", propertiesShots->folder.c_str(), names[i].c_str());
    propertiesShots->failures += !ok;
  }
  KillTimer(nullptr, boxes);
  struct Search {
    const char* text;
    HWND found;
  } search{propertiesShots->chooser, nullptr};
  if (search.text != nullptr)
    EnumChildWindows(
        dialog,
        [](HWND w, LPARAM p) -> BOOL {
          auto* s = reinterpret_cast<Search*>(p);
          char text[16] = {};
          GetWindowTextA(w, text, sizeof text);
          if (std::string(text) != s->text) return TRUE;
          s->found = w;
          return FALSE;
        },
        reinterpret_cast<LPARAM>(&search));
  HWND button = search.found;
  if (search.text != nullptr && button == nullptr) {
    std::printf("FAILED: no button %s opens the chooser\n", search.text);
    ++propertiesShots->failures;
  }
  if (button == nullptr) {
    PostMessageA(dialog, WM_CLOSE, 0, 0);
    return;
  }
  propertiesShots->dialog = dialog;
  SetTimer(nullptr, 0, 300, ShootChooser);
  PostMessageA(GetParent(button), WM_COMMAND, MAKEWPARAM(GetDlgCtrlID(button), BN_CLICKED), reinterpret_cast<LPARAM>(button));
}

// A dialog without tabs that a conduit shows before its properties (Eudora's
// address confirmation): a picture, then it is cancelled.
std::string beforeProperties;
void CALLBACK ShootBeforeProperties(HWND, UINT, UINT_PTR timer, DWORD) {
  HWND found = nullptr;
  EnumThreadWindows(
      GetCurrentThreadId(),
      [](HWND w, LPARAM out) -> BOOL {
        if (!IsWindowVisible(w) || FindWindowExA(w, nullptr, WC_TABCONTROLA, nullptr) != nullptr ||
            FindWindowExA(w, nullptr, "Button", nullptr) == nullptr)
          return TRUE;
        *reinterpret_cast<HWND*>(out) = w;
        return FALSE;
      },
      reinterpret_cast<LPARAM>(&found));
  if (found == nullptr) return;
  KillTimer(nullptr, timer);
  bool ok = SaveClientArea(found, beforeProperties);
  std::printf("%s %s\n", ok ? "saved" : "FAILED", beforeProperties.c_str());
  propertiesShots->failures += !ok;
  PostMessageA(found, WM_CLOSE, 0, 0);
}

// A conduit beside this program shows its properties dialog.
int ShootConduitProperties(const char* library, PropertiesShots shots) {
  HMODULE conduit = LoadLibraryA(library);
  auto properties = conduit ? ModuleExport<TvazProperties>(conduit, "vazProperties") : nullptr;
  if (properties == nullptr) {
    std::printf("FAILED: no %s with properties beside the program\n", library);
    if (conduit) FreeLibrary(conduit);
    return 1;
  }
  propertiesShots = &shots;
  UINT_PTR timer = SetTimer(nullptr, 0, 300, ShootProperties);
  TMemo* memo = nullptr;
  properties(Application.Handle, &memo);
  KillTimer(nullptr, timer);
  propertiesShots = nullptr;
  FreeLibrary(conduit);
  if (!shots.done) std::printf("FAILED: the properties dialog of %s did not show\n", library);
  return shots.done ? shots.failures : 1;
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
  failures += ShootConduitProperties(
      "Mapimail.vaz", {folder, {"Outlook-About", "Outlook-Recipients", "Outlook-Folder", "Outlook-Replies"}});
  failures += ShootConduitProperties(
      "Novmail.vaz", {folder, {"GroupWise-About", "GroupWise-Preferences", "GroupWise-Folder"}, "..."});
  // Without an address of its own the Eudora conduit first proposes the
  // return address of EUDORA.INI (written when the stand-in registered).
  RegDeleteKeyValueA(HKEY_LOCAL_MACHINE, "Software\\QuorvelCorp\\Vantle\\VAZ Settings\\Eudora 4", "Email Address");
  beforeProperties = folder + "Eudora-Confirm.bmp";
  UINT_PTR confirm = SetTimer(nullptr, 0, 300, ShootBeforeProperties);
  PropertiesShots eudora{folder, {"Eudora-About", "Eudora-Options"}};
  failures += ShootConduitProperties("Boxmail.vaz", eudora);
  KillTimer(nullptr, confirm);
  return failures == 0 ? 0 : 1;
}
