#pragma once
// A conduit library loaded for the scope, with its exports bound by name
// into the host's own table of entry points (TConduitEntries) plus the two
// the host binds elsewhere; an export the library lacks stays nil.
#include <windows.h>

#include <string>

#include "C_Email.h"
#include "SysUtils.h"
#include "VazInterface.h"

namespace test {

class ConduitModule : public TConduitEntries {
 public:
  explicit ConduitModule(const std::string& path) : handle_(LoadLibraryA(path.c_str())) {
    if (!handle_) return;
    Bind(vazDescription, "vazDescription");
    Bind(vazInitialize, "vazInitialize");
    Bind(vazShutDown, "vazShutDown");
    Bind(vazGetPCMail, "vazGetPCMail");
    Bind(vazSendPCMail, "vazSendPCMail");
    Bind(vazDeletePCMail, "vazDeletePCMail");
    Bind(vazEmailName, "vazEmailName");
    Bind(vazReplyAll, "vazReplyAll");
    Bind(vazMasterCheck, "vazMasterCheck");
    Bind(vazAddressBook, "vazAddressBook");
    Bind(vazProperties, "vazProperties");
  }
  ~ConduitModule() { Unload(); }
  ConduitModule(const ConduitModule&) = delete;
  ConduitModule& operator=(const ConduitModule&) = delete;

  HMODULE Handle() const { return handle_; }
  void Unload() {
    if (handle_) FreeLibrary(handle_);
    handle_ = nullptr;
    static_cast<TConduitEntries&>(*this) = {};
    vazAddressBook = nullptr;
    vazProperties = nullptr;
  }
  // Any export, by name or ordinal; nil when the library lacks it.
  template <class F>
  F Get(const char* name) const {
    return reinterpret_cast<F>(reinterpret_cast<void*>(GetProcAddress(handle_, name)));
  }

  TvazAddressBook vazAddressBook = nullptr;
  TvazProperties vazProperties = nullptr;

 private:
  template <class F>
  void Bind(F& entry, const char* name) {
    entry = Get<F>(name);
  }
  HMODULE handle_;
};

}  // namespace test
