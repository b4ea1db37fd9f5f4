#pragma once
// The Outlook conduit loaded from the program folder, talking through the CDO
// stand-in to a mail profile of the test's own, with the host's objects the
// exports receive.
#include <windows.h>
#include <oaidl.h>  // DISPID, which Cdo.h uses

#include <memory>
#include <string>
#include <vector>

#include "ConduitHost.h"
#include "ConduitModule.h"
#include "MailProfile.h"
#include "SessionFixture.h"
#include "C_Prog.h"
#include "C_ResMan.h"
#include "C_Types.h"
#include "Cdo.h"
#include "ComPtr.h"
#include "Forms.h"
#include "MailStore.h"
#include "StdCtrls.h"
#include "VazInterface.h"

namespace outlook {

using mailstore::MailAddress;
using mailstore::MailMessage;
using mailstore::Role;

// Puts WIN.INI [Mail] "OleMessaging" back as it was.
class OleMessagingSetting {
 public:
  OleMessagingSetting();
  ~OleMessagingSetting();
  OleMessagingSetting(const OleMessagingSetting&) = delete;
  OleMessagingSetting& operator=(const OleMessagingSetting&) = delete;
  void Set(const char* value);  // null removes it

 private:
  bool existed_;
  std::string value_;
};

// The exports of Mapimail.vaz, loaded for the scope.
class Mapimail : public test::ConduitModule {
 public:
  Mapimail();
};

// The user of the test profile, and people in its address book.
inline const MailAddress& User = test::ProfileUser;
inline const MailAddress& Ann = test::ProfileAnn;
inline const MailAddress& Bob = test::ProfileBob;

class OutlookTest : public SessionTest {
 protected:
  OutlookTest();
  ~OutlookTest() override;

  // The conduit's text Id.
  std::string Res(int id) const { return texts_.GetString(id); }
  // The conduit's settings key (under HKEY_LOCAL_MACHINE, without the leading backslash).
  std::string SettingsPath() const;
  std::string RootedSettingsPath() const;
  // A value of the settings key, or nothing when absent.
  bool HasSetting(const char* name) const;
  std::string StringSetting(const char* name) const;
  DWORD NumberSetting(const char* name) const;
  void SetSetting(const char* name, const std::string& value);
  void SetNumberSetting(const char* name, int value);

  // The test profile, opened anew so it shows what the stand-in wrote.
  mailstore::Profile& Store() { return profile_.Store(); }
  std::string Folder(Role role) { return Store().RoleFolder(role); }
  // Adds a message to a folder and answers its CDO identifier.
  std::string Add(const std::string& folderId, const MailMessage& message, bool read = false);
  std::string AddRaw(const std::string& folderId, const std::string& text, bool read = false);
  // The messages of a folder, parsed.
  std::vector<MailMessage> Messages(const std::string& folderId);

  int Initialize() { return conduit_->vazInitialize(host_.app, host_.Memo(), host_.Progress()); }
  int ShutDown() { return conduit_->vazShutDown(host_.Memo(), host_.Progress()); }
  int GetMail(double from = 0, double to = 0, bool unreadOnly = false, bool markRead = false);
  int Send(TMail& mail);
  // A new mail written on the handheld.
  static TMail NewMail(const std::string& to, const std::string& subject = "Hello");
  std::vector<std::string> MemoLines() const { return host_.MemoLines(); }
  Mapimail& Conduit() { return *conduit_; }
  HWND AppHandle() const { return host_.app; }
  TMemoVar MemoVar() { return host_.Memo(); }
  TProgressVar ProgressVar() { return host_.Progress(); }

  CoInitScope com_;
  OleMessagingSetting oleMessaging_;
  test::MailProfile profile_{"OutlookProfiles"};
  TResManager texts_{"Mapimail.mrs"};
  TSesObj session_;
  TMailList list_{&session_, nullptr};
  test::ConduitHost host_;
  std::unique_ptr<Mapimail> conduit_;
};

MailMessage Message(const std::string& subject, const MailAddress& from, std::vector<MailAddress> to,
                    TDateTime received, const std::string& body = "Text\r\n");

}  // namespace outlook
