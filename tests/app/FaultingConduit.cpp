// A plug-in that breaks the contract: asked for its description, it faults.
#include <string>

#include "VazInterface.h"

namespace {
int* volatile Nowhere = nullptr;
}

extern "C" void vazDescription(std::string* Description, TMemoVar) {
  *Nowhere = 1;
  *Description = "never listed";
}
