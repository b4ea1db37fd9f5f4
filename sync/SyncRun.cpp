// The sync run: binding the conduit, the two stages with their waits on the
// handheld, their failure handling and the resumable upload.
#include <unordered_set>

#include "C_Email.h"
#include "C_Evrin.h"
#include "C_Prog.h"
#include "C_ResMan.h"
#include "C_sesobj.h"
#include "Forms.h"
#include "Global.h"
#include "TandelEng.h"

namespace {

constexpr int ConnectTimeOut = 15000;
constexpr int CopyReplace = 1;
using tandeleng::sideHandheld;
using tandeleng::sidePC;

void ClearEntries() {
  ConduitEntries = TConduitEntries();
  vazAddressBook = nullptr;
}

}  // namespace

// One stage of a run: its progress lines, its waits on the handheld and the
// steps the two stages share.
class SyncStage {
 public:
  explicit SyncStage(TSync& sync) : s(sync), ses(*sync.Session), res(*sync.Resources) {
    if (!Progress) throw Exception("The progress window is missing");
    if (!Evrin) throw Exception("The handheld wrapper is missing");
  }

  bool Intro(const std::string& File);
  bool ToEnd();
  bool IntroFailed(const std::exception& e);
  bool ToEndFailed(const std::exception& e);
  void RestartPrograms();

 private:
  std::string Str(int id) const { return res.GetString(id); }
  void Lines(int first, int second) {
    Progress->SetLine1(Str(first));
    Progress->SetLine2(Str(second));
  }
  void ClearLines() {
    Progress->SetLine1("");
    Progress->SetLine2("");
  }
  void StopCheck() {
    if (Progress->Stopped) throw EAborted(Str(27));
  }
  void Trace(const std::string& text) { ses.Trace(text); }
  // Loops on the wrapper, pumping; Init and Connect also end at Stop, a copy
  // moves the bar.
  void Wait(bool stoppable, bool copy = false) {
    while (Evrin->IsBusy()) {
      if (copy) Progress->SetPosition(Evrin->Percent);
      Application.ProcessMessages();
      if (stoppable && Progress->Stopped) break;
    }
  }
  void OpenProgress(int line1) {
    Progress->Stopped = false;
    Progress->SetMax(0);
    Progress->SetPosition(0);
    if (line1) Progress->SetLine1(Str(line1));
    else Progress->SetLine1("");
    Progress->SetLine2(Str(165));
    Progress->Show();
    Application.ProcessMessages();
  }
  void CloseProgress() {
    ClearLines();
    Progress->SetPosition(0);
    Progress->Hide();
  }

  void InitAndConnect();
  void StopPrograms();
  RunJournal& Journal();
  void TakePCMail();
  void Remember(const SentMail& mail);
  void Settle();
  void Download(int line, const std::string& handheld, const std::string& local, bool (TSync::*fallback)(const std::string&));
  void Upload();
  void UploadOne(int line, const std::string& local, const std::string& handheld);
  void FillView(TListView* view, TMailList& list, bool pcList);
  bool SettleFailure(const std::exception& e);
  void Report(const std::exception& e, int caption, UINT icon);
  void Box(const std::exception& e, int caption, UINT icon, bool beep);
  void TraceFailure(const std::exception& e);
  void SaveLog();
  void ClearAll();

  TSync& s;
  TSesObj& ses;
  TResManager& res;
};

bool TSync::LoadConduit() {
  Session->Trace("TSync.LoadConduit: " + ConduitFile);
  try {
    UnloadConduit();
    ClearEntries();
    if (!FileExists(ConduitFile)) throw ENoConduit("Conduit not found");
    ConduitHandle = LoadLibraryA(ConduitFile.c_str());
    if (!ConduitHandle) throw EConduitFailedLoad("Conduit Load Failed");
    BindConduitEntries(ConduitHandle, ConduitEntries, &vazAddressBook, true);
    Session->Trace("TSync.LoadConduit: Handle = " + IntToStr(reinterpret_cast<std::intptr_t>(ConduitHandle)));
    return true;
  } catch (const ENoConduit&) {
    return false;
  } catch (const EConduitFailedLoad&) {
    return false;
  } catch (const EConduitFailedEntryPoint&) {
    return false;
  } catch (const std::exception& e) {
    Session->ShowError(e.what(), "TSync.LoadConduit: " + ConduitFile);
    return false;
  }
}

