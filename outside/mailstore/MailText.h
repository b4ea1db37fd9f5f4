#pragma once
// One message as a mail client writes it: RFC 5322 header fields (Date,
// Received, From, To, Cc, Bcc, Message-ID, Subject, one X-Attachment per
// attachment), a blank line and the body, lines ending in CR LF. Text is 8-bit
// and passes through unchanged.
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "DateTime.h"
#include "SysUtils.h"

namespace mailstore {

// A failure of the store: a damaged or missing file, an unknown folder or
// message, a refused change. The message says which file or object.
VANTLE_EXCEPTION(EMailStore, Exception);

// An address as a mail client shows it: the display name, the address, and
// its type ("SMTP" for internet addresses; another type such as "EX" for a
// directory entry, written in the file as <EX:address>).
struct MailAddress {
  std::string Name;
  std::string Address;
  std::string Type = "SMTP";
  bool operator==(const MailAddress&) const = default;
};

enum class AttachmentKind { File = 1, Link = 2, Ole = 3, Message = 4 };

struct MailAttachment {
  AttachmentKind Kind = AttachmentKind::File;
  std::string Name;
  bool operator==(const MailAttachment&) const = default;
};

// What a phone message adds to a mail (GroupWise takes these for the
// person who answered the phone): the caller's company, a priority (1 high,
// 2 normal, 3 low) and what the caller did or asked for.
struct PhoneMessage {
  std::string CallerCompany;
  int Priority = 2;
  bool Urgent = false, CameToSee = false, Telephoned = false, ReturnedCall = false, PleaseCall = false,
       WillCall = false, WantsToSee = false;
  bool operator==(const PhoneMessage&) const = default;
};

struct MailMessage {
  std::optional<MailAddress> From;
  std::vector<MailAddress> To, Cc, Bcc;
  std::string Subject;
  std::string MessageId;             // with its angle brackets
  std::optional<TDateTime> Date;     // local time; absent or unreadable: none
  std::optional<TDateTime> Received; // local time of arrival
  std::vector<MailAttachment> Attachments;
  std::string Body;                  // lines end in CR LF
  std::optional<PhoneMessage> Phone; // a phone message (X-Phone-Message, X-Caller-Company)
  // The raw values of the Date and Received fields, as they stood.
  std::string DateText, ReceivedText;
};

std::string ComposeMessage(const MailMessage& message);
// Raises EMailStore (naming `what`) when the text has no header section:
// empty, binary (a NUL byte), or a line before the blank line that is neither
// a field nor a continuation. Dates that cannot be read leave Date/Received empty.
MailMessage ParseMessage(const std::string& text, const std::string& what);

// "Wed, 09 Dec 2026 11:56:36 +0100" for a local time.
std::string FormatMailDate(TDateTime local);
// Reads an RFC 5322 date (day name optional, seconds optional, numeric or
// obsolete zone); answers the local time, or nothing when it cannot be read.
std::optional<TDateTime> ParseMailDate(std::string_view text);

std::string FormatAddress(const MailAddress& address);
std::string FormatAddressList(const std::vector<MailAddress>& list);
// A bare address is its own name; <TYPE:address> gives the type.
std::vector<MailAddress> ParseAddressList(std::string_view text);

// "file", "link", "ole", "message" and back (unknown names: nothing).
const char* AttachmentKindName(AttachmentKind kind);
std::optional<AttachmentKind> AttachmentKindOf(std::string_view name);

}  // namespace mailstore
