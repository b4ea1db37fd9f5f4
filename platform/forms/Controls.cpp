#include "Controls.h"

#include <commctrl.h>

#include <mutex>
#include <optional>
#include <unordered_map>

#include "Forms.h"
#include "Menus.h"
#include "MessageWindow.h"

namespace {
// A window is bound to its control object by the forms layer of the module
// that made it, and by no other: each module keeps its own table, so a
// plug-in never takes the host's or another plug-in's windows for its own.
// The table replaces window properties and comctl32's subclassing, which
// under Wine look up a window property in the server on every message
// (about 35 us each, three per message).
struct Binding {
  TControl* Control;
  WNDPROC Previous;
};

class BindingTable {
 public:
  void Add(HWND window, Binding binding) {
    std::lock_guard lock(mutex_);
    table_[window] = binding;
  }
  std::optional<Binding> Find(HWND window) {
    std::lock_guard lock(mutex_);
    auto found = table_.find(window);
    if (found == table_.end()) return std::nullopt;
    return found->second;
  }
  void Remove(HWND window) {
    std::lock_guard lock(mutex_);
    table_.erase(window);
  }

 private:
  std::mutex mutex_;
  std::unordered_map<HWND, Binding> table_;
};

// Never destroyed: windows may still be destroyed while the module's
// statics are (a form that outlives main, windows destroyed at exit).
BindingTable& Bindings() {
  static BindingTable* const table = new BindingTable;
  return *table;
}

int dpiInPlace = 0;

int ScreenDpi() {
  static const int dpi = [] {
    HDC screen = GetDC(nullptr);
    int value = screen ? GetDeviceCaps(screen, LOGPIXELSY) : 0;
    if (screen) ReleaseDC(nullptr, screen);
    return value > 0 ? value : 96;
  }();
  return dpi;
}
}  // namespace

int FormsDpi() { return dpiInPlace > 0 ? dpiInPlace : ScreenDpi(); }

void SetFormsDpi(int dpi) { dpiInPlace = dpi > 0 ? dpi : 0; }

int ScaleToDpi(int pixels) { return MulDiv(pixels, FormsDpi(), 96); }

int ScaleFromDpi(int pixels) { return MulDiv(pixels, 96, FormsDpi()); }

HINSTANCE FormsInstance() { return ThisModule(); }

HFONT FormsFont() { return static_cast<HFONT>(GetStockObject(DEFAULT_GUI_FONT)); }

FontHandle CreateBoldFont() {
  LOGFONTA font{};
  GetObjectA(FormsFont(), sizeof font, &font);
  font.lfWeight = FW_BOLD;
  return FontHandle(CreateFontIndirectA(&font));
}

void RegisterFormsClass(const char* name, WNDPROC proc, HBRUSH background) {
  RegisterModuleClass(name, proc, background, LoadCursorA(nullptr, IDC_ARROW));
}

const char* ContainerClass() {
  static const char* const name = [] {
    RegisterFormsClass("VantleContainer", DefWindowProcA, reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1));
    return "VantleContainer";
  }();
  return name;
}

TControl::TControl(TWinControl* parent, std::string name)
    : Name(std::move(name)), parent_(parent), form_(parent ? parent->Form() : nullptr) {}

TControl::~TControl() {
  if (handle_ != nullptr) DestroyWindow(handle_);
}

void TControl::CreateHandle(const char* className, DWORD style, DWORD exStyle, const TBounds& b,
                            const std::string& text) {
  static const bool initialized = [] {
    INITCOMMONCONTROLSEX icc{sizeof icc, ICC_WIN95_CLASSES | ICC_DATE_CLASSES | ICC_TAB_CLASSES |
                                             ICC_PROGRESS_CLASS | ICC_BAR_CLASSES | ICC_ANIMATE_CLASS |
                                             ICC_LISTVIEW_CLASSES};
    return InitCommonControlsEx(&icc) != FALSE;
  }();
  (void)initialized;
  if (form_ != nullptr && form_ != this) id_ = form_->NextControlId();
  HWND parentWindow = parent_ ? parent_->Handle() : nullptr;
  // The edges are scaled rather than the sizes, so that controls that line
  // up at 96 DPI line up at any other.
  int left = ScaleToDpi(b.Left), top = ScaleToDpi(b.Top);
  int right = ScaleToDpi(b.Left + b.Width), bottom = ScaleToDpi(b.Top + b.Height);
  handle_ = CreateWindowExA(exStyle, className, text.c_str(), style | (parentWindow ? WS_CHILD : 0), left, top,
                            right - left, bottom - top, parentWindow,
                            reinterpret_cast<HMENU>(static_cast<INT_PTR>(id_)), FormsInstance(), nullptr);
  if (handle_ == nullptr) throw Exception("Could not create the window of " + Name + ".");
  Bindings().Add(handle_, {this, reinterpret_cast<WNDPROC>(GetWindowLongPtrA(handle_, GWLP_WNDPROC))});
  SetWindowLongPtrA(handle_, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(ControlProc));
  SendMessageA(handle_, WM_SETFONT, reinterpret_cast<WPARAM>(FormsFont()), FALSE);
}

TControl* TControl::FromHandle(HWND window) {
  if (window == nullptr) return nullptr;
  std::optional<Binding> binding = Bindings().Find(window);
  return binding ? binding->Control : nullptr;
}

std::string TControl::Caption() const {
  int n = GetWindowTextLengthA(handle_);
  std::string text(static_cast<size_t>(n) + 1, '\0');
  n = GetWindowTextA(handle_, text.data(), n + 1);
  text.resize(static_cast<size_t>(n > 0 ? n : 0));
  return text;
}

void TControl::SetCaption(const std::string& text) { SetWindowTextA(handle_, text.c_str()); }

