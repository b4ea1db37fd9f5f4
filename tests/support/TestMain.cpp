// Entry point of every test program. The executable exports the hooks that
// put the user-interface seam and the clock of every module of the process
// (plug-ins included) under the tests' control.
#include <gtest/gtest.h>

#include "TestSupport.h"

namespace test {
namespace detail {
extern bool clockFixed;
extern double clockNow;
}  // namespace detail
}  // namespace test

extern "C" {

__declspec(dllexport) ui::Handler* __cdecl VantleUserInterface() { return &test::Ui(); }

__declspec(dllexport) int __cdecl VantleClock(double* now) {
  if (!test::detail::clockFixed) return FALSE;
  *now = test::detail::clockNow;
  return TRUE;
}
}

namespace {
// Each test starts with nothing shown.
class ResetUi : public testing::EmptyTestEventListener {
  void OnTestStart(const testing::TestInfo&) override { test::Ui().Reset(); }
};
}  // namespace

int main(int argc, char** argv) {
  // A crash in a test must end the program, not wait on an error dialog.
  SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOGPFAULTERRORBOX | SEM_NOOPENFILEERRORBOX);
  testing::InitGoogleTest(&argc, argv);
  testing::UnitTest::GetInstance()->listeners().Append(new ResetUi);
  return RUN_ALL_TESTS();
}
