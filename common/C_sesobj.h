#pragma once
// The settings and session object: every user setting (read from the
// registry at creation, written back the moment it changes), the run state
// of a synchronisation, the temporary folder, the trace log and the common
// error box. The fields' order is part of the conduits' contract.
#include <functional>
#include <memory>
#include <string>

#include "Classes.h"
#include "DateTime.h"
#include "c_qrv.h"

class TRegistry;

// The main settings key under HKEY_LOCAL_MACHINE.
constexpr const char* VantleSettingsKey = "\\Software\\QuorvelCorp\\Vantle\\";

class TSesObj : public TQRV {
 public:
  TSesObj();
  ~TSesObj() override;
  TSesObj(const TSesObj&) = delete;
  TSesObj& operator=(const TSesObj&) = delete;

  bool LoadPreferences();

  void SetInData(const std::string& Value);
  void SetOutData(const std::string& Value);
  void SetSyncMode(bool Value);
  void SetUnreadOnly(bool Value);
  void SetMarkRead(bool Value);
  void SetMaxTrans(int Value);
  void SetMaxEmailSize(int Value);
  void SetLastConduit(const std::string& Value);
  void SetFromCheck(bool Value);
  void SetToCheck(bool Value);
  void SetInClean(bool Value);
  void SetOutClean(bool Value);
  void SetInDays(int Value);
  void SetOutDays(int Value);
  void SetKeep(bool Value);
  void SetQuote(bool Value);
  void SetReplyAll(bool Value);
  void SetMasterDeletion(bool Value);

  // One line of the trace log: time, TAB, Text, CR LF.
  void Trace(const std::string& Text);
  // The common error box: a beep, then the unhandled-exception text.
  void ShowError(const std::string& Message, const std::string& Place);
  // A line for the wizard's error memo, when there is one.
  void AddError(const std::string& Line);
  // The transfer-limit settings dialog; OK stores every one of its values.
  void UpdateTransferLimit();

  std::string InData;
  std::string OutData;
  std::unique_ptr<TFileStream> TraceStream;
  std::string TraceLine;
  char CRLF[2] = {13, 10};
  bool Tracing = false;
  bool ViewSync = true;
  bool UnreadOnly = true;
  bool MarkRead = true;
  TDateTime FromDate = 0;
  TDateTime ToDate = 0;
  int MaxTransfer = 4000;
  int MaxEmail = 5000;
  std::string TempDir;
  TStrings* ErrorMemo = nullptr;  // the lines of the wizard's error memo
  std::string LastConduit;
  bool ApplyStartDate = false;
  bool ApplyEndDate = false;
  bool InAutoClean = false;
  bool OutAutoClean = false;
  int InCleanDays = 5000;
  int OutCleanDays = 5000;
  std::string ClientName;
  bool KeepMessages = true;
  bool QuoteOriginal = true;
  bool ReplyToAll = false;
  bool NewRecordExcluded = false;
  bool ResumeCopyBack = false;
  bool MaintenanceOnly = false;
  bool MasterDeletion = false;

 private:
  void Store(const char* setter, const std::function<void(TRegistry&)>& write);
  void WriteRaw(const std::string& bytes);
};
