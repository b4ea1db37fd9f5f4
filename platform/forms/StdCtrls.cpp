#include "StdCtrls.h"

#include <algorithm>

#include "Forms.h"

namespace {
// The letter after the first single '&' of a caption ("&&" shows one '&').
char Accelerator(const std::string& caption) {
  for (size_t i = 0; i + 1 < caption.size(); ++i) {
    if (caption[i] != '&') continue;
    if (caption[i + 1] != '&') return caption[i + 1];
    ++i;
  }
  return '\0';
}

bool SameLetter(char a, char b) {
  return a != '\0' && AnsiUpperCase(std::string(1, a)) == AnsiUpperCase(std::string(1, b));
}
}  // namespace

TLabel::TLabel(TWinControl* parent, std::string name, const TLabelArgs& a)
    : TControl(parent, std::move(name)), FocusControl(a.FocusControl), showAccelChar_(a.ShowAccelChar) {
  DWORD style = WS_VISIBLE | (a.Centered ? SS_CENTER : a.WordWrap ? SS_LEFT : SS_LEFTNOWORDWRAP);
  if (!a.ShowAccelChar) style |= SS_NOPREFIX;
  CreateHandle("STATIC", style, 0, a.Bounds, a.Caption);
  if (a.Bold) {
    bold_ = CreateBoldFont();
    SendMessageA(handle_, WM_SETFONT, reinterpret_cast<WPARAM>(bold_.Get()), FALSE);
  }
}

// The window goes before the font it shows.
TLabel::~TLabel() {
  if (handle_ != nullptr) DestroyWindow(handle_);
}

bool TLabel::Message(UINT msg, WPARAM wParam, LPARAM, LRESULT& result) {
  // The dialog keyboard handling would take a static control's letter for
  // itself, to no effect in a form (no dialog window); the label answers its
  // letter itself, and one it cannot act on goes on to the next control.
  if (msg == WM_GETDLGCODE) {
    result = 0;
    return true;
  }
  if (msg != DialogCharMessage()) return false;
  result = 0;
  if (FocusControl == nullptr || !showAccelChar_ || !CanFocus() || !FocusControl->CanFocus() ||
      !SameLetter(Accelerator(Caption()), static_cast<char>(wParam)))
    return true;
  // A one-line edit is entered with its text selected, as the tab key
  // enters it; a memo keeps its caret, so that typing replaces nothing.
  HWND target = FocusControl->Handle();
  if ((SendMessageA(target, WM_GETDLGCODE, 0, 0) & DLGC_HASSETSEL) &&
      !(GetWindowLongPtrA(target, GWL_STYLE) & ES_MULTILINE))
    SendMessageA(target, EM_SETSEL, 0, -1);
  FocusControl->SetFocus();
  result = 1;
  return true;
}

TEdit::TEdit(TWinControl* parent, std::string name) : TControl(parent, std::move(name)) {}

TEdit::TEdit(TWinControl* parent, std::string name, const TEditArgs& a) : TControl(parent, std::move(name)) {
  CreateHandle("EDIT", WS_VISIBLE | WS_TABSTOP | ES_AUTOHSCROLL, WS_EX_CLIENTEDGE, a.Bounds, a.Text);
}

TEdit::~TEdit() {
  if (handle_ != nullptr) DestroyWindow(handle_);
}

void TEdit::SetColor(COLORREF color) {
  brush_.Reset(color == static_cast<COLORREF>(-1) ? nullptr : CreateSolidBrush(color));
  color_ = color;
  Invalidate();
}

void TEdit::Command(WORD code) {
  if (code == EN_CHANGE && OnChange) OnChange(this);
}

HBRUSH TEdit::ControlColor(HDC dc) {
  if (!brush_) return nullptr;
  SetBkColor(dc, color_);
  return brush_.Get();
}