bool TSync::UnloadConduit() {
  try {
    Session->Trace("TSync.UnloadConduit: Handle = " + IntToStr(reinterpret_cast<std::intptr_t>(ConduitHandle)));
    if (ConduitHandle) {
      if (ConduitEntries.vazShutDown) {
        // What the conduit answers, or raises, on its way out changes nothing.
        try {
          ConduitEntries.vazShutDown(&Memo, &Progress);
        } catch (...) {
        }
      }
      FreeLibrary(ConduitHandle);
      ConduitHandle = nullptr;
      ClearEntries();
    }
    Session->Trace("TSync.UnloadConduit...OK");
    return true;
  } catch (const std::exception& e) {
    Session->ShowError(e.what(), "TSync.UnloadConduit");
    return false;
  }
}

void TSync::RestartPrograms() {
  if (!ProgramsStopped || !Progress || !Evrin) return;
  try {
    SyncStage(*this).RestartPrograms();
  } catch (const std::exception& e) {
    Session->ShowError(e.what(), "TSync.RestartPrograms");
  }
}

void TSync::FreeConduits() {
  std::erase(Conduits, nullptr);
  Conduits.shrink_to_fit();
  for (auto& conduit : Conduits) conduit.reset();
  Conduits.clear();
}

bool TSync::IntroToViewSync(const std::string& File) {
  try {
    SyncStage stage(*this);
    try {
      return stage.Intro(File);
    } catch (const std::exception& e) {
      return stage.IntroFailed(e);
    }
  } catch (const std::exception& e) {
    Session->ShowError(e.what(), "TSync.IntroToViewSync");
    return false;
  }
}

bool TSync::ViewSyncToEnd() {
  try {
    SyncStage stage(*this);
    try {
      return stage.ToEnd();
    } catch (const std::exception& e) {
      return stage.ToEndFailed(e);
    }
  } catch (const std::exception& e) {
    Session->ShowError(e.what(), "TSync.ViewSyncToEnd");
    return false;
  }
}

void SyncStage::InitAndConnect() {
  Evrin->Init();
  Wait(true);
  StopCheck();
  if (!Evrin->Initialized) throw EEVRINEngine(Str(28));
  Trace("EVRIN Connect: Initialized OK...");
  Lines(29, 166);
  Evrin->Connect(ConnectTimeOut);
  Wait(true);
  StopCheck();
  if (!Evrin->Connected) throw EEVRINEngine(Str(30));
  Trace("EVRIN Connect: Connected OK...");
}

void SyncStage::StopPrograms() {
  s.ProgramsStopped = true;
  Lines(31, 165);
  for (const std::string* path : {&ses.InData, &ses.OutData}) {
    Evrin->StopProgram(*path);
    Wait(false);
    if (!Evrin->Stopped) throw EEVRINEngine(Format(Str(32), {*path}));
  }
}

// Only a store that the handheld does not have is replaced by the empty one:
// any other failed download would later upload that empty store over the
// handheld's mail.
void SyncStage::Download(int line, const std::string& handheld, const std::string& local,
                         bool (TSync::*fallback)(const std::string&)) {
  Lines(line, 165);
  Progress->SetMax(100);
  Progress->SetPosition(0);
  Evrin->CopyFile(sideHandheld, handheld, sidePC, local, CopyReplace);
  Wait(false, true);
  Progress->SetPosition(0);
  if (Evrin->Copied) return;
  const bool missing = Evrin->CopyError == ERROR_FILE_NOT_FOUND || Evrin->CopyError == ERROR_PATH_NOT_FOUND;
  if (!missing || !(s.*fallback)(local)) throw EEVRINEngine(Format(Str(34), {local}));
}

void SyncStage::UploadOne(int line, const std::string& local, const std::string& handheld) {
  Lines(line, 165);
  Progress->SetMax(100);
  Progress->SetPosition(0);
  Evrin->CopyFile(sidePC, local, sideHandheld, handheld, CopyReplace);
  Wait(false, true);
  Progress->SetPosition(0);
  if (!Evrin->Copied) throw EEVRINEngine(Format(Str(34), {local}));
}

