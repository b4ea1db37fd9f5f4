#pragma once
// The base of the engine's COM objects: the server kit's ComObject (one
// atomic reference count, the interface query over the class's interfaces,
// the module lock and live-object count) under the names the engine is
// written with. The last release deletes the object.
#include "ComServer.h"

template <class First, class... Rest>
class CCmdTarget : public ComObject<First, Rest...> {
 public:
  ULONG ExternalAddRef() { return this->AddRef(); }
  ULONG ExternalRelease() { return this->Release(); }
  HRESULT ExternalQueryInterface(REFIID iid, void** out) { return this->QueryInterface(iid, out); }
};
