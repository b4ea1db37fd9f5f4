// Runs on the build machine: writes an empty store of the data-file server
// with the given column types, for the resource library's templates.
//   EvrinTemplate <output file> <column letters: S text, D date-time, B Boolean>
#include <cstdio>
#include <fstream>

#include "EvrinFormat.h"

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: EvrinTemplate <output file> <column letters>\n");
    return 2;
  }
  try {
    std::string bytes = evrin::EmptyStore(evrin::ParseColumnLetters(argv[2]));
    std::ofstream out(argv[1], std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    out.close();
    if (!out) {
      std::fprintf(stderr, "EvrinTemplate: cannot write %s\n", argv[1]);
      return 1;
    }
    // Check what was written the way the server will read it.
    evrin::StoreImage::Parse(bytes);
    return 0;
  } catch (const std::exception& e) {
    std::fprintf(stderr, "EvrinTemplate: %s\n", e.what());
    return 1;
  }
}
