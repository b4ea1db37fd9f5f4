// TSync's work on the local copies of the handheld's two mail stores: reading
// new mail and replies, appending PC mail, marking, clean-up and the mirrored
// deletions. Every operation opens its store through its own session.
#include <limits>
#include <optional>
#include <unordered_map>
#include <unordered_set>

#include "C_Email.h"
#include "C_Prog.h"
#include "C_ResMan.h"
#include "C_sesobj.h"
#include "Forms.h"
#include "Guarded.h"
#include "StoreSession.h"

using namespace evrin;

namespace {

void ProgressMax(int n) {
  if (Progress) Progress->SetMax(n);
}
void ProgressPosition(int n) {
  if (Progress) Progress->SetPosition(n);
}
void ProgressLine2(const std::string& text) {
  if (Progress) Progress->SetLine2(text);
}

// "ddmmyyyy|hhnnss|N": the second's part, then the number.
std::string MailIDSecond(TDateTime when) { return FormatDateTime("ddmmyyyy|hhnnss", when) + "|"; }
std::string MailID(TDateTime when, unsigned number) { return MailIDSecond(when) + std::to_string(number); }

// 0-99, from a generator seeded with the UTC time of day in milliseconds.
unsigned DrawMailNumber() {
  int hour, min, sec, msec;
  DecodeTime(NowUTC(), hour, min, sec, msec);
  std::uint32_t seed = static_cast<std::uint32_t>(((hour * 60 + min) * 60 + sec) * 1000 + msec);
  seed = seed * 134775813u + 1u;
  return static_cast<unsigned>((static_cast<std::uint64_t>(seed) * 100u) >> 32);
}

// New mail IDs for one pass: each unlike every ID of the store and every ID
// given before in the pass: the drawn number, else the next free one; when
// all hundred are taken for the second, the next second. A second found full
// stays full for the pass, so a later search starts past the seconds that
// an earlier one found full, and a pass of many new mails stays linear.
class NewMailIDs {
 public:
  explicit NewMailIDs(std::unordered_set<std::string> Taken) : taken_(std::move(Taken)) {}

  std::string Next() {
    const TDateTime now = Now();
    int hour, min, sec, msec;
    DecodeTime(now, hour, min, sec, msec);
    const TDateTime second = Int(now) + EncodeTime(hour, min, sec, 0);
    const long long start = static_cast<long long>(Int(now)) * 86400 + (hour * 60 + min) * 60 + sec;
    const unsigned first = DrawMailNumber();
    const bool inFull = fullFrom_ <= start && start < fullTo_;
    long long later = inFull ? fullTo_ - start : 0;
    for (;; ++later) {
      // Half a millisecond in, so that formatting never rounds down a second.
      const TDateTime when = second + (later * 1000.0 + 0.5) / MSecsPerDay;
      const std::string prefix = MailIDSecond(when);
      for (unsigned k = 0; k < 100; ++k) {
        std::string id = prefix + std::to_string((first + k) % 100);
        if (taken_.insert(id).second) {
          if (!inFull) fullFrom_ = start;
          fullTo_ = start + later;
          return id;
        }
      }
    }
  }

 private:
  std::unordered_set<std::string> taken_;
  // The seconds from fullFrom_ up to fullTo_ (excluded) are full.
  long long fullFrom_ = 0, fullTo_ = 0;
};

// How many of the records before a given original position are gone, for
// finding a record again after earlier ones were deleted.
class Removals {
 public:
  explicit Removals(int count) : tree_(static_cast<size_t>(count) + 1, 0) {}
  void Remove(int position) {
    for (size_t i = static_cast<size_t>(position) + 1; i < tree_.size(); i += i & (~i + 1)) ++tree_[i];
  }
  int Before(int position) const {
    int n = 0;
    for (size_t i = static_cast<size_t>(position); i > 0; i -= i & (~i + 1)) n += tree_[i];
    return n;
  }

