#pragma once
// The common controls: page controls, track and progress bars, status bars,
// busy animations, date-time pickers, image lists and report list views.
#include <windows.h>
#include <commctrl.h>

#include <vector>

#include "Controls.h"
#include "DateTime.h"

class TPageControl;

class TTabSheet : public TWinControl {
 public:
  TTabSheet(TPageControl* pageControl, std::string name, std::string caption);
  TPageControl* PageControl() const { return pageControl_; }
  const std::string& TabCaption() const { return caption_; }
  void SetTabCaption(const std::string& caption);
  bool TabVisible() const { return tabVisible_; }
  void SetTabVisible(bool value);
  int PageIndex() const;

 private:
  TPageControl* pageControl_;
  std::string caption_;
  bool tabVisible_ = true;
};

struct TPageControlArgs {
  TBounds Bounds = {};
};

class TPageControl : public TWinControl {
 public:
  TPageControl(TWinControl* parent, std::string name, const TPageControlArgs& args);
  TTabSheet* ActivePage() const { return active_; }
  // Shows the page (also one whose tab is hidden); fires no events.
  void SetActivePage(TTabSheet* page);
  int PageCount() const { return static_cast<int>(pages_.size()); }
  TTabSheet* Page(int index) const { return pages_.at(static_cast<size_t>(index)); }
  // The client area a page covers, in the page control's coordinates.
  RECT DisplayRect() const;

  std::function<void(TObject* Sender, bool& AllowChange)> OnChanging;
  TNotifyEvent OnChange;

 protected:
  bool Notify(NMHDR* header, LRESULT& result) override;
  bool Message(UINT msg, WPARAM wParam, LPARAM lParam, LRESULT& result) override;

 private:
  friend class TTabSheet;
  void AddPage(TTabSheet* page);
  void UpdateTabs();
  void LayoutPages();
  std::vector<TTabSheet*> pages_;
  TTabSheet* active_ = nullptr;
};

struct TTrackBarArgs {
  TBounds Bounds = {};
  int Min = 0;
  int Max = 10;
  int Frequency = 1;
  int Position = 0;
};

class TTrackBar : public TControl {
 public:
  TTrackBar(TWinControl* parent, std::string name, const TTrackBarArgs& args);
  int Min() const;
  int Max() const;
  void SetRange(int min, int max);
  void SetFrequency(int frequency);
  int Position() const;
  // Kept within the range by the bar; fires no OnChange.
  void SetPosition(int value);
  TNotifyEvent OnChange;  // the user moved the bar

 protected:
  void Scrolled(WORD code) override;
};

struct TProgressBarArgs {
  TBounds Bounds = {};
  int Min = 0;
  int Max = 100;
};

class TProgressBar : public TControl {
 public:
  TProgressBar(TWinControl* parent, std::string name, const TProgressBarArgs& args);
  int Max() const { return static_cast<int>(SendMessageA(handle_, PBM_GETRANGE, FALSE, 0)); }
  void SetMax(int value) { SendMessageA(handle_, PBM_SETRANGE32, 0, value); }
  int Position() const { return static_cast<int>(SendMessageA(handle_, PBM_GETPOS, 0, 0)); }
  // Kept within the range by the bar.
  void SetPosition(int value) { SendMessageA(handle_, PBM_SETPOS, static_cast<WPARAM>(value), 0); }
};

struct TStatusBarArgs {
  std::vector<int> PanelWidths = {};  // empty: one panel over the whole bar
};

class TStatusBar : public TControl {
 public:
  TStatusBar(TWinControl* parent, std::string name, const TStatusBarArgs& args);
  std::string PanelText(int index) const;
  void SetPanelText(int index, const std::string& text);
  int PanelCount() const { return static_cast<int>(SendMessageA(handle_, SB_GETPARTS, 0, 0)); }
};

// The system's busy animations (shell32's animation resources).
enum class TCommonAVI { aviFindFolder = 150, aviCopyFiles = 160 };

