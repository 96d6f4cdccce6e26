#include <fcntl.h>
#include <sqlite3.h>
#include <unistd.h>

#include <cerrno>
#include <fstream>

#include <gtest/gtest.h>

#include "platform/win/ErrorText.h"
#include "platform/win/Errors.h"
#include "tests/support/TestSupport.h"

namespace win {
namespace {

using vorra::test::TTempDir;

// The errno of creating `path`, as users get to read it.
std::string CreateFailure(const std::string& path) {
  const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
  if (fd >= 0) {
    ::close(fd);
    return "created";
  }
  return ErrorText(HResultFromErrno(errno, true));
}

TEST(Errors, FileSystemFailuresReadAsWords) {
  TTempDir dir;
  const std::string file = dir / "plain";
  std::ofstream(file) << "x";
  EXPECT_EQ(CreateFailure(dir / "missing/a.swf"), "no such folder");
  EXPECT_EQ(CreateFailure(file + "/a.swf"), "not a folder");
  EXPECT_EQ(CreateFailure(file), "already exists");
  // Opening, not creating: the file itself is what is missing.
  EXPECT_EQ(Win32ErrorText(ErrnoToWin32Error(ENOENT)), "no such file");
  EXPECT_EQ(Win32ErrorText(ErrnoToWin32Error(ENOSPC)), "disk full");
  EXPECT_EQ(Win32ErrorText(ErrnoToWin32Error(EROFS)), "read-only");
  // A store another program holds locked, or one found damaged.
  EXPECT_EQ(Win32ErrorText(ERROR_SHARING_VIOLATION), "another program is using it");
  EXPECT_EQ(Win32ErrorText(ERROR_FILE_CORRUPT), "the file is damaged");
}

TEST(Errors, TransferAndComFailuresReadAsWords) {
  EXPECT_EQ(ErrorText(INET_E_CANNOT_CONNECT), "the server refused the connection");
  EXPECT_EQ(ErrorText(INET_E_RESOURCE_NOT_FOUND), "the server could not be found");
  EXPECT_EQ(ErrorText(INET_E_OBJECT_NOT_FOUND), "not found on the server");
  EXPECT_EQ(ErrorText(INET_E_CONNECTION_TIMEOUT), "timed out");
  EXPECT_EQ(ErrorText(HRESULT_FROM_WIN32(ERROR_FILE_TOO_LARGE)), "too large");
  EXPECT_EQ(ErrorText(E_ACCESSDENIED), "access denied");
  EXPECT_EQ(ErrorText(E_ABORT), "cancelled");
  // Numbers only where no words exist, and never a Win32 code read as an HRESULT.
  EXPECT_EQ(ErrorText(static_cast<HRESULT>(0x80041234)), "error 0x80041234");
  EXPECT_EQ(Win32ErrorText(9999), "error 0x8007270F");
}

TEST(Errors, SqliteResultsKeepTheirMeaning) {
  TTempDir dir;
  const std::string path = dir / "not-a-database";
  std::ofstream(path) << std::string(4096, 'x');
  sqlite3* db = nullptr;
  ASSERT_EQ(sqlite3_open_v2(path.c_str(), &db, SQLITE_OPEN_READWRITE, nullptr), SQLITE_OK);
  const int rc = sqlite3_exec(db, "SELECT * FROM sqlite_master", nullptr, nullptr, nullptr);
  sqlite3_close(db);
  EXPECT_EQ(SqliteToWin32Error(rc), ERROR_BADDB);
  // Extended codes count by their primary code.
  EXPECT_EQ(SqliteToWin32Error(SQLITE_BUSY_SNAPSHOT), ERROR_BUSY);
  EXPECT_EQ(SqliteToWin32Error(SQLITE_IOERR_WRITE, true), ERROR_CANTWRITE);
  EXPECT_EQ(Win32ErrorText(SqliteToWin32Error(SQLITE_FULL)), "disk full");
}

}  // namespace
}  // namespace win
