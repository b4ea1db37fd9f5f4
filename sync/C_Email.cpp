#include "C_Email.h"

#include "C_Prog.h"
#include "C_ResMan.h"
#include "C_sesobj.h"
#include "ComObj.h"
#include "Forms.h"
#include "Variant.h"

TConduitEntries ConduitEntries;

namespace {

// The data-file server and the two interfaces the system uses.
const char* const DataServerProgID = "ORVIK.ObjEvrinData";
const IID IID_DataObject = {0x2B83B7B4, 0x21ED, 0x11D0, {0xB9, 0x82, 0x00, 0x20, 0xAF, 0xC8, 0x15, 0xFA}};
const IID IID_DataFile = {0xACB1E0F0, 0x22B7, 0x11D0, {0xB9, 0x83, 0x00, 0x20, 0xAF, 0xC8, 0x15, 0xFA}};
constexpr DISPID dispOpen = 1;
constexpr DISPID dispClose = 3;
constexpr DISPID dispRecords = 5;
constexpr DISPID dispNewRecord = 9;

// In box columns.
enum InCol {
  inSubject = 0, inFrom = 1, inDate = 2, inTo = 3, inCC = 4, inBC = 5, inMessage = 6, inReply = 7,
  inAttachments = 8, inDeleteMark = 9, inKeep = 10, inReplyAll = 11, inIncludeMessage = 12, inExcluded = 13,
  inReplySent = 14, inID = 15
};
// Out box columns.
enum OutCol {
  outSubject = 0, outTo = 1, outCC = 2, outBC = 3, outDate = 4, outMessage = 5, outHold = 6, outKeep = 7,
  outSent = 8, outID = 9
};

// One opened store. Whatever happens, the end of the scope releases the
// collection and the data-file object, closes the file and releases the
// server: nothing of the server outlives the operation.
class DataStore {
 public:
  explicit DataStore(const std::string& file)
      : dataObject_(CreateDispatch(DataServerProgID, IID_DataObject, CLSCTX_INPROC_SERVER)) {
    dataFile_ = Variant(QueryDispatch(dataObject_.Call(dispOpen, {Variant(AnsiToWide(file))}), IID_DataFile));
    opened_ = true;
  }
  ~DataStore() {
    records_ = Variant();
    dataFile_ = Variant();
    if (opened_) {
      try {
        dataObject_.Call(dispClose);
      } catch (...) {
        // Closing must not mask the failure that ended the operation.
      }
    }
  }
  DataStore(const DataStore&) = delete;
  DataStore& operator=(const DataStore&) = delete;

  // The record collection, read afresh.
  Variant& Records() {
    records_ = dataFile_.Get(dispRecords);
    return records_;
  }
  Variant NewRecord() { return dataFile_.Call(dispNewRecord); }

 private:
  Variant dataObject_;
  Variant dataFile_;
  Variant records_;
  bool opened_ = false;
};

int Count(const Variant& records) { return records.Call("Count").AsInteger(); }
Variant Item(const Variant& records, int index) { return records.Call("Item", {Variant(index)}); }
Variant Value(const Variant& record, int column) { return record.Call("GetValue", {Variant(column)}); }
void SetValue(const Variant& record, int column, const Variant& value) {
  record.Call("SetValue", {Variant(column), value});
}

// Comparisons as automation Variants compare: an empty value equals False
// and the empty string.
bool IsFalse(const Variant& v) { return v.IsEmpty() || (!v.IsNull() && !v.AsBool()); }
bool IsTrue(const Variant& v) { return !v.IsEmpty() && !v.IsNull() && v.AsBool(); }
bool IsEmptyText(const Variant& v) { return v.IsEmpty() || (!v.IsNull() && v.AsString().empty()); }
std::string Text(const Variant& v) { return v.IsEmpty() || v.IsNull() ? std::string() : v.AsString(); }

void Pump() { Application.ProcessMessages(); }

void ProgressMax(int n) {
  if (Progress) Progress->SetMax(n);
}
void ProgressPosition(int n) {
  if (Progress) Progress->SetPosition(n);
}
void ProgressLine2(const std::string& text) {
  if (Progress) Progress->SetLine2(text);
}

}  // namespace

