#include "CmdTarget.h"

#include "ComServer.h"

namespace {
std::atomic<long> live{0};
}

CCmdTarget::CCmdTarget() {
  ComModule::Lock();
  ++live;
}

CCmdTarget::~CCmdTarget() {
  --live;
  ComModule::Unlock();
}

ULONG CCmdTarget::ExternalAddRef() { return ++refs_; }

ULONG CCmdTarget::ExternalRelease() {
  ULONG n = --refs_;
  if (n == 0) delete this;
  return n;
}

HRESULT CCmdTarget::ExternalQueryInterface(REFIID iid, void** out) {
  if (!out) return E_POINTER;
  IUnknown* found = GetInterface(iid);
  *out = found;
  if (!found) return E_NOINTERFACE;
  found->AddRef();
  return S_OK;
}

long CCmdTarget::LiveObjects() { return live; }
