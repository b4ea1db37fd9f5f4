// tandel-handheld.exe: the simulated handheld's user, at the console. Reads
// and writes the handheld's mail stores with the data-file server's own file
// code, as the handheld's data application would, and sets the link and the
// programs.
#include <windows.h>

#include <cstdio>
#include <map>
#include <memory>
#include <span>
#include <stdexcept>
#include <string>
#include <vector>

#include "Classes.h"
#include "DateTime.h"
#include "EvrinData.h"
#include "EvrinFile.h"
#include "Handheld.h"
#include "Handles.h"

namespace {

using namespace tandel;

const char* const Usage =
    "usage: tandel-handheld COMMAND [--in PATH] [--out PATH]\n"
    "  init                          create the mail stores that are missing (empty)\n"
    "  link [up|down]                show or set the link to the PC\n"
    "  programs                      which programs run and which files they hold\n"
    "  start FILE | stop FILE        start or stop the program of a handheld file\n"
    "  inbox | outbox                list the records of a store\n"
    "  write TO SUBJECT MESSAGE [--cc X] [--bc X] [--hold] [--keep]\n"
    "                                write a new mail into the Out box\n"
    "  receive FROM TO SUBJECT MESSAGE --id ID [--cc X] [--bc X] [--date D] [--attach X]...\n"
    "                                put a PC mail into the In box as a sync stores it\n"
    "                                (kept, quoting, not replying to all; D is yyyy-mm-dd hh:nn)\n"
    "  reply N TEXT                  type a reply into In box record N\n"
    "  delete N                      mark In box record N for deletion\n"
    "  flag inbox N keep|exclude|delete|replyall|quote on|off\n"
    "  flag outbox N hold|keep on|off\n"
    "Stores default to C:\\Documents\\Vantle\\InBox and C:\\Documents\\Vantle\\Outbox;\n"
    "records are numbered from 0; line breaks in texts become the handheld's paragraph marks.\n";

class UsageError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

using namespace evrin;  // the stores' columns

// Line breaks as the handheld's paragraph mark (character 6), and back for showing.
std::string ToHandheldText(const std::string& s) {
  std::string r;
  for (size_t i = 0; i < s.size(); ++i) {
    if (s[i] == '\r' && i + 1 < s.size() && s[i + 1] == '\n') ++i;
    r += (s[i] == '\r' || s[i] == '\n') ? '\x06' : s[i];
  }
  return r;
}
// A received mail's text as a sync stores it: no white space at either end.
std::string ReceivedText(const std::string& s) { return ToHandheldText(Trim(s)); }
std::string Shown(std::string s) {
  for (char& c : s)
    if (c == '\x06') c = '/';
  return s;
}

// A store of the handheld, held open for this command; records are named by
// their numbers in the file. Every change is in the file when it returns.
class Store {
 public:
  explicit Store(const std::string& handheldPath) : file_(StoreFile::Open(ToPcPath(handheldPath))) {}

  int Count() const { return static_cast<int>(file_->Image().Count()); }
  std::uint32_t Record(int index) const {
    if (index < 0 || index >= Count()) throw std::runtime_error(Format("There is no record %d.", {index}));
    return file_->Image().IdAt(static_cast<std::size_t>(index));
  }
  Variant Get(std::uint32_t record, int column) const {
    return ToVariant(Type(column), file_->Image().ValueOf(record, static_cast<std::size_t>(column)));
  }
  void Set(std::uint32_t record, int column, const Variant& value) {
    Row row = file_->Image().RowOf(record);
    row[column] = FromVariant(Type(column), value, column);
    file_->Replace(record, std::move(row));
  }
  void Add(std::span<const std::pair<int, Variant>> values) {
    Row row(file_->Image().Columns().size());
    for (const auto& [column, value] : values) row[column] = FromVariant(Type(column), value, column);
    file_->Append(std::move(row));
  }

