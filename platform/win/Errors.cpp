#include "platform/win/Errors.h"

#include <sqlite3.h>

#include <cerrno>

namespace win {

DWORD ErrnoToWin32Error(int err, bool creating) {
  switch (err) {
    case 0: return ERROR_SUCCESS;
    case ENOENT: return creating ? ERROR_PATH_NOT_FOUND : ERROR_FILE_NOT_FOUND;
    case ENOTDIR: return ERROR_DIRECTORY;
    case EACCES:
    case EPERM:
    case EISDIR: return ERROR_ACCESS_DENIED;
    case EBUSY:
    case ETXTBSY: return ERROR_BUSY;
    case EROFS: return ERROR_WRITE_PROTECT;
    case ENOSPC:
    case EDQUOT: return ERROR_DISK_FULL;
    case EFBIG: return ERROR_FILE_TOO_LARGE;
    case ENAMETOOLONG: return ERROR_FILENAME_EXCED_RANGE;
    case ENOMEM: return ERROR_NOT_ENOUGH_MEMORY;
    case EEXIST: return ERROR_FILE_EXISTS;
    case ETIMEDOUT: return ERROR_TIMEOUT;
    case ECANCELED: return ERROR_CANCELLED;
    case EIO: return ERROR_WRITE_FAULT;
    default: return ERROR_INVALID_PARAMETER;
  }
}

DWORD SqliteToWin32Error(int code, bool write) {
  switch (code & 0xFF) {
    case SQLITE_OK: return ERROR_SUCCESS;
    case SQLITE_CORRUPT:
    case SQLITE_NOTADB: return ERROR_BADDB;
    case SQLITE_FULL: return ERROR_DISK_FULL;
    case SQLITE_NOMEM:
    case SQLITE_TOOBIG: return ERROR_NOT_ENOUGH_MEMORY;
    case SQLITE_READONLY:
    case SQLITE_PERM: return ERROR_ACCESS_DENIED;
    case SQLITE_BUSY:
    case SQLITE_LOCKED: return ERROR_BUSY;
    case SQLITE_CANTOPEN: return ERROR_CANTOPEN;
    default: return write ? ERROR_CANTWRITE : ERROR_CANTREAD;
  }
}

}  // namespace win
