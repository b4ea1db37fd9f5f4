#include "ConduitKit.h"

#include <algorithm>
#include <cctype>

#include "C_Prog.h"
#include "ConduitFrame.h"
#include "C_Types.h"
#include "ExtCtrls.h"
#include "Global.h"
#include "Handles.h"
#include "Forms.h"
#include "StdCtrls.h"
#include "UserInterface.h"
#include "Verinfo.h"

void FillAboutPage(TForm& Form, const char* HelpFileName, TImage& Picture, TLabel& Description, TLabel& Version,
                   TLabel& Copyright) {
  try {
    TVerInfoRes info(GetModuleName());
    Description.SetCaption(info.GetString(TVerInfoRes::FileDescription));
    Version.SetCaption(Format("Version: %s", {info.GetString(TVerInfoRes::FileVersion)}));
    Copyright.SetCaption(info.GetString(TVerInfoRes::LegalCopyright));
  } catch (...) {
  }
  Picture.Picture.LoadFromResourceName(ThisModule(), "ConduitPicture");
  Form.HelpFile = ExtractFilePath(GetModuleName()) + HelpFileName;
}

void ErrorBox(const std::string& Text, const std::string& Caption) {
  ui::Message(nullptr, Text, Caption, MB_OK | MB_SETFOREGROUND);
}

void ExceptionBox(const std::string& Message, const std::string& Place) {
  ErrorBox(Format("Exception %s in %s.", {Message, Place}), "VAZ Error");
}

void OpenConduitSettings(TRegistry& Reg) {
  Reg.SetRootKey(HKEY_LOCAL_MACHINE);
  if (!Reg.OpenKey(ConduitSettingsKey(), true)) throw ERegistryException("The conduit's settings key cannot be opened");
}

// A value never written (a first run) takes a default that is worth having:
// without them a fresh install could not, for one, address the handheld's mail.
std::string ReadStringSetting(TRegistry& Reg, const char* Name, const std::string& Default, bool WriteBack) {
  try {
    if (!Default.empty() && !Reg.ValueExists(Name)) {
      if (WriteBack) Reg.WriteString(Name, Default);
      return Default;
    }
    return Reg.ReadString(Name);
  } catch (const ERegistryException&) {
    if (WriteBack) Reg.WriteString(Name, Default);
    return Default;
  }
}

bool ReadBoolSetting(TRegistry& Reg, const char* Name, bool Default, bool WriteBack) {
  try {
    return Reg.ReadBool(Name);
  } catch (const ERegistryException&) {
    if (WriteBack) Reg.WriteBool(Name, Default);
    return Default;
  }
}

std::string FinishList(const std::string& List) {
  std::string s = Trim(List);
  if (!s.empty() && s.back() == ',') s.pop_back();
  return s;
}

void RemoveFirst(TStringList& List, const std::string& Text) {
  for (int i = 0; i < List.Count(); ++i)
    if (SameText(List.At(i), Text)) {
      List.Delete(i);
      return;
    }
}

std::string AddressPart(const std::string& Item) {
  std::string s = Trim(Item);
  // The last "<" opens the address: a display name may hold brackets of its
  // own ('"Pat <Sales>" <pat@x>').
  size_t open = s.rfind('<');
  size_t close = open == std::string::npos ? open : s.find('>', open);
  if (close != std::string::npos)
    return Trim(s.substr(open + 1, close - open - 1));
  // An older mail's form puts the name in a comment after the address
  // ('pat@x (Pat Doe)').
  if (size_t comment = s.find('('); comment != std::string::npos && comment > 0 && s.back() == ')')
    s = Trim(s.substr(0, comment));
  size_t colon = s.find(':');
  if (colon != std::string::npos && colon > 0 &&
      std::all_of(s.begin(), s.begin() + colon, [](unsigned char c) { return std::isalnum(c) != 0; }))
    return Trim(s.substr(colon + 1));
  return s;
}

// These read by character: in a double-byte code page the second byte of a
// character may be that of a backslash (ソ is 0x83 0x5C), which escapes nothing.
std::string QuotedName(const std::string& Name) {
  std::string s = "\"";
  for (size_t i = 0, next; i < Name.size(); i = next) {
    next = NextCharIndex(Name, i);
    if (Name[i] == '"' || Name[i] == '\\') s += '\\';
    s.append(Name, i, next - i);
  }
  return s + '"';
}

