#pragma once
// The Eudora conduit loaded from the program folder, talking to the Eudora
// stand-in program in its own process over a mail profile of the test's own,
// with the host's objects its exports receive.
#include <windows.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "C_ResMan.h"
#include "C_Types.h"
#include "C_sesobj.h"
#include "ComPtr.h"
#include "ConduitHost.h"
#include "ConduitModule.h"
#include "Eudora.h"
#include "Handles.h"
#include "MailProfile.h"
#include "TestSupport.h"

namespace eudora_test {

using mailstore::Role;

// One message as a mail program writes it, its Date field as given.
std::string MailText(const std::string& subject, const std::string& date, const std::string& messageId,
                     const std::string& body = "Text\r\n");

class EudoraTest : public testing::Test {
 protected:
  EudoraTest();
  ~EudoraTest() override;

  std::string Res(int id) const { return texts_.GetString(id); }
  std::string SettingsPath() const;
  void SetSetting(const char* name, const std::string& value);
  void SetNumberSetting(const char* name, int value);
  std::string StringSetting(const char* name) const;
  bool HasSetting(const char* name) const;

  // Starts Eudora as its user would and waits for its main window.
  void StartEudora();
  // Ends it as a kill would, or as its user closing it.
  void KillEudora();
  void CloseEudora();
  HWND EudoraWindow() const { return FindWindowA(eudora::MainWindowClass, nullptr); }

  // The test profile, opened anew so it shows what Eudora wrote.
  mailstore::Profile& Store() { return profile_.Store(); }
  std::string Folder(Role role) { return Store().RoleFolder(role); }
  std::uint32_t Add(const std::string& folderId, const std::string& text, bool read = false);
  std::vector<mailstore::MailMessage> Messages(const std::string& folderId);

  int Initialize() { return conduit_->vazInitialize(host_.app, host_.Memo(), host_.Progress()); }
  int ShutDown() { return conduit_->vazShutDown(host_.Memo(), host_.Progress()); }
  int GetMail(double from, double to, bool unreadOnly = false, bool markRead = false);
  int Send(TMail& mail);
  std::vector<std::string> MemoLines() const { return host_.MemoLines(); }

  CoInitScope com_;
  test::RegistrySnapshot settings_;
  test::MailProfile profile_{
      "EudoraProfiles", {test::EudoraProfile}, {.Name = "Work", .User = test::ProfileUser, .AddressBook = {}}};
  test::FileSnapshot log_;
  TResManager texts_{"Boxmail.mrs"};
  TSesObj session_;
  TMailList list_{&session_, nullptr};
  test::ConduitHost host_;
  std::unique_ptr<test::ConduitModule> conduit_;
  KernelHandle eudora_;
};

}  // namespace eudora_test
