// standin-filebrowse.dll: the suite's handheld file chooser (CFileDll).
//   1 Setup(chooseFile: Boolean, caption, prompt, start folder, owner window: integer)
//   3 SetFilter(description, file type, file type, ...)   files whose type is listed
//   8 Execute() -> Boolean                                  modal; True when chosen
//   5 FileName -> string                                    the chosen handheld path
// With chooseFile False a folder is chosen instead of a file.
//
// For tests (stand-in only): when HKEY_CURRENT_USER
// "Software\Orvik\Tandel32\Stand-in" has the string value "Browse Answer",
// Execute shows no window and answers as a user would have: an empty value
// cancels, any other value is the handheld path chosen (it must name an
// existing file, or folder, of the handheld).
#include <windows.h>
#include <commctrl.h>

#include <algorithm>
#include <vector>

#include "ComServer.h"
#include "FileBrowse.h"
#include "ServerExports.h"
#include "FileBrowseRes.h"
#include "Handheld.h"
#include "Handles.h"
#include "Registry.h"

extern "C" IMAGE_DOS_HEADER __ImageBase;

namespace {

using namespace tandel;
using namespace filebrowse;

constexpr const char* TestKey = "Software\\Orvik\\Tandel32\\Stand-in";
constexpr const char* TestAnswer = "Browse Answer";

class CFileDll final : public DispatchObject {
 public:
  CFileDll();

 private:
  void Setup(DispCall& call) {
    call.RequireArgs(5);
    chooseFile_ = call.ArgBool(0);
    caption_ = call.ArgString(1);
    prompt_ = call.ArgString(2);
    folder_ = call.ArgString(3);
    owner_ = reinterpret_cast<HWND>(static_cast<INT_PTR>(call.ArgInt(4)));
  }

  void SetFilter(DispCall& call) {
    if (call.ArgCount() < 2) throw EOleSysError(DISP_E_BADPARAMCOUNT);
    description_ = call.ArgString(0);
    types_.clear();
    for (int i = 1; i < call.ArgCount(); ++i) types_.push_back(static_cast<DWORD>(call.ArgInt(i)));
  }

  void Execute(DispCall& call) {
    chosen_.clear();
    TRegistry reg(KEY_READ);
    if (reg.OpenKeyReadOnly(TestKey) && reg.ValueExists(TestAnswer)) {
      std::string answer = reg.ReadString(TestAnswer);
      if (!answer.empty()) chosen_ = Checked(answer);
    } else {
      ShowChooser();
    }
    call.Return(Variant(!chosen_.empty()));
  }

  void FileName(DispCall& call) { call.Return(Variant(chosen_)); }

  // What the chooser itself would let a user pick.
  std::string Checked(const std::string& answer) const {
    std::string pc = ToPcPath(answer);
    DWORD attrs = GetFileAttributesA(pc.c_str());
    bool folder = attrs != INVALID_FILE_ATTRIBUTES && (attrs & FILE_ATTRIBUTE_DIRECTORY);
    if (attrs == INVALID_FILE_ATTRIBUTES || folder == chooseFile_)
      Fail(E_INVALIDARG, "Not a " + std::string(chooseFile_ ? "file" : "folder") + " of the handheld: " + answer);
    return NormalizePath(answer);
  }

  bool Matches(const std::string& pcFile) const {
    if (types_.empty()) return true;
    return std::find(types_.begin(), types_.end(), FileType(pcFile)) != types_.end();
  }

  void ShowChooser();
  static INT_PTR CALLBACK DialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);
  void Fill(HWND tree, HTREEITEM parent, const std::string& handheldFolder, const std::string& start,
            HTREEITEM& startItem);
  void OnSelect(HWND dialog);

  struct Item {
    std::string Path;
    bool IsFile;
  };

  static const DispMember Members[];
  bool chooseFile_ = true;
  std::string caption_ = "Browse", prompt_, folder_, description_;
  HWND owner_ = nullptr;
  std::vector<DWORD> types_;
  std::string chosen_;
  std::string failure_;      // what ended the chooser, when it failed
  std::vector<Item> items_;  // the chooser's tree items, by their lParam
};

