#include "MainWindow.h"

#include <commctrl.h>

#include "Eudora.h"

namespace eudora_standin {

namespace {

void RegisterWindowClass() {
  WNDCLASSEXA wc{};
  wc.cbSize = sizeof wc;
  wc.lpfnWndProc = DefWindowProcA;
  wc.hInstance = GetModuleHandleA(nullptr);
  wc.hCursor = LoadCursorA(nullptr, IDC_ARROW);
  wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1);
  wc.lpszClassName = eudora::MainWindowClass;
  RegisterClassExA(&wc);
}

}  // namespace

MainWindow::MainWindow(ProgramPtr program) : program_(std::move(program)) {
  INITCOMMONCONTROLSEX icc{sizeof icc, ICC_LISTVIEW_CLASSES};
  InitCommonControlsEx(&icc);
  RegisterWindowClass();
  window_ = CreateWindowExA(0, eudora::MainWindowClass, "Eudora", WS_OVERLAPPEDWINDOW, CW_USEDEFAULT, CW_USEDEFAULT,
                            640, 420, nullptr, nullptr, GetModuleHandleA(nullptr), nullptr);
  if (!window_) throw Exception("Eudora's main window cannot be made");
  SetWindowLongPtrA(window_, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
  SetWindowLongPtrA(window_, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&Proc));
  RECT r;
  GetClientRect(window_, &r);
  list_ = CreateWindowExA(0, WC_LISTVIEWA, "", WS_CHILD | WS_VISIBLE | LVS_REPORT | LVS_OWNERDATA | LVS_SHOWSELALWAYS,
                          0, 0, r.right, r.bottom, window_, nullptr, GetModuleHandleA(nullptr), nullptr);
  SendMessageA(list_, LVM_SETEXTENDEDLISTVIEWSTYLE, 0, LVS_EX_FULLROWSELECT);
  const std::pair<const char*, int> columns[] = {{"", 24}, {"Date", 140}, {"Subject", 440}};
  int i = 0;
  for (auto [title, width] : columns) {
    LVCOLUMNA column{};
    column.mask = LVCF_TEXT | LVCF_WIDTH;
    column.pszText = const_cast<char*>(title);
    column.cx = width;
    SendMessageA(list_, LVM_INSERTCOLUMNA, i++, reinterpret_cast<LPARAM>(&column));
  }
}

MainWindow::~MainWindow() {
  if (IsWindow(window_)) {
    SetWindowLongPtrA(window_, GWLP_USERDATA, 0);
    DestroyWindow(window_);
  }
}

void MainWindow::Show(bool visible) {
  ShowWindow(window_, visible ? SW_SHOW : SW_HIDE);
  if (visible) SetForegroundWindow(window_);
}

namespace {
constexpr UINT_PTR ListTimer = 1;
constexpr UINT ListDelay = 50;  // milliseconds
}  // namespace

void MainWindow::Refresh() {
  if (!listDue_) listDue_ = SetTimer(window_, ListTimer, ListDelay, nullptr) != 0;
  if (!listDue_) List();
}

void MainWindow::List() {
  serials_.clear();
  folder_ = program_->OpenFolder;
  std::string title = "Eudora";
  if (!folder_.empty()) {
    title += " - [" + FolderName(*program_->Store, folder_) + "]";
    for (auto& [serial, e] : program_->Store->Entries(folder_))
      if (!e.Deleted) serials_.push_back(serial);
  }
  SetWindowTextA(window_, title.c_str());
  SendMessageA(list_, LVM_SETITEMCOUNT, serials_.size(), 0);
  InvalidateRect(list_, nullptr, TRUE);
}

// A line's text is made when the list shows it.
void MainWindow::Text(NMLVDISPINFOA& info) {
  if (!(info.item.mask & LVIF_TEXT) || info.item.iItem < 0 || static_cast<size_t>(info.item.iItem) >= serials_.size())
    return;
  const auto& entries = program_->Store->Entries(folder_);
  auto hit = entries.find(serials_[static_cast<size_t>(info.item.iItem)]);
  std::string text;
  if (hit != entries.end()) {
    const mailstore::Entry& e = hit->second;
    if (info.item.iSubItem == 0) text = e.Replied ? "R" : e.Read ? "" : "\x95";
    else if (info.item.iSubItem == 1) text = e.Received ? FormatDateTime("h:nn AM/PM m/d/yyyy", *e.Received) : "";
    else text = e.Subject;
  }
  lstrcpynA(info.item.pszText, text.c_str(), info.item.cchTextMax);
}

LRESULT MainWindow::Handle(UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_TIMER:
      if (wParam != ListTimer) return DefWindowProcA(window_, message, wParam, lParam);
      KillTimer(window_, ListTimer);
      listDue_ = false;
      List();
      return 0;
    case WM_SIZE:
      MoveWindow(list_, 0, 0, LOWORD(lParam), HIWORD(lParam), TRUE);
      return 0;
    case WM_NOTIFY: {
      auto* header = reinterpret_cast<NMHDR*>(lParam);
      if (header->hwndFrom == list_ && header->code == LVN_GETDISPINFOA) Text(*reinterpret_cast<NMLVDISPINFOA*>(lParam));
      return 0;
    }
    case WM_COPYDATA:
      return TakeStatusPut(*program_, *reinterpret_cast<const COPYDATASTRUCT*>(lParam));
    case WM_CLOSE:
      // The user ends Eudora; clients still connected lose it, as they would a killed one.
      DestroyWindow(window_);
      return 0;
    case WM_DESTROY:
      PostQuitMessage(0);
      return 0;
    default:
      return DefWindowProcA(window_, message, wParam, lParam);
  }
}

LRESULT CALLBACK MainWindow::Proc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  auto* self = reinterpret_cast<MainWindow*>(GetWindowLongPtrA(window, GWLP_USERDATA));
  if (!self) return DefWindowProcA(window, message, wParam, lParam);
  try {
    return self->Handle(message, wParam, lParam);
  } catch (...) {
    return DefWindowProcA(window, message, wParam, lParam);
  }
}

}  // namespace eudora_standin
