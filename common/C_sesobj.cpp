#include "C_sesobj.h"

#include <windows.h>

#include "C_ResMan.h"
#include "FLimiter.h"
#include "Registry.h"
#include "UserInterface.h"
#include "Handles.h"

namespace {

const char* const DefaultInData = "C:\\Documents\\Vantle\\InBox";
const char* const DefaultOutData = "C:\\Documents\\Vantle\\Outbox";

// Every access uses a fresh registry object on the main key, created if missing.
std::unique_ptr<TRegistry> OpenSettings() {
  auto reg = std::make_unique<TRegistry>();
  reg->SetRootKey(HKEY_LOCAL_MACHINE);
  reg->OpenKey(VantleSettingsKey, true);
  return reg;
}

std::string ExeFolder() { return ExtractFilePath(ModuleFileName()); }

}  // namespace

TSesObj::TSesObj() {
  ClientName.clear();
  std::string folder = AddBackslash(ExeFolder());
  TempDir = AddBackslash(folder + "Temp");
  ForceDirectories(TempDir);

  Tracing = FileExists(folder + "trace");
  if (Tracing) {
    try {
      TraceStream = std::make_unique<TFileStream>(folder + "Vantle.log", fmCreate | fmShareDenyWrite);
      TraceStream->Seek(0, soEnd);
      WriteRaw("***** Trace Activated: " + DateTimeToStr(Now()) + " *****" + std::string(CRLF, 2));
    } catch (const Exception&) {
      // Tracing stays on; later lines are lost silently.
    }
  }
  Trace("TSesObj.create - OK");
  FromDate = EncodeDate(1980, 1, 1);
  ToDate = EncodeDate(2020, 12, 31);
  LoadPreferences();
}

TSesObj::~TSesObj() {
  Trace("TSesObj.destroy - OK");
  if (Tracing) {
    std::string crlf(CRLF, 2);
    WriteRaw("***** Trace Terminated: " + DateTimeToStr(Now()) + " *****" + crlf + crlf);
    TraceStream.reset();
  }
}

void TSesObj::WriteRaw(const std::string& bytes) {
  if (TraceStream) TraceStream->WriteBuffer(bytes.data(), static_cast<std::int64_t>(bytes.size()));
}

void TSesObj::Trace(const std::string& Text) {
  if (!Tracing) return;
  try {
    TraceLine = TimeToStr(Now());
    TraceLine += '\t';
    TraceLine += Text;
    TraceLine.append(CRLF, 2);
    WriteRaw(TraceLine);
  } catch (const Exception&) {
    // The trace log never stops the program.
  }
}

void TSesObj::ShowError(const std::string& Message, const std::string& Place) {
  try {
    ui::Beep(MB_ICONEXCLAMATION);
    ui::Message(nullptr,
                Format("The unhandled exception [%s] occurred in %s.  The application may now be unstable.",
                       {Message.empty() ? "[Unspecified]" : Message, Place.empty() ? "[Unspecified]" : Place}),
                "Vantle Error", MB_OK | MB_SETFOREGROUND);
  } catch (...) {
  }
}

void TSesObj::AddError(const std::string& Line) {
  if (ErrorMemo != nullptr) ErrorMemo->Add(Line);
}

void TSesObj::UpdateTransferLimit() {
  try {
    TResManager resources("Vantleres.dll");
    TLimitForm form(*this, resources);
    form.tbLimit.SetPosition(MaxTransfer / 10);
    form.eInBox.SetText(InData);
    form.eOutBox.SetText(OutData);
    form.tbEmailLimit.SetPosition(MaxEmail);
    form.cbEnableInClean.SetChecked(InAutoClean);
    form.cbEnableOutClean.SetChecked(OutAutoClean);
    form.tbInDays.SetPosition(InCleanDays);
    form.tbOutDays.SetPosition(OutCleanDays);
    form.cbAutoKeep.SetChecked(KeepMessages);
    form.cbAutoQuote.SetChecked(QuoteOriginal);
    form.cbAutoReplyAll.SetChecked(ReplyToAll);
    form.cbPimMaster.SetChecked(MasterDeletion);
    if (form.ShowModal() != mrOk) return;
    // Every value is written, changed or not, in this order.
    SetMaxTrans(form.tbLimit.Position() * 10);
    SetInData(form.eInBox.Text());
    SetOutData(form.eOutBox.Text());
    SetMaxEmailSize(form.tbEmailLimit.Position());
    SetInClean(form.cbEnableInClean.Checked());
    SetOutClean(form.cbEnableOutClean.Checked());
    SetInDays(form.tbInDays.Position());
    SetOutDays(form.tbOutDays.Position());
    SetKeep(form.cbAutoKeep.Checked());
    SetQuote(form.cbAutoQuote.Checked());
    SetReplyAll(form.cbAutoReplyAll.Checked());
    SetMasterDeletion(form.cbPimMaster.Checked());
  } catch (const Exception& e) {
    ShowError(e.Message, "TSesObj.UpdateTransferLimit");
  }
}