std::string Unquoted(const std::string& Item) {
  std::string s = Trim(Item);
  if (s.size() < 2 || s.front() != '"' || s.back() != '"') return s;
  std::string name;
  for (size_t i = 1, next; i + 1 < s.size(); i = next) {
    if (s[i] == '\\' && i + 2 < s.size()) ++i;
    next = std::min(NextCharIndex(s, i), s.size() - 1);
    name.append(s, i, next - i);
  }
  return name;
}

bool TOwnAddress::Names(const std::string& Item) const {
  std::string own = AddressPart(Address);
  if (!own.empty() && SameText(AddressPart(Item), own)) return true;
  return !Name.empty() && SameText(Unquoted(Item), Name);
}

void TOwnAddress::RemoveFrom(TStringList& List) const {
  for (int i = List.Count() - 1; i >= 0; --i)
    if (Names(List.At(i))) List.Delete(i);
}

namespace {

struct TListItems {
  std::vector<std::string> Items;
  size_t UnclosedAt = std::string::npos;  // where the item whose name never closes starts
};

TListItems QuotedItems(const std::string& List, bool Escapes) {
  TListItems r{{""}};
  size_t itemStart = 0;
  bool quoted = false;
  // What follows the character at Place, blanks passed over; 0 at the end.
  auto after = [&List](size_t Place) {
    const size_t next = List.find_first_not_of(" \t\r\n", Place + 1);
    return next == std::string::npos ? '\0' : List[next];
  };
  for (size_t i = 0; i < List.size(); ++i) {
    const char c = List[i];
    std::string& item = r.Items.back();
    if (const size_t next = NextCharIndex(List, i); next > i + 1) {
      item.append(List, i, next - i);  // a double-byte character is none of the marks
      i = next - 1;
      continue;
    }
    if (quoted) {
      // A quote that the address follows ends the name even after a backslash.
      if (Escapes && c == '\\' && i + 1 < List.size() && !(List[i + 1] == '"' && after(i + 1) == '<')) {
        const size_t next = NextCharIndex(List, i + 1);
        item.append(List, i, next - i);
        i = next - 1;
        continue;
      }
      if (c == '"') {
        const char next = after(i);
        quoted = next != '\0' && next != ',' && next != '<';
      }
    } else if (c == ',') {
      r.Items.emplace_back();
      itemStart = i + 1;
      continue;
    } else if (c == '"') {
      const std::string before = Trim(item);
      quoted = before.empty() || before.back() == ':';
    }
    r.Items.back() += List[i];
  }
  if (quoted) {
    r.Items.pop_back();
    r.UnclosedAt = itemStart;
  }
  return r;
}

}  // namespace

std::vector<std::string> ListItems(const std::string& List) {
  // A display name in double quotes may hold commas ('smtp:"Doe, Jane"<j@x>',
  // '"Doe, Jane" <j@x>'): a quote at the start of an item or after its type
  // prefix opens such a name, and only a quote that the item's end, a comma
  // or the address's "<" follows closes it, so quotes inside the name
  // ('"Bob "The Builder" Stone"') stay in it; a backslash escapes the next
  // character, as in a mail's header. A name that an older build wrote as it
  // stood may end in a backslash ('smtp:"Corp, IT\"<it@x>', '"Corp, IT\"'):
  // the quote before an address closes it, and where escapes leave a name
  // unclosed, the list is read again without them. Where a name's quote is
  // never closed even so, its commas and those after it separate.
  TListItems r = QuotedItems(List, true);
  if (r.UnclosedAt == std::string::npos) return std::move(r.Items);
  // Read as far as its names close, escaped or not.
  TListItems plain = QuotedItems(List, false);
  if (plain.UnclosedAt == std::string::npos || plain.UnclosedAt > r.UnclosedAt) r = std::move(plain);
  for (size_t start = r.UnclosedAt; start != std::string::npos;) {
    const size_t comma = List.find(',', start);
    r.Items.push_back(List.substr(start, comma == std::string::npos ? std::string::npos : comma - start));
    start = comma == std::string::npos ? comma : comma + 1;
  }
  return std::move(r.Items);
}

int SplitAddresses(const std::string& Addresses, TStringList* List, const TOwnAddress& Own) {
  try {
    if (Addresses.empty() || List == nullptr) return 0;
    List->Clear();
    // Items go to the mail client trimmed: it refuses an address with a
    // leading blank, and a retry with a type prefix would keep the blank.
    for (const std::string& item : ListItems(Trim(Addresses))) List->Add(Trim(item));
    Own.RemoveFrom(*List);
    return List->Count();
  } catch (...) {
    return 0;
  }
}

