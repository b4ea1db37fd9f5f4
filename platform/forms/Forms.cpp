#include "Forms.h"

#include "StdCtrls.h"

TApplication Application;
TScreen Screen;

namespace {

const char* const FormClass = "VantleForm";
const char* const ApplicationClass = "VantleApplication";

// Offers a shortcut character to the controls of a form and everything they
// hold, in the order of the tab key; true when one acted on it.
bool OfferDialogChar(HWND parent, WPARAM key) {
  for (HWND w = GetWindow(parent, GW_CHILD); w != nullptr; w = GetWindow(w, GW_HWNDNEXT)) {
    if (SendMessageA(w, DialogCharMessage(), key, 0) != 0) return true;
    if (OfferDialogChar(w, key)) return true;
  }
  return false;
}

// A letter with Alt, or without it where the focused control takes no
// typing (a button, a check box): a shortcut, as the dialog keyboard
// handling reads it.
bool IsShortcut(const MSG& msg) {
  if (msg.message == WM_SYSCHAR) return true;
  if (msg.message != WM_CHAR) return false;
  return (SendMessageA(msg.hwnd, WM_GETDLGCODE, msg.wParam, reinterpret_cast<LPARAM>(&msg)) &
          (DLGC_WANTCHARS | DLGC_WANTMESSAGE)) == 0;
}

void Dispatch(MSG& msg) {
  HWND root = msg.hwnd ? GetAncestor(msg.hwnd, GA_ROOT) : nullptr;
  if (root != nullptr && (GetWindowLongPtrA(root, GWL_EXSTYLE) & WS_EX_CONTROLPARENT)) {
    if (IsShortcut(msg) && OfferDialogChar(root, msg.wParam)) return;
    if (IsDialogMessageA(root, &msg)) return;
  }
  TranslateMessage(&msg);
  DispatchMessageA(&msg);
}

// Other windows of the thread are disabled while a form is modal.
struct DisabledWindows {
  std::vector<HWND> windows;
  HWND except;
  explicit DisabledWindows(HWND form) : except(form) {
    EnumThreadWindows(
        GetCurrentThreadId(),
        [](HWND w, LPARAM self) -> BOOL {
          auto* d = reinterpret_cast<DisabledWindows*>(self);
          if (w != d->except && IsWindowVisible(w) && IsWindowEnabled(w)) d->windows.push_back(w);
          return TRUE;
        },
        reinterpret_cast<LPARAM>(this));
    for (HWND w : windows) EnableWindow(w, FALSE);
  }
  ~DisabledWindows() {
    for (HWND w : windows)
      if (IsWindow(w)) EnableWindow(w, TRUE);
  }
  DisabledWindows(const DisabledWindows&) = delete;
  DisabledWindows& operator=(const DisabledWindows&) = delete;
};

}  // namespace

bool ProcessPendingMessages() {
  MSG msg;
  while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
    if (msg.message == WM_QUIT) {
      PostQuitMessage(static_cast<int>(msg.wParam));
      return false;
    }
    Dispatch(msg);
  }
  return true;
}

void TApplication::Initialize() {
  if (ownWindow_ != nullptr) return;
  ownWindow_ = std::make_unique<MessageWindow>(MessageWindow::Args{.ClassName = ApplicationClass,
                                                                    .Type = MessageWindow::Kind::HiddenTopLevel,
                                                                    .Title = Title.c_str(),
                                                                    .ExStyle = WS_EX_TOOLWINDOW});
  Handle = ownWindow_->Handle();
}

TApplication::~TApplication() = default;

void TApplication::CreateForm(TForm& form) {
  if (MainForm == nullptr) MainForm = &form;
}

void TApplication::ProcessMessages() {
  if (!ProcessPendingMessages()) terminated_ = true;
}

void TApplication::HandleMessage() {
  MSG msg;
  BOOL got = GetMessageA(&msg, nullptr, 0, 0);
  if (got == 0 || got == -1) {
    terminated_ = true;
    return;
  }
  Dispatch(msg);
}

void TApplication::Run() {
  if (MainForm != nullptr) MainForm->Show();
  while (!terminated_) HandleMessage();
}

void TApplication::Terminate() {
  if (!terminated_) PostQuitMessage(0);
  terminated_ = true;
}

bool TApplication::HelpCommand(UINT command, ULONG_PTR data) {
  if (HelpFile.empty()) return false;
  return ui::Current().Help(Handle, HelpFile, command, data) != FALSE;
}

