#include "ProfileDialogs.h"

#include "MailClient.h"

#include "Forms.h"
#include "StdCtrls.h"

namespace mailstore {

namespace {

class TChooseProfileForm final : public TForm {
 public:
  explicit TChooseProfileForm(HWND owner)
      : TForm({.Name = "ChooseProfileForm", .Caption = "Choose Profile", .ClientWidth = 300, .ClientHeight = 150,
               .Owner = owner}) {}

  TLabel lblProfile{this, "lblProfile", {.Bounds = {8, 8, 284, 14}, .Caption = "&Profile Name:"}};
  TListBox lbProfiles{this, "lbProfiles", {.Bounds = {8, 26, 284, 80}}};
  TButton btnOK{this, "btnOK", {.Bounds = {136, 116, 75, 25}, .Caption = "OK", .Default = true, .ModalResult = mrOk}};
  TButton btnCancel{this, "btnCancel",
                    {.Bounds = {217, 116, 75, 25}, .Caption = "Cancel", .Cancel = true, .ModalResult = mrCancel}};
};

class TAddressBookForm final : public TForm {
 public:
  TAddressBookForm(const std::string& title, HWND owner)
      : TForm({.Name = "AddressBookForm", .Caption = title, .ClientWidth = 460, .ClientHeight = 302, .Owner = owner}) {
    TButton* buttons[] = {&btnTo, &btnCc, &btnBcc};
    for (int i = 0; i < 3; ++i) buttons[i]->OnClick = [this, i](TObject*) { Pick(i); };
  }

  TLabel lblBook{this, "lblBook", {.Bounds = {8, 6, 200, 14}, .Caption = "Names:"}};
  TListBox lbBook{this, "lbBook", {.Bounds = {8, 24, 200, 238}}};
  TButton btnTo{this, "btnTo", {.Bounds = {216, 24, 70, 25}, .Caption = "To ->"}};
  TButton btnCc{this, "btnCc", {.Bounds = {216, 110, 70, 25}, .Caption = "Cc ->"}};
  TButton btnBcc{this, "btnBcc", {.Bounds = {216, 196, 70, 25}, .Caption = "Bcc ->"}};
  TListBox lbTo{this, "lbTo", {.Bounds = {294, 24, 158, 78}}};
  TListBox lbCc{this, "lbCc", {.Bounds = {294, 110, 158, 78}}};
  TListBox lbBcc{this, "lbBcc", {.Bounds = {294, 196, 158, 78}}};
  TButton btnOK{this, "btnOK", {.Bounds = {296, 272, 75, 25}, .Caption = "OK", .Default = true, .ModalResult = mrOk}};
  TButton btnCancel{this, "btnCancel",
                    {.Bounds = {377, 272, 75, 25}, .Caption = "Cancel", .Cancel = true, .ModalResult = mrCancel}};

  std::vector<MailAddress> Book;
  std::vector<Chosen> Picked;

 private:
  void Pick(int list) {
    int index = lbBook.ItemIndex();
    if (index < 0 || index >= static_cast<int>(Book.size())) return;
    TListBox* target[] = {&lbTo, &lbCc, &lbBcc};
    target[list]->Items.Add(Book[static_cast<size_t>(index)].Name);
    Picked.push_back({Book[static_cast<size_t>(index)], list + 1});
  }
};

}  // namespace

std::optional<std::string> ChooseProfile(const std::vector<std::string>& names, const std::string& selected,
                                         HWND owner) {
  TChooseProfileForm form(owner);
  for (const std::string& name : names) form.lbProfiles.Items.Add(name);
  int at = 0;
  for (size_t i = 0; i < names.size(); ++i)
    if (SameText(names[i], selected)) at = static_cast<int>(i);
  if (!names.empty()) form.lbProfiles.SetItemIndex(at);
  if (form.ShowModal() != mrOk) return std::nullopt;
  int index = form.lbProfiles.ItemIndex();
  if (index < 0) return std::nullopt;
  return names[static_cast<size_t>(index)];
}

ProfileChoice ChooseLogonProfile(const std::string& root, const std::string& defaultProfile, bool prompt,
                                 const std::string& name, bool ask, HWND owner) {
  std::vector<std::string> names = ProfileNames(root);
  auto known = [&](const std::string& n) -> ProfileChoice {
    for (const std::string& x : names)
      if (SameText(x, n)) return {LogonChoice::Chosen, x};
    return {LogonChoice::Unknown, n};
  };
  if (!name.empty()) return known(name);
  bool haveDefault = !defaultProfile.empty() && HasProfile(names, defaultProfile);
  if (ask && (prompt || !haveDefault)) {
    std::optional<std::string> chosen = ChooseProfile(names, defaultProfile, owner);
    return chosen ? known(*chosen) : ProfileChoice{LogonChoice::Cancelled, {}};
  }
  return haveDefault ? known(defaultProfile) : ProfileChoice{LogonChoice::NoDefault, {}};
}

std::optional<std::vector<Chosen>> ShowAddressBook(const std::string& title, int lists,
                                                   const std::vector<MailAddress>& book,
                                                   const std::vector<std::string>& labels, HWND owner) {
  TAddressBookForm form(title.empty() ? "Address Book" : title, owner);
  form.Book = book;
  for (const MailAddress& entry : book) form.lbBook.Items.Add(entry.Name);
  TButton* buttons[] = {&form.btnTo, &form.btnCc, &form.btnBcc};
  TListBox* boxes[] = {&form.lbTo, &form.lbCc, &form.lbBcc};
  for (int i = 0; i < 3; ++i) {
    if (i < static_cast<int>(labels.size()) && !labels[static_cast<size_t>(i)].empty())
      buttons[i]->SetCaption(labels[static_cast<size_t>(i)]);
    if (i >= lists) {
      buttons[i]->Hide();
      boxes[i]->Hide();
    }
  }
  if (form.ShowModal() != mrOk) return std::nullopt;
  return form.Picked;
}

}  // namespace mailstore
