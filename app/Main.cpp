#include "Main.h"

#include <utility>
#include <vector>

#include "Dialogs.h"
#include "FAbout.h"
#include "FCountdn.h"
#include "Faults.h"
#include "Global.h"
#include "Handles.h"
#include "HostVars.h"
#include "Registry.h"
#include "UserInterface.h"

UINT SingleInstanceMessage = 0;
WNDPROC PrevWndProc = nullptr;

namespace {

constexpr const char* SuiteKey = "SOFTWARE\\Orvik\\Tandel32";
constexpr const char* SuiteFolderValue = "Installation Directory";
constexpr const char* ConduitExtension = "vaz";
constexpr int DefaultColumnWidths[3] = {120, 270, 75};
constexpr COLORREF Olive = RGB(128, 128, 0);

// Unticked dates set no limit: a day before any mail (mail of a wrong clock
// is dated 1970 or 1980; an earlier day could fall, in a mail client's
// conversion to universal time, below the first a system time holds, or
// before 1900, where date-times count their hours backwards), and a day
// beyond any.
TDateTime EarliestDate() { return EncodeDate(1900, 1, 1); }
TDateTime LatestDate() { return EncodeDate(9999, 12, 31); }

void ErrorBox(const std::string& Text, const std::string& Caption) {
  ui::Message(nullptr, Text, Caption, MB_OK | MB_ICONERROR | MB_SETFOREGROUND);
}

// Each help file is the HTML page of its name beside it.
std::string HelpFailure(const std::string& HelpFile) {
  std::string page = ChangeFileExt(HelpFile, ".htm");
  if (FileExists(page)) return "The help page \"" + page + "\" could not be opened.";
  return "The help page \"" + page + "\" is missing.  You may have to re-install Vantle.";
}

std::string ProgramFolder() { return ExtractFilePath(ModuleFileName()); }

// Puts the suite's folder, in its short form, in front of the process PATH,
// so that its libraries are found by name.
void AddSuiteToPath() {
  std::string folder;
  try {
    TRegistry reg;
    reg.SetRootKey(HKEY_LOCAL_MACHINE);
    if (reg.OpenKeyReadOnly(SuiteKey)) folder = reg.ReadString(SuiteFolderValue);
  } catch (const Exception&) {
    folder.clear();
  }
  if (folder.empty()) throw Exception("Could not determine the location of Tandel.  Application cannot start.");
  char shortName[MAX_PATH] = {};
  DWORD n = GetShortPathNameA(folder.c_str(), shortName, MAX_PATH);
  if (n == 0 || n >= MAX_PATH)
    throw Exception("An error occured converting the location of Tandel to a short filename.");
  // The whole PATH is kept, however long it is.
  std::string path;
  DWORD size = GetEnvironmentVariableA("PATH", nullptr, 0);
  if (size > 0) {
    std::vector<char> buffer(size);
    DWORD got = GetEnvironmentVariableA("PATH", buffer.data(), size);
    if (got < size) path.assign(buffer.data(), got);
  }
  std::string updated = std::string(shortName, n) + ";" + path;
  if (!SetEnvironmentVariableA("PATH", updated.c_str()))
    throw Exception("Could not update the environment variable to include EVRIN CONNECT.");
}

}  // namespace

void TGlobalExHandler::AppException(TObject*, const std::string& Message) {
  ui::Beep(MB_ICONEXCLAMATION);
  MessageDlg("Unhandled exception has surfaced:" + Message, TMsgDlgType::mtInformation, TMsgDlgButtons::mbOK, 0);
}

LRESULT CALLBACK MainFormWndProc(HWND Window, UINT Msg, WPARAM wParam, LPARAM lParam) {
  if (Msg == SingleInstanceMessage && SingleInstanceMessage != 0) {
    SendMessageA(Application.Handle, WM_SYSCOMMAND, SC_RESTORE, 0);
    SetForegroundWindow(Application.Handle);
    // Our application window does not pass a restore on to the main form, so
    // the form itself is restored and brought to the front.
    if (IsIconic(Window)) ShowWindow(Window, SW_RESTORE);
    SetForegroundWindow(Window);
    return 0;
  }
  return CallWindowProcA(PrevWndProc, Window, Msg, wParam, lParam);
}

