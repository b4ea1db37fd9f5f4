#pragma once
// Where each field of the classes that cross the plug-in boundary lies, as
// one module's build sees it. The host and a conduit must see the same.
#include <cstddef>
#include <vector>

struct Layout {
  std::vector<std::ptrdiff_t> offsets;  // fields in declaration order, then sizes
};

Layout MeasureLayout();
