#pragma once
// The class of the kit's local-server test program, known to it and its test.
#include <guiddef.h>

constexpr CLSID CLSID_KitLocal = {0x6F0D3C14, 0x1B2A, 0x4C5D, {0x8E, 0x9F, 0x10, 0x21, 0x32, 0x43, 0x54, 0x65}};
constexpr const char* ProgID_KitLocal = "Vantle.KitTest.Local";