TSync::TSync(TSesObj* Session, TResManager* Resources)
    : PCMails(std::make_unique<TMailList>(Session, Resources)),
      HandheldMails(std::make_unique<TMailList>(Session, Resources)),
      KnownIDs(std::make_unique<TStringList>()),
      Session(Session),
      Resources(Resources) {
  KnownIDs->SetSorted(true);  // asked once for every PC mail
}

TSync::~TSync() {
  try {
    KnownIDs->Clear();
    KnownIDs.reset();
    FreeConduits();
    PCMails.reset();
    HandheldMails.reset();
    UnloadConduit();
  } catch (const Exception& e) {
    Session->ShowError(e.Message, "TSync.destroy");
  }
}

std::string TSync::LocalIn() const { return Session->TempDir + "In"; }
std::string TSync::LocalOut() const { return Session->TempDir + "Out"; }

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
  } catch (const Exception&) {
    return false;
  }
}

bool TSync::SaveInTemplate(const std::string& Path) { return SaveTemplate(1, Path); }
bool TSync::SaveOutTemplate(const std::string& Path) { return SaveTemplate(2, Path); }

bool TSync::ReadOutDat() {
  try {
    DataStore store(LocalOut());
    Variant& records = store.Records();
    int count = Count(records);
    TMailList& list = *HandheldMails;
    for (int i = 0; i < count; ++i) {
      Variant record = Item(records, i);
      if (!IsFalse(Value(record, outSent)) || !IsFalse(Value(record, outHold))) continue;
      list.Flags = mfTransfer | mfFromHandheld;
      list.From.clear();
      list.To = Text(Value(record, outTo));
      list.CC = Text(Value(record, outCC));
      list.BC = Text(Value(record, outBC));
      list.Subject = Text(Value(record, outSubject));
      Variant date = Value(record, outDate);
      list.Date = date.IsEmpty() || date.IsNull() ? 0 : date.AsDate();
      list.Message = Text(Value(record, outMessage));
      list.ID = Text(Value(record, outID));
      if (list.ID.empty()) {
        // Written back at once, so the mail keeps this ID across runs.
        list.ID = NewMailID();
        record.Call("Update");
        SetValue(record, outID, Variant(list.ID));
        record.Call("Commit");
      }
      list.Add(false);
    }
    return true;
  } catch (const Exception& e) {
    Session->ShowError(e.Message, "TSync.ReadOutDat");
    return false;
  }
}

bool TSync::ReadReplyDat() {
  try {
    DataStore store(LocalIn());
    Variant& records = store.Records();
    int count = Count(records);
    TMailList& list = *HandheldMails;
    for (int i = 0; i < count; ++i) {
      Variant record = Item(records, i);
      if (!IsFalse(Value(record, inReplySent)) || IsEmptyText(Value(record, inReply)) ||
          !IsFalse(Value(record, inExcluded)))
        continue;
      list.Flags = mfTransfer | mfFromHandheld | mfReply;
      list.From.clear();
      list.Subject = Text(Value(record, inSubject));
      Variant date = Value(record, inDate);
      list.Date = date.IsEmpty() || date.IsNull() ? 0 : date.AsDate();
      list.Message = Text(Value(record, inReply));
      list.IncludeMessage = IsTrue(Value(record, inIncludeMessage));
      list.ReplyAll = IsTrue(Value(record, inReplyAll));
      if (list.ReplyAll) {
        std::string to;
        if (ConduitEntries.vazReplyAll)
          ConduitEntries.vazReplyAll(&to, Application.Handle, Text(Value(record, inFrom)), Text(Value(record, inTo)));
        list.To = to;
        list.CC = Text(Value(record, inCC));
        list.BC = Text(Value(record, inBC));
      } else {
        list.To = Text(Value(record, inFrom));
        list.CC.clear();
        list.BC.clear();
      }
      list.ID = Text(Value(record, inID));
      list.Add(false);
    }
    return true;
  } catch (const Exception& e) {
    Session->ShowError(e.Message, "TSync.ReadReplyDat");
    return false;
  }
}

