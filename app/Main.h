#pragma once
// The wizard's main form: three pages (conduit and options, review lists,
// result), the buttons that step through them, and the owner of the
// process-wide objects of a run.
#include <memory>
#include <string>

#include "C_Email.h"
#include "C_Evrin.h"
#include "C_Prog.h"
#include "C_ResMan.h"
#include "C_sesobj.h"
#include "ComCtrls.h"
#include "ExtCtrls.h"
#include "Forms.h"
#include "Menus.h"
#include "StdCtrls.h"

// The name of the single-instance mutex and of the registered message.
constexpr const char* SingleInstanceName = "QuorvelVantle";
// The main window's class name.
constexpr const char* MainWindowClass = "QuorvelVantleApplication";
// Set by a copy once it is closing: a second start then waits for it to end
// and starts, instead of handing over to a copy that is going away.
constexpr const char* ClosingEventName = "QuorvelVantleClosing";

// The registered single-instance message, and the main form window's
// procedure before MainFormWndProc replaced it.
extern UINT SingleInstanceMessage;
extern WNDPROC PrevWndProc;
LRESULT CALLBACK MainFormWndProc(HWND Window, UINT Msg, WPARAM wParam, LPARAM lParam);

// Shows the exceptions that reach the message loop; the loop goes on.
class TGlobalExHandler : public TObject {
 public:
  void AppException(TObject* Sender, const std::string& Message);
};

class TMainForm : public TForm {
 public:
  TMainForm();
  ~TMainForm() override;

  void FormCreate(TObject* Sender);
  void FormDestroy(TObject* Sender);
  void FormClose(TObject* Sender);
  void FormShow(TObject* Sender);
  void LoadAPIs();
  bool DoStep(TTabSheet* Page, bool Forward);
  void UpdateButtons();

  void btnNextClick(TObject* Sender);
  void btnPrevClick(TObject* Sender);
  void btnExitClick(TObject* Sender);
  void btnHelpClick(TObject* Sender);
  void btnAboutClick(TObject* Sender);
  void PagesChanging(TObject* Sender, bool& AllowChange);
  void PagesChange(TObject* Sender);

  void cbViewSyncClick(TObject* Sender);
  void cbUnreadOnlyClick(TObject* Sender);
  void cbMarkAsReadClick(TObject* Sender);
  void btnLimiterClick(TObject* Sender);
  void dtFromDateClick(TObject* Sender);
  void dtToDateClick(TObject* Sender);
  void APIListClick(TObject* Sender);
  void APIListMouseDown(TObject* Sender, TMouseButton Button, int X, int Y);
  void mnuPropertiesClick(TObject* Sender);
  void Help1Click(TObject* Sender);

  void pmFromGWPopup(TObject* Sender);
  void pmFromOVPopup(TObject* Sender);
  void mnuModTfrClick(TObject* Sender);
  void mnuOVSendClick(TObject* Sender);
  void mnuEditClick(TObject* Sender);
  void mnuOVEditClick(TObject* Sender);
  void mnuTransAllClick(TObject* Sender);
  void mnuTransNoneClick(TObject* Sender);
  void mnuOVTransAllClick(TObject* Sender);
  void mnuOVTransNoneClick(TObject* Sender);
  void lToOrvikDblClick(TObject* Sender);
  void lFromOrvikDblClick(TObject* Sender);

  void OrvEngInit(TObject* Sender, int Error);
  void OrvEngConnect(TObject* Sender, int Error);
  void OrvEngDisconnect(TObject* Sender, int Error);
  void OrvEngCopyFile(TObject* Sender, int Error);
  void OrvEngCopyProgress(TObject* Sender, short Percent, bool& Cancel);
  void OrvEngCreateDirectory(TObject* Sender, int Error);
  void OrvEngClosePrograms(TObject* Sender, int Error);
  void OrvEngStartProgram(TObject* Sender, int Error);
  void OrvEngStopProgram(TObject* Sender, int Error);

  TPageControl Pages{this, "Pages", {.Bounds = {0, 0, 520, 336}}};
  TTabSheet pgeIntro{&Pages, "pgeIntro", "Intro"};
  TTabSheet pgeCopyFiles{&Pages, "pgeCopyFiles", "CopyFiles"};
  TTabSheet pgeDone{&Pages, "pgeDone", "Done"};

