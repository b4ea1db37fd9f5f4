// The handheld file chooser as the settings dialog uses it: members 1, 3, 8, 5.
#include <windows.h>
#include <commctrl.h>

#include <atomic>
#include <thread>

#include "ComObj.h"
#include "FileBrowse.h"
#include "TandelFixture.h"

using namespace tandel;
using namespace filebrowse;

namespace {

constexpr const char* TestKey = "Software\\Orvik\\Tandel32\\Stand-in";
constexpr const char* Caption = "Choose the mail store";

std::string Typed(DWORD type, const std::string& rest) {
  std::string s(4, '\0');
  for (int i = 0; i < 4; ++i) s[i] = static_cast<char>((type >> (8 * i)) & 0xFF);
  return s + rest;
}

class FileBrowseTest : public TandelFixture {
 protected:
  void SetUp() override {
    TandelFixture::SetUp();
    PutFile("C:\\Documents\\Vantle\\InBox", Typed(0x1000006D, "in box"));
    PutFile("C:\\Documents\\Vantle\\Letter", Typed(0x10000077, "a letter"));
    PutFile("C:\\Documents\\Agenda", Typed(0x10000050, "agenda"));
    browse_ = CreateOleObjectById();
    browse_.Call(DispSetup, {Variant(true), Variant(Caption), Variant("Where is the store?"),
                             Variant("C:\\Documents\\Vantle\\"), Variant(0)});
    browse_.Call(DispSetFilter,
                 {Variant("Data Files"), Variant(FileTypeData1), Variant(FileTypeData2), Variant(FileTypeData3)});
  }

  static Variant CreateOleObjectById() { return Variant(CreateDispatch(CLSID_CFileDll, IID_IDispatch, CLSCTX_INPROC_SERVER)); }

  void SetAnswer(const char* answer) {
    TRegistry reg;
    ASSERT_TRUE(reg.OpenKey(TestKey, true));
    if (answer) reg.WriteString("Browse Answer", answer);
    else reg.DeleteValue("Browse Answer");
  }

  bool Execute() { return browse_.Call(DispExecute).AsBool(); }
  std::string Chosen() { return browse_.Get(DispFileName).AsString(); }

  CoInitScope com_;
  test::RegistrySnapshot testKey_{HKEY_CURRENT_USER, TestKey};
  Variant browse_;
};

TEST_F(FileBrowseTest, TheTestSettingAnswersWithoutAWindow) {
  SetAnswer("c:\\documents\\vantle\\InBox");
  EXPECT_TRUE(Execute());
  EXPECT_EQ("C:\\documents\\vantle\\InBox", Chosen());

  SetAnswer("");
  EXPECT_FALSE(Execute());
  EXPECT_EQ("", Chosen());

  for (const char* bad : {"C:\\Documents\\Vantle\\Missing", "C:\\Documents\\Vantle", "C:\\..\\..\\windows\\win.ini"}) {
    SetAnswer(bad);
    EXPECT_THROW(Execute(), EOleException) << bad;
    EXPECT_EQ("", Chosen());
  }
}

// Drives the real chooser from another thread, as a user would.
struct User {
  std::vector<std::string> seen;  // labels of the tree's items, depth first
  std::string pick;               // label to select; empty: press Cancel
  std::atomic<bool> found{false};

  static void Walk(HWND tree, HTREEITEM item, std::vector<std::string>& out, HTREEITEM& match, const std::string& want) {
    for (; item; item = reinterpret_cast<HTREEITEM>(SendMessageA(tree, TVM_GETNEXTITEM, TVGN_NEXT, reinterpret_cast<LPARAM>(item)))) {
      char text[MAX_PATH] = {};
      TVITEMA tv{};
      tv.mask = TVIF_TEXT;
      tv.hItem = item;
      tv.pszText = text;
      tv.cchTextMax = MAX_PATH;
      SendMessageA(tree, TVM_GETITEMA, 0, reinterpret_cast<LPARAM>(&tv));
      out.push_back(text);
      if (want == text) match = item;
      Walk(tree, reinterpret_cast<HTREEITEM>(SendMessageA(tree, TVM_GETNEXTITEM, TVGN_CHILD, reinterpret_cast<LPARAM>(item))), out,
           match, want);
    }
  }

  void Run() {
    HWND dialog = nullptr;
    for (int i = 0; i < 500 && !dialog; ++i) {
      dialog = FindWindowA("#32770", Caption);
      if (!dialog) Sleep(20);
    }
    if (!dialog) return;
    found = true;
    HWND tree = FindWindowExA(dialog, nullptr, "SysTreeView32", nullptr);
    HTREEITEM match = nullptr;
    Walk(tree, reinterpret_cast<HTREEITEM>(SendMessageA(tree, TVM_GETNEXTITEM, TVGN_ROOT, 0)), seen, match, pick);
    if (match) {
      SendMessageA(tree, TVM_SELECTITEM, TVGN_CARET, reinterpret_cast<LPARAM>(match));
      SendMessageA(dialog, WM_COMMAND, IDOK, 0);
    } else {
      SendMessageA(dialog, WM_COMMAND, IDCANCEL, 0);
    }
  }
};

TEST_F(FileBrowseTest, TheChooserOffersMatchingFilesAndAnswersTheChoice) {
  SetAnswer(nullptr);
  User user;
  user.pick = "InBox";
  std::thread t([&] { user.Run(); });
  bool chosen = Execute();
  t.join();
  ASSERT_TRUE(user.found);
  EXPECT_TRUE(chosen);
  EXPECT_EQ("C:\\Documents\\Vantle\\InBox", Chosen());
  EXPECT_EQ((std::vector<std::string>{"C:", "Documents", "Vantle", "InBox", "Agenda"}), user.seen);

  // A folder cannot be chosen as a file: OK does nothing, Cancel answers False.
  User folder;
  folder.pick = "Vantle";
  std::thread t2([&] {
    folder.Run();
    if (HWND d = FindWindowA("#32770", Caption)) SendMessageA(d, WM_COMMAND, IDCANCEL, 0);
  });
  EXPECT_FALSE(Execute());
  t2.join();
  EXPECT_EQ("", Chosen());
}

}  // namespace