std::string TSync::NewMailID() {
  std::string id = FormatDateTime("ddmmyyyy|hhnnss", Now());
  int hour, min, sec, msec;
  DecodeTime(NowUTC(), hour, min, sec, msec);
  std::uint32_t seed = static_cast<std::uint32_t>(((hour * 60 + min) * 60 + sec) * 1000 + msec);
  seed = seed * 134775813u + 1u;
  std::uint32_t number = static_cast<std::uint32_t>((static_cast<std::uint64_t>(seed) * 100u) >> 32);
  return id + "|" + std::to_string(number);
}

void TSync::LoadUIDs() {
  try {
    KnownIDs->Clear();
    DataStore store(LocalIn());
    Variant& records = store.Records();
    int count = Count(records);
    for (int i = 0; i < count; ++i) KnownIDs->Add(Text(Value(Item(records, i), inID)));
  } catch (const Exception& e) {
    Session->ShowError(e.Message, "TSync.LoadUIDs;");
  }
}

std::string TSync::EncodeMessage(const std::string& Text) {
  try {
    std::string text = Trim(Text);
    std::string out;
    out.reserve(text.size());
    for (size_t i = 0; i < text.size(); ++i) {
      if (text[i] == '\r') {
        out += ParagraphMark;
        ++i;  // the character after the CR goes with it
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
  bool result = true;
  try {
    DataStore store(LocalIn());
    ProgressMax(PCMails->Count());
    for (int i = 0; i < PCMails->Count(); ++i) {
      ProgressPosition(i + 1);
      const TMail& mail = *(*PCMails)[i];
      if (!(mail.Flags & mfTransfer)) continue;
      Variant record = store.NewRecord();
      // The record is committed with what it got also when a value failed.
      try {
        SetValue(record, inSubject, Variant(mail.Subject));
        SetValue(record, inFrom, Variant(mail.From));
        SetValue(record, inDate, Variant::Date(mail.Date));
        SetValue(record, inTo, Variant(mail.To));
        SetValue(record, inCC, Variant(mail.CC));
        SetValue(record, inBC, Variant(mail.BC));
        SetValue(record, inMessage, Variant(EncodeMessage(mail.Message)));
        SetValue(record, inReply, Variant(std::string()));
        SetValue(record, inAttachments, Variant(mail.Attachments));
        SetValue(record, inDeleteMark, Variant(false));
        SetValue(record, inKeep, Variant(Session->KeepMessages));
        SetValue(record, inReplyAll, Variant(Session->ReplyToAll));
        SetValue(record, inIncludeMessage, Variant(Session->QuoteOriginal));
        SetValue(record, inExcluded, Variant(Session->NewRecordExcluded));
        SetValue(record, inReplySent, Variant(false));
        SetValue(record, inID, Variant(mail.ID));
      } catch (...) {
        record.Call("Commit");
        throw;
      }
      record.Call("Commit");
    }
  } catch (const Exception& e) {
    Session->ShowError(e.Message, "TSync.AddMailToDatFile");
    result = false;
  }
  ProgressLine2("");
  return result;
}

void TSync::MarkNewAsSent(const std::string& ID) {
  if (ID.empty()) return;
  try {
    DataStore store(LocalOut());
    Variant& records = store.Records();
    int count = Count(records);
    for (int i = 0; i < count; ++i) {
      Variant record = Item(records, i);
      if (Text(Value(record, outID)) == ID) {
        record.Call("Update");
        SetValue(record, outSent, Variant(true));
        record.Call("Commit");
        break;
      }
      Pump();
    }
  } catch (const Exception& e) {
    Session->ShowError(e.Message, "TSync.MarkNewAsSent");
  }
}

void TSync::MarkReplyAsSent(const std::string& OldID, const std::string& NewID) {
  if (OldID.empty()) return;
  try {
    DataStore store(LocalIn());
    Variant& records = store.Records();
    int count = Count(records);
    for (int i = 0; i < count; ++i) {
      Variant record = Item(records, i);
      if (Text(Value(record, inID)) == OldID) {
        record.Call("Update");
        SetValue(record, inReplySent, Variant(true));
        if (!SameText(OldID, NewID)) SetValue(record, inID, Variant(NewID));
        record.Call("Commit");
        break;
      }
      Pump();
    }
  } catch (const Exception& e) {
    Session->ShowError(e.Message, "TSync.MarkReplyAsSent");
  }
}

template <class Deletable, class Deleted>
int TSync::Thin(const std::string& file, const char* place, Deletable&& deletable, int subjectColumn,
                const char* traceText, Deleted&& deleted) {
  int removed = 0;
  try {
    DataStore store(file);
    Variant& records = store.Records();
    const int passes = Count(records);
    ProgressMax(passes);
    bool done = false;
    for (int pass = 1; pass <= passes; ++pass) {
      ProgressPosition(pass);
      if (done) continue;
      done = true;  // unless this pass deletes a record
      const int count = Count(records);
      for (int i = 0; i < count; ++i) {
        Variant record = Item(records, i);
        if (!deletable(record)) {
          Pump();
          continue;
        }
        const std::string subject = Text(Value(record, subjectColumn));
        deleted.before(record);
        ProgressLine2(subject);
        Session->Trace(traceText + subject);
        record.Call("Delete");
        ++removed;
        deleted.after();
        done = Count(records) == 0;
        break;
      }
    }
  } catch (const Exception& e) {
    Session->ShowError(e.Message, place);
  }
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
  auto deletable = [cutoff](const Variant& r) {
    Variant date = Value(r, inDate);
    return !date.IsEmpty() && !date.IsNull() && date.AsDate() <= cutoff && !IsTrue(Value(r, inKeep)) &&
           !IsTrue(Value(r, inExcluded)) && (IsEmptyText(Value(r, inReply)) || IsTrue(Value(r, inReplySent)));
  };
  return Thin(LocalIn(), "TSync.CleanInFile", deletable, inSubject, "InBox Cleanup deletion: ", NoFollowUp{});
}

int TSync::CleanOutFile() {
  if (!Session->OutAutoClean) return 0;
  const TDateTime cutoff = Date() - static_cast<double>(Session->OutCleanDays);
  auto deletable = [cutoff](const Variant& r) {
    Variant date = Value(r, outDate);
    return !date.IsEmpty() && !date.IsNull() && date.AsDate() <= cutoff && !IsTrue(Value(r, outKeep)) &&
           IsTrue(Value(r, outSent)) && !IsTrue(Value(r, outHold));
  };
  return Thin(LocalOut(), "TSync.CleanOutFile", deletable, outSubject, "OutBox Cleanup deletion: ", NoFollowUp{});
}

int TSync::DeletePIMMail() {
  auto deletable = [](const Variant& r) {
    return IsTrue(Value(r, inDeleteMark)) && (IsEmptyText(Value(r, inReply)) || IsTrue(Value(r, inReplySent)));
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
  try {
    DataStore store(LocalIn());
    {
      Variant& records = store.Records();
      int count = Count(records);
      for (int i = 0; i < count; ++i) {
        Variant r = Item(records, i);
        if (!IsTrue(Value(r, inKeep)) && !IsTrue(Value(r, inExcluded)) &&
            (IsEmptyText(Value(r, inReply)) || IsTrue(Value(r, inReplySent))))
          candidates.Add(Text(Value(r, inID)));
      }
    }
    if (candidates.Count() > 0) {
      TStringList* list = &candidates;
      int check = ConduitEntries.vazMasterCheck ? ConduitEntries.vazMasterCheck(Application.Handle, &list) : vazFailed;
      if (check != vazDone) throw Exception("Call to master check function failed.");
      const int left = candidates.Count();
      for (int n = 0; n < left; ++n) {
        const std::string& id = candidates.At(n);
        Variant& records = store.Records();
        int count = Count(records);
        for (int i = 0; i < count; ++i) {
          Variant r = Item(records, i);
          if (Text(Value(r, inID)) == id) {
            r.Call("Delete");
            result = 1;
            break;
          }
        }
      }
    }
  } catch (const Exception& e) {
    Session->ShowError(e.Message, "TSync.MasterDeletion");
    result = 0;
  }
  candidates.Clear();
  return result;
}

void TSync::CreateBackupFiles() {
  try {
    const std::pair<std::string, const char*> copies[] = {{LocalIn(), "INBACK"}, {LocalOut(), "OUTBACK"}};
    for (const auto& [source, backup] : copies) {
      if (!FileExists(source)) continue;
      TMemoryStream bytes;
      bytes.LoadFromFile(source);
      bytes.SaveToFile(Session->TempDir + backup);
    }
  } catch (const Exception& e) {
    Session->ShowError(e.Message, "TSync.CreateBackupFiles");
  }
}
