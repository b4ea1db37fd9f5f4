// Faults in guarded code become exceptions of the caller, and the thread goes on.
#include <gtest/gtest.h>

#include <windows.h>

#include <stdexcept>

#include "Faults.h"

namespace {

int* volatile Nowhere = nullptr;
int* volatile Low = reinterpret_cast<int*>(16);
volatile int Zero = 0;

TEST(FaultsTest, AFaultInGuardedCodeBecomesAnExceptionAndTheCallerGoesOn) {
  for (int round = 0; round < 3; ++round) {
    try {
      CallGuarded([] { *Nowhere = 1; });
      ADD_FAILURE() << "no exception";
    } catch (const EAccessViolation& e) {
      EXPECT_EQ(e.Message.rfind("Access violation at address ", 0), 0u) << e.Message;
      EXPECT_NE(e.Message.find(" in module 'test_runtime.exe'. Write of address 0000000000000000"), std::string::npos)
          << e.Message;
    }
  }
  try {
    CallGuarded([] { volatile int r = *Low; (void)r; });
    ADD_FAILURE() << "no exception";
  } catch (const EAccessViolation& e) {
    EXPECT_NE(e.Message.find("Read of address 0000000000000010"), std::string::npos) << e.Message;
  }
  try {
    CallGuarded([] { volatile int r = 7 / Zero; (void)r; });
    ADD_FAILURE() << "no exception";
  } catch (const EExternalException& e) {
    EXPECT_EQ(e.Message.rfind("External exception C0000094 at address ", 0), 0u) << e.Message;
  }
}

TEST(FaultsTest, GuardsNestAndLetCppExceptionsAndResultsThrough) {
  int inner = 0, outer = 0;
  CallGuarded([&] {
    try {
      CallGuarded([] { *Nowhere = 1; });
    } catch (const EAccessViolation&) {
      ++inner;
    }
    ++outer;
  });
  EXPECT_EQ(inner, 1);
  EXPECT_EQ(outer, 1);
  EXPECT_THROW(CallGuarded([] { throw std::runtime_error("passes"); }), std::runtime_error);
  // After a nested guard ended by an exception, a fault still reaches the outer one.
  EXPECT_THROW(CallGuarded([] {
                 EXPECT_THROW(CallGuarded([] { throw std::runtime_error("inner"); }), std::runtime_error);
                 *Nowhere = 2;
               }),
               EAccessViolation);
}

TEST(FaultsTest, AFaultThatTheCalledCodeHandlesItselfIsLeftToIt) {
  bool completed = false;
  CallGuarded([&] {
    // The system checks the pointer under a handler of its own.
    EXPECT_TRUE(IsBadReadPtr(const_cast<int*>(Low), sizeof(int)));
    EXPECT_EQ(lstrlenA(reinterpret_cast<LPCSTR>(16)), 0);
    completed = true;
  });
  EXPECT_TRUE(completed);
  EXPECT_THROW(CallGuarded([] { *Nowhere = 3; }), EAccessViolation);
}

}  // namespace
