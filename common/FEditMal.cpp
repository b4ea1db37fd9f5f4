#include "FEditMal.h"

#include "C_Types.h"
#include "HostVars.h"
#include "Classes.h"
#include "Global.h"

namespace {

std::string JoinWithCommas(const TStringList& list) {
  std::string text;
  for (int i = 0; i < list.Count(); ++i) {
    if (i > 0) text += ',';
    text += list.At(i);
  }
  return text;
}

}  // namespace

TEditMail::TEditMail(const TResManager& Resources)
    : TForm({.Name = "EditMail", .ClientWidth = 440, .ClientHeight = 372}), resources_(Resources) {
  StatusBar.SetPanelText(0, "Message Size");
  OnCreate = Event(this, &TEditMail::FormCreate);
  btnAddress.OnClick = Event(this, &TEditMail::btnAddressClick);
  DoCreate();
}

TEditMail::~TEditMail() { DoDestroy(); }

void TEditMail::FormCreate(TObject*) {
  lFrom.SetCaption(resources_.GetString(71));
  lTo.SetCaption(resources_.GetString(72));
  lSubject.SetCaption(resources_.GetString(75));
  lCC.SetCaption(resources_.GetString(73));
  lBC.SetCaption(resources_.GetString(74));
  lMessage.SetCaption(resources_.GetString(76));
  btnOK.SetCaption(resources_.GetString(81));
  btnCancel.SetCaption(resources_.GetString(80));
  cbSendItem.SetCaption(resources_.GetString(78));
  btnAddress.SetCaption(resources_.GetString(79));
  Application.ProcessMessages();
}

// The conduit adds the chosen addresses to three sorted lists without
// duplicates; a filled list replaces its edit, an empty one leaves it.
void TEditMail::btnAddressClick(TObject*) {
  try {
    TStringList To, CC, BC;
    for (TStringList* list : {&To, &CC, &BC}) {
      list->SetSorted(true);
      list->Duplicates = TDuplicates::dupIgnore;
    }
    // No conduit is bound outside a run: there is no address book to show.
    if (vazAddressBook == nullptr) return;
    TStringList* to = &To;
    TStringList* cc = &CC;
    TStringList* bc = &BC;
    int result = vazAddressBook(Handle(), &to, &cc, &bc, &Memo, &Progress);
    if (result == 1) {
      if (To.Count() > 0) eTo.SetText(JoinWithCommas(To));
      if (CC.Count() > 0) eCC.SetText(JoinWithCommas(CC));
      if (BC.Count() > 0) eBC.SetText(JoinWithCommas(BC));
    } else if (result == 0) {
      throw EAddressBookFailure("Could not display the system address book.");
    }
  } catch (const EAddressBookFailure&) {
    // The address book could not be shown; the edits stay as they were.
  } catch (const Exception&) {
    // Nothing here is reported to the user.
  }
}
