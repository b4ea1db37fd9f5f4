#include "HostVars.h"

TMemo* Memo = nullptr;
TProgress* Progress = nullptr;
TvazAddressBook vazAddressBook = nullptr;
