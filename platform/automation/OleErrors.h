#pragma once
// Failures of OLE automation, kept apart from the runtime's other exceptions:
// EOleSysError is an HRESULT failure without exception information,
// EOleException a failure that the called object described (EXCEPINFO).
#include <windows.h>

#include <string>

#include "SysUtils.h"

class EOleError : public Exception {
 public:
  using Exception::Exception;
  const char* ClassName() const override { return "EOleError"; }
};

class EOleSysError : public EOleError {
 public:
  EOleSysError(std::string message, HRESULT errorCode) : EOleError(std::move(message)), ErrorCode(errorCode) {}
  explicit EOleSysError(HRESULT errorCode);  // message from the system's text for the code
  const char* ClassName() const override { return "EOleSysError"; }

  HRESULT ErrorCode;
};

class EOleException : public EOleSysError {
 public:
  EOleException(std::string description, HRESULT errorCode, std::string source)
      : EOleSysError(description, errorCode), Source(std::move(source)), Description(std::move(description)) {}
  const char* ClassName() const override { return "EOleException"; }

  std::string Source;
  std::string Description;
};

// The system's text for an HRESULT, or "OLE error 8000FFFF" when it has none.
std::string OleErrorMessage(HRESULT hr);

// Raises EOleSysError for a failed HRESULT; answers the code otherwise.
HRESULT OleCheck(HRESULT hr);

// The HRESULT that a COM method answers for the exception being handled; call
// it only inside a catch block. An automation failure keeps its own code, lack
// of memory is E_OUTOFMEMORY, a bad argument E_INVALIDARG, any other failure
// of the runtime or the standard library E_FAIL, anything else E_UNEXPECTED.
HRESULT HResultFromCaught() noexcept;

// Ends a COM method's body: no exception leaves it, its HRESULT does.
#define VANTLE_CATCH_RETURN()   \
  catch (...) {                 \
    return HResultFromCaught(); \
  }