void SyncStage::Upload() {
  UploadOne(33, s.LocalIn(), ses.InData);
  Progress->SetPosition(5);
  Checkpoint("uploaded");
  StopCheck();
  UploadOne(35, s.LocalOut(), ses.OutData);
  Settle();
  Checkpoint("settled");
  Progress->SetPosition(0);
  Progress->SetMax(3);
  Lines(168, 165);
  Progress->SetPosition(1);
  s.ProgramsStopped = false;
  Evrin->StartProgram(ses.OutData);
  Wait(false);
  Progress->SetPosition(2);
  Evrin->StartProgram(ses.InData);
  Wait(false);
  Progress->SetPosition(3);
}

// Wine's list view redraws its whole report at every insert while redrawing
// is on, so the list is filled with it off.
void SyncStage::FillView(TListView* view, TMailList& list, bool pcList) {
  TListViewUpdate update(view);
  Progress->SetMax(list.Count());
  for (int i = 0; i < list.Count(); ++i) {
    s.AddReviewItem(view, list[i], pcList);
    Progress->SetPosition(i + 1);
  }
  list.CalcTransferBytes();
  Progress->SetPosition(0);
}

bool SyncStage::Intro(const std::string& File) {
  if (ses.ResumeCopyBack && !ses.MaintenanceOnly) {
    ses.ResumeCopyBack = false;
    return true;
  }
  if (!ses.ResumeCopyBack) {
    Trace("TSync.IntroToViewSync: " + File);
    ses.ClientName.assign(1, '?');  // GCC 12 warns falsely (-Wrestrict) on assigning a one-character literal
    if (ses.ErrorMemo) ses.ErrorMemo->Clear();
    OpenProgress(22);
    StopCheck();

    s.ConduitFile = File;
    if (File.empty()) throw EConduit(Str(23));
    if (!FileExists(File)) throw EConduit(Str(24));
    if (!s.LoadConduit()) throw EConduit(Str(25));
    std::string name;
    ConduitEntries.vazEmailName(&name, Application.Handle, &Memo);
    ses.ClientName = name;
    ses.SetLastConduit(ExtractFileName(s.ConduitFile));
    StopCheck();

    Lines(26, 165);
    Trace("TSync.IntroToViewSync - Start Step 3");
    InitAndConnect();
    StopPrograms();
    Checkpoint("connected");
    Lines(131, 165);
    // The Out box's folder too when it is another one: an Out box whose
    // folder the handheld lacks could never be uploaded, and every Next
    // would fail again.
    const std::string inFolder = ExtractFilePath(ses.InData), outFolder = ExtractFilePath(ses.OutData);
    for (const std::string* folder : {&inFolder, &outFolder}) {
      if (folder == &outFolder && SameText(outFolder, inFolder)) break;
      Evrin->CreateDirectory(*folder);
      Wait(false);
      if (!Evrin->DirCreated) throw EEVRINEngine(Str(132));
    }
    Trace("TSync.IntroToViewSync - Start Step 4");
    StopCheck();
    Download(33, ses.InData, s.LocalIn(), &TSync::SaveInTemplate);
    StopCheck();
    Download(35, ses.OutData, s.LocalOut(), &TSync::SaveOutTemplate);

    Lines(167, 165);
    s.CreateBackupFiles();
    Checkpoint("downloaded");
    // What an earlier run sent is marked before anything is read to send.
    s.Journal.Load(ses.TempDir + "Journal");
    const int restored = s.MarkJournalled(s.Journal);
    StopCheck();

    Progress->SetLine1(Format(Str(36), {ses.ClientName}));
    Progress->SetLine2(Str(165));
    if (ConduitEntries.vazInitialize(Application.Handle, &Memo, &Progress) != vazDone) throw EConduit(Str(37));
    Trace("TSync.IntroToViewSync - Start Step 5");
    StopCheck();

    s.ClearPCView();
    s.PCMails->ClearList();
    Progress->SetLine1(Format(Str(38), {ses.ClientName}));
    Progress->SetLine2(Str(165));
    TakePCMail();
    FillView(s.PCView, *s.PCMails, true);
    s.ApplyMaxEmailLimit();
    if (s.MaxTransferBytes > 0) s.ApplyLimit(s.MaxTransferBytes);
    s.WriteSummary(true);
    Trace("TSync.IntroToViewSync - Start Step 6");
    StopCheck();

    s.ClearHandheldView();
    s.HandheldMails->ClearList();
    Lines(41, 165);
    if (!s.ReadOutDat() || !s.ReadReplyDat()) throw EReadDataFail(Str(42));
    FillView(s.HandheldView, *s.HandheldMails, false);
    if (s.MaxTransferBytes > 0) s.ApplyLimit(s.MaxTransferBytes);
    s.WriteSummary(false);
    StopCheck();

    Lines(178, 165);
    Application.ProcessMessages();
    const int deleted = s.DeletePIMMail();
    StopCheck();
    int cleanedIn = 0, cleanedOut = 0, mastered = 0;
    if (ses.InAutoClean) {
      Lines(134, 165);
      Application.ProcessMessages();
      cleanedIn = s.CleanInFile();
    }
    if (ses.OutAutoClean) {
      Lines(135, 165);
      Application.ProcessMessages();
      cleanedOut = s.CleanOutFile();
    }
    if (ses.MasterDeletion) {
      Lines(184, 165);
      Application.ProcessMessages();
      mastered = s.MasterDeletion();
    }
    ses.MaintenanceOnly = false;
    if (s.HandheldMails->Count() == 0 && s.PCMails->Count() == 0) {
      if (deleted || cleanedIn || cleanedOut || mastered || restored) {
        ses.MaintenanceOnly = true;
      } else {
        Journal().Rewrite({}, false);
        Trace("TSync.IntroToViewSync...OK");
        CloseProgress();
        ses.ResumeCopyBack = false;
        ses.AddError(Str(68));
        throw ENothingToXfer(Str(68));
      }
    }
    ses.ResumeCopyBack = true;
    Checkpoint("reviewed");
  } else {
    // Next again after a failed upload is a new attempt: a Stop pressed in the
    // last one must not end this one at once, or the stopped handheld
    // programs would never be restarted.
    Progress->Stopped = false;
  }

  if (ses.MaintenanceOnly && ses.ResumeCopyBack) {
    Trace("TSync.IntroToViewSync - Copy Files to Orvik");
    StopCheck();
    Lines(26, 165);
    Progress->SetPosition(0);
    if (!Progress->Visible()) Progress->Show();
    InitAndConnect();
    StopPrograms();
    StopCheck();
    Upload();
    Trace("TSync.IntroToViewSync...OK");
    CloseProgress();
    ses.ResumeCopyBack = false;
    ses.AddError(Str(179));
    throw EMaintenanceOnly(Str(179));
  }

  Trace("TSync.IntroToViewSync...OK");
  CloseProgress();
  ses.ResumeCopyBack = false;
  return true;
}