TMainForm::TMainForm()
    : TForm({.Name = "MainForm", .ClientWidth = 520, .ClientHeight = 380, .BorderIcons = 0, .ClassName = MainWindowClass}) {
  for (TTabSheet* page : {&pgeIntro, &pgeCopyFiles, &pgeDone}) page->SetTabVisible(false);
  Pages.SetActivePage(&pgeIntro);
  for (TListView* view : {&lFromOrvik, &lToOrvik}) {
    view->AddColumn("", DefaultColumnWidths[0]);
    view->AddColumn("", DefaultColumnWidths[1]);
    view->AddColumn("Size", DefaultColumnWidths[2]);
  }
  btnPrev.SetVisible(false);
  btnPrev.SetEnabled(false);

  OnCreate = Event(this, &TMainForm::FormCreate);
  OnDestroy = Event(this, &TMainForm::FormDestroy);
  OnClose = Event(this, &TMainForm::FormClose);
  OnShow = Event(this, &TMainForm::FormShow);
  Pages.OnChanging = [this](TObject* s, bool& allow) { PagesChanging(s, allow); };
  Pages.OnChange = Event(this, &TMainForm::PagesChange);
  btnNext.OnClick = Event(this, &TMainForm::btnNextClick);
  btnPrev.OnClick = Event(this, &TMainForm::btnPrevClick);
  btnExit.OnClick = Event(this, &TMainForm::btnExitClick);
  btnHelp.OnClick = Event(this, &TMainForm::btnHelpClick);
  btnAbout.OnClick = Event(this, &TMainForm::btnAboutClick);
  cbViewSync.OnClick = Event(this, &TMainForm::cbViewSyncClick);
  cbUnreadOnly.OnClick = Event(this, &TMainForm::cbUnreadOnlyClick);
  cbMarkAsRead.OnClick = Event(this, &TMainForm::cbMarkAsReadClick);
  btnLimiter.OnClick = Event(this, &TMainForm::btnLimiterClick);
  dtFromDate.OnChange = Event(this, &TMainForm::dtFromDateClick);
  dtToDate.OnChange = Event(this, &TMainForm::dtToDateClick);
  APIList.OnClick = Event(this, &TMainForm::APIListClick);
  APIList.OnMouseDown = [this](TObject* s, TMouseButton b, int x, int y) { APIListMouseDown(s, b, x, y); };
  APIList.PopupMenu = &pmVAZ;
  mnuProperties.OnClick = Event(this, &TMainForm::mnuPropertiesClick);
  Help1.OnClick = Event(this, &TMainForm::Help1Click);
  lToOrvik.PopupMenu = &pmFromGW;
  lFromOrvik.PopupMenu = &pmFromOV;
  pmFromGW.OnPopup = Event(this, &TMainForm::pmFromGWPopup);
  pmFromOV.OnPopup = Event(this, &TMainForm::pmFromOVPopup);
  mnuModTfr.OnClick = Event(this, &TMainForm::mnuModTfrClick);
  mnuOVSend.OnClick = Event(this, &TMainForm::mnuOVSendClick);
  mnuEdit.OnClick = Event(this, &TMainForm::mnuEditClick);
  mnuOVEdit.OnClick = Event(this, &TMainForm::mnuOVEditClick);
  mnuTransAll.OnClick = Event(this, &TMainForm::mnuTransAllClick);
  mnuTransNone.OnClick = Event(this, &TMainForm::mnuTransNoneClick);
  mnuOVTransAll.OnClick = Event(this, &TMainForm::mnuOVTransAllClick);
  mnuOVTransNone.OnClick = Event(this, &TMainForm::mnuOVTransNoneClick);
  lToOrvik.OnDblClick = Event(this, &TMainForm::lToOrvikDblClick);
  lFromOrvik.OnDblClick = Event(this, &TMainForm::lFromOrvikDblClick);
  DoCreate();
}

