#include "OleErrors.h"

#include <objbase.h>

#include <new>
#include <stdexcept>

#include "ComPtr.h"

std::string OleErrorMessage(HRESULT hr) {
  char* text = nullptr;
  DWORD n = FormatMessageA(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
                           nullptr, static_cast<DWORD>(hr), 0, reinterpret_cast<char*>(&text), 0, nullptr);
  std::string message = n ? Trim(std::string(text, n)) : std::string();
  if (text) LocalFree(text);
  if (message.empty()) message = Format("OLE error %.8x", {static_cast<unsigned>(hr)});
  return message;
}

EOleSysError::EOleSysError(HRESULT errorCode) : EOleError(OleErrorMessage(errorCode)), ErrorCode(errorCode) {}

HRESULT HResultFromCaught() noexcept {
  try {
    throw;
  } catch (const EOleSysError& e) {
    return FAILED(e.ErrorCode) ? e.ErrorCode : E_FAIL;
  } catch (const std::bad_alloc&) {
    return E_OUTOFMEMORY;
  } catch (const std::invalid_argument&) {
    return E_INVALIDARG;
  } catch (const std::exception&) {
    return E_FAIL;
  } catch (...) {
    return E_UNEXPECTED;
  }
}

HRESULT OleCheck(HRESULT hr) {
  if (FAILED(hr)) throw EOleSysError(hr);
  return hr;
}

CoInitScope::CoInitScope(DWORD model) {
  HRESULT hr = CoInitializeEx(nullptr, model);
  if (hr == RPC_E_CHANGED_MODE) return;
  OleCheck(hr);
  owned_ = true;
}

CoInitScope::~CoInitScope() {
  if (owned_) CoUninitialize();
}
