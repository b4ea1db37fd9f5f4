#pragma once
// The connectivity suite's data-file server "ORVIK.ObjEvrinData": how it is
// created, the members called by dispatch id, and the columns of the
// handheld's two mail stores.
#include <oaidl.h>

namespace evrin {

constexpr const char* ProgID_EvrinData = "ORVIK.ObjEvrinData";
// The creatable data object.
constexpr CLSID CLSID_EvrinData = {0x5E1C3A62, 0x7B0D, 0x4F8E, {0x9A, 0x41, 0x2C, 0x6D, 0x8B, 0x7E, 0x0F, 0x13}};
// The data object's dispinterface: Open (1) a file, Close (3) it.
constexpr IID IID_DataObject = {0x2B83B7B4, 0x21ED, 0x11D0, {0xB9, 0x82, 0x00, 0x20, 0xAF, 0xC8, 0x15, 0xFA}};
// The data-file object's dispinterface: Records (5, property), NewRecord (9).
constexpr IID IID_DataFile = {0xACB1E0F0, 0x22B7, 0x11D0, {0xB9, 0x83, 0x00, 0x20, 0xAF, 0xC8, 0x15, 0xFA}};

constexpr DISPID DispOpen = 1, DispClose = 3;         // data object
constexpr DISPID DispRecords = 5, DispNewRecord = 9;  // data-file object

// In box: mail from the PC and the replies typed on the handheld.
enum InCol : int {
  inSubject = 0, inFrom = 1, inDate = 2, inTo = 3, inCC = 4, inBC = 5, inMessage = 6, inReply = 7,
  inAttachments = 8, inDeleteMark = 9, inKeep = 10, inReplyAll = 11, inIncludeMessage = 12, inExcluded = 13,
  inReplySent = 14, inID = 15
};
constexpr int InColumns = 16;

// Out box: new mail written on the handheld.
enum OutCol : int {
  outSubject = 0, outTo = 1, outCC = 2, outBC = 3, outDate = 4, outMessage = 5, outHold = 6, outKeep = 7,
  outSent = 8, outID = 9
};
constexpr int OutColumns = 10;

}  // namespace evrin
