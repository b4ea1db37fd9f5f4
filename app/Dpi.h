#pragma once
// The wizard's forms are laid out in pixels at 96 DPI; on a display set to
// more, the system font grows, so every control grows with it.
#include "Forms.h"

// The system's DPI (96 when the display cannot tell).
int SystemDpi();
// A length laid out at 96 DPI, at the system's DPI.
int ScaleToDpi(int pixels);
// Scales the form's client area and every control in it to the system's DPI.
void ScaleFormToDpi(TForm& form);
