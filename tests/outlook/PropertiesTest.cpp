// The Outlook conduit's settings dialog, worked through its windows as the
// user would.
#include <gtest/gtest.h>

#include "OutlookFixture.h"
#include "Registry.h"

namespace outlook {
namespace {

using test::WindowText;

std::vector<HWND> Children(HWND root, const char* className) {
  struct Search {
    const char* className;
    std::vector<HWND> found;
  } search{className, {}};
  EnumChildWindows(
      root,
      [](HWND window, LPARAM data) -> BOOL {
        auto* s = reinterpret_cast<Search*>(data);
        char name[64];
        GetClassNameA(window, name, sizeof name);
        if (lstrcmpiA(name, s->className) == 0) s->found.push_back(window);
        return TRUE;
      },
      reinterpret_cast<LPARAM>(&search));
  return search.found;
}

// The dialog's windows, found by class and order.
struct Dialog {
  Dialog(ui::ModalForm& form, std::string typeLabel, std::string folderLabel)
      : window(form.WindowHandle()), typeLabel(std::move(typeLabel)), folderLabel(std::move(folderLabel)) {}
  HWND window;
  std::string typeLabel, folderLabel;
  // The edit on the page that holds the label.
  HWND EditBeside(const std::string& label) const {
    for (HWND e : Children(window, "Edit"))
      for (HWND s : Children(GetParent(e), "Static"))
        if (WindowText(s) == label) return e;
    return nullptr;
  }
  HWND Tabs() const { return Children(window, "SysTabControl32").at(0); }
  HWND Folders() const { return Children(window, "ListBox").at(0); }
  HWND EmailType() const { return EditBeside(typeLabel); }
  HWND ReplyFolder() const { return EditBeside(folderLabel); }
  HWND ReplyMove() const {
    for (HWND b : Children(window, "Button"))
      if ((GetWindowLongPtrA(b, GWL_STYLE) & 0xF) == BS_AUTOCHECKBOX) return b;
    return nullptr;
  }
  int Page() const { return static_cast<int>(SendMessageA(Tabs(), TCM_GETCURSEL, 0, 0)); }
  // The user picks a page's tab.
  void Open(int page) const {
    SendMessageA(Tabs(), TCM_SETCURSEL, static_cast<WPARAM>(page), 0);
    NMHDR change{Tabs(), 0, static_cast<UINT>(TCN_SELCHANGE)};
    SendMessageA(GetParent(Tabs()), WM_NOTIFY, 0, reinterpret_cast<LPARAM>(&change));
  }
  std::vector<std::string> FolderNames() const {
    std::vector<std::string> names;
    int n = static_cast<int>(SendMessageA(Folders(), LB_GETCOUNT, 0, 0));
    for (int i = 0; i < n; ++i) {
      char text[256] = "";
      SendMessageA(Folders(), LB_GETTEXT, static_cast<WPARAM>(i), reinterpret_cast<LPARAM>(text));
      names.emplace_back(text);
    }
    return names;
  }
  int Selected() const { return static_cast<int>(SendMessageA(Folders(), LB_GETCURSEL, 0, 0)); }
  bool ShowsLabel(const std::string& text) const {
    for (HWND s : Children(window, "Static"))
      if (WindowText(s) == text) return true;
    return false;
  }
  void PressOK(const std::string& caption) const {
    for (HWND b : Children(window, "Button"))
      if (WindowText(b) == caption) PostMessageA(b, BM_CLICK, 0, 0);
  }
};

class Properties : public OutlookTest {
 protected:
  Properties() {
    SetSetting("Default Address Prefix", "smtp");
    SetSetting("Folder ID", "stored folder");
    SetNumberSetting("Reply Move", 1);
    SetSetting("Reply Folder Name", "Vantle Replies");
    projects_ = Store().AddFolder(Folder(Role::Inbox), "Projects");
    nested_ = Store().AddFolder(projects_, "Old");
    other_ = Store().AddFolder(Folder(Role::Inbox), "Family");
  }
  bool Show() { return Conduit().vazProperties(AppHandle(), MemoVar()); }
  Dialog Open(ui::ModalForm& form) const { return Dialog(form, Res(27), Res(49)); }
  std::string projects_, nested_, other_;
};

TEST_F(Properties, ShowsTheSettingsAndOKWithoutTheFolderPageKeepsTheStoredFolder) {
  bool visited = false;
  test::Ui().OnModal([&](ui::ModalForm& form) {
    Dialog d = Open(form);
    visited = true;
    EXPECT_EQ(WindowText(d.window), Res(14));
    EXPECT_EQ(d.Page(), 0);
    EXPECT_EQ(WindowText(d.EmailType()), "smtp");
    EXPECT_EQ(WindowText(d.ReplyFolder()), "Vantle Replies");
    EXPECT_EQ(SendMessageA(d.ReplyMove(), BM_GETCHECK, 0, 0), BST_CHECKED);
    EXPECT_TRUE(IsWindowEnabled(d.ReplyFolder()));
    EXPECT_TRUE(d.ShowsLabel(Format(Res(28), {"smtp"})));
    SetWindowTextA(d.EmailType(), "");
    EXPECT_TRUE(d.ShowsLabel("Empty!"));
    SetWindowTextA(d.EmailType(), "X400");
    EXPECT_TRUE(d.ShowsLabel(Format(Res(28), {"X400"})));
    SendMessageA(d.ReplyMove(), BM_CLICK, 0, 0);
    EXPECT_FALSE(IsWindowEnabled(d.ReplyFolder()));
    d.PressOK(Res(11));
    return mrNone;
  });
  EXPECT_TRUE(Show());
  EXPECT_TRUE(visited);
  EXPECT_EQ(StringSetting("Default Address Prefix"), "X400");
  EXPECT_EQ(StringSetting("Folder ID"), "stored folder");
  EXPECT_EQ(NumberSetting("Reply Move"), 0u);
  EXPECT_EQ(StringSetting("Reply Folder Name"), "Vantle Replies");
}

TEST_F(Properties, OnlyChangedSettingsAreWrittenAndCancelWritesNothing) {
  RegDeleteKeyValueA(HKEY_LOCAL_MACHINE, SettingsPath().c_str(), "Folder ID");
  test::Ui().OnModal([&](ui::ModalForm& form) {
    Dialog d = Open(form);
    SetWindowTextA(d.EmailType(), "EX");
    return mrCancel;
  });
  EXPECT_TRUE(Show());
  EXPECT_EQ(StringSetting("Default Address Prefix"), "smtp");

  // The missing folder reads as empty; OK with nothing changed leaves it missing.
  test::Ui().OnModal([&](ui::ModalForm& form) {
    Open(form).PressOK(Res(11));
    return mrNone;
  });
  EXPECT_TRUE(Show());
  EXPECT_FALSE(HasSetting("Folder ID"));
  EXPECT_FALSE(HasSetting("Reply Folder ID"));
}

TEST_F(Properties, TheFolderPageListsTheInboxTreeAndFallsBackToTheInbox) {
  std::vector<std::string> names;
  int selected = -2;
  test::Ui().OnModal([&](ui::ModalForm& form) {
    Dialog d = Open(form);
    d.Open(2);
    names = d.FolderNames();
    selected = d.Selected();
    d.Open(0);
    d.Open(2);  // loaded once only
    EXPECT_EQ(d.FolderNames().size(), names.size());
    d.PressOK(Res(11));
    return mrNone;
  });
  EXPECT_TRUE(Show());
  EXPECT_EQ(names, (std::vector<std::string>{"Inbox", "Projects", "Old", "Family"}));
  EXPECT_EQ(selected, 0);
  EXPECT_EQ(StringSetting("Folder ID"), Folder(Role::Inbox));

  // The stored folder is selected; the user's choice is stored.
  test::Ui().OnModal([&](ui::ModalForm& form) {
    Dialog d = Open(form);
    d.Open(2);
    selected = d.Selected();
    SendMessageA(d.Folders(), LB_SETCURSEL, 2, 0);
    d.PressOK(Res(11));
    return mrNone;
  });
  SetSetting("Folder ID", other_);
  EXPECT_TRUE(Show());
  EXPECT_EQ(selected, 3);
  EXPECT_EQ(StringSetting("Folder ID"), nested_);
}

TEST_F(Properties, CancellingTheLogonReturnsToTheAboutPageAndTriesAgainNextTime) {
  TRegistry reg;
  reg.OpenKey(std::string("\\") + cdo::StandInKey, true);
  reg.WriteInteger(cdo::ValuePromptProfile, 1);
  int pageAfterCancel = -1;
  std::vector<std::string> names;
  test::Ui().OnModal([&](ui::ModalForm& form) {
    Dialog d = Open(form);
    d.Open(2);  // the profile dialog is closed with Cancel
    pageAfterCancel = d.Page();
    EXPECT_TRUE(d.FolderNames().empty());
    d.Open(2);  // this time the user chooses the profile
    names = d.FolderNames();
    d.PressOK(Res(11));
    return mrNone;
  });
  test::Ui().OnModal([](ui::ModalForm&) { return mrCancel; });
  test::Ui().OnModal([](ui::ModalForm&) { return mrOk; });
  EXPECT_TRUE(Show());
  EXPECT_EQ(pageAfterCancel, 0);
  EXPECT_EQ(names.size(), 4u);
  EXPECT_TRUE(test::Ui().Boxes().empty());
}

TEST_F(Properties, HelpOpensTheConduitsHelpPage) {
  test::Ui().OnModal([&](ui::ModalForm& form) {
    Dialog d = Open(form);
    for (HWND b : Children(d.window, "Button"))
      if (WindowText(b) == "&Help") SendMessageA(b, BM_CLICK, 0, 0);
    return mrCancel;
  });
  EXPECT_TRUE(Show());
  auto help = test::Ui().Of(test::Shown::Help);
  ASSERT_EQ(help.size(), 1u);
  EXPECT_EQ(help[0].text, test::ProgramFolder() + "Mapimail.hlp");
  EXPECT_EQ(help[0].flags, static_cast<UINT>(HELP_CONTEXT));
  EXPECT_EQ(help[0].data, 1u);
  EXPECT_TRUE(FileExists(test::ProgramFolder() + "Mapimail.htm"));
}

}  // namespace
}  // namespace outlook
