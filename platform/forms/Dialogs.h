#pragma once
// Message dialogs, shown through the user-interface seam as message boxes
// over the application's window.
#include <string>

enum class TMsgDlgType { mtWarning, mtError, mtInformation, mtConfirmation, mtCustom };

// Button sets of a message dialog.
enum class TMsgDlgButtons { mbOK, mbOKCancel, mbYesNo, mbYesNoCancel };

// Answers the modal result of the button pressed (mrOk, mrYes, ...).
int MessageDlg(const std::string& Msg, TMsgDlgType DlgType, TMsgDlgButtons Buttons, int HelpCtx);
// A plain dialog with the message and an OK button, captioned with the application's title.
void ShowMessage(const std::string& Msg);
