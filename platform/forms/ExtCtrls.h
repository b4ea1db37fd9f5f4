#pragma once
// Panels, bevels, bitmaps and images, timers.
#include "Controls.h"
#include "MessageWindow.h"

enum class TPanelBevel { bvNone, bvLowered, bvRaised };

struct TPanelArgs {
  TBounds Bounds = {};
  TPanelBevel Bevel = TPanelBevel::bvNone;
};

class TPanel : public TWinControl {
 public:
  TPanel(TWinControl* parent, std::string name, const TPanelArgs& args);
};

enum class TBevelShape { bsFrame, bsTopLine };

struct TBevelArgs {
  TBounds Bounds = {};
  TBevelShape Shape = TBevelShape::bsFrame;
};

class TBevel : public TControl {
 public:
  TBevel(TWinControl* parent, std::string name, const TBevelArgs& args);
};

// An owned device-independent bitmap.
class TBitmap : public TObject {
 public:
  TBitmap() = default;
  TBitmap(const TBitmap&) = delete;
  TBitmap& operator=(const TBitmap&) = delete;

  // Loads bitmap Id of a module; false (and empty) when it has none.
  bool LoadFromResourceID(HINSTANCE module, int id);
  bool LoadFromResourceName(HINSTANCE module, const char* name);
  void Assign(const TBitmap& other);  // a copy of the other's picture
  void Clear();
  bool Empty() const { return !Valid(); }
  HBITMAP Handle() const { return handle_.Get(); }
  int Width() const;
  int Height() const;

 private:
  bool Valid() const { return handle_.Valid(); }
  BitmapHandle handle_;
};

struct TImageArgs {
  TBounds Bounds = {};
  bool Stretch = false;
};

class TImage : public TControl {
 public:
  TImage(TWinControl* parent, std::string name, const TImageArgs& args);
  TBitmap Picture;  // empty: the image area shows only the background
  void PictureChanged() { Invalidate(); }

 protected:
  void Draw(const DRAWITEMSTRUCT& item) override;

 private:
  bool stretch_;
};

// Fires OnTimer every Interval milliseconds while enabled.
class TTimer : public TObject {
 public:
  explicit TTimer(unsigned interval = 1000, bool enabled = false);
  ~TTimer() override;
  TTimer(const TTimer&) = delete;
  TTimer& operator=(const TTimer&) = delete;

  bool Enabled() const { return enabled_; }
  void SetEnabled(bool value);
  unsigned Interval() const { return interval_; }
  void SetInterval(unsigned value);
  TNotifyEvent OnTimer;

 private:
  bool Tick(UINT msg);
  void Update();
  unsigned interval_;
  bool enabled_;
  MessageWindow window_;
};
