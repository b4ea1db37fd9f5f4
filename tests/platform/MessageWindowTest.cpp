// The message-window base: messages reach the object, closures posted from
// other threads run on the window's thread in order, and what is still queued
// when the window goes is freed without running.
#include <gtest/gtest.h>

#include <atomic>
#include <memory>
#include <thread>
#include <vector>

#include "MessageWindow.h"
#include "TestSupport.h"

namespace {

constexpr UINT WM_PING = WM_APP + 1;

using test::PumpPending;
using test::PumpUntil;

class PingWindow : public MessageWindow {
 public:
  explicit PingWindow(Kind kind) : MessageWindow({.ClassName = "VantleTestPingWindow", .Type = kind}) {}
  std::vector<LPARAM> pings;

 protected:
  bool Message(UINT msg, WPARAM, LPARAM lParam, LRESULT& result) override {
    if (msg != WM_PING) return false;
    if (lParam < 0) throw std::runtime_error("bad ping");
    pings.push_back(lParam);
    result = lParam * 2;
    return true;
  }
  void HandleException() override { ++failures; }

 public:
  int failures = 0;
};

TEST(MessageWindowTest, MessagesReachTheHandlerOfEitherKind) {
  for (auto kind : {MessageWindow::Kind::MessageOnly, MessageWindow::Kind::HiddenTopLevel}) {
    PingWindow window(kind);
    ASSERT_TRUE(IsWindow(window.Handle()));
    EXPECT_FALSE(IsWindowVisible(window.Handle()));
    EXPECT_EQ(GetAncestor(window.Handle(), GA_PARENT) == GetDesktopWindow(), kind == MessageWindow::Kind::HiddenTopLevel);
    EXPECT_EQ(SendMessageA(window.Handle(), WM_PING, 0, 21), 42);
    PostMessageA(window.Handle(), WM_PING, 0, 5);
    EXPECT_TRUE(PumpUntil([&] { return window.pings.size() == 2; }));
    EXPECT_EQ(window.pings, (std::vector<LPARAM>{21, 5}));
    // A throwing handler is caught at the window's edge and reported.
    EXPECT_EQ(SendMessageA(window.Handle(), WM_PING, 0, -1), 0);
    EXPECT_EQ(window.failures, 1);
  }
}

TEST(MessageWindowTest, CallableHandlerAndDestructionWithTheObject) {
  UINT seen = 0;
  HWND handle;
  {
    MessageWindow window({.ClassName = "VantleTestCallableWindow",
                          .OnMessage = [&](UINT msg, WPARAM, LPARAM, LRESULT& result) {
                            if (msg != WM_PING) return false;
                            seen = msg;
                            result = 7;
                            return true;
                          }});
    handle = window.Handle();
    EXPECT_EQ(SendMessageA(handle, WM_PING, 0, 0), 7);
    EXPECT_EQ(seen, WM_PING);
  }
  EXPECT_FALSE(IsWindow(handle));
}

TEST(MessageWindowTest, ClosuresFromWorkersRunOnTheWindowThreadInOrder) {
  MessageWindow window({.ClassName = "VantleTestRunWindow"});
  const DWORD windowThread = GetCurrentThreadId();
  constexpr int perWorker = 500;
  std::vector<int> order[2];
  std::atomic<int> wrongThread{0}, done{0};
  std::vector<std::thread> workers;
  for (int w = 0; w < 2; ++w) {
    workers.emplace_back([&, w, poster = window.GetPoster()] {
      for (int i = 0; i < perWorker; ++i) {
        bool posted = poster.Post([&, w, i] {
          if (GetCurrentThreadId() != windowThread) ++wrongThread;
          order[w].push_back(i);
          ++done;
        });
        if (!posted) ++wrongThread;
      }
    });
  }
  for (auto& t : workers) t.join();
  EXPECT_TRUE(PumpUntil([&] { return done == 2 * perWorker; }));
  EXPECT_EQ(wrongThread, 0);
  for (auto& o : order) {
    ASSERT_EQ(o.size(), static_cast<size_t>(perWorker));
    for (int i = 0; i < perWorker; ++i) EXPECT_EQ(o[i], i);
  }
}

TEST(MessageWindowTest, PendingClosuresAreFreedNotRunWhenTheWindowGoes) {
  auto token = std::make_shared<int>(0);
  MessageWindow::Poster poster = [&] {
    MessageWindow window({.ClassName = "VantleTestRunWindow"});
    std::thread([&, poster = window.GetPoster()] {
      for (int i = 0; i < 10; ++i) poster.Post([token] { ++*token; });
    }).join();
    EXPECT_EQ(token.use_count(), 11);
    return window.GetPoster();
  }();
  EXPECT_EQ(token.use_count(), 1);
  PumpPending();
  EXPECT_EQ(*token, 0);
  // A poster that outlived its window refuses and frees the closure.
  EXPECT_FALSE(poster.Post([token] { ++*token; }));
  EXPECT_EQ(token.use_count(), 1);
}

// Counts its own destruction, to see what a closure that holds it frees.
struct Tracked {
  explicit Tracked(int& freed) : freed(freed) {}
  ~Tracked() { ++freed; }
  int& freed;
};

TEST(MessageWindowTest, MoveOnlyClosuresRunOnceAndAreFreedEitherWay) {
  int freed = 0, ran = 0;
  {
    MessageWindow window({.ClassName = "VantleTestRunWindow"});
    auto first = std::make_unique<Tracked>(freed);
    EXPECT_TRUE(window.Post([held = std::move(first), &ran] { ran += held != nullptr; }));
    PumpPending();
    EXPECT_EQ(ran, 1);
    EXPECT_EQ(freed, 1);
    std::thread([&, poster = window.GetPoster()] {
      poster.Post([held = std::make_unique<Tracked>(freed), &ran] { ran += held != nullptr; });
    }).join();
  }
  EXPECT_EQ(ran, 1);
  EXPECT_EQ(freed, 2);
}

TEST(MessageWindowTest, AClosureMayDestroyItsWindowAndOneThatThrowsSparesTheRest) {
  auto window = std::make_unique<PingWindow>(MessageWindow::Kind::MessageOnly);
  int ran = 0;
  window->Post([&] { ++ran; });
  window->Post([] { throw std::runtime_error("task failed"); });
  window->Post([&] { ++ran; });
  EXPECT_TRUE(PumpUntil([&] { return ran == 2; }));
  EXPECT_EQ(window->failures, 1);

  window->Post([&] { window.reset(); });
  window->Post([&] { ++ran; });
  EXPECT_TRUE(PumpUntil([&] { return window == nullptr; }));
  PumpPending();
  EXPECT_EQ(ran, 2);
}

}  // namespace