 private:
  ColumnType Type(int column) const {
    const auto& columns = file_->Image().Columns();
    if (column < 0 || static_cast<std::size_t>(column) >= columns.size())
      throw std::runtime_error(Format("The store has no column %d: it is not a mail store.", {column}));
    return columns[column];
  }

  std::unique_ptr<StoreFile> file_;
};

bool Flag(const Store& store, std::uint32_t record, int column) { return store.Get(record, column).AsBool(); }
std::string Text(const Store& store, std::uint32_t record, int column) { return store.Get(record, column).AsString(); }
std::string When(const Store& store, std::uint32_t record, int column) {
  TDateTime date = store.Get(record, column).AsDate();
  return date == 0 ? std::string("-") : FormatDateTime("yyyy-mm-dd hh:nn", date);
}

std::string Letters(const Store& store, std::uint32_t r, std::initializer_list<std::pair<int, char>> flags) {
  std::string s;
  for (auto [column, letter] : flags) s += Flag(store, r, column) ? letter : '-';
  return s;
}

void ListInBox(const std::string& path) {
  Store store(path);
  const int n = store.Count();
  std::printf("In box %s: %d record(s)  [D delete, K keep, X excluded, A reply all, Q quote, S reply sent]\n",
              NormalizePath(path).c_str(), n);
  for (int i = 0; i < n; ++i) {
    const std::uint32_t r = store.Record(i);
    std::printf("%d. [%s] %s  %s  \"%s\"  id %s\n", i,
                Letters(store, r, {{inDeleteMark, 'D'}, {inKeep, 'K'}, {inExcluded, 'X'}, {inReplyAll, 'A'},
                                   {inIncludeMessage, 'Q'}, {inReplySent, 'S'}}).c_str(),
                When(store, r, inDate).c_str(), Text(store, r, inFrom).c_str(), Text(store, r, inSubject).c_str(),
                Text(store, r, inID).c_str());
    std::string reply = Text(store, r, inReply);
    if (!reply.empty()) std::printf("   reply: %s\n", Shown(reply).c_str());
  }
}

void ListOutBox(const std::string& path) {
  Store store(path);
  const int n = store.Count();
  std::printf("Out box %s: %d record(s)  [H hold, K keep, S sent]\n", NormalizePath(path).c_str(), n);
  for (int i = 0; i < n; ++i) {
    const std::uint32_t r = store.Record(i);
    const std::string id = Text(store, r, outID);
    std::printf("%d. [%s] %s  to %s  \"%s\"  id %s\n", i,
                Letters(store, r, {{outHold, 'H'}, {outKeep, 'K'}, {outSent, 'S'}}).c_str(), When(store, r, outDate).c_str(),
                Text(store, r, outTo).c_str(), Text(store, r, outSubject).c_str(), id.empty() ? "-" : id.c_str());
    std::printf("   %s\n", Shown(Text(store, r, outMessage)).c_str());
  }
}

std::string Template(int id) {
  const std::string file = ExtractFilePath(ModuleFileName()) + "Vantleres.dll";
  HMODULE res = LoadLibraryExA(file.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
  if (!res) throw std::runtime_error("Cannot load " + file);
  std::string bytes;
  if (HRSRC r = FindResourceA(res, MAKEINTRESOURCEA(id), MAKEINTRESOURCEA(256))) {
    if (HGLOBAL g = LoadResource(res, r)) bytes.assign(static_cast<const char*>(LockResource(g)), SizeofResource(res, r));
  }
  FreeLibrary(res);
  if (bytes.empty()) throw std::runtime_error(Format("%s has no empty store %d", {file, id}));
  return bytes;
}

void Init(const std::string& in, const std::string& out) {
  for (auto [path, id] : {std::pair{in, 1}, std::pair{out, 2}}) {
    const std::string pc = ToPcPath(path);
    if (FileExists(pc)) {
      std::printf("%s exists\n", NormalizePath(path).c_str());
      continue;
    }
    if (!ForceDirectories(ExtractFilePath(pc))) throw std::runtime_error("Cannot create the folder of " + path);
    const std::string bytes = Template(id);
    const std::string temp = pc + ".new";
    {
      TFileStream f(temp, fmCreate);
      f.WriteBuffer(bytes.data(), static_cast<std::int64_t>(bytes.size()));
      f.Flush();
    }
    if (!MoveFileExA(temp.c_str(), pc.c_str(), MOVEFILE_WRITE_THROUGH)) {
      RemoveFile(temp);
      throw std::runtime_error("Cannot create " + path);
    }
    std::printf("%s created\n", NormalizePath(path).c_str());
  }
}

void ShowPrograms() {
  const State s = LoadState();
  std::printf("link %s\n", s.LinkUp ? "up" : "down");
  for (const Program& p : s.Programs) {
    std::printf("%s (%s): %s\n", p.Name.c_str(), p.Path.c_str(), p.Running ? "running" : "stopped");
    for (const std::string& f : p.Files) std::printf("  %s %s\n", p.Running ? "holds" : "opens", f.c_str());
  }
}

TDateTime ParseWhen(const std::string& s) {
  int y = 0, mo = 0, d = 0, h = 0, mi = 0;
  char end = 0;
  TDateTime date = 0;
  const int n = std::sscanf(s.c_str(), "%d-%d-%d %d:%d%c", &y, &mo, &d, &h, &mi, &end);
  if ((n != 3 && n != 5) || !TryEncodeDate(y, mo, d, date) || h < 0 || h > 23 || mi < 0 || mi > 59)
    throw UsageError("Not a date (yyyy-mm-dd hh:nn): " + s);
  return date + EncodeTime(h, mi, 0, 0);
}

// A mail from the PC, stored in the In box with the values a sync gives a new
// record under the wizard's default settings. Its ID is the PC message's; a
// sync never stores one PC message twice, and neither does this.
void Receive(const std::string& path, const std::vector<std::string>& words, const std::string& id,
             const std::string& cc, const std::string& bc, TDateTime when, const std::string& attachments) {
  if (Trim(id).empty()) throw UsageError("receive needs the PC message's --id");
  Store store(path);
  for (int i = 0; i < store.Count(); ++i)
    if (Text(store, store.Record(i), inID) == id)
      throw std::runtime_error(Format("In box record %d already holds %s.", {i, id}));
  const std::pair<int, Variant> values[] = {
      {inSubject, words[3]}, {inFrom, words[1]},           {inDate, Variant::Date(when)},
      {inTo, words[2]},      {inCC, cc},                   {inBC, bc},
      {inMessage, ReceivedText(words[4])}, {inReply, std::string()}, {inAttachments, attachments},
      {inDeleteMark, false}, {inKeep, true},               {inReplyAll, false},
      {inIncludeMessage, true}, {inExcluded, false},       {inReplySent, false},
      {inID, id}};
  store.Add(values);
  std::printf("In box record %d received\n", store.Count() - 1);
}

int Index(const std::string& s) {
  int v = StrToIntDef(s, -1);
  if (v < 0) throw UsageError("Not a record number: " + s);
  return v;
}

bool OnOff(const std::string& s) {
  if (s == "on") return true;
  if (s == "off") return false;
  throw UsageError("Expected on or off: " + s);
}

int Run(std::vector<std::string> args) {
  std::string in = "C:\\Documents\\Vantle\\InBox", out = "C:\\Documents\\Vantle\\Outbox", cc, bc, id, attachments;
  TDateTime when = Now();
  bool hold = false, keep = false;
  std::vector<std::string> words;
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string& a = args[i];
    auto value = [&]() -> std::string {
      if (i + 1 >= args.size()) throw UsageError(a + " needs a value");
      return args[++i];
    };
    if (a == "--in") in = value();
    else if (a == "--out") out = value();
    else if (a == "--cc") cc = value();
    else if (a == "--bc") bc = value();
    else if (a == "--id") id = value();
    else if (a == "--date") when = ParseWhen(value());
    else if (a == "--attach") {
      if (!attachments.empty()) attachments += '\x06';
      attachments += value();
    }
    else if (a == "--hold") hold = true;
    else if (a == "--keep") keep = true;
    else if (a.starts_with("--")) throw UsageError("Unknown option " + a);
    else words.push_back(a);
  }
  if (words.empty()) throw UsageError("No command");
  const std::string cmd = words[0];
  auto need = [&](size_t n) {
    if (words.size() != n + 1) throw UsageError(cmd + Format(" takes %d argument(s)", {static_cast<int>(n)}));
  };
  if (cmd == "init") {
    need(0);
    Init(in, out);
  } else if (cmd == "link") {
    if (words.size() == 2) SetLinkUp(OnOff(words[1] == "up" ? "on" : words[1] == "down" ? "off" : words[1]));
    else need(0);
    std::printf("link %s\n", LinkUp() ? "up" : "down");
  } else if (cmd == "programs") {
    need(0);
    ShowPrograms();
  } else if (cmd == "start" || cmd == "stop") {
    need(1);
    DWORD e = cmd == "start" ? StartProgram(words[1]) : StopProgram(words[1]);
    if (e) throw EHandheld(e, Format("%s failed with error %d", {cmd, static_cast<int>(e)}));
    ShowPrograms();
  } else if (cmd == "inbox") {
    need(0);
    ListInBox(in);
  } else if (cmd == "outbox") {
    need(0);
    ListOutBox(out);
  } else if (cmd == "write") {
    need(3);
    Store store(out);
    const std::pair<int, Variant> values[] = {
        {outSubject, words[2]},    {outTo, words[1]},  {outCC, cc},       {outBC, bc},
        {outDate, Variant::Date(Now())}, {outMessage, ToHandheldText(words[3])}, {outHold, hold},
        {outKeep, keep},           {outSent, false},   {outID, std::string()}};
    store.Add(values);
    std::printf("Out box record %d written\n", store.Count() - 1);
  } else if (cmd == "receive") {
    need(4);
    Receive(in, words, id, cc, bc, when, attachments);
  } else if (cmd == "reply") {
    need(2);
    Store store(in);
    store.Set(store.Record(Index(words[1])), inReply, ToHandheldText(words[2]));
  } else if (cmd == "delete") {
    need(1);
    Store store(in);
    store.Set(store.Record(Index(words[1])), inDeleteMark, true);
  } else if (cmd == "flag") {
    need(4);
    static const std::map<std::string, int> inFlags = {
        {"keep", inKeep}, {"exclude", inExcluded}, {"delete", inDeleteMark}, {"replyall", inReplyAll}, {"quote", inIncludeMessage}};
    static const std::map<std::string, int> outFlags = {{"hold", outHold}, {"keep", outKeep}};
    const bool inbox = words[1] == "inbox";
    if (!inbox && words[1] != "outbox") throw UsageError("flag inbox or flag outbox");
    const auto& flags = inbox ? inFlags : outFlags;
    auto f = flags.find(words[3]);
    if (f == flags.end()) throw UsageError("No such flag: " + words[3]);
    Store store(inbox ? in : out);
    store.Set(store.Record(Index(words[2])), f->second, OnOff(words[4]));
  } else {
    throw UsageError("Unknown command " + cmd);
  }
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  try {
    return Run(std::vector<std::string>(argv + 1, argv + argc));
  } catch (const UsageError& e) {
    std::fprintf(stderr, "tandel-handheld: %s\n%s", e.what(), Usage);
    return 1;
  } catch (const std::exception& e) {
    std::fprintf(stderr, "tandel-handheld: %s\n", e.what());
    return 2;
  }
}
