// tdeng: runs the device engine's operations on the handheld from the command
// line, as a client of the server "Orvik.TDEng.Interface" would.
#include <windows.h>

#include <cstdio>
#include <cstring>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "ComPtr.h"
#include "TDEng.h"

using namespace tdengine;

namespace {

const char* const Help =
    "Usage: tdeng COMMAND [ARGUMENTS]\n"
    "Runs one operation of the device engine on the connected handheld.\n"
    "Paths are the handheld's (C:\\Documents\\...); a path written pc:C:\\... is the PC's.\n"
    "\n"
    "  drives [pc:]                 list the drives\n"
    "  driveinfo DRIVE              a drive's label and sizes\n"
    "  dir FOLDER                   list a folder (or a pattern such as C:\\Docs\\*.txt)\n"
    "  info FILE                    a file's size, attributes and names\n"
    "  copy SOURCE TARGET           copy a file, either way, with a progress bar (--replace to overwrite)\n"
    "  copydir SOURCE TARGET        copy a folder tree into the folder TARGET (--replace to overwrite)\n"
    "  move FILE FOLDER             move a file into a folder\n"
    "  rename PATH NEWNAME          rename a file\n"
    "  del FILE                     delete a file\n"
    "  mkdir FOLDER                 create a folder\n"
    "  rmdir FOLDER                 delete a folder with everything in it\n"
    "  find FOLDER PATTERN [TEXT]   find files by name (and text), in subfolders too\n"
    "  machine                      the handheld's owner, type and machine information\n"
    "  synctime                     set the handheld's clock from the PC's\n"
    "  start FILE                   start the program that holds a file\n"
    "  stop FILE                    stop the program that holds a file\n"
    "  --help                       this text\n";

std::string ErrorText(LONG error) {
  if (error == 0) return "done";
  char text[512] = {};
  if (!FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, static_cast<DWORD>(error), 0,
                      text, sizeof text, nullptr))
    std::snprintf(text, sizeof text, "error %ld", static_cast<long>(error));
  std::string s = text;
  while (!s.empty() && (s.back() == '\n' || s.back() == '\r' || s.back() == ' ')) s.pop_back();
  return s + " (" + std::to_string(error) + ")";
}

TDPathRecord Path(const std::string& text) {
  TDPathRecord p{2, {}};
  std::string path = text;
  if (_strnicmp(path.c_str(), "pc:", 3) == 0) {
    p.Side = 1;
    path = path.substr(3);
  }
  lstrcpynA(p.Path, path.c_str(), sizeof p.Path);
  return p;
}

// Every completion ends the wait; progress is drawn as it comes.
class Client final : public ITDOrvWinEngineEvents, public ITDOrvWinEngineEvents3 {
 public:
  bool Done = false;
  LONG Error = 0;
  std::string Text;
  LONG Value = 0;

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override {
    if (iid == IID_IUnknown || iid == IID_ITDOrvWinEngineEvents)
      *out = static_cast<ITDOrvWinEngineEvents*>(this);
    else if (iid == IID_ITDOrvWinEngineEvents3)
      *out = static_cast<ITDOrvWinEngineEvents3*>(this);
    else
      return *out = nullptr, E_NOINTERFACE;
    return S_OK;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return 2; }
  ULONG STDMETHODCALLTYPE Release() override { return 1; }

