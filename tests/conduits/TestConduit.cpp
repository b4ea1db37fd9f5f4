// A conduit for the host's tests: a stand-in for a PC mail client whose every
// answer a test sets in a script beside it (<name>.script.json), and which
// records every call with its arguments (<name>.calls.jsonl), so the tests
// can check what the host passed and in which order.
#include <windows.h>

#include <fstream>
#include <nlohmann/json.hpp>
#include <sstream>

#include "C_Prog.h"
#include "C_Types.h"
#include "Classes.h"
#include "ConduitFrame.h"
#include "ExtCtrls.h"
#include "Forms.h"
#include "Layout.h"
#include "StdCtrls.h"

const char* const ConduitResourceLibraryName = CONDUIT_RESOURCES;

using json = nlohmann::json;

namespace {

std::string Stem() { return ChangeFileExt(GetModuleName(), ""); }

json Script() {
  std::ifstream in(Stem() + ".script.json");
  if (!in) return json::object();
  return json::parse(in, nullptr, false);
}

std::uint64_t Handle(HWND h) { return reinterpret_cast<std::uintptr_t>(h); }

json Strings(TStringList* list) {
  json r = json::array();
  if (list)
    for (int i = 0; i < list->Count(); ++i) r.push_back(list->At(i));
  return r;
}

// One line of the call record; the plug-in's application handle is taken
// while the export runs.
void Record(const char* name, json args) {
  args["export"] = name;
  args["handleDuring"] = Handle(Application.Handle);
  std::ofstream out(Stem() + ".calls.jsonl", std::ios::app);
  out << args.dump() << "\n";
}

// A test asks for an internal failure by naming the export.
void MaybeFail(const json& script, const char* name) {
  if (script.contains("Throw"))
    for (const auto& n : script["Throw"])
      if (n == name) throw Exception(std::string("scripted failure in ") + name);
}

int ResultOf(const json& script, const char* key, int fallback) {
  if (!script.contains(key)) return fallback;
  const json& v = script[key];
  if (v.is_number()) return v.get<int>();
  return v.value("Result", fallback);
}

// A form of the conduit's own, to show that the forms of several modules
// live side by side.
class TProbeForm : public TForm {
 public:
  TProbeForm() : TForm({.Name = "ProbeForm", .Caption = "Probe"}) {
    btnProbe.OnClick = [this](TObject*) { ++clicks; };
    DoCreate();
  }
  ~TProbeForm() override { DoDestroy(); }

  TPanel pnlProbe{this, "pnlProbe", {.Bounds = {0, 0, 200, 100}}};
  TButton btnProbe{&pnlProbe, "btnProbe", {.Bounds = {8, 8, 75, 25}, .Caption = "Probe"}};
  TTimer tProbe{10, false};
  int clicks = 0;
};

std::unique_ptr<TProbeForm> probe;

// Notes, beside the conduit, whether the resource library was loaded when
// the module state was attached or detached.
void NoteModuleState(const char* step) {
  std::ofstream out(Stem() + ".state.txt", std::ios::app | std::ios::binary);
  out << step << (ConduitResources ? " loaded" : " none") << "\n";
}

}  // namespace

const TConduitModuleState ConduitModuleState{.Attach = [] { NoteModuleState("attach"); },
                                             .Detach = [] { NoteModuleState("detach"); }};