TMemo::TMemo(TWinControl* parent, std::string name, const TMemoArgs& a) : TEdit(parent, std::move(name)) {
  DWORD style = WS_VISIBLE | WS_TABSTOP | ES_MULTILINE | ES_AUTOVSCROLL | ES_WANTRETURN;
  if (a.VerticalScrollBar) style |= WS_VSCROLL;
  if (!a.WordWrap) style |= ES_AUTOHSCROLL | WS_HSCROLL;
  if (a.ReadOnly) style |= ES_READONLY;
  CreateHandle("EDIT", style, WS_EX_CLIENTEDGE, a.Bounds, "");
  SendMessageA(handle_, EM_SETLIMITTEXT, 0, 0);
}

std::vector<std::string> TMemoLines::Split() const {
  TStringList list;
  list.SetText(memo_.Text());
  std::vector<std::string> lines;
  for (int i = 0; i < list.Count(); ++i) lines.push_back(list.At(i));
  return lines;
}

// Every line of the text ends with CR LF, as lines added one by one leave it.
void TMemoLines::Join(const std::vector<std::string>& lines) {
  std::string text;
  for (const auto& line : lines) text += line + "\r\n";
  memo_.SetText(text);
}

int TMemoLines::Count() const { return KnownTail().count; }

std::string TMemoLines::Text() const {
  TStringList lines;
  lines.SetText(memo_.Text());
  return lines.Text();
}

const TMemoLines::Tail& TMemoLines::KnownTail() const {
  if (!memo_.pending_.empty()) return tail_;
  int length = GetWindowTextLengthA(memo_.Handle());
  if (tail_.count < 0 || tail_.length != length) {
    std::string text = memo_.Text();
    TStringList lines;
    lines.SetText(text);
    tail_ = {lines.Count(), static_cast<int>(text.size()), text.empty() ? '\0' : text.back()};
  }
  return tail_;
}

namespace {
constexpr UINT_PTR FlushTimer = 0x564D;  // not one of the edit control's own
}

// Under Wine every line the edit control takes costs time in proportion to
// the whole text, and a painting when it is shown: a log of 10,000 lines took
// minutes. Lines that come faster than the eye can follow go to the window
// together, at most every TPacer::Interval, and, as the text grows, at most
// every ten times what the last took, so that a run logging a line a message
// spends a tenth of its time here at the very most. A message to the window
// takes them first, so whatever reads the text has every line.
void TMemo::Append(const std::string& text) {
  const auto wait = static_cast<UINT>(std::max<ULONGLONG>(TPacer::Interval, 10 * flushMs_));
  if (pending_.empty() && SetTimer(handle_, FlushTimer, wait, nullptr) == 0) {
    pending_ = text;
    Flush();
    return;
  }
  pending_ += text;
}

void TMemo::Flush() {
  if (pending_.empty()) return;
  const ULONGLONG start = GetTickCount64();
  KillTimer(handle_, FlushTimer);
  const std::string text = std::move(pending_);
  pending_.clear();
  const TMemoLines::Tail known = Lines.tail_;
  const auto end = static_cast<WPARAM>(GetWindowTextLengthW(handle_));
  SendMessageA(handle_, EM_SETSEL, end, static_cast<LPARAM>(end));
  SendMessageA(handle_, EM_REPLACESEL, FALSE, reinterpret_cast<LPARAM>(text.c_str()));
  Lines.tail_ = known;
  flushMs_ = GetTickCount64() - start;
}

// Any change of the text but the memo's own appending makes it read the
// text again at the next Add.
bool TMemo::Message(UINT msg, WPARAM wParam, LPARAM, LRESULT& result) {
  Flush();
  if (msg == WM_TIMER && wParam == FlushTimer) {
    result = 0;
    return true;
  }
  switch (msg) {
    case WM_SETTEXT:
    case WM_CHAR:
    case WM_KEYDOWN:
    case WM_PASTE:
    case WM_CUT:
    case WM_CLEAR:
    case WM_UNDO:
    case EM_UNDO:
    case EM_REPLACESEL:
      Lines.tail_.count = -1;
      break;
    default:
      break;
  }
  return false;
}