  HRESULT Finish(LONG error) {
    Done = true;
    Error = error;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE OnInit(LONG e) override { return Finish(e); }
  HRESULT STDMETHODCALLTYPE OnConnect(LONG e) override { return Finish(e); }
  HRESULT STDMETHODCALLTYPE OnDisconnect(LONG e) override { return Finish(e); }
  HRESULT STDMETHODCALLTYPE OnGetFileInfo(LONG e) override { return Finish(e); }
  HRESULT STDMETHODCALLTYPE OnCopyFile(LONG e) override { return Finish(e); }
  HRESULT STDMETHODCALLTYPE OnCopyProgress(SHORT percent, LONG*) override {
    std::printf("\r[%-40s] %3d%%", std::string(percent * 40 / 100, '#').c_str(), percent);
    if (percent >= 100) std::printf("\n");
    std::fflush(stdout);
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE OnDeleteFile(LONG e) override { return Finish(e); }
  HRESULT STDMETHODCALLTYPE OnMoveFile(LONG e) override { return Finish(e); }
  HRESULT STDMETHODCALLTYPE OnRenameFile(LONG e) override { return Finish(e); }
  HRESULT STDMETHODCALLTYPE OnSetAttributes(LONG e) override { return Finish(e); }
  HRESULT STDMETHODCALLTYPE OnGetDirectory(LONG e, LONG) override { return Finish(e); }
  HRESULT STDMETHODCALLTYPE OnDeleteDirectory(LONG e) override { return Finish(e); }
  HRESULT STDMETHODCALLTYPE OnCopyDirectory(LONG e) override { return Finish(e); }
  HRESULT STDMETHODCALLTYPE OnCopyDirectoryProgress(const char* file) override {
    std::printf("  %s\n", file);
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE OnCreateDirectory(LONG e) override { return Finish(e); }
  HRESULT STDMETHODCALLTYPE OnMoveDirectory(LONG e) override { return Finish(e); }
  HRESULT STDMETHODCALLTYPE OnRenameDirectory(LONG e) override { return Finish(e); }
  HRESULT STDMETHODCALLTYPE OnGetDrives(LONG e, const char* drives) override {
    for (const char* d = drives; *d; d += std::strlen(d) + 1) Text += std::string(d) + "\n";
    return Finish(e);
  }
  HRESULT STDMETHODCALLTYPE OnGetDriveInfo(LONG e) override { return Finish(e); }
  HRESULT STDMETHODCALLTYPE OnLabelDrive(LONG e) override { return Finish(e); }
  HRESULT STDMETHODCALLTYPE OnGetMachineInfo(LONG e, const char* owner, LONG type) override {
    Text = owner;
    Value = type;
    return Finish(e);
  }
  HRESULT STDMETHODCALLTYPE OnGetExtraMachineInfo(LONG e) override { return Finish(e); }
  HRESULT STDMETHODCALLTYPE OnSyncMachineTime(LONG e) override { return Finish(e); }
  HRESULT STDMETHODCALLTYPE OnFormat(LONG e) override { return Finish(e); }
  HRESULT STDMETHODCALLTYPE OnFormatProgress(SHORT, LONG*) override { return S_OK; }
  HRESULT STDMETHODCALLTYPE OnClosePrograms(LONG e) override { return Finish(e); }
  HRESULT STDMETHODCALLTYPE OnCloseProgramProgress(const char*, const char*) override { return S_OK; }
  HRESULT STDMETHODCALLTYPE OnStartProgram(LONG e) override { return Finish(e); }
  HRESULT STDMETHODCALLTYPE OnStopProgram(LONG e) override { return Finish(e); }
  HRESULT STDMETHODCALLTYPE OnReadConfig(LONG e) override { return Finish(e); }
  HRESULT STDMETHODCALLTYPE OnWriteConfig(LONG e) override { return Finish(e); }
  HRESULT STDMETHODCALLTYPE OnFind(LONG e) override { return Finish(e); }
  HRESULT STDMETHODCALLTYPE OnFindProgress(LONG found, const char* folder, ITDOrvFile* entry, LONG*) override {
    if (!entry) return S_OK;
    ComPtr<ITDOrvFile> held = ComPtr<ITDOrvFile>::Attach(entry);
    char name[260];
    if (found) held->GetName(name), std::printf("%s\\%s\n", folder, name);
    return S_OK;
  }

  // Waits, pumping this thread's messages, until the running operation has answered.
  LONG Wait() {
    while (!Done) {
      MSG m;
      if (GetMessageA(&m, nullptr, 0, 0) <= 0) break;
      DispatchMessageA(&m);
    }
    Done = false;
    return Error;
  }
};

std::string Attributes(ULONG a) {
  return std::string(a & FILE_ATTRIBUTE_DIRECTORY ? "d" : "-") + (a & FILE_ATTRIBUTE_READONLY ? "r" : "-") +
         (a & FILE_ATTRIBUTE_HIDDEN ? "h" : "-");
}

void PrintFile(const TDFileInfo& f) {
  std::printf("%s %10lu  %s\n", Attributes(f.Attributes).c_str(), static_cast<unsigned long>(f.Size), f.Name);
}

int Run(const std::vector<std::string>& args) {
  const std::string command = args[0];
  auto need = [&](size_t n) {
    if (args.size() < n + 1) throw std::string("tdeng " + command + ": missing argument (see tdeng --help)");
  };
  bool replace = false;
  std::vector<std::string> a;
  for (const std::string& s : args) (s == "--replace" ? replace = true : (a.push_back(s), false));
  const USHORT flags = replace ? 1 : 0;

  ComPtr<ITDOrvWinEngine> engine;
  HRESULT hr = CoCreateInstance(CLSID_TDOrvWinEngine, nullptr, CLSCTX_INPROC_SERVER, IID_ITDOrvWinEngine,
                                engine.PutVoid());
  if (FAILED(hr)) throw std::string("tdeng: the device engine server is not registered (") + ErrorText(hr) + ")";
  Client client;
  engine->Init(&client);
  if (LONG e = client.Wait()) throw std::string("tdeng: the engine did not start: ") + ErrorText(e);
  engine->Connect(15000);
  if (LONG e = client.Wait()) throw std::string("tdeng: the handheld is not connected: ") + ErrorText(e);

  LONG error = 0;
  if (command == "drives") {
    TDPathRecord side = Path(a.size() > 1 ? a[1] : "");
    engine->GetDrives(&side);
    error = client.Wait();
    std::printf("%s", client.Text.c_str());
  } else if (command == "driveinfo") {
    need(1);
    TDPathRecord drive = Path(a[1]);
    ComPtr<ITDOrvDrive> info;
    engine->GetDriveInfo(&drive, info.Put());
    if (!(error = client.Wait())) {
      TDDriveInfo* d;
      info->GetInfo(&d);
      std::printf("%s  label \"%s\"  %lu KB, %lu KB free\n", d->Text1, d->Text2, static_cast<unsigned long>(d->Values[2]),
                  static_cast<unsigned long>(d->Values[3]));
    }
  } else if (command == "dir" || command == "info") {
    need(1);
    std::string path = a[1];
    if (command == "dir" && path.find_first_of("*?") == std::string::npos)
      path += path.empty() || path.back() == '\\' ? "*.*" : "\\*.*";
    TDPathRecord p = Path(path);
    if (command == "info") {
      ComPtr<ITDOrvFile> file;
      engine->GetFileInfo(&p, file.Put());
      if (!(error = client.Wait())) {
        TDFileInfo* f;
        file->GetInfo(&f);
        PrintFile(*f);
      }
    } else {
      ComPtr<ITDOrvDirectory> listing;
      engine->GetDirectory(&p, listing.Put());
      if (!(error = client.Wait())) {
        listing->Reset();
        ITDOrvFile* entry;
        ULONG got = 0;
        while (SUCCEEDED(listing->Next(1, &entry, &got)) && got) {
          TDFileInfo* f;
          entry->GetInfo(&f);
          PrintFile(*f);
        }
      }
    }
  } else if (command == "copy" || command == "copydir" || command == "move") {
    need(2);
    TDPathRecord from = Path(a[1]), to = Path(a[2]);
    if (command == "copy")
      engine->CopyFile(&from, &to, flags);
    else if (command == "copydir")
      engine->CopyDirectory(&from, &to, flags);
    else
      engine->MoveFile(&from, &to, flags);
    error = client.Wait();
  } else if (command == "rename") {
    need(2);
    TDPathRecord p = Path(a[1]);
    engine->RenameFile(&p, a[2].c_str());
    error = client.Wait();
  } else if (command == "del" || command == "mkdir" || command == "rmdir" || command == "start" || command == "stop") {
    need(1);
    TDPathRecord p = Path(a[1]);
    const std::map<std::string, HRESULT (STDMETHODCALLTYPE ITDOrvWinEngine::*)(TDPathRecord*)> ops = {
        {"del", &ITDOrvWinEngine::DeleteFile},   {"mkdir", &ITDOrvWinEngine::CreateDirectory},
        {"rmdir", &ITDOrvWinEngine::DeleteDirectory}, {"start", &ITDOrvWinEngine::StartProgram},
        {"stop", &ITDOrvWinEngine::StopProgram}};
    (engine.Get()->*ops.at(command))(&p);
    error = client.Wait();
  } else if (command == "find") {
    need(2);
    ComPtr<ITDOrvWinEngine3> third = engine.Query<ITDOrvWinEngine3>(IID_ITDOrvWinEngine3);
    third->SetEvents3(&client);
    TDFindCriteria c{};
    TDPathRecord folder = Path(a[1]);
    c.Side = folder.Side;
    lstrcpynA(c.Folder, folder.Path, sizeof c.Folder);
    lstrcpynA(c.Pattern, a[2].c_str(), sizeof c.Pattern);
    c.Value = 1;
    if (a.size() > 3) {
      c.DateCriteria = 0x10000;
      lstrcpynA(c.SearchText, a[3].c_str(), sizeof c.SearchText);
    }
    third->Find(&c);
    error = client.Wait();
  } else if (command == "machine") {
    engine->GetMachineInfo(2);
    if (!(error = client.Wait())) std::printf("owner \"%s\", type %ld\n", client.Text.c_str(), static_cast<long>(client.Value));
    ComPtr<ITDOrvMachine> machine;
    engine->GetExtraMachineInfo(2, machine.Put());
    if (!error && !(error = client.Wait())) {
      TDMachineInfo* m;
      machine->GetInfo(&m);
      std::printf("machine \"%s\", clock %s\n", m->Text1, m->DateText);
    }
  } else if (command == "synctime") {
    engine->SyncMachineTime();
    error = client.Wait();
  } else {
    throw std::string("tdeng: unknown command \"" + command + "\" (see tdeng --help)");
  }
  std::printf("%s\n", ErrorText(error).c_str());
  return error == 0 ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
  std::vector<std::string> args(argv + 1, argv + argc);
  if (args.empty() || args[0] == "--help" || args[0] == "-h" || args[0] == "/?") {
    std::printf("%s", Help);
    return args.empty() ? 2 : 0;
  }
  CoInitScope com;
  try {
    return Run(args);
  } catch (const std::string& message) {
    std::fprintf(stderr, "%s\n", message.c_str());
  } catch (const std::exception& e) {
    std::fprintf(stderr, "tdeng: %s\n", e.what());
  }
  return 2;
}
