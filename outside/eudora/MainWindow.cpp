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

void MainWindow::Refresh() {
  lines_.clear();
  std::string title = "Eudora";
  if (!program_->OpenFolder.empty()) {
    mailstore::Profile& store = *program_->Store;
    title += " - [" + FolderName(store, program_->OpenFolder) + "]";
    for (auto& [serial, e] : store.Entries(program_->OpenFolder)) {
      if (e.Deleted) continue;
      lines_.push_back({e.Replied ? "R" : e.Read ? "" : "\x95",
                        e.Received ? FormatDateTime("h:nn AM/PM m/d/yyyy", *e.Received) : std::string(), e.Subject});
    }
  }
  SetWindowTextA(window_, title.c_str());
  SendMessageA(list_, LVM_SETITEMCOUNT, lines_.size(), 0);
  InvalidateRect(list_, nullptr, TRUE);
}

void MainWindow::Text(NMLVDISPINFOA& info) {
  if (!(info.item.mask & LVIF_TEXT) || info.item.iItem < 0 || static_cast<size_t>(info.item.iItem) >= lines_.size())
    return;
  const Line& line = lines_[static_cast<size_t>(info.item.iItem)];
  const std::string& text = info.item.iSubItem == 0 ? line.State : info.item.iSubItem == 1 ? line.Arrived : line.Subject;
  lstrcpynA(info.item.pszText, text.c_str(), info.item.cchTextMax);
}

LRESULT MainWindow::Handle(UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_SIZE:
      MoveWindow(list_, 0, 0, LOWORD(lParam), HIWORD(lParam), TRUE);
      return 0;
    case WM_NOTIFY: {
      auto* header = reinterpret_cast<NMHDR*>(lParam);
      if (header->hwndFrom == list_ && header->code == LVN_GETDISPINFOA) Text(*reinterpret_cast<NMLVDISPINFOA*>(lParam));
      return 0;
    }
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
