// The framework's waits and user-interface threads.
#include <gtest/gtest.h>

#include <thread>

#include "ComPtr.h"
#include "MessageWindow.h"
#include "Sync.h"
#include "WinThread.h"

namespace {

constexpr UINT Posted = WM_APP, Sent = WM_APP + 1;

// Counts the messages it gets; a posted one also sets the event.
struct Window {
  CEvent& done;
  int posted = 0, sent = 0;
  MessageWindow window{{.ClassName = "VantleFrameworkTestWindow",
                        .OnMessage = [this](UINT msg, WPARAM, LPARAM, LRESULT&) {
                          if (msg == Posted && ++posted) done.SetEvent();
                          if (msg == Sent) ++sent;
                          return msg == Posted || msg == Sent;
                        }}};
};

}  // namespace

TEST(WaitWithMessages, WakesForQueuedMessagesAndHandlesWhatItIsAskedTo) {
  CEvent done(false, true);
  Window w{done};
  // Posted before the wait and already seen by a peek: it must still wake
  // the wait, which dispatches it.
  PostMessageA(w.window.Handle(), Posted, 0, 0);
  MSG m;
  ASSERT_TRUE(PeekMessageA(&m, nullptr, 0, 0, PM_NOREMOVE));
  EXPECT_EQ(WAIT_OBJECT_0, WaitWithMessages(done.Handle(), 30000));
  EXPECT_EQ(1, w.posted);

  // Sent messages only: a posted one stays queued for the thread's loop.
  CEvent sentDone(false, true);
  PostMessageA(w.window.Handle(), Posted, 0, 0);
  std::thread sender([&] {
    SendMessageA(w.window.Handle(), Sent, 0, 0);
    sentDone.SetEvent();
  });
  EXPECT_EQ(WAIT_OBJECT_0, WaitWithMessages(sentDone.Handle(), 30000, WaitPump::SentOnly));
  sender.join();
  EXPECT_EQ(1, w.sent);
  EXPECT_EQ(1, w.posted);
  EXPECT_TRUE(PeekMessageA(&m, w.window.Handle(), Posted, Posted, PM_REMOVE));

  // A quit met while waiting is left for the loop; an unsignalled wait times out.
  CEvent never;
  PostQuitMessage(7);
  EXPECT_EQ(static_cast<DWORD>(WAIT_TIMEOUT), WaitWithMessages(never.Handle(), 50));
  ASSERT_TRUE(PeekMessageA(&m, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE));
  EXPECT_EQ(7u, m.wParam);
}

namespace {

struct Outcome {
  CEvent gone{false, true};
  bool comReady = false;
  HRESULT comAgain = E_FAIL;
  std::string reported;
};

class ThrowingThread final : public CWinThread {
 public:
  explicit ThrowingThread(Outcome& outcome) : CWinThread(true), o_(outcome) {}
  ~ThrowingThread() override { o_.gone.SetEvent(); }

 protected:
  bool InitInstance() override {
    o_.comReady = ComReady();
    o_.comAgain = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    if (SUCCEEDED(o_.comAgain)) CoUninitialize();
    throw Exception("the start failed");
  }
  void ReportException(const std::string& what) noexcept override { o_.reported = what; }

 private:
  Outcome& o_;
};

}  // namespace

TEST(WinThread, RunsInItsOwnApartmentAndReportsAnExceptionThatEndsIt) {
  Outcome outcome;
  auto* thread = new ThrowingThread(outcome);
  ASSERT_TRUE(thread->CreateThread());
  ASSERT_EQ(WAIT_OBJECT_0, WaitForSingleObject(outcome.gone.Handle(), 30000));
  EXPECT_TRUE(outcome.comReady);
  EXPECT_EQ(S_FALSE, outcome.comAgain);  // already a single-threaded apartment
  EXPECT_EQ("the start failed", outcome.reported);
}
