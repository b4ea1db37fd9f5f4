// tdeng: runs the device engine's operations on the handheld from the command
// line, as a client of the server would, through its asynchronous class
// "Orvik.TDEng.Interface" or (--sync) its synchronous one "Orvik.TDEngS.Interface".
#include <windows.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

#include "ComPtr.h"
#include "Device.h"
#include "MessageWindow.h"
#include "SysUtils.h"

using namespace tdengine;

namespace tdeng {

namespace {
// A progress bar is drawn on one line until it reaches 100 %; a line printed
// while it is short of that starts on a line of its own. The synchronous
// class reports progress on its own thread, so the output is locked.
std::mutex output;
bool barOpen = false;
}  // namespace

void ShowLine(const std::string& line) {
  std::lock_guard<std::mutex> lock(output);
  std::printf("%s%s\n", barOpen ? "\n" : "", line.c_str());
  barOpen = false;
  std::fflush(stdout);
}

void ShowPercent(SHORT percent) {
  std::lock_guard<std::mutex> lock(output);
  std::printf("\r[%-40s] %3d%%", std::string(percent * 40 / 100, '#').c_str(), percent);
  barOpen = percent < 100;
  if (!barOpen) std::printf("\n");
  std::fflush(stdout);
}

void ShowFile(const char* file) { ShowLine(std::string("  ") + (file ? file : "")); }

void ShowProgram(const char* program, const char* path) {
  ShowLine(std::string("  closed ") + (program ? program : "") + " (" + (path ? path : "") + ")");
}

std::string ErrorText(LONG error) {
  if (error == 0) return "done";
  // A failed call's HRESULT is written as one is looked up: in hexadecimal.
  char number[16] = {};
  if (error < 0)
    std::snprintf(number, sizeof number, "0x%08lX", static_cast<unsigned long>(static_cast<ULONG>(error)));
  else
    std::snprintf(number, sizeof number, "%ld", static_cast<long>(error));
  char text[512] = {};
  if (!FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, static_cast<DWORD>(error), 0,
                      text, sizeof text, nullptr))
    return std::string("error ") + number;
  std::string s = text;
  while (!s.empty() && (s.back() == '\n' || s.back() == '\r' || s.back() == ' ')) s.pop_back();
  return s + " (" + number + ")";
}

namespace {
const Failure NotInSync{"tdeng: only the asynchronous engine has this operation (run it without --sync)"};
}

LONG Device::Find(TDFindCriteria&, const Found&) { throw NotInSync; }
LONG Device::PathRequest(TDPathRequestRecord&, PathAnswer&) { throw NotInSync; }
LONG Device::DataRequest(TDDataRequestRecord&, std::string&) { throw NotInSync; }
LONG Device::WordRequest(LONG) { throw NotInSync; }

