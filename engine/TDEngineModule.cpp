// TDENGINE.dll: the in-process server of the device engine classes.
#include "ServerExports.h"
#include "TDOrvWinEngine.h"

namespace {

ComPtr<IUnknown> CreateEngine() {
  return ComPtr<IUnknown>::Attach(static_cast<tdengine::ITDOrvWinEngine*>(new CTDOrvWinEngine()));
}

const CoClassEntry Classes[] = {
    {&tdengine::CLSID_TDOrvWinEngine, &CreateEngine, tdengine::ProgID, "Orvik TD engine", "Apartment"},
};

}  // namespace

VANTLE_SERVER_EXPORTS(Classes)