std::string MergeReplyAll(const std::string& ListA, const std::string& ListB, const TOwnAddress& Own,
                          TReplyAllRules Rules) {
  std::string s = Trim(ListA) + "," + Trim(ListB);
  std::erase(s, ParagraphMark);
  TStringList items;
  items.SetSorted(true);
  items.Duplicates = TDuplicates::dupIgnore;
  for (std::string item : ListItems(s)) {
    if (Rules.TrimItems) item = Trim(item);
    // An empty item is no address: two lists of which one is empty would
    // otherwise answer a list that starts with a separator.
    if (!item.empty()) items.Add(item);
  }
  Own.RemoveFrom(items);
  std::string joined;
  for (int i = 0; i < items.Count(); ++i) joined += items.At(i) + ", ";
  joined = Trim(joined);
  if (!joined.empty()) joined.pop_back();
  return joined;
}

std::string AttachmentList(const Variant& Attachments, const TAttachmentKinds& Kinds) {
  int count = Attachments.Get("Count").AsInteger();
  std::string items;
  for (int i = 1; i <= count; ++i) {
    Variant attachment = Attachments.Call("Item", {i});
    auto kind = Kinds.Texts.find(attachment.Get(Kinds.KindMember).AsInteger());
    items += Format(Kinds.Pattern, {attachment.Get(Kinds.NameMember).AsString(),
                                    kind == Kinds.Texts.end() ? Kinds.Other : kind->second});
    items += ParagraphMark;
  }
  return Trim(items);
}

void AnswerReplyAll(std::string* Result, HWND AppHandle, const std::string& ListA, const std::string& ListB,
                    const TOwnAddress& Own, TReplyAllRules Rules) {
  RunStringExport(Result, AppHandle, [] { return std::string(); },
                  [&] { return MergeReplyAll(ListA, ListB, Own, Rules); });
}

int SendOrReply(HWND AppHandle, TMail** Mail, TMemoVar Memo, TProgressVar Progress, TSendStep Reply,
                TSendStep SendNew) {
  return RunExport(AppHandle, vazFailed, [&] {
    TProgressLine line(Progress);
    int result = vazDone;
    Application.ProcessMessages();
    TMail* mail = Assigned(Mail, "List not assigned");
    bool reply = (mail->Flags & mfReply) != 0;
    line.Set((reply ? "Reply: " : "New Email: ") + mail->Subject);
    if (reply) {
      if (!Reply(mail, Memo) && !SendNew(mail, Memo)) result = vazCancelled;
    } else if (!SendNew(mail, Memo)) {
      result = vazCancelled;
    }
    return result;
  });
}

bool GuardedReply(const std::function<bool()>& Body) {
  try {
    return Body();
  } catch (const EInvalidMessageID&) {
    return false;
  } catch (const Exception& e) {
    ExceptionBox(e.Message, "ReplyMail");
    return false;
  }
}

int GuardedGetPCMail(TMailList** MailList, bool ClearOnFailure, const std::function<int()>& Body) {
  try {
    return Body();
  } catch (const EAborted&) {
    (**MailList).ClearList();
    Application.ProcessMessages();
    return vazCancelled;
  } catch (const Exception& e) {
    ExceptionBox(e.Message, "vazGetPCMail");
    if (ClearOnFailure) {
      if (MailList && *MailList) (**MailList).ClearList();
      Application.ProcessMessages();
    }
    return vazFailed;
  }
}

TProgress* ProgressWindow(TProgressVar Progress) { return Progress != nullptr ? *Progress : nullptr; }

TProgressLine::~TProgressLine() {
  try {
    Set("");
  } catch (...) {
  }
}

void TProgressLine::Set(const std::string& Text) const {
  TProgress* window = ProgressWindow(progress_);
  if (window != nullptr && (!onlyWhenVisible_ || window->Visible())) window->SetLine2(Text);
}

void KeepGoneMails(TStringList& IDs, const std::function<bool(const std::string& ID)>& Gone) {
  TStringList copy;
  copy.Assign(IDs);
  IDs.Clear();
  for (int i = 0; i < copy.Count(); ++i) {
    Application.ProcessMessages();
    bool gone;
    try {
      gone = Gone(copy.At(i));
    } catch (const Exception&) {
      gone = true;
    }
    if (gone) IDs.Add(copy.At(i));
  }
}
