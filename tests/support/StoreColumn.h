#pragma once
// One column of a store on the simulated handheld, as text: Booleans read
// "True" or "False", empty values "".
#include <string>
#include <vector>

#include "EvrinSession.h"
#include "Handheld.h"

namespace test {

inline std::vector<std::string> HandheldColumn(const std::string& handheld, int column) {
  evrin::StoreSession store(tandel::ToPcPath(handheld));
  std::vector<std::string> r;
  for (int i = 0, n = store.Count(); i < n; ++i) {
    Variant v = store.Value(i, column);
    if (v.Type() == VT_BOOL) r.push_back(v.AsBool() ? "True" : "False");
    else r.push_back(v.IsEmpty() || v.IsNull() ? std::string() : v.AsString());
  }
  return r;
}

}  // namespace test