int TApplication::MessageBox(const std::string& text, const std::string& caption, UINT flags) {
  return ui::Message(Handle, text, caption, flags);
}

void TApplication::ShowException(const std::string& message) {
  std::string text = message;
  if (!text.empty() && text.back() > '.') text += '.';
  ui::Message(Handle, text, Title, MB_OK | MB_ICONSTOP);
}

void TApplication::HandleException(TObject* sender) {
  try {
    throw;
  } catch (const Exception& e) {
    if (OnException) OnException(sender, e.Message);
    else ShowException(e.Message);
  } catch (const std::exception& e) {
    if (OnException) OnException(sender, e.what());
    else ShowException(e.what());
  } catch (...) {
  }
}

void TScreen::SetCursor(int cursor) {
  cursor_ = cursor;
  ui::Current().Cursor(cursor);
}

TForm::TForm(const TFormArgs& a) : TWinControl(nullptr, a.Name), position_(a.Position) {
  form_ = this;
  const char* className = a.ClassName.empty() ? FormClass : a.ClassName.c_str();
  RegisterFormsClass(className, FormProc, reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1));
  DWORD style = WS_CLIPCHILDREN, exStyle = WS_EX_CONTROLPARENT;
  switch (a.BorderStyle) {
    case TBorderStyle::bsNone: style |= WS_POPUP; break;
    case TBorderStyle::bsSingle: style |= WS_CAPTION | WS_BORDER; break;
    case TBorderStyle::bsSizeable: style |= WS_OVERLAPPEDWINDOW & ~(WS_SYSMENU | WS_MINIMIZEBOX | WS_MAXIMIZEBOX); break;
    case TBorderStyle::bsDialog: style |= WS_CAPTION | DS_MODALFRAME; exStyle |= WS_EX_DLGMODALFRAME; break;
  }
  if (a.BorderStyle != TBorderStyle::bsNone && (a.BorderIcons & biSystemMenu)) {
    style |= WS_SYSMENU;
    if (a.BorderStyle != TBorderStyle::bsDialog) {
      if (a.BorderIcons & biMinimize) style |= WS_MINIMIZEBOX;
      if (a.BorderIcons & biMaximize) style |= WS_MAXIMIZEBOX;
    }
    if (a.BorderIcons & biHelp) exStyle |= WS_EX_CONTEXTHELP;
  }
  if (a.StayOnTop) exStyle |= WS_EX_TOPMOST;
  RECT r{0, 0, ScaleToDpi(a.ClientWidth), ScaleToDpi(a.ClientHeight)};
  AdjustWindowRectEx(&r, style, FALSE, exStyle);
  HWND owner = a.Owner ? a.Owner : Application.Handle;
  handle_ = CreateWindowExA(exStyle, className, a.Caption.c_str(), style, CW_USEDEFAULT, CW_USEDEFAULT,
                            r.right - r.left, r.bottom - r.top, owner, nullptr, FormsInstance(), this);
  if (handle_ == nullptr) throw Exception("Could not create the window of " + Name + ".");
  SendMessageA(handle_, WM_SETFONT, reinterpret_cast<WPARAM>(FormsFont()), FALSE);
}

TForm::~TForm() {
  if (handle_ != nullptr) {
    SetWindowLongPtrA(handle_, GWLP_USERDATA, 0);
    DestroyWindow(handle_);
    handle_ = nullptr;
  }
}

void TForm::DoCreate() {
  if (OnCreate) OnCreate(this);
}

void TForm::DoDestroy() {
  if (destroyed_) return;
  destroyed_ = true;
  if (OnDestroy) OnDestroy(this);
}

int TForm::ClientWidth() const {
  RECT r{};
  GetClientRect(handle_, &r);
  return r.right;
}

int TForm::ClientHeight() const {
  RECT r{};
  GetClientRect(handle_, &r);
  return r.bottom;
}

