#pragma once
// The failures a run reports, told apart by class.
#include "SysUtils.h"

VANTLE_EXCEPTION(EConduit, Exception);                  // a conduit step answered failure
VANTLE_EXCEPTION(ENoConduit, Exception);                // the conduit file does not exist
VANTLE_EXCEPTION(EConduitFailedLoad, Exception);        // the conduit library would not load
VANTLE_EXCEPTION(EConduitFailedEntryPoint, Exception);  // an export is missing
VANTLE_EXCEPTION(EGetPCMailFailed, Exception);          // reading the PC mail failed
VANTLE_EXCEPTION(EGetPCEmailCancelled, Exception);      // reading the PC mail was cancelled
VANTLE_EXCEPTION(EAborted, Exception);                  // the user pressed Stop
VANTLE_EXCEPTION(EEVRINEngine, Exception);              // a handheld operation failed
VANTLE_EXCEPTION(EReadDataFail, Exception);             // reading a handheld mail store failed
VANTLE_EXCEPTION(ENothingToXfer, Exception);            // nothing to transfer
VANTLE_EXCEPTION(EMaintenanceOnly, Exception);          // nothing to review, but the stores changed
VANTLE_EXCEPTION(EAddressBookFailure, Exception);       // the address book could not be shown
VANTLE_EXCEPTION(EPropertiesError, Exception);          // a conduit's properties dialog failed
VANTLE_EXCEPTION(EObjectNotAssigned, Exception);        // a mail, list or string list argument was nil

// The object a caller's variable holds; a nil variable or object raises
// EObjectNotAssigned with the given message.
template <class T>
T* Assigned(T** Variable, const char* Message) {
  if (Variable == nullptr || *Variable == nullptr) throw EObjectNotAssigned(Message);
  return *Variable;
}
