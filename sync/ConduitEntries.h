#pragma once
// The host's table of a loaded conduit's entry points, and the one binder
// that fills it from the conduit's exports.
#include <windows.h>

#include "Global.h"
#include "Handles.h"
#include "VazInterface.h"

// The entry points bound from the loaded conduit, each empty or a function of
// TSync::ConduitHandle. The address book's lives with the mail editor
// (HostVars.h), which calls it.
struct TConduitEntries {
  TvazDescription vazDescription = nullptr;
  TvazInitialize vazInitialize = nullptr;
  TvazShutDown vazShutDown = nullptr;
  TvazGetPCMail vazGetPCMail = nullptr;
  TvazSendPCMail vazSendPCMail = nullptr;
  TvazDeletePCMail vazDeletePCMail = nullptr;
  TvazEmailName vazEmailName = nullptr;
  TvazReplyAll vazReplyAll = nullptr;
  TvazMasterCheck vazMasterCheck = nullptr;
};

// Binds Entries, and the address book's entry into AddressBook when given,
// from the exports of a loaded conduit. Required: the first export missing
// raises EConduitFailedEntryPoint "GetProcAddress failed on: <name>";
// otherwise a missing export leaves its entry nil.
inline void BindConduitEntries(HMODULE Conduit, TConduitEntries& Entries, TvazAddressBook* AddressBook,
                               bool Required) {
  auto bind = [&]<class F>(const char* name, F& entry) {
    entry = ModuleExport<F>(Conduit, name);
    if (!entry && Required) throw EConduitFailedEntryPoint(std::string("GetProcAddress failed on: ") + name);
  };
  bind("vazDescription", Entries.vazDescription);
  bind("vazInitialize", Entries.vazInitialize);
  bind("vazShutDown", Entries.vazShutDown);
  if (AddressBook) bind("vazAddressBook", *AddressBook);
  bind("vazGetPCMail", Entries.vazGetPCMail);
  bind("vazSendPCMail", Entries.vazSendPCMail);
  bind("vazDeletePCMail", Entries.vazDeletePCMail);
  bind("vazEmailName", Entries.vazEmailName);
  bind("vazReplyAll", Entries.vazReplyAll);
  bind("vazMasterCheck", Entries.vazMasterCheck);
}
