#pragma once
// Application, Screen and forms.
#include <windows.h>

#include <functional>
#include <memory>
#include <string>

#include "Controls.h"
#include "MessageWindow.h"
#include "UserInterface.h"

// Modal results.
constexpr int mrNone = 0;
constexpr int mrOk = IDOK;
constexpr int mrCancel = IDCANCEL;
constexpr int mrYes = IDYES;
constexpr int mrNo = IDNO;

// Screen cursors (the class library's numbers).
constexpr int crDefault = ui::CursorDefault;
constexpr int crHourGlass = ui::CursorHourGlass;

// Pumps every pending message of the calling thread, with dialog keyboard
// handling for forms. Uses no module state, so the code of one module may
// pump for the windows of another. False when WM_QUIT was taken (it is
// posted again for the loop that owns it).
bool ProcessPendingMessages();

// Each module (the program, every plug-in) has its own Application object.
class TApplication {
 public:
  // The program's hidden application window: the owner of its forms and
  // the handle it passes to plug-ins. A plug-in's stays 0 except while an
  // export runs, when it holds the host's handle.
  HWND Handle = nullptr;
  std::string Title;
  std::string HelpFile;
  TForm* MainForm = nullptr;
  // Replaces the message box of unhandled exceptions.
  std::function<void(TObject* Sender, const std::string& Message)> OnException;

  // The program's start: creates the application window.
  void Initialize();
  void CreateForm(TForm& form);  // the first one becomes MainForm
  void ProcessMessages();
  void HandleMessage();  // waits for one message and handles it
  void Run();            // shows MainForm and handles messages until Terminate
  void Terminate();
  bool Terminated() const { return terminated_; }
  // Help calls on HelpFile, through the user-interface seam.
  bool HelpCommand(UINT command, ULONG_PTR data);
  bool HelpContext(int context) { return HelpCommand(HELP_CONTEXT, static_cast<ULONG_PTR>(context)); }
  int MessageBox(const std::string& text, const std::string& caption, UINT flags);
  // Called from a catch block at a window procedure's boundary.
  void HandleException(TObject* sender);
  void ShowException(const std::string& message);
  ~TApplication();

 private:
  bool terminated_ = false;
  std::unique_ptr<MessageWindow> ownWindow_;
};

extern TApplication Application;

// Pumps the module's message queue during a long loop once about 12 ms have
// passed since the last pump: often enough for painting and a Stop button,
// rarely enough that the loop spends its time in its work, not in the queue
// (under Wine every pump is a round trip to the server).
class TPacer {
 public:
  static constexpr UINT Interval = 12;  // milliseconds
  void operator()() {
    const ULONGLONG now = GetTickCount64();
    if (now - last_ < Interval) return;
    Application.ProcessMessages();
    last_ = GetTickCount64();
  }

 private:
  ULONGLONG last_ = GetTickCount64();
};

class TScreen {
 public:
  int Cursor() const { return cursor_; }
  void SetCursor(int cursor);

 private:
  int cursor_ = crDefault;
};

extern TScreen Screen;

enum class TBorderStyle { bsNone, bsSingle, bsSizeable, bsDialog };
enum TBorderIcon : unsigned { biSystemMenu = 1, biMinimize = 2, biMaximize = 4, biHelp = 8 };
enum class TPosition { poDesigned, poScreenCenter };

struct TFormArgs {
  std::string Name = {};
  std::string Caption = {};
  int ClientWidth = 320;
  int ClientHeight = 240;
  TBorderStyle BorderStyle = TBorderStyle::bsDialog;
  unsigned BorderIcons = biSystemMenu;
  TPosition Position = TPosition::poScreenCenter;
  bool StayOnTop = false;
  // Owner window; null: the application's window.
  HWND Owner = nullptr;
  // The window class, where other programs must find the form by it; a
  // class of the form's own module, with the forms' window procedure.
  std::string ClassName = {};
};

class TButton;

class TForm : public TWinControl, public ui::ModalForm {
 public:
  explicit TForm(const TFormArgs& args);
  ~TForm() override;

  HWND WindowHandle() const override { return Handle(); }
  void SetVisible(bool value) override;
  // Shows the form modally until it has a modal result, which it answers.
  int ShowModal();
  int ModalResult() const { return modalResult_; }
  void SetModalResult(int value) { modalResult_ = value; }
  // Closes the form: a modal form gets mrCancel, a modeless one is hidden.
  void Close();
  bool Modal() const { return modal_; }
  int ClientWidth() const;
  int ClientHeight() const;

  TNotifyEvent OnCreate, OnDestroy, OnShow, OnActivate, OnDeactivate, OnClose;
  // The form's own help file; empty: the application's.
  std::string HelpFile;
  bool HelpContext(int context);

  // Called by the form's button of that kind.
  void RegisterButton(TButton& button, bool isDefault, bool isCancel);
  // Gives the next control its window id.
  int NextControlId() { return nextId_++; }

 protected:
  // A concrete form fires these at the end of its constructor and at the
  // start of its destructor, when all of its controls exist.
  void DoCreate();
  void DoDestroy();

 private:
  static LRESULT CALLBACK FormProc(HWND window, UINT msg, WPARAM wParam, LPARAM lParam);
  LRESULT FormMessage(HWND window, UINT msg, WPARAM wParam, LPARAM lParam);
  void Center();

  int modalResult_ = mrNone;
  bool modal_ = false;
  bool destroyed_ = false;
  TPosition position_;
  int nextId_ = 100;
  TButton* defaultButton_ = nullptr;
  TButton* cancelButton_ = nullptr;
};
