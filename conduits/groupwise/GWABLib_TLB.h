#pragma once
// TGWab: GroupWise's address-book control, created without owner or parent
// window; its members by dispatch id, its two events to the handlers set here
// (on the thread that made it).
#include <functional>
#include <memory>
#include <string>

#include "ComObj.h"
#include "ComServer.h"

class TGWab {
 public:
  TGWab();  // raises EOleSysError when the control is not installed
  ~TGWab();
  TGWab(const TGWab&) = delete;
  TGWab& operator=(const TGWab&) = delete;

  void SetShowButtons(int Value);
  void ShowAddressBook(int Instance);
  int RecipientCount(int Kind);
  std::wstring RecipientAddress(short Index);

  std::function<void()> OnOkClick;
  std::function<void()> OnCloseClick;

 private:
  class Sink;
  Variant control_;
  ComPtr<Sink> sink_;
  std::unique_ptr<EventConnection> connection_;
};
