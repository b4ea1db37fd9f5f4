#pragma once
// What every test program shares: the recording user-interface handler, the
// fixed clock, and scopes that put the registry and files back as they were.
#include <windows.h>

#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "DateTime.h"
#include "UserInterface.h"

namespace test {

struct Shown {
  enum Kind { Box, Beep, Modal, Menu, Help, Cursor } kind = Box;
  HWND owner = nullptr;
  std::string text, caption;  // Box: text and caption; Modal: the form's caption; Help: the file
  UINT flags = 0;  // the box's style, the beep's type, the help command or the cursor
  ULONG_PTR data = 0;  // the help call's data
  std::vector<std::pair<std::string, bool>> items;  // Menu: each item's caption and enabled state
};

// What the user does in a modal form: act on its windows, then answer a
// modal result to close it at once, or 0 to let its loop run.
using ModalAction = std::function<int(ui::ModalForm& form)>;

// Records everything shown; answers boxes from a queue (IDOK by default),
// modal forms from a queue of actions (closed with Cancel by default),
// pop-up menus from a queue of item captions (nothing chosen by default) and
// help calls as told (opened by default).
class RecordingUi final : public ui::Handler {
 public:
  int Message(HWND owner, const std::string& text, const std::string& caption, UINT flags) override;
  void Beep(UINT type) override;
  int ShowModal(ui::ModalForm& form) override;
  UINT Popup(HWND owner, HMENU menu, POINT at) override;
  BOOL Help(HWND owner, const std::string& file, UINT command, ULONG_PTR data) override;
  void Cursor(int cursor) override;

  void Reset();
  void Answer(int result) { answers_.push_back(result); }
  void OnModal(ModalAction action) { modal_.push_back(std::move(action)); }
  void Choose(std::string caption) { choices_.push_back(std::move(caption)); }
  void AnswerHelp(BOOL opened) { helpOpens_ = opened; }
  const std::vector<test::Shown>& All() const { return shown_; }
  std::vector<test::Shown> Boxes() const;
  std::vector<test::Shown> Of(Shown::Kind kind) const;
  int BeepCount() const;

 private:
  void Record(Shown::Kind kind, HWND owner, std::string text, std::string caption, UINT flags, ULONG_PTR data = 0);
  std::vector<test::Shown> shown_;
  std::deque<int> answers_;
  std::deque<ModalAction> modal_;
  std::deque<std::string> choices_;
  BOOL helpOpens_ = TRUE;
};

RecordingUi& Ui();

// The process's clock: fixed while a FixedClock lives.
class FixedClock {
 public:
  explicit FixedClock(TDateTime now);
  ~FixedClock();
  void Set(TDateTime now);
  FixedClock(const FixedClock&) = delete;
  FixedClock& operator=(const FixedClock&) = delete;
};

// Saves a registry key with its values and sub-keys and restores it exactly
// (or removes it, if it did not exist) when the scope ends.
class RegistrySnapshot {
 public:
  RegistrySnapshot(HKEY root, std::string path);
  ~RegistrySnapshot();
  RegistrySnapshot(const RegistrySnapshot&) = delete;
  RegistrySnapshot& operator=(const RegistrySnapshot&) = delete;

  struct Node {
    std::map<std::string, std::pair<DWORD, std::vector<BYTE>>> values;
    std::map<std::string, Node> keys;
  };

 private:
  HKEY root_;
  std::string path_;
  bool existed_;
  Node saved_;
};

// Puts a file back as it was (content, or absence) when the scope ends.
class FileSnapshot {
 public:
  explicit FileSnapshot(std::string path);
  ~FileSnapshot();
  FileSnapshot(const FileSnapshot&) = delete;
  FileSnapshot& operator=(const FileSnapshot&) = delete;

 private:
  std::string path_;
  bool existed_;
  std::string content_;
};

// Removes a folder tree that a test created, unless it existed before.
class FolderSnapshot {
 public:
  explicit FolderSnapshot(std::string path);
  ~FolderSnapshot();
  FolderSnapshot(const FolderSnapshot&) = delete;
  FolderSnapshot& operator=(const FolderSnapshot&) = delete;

 private:
  std::string path_;
  bool existed_;
};

void RemoveTree(const std::string& path);
std::string ReadFileBytes(const std::string& path);
void WriteFileBytes(const std::string& path, const std::string& bytes);

// Handles the messages already waiting.
void PumpPending();
// Handles the thread's messages (with pump) until done() holds, or until
// limitMs have passed so that a fault fails the test instead of hanging it;
// answers done().
bool PumpUntil(const std::function<bool()>& done, DWORD limitMs = 30000,
               const std::function<void()>& pump = PumpPending);

// The text of a window, as GetWindowText reads it.
std::string WindowText(HWND window);

// The folder of the test program, with a trailing backslash.
std::string ProgramFolder();

// A console program of the program folder run to its end with these
// arguments (each quoted), its standard output and error read together.
struct ProgramResult {
  DWORD Code = 0xFFFF;  // also when the program could not be started
  std::string Out;      // then the error that stopped it
};
ProgramResult RunProgram(const std::string& exeName, const std::vector<std::string>& args);

// After a test killed a local server: under Wine the class registration of
// the killed process stays in the RPC service's table, and every later
// creation of that class gets the dead server instead of starting a new one.
// Ends Wine's RPC service so that it starts again, empty, at the next COM
// call; call it only while no local server runs. Nothing on Windows.
void ForgetKilledServers();

}  // namespace test