bool TSesObj::LoadPreferences() {
  Trace("TSesObj.LoadPreferences...");
  try {
    auto reg = OpenSettings();
    auto path = [&](const char* name, const char* fallback, std::string& field) {
      try {
        std::string value = reg->ReadString(name);
        if (value.empty()) {
          reg->WriteString(name, fallback);
          value = reg->ReadString(name);
        }
        field = value;
      } catch (const Exception&) {
        field = fallback;
      }
    };
    auto flag = [&](const char* name, bool fallback, bool& field) {
      try {
        field = reg->ReadBool(name);
      } catch (const Exception&) {
        field = fallback;
      }
    };
    auto number = [&](const char* name, int fallback, int& field) {
      try {
        field = reg->ReadInteger(name);
      } catch (const Exception&) {
        field = fallback;
      }
    };
    path("InData", DefaultInData, InData);
    path("OutData", DefaultOutData, OutData);
    flag("ViewSync", true, ViewSync);
    flag("Unread only", true, UnreadOnly);
    flag("Mark as Read", true, MarkRead);
    number("Max Transfer", 4000, MaxTransfer);
    number("Max Email", 5000, MaxEmail);
    try {
      LastConduit = reg->ReadString("Last Conduit");
    } catch (const Exception&) {
      LastConduit.clear();
    }
    flag("Apply Start Date", false, ApplyStartDate);
    flag("Apply End Date", false, ApplyEndDate);
    flag("In Auto Clean", false, InAutoClean);
    flag("Out Auto Clean", false, OutAutoClean);
    number("In Clean Days", 5000, InCleanDays);
    number("Out Clean Days", 5000, OutCleanDays);
    flag("Keep Messages", true, KeepMessages);
    flag("Quote Original Message", true, QuoteOriginal);
    flag("Reply to ALL", false, ReplyToAll);
    flag("Master Deletion", false, MasterDeletion);
    reg.reset();
    Trace("TSesObj.LoadPreferences...OK");
    return true;
  } catch (const Exception& e) {
    ShowError(e.Message, "TSesObj.LoadPreferences");
    return false;
  }
}

void TSesObj::Store(const char* setter, const std::function<void(TRegistry&)>& write) {
  std::string name = std::string("TSesObj.") + setter;
  Trace(name + "...");
  try {
    auto reg = OpenSettings();
    write(*reg);
    Trace(name + "...OK");
  } catch (const Exception& e) {
    ShowError(e.Message, name);
  }
}

// Each setter keeps the new value in memory even when the registry refuses it.
#define VANTLE_SETTER(Setter, Type, Field, Value, Write)                          \
  void TSesObj::Setter(Type Value) {                                              \
    Field = Value;                                                                \
    Store(#Setter, [&](TRegistry& reg) { reg.Write; });                           \
  }

VANTLE_SETTER(SetInData, const std::string&, InData, Value, WriteString("InData", Value))
VANTLE_SETTER(SetOutData, const std::string&, OutData, Value, WriteString("OutData", Value))
VANTLE_SETTER(SetSyncMode, bool, ViewSync, Value, WriteBool("ViewSync", Value))
VANTLE_SETTER(SetUnreadOnly, bool, UnreadOnly, Value, WriteBool("Unread only", Value))
VANTLE_SETTER(SetMarkRead, bool, MarkRead, Value, WriteBool("Mark as Read", Value))
VANTLE_SETTER(SetMaxTrans, int, MaxTransfer, Value, WriteInteger("Max Transfer", Value))
VANTLE_SETTER(SetMaxEmailSize, int, MaxEmail, Value, WriteInteger("Max Email", Value))
VANTLE_SETTER(SetLastConduit, const std::string&, LastConduit, Value, WriteString("Last Conduit", Value))
VANTLE_SETTER(SetFromCheck, bool, ApplyStartDate, Value, WriteBool("Apply Start Date", Value))
VANTLE_SETTER(SetToCheck, bool, ApplyEndDate, Value, WriteBool("Apply End Date", Value))
VANTLE_SETTER(SetInClean, bool, InAutoClean, Value, WriteBool("In Auto Clean", Value))
VANTLE_SETTER(SetOutClean, bool, OutAutoClean, Value, WriteBool("Out Auto Clean", Value))
VANTLE_SETTER(SetInDays, int, InCleanDays, Value, WriteInteger("In Clean Days", Value))
VANTLE_SETTER(SetOutDays, int, OutCleanDays, Value, WriteInteger("Out Clean Days", Value))
VANTLE_SETTER(SetKeep, bool, KeepMessages, Value, WriteBool("Keep Messages", Value))
VANTLE_SETTER(SetQuote, bool, QuoteOriginal, Value, WriteBool("Quote Original Message", Value))
VANTLE_SETTER(SetReplyAll, bool, ReplyToAll, Value, WriteBool("Reply to ALL", Value))
VANTLE_SETTER(SetMasterDeletion, bool, MasterDeletion, Value, WriteBool("Master Deletion", Value))

#undef VANTLE_SETTER