namespace {

const char* const Help =
    "Usage: tdeng [--sync] COMMAND [ARGUMENTS] [--replace]\n"
    "Runs one operation of the device engine on the connected handheld, through the\n"
    "asynchronous engine, or with --sync through the synchronous one.\n"
    "Paths are the handheld's (C:\\Documents\\...); a path written pc:C:\\... is the PC's.\n"
    "Ctrl+C during a copy aborts it.\n"
    "\n"
    "  drives [pc:]                 list the drives\n"
    "  driveinfo DRIVE              a drive's label and sizes\n"
    "  label DRIVE TEXT             set a drive's label\n"
    "  format DRIVE                 erase everything on a drive, with a progress bar\n"
    "  dir FOLDER                   list a folder (or a pattern such as C:\\Docs\\*.txt)\n"
    "  info FILE                    a file's size, attributes and names\n"
    "  attrib FILE [rhsa]           set a file's attributes (none: a plain file)\n"
    "  copy SOURCE TARGET           copy a file, either way, with a progress bar (--replace to overwrite)\n"
    "  copydir SOURCE TARGET        copy a folder tree into the folder TARGET (--replace to overwrite)\n"
    "  move FILE FOLDER             move a file into a folder\n"
    "  movedir FOLDER TARGET        move a folder tree into the folder TARGET\n"
    "  rename FILE NEWNAME          rename a file\n"
    "  renamedir FOLDER NEWNAME     rename a folder\n"
    "  del FILE                     delete a file\n"
    "  mkdir FOLDER                 create a folder\n"
    "  rmdir FOLDER                 delete a folder with everything in it\n"
    "  find FOLDER PATTERN [TEXT]   find files by name (and text), in subfolders too (not with --sync)\n"
    "  machine                      the handheld's owner, type and machine information\n"
    "  synctime                     set the handheld's clock from the PC's\n"
    "  start FILE                   start the program that holds a file\n"
    "  stop FILE                    stop the program that holds a file\n"
    "  closeall DRIVE               close every program that holds a file on a drive\n"
    "  readconfig FILE              save the handheld's configuration in a file\n"
    "  writeconfig FILE             load the handheld's configuration from a file\n"
    "  connect [MS]                 connect to the handheld, waiting at most MS milliseconds\n"
    "  disconnect                   end the connection to the handheld\n"
    "  link [BAUD PORT]             show (or set) the link's speed and port\n"
    "  makepath PART [PART [PART]]  join path parts and show the lengths of the result's parts\n"
    "  match NAME PATTERN           whether a name matches a pattern, as the link matches them\n"
    "  pathrequest PATH B1 B2 N     send a path request and show its answer (not with --sync)\n"
    "  datarequest HANDLE TEXT      send a data request and show its answer (not with --sync)\n"
    "  wordrequest N                send a word request (not with --sync)\n"
    "  --help                       this text\n";

constexpr LONG ConnectTimeoutMs = 15000;

// A text that does not fit its field is refused: cut short, a path could name
// another file or folder, which the command would then change or delete.
template <size_t N>
void Put(char (&field)[N], const std::string& text) {
  if (text.size() >= N)
    throw Failure{"tdeng: \"" + text + "\" is longer than " + std::to_string(N - 1) + " characters"};
  lstrcpynA(field, text.c_str(), N);
}

TDPathRecord Path(const std::string& text) {
  TDPathRecord p{2, {}};
  std::string path = text;
  if (_strnicmp(path.c_str(), "pc:", 3) == 0) {
    p.Side = 1;
    path = path.substr(3);
  }
  Put(p.Path, path);
  return p;
}

LONG Number(const std::string& text) {
  char* end = nullptr;
  errno = 0;
  long n = std::strtol(text.c_str(), &end, 0);
  if (text.empty() || *end) throw Failure{"tdeng: \"" + text + "\" is not a number"};
  if (errno == ERANGE) throw Failure{"tdeng: " + text + " is beyond the numbers a 32-bit value holds"};
  return static_cast<LONG>(n);
}

std::string Attributes(ULONG a) {
  return std::string(a & FILE_ATTRIBUTE_DIRECTORY ? "d" : "-") + (a & FILE_ATTRIBUTE_READONLY ? "r" : "-") +
         (a & FILE_ATTRIBUTE_HIDDEN ? "h" : "-") + (a & FILE_ATTRIBUTE_SYSTEM ? "s" : "-") +
         (a & FILE_ATTRIBUTE_ARCHIVE ? "a" : "-");
}

ULONG ParseAttributes(const std::string& letters) {
  ULONG a = 0;
  for (char c : letters) {
    switch (c | 0x20) {
      case 'r': a |= FILE_ATTRIBUTE_READONLY; break;
      case 'h': a |= FILE_ATTRIBUTE_HIDDEN; break;
      case 's': a |= FILE_ATTRIBUTE_SYSTEM; break;
      case 'a': a |= FILE_ATTRIBUTE_ARCHIVE; break;
      default: throw Failure{"tdeng: attributes are letters of \"rhsa\", not \"" + letters + "\""};
    }
  }
  return a ? a : FILE_ATTRIBUTE_NORMAL;
}

void PrintFile(ITDOrvFile& file) {
  TDFileInfo* f = nullptr;
  file.GetInfo(&f);
  std::printf("%s %10lu  %s", Attributes(f->Attributes).c_str(), static_cast<unsigned long>(f->Size), f->Name);
  if (f->SecondName[0] && std::strcmp(f->SecondName, f->Name)) std::printf("  (%s)", f->SecondName);
  std::printf("\n");
}

// Ctrl+C while a copy runs aborts it: the console's handler thread hands the
// abort to this thread, which the engine's calls belong to and which keeps
// handling its messages while it waits. The copy then ends through its own
// completion, which counts an abort as no error; the copy reports it.
// Elsewhere Ctrl+C ends the program as usual.
class AbortableCopy {
 public:
  explicit AbortableCopy(Device& device) : device_(device) {
    std::lock_guard<std::mutex> lock(mutex_);
    running_ = this;
  }
  ~AbortableCopy() {
    std::lock_guard<std::mutex> lock(mutex_);
    running_ = nullptr;
  }
  AbortableCopy(const AbortableCopy&) = delete;
  AbortableCopy& operator=(const AbortableCopy&) = delete;