const DispMember CFileDll::Members[] = {
    {L"Setup", DispSetup, DispKind::Method, Handler<&CFileDll::Setup>},
    {L"SetFilter", DispSetFilter, DispKind::Method, Handler<&CFileDll::SetFilter>},
    {L"FileName", DispFileName, DispKind::Get, Handler<&CFileDll::FileName>},
    {L"Execute", DispExecute, DispKind::Method, Handler<&CFileDll::Execute>},
};

CFileDll::CFileDll() : DispatchObject(Members, {}, "CFileDll") {}

void CFileDll::ShowChooser() {
  failure_.clear();
  INITCOMMONCONTROLSEX icc{sizeof icc, ICC_TREEVIEW_CLASSES};
  InitCommonControlsEx(&icc);
  INT_PTR r = DialogBoxParamA(reinterpret_cast<HINSTANCE>(&__ImageBase), MAKEINTRESOURCEA(IDD_CHOOSER), owner_,
                              &CFileDll::DialogProc, reinterpret_cast<LPARAM>(this));
  if (r == -1) throw EOleSysError(HRESULT_FROM_WIN32(GetLastError()));
  if (!failure_.empty()) Fail(E_FAIL, failure_);
}

void CFileDll::Fill(HWND tree, HTREEITEM parent, const std::string& handheldFolder, const std::string& start,
                    HTREEITEM& startItem) {
  std::vector<std::pair<std::string, bool>> entries;  // name, is folder
  WIN32_FIND_DATAA fd;
  FindHandle find(FindFirstFileA((IncludeTrailingBackslash(ToPcPath(handheldFolder)) + "*").c_str(), &fd));
  if (find) {
    do {
      std::string name = fd.cFileName;
      if (name == "." || name == "..") continue;
      entries.emplace_back(name, (fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0);
    } while (FindNextFileA(find.Get(), &fd));
  }
  // Folders first, then files, each by name.
  std::sort(entries.begin(), entries.end(), [](auto& a, auto& b) {
    return a.second != b.second ? a.second : CompareText(a.first, b.first) < 0;
  });
  for (auto& [name, isFolder] : entries) {
    std::string path;
    try {
      path = NormalizePath(IncludeTrailingBackslash(handheldFolder) + name);
    } catch (const EHandheld&) {
      continue;  // a name the handheld could not hold
    }
    if (!isFolder && (!chooseFile_ || !Matches(ToPcPath(path)))) continue;
    items_.push_back({path, !isFolder});
    TVINSERTSTRUCTA ins{};
    ins.hParent = parent;
    ins.hInsertAfter = TVI_LAST;
    ins.item.mask = TVIF_TEXT | TVIF_PARAM;
    ins.item.pszText = name.data();
    ins.item.lParam = static_cast<LPARAM>(items_.size() - 1);
    HTREEITEM item = reinterpret_cast<HTREEITEM>(SendMessageA(tree, TVM_INSERTITEMA, 0, reinterpret_cast<LPARAM>(&ins)));
    if (isFolder) {
      if (SameText(path, start)) startItem = item;
      Fill(tree, item, path, start, startItem);
    }
  }
}

void CFileDll::OnSelect(HWND dialog) {
  HWND tree = GetDlgItem(dialog, IDC_TREE);
  TVITEMA item{};
  item.mask = TVIF_PARAM;
  item.hItem = reinterpret_cast<HTREEITEM>(SendMessageA(tree, TVM_GETNEXTITEM, TVGN_CARET, 0));
  bool ok = item.hItem && SendMessageA(tree, TVM_GETITEMA, 0, reinterpret_cast<LPARAM>(&item)) &&
            items_.at(static_cast<size_t>(item.lParam)).IsFile == chooseFile_;
  EnableWindow(GetDlgItem(dialog, IDOK), ok);
  SetDlgItemTextA(dialog, IDC_PATH, item.hItem ? items_.at(static_cast<size_t>(item.lParam)).Path.c_str() : "");
}

INT_PTR CALLBACK CFileDll::DialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
  try {
    if (message == WM_INITDIALOG) {
      auto* self = reinterpret_cast<CFileDll*>(lParam);
      SetWindowLongPtrA(dialog, DWLP_USER, lParam);
      SetWindowTextA(dialog, self->caption_.c_str());
      SetDlgItemTextA(dialog, IDC_PROMPT, self->prompt_.c_str());
      SetDlgItemTextA(dialog, IDC_FILTER, self->description_.c_str());
      HWND tree = GetDlgItem(dialog, IDC_TREE);
      self->items_.clear();
      std::string start;
      try {
        start = NormalizePath(self->folder_);
      } catch (const EHandheld&) {
      }
      HTREEITEM startItem = nullptr;
      for (const std::string& drive : Drives()) {
        self->items_.push_back({drive, false});
        TVINSERTSTRUCTA ins{};
        ins.hParent = TVI_ROOT;
        ins.hInsertAfter = TVI_LAST;
        ins.item.mask = TVIF_TEXT | TVIF_PARAM;
        std::string label = drive.substr(0, 2);
        ins.item.pszText = label.data();
        ins.item.lParam = static_cast<LPARAM>(self->items_.size() - 1);
        HTREEITEM item =
            reinterpret_cast<HTREEITEM>(SendMessageA(tree, TVM_INSERTITEMA, 0, reinterpret_cast<LPARAM>(&ins)));
        if (SameText(drive, start)) startItem = item;
        self->Fill(tree, item, drive, start, startItem);
      }
      if (startItem) {
        SendMessageA(tree, TVM_EXPAND, TVE_EXPAND, reinterpret_cast<LPARAM>(startItem));
        SendMessageA(tree, TVM_SELECTITEM, TVGN_CARET, reinterpret_cast<LPARAM>(startItem));
      }
      self->OnSelect(dialog);
      return TRUE;
    }
    auto* self = reinterpret_cast<CFileDll*>(GetWindowLongPtrA(dialog, DWLP_USER));
    if (!self) return FALSE;
    if (message == WM_NOTIFY) {
      auto* n = reinterpret_cast<NMHDR*>(lParam);
      if (n->idFrom == IDC_TREE && n->code == TVN_SELCHANGEDA) self->OnSelect(dialog);
      if (n->idFrom == IDC_TREE && n->code == NM_DBLCLK && IsWindowEnabled(GetDlgItem(dialog, IDOK)))
        PostMessageA(dialog, WM_COMMAND, IDOK, 0);
      return FALSE;
    }
    if (message == WM_COMMAND && (LOWORD(wParam) == IDOK || LOWORD(wParam) == IDCANCEL)) {
      if (LOWORD(wParam) == IDOK) {
        if (!IsWindowEnabled(GetDlgItem(dialog, IDOK))) return TRUE;
        HWND tree = GetDlgItem(dialog, IDC_TREE);
        TVITEMA item{};
        item.mask = TVIF_PARAM;
        item.hItem = reinterpret_cast<HTREEITEM>(SendMessageA(tree, TVM_GETNEXTITEM, TVGN_CARET, 0));
        if (item.hItem && SendMessageA(tree, TVM_GETITEMA, 0, reinterpret_cast<LPARAM>(&item)))
          self->chosen_ = self->items_.at(static_cast<size_t>(item.lParam)).Path;
      }
      EndDialog(dialog, LOWORD(wParam));
      return TRUE;
    }
  } catch (...) {
    // Nothing of a failure may reach the dialog manager; Execute reports it.
    if (auto* self = reinterpret_cast<CFileDll*>(GetWindowLongPtrA(dialog, DWLP_USER))) {
      self->chosen_.clear();
      try {
        throw;
      } catch (const std::exception& e) {
        self->failure_ = e.what();
      } catch (...) {
        self->failure_ = "The chooser failed";
      }
    }
    EndDialog(dialog, IDCANCEL);
    return TRUE;
  }
  return FALSE;
}

ComPtr<IUnknown> CreateCFileDll() { return MakeObject<CFileDll>(); }

const CoClassEntry Classes[] = {
    {&CLSID_CFileDll, &CreateCFileDll, nullptr, "Tandel handheld file chooser", "Apartment"},
};

}  // namespace

VANTLE_SERVER_EXPORTS(Classes)
