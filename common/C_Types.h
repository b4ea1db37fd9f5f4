#pragma once
// The mail record and the mail list that cross between the program and its
// conduits. Both sides compile this code and share one allocator, so the
// field order and types are a layout contract: append nothing in the middle.
#include <windows.h>

#include <memory>
#include <string>
#include <vector>

#include "DateTime.h"
#include "SysUtils.h"
#include "VazInterface.h"

class TSesObj;
class TResManager;
class TStringList;

// Bit values of TMail::Flags.
constexpr int mfFromPC = 1;       // mail comes from the PC client
constexpr int mfTransfer = 2;     // marked for transfer
constexpr int mfFromHandheld = 4;  // mail comes from the handheld
constexpr int mfReply = 8;        // handheld reply to a PC mail

// The handheld's paragraph separator, and the separator of attachment items.
constexpr char ParagraphMark = '\x06';

class TMail : public TObject {
 public:
  std::string ID;
  int Flags = 0;
  std::string From;
  std::string To;
  std::string CC;
  std::string BC;
  std::string Subject;
  std::string Message;
  std::string Attachments;
  TDateTime Date = 0;
  bool IncludeMessage = false;
  bool ReplyAll = false;

  // Message := Text with every character 6 turned into CR LF.
  void SetMessage(const std::string& Text);
  // Transfer size: the bytes of the eight strings; 0 on any fault.
  int Size() const;
};

class TMailList : public TObject {
 public:
  TMailList(TSesObj* Session, TResManager* Resources);
  ~TMailList() override;
  TMailList(const TMailList&) = delete;
  TMailList& operator=(const TMailList&) = delete;

  // Builds a mail from the staging fields, applies the age filter when asked
  // (conduits ask, the handheld readers do not) and clears the staging fields.
  void Add(bool ApplyAgeLimit);
  void ClearList();
  void CalcTransferBytes();
  // Frees and removes every mail whose ID stands in IDs.
  void RemoveListed(TStringList* IDs);

  // Empties the staging fields; a conduit does so after a mail it could not
  // stage whole, so the next mail starts from nothing.
  void ClearStaging();

  int Count() const { return static_cast<int>(Items.size()); }
  TMail* operator[](int index) const { return Items[static_cast<size_t>(index)].get(); }

  // Owned. A mail is destroyed through its own class, which for mails that a
  // conduit added is the conduit's code: empty the list before unloading it.
  std::vector<std::unique_ptr<TMail>> Items;
  std::string ID;
  int Flags = 0;
  std::string From;
  std::string To;
  std::string CC;
  std::string BC;
  std::string Subject;
  std::string Message;
  std::string Attachments;
  TDateTime Date = 0;
  int TotalBytes = 0;
  bool IncludeMessage = false;
  bool ReplyAll = false;
  TSesObj* Session;         // not owned
  TResManager* Resources;   // not owned
  // When set, told of every mail Add keeps, as it is kept: the host records
  // what a conduit hands over before the conduit goes on (and perhaps marks
  // the PC mail read).
  void (*Taken)(void* Context, const TMail& Mail) noexcept = nullptr;
  void* TakenContext = nullptr;

 private:
  void Compact();
};

// One discovered conduit plug-in.
class TConduit : public TObject {
 public:
  std::string Description;
  std::string FileName;
};
