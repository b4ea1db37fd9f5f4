#pragma once
// The objects below the Session: Folder, Folders, Messages, MessageFilter,
// Message, Recipients, Recipient, AddressEntry, Attachments, Attachment.
// Every object keeps the session's state alive; after Logoff their calls fail
// as CDO's do.
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "ComServer.h"
#include "MailStore.h"
#include "ReadAhead.h"

namespace cdo_standin {

inline constexpr const char* ErrorSource = "Collaboration Data Objects";

struct SessionState {
  std::unique_ptr<mailstore::Profile> Profile;
  mailstore::Profile& Store() const;  // raises when not logged on
};
using StatePtr = std::shared_ptr<SessionState>;

struct RecipientData {
  std::string Name;
  std::string Address;  // without its type
  std::string AddressType;
  int Type = 1;  // 1 To, 2 Cc, 3 Bcc
  bool Resolved = false;
};
using RecipientList = std::vector<std::shared_ptr<RecipientData>>;

struct RecipientsData {
  RecipientList Items;
  bool Changed = false;
};

Variant NewFolder(const StatePtr& state, const std::string& folderId);
// A message of the profile; one of a listing being walked takes its content
// from the listing's read-ahead while that lasts.
Variant NewStoredMessage(const StatePtr& state, const std::string& folderId, std::uint32_t serial,
                         std::weak_ptr<mailstore::ReadAhead> readAhead = {});
Variant NewAddressEntry(const mailstore::MailAddress& address);
// A Recipients collection over entries that belong to no message (the address book's answer).
Variant NewRecipients(const StatePtr& state, std::shared_ptr<RecipientsData> data);

}  // namespace cdo_standin