void TControl::SetEnabled(bool value) { EnableWindow(handle_, value); }

void TControl::SetVisible(bool value) { ShowWindow(handle_, value ? SW_SHOWNA : SW_HIDE); }

TBounds TControl::Bounds() const {
  RECT r{};
  GetWindowRect(handle_, &r);
  if (HWND parent = GetParent(handle_); parent != nullptr && (GetWindowLongPtrA(handle_, GWL_STYLE) & WS_CHILD))
    MapWindowPoints(nullptr, parent, reinterpret_cast<POINT*>(&r), 2);
  return {r.left, r.top, r.right - r.left, r.bottom - r.top};
}

void TControl::SetBounds(const TBounds& b) {
  SetWindowPos(handle_, nullptr, b.Left, b.Top, b.Width, b.Height, SWP_NOZORDER | SWP_NOACTIVATE);
}

void TControl::SetFocus() { ::SetFocus(handle_); }

bool TControl::CanFocus() const {
  if (handle_ == nullptr || !IsWindowVisible(handle_)) return false;
  for (HWND w = handle_; w != nullptr; w = (GetWindowLongPtrA(w, GWL_STYLE) & WS_CHILD) ? GetParent(w) : nullptr)
    if (!IsWindowEnabled(w)) return false;
  return true;
}

UINT DialogCharMessage() {
  static const UINT message = RegisterWindowMessageA("VantleDialogChar");
  return message;
}

void TControl::Invalidate() { InvalidateRect(handle_, nullptr, TRUE); }

void TControl::Command(WORD) {}
bool TControl::Notify(NMHDR*, LRESULT&) { return false; }
void TControl::Scrolled(WORD) {}
HBRUSH TControl::ControlColor(HDC) { return nullptr; }
void TControl::Draw(const DRAWITEMSTRUCT&) {}
bool TControl::Message(UINT, WPARAM, LPARAM, LRESULT&) { return false; }

bool ReflectToChild(UINT msg, WPARAM wParam, LPARAM lParam, LRESULT& result) {
  switch (msg) {
    case WM_COMMAND:
      if (TControl* child = TControl::FromHandle(reinterpret_cast<HWND>(lParam))) {
        child->Command(HIWORD(wParam));
        result = 0;
        return true;
      }
      return false;
    case WM_NOTIFY: {
      auto* header = reinterpret_cast<NMHDR*>(lParam);
      if (TControl* child = TControl::FromHandle(header->hwndFrom)) return child->Notify(header, result);
      return false;
    }
    case WM_HSCROLL:
    case WM_VSCROLL:
      if (TControl* child = TControl::FromHandle(reinterpret_cast<HWND>(lParam))) {
        child->Scrolled(LOWORD(wParam));
        result = 0;
        return true;
      }
      return false;
    case WM_CTLCOLOREDIT:
    case WM_CTLCOLORSTATIC:
    case WM_CTLCOLORLISTBOX:
      if (TControl* child = TControl::FromHandle(reinterpret_cast<HWND>(lParam))) {
        if (HBRUSH brush = child->ControlColor(reinterpret_cast<HDC>(wParam))) {
          result = reinterpret_cast<LRESULT>(brush);
          return true;
        }
      }
      return false;
    case WM_DRAWITEM: {
      auto* item = reinterpret_cast<DRAWITEMSTRUCT*>(lParam);
      if (TControl* child = TControl::FromHandle(item->hwndItem)) {
        child->Draw(*item);
        result = TRUE;
        return true;
      }
      return false;
    }
    default:
      return false;
  }
}

// Every control's window procedure: reflection for its children, the
// control's own messages and events; no exception leaves it.
LRESULT CALLBACK ControlProc(HWND window, UINT msg, WPARAM wParam, LPARAM lParam) {
  std::optional<Binding> binding = Bindings().Find(window);
  if (!binding) return DefWindowProcA(window, msg, wParam, lParam);
  TControl* self = binding->Control;
  try {
    LRESULT result = 0;
    if (ReflectToChild(msg, wParam, lParam, result)) return result;
    switch (msg) {
      case WM_CTLCOLORSTATIC:
      case WM_CTLCOLORBTN:
        // Children of a group box or page get the face colour a dialog
        // gives them; a button's own default would paint them black.
        SetBkColor(reinterpret_cast<HDC>(wParam), GetSysColor(COLOR_BTNFACE));
        return reinterpret_cast<LRESULT>(GetSysColorBrush(COLOR_BTNFACE));
      case WM_LBUTTONDOWN:
      case WM_RBUTTONDOWN:
        if (self->OnMouseDown)
          self->OnMouseDown(self, msg == WM_LBUTTONDOWN ? TMouseButton::mbLeft : TMouseButton::mbRight,
                            static_cast<short>(LOWORD(lParam)), static_cast<short>(HIWORD(lParam)));
        break;
      case WM_CONTEXTMENU:
        if (self->PopupMenu != nullptr) {
          POINT at{static_cast<short>(LOWORD(lParam)), static_cast<short>(HIWORD(lParam))};
          if (lParam == -1) {  // from the keyboard: at the control's corner
            at = {4, 4};
            ClientToScreen(window, &at);
          }
          self->PopupMenu->Popup(window, at.x, at.y);
          return 0;
        }
        break;
      case WM_NCDESTROY:
        Bindings().Remove(window);
        self->handle_ = nullptr;
        return CallWindowProcA(binding->Previous, window, msg, wParam, lParam);
      default:
        break;
    }
    if (self->Message(msg, wParam, lParam, result)) return result;
  } catch (...) {
    Application.HandleException(self);
  }
  return CallWindowProcA(binding->Previous, window, msg, wParam, lParam);
}