TMainForm::~TMainForm() { DoDestroy(); }

void TMainForm::FormCreate(TObject*) {
  try {
    SingleInstanceMessage = RegisterWindowMessageA(SingleInstanceName);
    PrevWndProc = reinterpret_cast<WNDPROC>(
        SetWindowLongPtrA(Handle(), GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&MainFormWndProc)));

    AddSuiteToPath();

    SesObj = std::make_unique<TSesObj>();
    SesObj->ErrorMemo = &mErrors.Lines;
    Memo = &mErrors;

    ResMan = std::make_unique<TResManager>("Vantleres.dll");
    if (!ResMan->Loaded)
      throw Exception(
          "The Vantle resource library \"Vantleres.dll\" could not be found.  You may have to re-install Vantle.");

    Sync = std::make_unique<TSync>(SesObj.get(), ResMan.get());
    ProgressForm = std::make_unique<TProgress>();
    Progress = ProgressForm.get();
    Sync->PCView = &lToOrvik;
    Sync->HandheldView = &lFromOrvik;
    Sync->PCSummary = &lFromGW;
    Sync->HandheldSummary = &lFromOV;
    Sync->MaxTransferBytes = 0;

    EvrinObj = std::make_unique<TEvrin>();
    Evrin = EvrinObj.get();
    OrvEng = std::make_unique<TTandelEng>();
    OrvEng->OnInit = [this](TObject* s, int e) { OrvEngInit(s, e); };
    OrvEng->OnConnect = [this](TObject* s, int e) { OrvEngConnect(s, e); };
    OrvEng->OnDisconnect = [this](TObject* s, int e) { OrvEngDisconnect(s, e); };
    OrvEng->OnCopyFile = [this](TObject* s, int e) { OrvEngCopyFile(s, e); };
    OrvEng->OnCopyProgress = [this](TObject* s, short p, bool& c) { OrvEngCopyProgress(s, p, c); };
    OrvEng->OnCreateDirectory = [this](TObject* s, int e) { OrvEngCreateDirectory(s, e); };
    OrvEng->OnClosePrograms = [this](TObject* s, int e) { OrvEngClosePrograms(s, e); };
    OrvEng->OnStartProgram = [this](TObject* s, int e) { OrvEngStartProgram(s, e); };
    OrvEng->OnStopProgram = [this](TObject* s, int e) { OrvEngStopProgram(s, e); };
    EvrinObj->Eng = OrvEng.get();

    imgMainPanel.Picture.LoadFromResourceID(ResMan->Handle, 2);
    Image2.Picture.Assign(imgMainPanel.Picture);
    imgMainPanel.PictureChanged();
    Application.ProcessMessages();

    cbViewSync.SetChecked(SesObj->ViewSync);
    cbUnreadOnly.SetChecked(SesObj->UnreadOnly);
    cbMarkAsRead.SetChecked(SesObj->MarkRead);

    dtFromDate.SetDate(Date());
    dtToDate.SetDate(Date());
    SesObj->FromDate = dtFromDate.Date();
    SesObj->ToDate = dtToDate.Date();
    dtFromDate.SetChecked(SesObj->ApplyStartDate);
    dtToDate.SetChecked(SesObj->ApplyEndDate);

    auto text = [this](int id) { return ResMan->GetString(id); };
    SetCaption(text(1));
    lWelcome.SetCaption(text(2));
    cbViewSync.SetCaption(text(3));
    GroupBox1.SetCaption(text(4));
    cbUnreadOnly.SetCaption(text(5));
    cbMarkAsRead.SetCaption(text(6));
    lFromDate.SetCaption(text(7));
    lToDate.SetCaption(text(8));
    btnLimiter.SetCaption(text(9));
    lSelectConduit.SetCaption(text(10));
    btnHelp.SetCaption(text(11));
    btnExit.SetCaption(text(12));
    btnPrev.SetCaption(text(13));
    btnNext.SetCaption(text(14));
    lFromOrvik.SetColumnCaption(0, text(15));
    lFromOrvik.SetColumnCaption(1, text(16));
    lToOrvik.SetColumnCaption(0, text(17));
    lToOrvik.SetColumnCaption(1, text(16));
    lComplete.SetCaption(text(169));
    lErrorDesc.SetCaption(text(170));

    MailImages.GetResource(FormsInstance(), "SmallImages", 16, Olive);
    lToOrvik.SetSmallImages(&MailImages);
    lToOrvik.SetStateImages(&MailImages);
    lFromOrvik.SetSmallImages(&MailImages);
    lFromOrvik.SetStateImages(&MailImages);

    LoadAPIs();
    Application.HelpFile = ProgramFolder() + "Vantle.hlp";
    SesObj->ResumeCopyBack = false;
    ReadColumnWidths();
  } catch (const std::exception& e) {
    ui::Beep(MB_ICONEXCLAMATION);
    ui::Message(nullptr, e.what(), "Vantle Initialization", MB_OK | MB_ICONERROR | MB_SETFOREGROUND);
    Application.Terminate();
  }
}

