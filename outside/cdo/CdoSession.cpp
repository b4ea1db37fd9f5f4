// standin-cdo.dll: CDO 1.2's Session class ("MAPI.Session") over the PC mail
// store. Which profiles exist, and which one a logon without a name opens,
// is read from HKEY_CURRENT_USER\Software\Vantle Stand-ins\CDO (see README.md).
#include <algorithm>

#include "Cdo.h"
#include "CdoObjects.h"
#include "MailClient.h"
#include "ProfileDialogs.h"
#include "Registry.h"
#include "ServerExports.h"

namespace cdo_standin {

namespace {

using mailstore::Role;

struct Settings {
  std::string Root, DefaultProfile, Version = "1.21";
  bool Prompt = false;
};

Settings ReadSettings() {
  Settings s;
  TRegistry reg(KEY_READ);
  if (!reg.OpenKeyReadOnly(cdo::StandInKey)) return s;
  if (reg.ValueExists(cdo::ValueProfilesFolder)) s.Root = reg.ReadString(cdo::ValueProfilesFolder);
  if (reg.ValueExists(cdo::ValueDefaultProfile)) s.DefaultProfile = reg.ReadString(cdo::ValueDefaultProfile);
  if (reg.ValueExists(cdo::ValuePromptProfile)) s.Prompt = reg.ReadInteger(cdo::ValuePromptProfile) != 0;
  if (reg.ValueExists(cdo::ValueVersion)) s.Version = reg.ReadString(cdo::ValueVersion);
  return s;
}

HWND WindowArg(const DispCall& c, int index) {
  return Given(c, index) ? reinterpret_cast<HWND>(static_cast<INT_PTR>(c.ArgInt(index))) : nullptr;
}

class TSession final : public DispatchObject {
 public:
  TSession() : DispatchObject(Members, Interfaces, ErrorSource), state_(std::make_shared<SessionState>()) {}

 private:
  mailstore::Profile& Store() const { return state_->Store(); }

  void Class(DispCall& c) { c.Return(Variant(cdo::ClassSession)); }
  void Name(DispCall& c) { c.Return(Variant(Store().Name())); }
  void Version(DispCall& c) { c.Return(Variant(ReadSettings().Version)); }
  void CurrentUser(DispCall& c) { c.Return(NewAddressEntry(Store().User())); }
  void Inbox(DispCall& c) { c.Return(NewFolder(state_, Store().RoleFolder(Role::Inbox))); }
  void Outbox(DispCall& c) { c.Return(NewFolder(state_, Store().RoleFolder(Role::Outbox))); }

  // Logon(ProfileName, ProfilePassword, ShowDialog, NewSession, ParentWindow, NoMail, ProfileInfo)
  void Logon(DispCall& c) {
    if (state_->Profile) return;
    Settings settings = ReadSettings();
    if (settings.Root.empty())
      Fail(cdo::E_LogonFailed, std::string("No profiles are set up: HKEY_CURRENT_USER\\") + cdo::StandInKey +
                                   " has no \"" + cdo::ValueProfilesFolder + "\".");
    mailstore::ProfileChoice choice =
        mailstore::ChooseLogonProfile(settings.Root, settings.DefaultProfile, settings.Prompt,
                                      Given(c, 0) ? c.ArgString(0) : std::string(), Given(c, 2) ? c.ArgBool(2) : true,
                                      WindowArg(c, 4));
    switch (choice.Outcome) {
      case mailstore::LogonChoice::Cancelled: Fail(cdo::E_UserCancel, "The user cancelled the logon.");
      case mailstore::LogonChoice::NoDefault: Fail(cdo::E_LogonFailed, "There is no default profile to log on to.");
      case mailstore::LogonChoice::Unknown: Fail(cdo::E_LogonFailed, "There is no profile named " + choice.Name + ".");
      case mailstore::LogonChoice::Chosen: break;
    }
    std::unique_ptr<mailstore::Profile> profile;
    try {
      profile = std::make_unique<mailstore::Profile>(IncludeTrailingBackslash(settings.Root) + choice.Name);
      profile->CheckFailure("logon");
      // A client changes message after message (marking each read, sending
      // one after another): each folder's log stays open until the logoff.
      profile->KeepLogsOpen();
    } catch (const mailstore::EMailStore& e) {
      Fail(cdo::E_LogonFailed, e.Message);
    }
    state_->Profile = std::move(profile);
  }

  void Logoff(DispCall&) { state_->Profile.reset(); }

  void GetFolder(DispCall& c) {
    if (!Given(c, 0)) Fail(cdo::E_InvalidParameter, "GetFolder needs a folder identifier.");
    std::string id = c.ArgString(0);
    mailstore::Profile& store = Store();
    store.CheckFailure("folder");
    if (Given(c, 1) && !c.ArgString(1).empty() && !SameText(c.ArgString(1), store.StoreId()))
      Fail(cdo::E_NotFound, "No such message store.");
    if (!store.FindFolder(id)) Fail(cdo::E_NotFound, "There is no folder " + id + ".");
    c.Return(NewFolder(state_, id));
  }

