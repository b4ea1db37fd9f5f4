#pragma once
// The connectivity suite's handheld file chooser (ActiveX control CFileDll),
// called late-bound by dispatch id.
#include <oaidl.h>

namespace filebrowse {

constexpr CLSID CLSID_CFileDll = {0x2580B55B, 0x51E6, 0x11D1, {0x8F, 0x74, 0x00, 0x60, 0x97, 0xC5, 0xC6, 0x0F}};

// Setup(chooseFile: Boolean, caption, prompt, start folder, owner window: integer)
constexpr DISPID DispSetup = 1;
// SetFilter(description, file type, file type, ...): files whose type is listed
constexpr DISPID DispSetFilter = 3;
// FileName -> the chosen handheld path
constexpr DISPID DispFileName = 5;
// Execute() -> Boolean: modal; True when something was chosen
constexpr DISPID DispExecute = 8;

// The handheld's data-file types that the settings dialog offers.
constexpr int FileTypeData1 = 0x10000050;
constexpr int FileTypeData2 = 0x1000006D;
constexpr int FileTypeData3 = 0x10000086;

}  // namespace filebrowse
