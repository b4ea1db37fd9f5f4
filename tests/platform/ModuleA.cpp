// A module that allocates and shows things on behalf of the test program.
#include <string>

#include "DateTime.h"
#include "UserInterface.h"

extern "C" {

__declspec(dllexport) std::string* MakeText(const char* text) { return new std::string(text); }

__declspec(dllexport) char* MakeBlock(int size) { return new char[static_cast<size_t>(size)]; }

__declspec(dllexport) void AppendInPlace(std::string* text, const char* more) { *text += more; }

__declspec(dllexport) int ShowBox(const char* text) { return ui::Message(nullptr, text, "Module A", MB_OKCANCEL); }

__declspec(dllexport) double ModuleNow() { return Now(); }
}
