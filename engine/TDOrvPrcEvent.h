#pragma once
// The sink the worker registers with the connection component: each callback
// copies its data into the worker window's buffer and hands one message to
// the window, which carries the operation on.
#include "CmdTarget.h"
#include "TandelLink.h"

class CTDMessageWnd;

class CTDOrvPrcEvent final : public CCmdTarget<tdlink::ITDLinkEvents> {
 public:
  CTDMessageWnd* Window = nullptr;

  void STDMETHODCALLTYPE Notice3(LONG, LONG) override {}
  void STDMETHODCALLTYPE FileOpened(LONG status, LONG handle) override;
  void STDMETHODCALLTYPE FileRead(LONG status, const void* data, LONG length) override;
  void STDMETHODCALLTYPE FileWritten(LONG status) override;
  void STDMETHODCALLTYPE Notice7(LONG, LONG) override {}
  void STDMETHODCALLTYPE Notice8(LONG) override {}
  void STDMETHODCALLTYPE FileClosed(LONG status) override;
  void STDMETHODCALLTYPE FileInfo(LONG status, const void* entry) override;
  void STDMETHODCALLTYPE AttributesSet(LONG status) override;
  void STDMETHODCALLTYPE Notice12(LONG) override {}
  void STDMETHODCALLTYPE CopyDone(LONG status) override;
  void STDMETHODCALLTYPE Deleted(LONG status) override;
  void STDMETHODCALLTYPE Renamed(LONG status) override;
  void STDMETHODCALLTYPE DirectoryOpened(LONG status, LONG handle) override;
  void STDMETHODCALLTYPE DirectoryEntry(LONG status, const void* entry) override;
  void STDMETHODCALLTYPE DirectoryClosed(LONG status) override;
  void STDMETHODCALLTYPE DirectoryCreated(LONG status) override;
  void STDMETHODCALLTYPE DirectoryRemoved(LONG status) override;
  void STDMETHODCALLTYPE Notice21(LONG, LONG) override {}
  void STDMETHODCALLTYPE Notice22(LONG, LONG) override {}
  void STDMETHODCALLTYPE Notice23(LONG) override {}
  void STDMETHODCALLTYPE DriveMask(LONG status, LONG mask) override;
  void STDMETHODCALLTYPE DriveInfo(LONG status, const void* block) override;
  void STDMETHODCALLTYPE DriveLabelled(LONG status) override;
  void STDMETHODCALLTYPE MachineValue(LONG status, LONG value) override;
  void STDMETHODCALLTYPE MachineInfo(LONG status, const void* block) override;
  void STDMETHODCALLTYPE OwnerName(LONG status, const char* name) override;
  void STDMETHODCALLTYPE TimeSynced(LONG status) override;
  void STDMETHODCALLTYPE FormatOpened(LONG status, LONG handle, LONG steps) override;
  void STDMETHODCALLTYPE FormatStepped(LONG status) override;
  void STDMETHODCALLTYPE FormatEnded(LONG status) override;
  void STDMETHODCALLTYPE PathAnswered(LONG status, LONG handle, USHORT bytes, LONG value) override;
  void STDMETHODCALLTYPE DataAnswered(LONG status, const void* data, LONG length) override;
  void STDMETHODCALLTYPE ProgramsNone(LONG status) override;
  void STDMETHODCALLTYPE ProgramsOpened(LONG status, LONG handle) override;
  void STDMETHODCALLTYPE ProgramFound(LONG status, const char* name, const char* path) override;
  void STDMETHODCALLTYPE ProgramClosed(LONG status) override;
  void STDMETHODCALLTYPE ProgramsEnded(LONG status) override;
  void STDMETHODCALLTYPE ConfigOpened(LONG status, LONG handle) override;
  void STDMETHODCALLTYPE ConfigRead(LONG status, const void* data, LONG length) override;
  void STDMETHODCALLTYPE ConfigWritten(LONG status) override;
  void STDMETHODCALLTYPE ConfigClosed(LONG status) override;
  void STDMETHODCALLTYPE Notice45(LONG) override {}
  void STDMETHODCALLTYPE ProgramStarted(LONG status) override;
  void STDMETHODCALLTYPE ProgramStopped(LONG status) override;

 private:
  BYTE* Buffer(LONG status);  // null when nothing is to be copied
  void Post(UINT message, LONG status);
  void Value(UINT message, LONG status, LONG value);
  void Data(UINT message, LONG status, const void* data, LONG length);
  void Block(UINT message, LONG status, const void* block, size_t size);
};
