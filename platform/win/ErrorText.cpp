#include "platform/win/ErrorText.h"

#include <cstdio>

namespace win {

namespace {

const char* Win32Words(DWORD error) {
  switch (error) {
    case ERROR_SUCCESS: return "no error";
    case ERROR_FILE_NOT_FOUND: return "no such file";
    case ERROR_PATH_NOT_FOUND: return "no such folder";
    case ERROR_DIRECTORY: return "not a folder";
    case ERROR_ACCESS_DENIED: return "access denied";
    case ERROR_WRITE_PROTECT: return "read-only";
    case ERROR_DISK_FULL: return "disk full";
    case ERROR_FILE_TOO_LARGE: return "too large";
    case ERROR_FILENAME_EXCED_RANGE: return "the name is too long";
    case ERROR_NOT_ENOUGH_MEMORY: return "out of memory";
    case ERROR_FILE_EXISTS:
    case ERROR_ALREADY_EXISTS: return "already exists";
    case ERROR_WRITE_FAULT:
    case ERROR_CANTWRITE: return "write error";
    case ERROR_CANTREAD: return "read error";
    case ERROR_CANTOPEN: return "cannot be opened";
    case ERROR_HANDLE_EOF: return "the transfer was cut short";
    case ERROR_BUSY: return "in use by another process";
    case ERROR_SHARING_VIOLATION: return "another program is using it";
    case ERROR_TIMEOUT: return "timed out";
    case ERROR_CANCELLED: return "cancelled";
    case ERROR_BADDB: return "the store is damaged";
    case ERROR_INVALID_DATA: return "the data is damaged";
    case ERROR_FILE_CORRUPT: return "the file is damaged";
    case ERROR_INVALID_PARAMETER: return "invalid argument";
    case ERROR_MOD_NOT_FOUND: return "module not found";
    case ERROR_PROC_NOT_FOUND: return "entry point not found";
    default: return nullptr;
  }
}

const char* HResultWords(HRESULT hr) {
  switch (hr) {
    case S_OK: return "no error";
    case E_ABORT: return "cancelled";
    case E_FAIL: return "failed";
    case E_UNEXPECTED: return "unexpected failure";
    case E_NOTIMPL: return "not implemented";
    case E_NOINTERFACE: return "not supported";
    case E_POINTER: return "invalid pointer";
    case REGDB_E_CLASSNOTREG: return "class not registered";
    case CLASS_E_CLASSNOTAVAILABLE: return "class not available";
    case CO_E_CLASSSTRING: return "invalid class name";
    case CO_E_DLLNOTFOUND: return "the class's module cannot be loaded";
    case CO_E_ERRORINDLL: return "the class's module is not a COM server";
    case TYPE_E_LIBNOTREGISTERED: return "type library not registered";
    case TYPE_E_CANTLOADLIBRARY: return "type library cannot be loaded";
    case TYPE_E_REGISTRYACCESS: return "type library registration cannot be read or written";
    case INET_E_INVALID_URL: return "the address is not valid";
    case INET_E_UNKNOWN_PROTOCOL: return "the address's scheme is not supported";
    case INET_E_RESOURCE_NOT_FOUND: return "the server could not be found";
    case INET_E_OBJECT_NOT_FOUND: return "not found on the server";
    case INET_E_CANNOT_CONNECT: return "the server refused the connection";
    case INET_E_CONNECTION_TIMEOUT: return "timed out";
    case INET_E_REDIRECT_FAILED: return "redirects too often or to an unusable address";
    case INET_E_SECURITY_PROBLEM: return "certificate problem";
    case INET_E_DATA_NOT_AVAILABLE: return "not available (offline, or the server sent nothing)";
    case INET_E_DOWNLOAD_FAILURE: return "the transfer failed";
    case INET_E_NO_SESSION: return "no network";
    default: return nullptr;
  }
}

}  // namespace

std::string ErrorText(HRESULT hr) {
  if (const char* words = HResultWords(hr)) return words;
  const auto code = static_cast<DWORD>(hr);
  if ((code & 0xFFFF0000u) == (0x80000000u | static_cast<DWORD>(FACILITY_WIN32) << 16))
    if (const char* words = Win32Words(code & 0xFFFF)) return words;
  char buf[32];
  std::snprintf(buf, sizeof buf, "error 0x%08X", static_cast<unsigned>(hr));
  return buf;
}

std::string Win32ErrorText(DWORD error) {
  if (const char* words = Win32Words(error)) return words;
  return ErrorText(HRESULT_FROM_WIN32(error));
}

}  // namespace win