std::string TMemoLines::Get(int index) const {
  auto lines = Split();
  if (index < 0 || index >= static_cast<int>(lines.size()))
    throw EStringListError(Format("List index out of bounds (%d)", {index}));
  return lines[static_cast<size_t>(index)];
}

void TMemoLines::Insert(int index, const std::string& s) {
  auto lines = Split();
  if (index < 0 || index > static_cast<int>(lines.size()))
    throw EStringListError(Format("List index out of bounds (%d)", {index}));
  lines.insert(lines.begin() + index, s);
  Join(lines);
}

void TMemoLines::Delete(int index) {
  auto lines = Split();
  if (index < 0 || index >= static_cast<int>(lines.size()))
    throw EStringListError(Format("List index out of bounds (%d)", {index}));
  lines.erase(lines.begin() + index);
  Join(lines);
}

void TMemoLines::Clear() { memo_.SetText(""); }

// Appends at the end of the text without reading or rewriting it, so each
// line of a long log costs the same.
int TMemoLines::Add(const std::string& s) {
  Tail tail = KnownTail();
  bool atLineStart = tail.last == '\0' || tail.last == '\n' || tail.last == '\r';
  std::string piece = (atLineStart ? "" : "\r\n") + s + "\r\n";
  // A CR at the end of the text and an LF at the start of the line make one
  // break.
  int breaks = 0;
  for (size_t i = tail.last == '\r' && piece[0] == '\n' ? 1 : 0; i < piece.size(); ++i) {
    if (piece[i] == '\r' && i + 1 < piece.size() && piece[i + 1] == '\n') ++i;
    if (piece[i] == '\r' || piece[i] == '\n') ++breaks;
  }
  memo_.Append(piece);
  // The last line that was not ended counted already; the break that ends it
  // adds none.
  int added = atLineStart ? breaks : breaks - 1;
  tail_ = {tail.count + added, tail.length + static_cast<int>(piece.size()), '\n'};
  return tail.count;
}

TButton::TButton(TWinControl* parent, std::string name, const TButtonArgs& a)
    : TControl(parent, std::move(name)), ModalResult(a.ModalResult) {
  CreateHandle("BUTTON", WS_VISIBLE | WS_TABSTOP | (a.Default ? BS_DEFPUSHBUTTON : BS_PUSHBUTTON), 0, a.Bounds,
               a.Caption);
  if (Form() != nullptr && (a.Default || a.Cancel)) Form()->RegisterButton(*this, a.Default, a.Cancel);
}

void TButton::Click() {
  if (ModalResult != mrNone && Form() != nullptr) Form()->SetModalResult(ModalResult);
  if (OnClick) OnClick(this);
}

void TButton::Command(WORD code) {
  if (code == BN_CLICKED) Click();
}

TCheckBox::TCheckBox(TWinControl* parent, std::string name, const TCheckBoxArgs& a)
    : TControl(parent, std::move(name)) {
  CreateHandle("BUTTON", WS_VISIBLE | WS_TABSTOP | BS_AUTOCHECKBOX | (a.WordWrap ? BS_MULTILINE : 0), 0, a.Bounds,
               a.Caption);
  SetChecked(a.Checked);
}

bool TCheckBox::Checked() const { return SendMessageA(handle_, BM_GETCHECK, 0, 0) == BST_CHECKED; }

void TCheckBox::SetChecked(bool value) {
  SendMessageA(handle_, BM_SETCHECK, value ? BST_CHECKED : BST_UNCHECKED, 0);
}

void TCheckBox::Command(WORD code) {
  if (code == BN_CLICKED && OnClick) OnClick(this);
}

