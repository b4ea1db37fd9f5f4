#pragma once
// The working part of the suite's engine control: a FIFO of operations run
// one at a time on a worker thread against the PC's file system (side 1) and
// the simulated handheld (side 2). Each operation is answered later, on the
// thread that created the engine, through its Events: results are posted to a
// hidden window of that thread; copy progress is sent synchronously, so the
// cancel flag set by the client is seen by the copy right away.
#include <windows.h>

#include <condition_variable>
#include <deque>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

#include "Handheld.h"
#include "Handles.h"
#include "MessageWindow.h"
#include "TandelEng.h"

namespace tandel {

using namespace tandeleng;

constexpr int copyReplace = 1;  // copy flag: an existing target is replaced

// Error codes of the suite besides the file system's own.
constexpr DWORD errNotInitialized = ERROR_NOT_READY;
constexpr DWORD errNotConnected = ERROR_NOT_CONNECTED;
constexpr DWORD errConnectTimeout = ERROR_COUNTER_TIMEOUT;

struct Request {
  int Op = 0;
  int Side1 = 0, Side2 = 0;
  std::string Path1, Path2;
  int Value = 0;  // copy flags, or the Connect time-out in ms
  DWORD Error = 0;
};

class Events {
 public:
  virtual void Completed(int event, DWORD error) = 0;
  virtual void Progress(short percent, bool& cancel) = 0;
  virtual void Deferred() = 0;  // called back for Defer, from the creating thread's queue

 protected:
  ~Events() = default;
};

class Engine {
 public:
  explicit Engine(Events& events);  // on the thread that receives the events
  ~Engine();
  Engine(const Engine&) = delete;
  Engine& operator=(const Engine&) = delete;

  // Queues the operation and returns at once: 0, or a Win32 error when it
  // could not be queued (no event follows then).
  DWORD Start(std::unique_ptr<Request> request);
  // Calls Events::Deferred once this thread's queue is next pumped, outside
  // whatever sent message is being handled now.
  void Defer();

 private:
  bool OnMessage(UINT message, LPARAM lParam);
  bool Closing();
  void Work();
  void Run(Request& r);
  DWORD Copy(const Request& r);
  bool SendProgress(short percent);  // answers whether the client cancelled
  DWORD Gate(bool needConnection);
  bool LinkUp() { return handheld_.Get().LinkUp; }

  Events& events_;
  MessageWindow window_;
  KernelHandle workDone_;  // set by the worker as its last act
  std::thread thread_;
  std::mutex lock_;
  std::condition_variable wake_;
  std::deque<std::unique_ptr<Request>> queue_;
  bool closing_ = false;
  // Worker thread only.
  bool initialized_ = false;
  bool connected_ = false;
  // Looked at before every operation and at every step of a copy: read from
  // its file only when saved since.
  WatchedState handheld_;
};

}  // namespace tandel
