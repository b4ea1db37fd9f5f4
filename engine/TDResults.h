#pragma once
// The result objects the engine hands its clients: a file's information, a
// directory listing (also the node of the worker's directory walks), a
// drive's and the machine's information.
#include <atomic>
#include <string>
#include <vector>

#include "CmdTarget.h"
#include "ComPtr.h"
#include "EngineRequest.h"
#include "TDEngine.h"

class CTDPrcThread;

// A result object's count: the client's references, and the holds of the
// requests that fill it, which keep it alive unseen by its clients.
template <class Base>
class CTDHeld : public Base, public tdengine::ResultHold {
 public:
  ULONG STDMETHODCALLTYPE AddRef() override { return static_cast<ULONG>(++counts_); }
  ULONG STDMETHODCALLTYPE Release() override { return Drop(1); }
  void Hold() override { counts_ += HoldUnit; }
  void Unhold() override { Drop(HoldUnit); }

 private:
  static constexpr ULONGLONG HoldUnit = 1ull << 32;
  ULONG Drop(ULONGLONG unit) {
    const ULONGLONG left = counts_ -= unit;
    if (left == 0) Base::Release();  // the base's one reference: the object goes
    return static_cast<ULONG>(left);
  }
  std::atomic<ULONGLONG> counts_{1};
};

class CTDOrvFile final : public CTDHeld<CCmdTarget<tdengine::ITDOrvFile>> {
 public:
  CTDOrvFile() = default;
  HRESULT STDMETHODCALLTYPE GetInfo(tdengine::TDFileInfo** info) override;
  HRESULT STDMETHODCALLTYPE GetName(char* buffer) override;
  HRESULT STDMETHODCALLTYPE GetSecondName(char* buffer) override;
  HRESULT STDMETHODCALLTYPE GetAttributes(ULONG* attributes) override;
  HRESULT STDMETHODCALLTYPE Clone(tdengine::ITDOrvFile** copy) override;

  // From the component's 300-byte entry block.
  void Fill(SHORT side, const BYTE* block);

  tdengine::TDFileInfo Info{};
  LONG Filled = 0;
};

// A result whose information the worker fills once; GetInfo answers
// E_UNEXPECTED until then.
template <class Interface, class Information>
class CTDFilledResult : public CTDHeld<CCmdTarget<Interface>> {
 public:
  HRESULT STDMETHODCALLTYPE GetInfo(Information** info) override {
    if (!info) return E_POINTER;
    *info = Filled ? &Info : nullptr;
    return Filled ? S_OK : E_UNEXPECTED;
  }
  bool IsFilled() const { return Filled != 0; }

  Information Info{};
  LONG Filled = 0;
};

class CTDOrvDrive final : public CTDFilledResult<tdengine::ITDOrvDrive, tdengine::TDDriveInfo> {
 public:
  void SetPath(const tdengine::TDPathRecord& record);
  // From the component's 72-byte drive block.
  void Fill(const BYTE* block);
};

class CTDOrvMachine final : public CTDFilledResult<tdengine::ITDOrvMachine, tdengine::TDMachineInfo> {
 public:
  // From the component's 168-byte machine block.
  void Fill(const BYTE* block);
};

class CTDOrvDirectory final : public CTDHeld<CCmdTarget<tdengine::ITDOrvDirectory>> {
 public:
  CTDOrvDirectory() = default;
  // A walker node for a folder of a side.
  CTDOrvDirectory(CTDPrcThread* thread, SHORT side, const char* path);

  HRESULT STDMETHODCALLTYPE Next(ULONG count, tdengine::ITDOrvFile** entries, ULONG* fetched) override;
  HRESULT STDMETHODCALLTYPE Skip(ULONG count) override;
  HRESULT STDMETHODCALLTYPE Reset() override;

  void SetPath(const tdengine::TDPathRecord& record);
  // 0, or 14 when the entry cannot be kept.
  LONG AddEntry(ComPtr<tdengine::ITDOrvFile> file);
  bool IsComplete() const { return Complete != 0; }
  USHORT Count() const { return static_cast<USHORT>(entries_.size()); }
  void ClearEntries();
  // A walker node's end: releases its entries and the node.
  void Free();

  char Path[260] = {};
  SHORT Side = 0;
  LONG Complete = 0;
  // Walker node.
  CTDPrcThread* Thread = nullptr;
  LONG TargetSide = 0;
  char TargetPath[260] = {};
  tdengine::ITDOrvDirectory* Self = nullptr;
  CTDOrvDirectory* Parent = nullptr;
  tdengine::ITDOrvFile* CurrentEntry = nullptr;

 private:
  std::vector<ComPtr<tdengine::ITDOrvFile>> entries_;
  size_t cursor_ = SIZE_MAX;  // nothing handed out before Reset
};
