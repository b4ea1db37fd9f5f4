#pragma once
// A local server program's main: its classes served to other processes, one
// object of its own as the running object of its class, a message loop, and
// everything revoked when the loop ends.
#include <functional>

#include "ComServer.h"

struct LocalServerSetup {
  std::span<const CoClassEntry> Classes = {};
  // The class whose one object the program serves: made once when serving
  // starts (by the class's Create), put in the running object table, and
  // handed out by that class's factory. Null: no running object, and every
  // creation makes a new object.
  const CLSID* RunningClass = nullptr;
  // After "/RegServer" has written the class keys (its failure fails the
  // registration), and before "/UnregServer" removes them.
  std::function<HRESULT()> Registered = {};
  std::function<void()> Unregistering = {};
  // On the serving thread once the classes and the running object are
  // registered, before the loop: the program's windows. An exception ends
  // the program with code 2.
  std::function<void()> Started = {};
};

// "/RegServer" and "/UnregServer" (also with "-", any case) write or remove
// the class keys and answer 0, or 1 on failure. Otherwise serves until the
// thread gets WM_QUIT or, when COM started the program ("-Embedding"), until
// the last client has released the last object it held; then revokes the
// running object and the class objects. Answers WM_QUIT's code, 0 after the
// last release, 2 when serving could not start.
int LocalServerMain(int argc, char** argv, const LocalServerSetup& setup);

// The running object while LocalServerMain serves, else null.
ComPtr<IUnknown> ServedObject();

namespace detail {
// Strong connections from other processes to the automation objects of a
// serving local server, as COM reports them through IExternalConnection.
bool CountsClients();
DWORD ClientConnected();
DWORD ClientReleased(bool lastReleaseCloses);
}  // namespace detail