 private:
  std::vector<int> tree_;
};

// Sets the mark column of the first record of the ID whose mark is not yet
// set, so that a store already holding an ID twice heals one record per
// sent mail; Also runs on that record before its commit and answers whether
// it wrote the record's ID. Nothing is marked when Enough records of the ID
// are marked already. Answers whether a record was marked.
bool MarkFirstUnmarked(IDIndex& index, StoreSession* held, const std::string& file, int idColumn, const std::string& ID,
                       int markColumn, const std::function<std::optional<std::string>(const Variant&)>& Also,
                       int Enough = std::numeric_limits<int>::max()) {
  bool marked = false;
  {
    std::optional<StoreSession> own;
    StoreSession& store = held ? *held : own.emplace(file);
    RecordList records = store.List();
    TPacer pacer;
    const std::vector<int>& places = index.Places(file, idColumn, records, ID, std::ref(pacer));
    int already = 0;
    for (int i : places) already += IsTrue(records.Value(records.Item(i), markColumn));
    for (int i : places) {
      if (already >= Enough) break;
      Variant record = records.Item(i);
      if (IsTrue(records.Value(record, markColumn))) continue;
      records.Update(record);
      records.SetValue(record, markColumn, Variant(true));
      const std::optional<std::string> renamed = Also ? Also(record) : std::nullopt;
      records.Commit(record);
      if (renamed) index.Renamed(i, ID, *renamed);
      marked = true;
      break;
    }
  }
  index.Seen();
  return marked;
}

}  // namespace

// What tells an Out box record from others while it has no ID: its texts and date.
std::string TSync::OutContents(const Variant& record) {
  std::string contents;
  for (int column : {outTo, outCC, outBC, outSubject, outMessage}) contents += Text(Value(record, column)) + '\x1f';
  char date[32];
  std::snprintf(date, sizeof date, "%.17g", DateOf(Value(record, outDate)));
  return contents + date;
}

// ---- Reading ----

bool TSync::SaveTemplate(int Id, const std::string& Path) {
  try {
    if (Resources == nullptr || !Resources->Loaded) return false;
    HRSRC found = FindResourceA(Resources->Handle, MAKEINTRESOURCEA(Id), MAKEINTRESOURCEA(256));
    HGLOBAL loaded = found ? LoadResource(Resources->Handle, found) : nullptr;
    const void* bytes = loaded ? LockResource(loaded) : nullptr;
    if (bytes == nullptr) return false;
    TFileStream file(Path, fmCreate);
    file.WriteBuffer(bytes, SizeofResource(Resources->Handle, found));
    return true;
  } catch (...) {
    return false;
  }
}

bool TSync::SaveInTemplate(const std::string& Path) { return SaveTemplate(1, Path); }
bool TSync::SaveOutTemplate(const std::string& Path) { return SaveTemplate(2, Path); }

// One pass reads what decides whether a record is new mail, and every ID for
// the new IDs; the mails it found are read after it.
bool TSync::ReadOutDat() {
  return Guarded(*Session, "TSync.ReadOutDat", [&] {
    StoreSession store(LocalOut());
    RecordList records = store.List();
    const int count = records.Count();
    struct Mail {
      Variant record;
      std::string id;
    };
    std::vector<Mail> mails;
    std::unordered_set<std::string> taken;
    mails.reserve(count);
    taken.reserve(count);
    bool unnamed = false;
    for (int i = 0; i < count; ++i) {
      Variant record = records.Item(i);
      std::string id = Text(records.Value(record, outID));
      if (IsFalse(records.Value(record, outSent)) && IsFalse(records.Value(record, outHold))) {
        unnamed = unnamed || id.empty();
        mails.push_back({std::move(record), id});
      }
      taken.insert(std::move(id));
    }
    std::optional<NewMailIDs> newIDs;
    if (unnamed) newIDs.emplace(std::move(taken));
    TMailList& list = *HandheldMails;
    for (Mail& mail : mails) {
      const Variant& record = mail.record;
      list.Flags = mfTransfer | mfFromHandheld;
      list.From.clear();
      MailText(records.Value(record, outTo), list.To);
      MailText(records.Value(record, outCC), list.CC);
      MailText(records.Value(record, outBC), list.BC);
      MailText(records.Value(record, outSubject), list.Subject);
      list.Date = DateOf(records.Value(record, outDate));
      MailText(records.Value(record, outMessage), list.Message);
      list.ID = std::move(mail.id);
      if (list.ID.empty()) {
        // Written back at once, so the mail keeps this ID across runs; the
        // journal keeps it until the Out box reaches the handheld.
        list.ID = newIDs->Next();
        if (Journal.Loaded()) Journal.AddNamed({OutContents(record), list.ID});
        records.Update(record);
        records.SetValue(record, outID, Variant(list.ID));
        records.Commit(record);
      }
      list.Add(false);
    }
  });
}