void TMainForm::FormDestroy(TObject*) {
  try {
    WriteColumnWidths();
  } catch (const std::exception&) {
    // The widths are a convenience; closing goes on.
  }
  APIList.Items.Clear();
  lToOrvik.Clear();
  lFromOrvik.Clear();
  // Closed on the review page: the handheld's mail is not held up any longer.
  if (Sync) Sync->RestartPrograms();
  if (Evrin == EvrinObj.get()) Evrin = nullptr;
  EvrinObj.reset();
  Sync.reset();
  if (Memo == &mErrors) Memo = nullptr;
  SesObj.reset();
  if (Progress == ProgressForm.get()) Progress = nullptr;
  ProgressForm.reset();
  ResMan.reset();
  OrvEng.reset();
  if (PrevWndProc != nullptr) {
    SetWindowLongPtrA(Handle(), GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(PrevWndProc));
    PrevWndProc = nullptr;
  }
}

// Closing ends a stage's wait as Stop does, so that the program ends at once
// rather than when the handheld answers, and tells a second start to wait.
void TMainForm::FormClose(TObject*) {
  if (ProgressForm) ProgressForm->Stopped = true;
  KernelHandle closing(OpenEventA(EVENT_MODIFY_STATE, FALSE, ClosingEventName));
  if (closing) SetEvent(closing.Get());
}

void TMainForm::ReadColumnWidths() {
  TRegistry reg;
  reg.SetRootKey(HKEY_LOCAL_MACHINE);
  reg.OpenKey(VantleSettingsKey, true);
  for (int c = 0; c < 3; ++c) {
    for (auto [view, prefix] : {std::pair{&lFromOrvik, "Fc"}, std::pair{&lToOrvik, "Tc"}}) {
      int width = 0;
      try {
        width = reg.ReadInteger(prefix + std::to_string(c));
      } catch (const Exception&) {
        width = DefaultColumnWidths[c];
      }
      view->SetColumnWidth(c, ScaleToDpi(width));
    }
  }
}

void TMainForm::WriteColumnWidths() {
  TRegistry reg;
  reg.SetRootKey(HKEY_LOCAL_MACHINE);
  if (!reg.OpenKey(VantleSettingsKey, true)) return;
  // Kept at 96 DPI, so that the columns keep their share of the list when the
  // display's DPI changes.
  for (int c = 0; c < 3; ++c) {
    reg.WriteInteger("Fc" + std::to_string(c), ScaleFromDpi(lFromOrvik.ColumnWidth(c)));
    reg.WriteInteger("Tc" + std::to_string(c), ScaleFromDpi(lToOrvik.ColumnWidth(c)));
  }
}

