#pragma once
// Labels, edits, memos, buttons, check boxes, group boxes and list boxes.
#include <memory>

#include "Classes.h"
#include "Controls.h"

struct TLabelArgs {
  TBounds Bounds = {};
  std::string Caption = {};
  bool WordWrap = false;
  bool ShowAccelChar = true;  // '&' marks the shortcut letter
  bool Bold = false;
  bool Centered = false;
  TControl* FocusControl = nullptr;
};

class TLabel : public TControl {
 public:
  TLabel(TWinControl* parent, std::string name, const TLabelArgs& args);
  ~TLabel() override;
  // The control the label's shortcut letter moves the focus to; with none,
  // the letter does nothing here.
  TControl* FocusControl;

 protected:
  bool Message(UINT msg, WPARAM wParam, LPARAM lParam, LRESULT& result) override;

 private:
  FontHandle bold_;
  bool showAccelChar_;
};

struct TEditArgs {
  TBounds Bounds = {};
  std::string Text = {};
};

class TEdit : public TControl {
 public:
  TEdit(TWinControl* parent, std::string name, const TEditArgs& args);
  ~TEdit() override;
  // Background colour (a COLORREF); -1: the system's.
  void SetColor(COLORREF color);
  TNotifyEvent OnChange;

 protected:
  TEdit(TWinControl* parent, std::string name);
  void Command(WORD code) override;
  HBRUSH ControlColor(HDC dc) override;

 private:
  BrushHandle brush_;
  COLORREF color_ = 0;
};

class TMemo;

// The memo's text as lines (split at line ends, not at soft wraps).
class TMemoLines final : public TStrings {
 public:
  explicit TMemoLines(TMemo& memo) : memo_(memo) {}
  int Count() const override;
  std::string Get(int index) const override;
  void Insert(int index, const std::string& s) override;
  void Delete(int index) override;
  void Clear() override;
  int Add(const std::string& s) override;
  // The text read once, not once a line.
  std::string Text() const override;

 private:
  friend class TMemo;
  std::vector<std::string> Split() const;
  void Join(const std::vector<std::string>& lines);
  // What Add needs of the text, kept so that appending a line costs the same
  // however long the memo is; read again from the text when it changed
  // another way.
  struct Tail {
    int count = -1;   // lines; -1: not known
    int length = 0;   // the text's length when count was taken
    char last = 0;    // the text's last character, 0 when empty
  };
  // Known without asking the window while lines wait to be appended.
  const Tail& KnownTail() const;
  mutable Tail tail_;
  TMemo& memo_;
};

struct TMemoArgs {
  TBounds Bounds = {};
  bool VerticalScrollBar = true;
  bool WordWrap = true;
  bool ReadOnly = false;
};

class TMemo : public TEdit {
 public:
  TMemo(TWinControl* parent, std::string name, const TMemoArgs& args);
  TMemoLines Lines{*this};

 protected:
  bool Message(UINT msg, WPARAM wParam, LPARAM lParam, LRESULT& result) override;

 private:
  friend class TMemoLines;
  // Text appended at the end; it reaches the window at the next paced
  // interval, or before the window handles any message.
  void Append(const std::string& text);
  void Flush();
  std::string pending_;
  ULONGLONG flushMs_ = 0;  // what the last flush took
};

struct TButtonArgs {
  TBounds Bounds = {};
  std::string Caption = {};
  bool Default = false;  // Enter presses it
  bool Cancel = false;   // Escape presses it
  int ModalResult = 0;   // given to the form when clicked
};

class TButton : public TControl {
 public:
  TButton(TWinControl* parent, std::string name, const TButtonArgs& args);
  // As if the user clicked it.
  void Click();
  int ModalResult;
  TNotifyEvent OnClick;

 protected:
  void Command(WORD code) override;
};

struct TCheckBoxArgs {
  TBounds Bounds = {};
  std::string Caption = {};
  bool Checked = false;
  bool WordWrap = false;  // a caption too long for one line goes on to the next
};

class TCheckBox : public TControl {
 public:
  TCheckBox(TWinControl* parent, std::string name, const TCheckBoxArgs& args);
  bool Checked() const;
  // Sets the state without firing OnClick.
  void SetChecked(bool value);
  TNotifyEvent OnClick;

 protected:
  void Command(WORD code) override;
};

struct TGroupBoxArgs {
  TBounds Bounds = {};
  std::string Caption = {};
};

class TGroupBox : public TWinControl {
 public:
  TGroupBox(TWinControl* parent, std::string name, const TGroupBoxArgs& args);

 protected:
  bool Message(UINT msg, WPARAM wParam, LPARAM lParam, LRESULT& result) override;
};

class TListBox;

// The list box's lines, each with an object (not owned).
class TListBoxItems final : public TStrings {
 public:
  explicit TListBoxItems(TListBox& box) : box_(box) {}
  int Count() const override;
  std::string Get(int index) const override;
  TObject* GetObject(int index) const override;
  void PutObject(int index, TObject* object) override;
  void Insert(int index, const std::string& s) override;
  void Delete(int index) override;
  void Clear() override;
  int Add(const std::string& s) override;

 private:
  void Check(int index) const;
  TListBox& box_;
};

struct TListBoxArgs {
  TBounds Bounds = {};
};

class TListBox : public TControl {
 public:
  TListBox(TWinControl* parent, std::string name, const TListBoxArgs& args);
  int ItemIndex() const;
  void SetItemIndex(int index);
  // The line at a point of the client area, or -1.
  int ItemAtPos(int x, int y) const;
  TListBoxItems Items{*this};
  TNotifyEvent OnClick, OnDblClick;

 protected:
  void Command(WORD code) override;
};