bool SyncStage::ToEnd() {
  Trace("TSync.ViewSyncToEnd");
  if (!ses.ResumeCopyBack) {
    OpenProgress(66);
    Trace("TSync.ViewSyncToEnd - Start Step 1");
    StopCheck();

    TMailList& handheld = *s.HandheldMails;
    if (handheld.TotalBytes > 0) {
      TSync::HeldStores held(s);
      for (int i = 0; i < handheld.Count(); ++i) {
        TMail* mail = handheld[i];
        const std::string oldID = mail->ID;
        if (!(mail->Flags & mfTransfer)) continue;
        const int sent = ConduitEntries.vazSendPCMail(Application.Handle, &mail, &Memo, &Progress);
        if (sent == vazDone) {
          Remember({(mail->Flags & mfReply) != 0, oldID, mail->ID});
          Checkpoint("sent");
          // The Out box knows a new mail by the handheld's own ID, which the
          // conduit may have replaced with its client's.
          if (mail->Flags & mfReply) s.MarkReplyAsSent(oldID, mail->ID);
          else s.MarkNewAsSent(oldID);
        } else {
          ses.AddError(Format(Str(133), {mail->Subject}));
        }
      }
    }

    Journal().Flush();

    Trace("TSync.ViewSyncToEnd - Start Step 3");
    StopCheck();
    Progress->SetPosition(0);
    Lines(69, 165);
    if (s.PCMails->TotalBytes > 0 && !s.AddMailToDatFile()) throw Exception(Str(70));
    // Written, or left unmarked by the user: the upload settles them.
    for (int i = 0; i < s.PCMails->Count(); ++i) s.Settled.insert((*s.PCMails)[i]->ID);
    Checkpoint("written");

    StopCheck();
    Lines(178, 165);
    Application.ProcessMessages();
    s.DeletePIMMail();
    StopCheck();
    if (ses.InAutoClean) {
      Lines(134, 165);
      Application.ProcessMessages();
      s.CleanInFile();
    }
    if (ses.OutAutoClean) {
      Lines(135, 165);
      Application.ProcessMessages();
      s.CleanOutFile();
    }
    ses.ResumeCopyBack = true;
  }

  OpenProgress(0);
  Trace("TSync.ViewSyncToEnd - Start Step 4");
  StopCheck();
  Lines(26, 165);
  InitAndConnect();
  StopCheck();
  // Programs started again by an earlier attempt hold the stores.
  if (!s.ProgramsStopped) StopPrograms();
  StopCheck();
  Upload();
  Trace("TSync.ViewSyncToEnd - Start Step 5");
  StopCheck();
  Progress->Hide();
  ClearAll();
  ses.ResumeCopyBack = false;
  s.UnloadConduit();
  if (ses.ErrorMemo && ses.ErrorMemo->Count() == 0) ses.AddError(Str(136));
  SaveLog();
  return true;
}

