#pragma once
// The host's objects a conduit's exports receive: the application window,
// the error memo and the progress window's variable (nil unless a test sets
// one).
#include <windows.h>

#include <string>
#include <vector>

#include "C_Prog.h"
#include "Forms.h"
#include "StdCtrls.h"
#include "VazInterface.h"

namespace test {

struct ConduitHost {
  TForm form{{.Name = "fHost", .Caption = "Host"}};
  TMemo memo{&form, "mErrors", {}};
  TMemo* memoVar = &memo;
  TProgress* progressVar = nullptr;
  HWND app = form.Handle();

  TMemoVar Memo() { return &memoVar; }
  TProgressVar Progress() { return &progressVar; }
  // The memo's lines that are not empty.
  std::vector<std::string> MemoLines() const {
    std::vector<std::string> lines;
    for (int i = 0; i < memo.Lines.Count(); ++i)
      if (!memo.Lines[i].empty()) lines.push_back(memo.Lines[i]);
    return lines;
  }
};

}  // namespace test
