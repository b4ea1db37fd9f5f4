#pragma once
// The simulated handheld of the connectivity suite's stand-in.
//
// The handheld lives under the suite's installation folder (HKLM
// "SOFTWARE\Orvik\Tandel32", "Installation Directory"):
//   <install>\Handheld\C\...     drive C: of the handheld (one folder per drive)
//   <install>\Handheld\State.json the link state and the handheld's programs
// so the handheld path "C:\Documents\Vantle\InBox" is the file
// <install>\Handheld\C\Documents\Vantle\InBox. A running program holds its
// files: nothing else may read or write them until the program is stopped.
// The state file is changed under a named mutex, so every process that
// touches the handheld (the engine control, the handheld tool, tests) sees
// one consistent state, and it is replaced atomically, so a killed process
// never leaves half a state behind.
#include <windows.h>

#include <string>
#include <vector>

#include "SysUtils.h"
#include "TandelSuite.h"

namespace tandel {

// A failure with the Win32 error code that the suite reports for it.
class EHandheld : public Exception {
 public:
  EHandheld(DWORD code, std::string message) : Exception(std::move(message)), Code(code) {}
  const char* ClassName() const override { return "EHandheld"; }
  DWORD Code;
};

// The suite's installation folder, with a trailing backslash; raises
// EHandheld (ERROR_PATH_NOT_FOUND) when the suite is not installed.
std::string InstallFolder();
// What installing the suite records: the installation folder, when none is
// recorded yet "<Program Files>\Tandel", and the handheld's drive C: with its
// Documents folder. Raises on failure.
void RegisterSuite();
// <install>\Handheld\ with a trailing backslash.
std::string HandheldRoot();

// A handheld path in its one spelling: drive letter upper case, single
// backslashes, no trailing backslash except after the drive ("C:\"). Raises
// EHandheld with ERROR_BAD_PATHNAME for anything that is not an absolute
// handheld path inside its drive: relative or rooted paths without a drive,
// UNC and device paths, forward slashes, "." and "..", reserved device names,
// characters a file name cannot hold; ERROR_FILENAME_EXCED_RANGE when too long.
std::string NormalizePath(const std::string& handheldPath);
// The PC file or folder that a handheld path names (normalised first). A
// drive that the handheld does not have raises EHandheld (ERROR_INVALID_DRIVE).
std::string ToPcPath(const std::string& handheldPath);
// The same under a handheld root (HandheldRoot()) the caller has already read.
std::string ToPcPath(const std::string& handheldPath, const std::string& root);
// The reverse: the handheld path of a PC path inside the tree; raises
// EHandheld (ERROR_BAD_PATHNAME) for a PC path outside it.
std::string ToHandheldPath(const std::string& pcPath);
// The drives the handheld has, as "C:\" ...
std::vector<std::string> Drives();

struct Program {
  std::string Name;                // as the handheld shows it, e.g. "Data"
  std::string Path;                // the program's own handheld path
  std::vector<std::string> Files;  // handheld paths it holds while running
  bool Running = false;
};

struct State {
  bool LinkUp = true;
  std::vector<Program> Programs;
};

// The state of a handheld that never recorded one: link up, the data
// application running and holding both mail stores.
State DefaultState();

// Holds the named mutex that guards the state file. Recursive within a thread.
class StateLock {
 public:
  StateLock();
  ~StateLock();
  StateLock(const StateLock&) = delete;
  StateLock& operator=(const StateLock&) = delete;

 private:
  HANDLE mutex_;
};

// Counts the saves of the state, in memory that every process of the session
// shares while a watch holds it: a reader that keeps a copy of the state reads
// the file again only when the count has moved. A state file written or
// removed by other means than SaveState goes unseen by such a reader.
class StateWatch {
 public:
  StateWatch();
  ~StateWatch();
  StateWatch(const StateWatch&) = delete;
  StateWatch& operator=(const StateWatch&) = delete;
  // Whether the count is shared; without it a reader looks at the file each time.
  bool Shared() const { return count_ != nullptr; }
  LONG Count() const;

 private:
  HANDLE mapping_ = nullptr;
  LONG* count_ = nullptr;
};

// One reader's copy of the state, read again only when it has been saved
// since; where no count of the saves is shared, read each time.
class WatchedState {
 public:
  const State& Get();

 private:
  StateWatch watch_;
  State state_;
  LONG saves_ = 0;
  bool read_ = false;
};

// Read and write the state; callers that change it hold a StateLock around
// both. A state file that cannot be parsed raises EHandheld (ERROR_FILE_CORRUPT).
State LoadState();
void SaveState(const State& state);

bool LinkUp();
void SetLinkUp(bool up);

// The running program that holds the file, or nullptr; the answer points into state.
const Program* Holder(const State& state, const std::string& handheldPath);
const Program* Holder(State&&, const std::string&) = delete;
// The name of the running program that holds the file, or "".
std::string HolderName(const std::string& handheldPath);
// Raises EHandheld (ERROR_SHARING_VIOLATION) when a running program holds the file.
void CheckNotHeld(const std::string& handheldPath);

// Stop the program that holds the file (or whose own path this is): 0, also
// when no running program holds it.
DWORD StopProgram(const std::string& handheldPath);
// Start the program whose file (or own path) this is, so that it holds its
// files again: 0; ERROR_FILE_NOT_FOUND when the file does not exist,
// ERROR_NO_ASSOCIATION when no program opens it. Starting a running program is 0.
DWORD StartProgram(const std::string& handheldPath);

// A handheld file's type: the identifier in its first four bytes (little
// endian), as the handheld's files carry it; DataFileType for a store of the
// data-file server; 0 for a file too short or unreadable.
constexpr DWORD DataFileType = 0x1000006D;
DWORD FileType(const std::string& pcFile);

// The Win32 error code for an exception caught at a boundary.
DWORD ErrorCodeOf(const std::exception& e);

}  // namespace tandel
