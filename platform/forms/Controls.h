#pragma once
// The visual component library in miniature: every control is a real Win32
// window whose wrapper is bound to it through window subclass data. A parent
// reflects WM_COMMAND, WM_NOTIFY, scroll, colour and draw messages to the
// wrapper of the child that sent them, which turns them into events.
#include <windows.h>

#include <functional>
#include <string>

#include "Handles.h"
#include "SysUtils.h"

class TForm;
class TWinControl;
class TPopupMenu;

LRESULT CALLBACK ControlProc(HWND, UINT, WPARAM, LPARAM);
bool ReflectToChild(UINT msg, WPARAM wParam, LPARAM lParam, LRESULT& result);
// Sent by a form's keyboard handling to each of its controls, in tab order,
// with a shortcut character in wParam; a control that acts on it answers
// non-zero and the character goes no further. A message, not a call, so
// that a form of one module handles the keys of another's.
UINT DialogCharMessage();

using TNotifyEvent = std::function<void(TObject* Sender)>;
enum class TMouseButton { mbLeft, mbRight, mbMiddle };
using TMouseEvent = std::function<void(TObject* Sender, TMouseButton Button, int X, int Y)>;

// Binds a form's handler, named as the form names it, to an event.
template <class T>
TNotifyEvent Event(T* self, void (T::*handler)(TObject*)) {
  return [self, handler](TObject* sender) { (self->*handler)(sender); };
}

// Position within the parent's client area and size, in pixels. Forms are
// laid out at 96 DPI: the bounds a control is created with, a form's client
// size, status panel and list column widths and the pictures of image lists
// are scaled to the screen's DPI when they are made. What a window answers,
// and what it is given once it exists, are its real pixels.
struct TBounds {
  int Left = 0, Top = 0, Width = 0, Height = 0;
};

class TControl : public TObject {
 public:
  ~TControl() override;
  TControl(const TControl&) = delete;
  TControl& operator=(const TControl&) = delete;

  HWND Handle() const { return handle_; }
  TWinControl* Parent() const { return parent_; }
  TForm* Form() const { return form_; }
  int ControlId() const { return id_; }

  std::string Caption() const;
  void SetCaption(const std::string& text);
  std::string Text() const { return Caption(); }
  void SetText(const std::string& text) { SetCaption(text); }
  bool Enabled() const { return handle_ != nullptr && IsWindowEnabled(handle_); }
  void SetEnabled(bool value);
  // The control's own visibility, whether or not its form is shown.
  bool Visible() const { return handle_ != nullptr && (GetWindowLongPtrA(handle_, GWL_STYLE) & WS_VISIBLE); }
  virtual void SetVisible(bool value);
  void Show() { SetVisible(true); }
  void Hide() { SetVisible(false); }
  TBounds Bounds() const;
  void SetBounds(const TBounds& bounds);
  void SetFocus();
  // Whether the keyboard focus can go to it: it and every window it lies in
  // are visible and enabled.
  bool CanFocus() const;
  void Invalidate();

  std::string Name;
  TPopupMenu* PopupMenu = nullptr;
  TMouseEvent OnMouseDown;

  // The wrapper of a window made by this module's forms layer, or null.
  static TControl* FromHandle(HWND window);

 protected:
  TControl(TWinControl* parent, std::string name);
  // Creates the control's window; each control's constructor calls it once.
  void CreateHandle(const char* className, DWORD style, DWORD exStyle, const TBounds& bounds,
                    const std::string& text);
  // Messages the parent reflects to the child that sent them.
  virtual void Command(WORD code);
  virtual bool Notify(NMHDR* header, LRESULT& result);
  virtual void Scrolled(WORD code);
  virtual HBRUSH ControlColor(HDC dc);
  virtual void Draw(const DRAWITEMSTRUCT& item);
  // Messages to the control's own window; true when handled.
  virtual bool Message(UINT msg, WPARAM wParam, LPARAM lParam, LRESULT& result);

  friend bool ReflectToChild(UINT, WPARAM, LPARAM, LRESULT&);
  friend LRESULT CALLBACK ControlProc(HWND, UINT, WPARAM, LPARAM);
  friend class TForm;

  HWND handle_ = nullptr;

 private:
  TWinControl* parent_;
  TForm* form_;
  int id_ = 0;
};

// A control that holds other controls.
class TWinControl : public TControl {
 protected:
  using TControl::TControl;
};

// ReflectToChild, shared by form and container windows, hands a child's
// notification to the child's wrapper; true when the message was handled.

// The module that holds this copy of the forms layer (the program or a plug-in).
HINSTANCE FormsInstance();
// Registers a window class of this module (see RegisterModuleClass).
void RegisterFormsClass(const char* name, WNDPROC proc, HBRUSH background);
// The class of the plain windows that hold other controls (panels, pages),
// registered on first use.
const char* ContainerClass();
// The screen's DPI, which forms are scaled to (96 when the screen cannot
// tell). The system's font already has the size of that DPI.
int FormsDpi();
// Puts another DPI in place of the screen's, for forms made from now on;
// 0 gives the screen's back.
void SetFormsDpi(int dpi);
// A length laid out at 96 DPI, in the screen's pixels, and back.
int ScaleToDpi(int pixels);
int ScaleFromDpi(int pixels);
// The font of every form and control.
HFONT FormsFont();
// A font of the form's face, bold.
FontHandle CreateBoldFont();
