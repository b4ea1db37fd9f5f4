#pragma once
// Pictures of windows copied from the screen, as BMP files. Needs a real
// display: under Wine a window's own printing draws only its background.
#include <windows.h>

#include <string>

// Waits until the window has painted itself, then saves its client area
// (without a window manager on the display there is no frame).
bool SaveClientArea(HWND window, const std::string& file);
