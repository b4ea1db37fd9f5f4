#include "Dpi.h"

#include <vector>

#include "ComCtrls.h"

int SystemDpi() {
  HDC screen = GetDC(nullptr);
  int dpi = screen ? GetDeviceCaps(screen, LOGPIXELSY) : 96;
  if (screen) ReleaseDC(nullptr, screen);
  return dpi > 0 ? dpi : 96;
}

int ScaleToDpi(int pixels) { return MulDiv(pixels, SystemDpi(), 96); }

void ScaleFormToDpi(TForm& form) {
  int dpi = SystemDpi();
  if (dpi == 96) return;
  HWND window = form.Handle();
  // Every control's place within its parent, read before any of them moves.
  struct Place {
    HWND window;
    RECT rect;
  };
  std::vector<Place> places;
  EnumChildWindows(
      window,
      [](HWND child, LPARAM list) -> BOOL {
        // Pages follow their page control by themselves.
        if (dynamic_cast<TTabSheet*>(TControl::FromHandle(child)) != nullptr) return TRUE;
        RECT r{};
        GetWindowRect(child, &r);
        MapWindowPoints(nullptr, GetParent(child), reinterpret_cast<POINT*>(&r), 2);
        reinterpret_cast<std::vector<Place>*>(list)->push_back({child, r});
        return TRUE;
      },
      reinterpret_cast<LPARAM>(&places));
  RECT client{}, outer{};
  GetClientRect(window, &client);
  GetWindowRect(window, &outer);
  int frameWidth = (outer.right - outer.left) - client.right, frameHeight = (outer.bottom - outer.top) - client.bottom;
  SetWindowPos(window, nullptr, 0, 0, MulDiv(client.right, dpi, 96) + frameWidth,
               MulDiv(client.bottom, dpi, 96) + frameHeight, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
  for (const Place& p : places) {
    const RECT& r = p.rect;
    SetWindowPos(p.window, nullptr, MulDiv(r.left, dpi, 96), MulDiv(r.top, dpi, 96), MulDiv(r.right - r.left, dpi, 96),
                 MulDiv(r.bottom - r.top, dpi, 96), SWP_NOZORDER | SWP_NOACTIVATE);
  }
}
