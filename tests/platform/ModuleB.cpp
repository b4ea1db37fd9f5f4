// A module that frees what another module allocated.
#include <stdexcept>
#include <string>

namespace {

// Destroyed as the module is freed, it throws and catches on the way, as
// closing a file or a connection may.
struct Closer {
  ~Closer() {
    try {
      throw std::runtime_error("closed");
    } catch (const std::exception&) {
    }
  }
} closer;

}  // namespace

extern "C" {

__declspec(dllexport) void FreeText(std::string* text) { delete text; }

__declspec(dllexport) void FreeBlock(char* block) { delete[] block; }

__declspec(dllexport) bool Caught() {
  try {
    throw std::runtime_error("caught");
  } catch (const std::exception&) {
    return true;
  }
}
}