  LONG Result(LONG error) const { return error == 0 && aborted_ ? ERROR_OPERATION_ABORTED : error; }

  static BOOL WINAPI OnConsoleControl(DWORD type) {
    std::lock_guard<std::mutex> lock(mutex_);
    if ((type != CTRL_C_EVENT && type != CTRL_BREAK_EVENT) || !running_) return FALSE;
    AbortableCopy* copy = running_;
    return copy->window_.Post([copy] { copy->Abort(); });
  }

 private:
  void Abort() {
    LONG error = device_.Abort();
    aborted_ = error == 0;
    ShowLine("tdeng: aborting the copy: " + ErrorText(error));
  }

  Device& device_;
  bool aborted_ = false;
  MessageWindow window_{{.ClassName = "TdEngAbort"}};
  static inline std::mutex mutex_;
  static inline AbortableCopy* running_ = nullptr;
};

enum class Needs { Engine, Connection };

struct Command {
  const char* Name;
  size_t Arguments;  // at least
  Needs Need;
  bool AsyncOnly;
  std::function<LONG(Device&, const std::vector<std::string>&, USHORT flags)> Run;
  size_t Optional = 0;  // more that it may take
};

using Args = std::vector<std::string>;

LONG OnePath(Device& d, LONG (Device::*op)(TDPathRecord&), const std::string& path) {
  TDPathRecord p = Path(path);
  return (d.*op)(p);
}

LONG TwoPaths(Device& d, LONG (Device::*op)(TDPathRecord&, TDPathRecord&, USHORT), const Args& a, USHORT flags) {
  TDPathRecord from = Path(a[1]), to = Path(a[2]);
  return (d.*op)(from, to, flags);
}

LONG Renamed(Device& d, LONG (Device::*op)(TDPathRecord&, const char*), const Args& a) {
  TDPathRecord p = Path(a[1]);
  return (d.*op)(p, a[2].c_str());
}

LONG Copy(Device& d, LONG (Device::*op)(TDPathRecord&, TDPathRecord&, USHORT), const Args& a, USHORT flags) {
  AbortableCopy abortable(d);
  return abortable.Result(TwoPaths(d, op, a, flags));
}

LONG Directory(Device& d, const Args& a) {
  std::string path = a[1];
  if (path.find_first_of("*?") == std::string::npos) path += path.empty() || HasTrailingBackslash(path) ? "*.*" : "\\*.*";
  TDPathRecord p = Path(path);
  ComPtr<ITDOrvDirectory> listing;
  LONG error = d.GetDirectory(p, listing);
  if (error || !listing) return error;
  listing->Reset();
  ITDOrvFile* entry = nullptr;
  ULONG got = 0;
  while (SUCCEEDED(listing->Next(1, &entry, &got)) && got) PrintFile(*entry);
  return error;
}

LONG FileInfo(Device& d, const Args& a) {
  TDPathRecord p = Path(a[1]);
  ComPtr<ITDOrvFile> file;
  LONG error = d.GetFileInfo(p, file);
  if (!error) PrintFile(*file.Get());
  return error;
}

LONG DriveInfo(Device& d, const Args& a) {
  TDPathRecord drive = Path(a[1]);
  ComPtr<ITDOrvDrive> info;
  LONG error = d.GetDriveInfo(drive, info);
  if (!error) {
    TDDriveInfo* i = nullptr;
    info->GetInfo(&i);
    std::printf("%s  label \"%s\"  %lu KB, %lu KB free\n", i->Text1, i->Text2, static_cast<unsigned long>(i->Values[2]),
                static_cast<unsigned long>(i->Values[3]));
  }
  return error;
}

LONG Drives(Device& d, const Args& a) {
  TDPathRecord side = Path(a.size() > 1 ? a[1] : "");
  std::vector<std::string> drives;
  LONG error = d.GetDrives(side, drives);
  for (const std::string& drive : drives) std::printf("%s\n", drive.c_str());
  return error;
}

LONG Machine(Device& d, const Args&) {
  std::string owner;
  LONG type = 0;
  LONG error = d.GetMachineInfo(2, owner, type);
  if (error) return error;
  std::printf("owner \"%s\", type %ld\n", owner.c_str(), static_cast<long>(type));
  ComPtr<ITDOrvMachine> machine;
  if ((error = d.GetExtraMachineInfo(2, machine))) return error;
  TDMachineInfo* m = nullptr;
  machine->GetInfo(&m);
  std::printf("machine \"%s\", clock %s\n", m->Text1, m->DateText);
  return error;
}

LONG Find(Device& d, const Args& a) {
  TDFindCriteria c{};
  TDPathRecord folder = Path(a[1]);
  c.Side = folder.Side;
  Put(c.Folder, folder.Path);
  Put(c.Pattern, a[2]);
  c.Value = 1;
  if (a.size() > 3) {
    c.DateCriteria = 0x10000;
    Put(c.SearchText, a[3]);
  }
  return d.Find(c, [](const char* in, ITDOrvFile& entry) {
    char name[MAX_PATH] = {};
    entry.GetName(name);
    const std::string folder = in;
    std::printf("%s%s%s\n", folder.c_str(), folder.empty() || HasTrailingBackslash(folder) ? "" : "\\", name);
  });
}

LONG Link(Device& d, const Args& a) {
  if (a.size() > 2) return d.SetLinkSettings(Number(a[1]), Number(a[2]));
  if (a.size() == 2) throw Failure{"tdeng link: give both the speed and the port, or neither"};
  LONG baud = 0, port = 0;
  LONG error = d.GetLinkSettings(baud, port);
  if (!error) std::printf("baud %ld, port %ld\n", static_cast<long>(baud), static_cast<long>(port));
  return error;
}

LONG MakePath(Device& d, const Args& a) {
  TDPathInfo info{};
  auto part = [&](size_t i) { return a.size() > i ? a[i].c_str() : nullptr; };
  HRESULT hr = d.MakePath(part(1), part(2), part(3), info);
  if (SUCCEEDED(hr))
    std::printf("%s  drive %u, folder %u, name %u, extension %u, wildcards %u\n", info.Path, info.DriveLength,
                info.FolderLength, info.NameLength, info.ExtensionLength, info.Wildcards);
  return hr;
}

LONG Match(Device& d, const Args& a) {
  LONG result = 0;
  HRESULT hr = d.LinkQuery(reinterpret_cast<INT_PTR>(a[1].c_str()), reinterpret_cast<INT_PTR>(a[2].c_str()), 1, result);
  if (SUCCEEDED(hr)) std::printf("%s\n", result == 1 ? "matches" : "does not match");
  return hr;
}

LONG PathRequest(Device& d, const Args& a) {
  TDPathRequestRecord r{};
  TDPathRecord p = Path(a[1]);
  r.Side = p.Side;
  std::memcpy(r.Path, p.Path, sizeof r.Path);
  r.First = static_cast<BYTE>(Number(a[2]));
  r.Second = static_cast<BYTE>(Number(a[3]));
  r.Value = Number(a[4]);
  Device::PathAnswer answer;
  LONG error = d.PathRequest(r, answer);
  if (!error)
    std::printf("handle %ld, value %ld, %ld, %ld\n", static_cast<long>(answer.Handle), static_cast<long>(answer.Value),
                static_cast<long>(answer.Arg1), static_cast<long>(answer.Arg2));
  return error;
}

LONG DataRequest(Device& d, const Args& a) {
  TDDataRequestRecord r{Number(a[1]), reinterpret_cast<const BYTE*>(a[2].data()), static_cast<LONG>(a[2].size())};
  std::string answer;
  LONG error = d.DataRequest(r, answer);
  if (!error) std::printf("%s\n", answer.c_str());
  return error;
}

const std::vector<Command>& Commands() {
  static const std::vector<Command> commands = {
      {"drives", 0, Needs::Connection, false, [](Device& d, const Args& a, USHORT) { return Drives(d, a); }, 1},
      {"driveinfo", 1, Needs::Connection, false, [](Device& d, const Args& a, USHORT) { return DriveInfo(d, a); }},
      {"label", 2, Needs::Connection, false,
       [](Device& d, const Args& a, USHORT) {
         TDPathRecord p = Path(a[1]);
         return d.LabelDrive(p, a[2].c_str());
       }},
      {"format", 1, Needs::Connection, false,
       [](Device& d, const Args& a, USHORT) { return OnePath(d, &Device::Format, a[1]); }},
      {"dir", 1, Needs::Connection, false, [](Device& d, const Args& a, USHORT) { return Directory(d, a); }},
      {"info", 1, Needs::Connection, false, [](Device& d, const Args& a, USHORT) { return FileInfo(d, a); }},
      {"attrib", 1, Needs::Connection, false,
       [](Device& d, const Args& a, USHORT) {
         TDPathRecord p = Path(a[1]);
         return d.SetAttributes(p, ParseAttributes(a.size() > 2 ? a[2] : ""));
       },
       1},
      {"copy", 2, Needs::Connection, false,
       [](Device& d, const Args& a, USHORT f) { return Copy(d, &Device::CopyFile, a, f); }},
      {"copydir", 2, Needs::Connection, false,
       [](Device& d, const Args& a, USHORT f) { return Copy(d, &Device::CopyDirectory, a, f); }},
      {"move", 2, Needs::Connection, false,
       [](Device& d, const Args& a, USHORT f) { return TwoPaths(d, &Device::MoveFile, a, f); }},
      {"movedir", 2, Needs::Connection, false,
       [](Device& d, const Args& a, USHORT f) { return TwoPaths(d, &Device::MoveDirectory, a, f); }},
      {"rename", 2, Needs::Connection, false,
       [](Device& d, const Args& a, USHORT) { return Renamed(d, &Device::RenameFile, a); }},
      {"renamedir", 2, Needs::Connection, false,
       [](Device& d, const Args& a, USHORT) { return Renamed(d, &Device::RenameDirectory, a); }},
      {"del", 1, Needs::Connection, false,
       [](Device& d, const Args& a, USHORT) { return OnePath(d, &Device::DeleteFile, a[1]); }},
      {"mkdir", 1, Needs::Connection, false,
       [](Device& d, const Args& a, USHORT) { return OnePath(d, &Device::CreateDirectory, a[1]); }},
      {"rmdir", 1, Needs::Connection, false,
       [](Device& d, const Args& a, USHORT) { return OnePath(d, &Device::DeleteDirectory, a[1]); }},
      {"find", 2, Needs::Connection, true, [](Device& d, const Args& a, USHORT) { return Find(d, a); }, 1},
      {"machine", 0, Needs::Connection, false, [](Device& d, const Args& a, USHORT) { return Machine(d, a); }},
      {"synctime", 0, Needs::Connection, false, [](Device& d, const Args&, USHORT) { return d.SyncMachineTime(); }},
      {"start", 1, Needs::Connection, false,
       [](Device& d, const Args& a, USHORT) { return OnePath(d, &Device::StartProgram, a[1]); }},
      {"stop", 1, Needs::Connection, false,
       [](Device& d, const Args& a, USHORT) { return OnePath(d, &Device::StopProgram, a[1]); }},
      {"closeall", 1, Needs::Connection, false,
       [](Device& d, const Args& a, USHORT) { return OnePath(d, &Device::ClosePrograms, a[1]); }},
      {"readconfig", 1, Needs::Connection, false,
       [](Device& d, const Args& a, USHORT) {
         TDPathRecord p = Path(a[1]);
         return d.ReadConfig(2, p);
       }},
      {"writeconfig", 1, Needs::Connection, false,
       [](Device& d, const Args& a, USHORT) {
         TDPathRecord p = Path(a[1]);
         return d.WriteConfig(p, 2);
       }},
      {"connect", 0, Needs::Engine, false,
       [](Device& d, const Args& a, USHORT) { return d.Connect(a.size() > 1 ? Number(a[1]) : ConnectTimeoutMs); }, 1},
      {"disconnect", 0, Needs::Connection, false, [](Device& d, const Args&, USHORT) { return d.Disconnect(); }},
      {"link", 0, Needs::Engine, false, [](Device& d, const Args& a, USHORT) { return Link(d, a); }, 2},
      {"makepath", 1, Needs::Engine, false, [](Device& d, const Args& a, USHORT) { return MakePath(d, a); }, 2},
      {"match", 2, Needs::Engine, false, [](Device& d, const Args& a, USHORT) { return Match(d, a); }},
      {"pathrequest", 4, Needs::Connection, true, [](Device& d, const Args& a, USHORT) { return PathRequest(d, a); }},
      {"datarequest", 2, Needs::Connection, true, [](Device& d, const Args& a, USHORT) { return DataRequest(d, a); }},
      {"wordrequest", 1, Needs::Connection, true,
       [](Device& d, const Args& a, USHORT) { return d.WordRequest(Number(a[1])); }},
  };
  return commands;
}

int Run(const Args& args) {
  bool replace = false, sync = false;
  Args a;
  for (const std::string& s : args) {
    if (s == "--replace")
      replace = true;
    else if (s == "--sync")
      sync = true;
    else
      a.push_back(s);
  }
  if (a.empty()) throw Failure{"tdeng: no command (see tdeng --help)"};
  const Command* command = nullptr;
  for (const Command& c : Commands())
    if (a[0] == c.Name) command = &c;
  if (!command) throw Failure{"tdeng: unknown command \"" + a[0] + "\" (see tdeng --help)"};
  if (a.size() < command->Arguments + 1)
    throw Failure{"tdeng " + a[0] + ": missing argument (see tdeng --help)"};
  // A path with a blank left unquoted arrives as two arguments; its first part
  // alone may name another folder, which rmdir would delete.
  if (a.size() > command->Arguments + command->Optional + 1)
    throw Failure{"tdeng " + a[0] + ": too many arguments; a path with blanks goes in quotes (see tdeng --help)"};
  if (sync && command->AsyncOnly)
    throw Failure{"tdeng " + a[0] + ": the synchronous engine has no such operation (run it without --sync)"};

  std::unique_ptr<Device> device = sync ? OpenSync() : OpenAsync();
  if (command->Need == Needs::Connection)
    if (LONG e = device->Connect(ConnectTimeoutMs))
      throw Failure{"tdeng: the handheld is not connected: " + ErrorText(e)};
  LONG error = command->Run(*device, a, replace ? 1 : 0);
  ShowLine(ErrorText(error));
  return error == 0 ? 0 : 1;
}

}  // namespace
}  // namespace tdeng

int main(int argc, char** argv) {
  std::vector<std::string> args(argv + 1, argv + argc);
  if (args.empty() || args[0] == "--help" || args[0] == "-h" || args[0] == "/?") {
    std::printf("%s", tdeng::Help);
    return args.empty() ? 2 : 0;
  }
  CoInitScope com;
  SetConsoleCtrlHandler(tdeng::AbortableCopy::OnConsoleControl, TRUE);
  try {
    return tdeng::Run(args);
  } catch (const tdeng::Failure& failure) {
    std::fprintf(stderr, "%s\n", failure.Message.c_str());
  } catch (const std::exception& e) {
    std::fprintf(stderr, "tdeng: %s\n", e.what());
  }
  return 2;
}