bool TSync::ReadReplyDat() {
  return Guarded(*Session, "TSync.ReadReplyDat", [&] {
    StoreSession store(LocalIn());
    RecordList records = store.List();
    const int count = records.Count();
    TMailList& list = *HandheldMails;
    for (int i = 0; i < count; ++i) {
      Variant record = records.Item(i);
      if (!IsFalse(records.Value(record, inReplySent)) || IsEmptyText(records.Value(record, inReply)) ||
          !IsFalse(records.Value(record, inExcluded)))
        continue;
      list.Flags = mfTransfer | mfFromHandheld | mfReply;
      list.From.clear();
      MailText(records.Value(record, inSubject), list.Subject);
      list.Date = DateOf(records.Value(record, inDate));
      MailText(records.Value(record, inReply), list.Message);
      list.IncludeMessage = IsTrue(records.Value(record, inIncludeMessage));
      list.ReplyAll = IsTrue(records.Value(record, inReplyAll));
      if (list.ReplyAll) {
        std::string to, from, all;
        MailText(records.Value(record, inFrom), from);
        MailText(records.Value(record, inTo), all);
        if (ConduitEntries.vazReplyAll) ConduitEntries.vazReplyAll(&to, Application.Handle, from, all);
        list.To = to;
        MailText(records.Value(record, inCC), list.CC);
        MailText(records.Value(record, inBC), list.BC);
      } else {
        MailText(records.Value(record, inFrom), list.To);
        list.CC.clear();
        list.BC.clear();
      }
      list.ID = Text(records.Value(record, inID));
      list.Add(false);
    }
  });
}

std::string TSync::NewMailID() { return MailID(Now(), DrawMailNumber()); }

// The IDs are taken unsorted and sorted once: a sorted list moves everything
// behind each insert, which grows with the square of the IDs. Equal IDs
// then stand side by side, and one of each stays, as a sorted list keeps them.
void TSync::LoadUIDs() {
  TStringList& ids = *KnownIDs;
  ids.Clear();
  ids.SetSorted(false);
  Guarded(*Session, "TSync.LoadUIDs;", [&] {
    StoreSession store(LocalIn());
    RecordList records = store.List();
    for (int i = 0, n = records.Count(); i < n; ++i) ids.Add(Text(records.Value(records.Item(i), inID)));
  });
  ids.SetSorted(true);
  const bool caseSensitive = ids.CaseSensitive();
  for (int i = ids.Count() - 1; i > 0; --i)
    if ((caseSensitive ? AnsiCompareStr(ids.At(i), ids.At(i - 1)) : AnsiCompareText(ids.At(i), ids.At(i - 1))) == 0)
      ids.Delete(i);
}

std::string TSync::EncodeMessage(const std::string& Text) {
  try {
    std::string text = Trim(Text);
    std::string out;
    out.reserve(text.size());
    for (size_t i = 0; i < text.size(); ++i) {
      if (text[i] == '\r') {
        out += ParagraphMark;
        // A CR alone (old Macintosh mail) is a line break too; the character
        // after it is text, not the rest of a CR LF pair.
        if (i + 1 < text.size() && text[i + 1] == '\n') ++i;
      } else {
        out += text[i];
      }
    }
    return out;
  } catch (...) {
    return Text;
  }
}

