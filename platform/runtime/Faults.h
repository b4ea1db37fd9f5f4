#pragma once
// Calls into foreign code (a plug-in's export) so that a processor fault
// inside it, such as an access violation, becomes an exception of the caller
// instead of ending the process, as the runtime's exception family expects.
#include <functional>

#include "SysUtils.h"

VANTLE_EXCEPTION(EExternalException, Exception);
VANTLE_EXCEPTION(EAccessViolation, EExternalException);

// Runs Code on this thread; a fault that nothing inside it handles raises
// EAccessViolation or EExternalException (naming the address and its module)
// once Code's frames are abandoned. Whatever those frames held is not
// released, locks included: keep the guarded code to a plug-in's short call.
// C++ exceptions pass unchanged.
void CallGuarded(const std::function<void()>& Code);
