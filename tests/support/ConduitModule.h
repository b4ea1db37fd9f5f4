#pragma once
// A conduit library loaded for the scope, with its exports bound into the
// host's own table of entry points (TConduitEntries) by the host's binder,
// plus the address book's and the properties'; an export the library lacks
// stays nil.
#include <windows.h>

#include <string>

#include "ConduitEntries.h"
#include "Handles.h"

namespace test {

class ConduitModule : public TConduitEntries {
 public:
  explicit ConduitModule(const std::string& path) : handle_(LoadLibraryA(path.c_str())) {
    if (!handle_) return;
    BindConduitEntries(handle_, *this, &vazAddressBook, false);
    vazProperties = Get<TvazProperties>("vazProperties");
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
    return ModuleExport<F>(handle_, name);
  }

  TvazAddressBook vazAddressBook = nullptr;
  TvazProperties vazProperties = nullptr;

 private:
  HMODULE handle_;
};

}  // namespace test