// ---- Writing and maintenance ----

bool TSync::AddMailToDatFile() {
  const bool result = Guarded(*Session, "TSync.AddMailToDatFile", [&] {
    StoreSession store(LocalIn());
    // Every record is an object of one kind: its members' ids are looked up once.
    const RecordList records = store.List();
    ProgressMax(PCMails->Count());
    for (int i = 0; i < PCMails->Count(); ++i) {
      ProgressPosition(i + 1);
      const TMail& mail = *(*PCMails)[i];
      if (!(mail.Flags & mfTransfer)) continue;
      Variant record = store.NewRecord();
      // The record is committed with what it got also when a value failed.
      try {
        records.SetValue(record, inSubject, Variant(mail.Subject));
        records.SetValue(record, inFrom, Variant(mail.From));
        records.SetValue(record, inDate, Variant::Date(mail.Date));
        records.SetValue(record, inTo, Variant(mail.To));
        records.SetValue(record, inCC, Variant(mail.CC));
        records.SetValue(record, inBC, Variant(mail.BC));
        records.SetValue(record, inMessage, Variant(EncodeMessage(mail.Message)));
        records.SetValue(record, inReply, Variant(std::string()));
        records.SetValue(record, inAttachments, Variant(mail.Attachments));
        records.SetValue(record, inDeleteMark, Variant(false));
        records.SetValue(record, inKeep, Variant(Session->KeepMessages));
        records.SetValue(record, inReplyAll, Variant(Session->ReplyToAll));
        records.SetValue(record, inIncludeMessage, Variant(Session->QuoteOriginal));
        records.SetValue(record, inExcluded, Variant(Session->NewRecordExcluded));
        records.SetValue(record, inReplySent, Variant(false));
        records.SetValue(record, inID, Variant(mail.ID));
      } catch (...) {
        records.Commit(record);
        throw;
      }
      records.Commit(record);
    }
  });
  ProgressLine2("");
  return result;
}

TSync::HeldStores::HeldStores(TSync& Sync) : sync_(Sync) { sync_.Holding = true; }

TSync::HeldStores::~HeldStores() {
  sync_.Holding = false;
  sync_.HeldIn.reset();
  sync_.HeldOut.reset();
}

StoreSession* TSync::Held(const std::string& File) {
  if (!Holding) return nullptr;
  std::unique_ptr<StoreSession>& held = File == LocalIn() ? HeldIn : HeldOut;
  if (!held) held = std::make_unique<StoreSession>(File);
  return held.get();
}

void TSync::MarkNewAsSent(const std::string& ID) {
  if (ID.empty()) return;
  Guarded(*Session, "TSync.MarkNewAsSent", [&] { MarkFirstUnmarked(*OutIDs, Held(LocalOut()), LocalOut(), outID, ID, outSent, {}); });
}

namespace {

std::function<std::optional<std::string>(const Variant&)> Rename(const std::string& OldID, const std::string& NewID) {
  return [&](const Variant& record) -> std::optional<std::string> {
    if (SameText(OldID, NewID)) return std::nullopt;
    SetValue(record, inID, Variant(NewID));
    return NewID;
  };
}

}  // namespace

void TSync::MarkReplyAsSent(const std::string& OldID, const std::string& NewID) {
  if (OldID.empty()) return;
  Guarded(*Session, "TSync.MarkReplyAsSent",
          [&] { MarkFirstUnmarked(*InIDs, Held(LocalIn()), LocalIn(), inID, OldID, inReplySent, Rename(OldID, NewID)); });
}