void TMainForm::LoadAPIs() {
  std::string folder = ProgramFolder();
  std::string pattern = folder + "*." + ConduitExtension;
  WIN32_FIND_DATAA found{};
  FindHandle search;
  try {
    search.Reset(FindFirstFileA(pattern.c_str(), &found));
    bool more = search.Valid();
    while (more) {
      if ((found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0) {
        std::string path = folder + found.cFileName;
        ModuleHandle library(LoadLibraryA(path.c_str()));  // freed as soon as the file is done
        auto describe = library ? ModuleExport<TvazDescription>(library.Get(), "vazDescription") : nullptr;
        if (describe != nullptr) {
          auto conduit = std::make_unique<TConduit>();
          std::string description;
          TMemo* memo = Memo;
          // A plug-in that faults here is a discovery failure, not the end of the wizard.
          CallGuarded([&] { describe(&description, &memo); });
          conduit->Description = description;
          conduit->FileName = path;
          TConduit* object = conduit.get();
          Sync->Conduits.push_back(std::move(conduit));
          int line = APIList.Items.Add(description);
          APIList.Items.PutObject(line, object);
          if (SameText(found.cFileName, SesObj->LastConduit)) APIList.SetItemIndex(line);
        }
      }
      more = FindNextFileA(search.Get(), &found) != FALSE;
    }
  } catch (const std::exception& e) {
    ErrorBox(e.what(), "Vantle Error in TMainForm.LoadAPIs");
  }
  if (APIList.ItemIndex() < 0 && APIList.Items.Count() > 0) APIList.SetItemIndex(0);
}

void TMainForm::FormShow(TObject*) { UpdateButtons(); }

void TMainForm::UpdateButtons() { btnNext.SetEnabled(Pages.ActivePage() != &pgeDone); }

void TMainForm::Advance() {
  int index = Pages.ActivePage()->PageIndex();
  if (index + 1 < Pages.PageCount()) Pages.SetActivePage(Pages.Page(index + 1));
  UpdateButtons();
}

void TMainForm::btnNextClick(TObject*) {
  // A stage pumps messages; a second press meanwhile must not start another.
  if (Stepping) return;
  Stepping = true;
  struct Clear {
    bool& flag;
    ~Clear() { flag = false; }
  } clear{Stepping};
  if (!DoStep(Pages.ActivePage(), true)) return;
  Advance();
  if (Pages.ActivePage() != &pgeCopyFiles || SesObj->ViewSync) return;
  bool interrupted = false;
  {
    TFCountDown countdown;
    countdown.Show();
    while (!countdown.Done && !Application.Terminated()) Application.HandleMessage();
    countdown.Hide();
    interrupted = countdown.Interrupted || !countdown.Done;
  }
  if (!interrupted && DoStep(&pgeCopyFiles, true)) Advance();
}

bool TMainForm::DoStep(TTabSheet* Page, bool Forward) {
  if (!Forward) return false;
  try {
    if (Page == &pgeIntro) {
      TConduit* conduit = SelectedConduit();
      if (APIList.ItemIndex() < 0) return false;
      std::string path = conduit ? conduit->FileName : std::string();
      SesObj->FromDate = dtFromDate.Checked() ? dtFromDate.Date() : EarliestDate();
      SesObj->ToDate = dtToDate.Checked() ? dtToDate.Date() : LatestDate();
      Sync->MaxTransferBytes = SesObj->MaxTransfer << 10;
      return Sync->IntroToViewSync(path);
    }
    if (Page == &pgeCopyFiles) return Sync->ViewSyncToEnd();
    return false;
  } catch (const std::exception&) {
    return false;
  }
}

void TMainForm::btnPrevClick(TObject*) {
  int index = Pages.ActivePage()->PageIndex();
  if (index > 0) Pages.SetActivePage(Pages.Page(index - 1));
  UpdateButtons();
}

void TMainForm::PagesChanging(TObject*, bool& AllowChange) {
  if (Pages.ActivePage() == &pgeIntro) AllowChange = false;
}

void TMainForm::PagesChange(TObject*) {}

void TMainForm::btnExitClick(TObject*) { Close(); }

void TMainForm::btnHelpClick(TObject*) {
  if (!Application.HelpCommand(HELP_CONTENTS, 0)) ErrorBox(HelpFailure(Application.HelpFile), "Vantle Help");
}

void TMainForm::btnAboutClick(TObject*) {
  TBitmap picture;
  picture.LoadFromResourceID(ResMan->Handle, 1);
  ShowAboutBox(ResMan->GetString(1), ResMan->GetString(181), &picture);
}

void TMainForm::cbViewSyncClick(TObject*) { SesObj->SetSyncMode(cbViewSync.Checked()); }
void TMainForm::cbUnreadOnlyClick(TObject*) { SesObj->SetUnreadOnly(cbUnreadOnly.Checked()); }
void TMainForm::cbMarkAsReadClick(TObject*) { SesObj->SetMarkRead(cbMarkAsRead.Checked()); }
void TMainForm::btnLimiterClick(TObject*) { SesObj->UpdateTransferLimit(); }

void TMainForm::dtFromDateClick(TObject*) {
  SesObj->FromDate = dtFromDate.Checked() ? dtFromDate.Date() : EarliestDate();
  SesObj->SetFromCheck(dtFromDate.Checked());
}

void TMainForm::dtToDateClick(TObject*) {
  SesObj->ToDate = dtToDate.Checked() ? dtToDate.Date() : LatestDate();
  SesObj->SetToCheck(dtToDate.Checked());
}

TConduit* TMainForm::SelectedConduit() {
  int line = APIList.ItemIndex();
  if (line < 0) return nullptr;
  return dynamic_cast<TConduit*>(APIList.Items.GetObject(line));
}

void TMainForm::APIListClick(TObject*) {
  try {
    if (TConduit* conduit = SelectedConduit()) SesObj->SetLastConduit(ExtractFileName(conduit->FileName));
  } catch (const std::exception&) {
    // A setting that cannot be stored keeps the selection usable.
  }
}

void TMainForm::APIListMouseDown(TObject*, TMouseButton Button, int X, int Y) {
  if (Button != TMouseButton::mbRight) return;
  int line = APIList.ItemAtPos(X, Y);
  if (line >= 0) APIList.SetItemIndex(line);
}

void TMainForm::mnuPropertiesClick(TObject*) {
  TConduit* conduit = SelectedConduit();
  if (conduit == nullptr) return;
  ModuleHandle library(LoadLibraryA(conduit->FileName.c_str()));  // freed exactly once, whatever happens
  if (!library) return;
  auto properties = ModuleExport<TvazProperties>(library.Get(), "vazProperties");
  if (properties == nullptr) {
    ui::Message(nullptr, "There is no property information available for this conduit.", "Vantle Conduit Properties",
                MB_OK | MB_SETFOREGROUND);
    return;
  }
  try {
    TMemo* memo = Memo;
    if (!properties(Application.Handle, &memo))
      throw EPropertiesError("An error occurred while displaying/saving the settings for this conduit!");
  } catch (const std::exception& e) {
    ErrorBox(e.what(), "Vantle Conduit Properties");
  }
}

void TMainForm::Help1Click(TObject*) {
  TConduit* conduit = SelectedConduit();
  if (conduit == nullptr) return;
  std::string saved = HelpFile;
  try {
    std::string name = ExtractFileName(conduit->FileName);
    std::string extension = std::string(".") + ConduitExtension;
    auto at = name.find(extension);
    if (at != std::string::npos) name.erase(at, extension.size());
    HelpFile = ExtractFilePath(conduit->FileName) + Trim(name) + ".hlp";
    bool opened = HelpContext(1);
    std::string file = std::exchange(HelpFile, saved);
    if (!opened) throw Exception(HelpFailure(file));
  } catch (const std::exception& e) {
    HelpFile = saved;
    ErrorBox(e.what(), "Vantle Conduit Help");
  }
}

void TMainForm::ReviewPopup(TListView& View, TMenuItem& Toggle, TMenuItem& Edit, TMenuItem& All, TMenuItem& None,
                            int MarkedText, int UnmarkedText) {
  if (View.Visible()) {
    TListItem item = View.Selected();
    if (item) {
      if (auto* mail = static_cast<TMail*>(item.Data())) {
        int text = (mail->Flags & mfTransfer) ? MarkedText : UnmarkedText;
        Toggle.Caption = Format(ResMan->GetString(text), {mail->Size()});
      }
    }
    bool single = View.SelCount() == 1;
    Toggle.Enabled = single;
    Edit.Enabled = single;
  }
  bool any = View.Count() > 0;
  All.Enabled = any;
  None.Enabled = any;
  if (!any) {
    Toggle.Enabled = false;
    Edit.Enabled = false;
  }
}

void TMainForm::pmFromGWPopup(TObject*) { ReviewPopup(lToOrvik, mnuModTfr, mnuEdit, mnuTransAll, mnuTransNone, 18, 19); }
void TMainForm::pmFromOVPopup(TObject*) {
  ReviewPopup(lFromOrvik, mnuOVSend, mnuOVEdit, mnuOVTransAll, mnuOVTransNone, 20, 21);
}
void TMainForm::mnuModTfrClick(TObject*) { Sync->ModSendFromGW(); }
void TMainForm::mnuOVSendClick(TObject*) { Sync->ModSendFromOV(); }
void TMainForm::mnuEditClick(TObject*) { Sync->EditFromGWItem(); }
void TMainForm::lToOrvikDblClick(TObject*) { Sync->EditFromGWItem(); }
void TMainForm::mnuOVEditClick(TObject*) { Sync->EditFromOVItem(); }
void TMainForm::lFromOrvikDblClick(TObject*) { Sync->EditFromOVItem(); }

void TMainForm::Transfer(TListView& View, bool Mark) {
  if (View.SelCount() < 2) Sync->TransferAll(&View, Mark);
  else Sync->TransferSelected(&View, Mark);
}
void TMainForm::mnuTransAllClick(TObject*) { Transfer(lToOrvik, true); }
void TMainForm::mnuTransNoneClick(TObject*) { Transfer(lToOrvik, false); }
void TMainForm::mnuOVTransAllClick(TObject*) { Transfer(lFromOrvik, true); }
void TMainForm::mnuOVTransNoneClick(TObject*) { Transfer(lFromOrvik, false); }

void TMainForm::OrvEngInit(TObject* Sender, int Error) {
  if (EvrinObj) EvrinObj->EngineInit(Sender, Error);
}
void TMainForm::OrvEngConnect(TObject* Sender, int Error) {
  if (EvrinObj) EvrinObj->EngineConnect(Sender, Error);
}
void TMainForm::OrvEngDisconnect(TObject* Sender, int Error) {
  if (EvrinObj) EvrinObj->EngineDisconnect(Sender, Error);
}
void TMainForm::OrvEngCopyFile(TObject* Sender, int Error) {
  if (EvrinObj) EvrinObj->EngineCopyFile(Sender, Error);
}
void TMainForm::OrvEngCopyProgress(TObject* Sender, short Percent, bool& Cancel) {
  if (EvrinObj) EvrinObj->EngineCopyProgress(Sender, Percent, Cancel);
}
void TMainForm::OrvEngCreateDirectory(TObject* Sender, int Error) {
  if (EvrinObj) EvrinObj->EngineCreateDirectory(Sender, Error);
}
void TMainForm::OrvEngClosePrograms(TObject* Sender, int Error) {
  if (EvrinObj) EvrinObj->EngineClosePrograms(Sender, Error);
}
void TMainForm::OrvEngStartProgram(TObject* Sender, int Error) {
  if (EvrinObj) EvrinObj->EngineStartProgram(Sender, Error);
}
void TMainForm::OrvEngStopProgram(TObject* Sender, int Error) {
  if (EvrinObj) EvrinObj->EngineStopProgram(Sender, Error);
}