// The handheld's programs are left as the run found them on every way out
// that ends the run; a failed handheld operation keeps them stopped for the
// retry. What the starts answer changes nothing.
void SyncStage::RestartPrograms() {
  if (!s.ProgramsStopped) return;
  s.ProgramsStopped = false;
  try {
    for (const std::string* path : {&ses.OutData, &ses.InData}) {
      Evrin->StartProgram(*path);
      Wait(false);
    }
  } catch (...) {
  }
}

RunJournal& SyncStage::Journal() {
  if (!s.Journal.Loaded()) s.Journal.Load(ses.TempDir + "Journal");
  return s.Journal;
}

// The conduit's mail is journalled as the conduit hands it over; the mail an
// earlier run took and did not deliver is offered again, unless the handheld
// holds it by now.
void SyncStage::TakePCMail() {
  RunJournal& journal = Journal();
  TMailList& list = *s.PCMails;
  TMailList* pcMails = &list;
  struct Listen {
    TMailList& list;
    ~Listen() { list.Taken = nullptr; }
  } listen{list};
  list.Taken = &RunJournal::MailTaken;
  list.TakenContext = &journal;
  const TGetMailOptions options{ses.UnreadOnly, ses.MarkRead};
  const int got = ConduitEntries.vazGetPCMail(Application.Handle, &pcMails, ses.FromDate, ses.ToDate, options,
                                              &Memo, &Progress);
  list.Taken = nullptr;
  if (journal.TakeFailed()) ses.AddError("The PC mail taken could not all be recorded in the run journal.");
  Checkpoint("got");
  if (got == vazFailed) throw EGetPCMailFailed(Str(39));
  if (got == vazCancelled) throw EGetPCEmailCancelled(Str(164));

  std::unordered_set<std::string> listed;
  for (int i = 0; i < list.Count(); ++i) listed.insert(list[i]->ID);
  for (const TMail& m : journal.Taken()) {
    if (!listed.insert(m.ID).second) continue;
    list.ID = m.ID;
    list.Flags = m.Flags;
    list.From = m.From;
    list.To = m.To;
    list.CC = m.CC;
    list.BC = m.BC;
    list.Subject = m.Subject;
    list.Message = m.Message;
    list.Attachments = m.Attachments;
    list.Date = m.Date;
    list.IncludeMessage = m.IncludeMessage;
    list.ReplyAll = m.ReplyAll;
    list.Add(false);
  }
  s.LoadUIDs();
  list.RemoveListed(s.KnownIDs.get());
  if (static_cast<size_t>(list.Count()) == journal.Taken().size()) {
    journal.Flush();
  } else {
    std::vector<TMail> pending;
    pending.reserve(static_cast<size_t>(list.Count()));
    for (int i = 0; i < list.Count(); ++i) pending.push_back(*list[i]);
    journal.Rewrite(std::move(pending), true);
  }
  s.Settled.clear();
  Checkpoint("listed");
}

