#include <gtest/gtest.h>
#include <windows.h>

#include <memory>
#include <string>
#include <vector>

#include "DateTime.h"
#include "Handles.h"
#include "TestSupport.h"
#include "UserInterface.h"

TEST(SharedMemory, BlocksAllocatedInOneModuleAreFreedInAnother) {
  ModuleHandle a(LoadLibraryA("test_module_a.dll")), b(LoadLibraryA("test_module_b.dll"));
  ASSERT_NE(a.Get(), nullptr);
  ASSERT_NE(b.Get(), nullptr);
  auto makeBlock = ModuleExport<char* (*)(int)>(a.Get(), "MakeBlock");
  auto freeBlock = ModuleExport<void (*)(char*)>(b.Get(), "FreeBlock");
  auto makeText = ModuleExport<std::string* (*)(const char*)>(a.Get(), "MakeText");
  auto append = ModuleExport<void (*)(std::string*, const char*)>(a.Get(), "AppendInPlace");
  auto freeText = ModuleExport<void (*)(std::string*)>(b.Get(), "FreeText");

  // Every module allocates from the one process heap behind VantleMM.dll.
  char* block = makeBlock(1000);
  EXPECT_TRUE(HeapValidate(GetProcessHeap(), 0, block));
  freeBlock(block);

  char* mine = new char[10];
  EXPECT_TRUE(HeapValidate(GetProcessHeap(), 0, mine));
  freeBlock(mine);

  // A string grown in one module, then by the test program, is freed in a third.
  const std::string first = "a conduit's text that is long enough to live on the heap";
  const std::string more = " and more from the same module";
  std::string* text = makeText(first.c_str());
  append(text, more.c_str());
  *text += std::string(500, 'x');
  EXPECT_EQ(*text, first + more + std::string(500, 'x'));
  freeText(text);
  EXPECT_TRUE(HeapValidate(GetProcessHeap(), 0, nullptr));
}

// A module that has thrown, and whose static destructors throw and catch as
// it is freed, is freed without ending the host and gives back its
// thread-local-storage index every time.
TEST(SharedMemory, AModuleThatThrowsWhileFreedGivesBackItsThreadStorage) {
  auto freeTlsIndexes = [] {
    std::vector<DWORD> taken;
    for (DWORD i; (i = TlsAlloc()) != TLS_OUT_OF_INDEXES;) taken.push_back(i);
    for (DWORD i : taken) TlsFree(i);
    return taken.size();
  };
  const size_t before = freeTlsIndexes();
  for (int i = 0; i < 5; ++i) {
    ModuleHandle b(LoadLibraryA("test_module_b.dll"));
    ASSERT_NE(b.Get(), nullptr);
    EXPECT_TRUE(ModuleExport<bool (*)()>(b.Get(), "Caught")());
  }
  EXPECT_EQ(before, freeTlsIndexes());
}

TEST(Seam, EveryModuleOfTheProcessShowsThroughTheTestProgram) {
  ModuleHandle a(LoadLibraryA("test_module_a.dll"));
  auto showBox = ModuleExport<int (*)(const char*)>(a.Get(), "ShowBox");
  auto moduleNow = ModuleExport<double (*)()>(a.Get(), "ModuleNow");

  test::Ui().Answer(IDCANCEL);
  EXPECT_EQ(showBox("Hello from a plug-in"), IDCANCEL);
  ASSERT_EQ(test::Ui().Boxes().size(), 1u);
  EXPECT_EQ(test::Ui().Boxes()[0].text, "Hello from a plug-in");
  EXPECT_EQ(test::Ui().Boxes()[0].caption, "Module A");
  EXPECT_EQ(test::Ui().Boxes()[0].flags, static_cast<UINT>(MB_OKCANCEL));

  {
    test::FixedClock clock(EncodeDate(2026, 6, 10) + EncodeTime(14, 5, 9, 0));
    EXPECT_DOUBLE_EQ(moduleNow(), EncodeDate(2026, 6, 10) + EncodeTime(14, 5, 9, 0));
    EXPECT_DOUBLE_EQ(Date(), EncodeDate(2026, 6, 10));
  }
  // Without a fixed clock the system's time is in force again.
  EXPECT_GT(moduleNow(), EncodeDate(2000, 1, 1));
}
