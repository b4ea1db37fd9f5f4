#pragma once
// The handheld wrapper: the connectivity suite's engine control (TTandelEng),
// whose operations only start work and are answered later by events, and
// TEvrin, which turns them into commands the sync engine can wait for.
#include <windows.h>

#include <functional>
#include <memory>
#include <string>

#include "ComObj.h"
#include "Forms.h"
#include "SysUtils.h"

// The engine control, created by its class and called by dispatch id. Its
// events reach the handlers below on the thread that created it, while that
// thread pumps messages.
class TTandelEng : public TObject {
 public:
  using TEngineEvent = std::function<void(TObject* Sender, int Error)>;
  using TCopyProgressEvent = std::function<void(TObject* Sender, short Percent, bool& Cancel)>;

  TTandelEng();  // raises EOleSysError when the control cannot be created or connected
  ~TTandelEng() override;
  TTandelEng(const TTandelEng&) = delete;
  TTandelEng& operator=(const TTandelEng&) = delete;

  // Each answers the control's integer, which callers do not rely on.
  int Init();
  int Connect(int TimeOut);
  int Disconnect();
  int CopyFile(short SourceSide, const std::string& Source, short TargetSide, const std::string& Target, short Flags);
  int CreateDirectory(short Side, const std::string& Path);
  int StartProgram(short Side, const std::string& Path);
  int StopProgram(short Side, const std::string& Path);

  TEngineEvent OnInit, OnConnect, OnCopyFile, OnDisconnect, OnCreateDirectory, OnClosePrograms, OnStartProgram,
      OnStopProgram;
  TCopyProgressEvent OnCopyProgress;

 private:
  class Sink;
  int Call(DISPID id, std::initializer_list<Variant> args);

  Variant control_;
  ComPtr<Sink> sink_;
  std::unique_ptr<EventConnection> connection_;
};

class TEvrin : public TObject {
 public:
  TEvrin();
  ~TEvrin() override;
  TEvrin(const TEvrin&) = delete;
  TEvrin& operator=(const TEvrin&) = delete;

  // Commands: each starts the control's operation and returns; its outcome
  // flag holds the answer once IsBusy answers False.
  void Init();
  void Connect(int TimeOut);
  void StopProgram(const std::string& Path);
  void StartProgram(const std::string& Path);
  void CopyFile(int SourceSide, const std::string& Source, int TargetSide, const std::string& Target, int Flags);
  void CreateDirectory(const std::string& Path);
  // Pumps the message queue once and answers Busy.
  bool IsBusy();

  // Completion hooks, called by the host's handlers of the control's events.
  void EngineInit(TObject* Sender, int Error);
  void EngineConnect(TObject* Sender, int Error);
  void EngineDisconnect(TObject* Sender, int Error);
  void EngineStopProgram(TObject* Sender, int Error);
  void EngineStartProgram(TObject* Sender, int Error);
  void EngineClosePrograms(TObject* Sender, int Error);
  void EngineCopyFile(TObject* Sender, int Error);
  void EngineCreateDirectory(TObject* Sender, int Error);
  void EngineCopyProgress(TObject* Sender, short Percent, bool& Cancel);

  TTandelEng* Eng = nullptr;
  bool Busy = false;
  bool Initialized = false;
  bool Connected = false;
  bool Stopped = false;
  bool Closed = false;
  bool Copied = false;
  bool DirCreated = false;
  short Percent = 0;
  bool Started = false;
  // The last copy's error code: a handheld file that is missing (2, 3) is
  // told apart from a link or device failure.
  int CopyError = 0;

 private:
  // The answers a command waits for. A wait can be left before its answer
  // comes (Stop while connecting); that answer still comes, later, and must
  // not end the wait of a command started since.
  enum Answer { anNone, anInit, anConnect, anStopProgram, anStartProgram, anCopyFile, anCreateDirectory, anCount };

  // Marks the command outstanding and starts it when Allowed; a refused
  // precondition or a failure to start leaves Busy clear and the outcome
  // flag at Refused.
  template <class Start>
  void Command(Answer Awaited, bool& Outcome, bool Refused, bool Allowed, Start&& start);
  // Starts the control's operation; an earlier command still unanswered is
  // abandoned, its answer to be passed over when it comes.
  template <class Start>
  void Begin(Answer Awaited, Start&& start);
  // False for the late answer of an abandoned command, which changes nothing.
  bool Answered(Answer Got);

  Answer awaited_ = anNone;
  int abandoned_[anCount] = {};
  // A copy reports every percent; the queue is pumped for them as often as
  // painting and the Stop button need, not once per report.
  TPacer progressPacer_;
};

// The process's handheld wrapper, created and freed by the main form.
extern TEvrin* Evrin;
