#pragma once
// What a run must remember past its own end, whatever ends it (Exit, Stop, a
// failure, the process killed): the PC mail taken from the conduit that has
// not yet reached the handheld (the conduit may have marked it read and will
// not offer it again), and the handheld mail already handed to the conduit
// whose sent mark has not yet reached the handheld (sending it again would
// send it twice). The next run offers the first again and marks the second
// sent before it reads anything to send. Both are cleared once an upload of
// the two stores has reached the handheld.
//
// The file is a series of entries, each with its length and checksum, so a
// write cut short by a killed process is recognised and dropped; a rewrite
// goes through a temporary file renamed over the journal.
#include <windows.h>

#include <string>
#include <vector>

#include "C_Types.h"
#include "Handles.h"

struct SentMail {
  bool Reply = false;
  std::string OldID;  // the handheld record's ID when it was sent
  std::string NewID;  // the ID the conduit handed back
};

// A new handheld mail that had no ID when it was read: the ID it was given,
// and its record's contents to know the record by while the handheld still
// holds it without that ID.
struct NamedMail {
  std::string Contents;
  std::string ID;
};

class RunJournal {
 public:
  RunJournal() = default;
  RunJournal(const RunJournal&) = delete;
  RunJournal& operator=(const RunJournal&) = delete;

  // Reads what the file Path holds; an entry cut short and what follows it
  // are dropped.
  void Load(const std::string& Path);
  bool Loaded() const { return !path_.empty(); }
  const std::vector<TMail>& Taken() const { return taken_; }
  const std::vector<SentMail>& Sent() const { return sent_; }
  const std::vector<NamedMail>& Named() const { return named_; }

  // Appended as they happen; a killed process loses none of them.
  void AddTaken(const TMail& Mail);
  void AddSent(const SentMail& Mail);
  void AddNamed(const NamedMail& Mail);
  // The journal holds Taken from now on, and what was sent and named only
  // when KeepOwed; written through to the disk. An empty journal's file is
  // removed.
  void Rewrite(std::vector<TMail> Taken, bool KeepOwed);
  // What was appended, written through to the disk.
  void Flush();

  // The hook a mail list calls for every mail a conduit adds.
  static void MailTaken(void* Journal, const TMail& Mail) noexcept;
  // Whether a write from the hook failed since the last Load.
  bool TakeFailed() const { return takeFailed_; }

 private:
  void Append(const std::string& entry);
  void Open();

  std::string path_;
  KernelHandle file_;
  bool atEnd_ = false;  // the file's position is where the last whole entry ends
  LONGLONG whole_ = 0;  // where the last whole entry ends
  std::vector<TMail> taken_;
  std::vector<SentMail> sent_;
  std::vector<NamedMail> named_;
  bool takeFailed_ = false;
};

// A place in a run where a test may end the process, as a kill or a power cut
// would: VANTLE_TEST_CHECKPOINT names the place and, after a colon, which of
// its passes (1 when left out). Elsewhere it does nothing.
void Checkpoint(const char* Name);
