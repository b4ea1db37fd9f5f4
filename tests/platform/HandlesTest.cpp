// The owning handles: each closes exactly once, with the right function, and
// ownership moves but never doubles.
#include <gtest/gtest.h>

#include <type_traits>

#include "Handles.h"
#include "SysUtils.h"
#include "TestSupport.h"

namespace {

bool IsOpen(HANDLE h) {
  DWORD flags = 0;
  return GetHandleInformation(h, &flags) != FALSE;
}

KernelHandle NewEvent() { return KernelHandle(CreateEventA(nullptr, TRUE, FALSE, nullptr)); }

static_assert(!std::is_copy_constructible_v<KernelHandle> && !std::is_copy_assignable_v<KernelHandle>);
static_assert(std::is_nothrow_move_constructible_v<KernelHandle> && std::is_nothrow_move_assignable_v<BrushHandle>);
static_assert(!std::is_copy_constructible_v<WindowDC> && !std::is_copy_constructible_v<SelectedObject>);

}  // namespace

TEST(Handles, KernelHandleClosesOnceAndOwnershipMoves) {
  HANDLE raw;
  {
    KernelHandle event = NewEvent();
    raw = event.Get();
    ASSERT_TRUE(event);
    KernelHandle moved(std::move(event));
    EXPECT_FALSE(event);
    EXPECT_EQ(moved.Get(), raw);
    KernelHandle assigned;
    assigned = std::move(moved);
    EXPECT_FALSE(moved);
    EXPECT_TRUE(IsOpen(raw));
  }
  EXPECT_FALSE(IsOpen(raw));

  // Reset closes the old handle at once; Release gives it up unclosed.
  KernelHandle first = NewEvent();
  HANDLE a = first.Get();
  first.Reset(CreateEventA(nullptr, TRUE, FALSE, nullptr));
  EXPECT_FALSE(IsOpen(a));
  HANDLE b = first.Release();
  EXPECT_FALSE(first);
  EXPECT_TRUE(IsOpen(b));
  CloseHandle(b);

  // Assigning over a live handle closes it; self-assignment keeps it.
  KernelHandle target = NewEvent(), source = NewEvent();
  HANDLE old = target.Get();
  target = std::move(source);
  EXPECT_FALSE(IsOpen(old));
  HANDLE kept = target.Get();
  KernelHandle& alias = target;
  target = std::move(alias);
  EXPECT_TRUE(IsOpen(kept));
}

TEST(Handles, FailedCallsHoldNoHandle) {
  KernelHandle missing(CreateFileA("C:\\no such folder\\x", GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr));
  EXPECT_EQ(missing.Get(), INVALID_HANDLE_VALUE);
  EXPECT_FALSE(missing);
  EXPECT_FALSE(KernelHandle(nullptr));
  WIN32_FIND_DATAA data;
  FindHandle none(FindFirstFileA("C:\\no such folder\\*", &data));
  EXPECT_FALSE(none);
  // A registry key is a plain null when absent; out-parameters reset first.
  RegKey key;
  EXPECT_EQ(RegOpenKeyExA(HKEY_CURRENT_USER, "Software", 0, KEY_READ, key.Put()), ERROR_SUCCESS);
  EXPECT_TRUE(key);
  EXPECT_NE(RegOpenKeyExA(HKEY_CURRENT_USER, "Software\\No Such Key Here", 0, KEY_READ, key.Put()), ERROR_SUCCESS);
  EXPECT_FALSE(key);
}

TEST(Handles, FindHandleWalksAFolder) {
  const std::string folder = test::ProgramFolder();
  WIN32_FIND_DATAA data;
  FindHandle find(FindFirstFileA((folder + "*.exe").c_str(), &data));
  ASSERT_TRUE(find);
  int found = 1;
  while (FindNextFileA(find.Get(), &data)) ++found;
  EXPECT_GE(found, 1);
}

