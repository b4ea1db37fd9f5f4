// TDENGINE.dll: the in-process server of the device engine classes.
#include "ServerExports.h"
#include "TDOrvWinEngine.h"
#include "TDOrvWinEngineS.h"

namespace {

// The asynchronous engine answers IUnknown only through its other interfaces.
ComPtr<IUnknown> CreateEngine() {
  return ComPtr<IUnknown>::Attach(static_cast<tdengine::ITDOrvWinEngine*>(new CTDOrvWinEngine()));
}

const CoClassEntry Classes[] = {
    {&tdengine::CLSID_TDOrvWinEngine, &CreateEngine, tdengine::ProgID, "Orvik TD engine", "Apartment"},
    {&tdengine::CLSID_TDOrvWinEngineS, &Creator<CTDOrvWinEngineS>, tdengine::ProgIDS, "Orvik TD engine (synchronous)",
     "Apartment"},
};

}  // namespace

// Registration passes over keys it cannot write or remove and reports success.
VANTLE_SERVER_EXPORTS_BEST_EFFORT(Classes)