// New mails named by an earlier run get their names back first, so that the
// marks find them. The k-th journalled sending of an ID asks for k marked
// records of it, so a mark that reached the handheld before the journal was
// cleared is not set a second time on another record of the same ID. A
// reply's record is found by its old ID only until it is marked, as marking
// renames it.
int TSync::MarkJournalled(const RunJournal& Journal) {
  int marked = 0;
  Guarded(*Session, "TSync.MarkJournalled", [&] {
    if (!Journal.Named().empty()) {
      std::unordered_multimap<std::string, std::string> names;
      for (const NamedMail& m : Journal.Named()) names.emplace(m.Contents, m.ID);
      StoreSession store(LocalOut());
      RecordList records = store.List();
      for (int i = 0, n = records.Count(); i < n && !names.empty(); ++i) {
        Variant record = records.Item(i);
        if (!IsEmptyText(records.Value(record, outID))) continue;
        auto name = names.find(OutContents(record));
        if (name == names.end()) continue;
        records.Update(record);
        records.SetValue(record, outID, Variant(name->second));
        records.Commit(record);
        names.erase(name);
      }
    }
    std::unordered_map<std::string, int> times[2];
    for (const SentMail& m : Journal.Sent()) {
      if (m.OldID.empty()) continue;
      const int enough = ++times[m.Reply][m.OldID];
      marked += m.Reply ? MarkFirstUnmarked(*InIDs, nullptr, LocalIn(), inID, m.OldID, inReplySent, Rename(m.OldID, m.NewID), enough)
                        : MarkFirstUnmarked(*OutIDs, nullptr, LocalOut(), outID, m.OldID, outSent, {}, enough);
    }
  });
  return marked;
}

// Each pass deletes the first record that qualifies. Whether a record
// qualifies depends on its own columns and a fixed cut-off only, and nothing
// in the walk writes to a record it passed over, so a pass goes on from the
// index of the record just deleted: the records before it were passed over
// by the earlier passes and still do not qualify.
template <class Deletable, class Deleted>
int TSync::Thin(const std::string& file, const char* place, Deletable&& deletable, int subjectColumn,
                const char* traceText, Deleted&& deleted) {
  int removed = 0;
  Guarded(*Session, place, [&] {
    StoreSession store(file);
    RecordList records = store.List();
    const int passes = records.Count();
    ProgressMax(passes);
    TPacer pacer;
    bool done = false;
    int from = 0, pass = 1;
    for (; pass <= passes && !done; ++pass) {
      ProgressPosition(pass);
      done = true;  // unless this pass deletes a record
      for (int i = from, count = records.Count(); i < count; ++i) {
        Variant record = records.Item(i);
        if (!deletable(records, record)) {
          pacer();
          continue;
        }
        const std::string subject = Text(records.Value(record, subjectColumn));
        deleted.before(record);
        ProgressLine2(subject);
        Session->Trace(traceText + subject);
        records.Delete(record);
        ++removed;
        deleted.after();
        done = records.Count() == 0;
        from = i;
        break;
      }
    }
    // The passes left once the work is done would only step the bar, one
    // message pump each: it goes to the end at once.
    if (pass <= passes) ProgressPosition(passes);
  });
  ProgressLine2("");
  return removed;
}

namespace {
// What the clean-ups do around a deletion: nothing.
struct NoFollowUp {
  void before(const Variant&) {}
  void after() {}
};
}  // namespace

int TSync::CleanInFile() {
  if (!Session->InAutoClean) return 0;
  const TDateTime cutoff = Date() - static_cast<double>(Session->InCleanDays);
  auto deletable = [cutoff](const RecordList& records, const Variant& r) {
    Variant date = records.Value(r, inDate);
    return !date.IsEmpty() && !date.IsNull() && date.AsDate() <= cutoff && !IsTrue(records.Value(r, inKeep)) &&
           !IsTrue(records.Value(r, inExcluded)) && (IsEmptyText(records.Value(r, inReply)) || IsTrue(records.Value(r, inReplySent)));
  };
  return Thin(LocalIn(), "TSync.CleanInFile", deletable, inSubject, "InBox Cleanup deletion: ", NoFollowUp{});
}

