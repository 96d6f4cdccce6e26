// The class library's error classes and the small text and file-name helpers
// that the strings, streams and dialogs share.
#pragma once

#include <cstdint>
#include <functional>
#include <stdexcept>
#include <string>

#include "platform/win/Types.h"

namespace vorra {

class TObject;

// Every event that only names its sender.
using TNotifyEvent = std::function<void(TObject* Sender)>;

// The root of the class library's errors: the text the application shows and
// the system's code of the failure behind it, an HRESULT (a Win32 code in its
// FACILITY_WIN32 form), 0 when there is none.
class Exception : public std::runtime_error {
 public:
  explicit Exception(const std::string& Msg, win::HRESULT Code = 0) : std::runtime_error(Msg), FErrorCode(Code) {}
  std::string Message() const { return what(); }
  win::HRESULT ErrorCode() const { return FErrorCode; }

 private:
  win::HRESULT FErrorCode;
};

class EListError : public Exception {
 public:
  using Exception::Exception;
};
class EStringListError : public Exception {
 public:
  using Exception::Exception;
};
class EStreamError : public Exception {
 public:
  using Exception::Exception;
};
class EReadError : public EStreamError {
 public:
  using EStreamError::EStreamError;
};
class EWriteError : public EStreamError {
 public:
  using EStreamError::EStreamError;
};
class EFileStreamError : public EStreamError {
 public:
  using EStreamError::EStreamError;
};
class EFOpenError : public EFileStreamError {
 public:
  using EFileStreamError::EFileStreamError;
};
class EFCreateError : public EFileStreamError {
 public:
  using EFileStreamError::EFileStreamError;
};
class EInvalidOperation : public Exception {
 public:
  using Exception::Exception;
};
class EConvertError : public Exception {
 public:
  using Exception::Exception;
};

// printf-style formatting into a string.
std::string Format(const char* fmt, ...) __attribute__((format(printf, 1, 2)));
std::string IntToStr(std::int64_t value);
// The system's text for an errno value.
std::string SysErrorMessage(int error);

// Ordinal comparisons; the Text forms fold ASCII letters to upper case first,
// so they agree with AnsiUpperCase (8-bit text is UTF-8 here).
int CompareStr(const std::string& a, const std::string& b);
int CompareText(const std::string& a, const std::string& b);
inline int AnsiCompareStr(const std::string& a, const std::string& b) { return CompareStr(a, b); }
inline int AnsiCompareText(const std::string& a, const std::string& b) { return CompareText(a, b); }
inline bool SameText(const std::string& a, const std::string& b) { return CompareText(a, b) == 0; }

// Control characters and spaces (bytes up to ' ') count as blanks.
std::string Trim(const std::string& s);
std::string TrimLeft(const std::string& s);
std::string TrimRight(const std::string& s);

// The text in quotes with inner quotes doubled.
std::string AnsiQuotedStr(const std::string& s, char quote);
// Reads a quoted text starting at `pos` (which holds the quote): doubled quotes
// become one, the text ends at the next single quote or at the end. `pos`
// moves past the closing quote. A text not starting with the quote gives ""
// and leaves `pos`.
std::string AnsiExtractQuotedStr(const std::string& s, std::size_t& pos, char quote);

// File names use the host delimiter ("/").
std::string ExtractFilePath(const std::string& name);  // up to and including the last "/"
std::string ExtractFileName(const std::string& name);  // after the last "/"
std::string ExtractFileExt(const std::string& name);   // from the last "." of the name part, "" if none
std::string ChangeFileExt(const std::string& name, const std::string& ext);
std::string IncludeTrailingPathDelimiter(const std::string& path);
std::string ExcludeTrailingPathDelimiter(const std::string& path);
bool FileExists(const std::string& name);       // an existing entry that is not a folder
bool DirectoryExists(const std::string& name);  // an existing folder (links followed)

}  // namespace vorra