// The exports go out by fixed ordinal through the module-definition file;
// a variant built with OMIT_<export> lacks that one.
extern "C" {

#ifndef OMIT_vazDescription
void vazDescription(std::string* Description, TMemoVar Memo) {
  RunStringExport(Description, [&] { return DescriptionFailed(Memo); }, [&] {
    json s = Script();
    Record("vazDescription", {});
    MaybeFail(s, "vazDescription");
    FrameDescription(Description, Memo);
    return *Description;
  });
}
#endif

void vazEmailName(std::string* Name, HWND AppHandle, TMemoVar) {
  RunStringExport(Name, EmailNameFailed, [&] {
    json s = Script();
    Record("vazEmailName", {{"appHandle", Handle(AppHandle)}});
    MaybeFail(s, "vazEmailName");
    FrameEmailName(Name);
    return *Name;
  });
}

int vazInitialize(HWND AppHandle, TMemoVar Memo, TProgressVar) {
  return RunExport(AppHandle, vazFailed, [&] {
    json s = Script();
    Record("vazInitialize", {{"appHandle", Handle(AppHandle)}});
    MaybeFail(s, "vazInitialize");
    int r = ResultOf(s, "Initialize", vazDone);
    if (r != vazDone) AddMemoLine(Memo, ResString(3));
    return r;
  });
}

int vazShutDown(TMemoVar, TProgressVar) {
  return RunExport(vazFailed, [&] {
    json s = Script();
    Record("vazShutDown", {});
    MaybeFail(s, "vazShutDown");
    return ResultOf(s, "ShutDown", vazDone);
  });
}

int vazGetPCMail(HWND AppHandle, TMailList** MailList, double FromDate, double ToDate,
                                       TGetMailOptions Options, TMemoVar, TProgressVar) {
  return RunExport(AppHandle, vazFailed, [&] {
    json s = Script();
    Record("vazGetPCMail", {{"appHandle", Handle(AppHandle)},
                            {"fromDate", FromDate},
                            {"toDate", ToDate},
                            {"unreadOnly", Options.UnreadOnly},
                            {"markRead", Options.MarkRead}});
    MaybeFail(s, "vazGetPCMail");
    TMailList& list = **MailList;
    for (const json& m : s.value("GetPCMail", json::object()).value("Mails", json::array())) {
      list.ID = m.value("ID", "");
      list.Flags = m.value("Flags", 3);
      list.From = m.value("From", "");
      list.To = m.value("To", "");
      list.CC = m.value("CC", "");
      list.BC = m.value("BC", "");
      list.Subject = m.value("Subject", "");
      list.Message = m.value("Message", "");
      list.Attachments = m.value("Attachments", "");
      list.Date = m.value("Date", 0.0);
      list.Add(true);
    }
    int r = ResultOf(s, "GetPCMail", vazDone);
    if (r == vazCancelled) list.ClearList();
    return r;
  });
}

int vazSendPCMail(HWND AppHandle, TMail** Mail, TMemoVar Memo, TProgressVar Progress) {
  return RunExport(AppHandle, vazFailed, [&] {
    json s = Script();
    TMail& m = **Mail;
    Record("vazSendPCMail", {{"appHandle", Handle(AppHandle)}, {"ID", m.ID}, {"Flags", m.Flags}, {"To", m.To},
                             {"CC", m.CC}, {"BC", m.BC}, {"Subject", m.Subject}, {"Message", m.Message},
                             {"Date", m.Date}, {"IncludeMessage", m.IncludeMessage}, {"ReplyAll", m.ReplyAll}});
    MaybeFail(s, "vazSendPCMail");
    json send = s.value("SendPCMail", json::object());
    // The user presses Stop while the mail goes out.
    if (send.value("Stop", false) && Progress && *Progress) (*Progress)->Stopped = true;
    for (const auto& refused : send.value("Refuse", json::array()))
      if (refused == m.ID) {
        AddMemoLine(Memo, ResString(4));
        return vazCancelled;
      }
    json renamed = send.value("NewID", json::object());
    if (renamed.contains(m.ID)) m.ID = renamed[m.ID].get<std::string>();
    return send.value("Result", vazDone);
  });
}

int vazDeletePCMail(HWND AppHandle, const std::string& ID, TMemoVar, TProgressVar) {
  return RunExport(AppHandle, vazFailed, [&] {
    json s = Script();
    Record("vazDeletePCMail", {{"appHandle", Handle(AppHandle)}, {"ID", ID}});
    MaybeFail(s, "vazDeletePCMail");
    return ResultOf(s, "DeletePCMail", vazDone);
  });
}

int vazAddressBook(HWND Window, TStringList** ToList, TStringList** CcList,
                                         TStringList** BcList, TMemoVar, TProgressVar) {
  return RunExport(Window, vazFailed, [&] {
    json s = Script();
    Record("vazAddressBook", {{"appHandle", Handle(Window)}});
    MaybeFail(s, "vazAddressBook");
    json book = s.value("AddressBook", json::object());
    int r = book.value("Result", vazDone);
    if (r == vazDone) {
      for (const auto& a : book.value("To", json::array())) (*ToList)->Add(a.get<std::string>());
      for (const auto& a : book.value("CC", json::array())) (*CcList)->Add(a.get<std::string>());
      for (const auto& a : book.value("BC", json::array())) (*BcList)->Add(a.get<std::string>());
    }
    return r;
  });
}

#ifndef OMIT_vazReplyAll
void vazReplyAll(std::string* Result, HWND AppHandle, const std::string& ListA,
                                       const std::string& ListB) {
  RunStringExport(Result, AppHandle, [] { return std::string(); }, [&] {
    json s = Script();
    Record("vazReplyAll", {{"appHandle", Handle(AppHandle)}, {"ListA", ListA}, {"ListB", ListB}});
    MaybeFail(s, "vazReplyAll");
    return s.value("ReplyAll", std::string());
  });
}
#endif

int vazMasterCheck(HWND AppHandle, TStringList** IDs) {
  return RunExport(AppHandle, vazFailed, [&] {
    json s = Script();
    Record("vazMasterCheck", {{"appHandle", Handle(AppHandle)}, {"IDs", Strings(*IDs)}});
    MaybeFail(s, "vazMasterCheck");
    json check = s.value("MasterCheck", json::object());
    json leave = check.value("Leave", json::array());
    // The answer holds each given ID that the script names, once.
    TStringList& list = **IDs;
    TStringList given;
    given.Assign(list);
    list.Clear();
    for (const auto& id : leave)
      if (given.IndexOf(id.get<std::string>()) >= 0) list.Add(id.get<std::string>());
    return check.value("Result", vazDone);
  });
}

#ifndef OMIT_vazProperties
bool vazProperties(HWND AppHandle, TMemoVar) {
  return RunExport(AppHandle, false, [&] {
    json s = Script();
    Record("vazProperties", {{"appHandle", Handle(AppHandle)}});
    MaybeFail(s, "vazProperties");
    return s.value("Properties", true);
  });
}
#endif

// What only the tests ask of this conduit.
std::uintptr_t TestConduitAppHandle() { return reinterpret_cast<std::uintptr_t>(Application.Handle); }

void TestConduitSettingsKey(std::string* Key) { *Key = ConduitSettingsKey(); }

void TestConduitLayout(Layout* Result) { *Result = MeasureLayout(); }

// Opens the probe form and answers its button; tells whether the conduit's
// forms layer takes a window of the host for one of its own controls.
HWND TestConduitOpenForm(HWND hostControl, bool* hostReachable) {
  probe = std::make_unique<TProbeForm>();
  probe->Show();
  *hostReachable = TControl::FromHandle(hostControl) != nullptr;
  return probe->btnProbe.Handle();
}

// Closes the probe form and answers how often its button was clicked.
int TestConduitCloseForm() {
  int clicks = probe ? probe->clicks : -1;
  probe.reset();
  return clicks;
}

std::uintptr_t TestConduitResourceHandle() {
  return reinterpret_cast<std::uintptr_t>(ConduitResourceHandle);
}
}
