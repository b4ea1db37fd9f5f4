#pragma once
// A client of the worker, as the engine class is one: it starts and stops
// the worker, posts requests and records every reply that reaches its reply
// window, on the thread that made it.
#include <windows.h>

#include <functional>
#include <string>
#include <vector>

#include "TDPrcThread.h"

struct Reply {
  LONG Op = 0;
  LONG Error = 0;
  LONG Notify = 0;
  LONG Tag = 0;  // the test's serial number, carried in Crit9
  LONG Value = 0;
  std::string Path;  // the whole 260 bytes
  std::string TargetPath;
  std::vector<BYTE> Data;
};

struct Progress {
  WPARAM Code;
  SHORT Percent;
  LONG Scratch;
  std::string Found;  // a find's reported entry
};

class ClientEngine final : public CTDEngineCore {
 public:
  ClientEngine();
  ~ClientEngine() override;

  // Starts the worker and opens the link: the error of the open.
  LONG Init();
  // Stops the worker as the engine's destruction does.
  void Stop();

  void Post(EngineRequest* r);
  EngineRequest* Request(LONG op, LONG side = 0, const std::string& path = "", LONG targetSide = 0,
                         const std::string& targetPath = "");
  // Posts and waits for the reply of this one request.
  Reply Run(EngineRequest* r);
  // Pumps this thread's messages until the predicate holds; false after 30 s.
  bool PumpUntil(const std::function<bool()>& done, DWORD limitMs = 30000);
  void PumpFor(DWORD ms);

  std::vector<Reply> Replies;
  std::vector<std::pair<LONG, LONG>> Failures;  // operation, error
  std::vector<Progress> Progresses;
  std::function<void(EngineRequest&, WPARAM)> OnProgress;  // may set Cancel

 private:
  class RecordingWindow final : public CWnd {
   public:
    explicit RecordingWindow(ClientEngine& owner) : owner_(owner) {}

   protected:
    bool OnMessage(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result) override;

   private:
    ClientEngine& owner_;
  };
  RecordingWindow window_;
  bool stopped_ = false;
};

// The entries of a drive list: "A:\\", "C:\\", … up to the empty one.
std::vector<std::string> Entries(const std::string& list);

// The handles this process holds. Wine answers GetProcessHandleCount with 0,
// so they are counted in the system's list of handles there.
DWORD HandleCount();

// The connection server, started and ended by the test itself.
void StartServer();
void StopServer();
bool ServerRunning();