int TSync::CleanOutFile() {
  if (!Session->OutAutoClean) return 0;
  const TDateTime cutoff = Date() - static_cast<double>(Session->OutCleanDays);
  auto deletable = [cutoff](const RecordList& records, const Variant& r) {
    Variant date = records.Value(r, outDate);
    return !date.IsEmpty() && !date.IsNull() && date.AsDate() <= cutoff && !IsTrue(records.Value(r, outKeep)) &&
           IsTrue(records.Value(r, outSent)) && !IsTrue(records.Value(r, outHold));
  };
  return Thin(LocalOut(), "TSync.CleanOutFile", deletable, outSubject, "OutBox Cleanup deletion: ", NoFollowUp{});
}

int TSync::DeletePIMMail() {
  auto deletable = [](const RecordList& records, const Variant& r) {
    return IsTrue(records.Value(r, inDeleteMark)) && (IsEmptyText(records.Value(r, inReply)) || IsTrue(records.Value(r, inReplySent)));
  };
  // The handheld record goes first; the PC client then deletes its copy,
  // and whatever it answers, the record stays deleted.
  struct MirrorToPC {
    std::string id;
    void before(const Variant& r) { id = Text(Value(r, inID)); }
    void after() {
      if (ConduitEntries.vazDeletePCMail) ConduitEntries.vazDeletePCMail(Application.Handle, id, &Memo, &Progress);
    }
  };
  return Thin(LocalIn(), "TSync.DeletePIMMail", deletable, inSubject, "InBox PIM Deletion: ", MirrorToPC{});
}

int TSync::MasterDeletion() {
  int result = 0;
  TStringList candidates;
  const bool done = Guarded(*Session, "TSync.MasterDeletion", [&] {
    StoreSession store(LocalIn());
    RecordList records = store.List();
    const int count = records.Count();
    // Where every ID stands, in record order, so that each ID the conduit
    // leaves finds its first record without a walk.
    struct Places {
      std::vector<int> at;
      size_t gone = 0;
    };
    std::unordered_map<std::string, Places> places;
    for (int i = 0; i < count; ++i) {
      Variant r = records.Item(i);
      std::string id = Text(records.Value(r, inID));
      if (!IsTrue(records.Value(r, inKeep)) && !IsTrue(records.Value(r, inExcluded)) &&
          (IsEmptyText(records.Value(r, inReply)) || IsTrue(records.Value(r, inReplySent))))
        candidates.Add(id);
      places[std::move(id)].at.push_back(i);
    }
    if (candidates.Count() == 0) return;
    TStringList* list = &candidates;
    int check = ConduitEntries.vazMasterCheck ? ConduitEntries.vazMasterCheck(Application.Handle, &list) : vazFailed;
    if (check != vazDone) throw Exception("Call to master check function failed.");
    Removals removals(count);
    const int left = candidates.Count();
    for (int n = 0; n < left; ++n) {
      auto found = places.find(candidates.At(n));
      if (found == places.end() || found->second.gone == found->second.at.size()) continue;
      const int original = found->second.at[found->second.gone++];
      records.Delete(records.Item(original - removals.Before(original)));
      removals.Remove(original);
      result = 1;
    }
  });
  if (!done) result = 0;
  candidates.Clear();
  return result;
}

void TSync::CreateBackupFiles() {
  Guarded(*Session, "TSync.CreateBackupFiles", [&] {
    const std::pair<std::string, const char*> copies[] = {{LocalIn(), "INBACK"}, {LocalOut(), "OUTBACK"}};
    for (const auto& [source, backup] : copies) {
      if (!FileExists(source)) continue;
      // The system copies without a buffer of the whole store; should it
      // fail, the streams copy again and raise what failed. The copy is made
      // beside the old backup, which it then replaces: the old one stays
      // whole until the new one is, and is never cut to nothing first (some
      // file systems write out a file's unwritten pages before cutting it).
      const std::string target = Session->TempDir + backup, fresh = target + ".new";
      if (CopyFileA(source.c_str(), fresh.c_str(), FALSE) &&
          MoveFileExA(fresh.c_str(), target.c_str(), MOVEFILE_REPLACE_EXISTING))
        continue;
      DeleteFileA(fresh.c_str());
      TMemoryStream bytes;
      bytes.LoadFromFile(source);
      bytes.SaveToFile(target);
    }
  });
}