  void GetMessage(DispCall& c) {
    if (!Given(c, 0)) Fail(cdo::E_InvalidParameter, "GetMessage needs a message identifier.");
    std::string id = c.ArgString(0);
    mailstore::Profile& store = Store();
    store.CheckFailure("message");
    std::string folder;
    std::uint32_t serial = 0;
    if (!mailstore::Profile::SplitMessageId(id, folder, serial) || !store.FindFolder(folder))
      Fail(cdo::E_NotFound, "There is no message " + id + ".");
    auto& entries = store.Entries(folder);
    auto it = entries.find(serial);
    if (it == entries.end() || it->second.Deleted) Fail(cdo::E_NotFound, "There is no message " + id + ".");
    c.Return(NewStoredMessage(state_, folder, serial));
  }

  void GetDefaultFolder(DispCall& c) {
    c.RequireArgs(1);
    int type = c.ArgInt(0);
    mailstore::Profile& store = Store();
    store.CheckFailure("folder");
    const std::pair<int, Role> roles[] = {{cdo::DefaultFolderInbox, Role::Inbox},
                                          {cdo::DefaultFolderOutbox, Role::Outbox},
                                          {cdo::DefaultFolderSentItems, Role::Sent},
                                          {cdo::DefaultFolderDeletedItems, Role::Deleted}};
    for (auto& [t, role] : roles)
      if (t == type) return c.Return(NewFolder(state_, store.RoleFolder(role)));
    Fail(cdo::E_NotFound, "The profile has no default folder of type " + IntToStr(type) + ".");
  }

  // AddressBook(Recipients, Title, OneAddress, ForceResolution, RecipLists,
  //             ToLabel, CcLabel, BccLabel, ParentWindow)
  void AddressBook(DispCall& c) {
    mailstore::Profile& store = Store();
    std::string title = Given(c, 1) ? c.ArgString(1) : std::string("Address Book");
    int lists = Given(c, 4) ? c.ArgInt(4) : 1;
    std::vector<std::string> labels;
    for (int i = 5; i <= 7; ++i) labels.push_back(Given(c, i) ? c.ArgString(i) : std::string());
    auto chosen = mailstore::ShowAddressBook(title, std::clamp(lists, 0, 3), store.AddressBook(), labels, WindowArg(c, 8));
    if (!chosen) Fail(cdo::E_UserCancel, "The user cancelled the address book.");
    if (chosen->empty()) return c.Return(Nothing());
    auto data = std::make_shared<RecipientsData>();
    for (const mailstore::Chosen& pick : *chosen)
      data->Items.push_back(std::make_shared<RecipientData>(
          RecipientData{pick.Entry.Name, pick.Entry.Address, pick.Entry.Type, pick.RecipientType, true}));
    c.Return(NewRecipients(state_, data));
  }

  static constexpr DispMember Members[] = {
      {L"CurrentUser", cdo::DispCurrentUser, DispKind::Get, Handler<&TSession::CurrentUser>},
      {L"Inbox", cdo::DispInbox, DispKind::Get, Handler<&TSession::Inbox>},
      {L"Outbox", cdo::DispOutbox, DispKind::Get, Handler<&TSession::Outbox>},
      {L"Version", cdo::DispVersion, DispKind::Get, Handler<&TSession::Version>},
      {L"AddressBook", cdo::DispAddressBook, DispKind::Method, Handler<&TSession::AddressBook>},
      {L"GetFolder", cdo::DispGetFolder, DispKind::Method, Handler<&TSession::GetFolder>},
      {L"GetMessage", cdo::DispGetMessage, DispKind::Method, Handler<&TSession::GetMessage>},
      {L"Logoff", cdo::DispLogoff, DispKind::Method, Handler<&TSession::Logoff>},
      {L"Logon", cdo::DispLogon, DispKind::Method, Handler<&TSession::Logon>},
      {L"GetDefaultFolder", cdo::DispGetDefaultFolder, DispKind::Method, Handler<&TSession::GetDefaultFolder>},
      {L"Class", 10, DispKind::Get, Handler<&TSession::Class>},
      {L"Name", 20, DispKind::Get, Handler<&TSession::Name>},
  };
  static constexpr IID Interfaces[] = {cdo::IID_Session};
  StatePtr state_;
};



ComPtr<IUnknown> CreateSession() { return MakeObject<TSession>(); }

const CoClassEntry Classes[] = {
    {&cdo::CLSID_Session, CreateSession, cdo::ProgID_Session, "MAPI.Session (stand-in)", "Apartment"},
};

}  // namespace

}  // namespace cdo_standin

namespace cdo_standin {
namespace {

// Installing the library tells mail programs, through WIN.INI, that it is
// there, and sets up the profiles its logon opens: "Outlook" by default.
HRESULT Install() {
  bool done = WriteProfileStringA(cdo::WinIniSection, cdo::WinIniOleMessaging, "1") &&
              mailstore::WriteStandInSettings(cdo::StandInKey, {{cdo::ValueProfilesFolder, mailstore::InstalledProfilesFolder},
                                                                {cdo::ValueDefaultProfile, "Outlook"}});
  return done ? S_OK : SELFREG_E_CLASS;
}

HRESULT Uninstall() {
  WriteProfileStringA(cdo::WinIniSection, cdo::WinIniOleMessaging, nullptr);
  mailstore::RemoveStandInSettings(cdo::StandInKey, {cdo::ValueProfilesFolder, cdo::ValueDefaultProfile});
  return S_OK;
}

}  // namespace
}  // namespace cdo_standin

VANTLE_SERVER_EXPORTS_WITH(cdo_standin::Classes, cdo_standin::Install, cdo_standin::Uninstall)
