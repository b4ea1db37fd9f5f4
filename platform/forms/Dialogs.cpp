#include "Dialogs.h"

#include "Forms.h"

int MessageDlg(const std::string& Msg, TMsgDlgType DlgType, TMsgDlgButtons Buttons, int) {
  static const char* const Captions[] = {"Warning", "Error", "Information", "Confirm", nullptr};
  static const UINT Icons[] = {MB_ICONWARNING, MB_ICONERROR, MB_ICONINFORMATION, MB_ICONQUESTION, 0};
  static const UINT Sets[] = {MB_OK, MB_OKCANCEL, MB_YESNO, MB_YESNOCANCEL};
  auto type = static_cast<size_t>(DlgType);
  const char* caption = Captions[type] ? Captions[type] : Application.Title.c_str();
  return ui::Message(Application.Handle, Msg, caption, Icons[type] | Sets[static_cast<size_t>(Buttons)]);
}

void ShowMessage(const std::string& Msg) { ui::Message(Application.Handle, Msg, Application.Title, MB_OK); }
