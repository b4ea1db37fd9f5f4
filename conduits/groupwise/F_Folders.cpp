#include "F_Folders.h"

TFolderList::TFolderList()
    : TForm({.Name = "FolderList", .Caption = "Select the email folder", .ClientWidth = 276, .ClientHeight = 249}) {
  OnShow = Event(this, &TFolderList::FormShow);
  OnDeactivate = Event(this, &TFolderList::FormDeactivate);
  lbFolders.OnDblClick = Event(this, &TFolderList::lbFoldersDblClick);
  DoCreate();
}

TFolderList::~TFolderList() { DoDestroy(); }

void TFolderList::FormShow(TObject*) { Screen.SetCursor(crDefault); }

// The hourglass stays until the properties dialog has taken the choice.
void TFolderList::FormDeactivate(TObject*) { Screen.SetCursor(crHourGlass); }

void TFolderList::lbFoldersDblClick(TObject*) { SetModalResult(mrOk); }
