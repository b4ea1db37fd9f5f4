#pragma once
// What every test program shares: the recording user-interface handler, the
// fixed clock, and scopes that put the registry and files back as they were.
#include <windows.h>

#include <deque>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "DateTime.h"
#include "UserInterface.h"

namespace test {

struct Shown {
  enum Kind { Box, Beep } kind;
  HWND owner = nullptr;
  std::string text, caption;
  UINT flags = 0;  // the box's style, or the beep's type
};

// Records message boxes and beeps; answers boxes from a queue (IDOK by default).
class RecordingUi final : public ui::Handler {
 public:
  int Message(HWND owner, const std::string& text, const std::string& caption, UINT flags) override;
  void Beep(UINT type) override;

  void Reset();
  void Answer(int result) { answers_.push_back(result); }
  const std::vector<test::Shown>& All() const { return shown_; }
  std::vector<test::Shown> Boxes() const;
  int BeepCount() const;

 private:
  std::vector<test::Shown> shown_;
  std::deque<int> answers_;
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

// The folder of the test program, with a trailing backslash.
std::string ProgramFolder();

}  // namespace test
