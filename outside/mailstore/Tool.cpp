// pcmail.exe: looks into and changes a PC mail profile, for tests, the demo
// and a user who wants to see what the mail-client stand-ins hold.
#include <windows.h>

#include <cstdio>
#include <stdexcept>
#include <string>
#include <vector>

#include "MailStore.h"
#include "Seed.h"

namespace {

using namespace mailstore;

const char* const Usage =
    "usage: pcmail COMMAND PROFILE [ARGUMENTS]\n"
    "  create PROFILE NAME USER [--book ADDRESS]...   a new profile with Inbox, Outbox, Sent Items\n"
    "                                                 and Deleted Items; addresses as in a From field\n"
    "  seed PROFILE COUNT [UNREAD] [--folder F] [--seed S] [--phone N]\n"
    "                                                 COUNT realistic messages, the newest UNREAD unread,\n"
    "                                                 N of them phone messages\n"
    "  folders PROFILE                                the folder tree with identifiers and counts\n"
    "  list PROFILE [FOLDER]                          the messages of a folder (default Inbox)\n"
    "  show PROFILE ID                                one message as its file holds it\n"
    "  add PROFILE FOLDER FILE [--unread]             a message file as it stands\n"
    "  mark PROFILE ID read|unread|replied|unreplied|deleted|undeleted\n"
    "  move PROFILE ID FOLDER                         to another folder (the message gets a new ID)\n"
    "  remove PROFILE ID\n"
    "  mkfolder PROFILE PARENT NAME                   a folder below PARENT (\"-\": a top folder)\n"
    "  fail PROFILE KIND [COUNT]                      the next COUNT (1) operations of KIND fail; 0 clears\n"
    "  failures PROFILE                               the failures still to come\n"
    "A FOLDER is a path of names from the top (Inbox\\Vantle Replies) or a folder identifier.\n"
    "Kinds the CDO stand-in knows: logon, folder, message, read, update, send, move, delete, resolve.\n"
    "Kinds the store knows: move.noted, move.copied, move.added, move.removed end the process at that\n"
    "step of a move, as a kill there would (exit code 9).\n";

class UsageError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

struct Args {
  std::vector<std::string> Plain;
  std::vector<std::pair<std::string, std::string>> Options;  // --name value
  std::vector<std::string> All(const std::string& name) const {
    std::vector<std::string> out;
    for (auto& [n, v] : Options)
      if (n == name) out.push_back(v);
    return out;
  }
  std::string Get(const std::string& name, const std::string& fallback) const {
    auto all = All(name);
    return all.empty() ? fallback : all.back();
  }
  bool Flag(const std::string& name) const { return !All(name).empty(); }
  const std::string& At(size_t i) const {
    if (i >= Plain.size()) throw UsageError("missing argument");
    return Plain[i];
  }
};

Args Parse(int argc, char** argv) {
  Args a;
  for (int i = 1; i < argc; ++i) {
    std::string s = argv[i];
    if (s == "--unread") a.Options.emplace_back(s, "");
    else if (s.rfind("--", 0) == 0) {
      if (i + 1 >= argc) throw UsageError("option " + s + " needs a value");
      a.Options.emplace_back(s, argv[++i]);
    } else a.Plain.push_back(s);
  }
  return a;
}

MailAddress OneAddress(const std::string& text) {
  auto list = ParseAddressList(text);
  if (list.size() != 1) throw UsageError("not one address: " + text);
  return list[0];
}

std::string FolderOf(Profile& p, const std::string& spec) {
  if (p.FindFolder(spec)) return spec;
  std::string path = StringReplaceAll(spec, "/", "\\");
  std::vector<std::string> level = p.TopFolders();
  std::string found;
  size_t pos = 0;
  while (pos <= path.size()) {
    size_t end = pos;
    while (end < path.size() && !IsPathDelimiter(path, end)) end = NextCharIndex(path, end);
    if (end == path.size()) end = std::string::npos;
    std::string name = path.substr(pos, end == std::string::npos ? std::string::npos : end - pos);
    found.clear();
    for (const std::string& id : level)
      if (SameText(p.Folder(id).Name, name)) found = id;
    if (found.empty()) throw EMailStore("There is no folder " + spec + ".");
    level = p.Folder(found).Children;
    if (end == std::string::npos) break;
    pos = end + 1;
  }
  return found;
}

void Split(const std::string& id, std::string& folder, std::uint32_t& serial) {
  if (!Profile::SplitMessageId(id, folder, serial)) throw EMailStore("Not a message identifier: " + id);
}

std::string Stamp(const std::optional<TDateTime>& t) {
  return t ? FormatDateTime("yyyy-mm-dd hh:nn", *t) : std::string("(no date)       ");
}

void ShowTree(Profile& p, const std::vector<std::string>& ids, int depth) {
  for (const std::string& id : ids) {
    const FolderInfo& f = p.Folder(id);
    std::string count;
    try {
      count = IntToStr(static_cast<long long>(p.Entries(id).size())) + " messages";
    } catch (const EMailStore& e) {
      count = e.Message;
    }
    std::printf("%s%s  [%s]  %s\n", std::string(static_cast<size_t>(depth) * 2, ' ').c_str(), f.Name.c_str(),
                id.c_str(), count.c_str());
    ShowTree(p, f.Children, depth + 1);
  }
}

int Run(const Args& a) {
  const std::string& command = a.At(0);
  const std::string& path = a.At(1);
  if (command == "create") {
    NewProfile np{a.At(2), OneAddress(a.At(3)), {}};
    for (const std::string& b : a.All("--book")) np.AddressBook.push_back(OneAddress(b));
    Profile::Create(path, np);
    return 0;
  }
  Profile p(path);
  if (command == "seed") {
    SeedOptions o;
    o.Count = StrToInt(a.At(2));
    o.Unread = a.Plain.size() > 3 ? StrToInt(a.At(3)) : 0;
    o.Seed = static_cast<std::uint32_t>(StrToInt(a.Get("--seed", "1")));
    o.Phone = StrToInt(a.Get("--phone", "0"));
    std::string folder = a.Flag("--folder") ? FolderOf(p, a.Get("--folder", "")) : p.RoleFolder(Role::Inbox);
    std::printf("%d messages added\n", SeedFolder(p, folder, o));
  } else if (command == "folders") {
    ShowTree(p, p.TopFolders(), 0);
  } else if (command == "list") {
    std::string folder = a.Plain.size() > 2 ? FolderOf(p, a.At(2)) : p.RoleFolder(Role::Inbox);
    for (auto& [serial, e] : p.Entries(folder))
      std::printf("%s  %s %c%c%c  %s%s\n", Profile::MessageId(folder, serial).c_str(), Stamp(e.Received).c_str(),
                  e.Read ? '-' : 'U', e.Replied ? 'R' : '-', e.Deleted ? 'D' : '-', e.Phone ? "(phone) " : "",
                  e.Subject.c_str());
  } else if (command == "show") {
    std::string folder;
    std::uint32_t serial;
    Split(a.At(2), folder, serial);
    const Entry& e = p.EntryOf(folder, serial);
    std::string text = ReadWholeFile(p.Folder(folder).Path + e.File);
    ParseMessage(text, p.Folder(folder).Path + e.File);  // says so when it is damaged
    std::fwrite(text.data(), 1, text.size(), stdout);
  } else if (command == "add") {
    std::uint32_t serial = p.AddRawMessage(FolderOf(p, a.At(2)), ReadWholeFile(a.At(3)), !a.Flag("--unread"));
    std::printf("%s\n", Profile::MessageId(FolderOf(p, a.At(2)), serial).c_str());
  } else if (command == "mark") {
    std::string folder;
    std::uint32_t serial;
    Split(a.At(2), folder, serial);
    const std::string& how = a.At(3);
    FlagChange c;
    if (how == "read" || how == "unread") c.Read = how == "read";
    else if (how == "replied" || how == "unreplied") c.Replied = how == "replied";
    else if (how == "deleted" || how == "undeleted") c.Deleted = how == "deleted";
    else throw UsageError("unknown mark " + how);
    p.SetFlags(folder, serial, c);
  } else if (command == "move") {
    std::string folder;
    std::uint32_t serial;
    Split(a.At(2), folder, serial);
    std::string target = FolderOf(p, a.At(3));
    std::printf("%s\n", Profile::MessageId(target, p.MoveMessage(folder, serial, target)).c_str());
  } else if (command == "remove") {
    std::string folder;
    std::uint32_t serial;
    Split(a.At(2), folder, serial);
    p.RemoveMessage(folder, serial);
  } else if (command == "mkfolder") {
    std::string parent = a.At(2) == "-" ? std::string() : FolderOf(p, a.At(2));
    std::printf("%s\n", p.AddFolder(parent, a.At(3)).c_str());
  } else if (command == "fail") {
    p.InjectFailure(a.At(2), a.Plain.size() > 3 ? StrToInt(a.At(3)) : 1);
  } else if (command == "failures") {
    for (auto& [kind, count] : p.PendingFailures()) std::printf("%s %d\n", kind.c_str(), count);
  } else {
    throw UsageError("unknown command " + command);
  }
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  try {
    return Run(Parse(argc, argv));
  } catch (const UsageError& e) {
    std::fprintf(stderr, "pcmail: %s\n%s", e.what(), Usage);
    return 2;
  } catch (const std::exception& e) {
    std::fprintf(stderr, "pcmail: %s\n", e.what());
    return 1;
  }
}
