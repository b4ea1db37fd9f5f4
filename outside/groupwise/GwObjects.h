#pragma once
// The objects of the GroupWise stand-in below the session: Account, Folders,
// Folder, Messages, the message list of a search, Message (mail and phone),
// Recipients, Recipient, Address, FormattedText, Attachments, Attachment.
// Every object keeps the account's profile open.
#include <memory>
#include <string>

#include "ComServer.h"
#include "MailStore.h"

namespace groupwise_standin {

inline constexpr const char* ErrorSource = "GroupWise";

struct AccountState {
  std::unique_ptr<mailstore::Profile> Profile;
};
using StatePtr = std::shared_ptr<AccountState>;

Variant NewAccount(const StatePtr& state);

}  // namespace groupwise_standin
