#pragma once
// The base of the engine's COM objects: an atomic external reference count,
// an interface map answered by the derived class, and the module lock, held
// from construction to destruction. The last release deletes the object.
#include <objbase.h>

#include <atomic>

class CCmdTarget {
 public:
  CCmdTarget();
  virtual ~CCmdTarget();
  CCmdTarget(const CCmdTarget&) = delete;
  CCmdTarget& operator=(const CCmdTarget&) = delete;

  ULONG ExternalAddRef();
  ULONG ExternalRelease();
  // Looks iid up in the interface map (IUnknown answers the first entry) and
  // adds a reference to what it finds.
  HRESULT ExternalQueryInterface(REFIID iid, void** out);

  // Objects alive in this module, for leak checks.
  static long LiveObjects();

 protected:
  // The interface map: the interface for iid, or null. IUnknown is asked as well.
  virtual IUnknown* GetInterface(REFIID iid) = 0;

 private:
  std::atomic<ULONG> refs_{1};
};

// The IUnknown methods of an interface implemented by a CCmdTarget-derived
// class, forwarded to the object's external ones.
#define VANTLE_FORWARD_IUNKNOWN                                               \
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override { \
    return ExternalQueryInterface(iid, out);                                  \
  }                                                                           \
  ULONG STDMETHODCALLTYPE AddRef() override { return ExternalAddRef(); }      \
  ULONG STDMETHODCALLTYPE Release() override { return ExternalRelease(); }
