#include "TDOrvPrcEvent.h"

#include <algorithm>
#include <cstring>

#include "SysUtils.h"
#include "TDPrcThread.h"

using namespace tdlink;

namespace {
constexpr UINT M(UINT offset) { return WM_USER + offset; }
constexpr size_t MaxData = 2052;
constexpr size_t MaxText = 259;

void CopyText(BYTE* to, const char* text) {
  const size_t n = text ? WholeCharsLength(std::string_view(text, strnlen(text, MaxText + 1)), MaxText) : 0;
  if (n) std::memcpy(to, text, n);
  to[n] = 0;
}
}  // namespace

BYTE* CTDOrvPrcEvent::Buffer(LONG status) {
  if (status < 0 || !Window || !Window->Buffer) return nullptr;
  return Window->Buffer.get();
}

void CTDOrvPrcEvent::Post(UINT message, LONG status) {
  if (Window) Window->Answer(message, status);
}

void CTDOrvPrcEvent::Value(UINT message, LONG status, LONG value) {
  if (BYTE* b = Buffer(status)) std::memcpy(b, &value, 4);
  Post(message, status);
}

void CTDOrvPrcEvent::Data(UINT message, LONG status, const void* data, LONG length) {
  if (BYTE* b = Buffer(status)) {
    LONG n = std::clamp<LONG>(length, 0, static_cast<LONG>(MaxData));
    if (!data) n = 0;
    std::memcpy(b, &n, 4);
    if (n) std::memcpy(b + 4, data, static_cast<size_t>(n));
  }
  Post(message, status);
}

void CTDOrvPrcEvent::Block(UINT message, LONG status, const void* block, size_t size) {
  if (BYTE* b = Buffer(status); b && block) std::memcpy(b, block, size);
  Post(message, status);
}

void CTDOrvPrcEvent::FileOpened(LONG status, LONG handle) { Value(M(0x524), status, handle); }
void CTDOrvPrcEvent::FileRead(LONG status, const void* data, LONG length) { Data(M(0x526), status, data, length); }
void CTDOrvPrcEvent::FileWritten(LONG status) { Post(M(0x528), status); }
void CTDOrvPrcEvent::FileClosed(LONG status) { Post(M(0x52A), status); }
void CTDOrvPrcEvent::FileInfo(LONG status, const void* entry) { Block(M(0x507), status, entry, EntryBlockSize); }
void CTDOrvPrcEvent::AttributesSet(LONG status) { Post(M(0x509), status); }
void CTDOrvPrcEvent::CopyDone(LONG status) { Post(M(0x508), status); }
void CTDOrvPrcEvent::Deleted(LONG status) { Post(M(0x510), status); }
void CTDOrvPrcEvent::Renamed(LONG status) { Post(M(0x511), status); }
void CTDOrvPrcEvent::DirectoryOpened(LONG status, LONG handle) { Value(M(0x50A), status, handle); }
void CTDOrvPrcEvent::DirectoryEntry(LONG status, const void* entry) { Block(M(0x50B), status, entry, EntryBlockSize); }
void CTDOrvPrcEvent::DirectoryClosed(LONG status) { Post(M(0x50C), status); }
void CTDOrvPrcEvent::DirectoryCreated(LONG status) { Post(M(0x512), status); }
void CTDOrvPrcEvent::DirectoryRemoved(LONG status) { Post(M(0x514), status); }
void CTDOrvPrcEvent::DriveMask(LONG status, LONG mask) { Value(M(0x50D), status, mask); }
void CTDOrvPrcEvent::DriveInfo(LONG status, const void* block) { Block(M(0x50E), status, block, DriveBlockSize); }
void CTDOrvPrcEvent::DriveLabelled(LONG status) { Post(M(0x50F), status); }
void CTDOrvPrcEvent::MachineValue(LONG status, LONG value) { Value(M(0x516), status, value); }
void CTDOrvPrcEvent::MachineInfo(LONG status, const void* block) { Block(M(0x517), status, block, MachineBlockSize); }
void CTDOrvPrcEvent::OwnerName(LONG status, const char* name) {
  if (BYTE* b = Buffer(status)) CopyText(b, name);
  Post(M(0x515), status);
}
void CTDOrvPrcEvent::TimeSynced(LONG status) { Post(M(0x518), status); }
void CTDOrvPrcEvent::FormatOpened(LONG status, LONG handle, LONG steps) {
  if (BYTE* b = Buffer(status)) {
    std::memcpy(b, &handle, 4);
    std::memcpy(b + 2052, &steps, 4);
  }
  Post(M(0x51A), status);
}
void CTDOrvPrcEvent::FormatStepped(LONG status) { Post(M(0x51B), status); }
void CTDOrvPrcEvent::FormatEnded(LONG status) { Post(M(0x51C), status); }
void CTDOrvPrcEvent::PathAnswered(LONG status, LONG handle, USHORT bytes, LONG value) {
  if (BYTE* b = Buffer(status)) {
    std::memcpy(b, &handle, 4);
    b[4] = static_cast<BYTE>(bytes & 0xFF);
    b[5] = static_cast<BYTE>(bytes >> 8);
    std::memcpy(b + 8, &value, 4);
  }
  Post(M(0x52B), status);
}
void CTDOrvPrcEvent::DataAnswered(LONG status, const void* data, LONG length) { Data(M(0x52C), status, data, length); }
void CTDOrvPrcEvent::ProgramsNone(LONG status) { Post(M(0x51F), status); }
void CTDOrvPrcEvent::ProgramsOpened(LONG status, LONG handle) { Value(M(0x51D), status, handle); }
void CTDOrvPrcEvent::ProgramFound(LONG status, const char* name, const char* path) {
  if (BYTE* b = Buffer(status)) {
    CopyText(b, name);
    CopyText(b + 260, path);
  }
  Post(M(0x51E), status);
}
void CTDOrvPrcEvent::ProgramClosed(LONG status) { Post(M(0x51F), status); }
void CTDOrvPrcEvent::ProgramsEnded(LONG status) { Post(M(0x520), status); }
void CTDOrvPrcEvent::ConfigOpened(LONG status, LONG handle) { Value(M(0x523), status, handle); }
void CTDOrvPrcEvent::ConfigRead(LONG status, const void* data, LONG length) { Data(M(0x525), status, data, length); }
void CTDOrvPrcEvent::ConfigWritten(LONG status) { Post(M(0x527), status); }
void CTDOrvPrcEvent::ConfigClosed(LONG status) { Post(M(0x529), status); }
void CTDOrvPrcEvent::ProgramStarted(LONG status) { Post(M(0x521), status); }
void CTDOrvPrcEvent::ProgramStopped(LONG status) { Post(M(0x522), status); }
