// A module that frees what another module allocated.
#include <string>

extern "C" {

__declspec(dllexport) void FreeText(std::string* text) { delete text; }

__declspec(dllexport) void FreeBlock(char* block) { delete[] block; }
}
