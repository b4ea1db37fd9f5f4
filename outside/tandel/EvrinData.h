#pragma once
// Identifiers of the data-file server "ORVIK.ObjEvrinData", as its callers
// know them.
#include <oaidl.h>

namespace evrin {

// The data object's dispinterface: Open (1) a file, Close (3) it.
constexpr IID IID_DataObject = {0x2B83B7B4, 0x21ED, 0x11D0, {0xB9, 0x82, 0x00, 0x20, 0xAF, 0xC8, 0x15, 0xFA}};
// The data-file object's dispinterface: Records (5, property), NewRecord (9).
constexpr IID IID_DataFile = {0xACB1E0F0, 0x22B7, 0x11D0, {0xB9, 0x83, 0x00, 0x20, 0xAF, 0xC8, 0x15, 0xFA}};
// The creatable data object.
constexpr CLSID CLSID_EvrinData = {0x5E1C3A62, 0x7B0D, 0x4F8E, {0x9A, 0x41, 0x2C, 0x6D, 0x8B, 0x7E, 0x0F, 0x13}};
constexpr const char* ProgID_EvrinData = "ORVIK.ObjEvrinData";

constexpr DISPID DispOpen = 1, DispClose = 3;         // data object
constexpr DISPID DispRecords = 5, DispNewRecord = 9;  // data-file object

}  // namespace evrin