void TForm::Center() {
  RECT work{}, w{};
  SystemParametersInfoA(SPI_GETWORKAREA, 0, &work, 0);
  GetWindowRect(handle_, &w);
  int width = w.right - w.left, height = w.bottom - w.top;
  SetWindowPos(handle_, nullptr, work.left + (work.right - work.left - width) / 2,
               work.top + (work.bottom - work.top - height) / 2, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

void TForm::SetVisible(bool value) {
  if (value == Visible()) {
    if (value) SetForegroundWindow(handle_);
    return;
  }
  if (value) {
    if (OnShow) OnShow(this);
    if (position_ == TPosition::poScreenCenter) Center();
    ShowWindow(handle_, SW_SHOWNORMAL);
    if (HWND first = GetNextDlgTabItem(handle_, nullptr, FALSE)) ::SetFocus(first);
    UpdateWindow(handle_);
  } else {
    ShowWindow(handle_, SW_HIDE);
  }
}

int TForm::ShowModal() {
  if (Visible() || modal_) throw Exception("Cannot make a visible window modal");
  modalResult_ = mrNone;
  modal_ = true;
  struct ModalEnd {
    TForm& form;
    ~ModalEnd() { form.modal_ = false; }
  } end{*this};
  HWND active = GetActiveWindow();
  {
    DisabledWindows disabled(handle_);
    SetVisible(true);
    int answer = ui::Current().ShowModal(*this);
    if (answer != mrNone && modalResult_ == mrNone) modalResult_ = answer;
    while (modalResult_ == mrNone) {
      Application.HandleMessage();
      if (Application.Terminated() && modalResult_ == mrNone) modalResult_ = mrCancel;
    }
  }
  SetVisible(false);
  if (active != nullptr && IsWindow(active)) SetActiveWindow(active);
  return modalResult_;
}

void TForm::Close() {
  if (OnClose) OnClose(this);
  if (modal_) {
    if (modalResult_ == mrNone) modalResult_ = mrCancel;
  } else {
    SetVisible(false);
    if (Application.MainForm == this) Application.Terminate();  // closing the main form ends the program
  }
}

bool TForm::HelpContext(int context) {
  const std::string& file = HelpFile.empty() ? Application.HelpFile : HelpFile;
  if (file.empty()) return false;
  return ui::Current().Help(handle_, file, HELP_CONTEXT, static_cast<ULONG_PTR>(context)) != FALSE;
}

void TForm::RegisterButton(TButton& button, bool isDefault, bool isCancel) {
  if (isDefault) defaultButton_ = &button;
  if (isCancel) cancelButton_ = &button;
}

LRESULT CALLBACK TForm::FormProc(HWND window, UINT msg, WPARAM wParam, LPARAM lParam) {
  auto* self = static_cast<TForm*>(WindowObject(window, msg, lParam));
  if (self == nullptr) return DefWindowProcA(window, msg, wParam, lParam);
  if (msg == WM_NCCREATE) self->handle_ = window;
  try {
    return self->FormMessage(window, msg, wParam, lParam);
  } catch (...) {
    Application.HandleException(self);
  }
  return msg == WM_CLOSE ? 0 : DefWindowProcA(window, msg, wParam, lParam);
}

LRESULT TForm::FormMessage(HWND window, UINT msg, WPARAM wParam, LPARAM lParam) {
  LRESULT result = 0;
  if (ReflectToChild(msg, wParam, lParam, result)) return result;
  switch (msg) {
    case DM_GETDEFID:
      if (defaultButton_ != nullptr && defaultButton_->Enabled())
        return MAKELRESULT(defaultButton_->ControlId(), DC_HASDEFID);
      return 0;
    case WM_COMMAND:
      // Enter and Escape, from the dialog keyboard handling.
      if (lParam == 0 || TControl::FromHandle(reinterpret_cast<HWND>(lParam)) == nullptr) {
        WORD id = LOWORD(wParam);
        if (defaultButton_ != nullptr && (id == defaultButton_->ControlId() || id == IDOK) && defaultButton_->Enabled())
          defaultButton_->Click();
        else if (id == IDCANCEL && cancelButton_ != nullptr && cancelButton_->Enabled())
          cancelButton_->Click();
        return 0;
      }
      break;
    case WM_ACTIVATE:
      if (LOWORD(wParam) == WA_INACTIVE) {
        if (OnDeactivate) OnDeactivate(this);
      } else if (OnActivate) {
        OnActivate(this);
      }
      break;
    case WM_CLOSE:
      Close();
      return 0;
    case WM_SETCURSOR:
      if (Screen.Cursor() == crHourGlass) {
        ::SetCursor(LoadCursorA(nullptr, IDC_WAIT));
        return TRUE;
      }
      break;
    case WM_NCDESTROY:
      handle_ = nullptr;
      return DefWindowProcA(window, msg, wParam, lParam);
    default:
      break;
  }
  return DefWindowProcA(window, msg, wParam, lParam);
}