TEST(Handles, GdiAndUserObjectsAreFreedWithTheirOwnFunctions) {
  HBRUSH brush;
  HMENU menu;
  HDC memory;
  {
    BrushHandle b(CreateSolidBrush(RGB(1, 2, 3)));
    MenuHandle m(CreatePopupMenu());
    MemoryDC dc(CreateCompatibleDC(nullptr));
    brush = b.Get();
    menu = m.Get();
    memory = dc.Get();
    EXPECT_EQ(GetObjectType(brush), static_cast<DWORD>(OBJ_BRUSH));
    EXPECT_TRUE(IsMenu(menu));
    EXPECT_EQ(GetObjectType(memory), static_cast<DWORD>(OBJ_MEMDC));
  }
  EXPECT_EQ(GetObjectType(brush), 0u);
  EXPECT_FALSE(IsMenu(menu));
  EXPECT_EQ(GetObjectType(memory), 0u);
}

TEST(Handles, SelectionPutsTheReplacedObjectBack) {
  MemoryDC dc(CreateCompatibleDC(nullptr));
  BrushHandle brush(CreateSolidBrush(RGB(10, 20, 30)));
  HGDIOBJ before = GetCurrentObject(dc.Get(), OBJ_BRUSH);
  {
    SelectedObject selected(dc.Get(), brush.Get());
    EXPECT_EQ(GetCurrentObject(dc.Get(), OBJ_BRUSH), brush.Get());
  }
  EXPECT_EQ(GetCurrentObject(dc.Get(), OBJ_BRUSH), before);
}

TEST(Handles, WindowDCKeepsItsWindow) {
  HWND window = CreateWindowExA(0, "STATIC", "", WS_POPUP, 0, 0, 10, 10, nullptr, nullptr, nullptr, nullptr);
  ASSERT_NE(window, nullptr);
  {
    WindowDC dc(window);
    ASSERT_TRUE(dc);
    EXPECT_EQ(WindowFromDC(dc.Get()), window);
    WindowDC moved(std::move(dc));
    EXPECT_FALSE(dc);
    EXPECT_EQ(moved.Window(), window);
  }
  DestroyWindow(window);
}

TEST(ModuleFileNames, NameTheProgramAndModulesBeyondMaxPath) {
  const std::string program = ModuleFileName();
  EXPECT_EQ(ExtractFilePath(program), test::ProgramFolder());
  EXPECT_TRUE(SameText(ExtractFileName(program), "test_runtime.exe")) << program;
  EXPECT_EQ(ThisModule(), GetModuleHandleA(nullptr));
  EXPECT_EQ(ModuleFileName(reinterpret_cast<HMODULE>(static_cast<INT_PTR>(0x10))), "");

  // A library whose path is longer than MAX_PATH keeps its whole name (the
  // wide calls take such paths where the ANSI ones stop at MAX_PATH).
  const std::string longPrefix = "\\\\?\\";
  std::string folder = test::ProgramFolder() + "long-module-names";
  test::FolderSnapshot cleanup(longPrefix + folder);
  auto wide = [&](const std::string& path) { return std::wstring(path.begin(), path.end()); };
  ASSERT_TRUE(CreateDirectoryW(wide(longPrefix + folder).c_str(), nullptr));
  while (folder.size() < MAX_PATH + 40) {
    folder += "\\" + std::string(30, 'd');
    ASSERT_TRUE(CreateDirectoryW(wide(longPrefix + folder).c_str(), nullptr)) << GetLastError();
  }
  const std::string copy = folder + "\\test_module_a.dll";
  ASSERT_TRUE(CopyFileW(wide(test::ProgramFolder() + "test_module_a.dll").c_str(), wide(longPrefix + copy).c_str(),
                        FALSE));
  ModuleHandle library(LoadLibraryW(wide(longPrefix + copy).c_str()));
  ASSERT_TRUE(library) << GetLastError();
  std::string name = ModuleFileName(library.Get());
  if (name.rfind(longPrefix, 0) == 0) name.erase(0, longPrefix.size());
  EXPECT_TRUE(SameText(name, copy)) << name;
}
