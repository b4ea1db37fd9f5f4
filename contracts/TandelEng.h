#pragma once
// The connectivity suite's engine control: its class, its dispatch and event
// interfaces, the dispatch ids of the operations the system starts and of the
// events that answer them, and the two sides a path may name.
#include <guiddef.h>

namespace tandeleng {

inline constexpr CLSID CLSID_TandelEng = {0x3C476933, 0xF450, 0x11CF, {0x88, 0x5E, 0x00, 0x20, 0xAF, 0xC0, 0x4E, 0x78}};
inline constexpr IID DIID_TandelEng = {0x3C476931, 0xF450, 0x11CF, {0x88, 0x5E, 0x00, 0x20, 0xAF, 0xC0, 0x4E, 0x78}};
inline constexpr IID DIID_TandelEngEvents = {0x3C476932, 0xF450, 0x11CF,
                                             {0x88, 0x5E, 0x00, 0x20, 0xAF, 0xC0, 0x4E, 0x78}};

// Operations: each answers an integer at once and its event later.
enum Operation : int {
  opInit = 1,
  opConnect = 2,
  opDisconnect = 4,
  opCopyFile = 5,
  opCreateDirectory = 13,
  opStartProgram = 29,
  opStopProgram = 30,
};

// Events: the sender's error code (0 = success); copy progress carries a
// percentage (I2) and a by-reference Boolean cancel flag.
enum Event : int {
  evInit = 1,
  evConnect = 2,
  evCopyFile = 3,
  evDisconnect = 4,
  evCopyProgress = 5,
  evCreateDirectory = 12,
  evClosePrograms = 26,
  evStartProgram = 28,
  evStopProgram = 29,
};

constexpr int sidePC = 1, sideHandheld = 2;

}  // namespace tandeleng
