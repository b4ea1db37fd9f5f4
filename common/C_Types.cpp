#include "C_Types.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <functional>

#include "C_sesobj.h"
#include "Classes.h"
#include "UserInterface.h"

namespace {
// A string list compares its strings in the user's locale, ignoring case
// unless it is case-sensitive. Two strings compare equal exactly when their
// sort keys under the same rules are equal, so a set of keys answers the
// list's own look-up without a search. The keys lie end to end in one block
// and the table holds a tag of each key's hash and its place: a look-up of a
// list of thousands touches two cache lines instead of a node, its string
// and the string's block.
class SortKeySet {
 public:
  SortKeySet(const TStringList& strings, bool ignoreCase) : ignoreCase_(ignoreCase) {
    size_t capacity = 16;
    while (capacity < static_cast<size_t>(strings.Count()) * 3 / 2) capacity *= 2;
    slots_.assign(capacity, Slot{});
    keys_.reserve(static_cast<size_t>(strings.Count()) * 64);
    for (int i = 0, n = strings.Count(); i < n; ++i) {
      const std::string& key = KeyOf(strings.At(i));
      const uint64_t hash = Hash(key);
      if (Find(key, hash)) continue;
      // Each key is stored after its length; a place past 4 GB cannot be kept.
      if (keys_.size() + sizeof(uint32_t) + key.size() > UINT32_MAX) throw Exception("Too many IDs to compare");
      Slot& slot = slots_[FreeSlot(hash)];
      slot = {static_cast<uint32_t>(hash >> 32), static_cast<uint32_t>(keys_.size()) + 1};
      const auto length = static_cast<uint32_t>(key.size());
      keys_.append(reinterpret_cast<const char*>(&length), sizeof length);
      keys_ += key;
    }
  }

  bool Contains(const std::string& s) {
    const std::string& key = KeyOf(s);
    return Find(key, Hash(key));
  }

 private:
  struct Slot {
    uint32_t tag = 0;
    uint32_t place = 0;  // 1 + where the key's length stands; 0 for a free slot
  };

  const std::string& KeyOf(const std::string& s) {
    if (!AnsiSortKey(s, ignoreCase_, key_)) throw Exception("An ID cannot be compared: " + s);
    return key_;
  }
  static uint64_t Hash(const std::string& key) { return std::hash<std::string>{}(key); }
  size_t FreeSlot(uint64_t hash) const {
    const size_t mask = slots_.size() - 1;
    size_t at = static_cast<size_t>(hash) & mask;
    while (slots_[at].place != 0) at = (at + 1) & mask;
    return at;
  }
  bool Find(const std::string& key, uint64_t hash) const {
    const size_t mask = slots_.size() - 1;
    const auto tag = static_cast<uint32_t>(hash >> 32);
    for (size_t at = static_cast<size_t>(hash) & mask; slots_[at].place != 0; at = (at + 1) & mask) {
      const Slot& slot = slots_[at];
      if (slot.tag != tag) continue;
      const char* stored = keys_.data() + slot.place - 1;
      uint32_t length;
      std::memcpy(&length, stored, sizeof length);
      if (length == key.size() && std::memcmp(stored + sizeof length, key.data(), length) == 0) return true;
    }
    return false;
  }

  bool ignoreCase_;
  std::string key_;  // the last key made, its block reused
  std::string keys_;
  std::vector<Slot> slots_;
};

void ShowListException(const Exception& e, const char* place) {
  ui::Message(nullptr, Format("Exception %s in %s.", {e.Message, place}), "TMailList Exception",
              MB_OK | MB_SETFOREGROUND);
}
}  // namespace

void TMail::SetMessage(const std::string& Text) {
  try {
    std::string text;
    text.reserve(Text.size() + Text.size() / 16);
    std::size_t from = 0;
    for (std::size_t at; (at = Text.find(ParagraphMark, from)) != std::string::npos; from = at + 1) {
      text.append(Text, from, at - from);
      text += "\r\n";
    }
    text.append(Text, from);
    Message = std::move(text);
  } catch (...) {
    Message = Text;
  }
}