struct TAnimateArgs {
  TBounds Bounds = {};
  TCommonAVI CommonAVI = TCommonAVI::aviCopyFiles;
  int StopFrame = 0;  // the frame shown while stopped (1-based; 0 the first)
};

class TAnimate : public TControl {
 public:
  TAnimate(TWinControl* parent, std::string name, const TAnimateArgs& args);
  ~TAnimate() override;
  bool Active() const { return active_; }
  void SetActive(bool value);
  bool Opened() const { return opened_; }

 private:
  HMODULE shell_ = nullptr;
  int stopFrame_;
  bool active_ = false;
  bool opened_ = false;
};

struct TDateTimePickerArgs {
  TBounds Bounds = {};
  bool ShowCheckbox = false;
};

class TDateTimePicker : public TControl {
 public:
  TDateTimePicker(TWinControl* parent, std::string name, const TDateTimePickerArgs& args);
  TDateTime Date() const;  // the date shown, also when unchecked
  void SetDate(TDateTime value);
  bool Checked() const;
  void SetChecked(bool value);
  TNotifyEvent OnChange;  // the user changed the date or the check box

 protected:
  bool Notify(NMHDR* header, LRESULT& result) override;

 private:
  bool showCheckbox_;
  TDateTime date_ = 0;
};

// Images of one size from a bitmap strip.
class TImageList : public TObject {
 public:
  TImageList() = default;
  TImageList(const TImageList&) = delete;
  TImageList& operator=(const TImageList&) = delete;
  // Cuts the bitmap resource Name of Module into images Width pixels wide,
  // stretched from 96 DPI to the screen's; pixels of colour Mask are
  // transparent. False when it cannot be loaded.
  bool GetResource(HINSTANCE module, const char* name, int width, COLORREF mask);
  HIMAGELIST Handle() const { return handle_.Get(); }
  int Count() const { return handle_ ? ImageList_GetImageCount(handle_.Get()) : 0; }

 private:
  UniqueHandle<HIMAGELIST, &ImageList_Destroy> handle_;
};

class TListView;

// One item of a list view, by index.
class TListItem {
 public:
  TListItem(TListView* view, int index) : view_(view), index_(index) {}
  explicit operator bool() const { return view_ != nullptr && index_ >= 0; }
  int Index() const { return index_; }
  std::string Caption() const;
  void SetCaption(const std::string& text);
  std::string SubItem(int index) const;  // 0: the first sub-item (column 1)
  void SetSubItem(int index, const std::string& text);
  int ImageIndex() const;
  void SetImageIndex(int index);
  // Index into the state images; -1 none.
  int StateIndex() const;
  void SetStateIndex(int index);
  void* Data() const;
  void SetData(void* data);
  bool Selected() const;
  void SetSelected(bool value);

 private:
  TListView* view_;
  int index_;
};

struct TListViewArgs {
  TBounds Bounds = {};
  bool MultiSelect = false;
  bool RowSelect = true;
};

class TListView : public TControl {
 public:
  TListView(TWinControl* parent, std::string name, const TListViewArgs& args);
  // A column of the width laid out at 96 DPI; the other widths are the
  // column's real pixels.
  void AddColumn(const std::string& caption, int width);
  int ColumnCount() const;
  int ColumnWidth(int index) const;
  void SetColumnWidth(int index, int width);
  void SetColumnCaption(int index, const std::string& caption);
  void SetSmallImages(TImageList* images);
  void SetStateImages(TImageList* images);

  int Count() const { return static_cast<int>(SendMessageA(handle_, LVM_GETITEMCOUNT, 0, 0)); }
  TListItem Item(int index) { return TListItem(this, index); }
  TListItem Add();  // a new last item
  void Clear();
  TListItem Selected();  // the first selected item; false when none
  int SelCount() const { return static_cast<int>(SendMessageA(handle_, LVM_GETSELECTEDCOUNT, 0, 0)); }
  void UpdateItems(int first, int last);  // redraws them now
  TNotifyEvent OnDblClick;

 protected:
  bool Notify(NMHDR* header, LRESULT& result) override;
};