  TLabel lWelcome{&pgeIntro, "lWelcome", {.Bounds = {8, 8, 496, 32}, .WordWrap = true}};
  TLabel lSelectConduit{&pgeIntro, "lSelectConduit", {.Bounds = {8, 48, 240, 16}}};
  TListBox APIList{&pgeIntro, "APIList", {.Bounds = {8, 66, 240, 118}}};
  TPanel pnlIntro{&pgeIntro, "pnlIntro", {.Bounds = {262, 48, 242, 136}, .Bevel = TPanelBevel::bvLowered}};
  TImage imgMainPanel{&pnlIntro, "imgMainPanel", {.Bounds = {1, 1, 240, 134}, .Stretch = true}};
  TCheckBox cbViewSync{&pgeIntro, "cbViewSync", {.Bounds = {8, 192, 496, 20}}};
  TGroupBox GroupBox1{&pgeIntro, "GroupBox1", {.Bounds = {8, 216, 496, 108}}};
  TCheckBox cbUnreadOnly{&GroupBox1, "cbUnreadOnly", {.Bounds = {12, 20, 226, 20}}};
  TCheckBox cbMarkAsRead{&GroupBox1, "cbMarkAsRead", {.Bounds = {12, 46, 226, 20}}};
  TButton btnLimiter{&GroupBox1, "btnLimiter", {.Bounds = {12, 74, 100, 25}}};
  TLabel lFromDate{&GroupBox1, "lFromDate", {.Bounds = {248, 23, 74, 16}}};
  TDateTimePicker dtFromDate{&GroupBox1, "dtFromDate", {.Bounds = {326, 19, 160, 22}, .ShowCheckbox = true}};
  TLabel lToDate{&GroupBox1, "lToDate", {.Bounds = {248, 51, 74, 16}}};
  TDateTimePicker dtToDate{&GroupBox1, "dtToDate", {.Bounds = {326, 47, 160, 22}, .ShowCheckbox = true}};

  TLabel lFromGW{&pgeCopyFiles, "lFromGW", {.Bounds = {8, 8, 496, 16}, .ShowAccelChar = false}};
  TListView lToOrvik{&pgeCopyFiles, "lToOrvik", {.Bounds = {8, 26, 496, 134}, .MultiSelect = true}};
  TLabel lFromOV{&pgeCopyFiles, "lFromOV", {.Bounds = {8, 168, 496, 16}, .ShowAccelChar = false}};
  TListView lFromOrvik{&pgeCopyFiles, "lFromOrvik", {.Bounds = {8, 186, 496, 134}, .MultiSelect = true}};

  TLabel lComplete{&pgeDone, "lComplete", {.Bounds = {8, 8, 496, 18}, .Bold = true}};
  TLabel lErrorDesc{&pgeDone, "lErrorDesc", {.Bounds = {8, 30, 496, 32}, .WordWrap = true}};
  TPanel pnlDone{&pgeDone, "pnlDone", {.Bounds = {8, 70, 122, 250}, .Bevel = TPanelBevel::bvLowered}};
  TImage Image2{&pnlDone, "Image2", {.Bounds = {1, 1, 120, 248}, .Stretch = true}};
  TMemo mErrors{&pgeDone, "mErrors", {.Bounds = {138, 70, 366, 250}, .ReadOnly = true}};

  TButton btnHelp{this, "btnHelp", {.Bounds = {8, 346, 75, 25}}};
  TButton btnAbout{this, "btnAbout", {.Bounds = {89, 346, 75, 25}, .Caption = "&About..."}};
  TButton btnPrev{this, "btnPrev", {.Bounds = {275, 346, 75, 25}}};
  TButton btnNext{this, "btnNext", {.Bounds = {356, 346, 75, 25}, .Default = true}};
  TButton btnExit{this, "btnExit", {.Bounds = {437, 346, 75, 25}}};

  TPopupMenu pmVAZ{"pmVAZ"};
  TMenuItem mnuProperties{pmVAZ, "mnuProperties", "&Properties..."};
  TMenuItem Help1{pmVAZ, "Help1", "&Help"};
  TPopupMenu pmFromGW{"pmFromGW"};
  TMenuItem mnuModTfr{pmFromGW, "mnuModTfr", "&Transfer"};
  TMenuItem mnuEdit{pmFromGW, "mnuEdit", "&Edit"};
  TMenuItem mnuTransAll{pmFromGW, "mnuTransAll", "Transfer &All"};
  TMenuItem mnuTransNone{pmFromGW, "mnuTransNone", "Transfer &None"};
  TPopupMenu pmFromOV{"pmFromOV"};
  TMenuItem mnuOVSend{pmFromOV, "mnuOVSend", "&Send"};
  TMenuItem mnuOVEdit{pmFromOV, "mnuOVEdit", "&Edit"};
  TMenuItem mnuOVTransAll{pmFromOV, "mnuOVTransAll", "Transfer &All"};
  TMenuItem mnuOVTransNone{pmFromOV, "mnuOVTransNone", "Transfer &None"};
  TImageList MailImages;

  std::unique_ptr<TTandelEng> OrvEng;
  std::unique_ptr<TSesObj> SesObj;
  std::unique_ptr<TResManager> ResMan;
  std::unique_ptr<TSync> Sync;
  std::unique_ptr<TProgress> ProgressForm;
  std::unique_ptr<TEvrin> EvrinObj;

  // True while a stage runs; Next does nothing meanwhile.
  bool Stepping = false;

 private:
  void Advance();
  void ReviewPopup(TListView& View, TMenuItem& Toggle, TMenuItem& Edit, TMenuItem& All, TMenuItem& None,
                   int MarkedText, int UnmarkedText);
  void Transfer(TListView& View, bool Mark);
  TConduit* SelectedConduit();
  void ReadColumnWidths();
  void WriteColumnWidths();
};
