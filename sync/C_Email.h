#pragma once
// The sync engine: the two-stage run between the handheld and the PC mail
// client, the binding of a conduit, and the work on the handheld's two mail
// stores (their local copies, through the data-file server).
#include <windows.h>

#include <memory>
#include <string>
#include <unordered_set>
#include <vector>

#include "C_Types.h"
#include "Classes.h"
#include "ConduitEntries.h"
#include "RunJournal.h"
#include "VazInterface.h"
#include "c_qrv.h"

class TSesObj;
class IDIndex;
class StoreSession;
class TResManager;
class TListView;
class TLabel;
class Variant;

extern TConduitEntries ConduitEntries;

#include "HostVars.h"

class TSync : public TQRV {
 public:
  TSync(TSesObj* Session, TResManager* Resources);
  ~TSync() override;
  TSync(const TSync&) = delete;
  TSync& operator=(const TSync&) = delete;

  // The run: binding the conduit and the two stages.
  bool LoadConduit();
  bool UnloadConduit();
  bool IntroToViewSync(const std::string& File);
  bool ViewSyncToEnd();
  // The wizard closes between the stages of a run: the handheld's programs,
  // stopped for the run, are started again.
  void RestartPrograms();
  void FreeConduits();

  // The review lists.
  void ClearPCView();
  void ClearHandheldView();
  void ApplyMaxEmailLimit();
  void ApplyLimit(int Limit);
  void ModSendFromGW();
  void ModSendFromOV();
  void EditFromGWItem();
  void EditFromOVItem();
  void TransferAll(TListView* View, bool Mark);
  void TransferSelected(TListView* View, bool Mark);
  // One review item showing the mail (From in the PC list, To in the other).
  void AddReviewItem(TListView* View, TMail* Mail, bool PCList);

  // Reading the stores.
  bool SaveInTemplate(const std::string& Path);
  bool SaveOutTemplate(const std::string& Path);
  bool ReadOutDat();
  bool ReadReplyDat();
  std::string NewMailID();
  void LoadUIDs();
  std::string EncodeMessage(const std::string& Text);

  // Writing and maintenance.
  bool AddMailToDatFile();
  void MarkNewAsSent(const std::string& ID);
  void MarkReplyAsSent(const std::string& OldID, const std::string& NewID);
  // Marks the mails a run sent before it was cut short; answers how many
  // records it marked.
  int MarkJournalled(const RunJournal& Journal);
  int CleanInFile();
  int CleanOutFile();
  int DeletePIMMail();
  int MasterDeletion();
  void CreateBackupFiles();

  std::unique_ptr<TMailList> PCMails;
  std::unique_ptr<TMailList> HandheldMails;
  std::vector<std::unique_ptr<TConduit>> Conduits;
  std::string ConduitFile;
  HMODULE ConduitHandle = nullptr;
  TListView* PCView = nullptr;
  TListView* HandheldView = nullptr;
  int MaxTransferBytes = 0;
  TLabel* PCSummary = nullptr;
  TLabel* HandheldSummary = nullptr;
  std::unique_ptr<TStringList> KnownIDs;

  // While one is in scope, the markings share one session of each local
  // store, opened at the first marking, instead of opening and closing the
  // store for every mail: a close writes the store through to the disk, and
  // once for all the mail a loop sends is enough, as the run journal holds
  // what was sent.
  class HeldStores {
   public:
    explicit HeldStores(TSync& Sync);
    ~HeldStores();
    HeldStores(const HeldStores&) = delete;
    HeldStores& operator=(const HeldStores&) = delete;

   private:
    TSync& sync_;
  };

 private:
  friend class SyncStage;
  std::string LocalIn() const;
  std::string LocalOut() const;
  bool SaveTemplate(int Id, const std::string& Path);
  static std::string OutContents(const Variant& record);
  void WriteSummary(bool PCList);
  void ModSend(bool PCList);
  void EditItem(bool PCList);
  void Transfer(TListView* View, bool Mark, bool SelectedOnly);
  // The pass structure shared by the clean-ups and the handheld-deletion
  // mirror: each pass deletes the first record that qualifies; Deleted runs
  // around each deletion with the removed record.
  template <class Deletable, class Deleted>
  int Thin(const std::string& file, const char* place, Deletable&& deletable, int subjectColumn,
           const char* traceText, Deleted&& deleted);

  TSesObj* Session;
  TResManager* Resources;
  // Where the IDs of the local In and Out boxes stand, for the markings.
  std::unique_ptr<IDIndex> InIDs, OutIDs;
  // The sessions a HeldStores scope keeps open.
  StoreSession* Held(const std::string& File);
  bool Holding = false;
  std::unique_ptr<StoreSession> HeldIn, HeldOut;
  // What this run owes the next one should it be cut short.
  RunJournal Journal;
  // PC mail of the journal that the next upload settles: written into the
  // local In box, or left unmarked by the user.
  std::unordered_set<std::string> Settled;
  // The handheld programs are stopped by this run and not yet started again.
  bool ProgramsStopped = false;
};