// A mail the conduit sent is journalled before it is marked: should the run
// end before the marks reach the handheld, the next run marks it instead of
// sending it again. A journal that cannot be written does not stop the run,
// whose own upload carries the marks.
void SyncStage::Remember(const SentMail& mail) {
  try {
    Journal().AddSent(mail);
  } catch (const std::exception& e) {
    ses.AddError(e.what());
  }
}

// Both stores reached the handheld: the marks with them, and the PC mail
// written into the In box or declined by the user.
void SyncStage::Settle() {
  std::vector<TMail> left;
  for (const TMail& m : Journal().Taken())
    if (!s.Settled.count(m.ID)) left.push_back(m);
  s.Journal.Rewrite(std::move(left), false);
  s.Settled.clear();
}

void SyncStage::ClearAll() {
  s.ClearPCView();
  s.ClearHandheldView();
  s.PCMails->ClearList();
  s.HandheldMails->ClearList();
}

void SyncStage::TraceFailure(const std::exception& e) {
  const auto* ex = dynamic_cast<const Exception*>(&e);
  Trace(std::string(ex ? ex->ClassName() : "Exception") + " : " + e.what());
}

void SyncStage::Box(const std::exception& e, int caption, UINT icon, bool beep) {
  if (beep) ui::Beep(MB_OK);
  ui::Message(nullptr, e.what(), Str(caption), MB_OK | icon | MB_SETFOREGROUND);
}

void SyncStage::SaveLog() {
  if (ses.ErrorMemo) ses.ErrorMemo->SaveToFile(res.GetAppPath() + "Vantlelog.txt");
}

// Every failure hides the progress window. A failed handheld operation keeps
// the lists and the conduit for the retry and is reported at once (true);
// every other failure empties the lists and unloads the conduit first.
bool SyncStage::SettleFailure(const std::exception& e) {
  Progress->Hide();
  if (dynamic_cast<const EEVRINEngine*>(&e)) {
    Report(e, 46, MB_ICONERROR);
    return true;
  }
  RestartPrograms();
  ClearAll();
  s.UnloadConduit();
  return false;
}

void SyncStage::Report(const std::exception& e, int caption, UINT icon) {
  TraceFailure(e);
  SaveLog();
  Box(e, caption, icon, false);
}

bool SyncStage::IntroFailed(const std::exception& e) {
  if (SettleFailure(e)) return false;
  if (dynamic_cast<const EAborted*>(&e)) {
    TraceFailure(e);
  } else if (dynamic_cast<const ENothingToXfer*>(&e)) {
    Box(e, 68, MB_ICONINFORMATION, true);
    TraceFailure(e);
    SaveLog();
  } else if (dynamic_cast<const EMaintenanceOnly*>(&e)) {
    Box(e, 180, MB_ICONINFORMATION, true);
    SaveLog();
    TraceFailure(e);
  } else if (dynamic_cast<const EConduit*>(&e)) {
    Report(e, 45, MB_ICONERROR);
  } else if (dynamic_cast<const EGetPCMailFailed*>(&e)) {
    Report(e, 47, MB_ICONERROR);
  } else if (dynamic_cast<const EGetPCEmailCancelled*>(&e)) {
    Report(e, 27, MB_ICONINFORMATION);
  } else {
    ses.ShowError(e.what(), "TSync.IntroToViewSync");
  }
  return false;
}

bool SyncStage::ToEndFailed(const std::exception& e) {
  if (SettleFailure(e)) return false;
  if (dynamic_cast<const EAborted*>(&e)) {
    TraceFailure(e);
    SaveLog();
  } else if (dynamic_cast<const EConduit*>(&e)) {
    Report(e, 45, MB_ICONERROR);
  } else {
    ses.ShowError(e.what(), "TSync.ViewSyncToEnd");
    SaveLog();
  }
  return false;
}
