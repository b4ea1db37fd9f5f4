// standin-groupwise.dll: GroupWise's automation server ("NovellGroupWareSession")
// over the PC mail store, and its address-book control. Which profiles exist,
// and which one Login() opens, is read from HKEY_CURRENT_USER\Software\Vantle
// Stand-ins\GroupWise (see README.md).
#include <algorithm>

#include "GroupWise.h"
#include "GwAddressBook.h"
#include "GwObjects.h"
#include "MailClient.h"
#include "Registry.h"
#include "ServerExports.h"

namespace groupwise_standin {

namespace {

struct Settings {
  std::string Root, DefaultProfile;
};

Settings ReadSettings() {
  Settings s;
  TRegistry reg(KEY_READ);
  if (!reg.OpenKeyReadOnly(groupwise::StandInKey)) return s;
  if (reg.ValueExists(groupwise::ValueProfilesFolder)) s.Root = reg.ReadString(groupwise::ValueProfilesFolder);
  if (reg.ValueExists(groupwise::ValueDefaultProfile)) s.DefaultProfile = reg.ReadString(groupwise::ValueDefaultProfile);
  return s;
}

// The profile a login names: its folder's name, or its user's name or address.
std::unique_ptr<mailstore::Profile> FindProfile(const std::string& root, const std::string& user) {
  std::string dir = IncludeTrailingBackslash(root);
  if (FileExists(dir + user + "\\Profile.json")) return std::make_unique<mailstore::Profile>(dir + user);
  WIN32_FIND_DATAA fd;
  FindHandle find(FindFirstFileA((dir + "*").c_str(), &fd));
  if (!find.Valid()) return nullptr;
  do {
    std::string name = fd.cFileName;
    if (!(fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) || name == "." || name == ".." ||
        !FileExists(dir + name + "\\Profile.json"))
      continue;
    auto p = std::make_unique<mailstore::Profile>(dir + name);
    if (SameText(p->User().Name, user) || SameText(p->User().Address, user)) return p;
  } while (FindNextFileA(find.Get(), &fd));
  return nullptr;
}

class TSession final : public DispatchObject {
 public:
  TSession() : DispatchObject(Members, {}, ErrorSource) {}

 private:
  // Login() opens the default profile; Login(UserID, CommandLine) the one
  // UserID names (the command line is taken and not used). A refused login
  // answers nothing.
  void Login(DispCall& c) {
    Settings settings = ReadSettings();
    std::string user = c.ArgCount() > 0 ? c.ArgString(0) : settings.DefaultProfile;
    if (c.ArgCount() > 1) c.ArgString(1);
    if (settings.Root.empty() || Trim(user).empty()) return;
    try {
      auto state = std::make_shared<AccountState>();
      state->Profile = FindProfile(settings.Root, Trim(user));
      if (!state->Profile) return;
      state->Profile->CheckFailure("login");
      // A client changes message after message (marking each read, sending
      // one after another): each folder's log stays open while the account lives.
      state->Profile->KeepLogsOpen();
      c.Return(NewAccount(state));
    } catch (const mailstore::EMailStore&) {
      // A damaged profile or a failure asked for: refused like a wrong user.
    }
  }
  static constexpr DispMember Members[] = {
      {L"Login", 1, DispKind::Method, Handler<&TSession::Login>},
  };
};

ComPtr<IUnknown> CreateSession() { return MakeObject<TSession>(); }

const CoClassEntry Classes[] = {
    {&groupwise::CLSID_Session, CreateSession, groupwise::ProgID_Session, "GroupWise session (stand-in)", "Apartment"},
    {&groupwise::CLSID_GWab, CreateAddressBook, nullptr, "GroupWise address book control (stand-in)", "Apartment"},
};

}  // namespace

std::string DefaultProfilePath() {
  Settings s = ReadSettings();
  if (s.Root.empty() || s.DefaultProfile.empty()) return {};
  return IncludeTrailingBackslash(s.Root) + s.DefaultProfile;
}

namespace {

// Installing the library sets up the profiles its login opens: "GroupWise"
// by default.
HRESULT Install() {
  return mailstore::WriteStandInSettings(groupwise::StandInKey,
                                         {{groupwise::ValueProfilesFolder, mailstore::InstalledProfilesFolder},
                                          {groupwise::ValueDefaultProfile, "GroupWise"}})
             ? S_OK
             : SELFREG_E_CLASS;
}

// The last search's filter goes too: the library wrote it, no user did.
HRESULT Uninstall() {
  mailstore::RemoveStandInSettings(groupwise::StandInKey, {groupwise::ValueProfilesFolder, groupwise::ValueDefaultProfile,
                                                           groupwise::ValueLastSearch});
  return S_OK;
}

}  // namespace
}  // namespace groupwise_standin

VANTLE_SERVER_EXPORTS_WITH(groupwise_standin::Classes, groupwise_standin::Install, groupwise_standin::Uninstall)
