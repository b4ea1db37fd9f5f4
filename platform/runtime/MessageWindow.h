#pragma once
// A hidden window of the calling thread that hands its messages to an object,
// and a way for any thread to run a closure on that window's thread.
#include <windows.h>

#include <functional>
#include <memory>
#include <type_traits>
#include <utility>

// Registers a window class of this module, or registers it again when an
// earlier load of the module left it behind with another procedure. The
// module's classes are unregistered when it is unloaded, so no class keeps a
// procedure that points into freed code.
void RegisterModuleClass(const char* name, WNDPROC proc, HBRUSH background = nullptr, HCURSOR cursor = nullptr);

// The object a window of one of our classes was created for (the creation
// parameter of CreateWindowEx): bound to the window at WM_NCCREATE, released
// after WM_NCDESTROY; null outside that span. For the window procedures of
// such classes.
void* WindowObject(HWND window, UINT msg, LPARAM lParam);

class MessageWindow {
 public:
  enum class Kind { MessageOnly, HiddenTopLevel };
  struct Args {
    const char* ClassName = nullptr;  // a class of this module, registered on first use
    Kind Type = Kind::MessageOnly;    // a hidden top-level window receives broadcasts
    const char* Title = "";
    DWORD ExStyle = 0;
    // Messages the window gets, unless a derived class overrides Message;
    // true when handled, with the result in the last argument.
    std::function<bool(UINT msg, WPARAM wParam, LPARAM lParam, LRESULT& result)> OnMessage = {};
  };

  // Sends closures to the window from any thread. A copy may outlive the
  // window: posting then answers false and the closure is dropped.
  class Poster {
   public:
    // Any callable without arguments, a move-only one too.
    template <class Task>
    bool Post(Task&& task) const {
      using T = std::decay_t<Task>;
      if constexpr (std::is_copy_constructible_v<T>) {
        return Enqueue(std::function<void()>(std::forward<Task>(task)));
      } else {
        auto held = std::make_shared<T>(std::forward<Task>(task));
        return Enqueue(std::function<void()>([held] { (*held)(); }));
      }
    }

   private:
    bool Enqueue(std::function<void()> task) const;
    friend class MessageWindow;
    struct Tasks;
    explicit Poster(std::shared_ptr<Tasks> tasks) : tasks_(std::move(tasks)) {}
    std::shared_ptr<Tasks> tasks_;
  };

  // Creates the window on the calling thread; destroy the object there too.
  explicit MessageWindow(const Args& args);
  virtual ~MessageWindow();
  MessageWindow(const MessageWindow&) = delete;
  MessageWindow& operator=(const MessageWindow&) = delete;

  HWND Handle() const { return handle_; }
  Poster GetPoster() const { return Poster(queue_); }
  // Runs the task on the window's thread, after the tasks posted before it.
  // Tasks still queued when the window is destroyed are freed, not run.
  template <class Task>
  bool Post(Task&& task) const {
    return GetPoster().Post(std::forward<Task>(task));
  }

 protected:
  // The window's messages (creation messages excepted); true when handled.
  virtual bool Message(UINT msg, WPARAM wParam, LPARAM lParam, LRESULT& result);
  // Called inside the catch block when a message handler or a task throws:
  // no exception leaves the window procedure.
  virtual void HandleException();

 private:
  static LRESULT CALLBACK WindowProc(HWND window, UINT msg, WPARAM wParam, LPARAM lParam);
  void RunTasks();

  HWND handle_ = nullptr;
  std::function<bool(UINT, WPARAM, LPARAM, LRESULT&)> onMessage_;
  std::shared_ptr<Poster::Tasks> queue_;
};
