// demo-drive.exe: one whole synchronisation of Vantle.exe worked through its
// windows as a person would (pick the first conduit, Next, look at the
// review lists, Next, Exit), with a picture of each page saved in a folder.
// Usage: demo-drive <Vantle.exe> <picture folder> [window class]: with a
// window class, the wizard starts once a window of that class is up (the PC
// mail client's, when it runs as a program of its own).
#include <cstdio>
#include <string>

#include "C_ResMan.h"
#include "Capture.h"
#include "Driver.h"

using namespace e2e;

namespace {

bool Shot(HWND window, const std::string& folder, const char* name) {
  std::string file = folder + "\\" + name + ".bmp";
  bool ok = SaveClientArea(window, file);
  std::printf("%s %s\n", ok ? "picture" : "NO PICTURE", file.c_str());
  return ok;
}

HWND ChildWithText(HWND parent, const char* className, const std::string& text) {
  return Child(parent, className, text.c_str());
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 3) {
    std::printf("usage: demo-drive <Vantle.exe> <picture folder>\n");
    return 2;
  }
  std::string folder = argv[2];
  if (argc > 3 && !WaitFor([&] { return FindWindowA(argv[3], nullptr); }, 60000)) {
    std::printf("no window of the class %s came up\n", argv[3]);
    return 1;
  }
  TResManager texts("Vantleres.dll");
  Program wizard(argv[1]);
  HWND main = WaitFor([&] { return TopWindow(wizard.Id(), "QuorvelVantleApplication", texts.GetString(1).c_str()); });
  if (main == nullptr) {
    Box box = WaitBox(wizard.Id(), 1000);
    std::printf("the wizard did not start%s%s\n", box.window ? ": " : "", box.text.c_str());
    return 1;
  }
  auto otherForm = [&]() -> HWND {
    for (HWND w : TopWindows(wizard.Id(), "VantleForm"))
      if (w != main) return w;
    return nullptr;
  };
  auto boxUp = [&] { return TopWindow(wizard.Id(), "#32770", nullptr); };
  HWND next = ChildWithText(main, "Button", texts.GetString(14));
  HWND pcList = Child(main, "SysListView32", nullptr, 0);
  HWND conduits = Child(main, "ListBox", nullptr);
  std::printf("conduits offered: %d\n", static_cast<int>(SendMessageA(conduits, LB_GETCOUNT, 0, 0)));
  Shot(main, folder, "1-Conduit-and-options");

  Press(next);
  // The progress window shows while the stage runs.
  if (HWND progress = WaitFor(otherForm, 5000)) Shot(progress, folder, "2-Progress");
  if (!WaitUntil([&] { return (IsWindowVisible(pcList) && !otherForm()) || boxUp(); }, 120000) || boxUp()) {
    Box box = WaitBox(wizard.Id(), 1000);
    std::printf("stage 1 stopped: [%s] %s\n", box.caption.c_str(), box.text.c_str());
    if (box.window) Answer(box);
    return 1;
  }
  RemoteList pc(wizard.Process(), pcList), handheld(wizard.Process(), Child(main, "SysListView32", nullptr, 1));
  std::printf("review: %d mail(s) for the handheld, %d for the PC\n", pc.Count(), handheld.Count());
  for (int i = 0; i < pc.Count(); ++i)
    std::printf("  to the handheld: %s - %s\n", pc.ItemText(i, 0).c_str(), pc.ItemText(i, 1).c_str());
  for (int i = 0; i < handheld.Count(); ++i)
    std::printf("  to the PC: %s - %s\n", handheld.ItemText(i, 0).c_str(), handheld.ItemText(i, 1).c_str());
  Shot(main, folder, "3-Review");

  Press(next);
  if (!WaitUntil([&] { return (!IsWindowEnabled(next) && !otherForm()) || boxUp(); }, 120000) || boxUp()) {
    Box box = WaitBox(wizard.Id(), 1000);
    std::printf("stage 2 stopped: [%s] %s\n", box.caption.c_str(), box.text.c_str());
    if (box.window) Answer(box);
    return 1;
  }
  Shot(main, folder, "4-Done");
  Press(ChildWithText(main, "Button", texts.GetString(12)));
  return wizard.Wait() == 0 ? 0 : 1;
}
