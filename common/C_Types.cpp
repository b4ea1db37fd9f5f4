#include "C_Types.h"

#include <algorithm>
#include <unordered_set>

#include "C_sesobj.h"
#include "Classes.h"
#include "UserInterface.h"

namespace {
// A string list compares its strings in the user's locale, ignoring case
// unless it is case-sensitive. Two strings compare equal exactly when their
// sort keys under the same rules are equal, so a set of keys answers the
// list's own look-up without a search.
std::string ComparisonKey(const std::string& s, bool caseSensitive) {
  const DWORD flags = LCMAP_SORTKEY | (caseSensitive ? 0 : NORM_IGNORECASE);
  const int length = s.empty() ? -1 : static_cast<int>(s.size());
  const int size = LCMapStringA(LOCALE_USER_DEFAULT, flags, s.c_str(), length, nullptr, 0);
  if (size <= 0) throw Exception("An ID cannot be compared: " + s);
  std::string key(static_cast<size_t>(size), '\0');
  LCMapStringA(LOCALE_USER_DEFAULT, flags, s.c_str(), length, key.data(), size);
  return key;
}

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
    const bool caseSensitive = IDs->CaseSensitive();
    std::unordered_set<std::string> listed;
    listed.reserve(static_cast<size_t>(IDs->Count()));
    for (int i = 0, n = IDs->Count(); i < n; ++i) listed.insert(ComparisonKey(IDs->At(i), caseSensitive));
    // The mails lie apart on the heap and are rarely in the caches by now:
    // the next ones are fetched while the sort key of this one is made.
    constexpr size_t Ahead = 4;
    auto fetch = [&](size_t k) {
      if (k < Items.size() && Items[k]) __builtin_prefetch(Items[k].get());
      if (k >= Ahead && k - Ahead < Items.size() && Items[k - Ahead]) {
        const TMail& m = *Items[k - Ahead];
        __builtin_prefetch(m.ID.data());
        __builtin_prefetch(m.Message.data());
      }
    };
    for (size_t k = 0; k < 2 * Ahead; ++k) fetch(k);
    for (size_t k = 0; k < Items.size(); ++k) {
      fetch(k + 2 * Ahead);
      std::unique_ptr<TMail>& mail = Items[k];
      if (mail && listed.contains(ComparisonKey(mail->ID, caseSensitive))) mail.reset();
    }
    Compact();
  } catch (...) {
    // A failure here leaves the remaining mails as they are.
  }
}
