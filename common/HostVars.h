#pragma once
// Process-wide variables of the main program that conduit calls receive by
// reference: the wizard's error memo and the progress window (both set by
// the main form), and the address book of the bound conduit (set by the sync
// engine while a conduit is loaded, empty otherwise). Host code only: a
// conduit has its own names for these.
#include "VazInterface.h"

extern TMemo* Memo;
extern TProgress* Progress;
extern TvazAddressBook vazAddressBook;