TGroupBox::TGroupBox(TWinControl* parent, std::string name, const TGroupBoxArgs& a)
    : TWinControl(parent, std::move(name)) {
  CreateHandle("BUTTON", WS_VISIBLE | BS_GROUPBOX, WS_EX_CONTROLPARENT, a.Bounds, a.Caption);
}

// A group box paints no background of its own, and its parent clips it out.
bool TGroupBox::Message(UINT msg, WPARAM wParam, LPARAM, LRESULT& result) {
  if (msg != WM_ERASEBKGND) return false;
  RECT r{};
  GetClientRect(handle_, &r);
  FillRect(reinterpret_cast<HDC>(wParam), &r, GetSysColorBrush(COLOR_BTNFACE));
  result = TRUE;
  return true;
}

TListBox::TListBox(TWinControl* parent, std::string name, const TListBoxArgs& a) : TControl(parent, std::move(name)) {
  CreateHandle("LISTBOX", WS_VISIBLE | WS_TABSTOP | WS_VSCROLL | LBS_NOTIFY | LBS_NOINTEGRALHEIGHT, WS_EX_CLIENTEDGE,
               a.Bounds, "");
}

int TListBox::ItemIndex() const { return static_cast<int>(SendMessageA(handle_, LB_GETCURSEL, 0, 0)); }

void TListBox::SetItemIndex(int index) { SendMessageA(handle_, LB_SETCURSEL, static_cast<WPARAM>(index), 0); }

int TListBox::ItemAtPos(int x, int y) const {
  LRESULT r = SendMessageA(handle_, LB_ITEMFROMPOINT, 0, MAKELPARAM(x, y));
  if (HIWORD(r) != 0) return -1;  // outside every line
  return LOWORD(r);
}

void TListBox::Command(WORD code) {
  if (code == LBN_SELCHANGE && OnClick) OnClick(this);
  if (code == LBN_DBLCLK && OnDblClick) OnDblClick(this);
}

void TListBoxItems::Check(int index) const {
  if (index < 0 || index >= Count()) throw EStringListError(Format("List index out of bounds (%d)", {index}));
}

int TListBoxItems::Count() const { return static_cast<int>(SendMessageA(box_.Handle(), LB_GETCOUNT, 0, 0)); }

std::string TListBoxItems::Get(int index) const {
  Check(index);
  auto n = SendMessageA(box_.Handle(), LB_GETTEXTLEN, static_cast<WPARAM>(index), 0);
  std::string text(static_cast<size_t>(n) + 1, '\0');
  n = SendMessageA(box_.Handle(), LB_GETTEXT, static_cast<WPARAM>(index), reinterpret_cast<LPARAM>(text.data()));
  text.resize(static_cast<size_t>(n > 0 ? n : 0));
  return text;
}

TObject* TListBoxItems::GetObject(int index) const {
  Check(index);
  return reinterpret_cast<TObject*>(SendMessageA(box_.Handle(), LB_GETITEMDATA, static_cast<WPARAM>(index), 0));
}

void TListBoxItems::PutObject(int index, TObject* object) {
  Check(index);
  SendMessageA(box_.Handle(), LB_SETITEMDATA, static_cast<WPARAM>(index), reinterpret_cast<LPARAM>(object));
}

void TListBoxItems::Insert(int index, const std::string& s) {
  if (index < 0 || index > Count()) throw EStringListError(Format("List index out of bounds (%d)", {index}));
  SendMessageA(box_.Handle(), LB_INSERTSTRING, static_cast<WPARAM>(index), reinterpret_cast<LPARAM>(s.c_str()));
}

void TListBoxItems::Delete(int index) {
  Check(index);
  SendMessageA(box_.Handle(), LB_DELETESTRING, static_cast<WPARAM>(index), 0);
}

void TListBoxItems::Clear() { SendMessageA(box_.Handle(), LB_RESETCONTENT, 0, 0); }

int TListBoxItems::Add(const std::string& s) {
  return static_cast<int>(SendMessageA(box_.Handle(), LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(s.c_str())));
}