int TMail::Size() const {
  size_t total = ID.size() + From.size() + To.size() + CC.size() + BC.size() + Subject.size() + Message.size() +
                 Attachments.size();
  return total > 0x7FFFFFFF ? 0 : static_cast<int>(total);
}

TMailList::TMailList(TSesObj* Session, TResManager* Resources) : Session(Session), Resources(Resources) {}

TMailList::~TMailList() { ClearList(); }

void TMailList::ClearStaging() {
  ID.clear();
  Flags = 0;
  From.clear();
  To.clear();
  CC.clear();
  BC.clear();
  Subject.clear();
  Message.clear();
  Attachments.clear();
  Date = 0;
  IncludeMessage = false;
  ReplyAll = false;
}

void TMailList::Compact() {
  Items.erase(std::remove(Items.begin(), Items.end(), nullptr), Items.end());
  Items.shrink_to_fit();
}

void TMailList::Add(bool ApplyAgeLimit) {
  try {
    bool keep = true;
    if (ApplyAgeLimit) {
      if (Session == nullptr) throw Exception("Session not assigned");
      if (Session->InAutoClean) {
        TDateTime limit = ::Date() - static_cast<double>(Session->InCleanDays);
        keep = limit < Date;
      }
    }
    if (keep) {
      // The staging fields are cleared below, so the mail takes them over.
      auto mail = std::make_unique<TMail>();
      mail->ID = std::move(ID);
      mail->Flags = Flags;
      mail->From = std::move(From);
      mail->To = std::move(To);
      mail->CC = std::move(CC);
      mail->BC = std::move(BC);
      mail->Subject = std::move(Subject);
      if (Message.find(ParagraphMark) == std::string::npos) mail->Message = std::move(Message);
      else mail->SetMessage(Message);
      mail->Attachments = std::move(Attachments);
      mail->Date = Date;
      mail->IncludeMessage = IncludeMessage;
      mail->ReplyAll = ReplyAll;
      Items.push_back(std::move(mail));
      if (Taken) Taken(TakenContext, *Items.back());
    }
    ClearStaging();
  } catch (const Exception& e) {
    ShowListException(e, "Method Add");
  }
}

void TMailList::ClearList() {
  try {
    TotalBytes = 0;
    Compact();
    Items.clear();
  } catch (const Exception& e) {
    ShowListException(e, "TMailList.ClearList");
  }
}

void TMailList::CalcTransferBytes() {
  TotalBytes = 0;
  try {
    for (const auto& mail : Items)
      if (mail && (mail->Flags & mfTransfer)) TotalBytes += mail->Size();
  } catch (const Exception& e) {
    ShowListException(e, "TMailList.CalcTransferBytes");
  }
}

void TMailList::RemoveListed(TStringList* IDs) {
  if (IDs == nullptr || IDs->Count() == 0 || Items.empty()) return;
  try {
    SortKeySet listed(*IDs, !IDs->CaseSensitive());
    // The mails lie apart on the heap and are rarely in the caches by now:
    // the next ones are fetched while the sort key of this one is made.
    constexpr size_t Ahead = 4;
    auto fetch = [&](size_t k) {
      if (k < Items.size() && Items[k]) {
        const char* object = reinterpret_cast<const char*>(Items[k].get());
        for (size_t at = 0; at < sizeof(TMail); at += 64) __builtin_prefetch(object + at);
      }
      if (k >= Ahead && k - Ahead < Items.size() && Items[k - Ahead]) {
        // A mail's texts: its ID is compared, and a removed mail's blocks are freed.
        const TMail& m = *Items[k - Ahead];
        for (const std::string* text : {&m.ID, &m.From, &m.To, &m.CC, &m.BC, &m.Subject, &m.Message, &m.Attachments})
          __builtin_prefetch(text->data());
      }
    };
    for (size_t k = 0; k < 2 * Ahead; ++k) fetch(k);
    for (size_t k = 0; k < Items.size(); ++k) {
      fetch(k + 2 * Ahead);
      std::unique_ptr<TMail>& mail = Items[k];
      if (mail && listed.Contains(mail->ID)) mail.reset();
    }
    Compact();
  } catch (...) {
    // A failure here leaves the remaining mails as they are, without the
    // places of those already removed.
    Compact();
  }
}
