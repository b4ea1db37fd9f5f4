#include "MessageWindow.h"

#include <deque>
#include <exception>
#include <mutex>
#include <string>
#include <vector>

#include "Handles.h"
#include "SysUtils.h"

namespace {

// The classes this module registered, unregistered when the module goes.
class ModuleClasses {
 public:
  ModuleClasses() = default;
  ModuleClasses(const ModuleClasses&) = delete;
  ModuleClasses& operator=(const ModuleClasses&) = delete;
  ~ModuleClasses() {
    for (const std::string& name : names_) UnregisterClassA(name.c_str(), ThisModule());
  }

  void Register(const char* name, WNDPROC proc, HBRUSH background, HCURSOR cursor) {
    std::lock_guard<std::mutex> hold(lock_);
    WNDCLASSEXA wc{};
    wc.cbSize = sizeof wc;
    if (GetClassInfoExA(ThisModule(), name, &wc)) {
      if (wc.lpfnWndProc == proc) return;
      UnregisterClassA(name, ThisModule());
    }
    wc = {};
    wc.cbSize = sizeof wc;
    wc.style = CS_DBLCLKS;
    wc.lpfnWndProc = proc;
    wc.hInstance = ThisModule();
    wc.hCursor = cursor;
    wc.hbrBackground = background;
    wc.lpszClassName = name;
    if (RegisterClassExA(&wc) == 0)
      throw Exception(std::string("Could not register the window class ") + name + ".");
    for (const std::string& known : names_)
      if (known == name) return;
    names_.emplace_back(name);
  }

 private:
  std::mutex lock_;
  std::vector<std::string> names_;
};

ModuleClasses& Classes() {
  static ModuleClasses classes;
  return classes;
}

UINT RunMessage() {
  static const UINT message = RegisterWindowMessageA("VantleMessageWindowRun");
  return message;
}

}  // namespace

void RegisterModuleClass(const char* name, WNDPROC proc, HBRUSH background, HCURSOR cursor) {
  Classes().Register(name, proc, background, cursor);
}

void* WindowObject(HWND window, UINT msg, LPARAM lParam) {
  if (msg == WM_NCCREATE)
    SetWindowLongPtrA(window, GWLP_USERDATA,
                      reinterpret_cast<LONG_PTR>(reinterpret_cast<CREATESTRUCTA*>(lParam)->lpCreateParams));
  void* object = reinterpret_cast<void*>(GetWindowLongPtrA(window, GWLP_USERDATA));
  if (msg == WM_NCDESTROY) SetWindowLongPtrA(window, GWLP_USERDATA, 0);
  return object;
}

struct MessageWindow::Poster::Tasks {
  std::mutex lock;
  std::deque<std::function<void()>> tasks;
  HWND window = nullptr;
  bool signalled = false;  // a run message is on its way
  bool closed = false;
};

bool MessageWindow::Poster::Enqueue(std::function<void()> task) const {
  std::lock_guard<std::mutex> hold(tasks_->lock);
  if (tasks_->closed) return false;
  tasks_->tasks.push_back(std::move(task));
  if (!tasks_->signalled) {
    if (!PostMessageA(tasks_->window, RunMessage(), 0, 0)) {
      tasks_->tasks.pop_back();
      return false;
    }
    tasks_->signalled = true;
  }
  return true;
}

MessageWindow::MessageWindow(const Args& a)
    : onMessage_(a.OnMessage), queue_(std::make_shared<Poster::Tasks>()) {
  RegisterModuleClass(a.ClassName, WindowProc);
  bool messageOnly = a.Type == Kind::MessageOnly;
  CreateWindowExA(a.ExStyle, a.ClassName, a.Title, messageOnly ? 0 : WS_POPUP, 0, 0, 0, 0,
                  messageOnly ? HWND_MESSAGE : nullptr, nullptr, ThisModule(), this);
  if (handle_ == nullptr) throw Exception(std::string("Could not create a window of class ") + a.ClassName + ".");
  queue_->window = handle_;
}

MessageWindow::~MessageWindow() {
  std::deque<std::function<void()>> dropped;
  {
    std::lock_guard<std::mutex> hold(queue_->lock);
    queue_->closed = true;
    queue_->window = nullptr;
    dropped.swap(queue_->tasks);
  }
  dropped.clear();
  if (handle_ != nullptr) {
    SetWindowLongPtrA(handle_, GWLP_USERDATA, 0);
    DestroyWindow(handle_);
  }
}

bool MessageWindow::Message(UINT msg, WPARAM wParam, LPARAM lParam, LRESULT& result) {
  return onMessage_ && onMessage_(msg, wParam, lParam, result);
}

void MessageWindow::HandleException() {
  try {
    throw;
  } catch (const std::exception& e) {
    OutputDebugStringA(e.what());
  } catch (...) {
    OutputDebugStringA("An unknown exception reached a message window.");
  }
}

// Runs the tasks queued when the run message arrived; later ones get a run
// message of their own, so a busy poster cannot starve the thread's other
// messages. A task may destroy the window: the queue outlives it.
void MessageWindow::RunTasks() {
  std::shared_ptr<Poster::Tasks> queue = queue_;
  size_t count;
  {
    std::lock_guard<std::mutex> hold(queue->lock);
    count = queue->tasks.size();
  }
  for (; count > 0; --count) {
    std::function<void()> task;
    {
      std::lock_guard<std::mutex> hold(queue->lock);
      if (queue->closed || queue->tasks.empty()) return;
      task = std::move(queue->tasks.front());
      queue->tasks.pop_front();
    }
    try {
      task();
    } catch (...) {
      if (!queue->closed) HandleException();
    }
  }
  std::lock_guard<std::mutex> hold(queue->lock);
  if (queue->closed) return;
  queue->signalled = !queue->tasks.empty() && PostMessageA(queue->window, RunMessage(), 0, 0);
}

LRESULT CALLBACK MessageWindow::WindowProc(HWND window, UINT msg, WPARAM wParam, LPARAM lParam) {
  auto* self = static_cast<MessageWindow*>(WindowObject(window, msg, lParam));
  if (self == nullptr) return DefWindowProcA(window, msg, wParam, lParam);
  if (msg == WM_NCCREATE) self->handle_ = window;
  if (msg == WM_NCDESTROY) self->handle_ = nullptr;
  if (msg == RunMessage()) {
    self->RunTasks();
    return 0;
  }
  try {
    LRESULT result = 0;
    if (msg != WM_NCDESTROY && self->Message(msg, wParam, lParam, result)) return result;
  } catch (...) {
    self->HandleException();
  }
  return DefWindowProcA(window, msg, wParam, lParam);
}
