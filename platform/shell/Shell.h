// Shell file operations: copy and delete with the FOF flags, wildcard sources,
// and the shell's questions, errors and progress routed through a UI that the
// window layer installs (tests install their own).
#pragma once

#include <cstddef>
#include <string>

#include "platform/win/Types.h"

namespace win {

using FILEOP_FLAGS = WORD;

inline constexpr UINT FO_MOVE = 0x0001;
inline constexpr UINT FO_COPY = 0x0002;
inline constexpr UINT FO_DELETE = 0x0003;
inline constexpr UINT FO_RENAME = 0x0004;

inline constexpr FILEOP_FLAGS FOF_MULTIDESTFILES = 0x0001;
inline constexpr FILEOP_FLAGS FOF_SILENT = 0x0004;
inline constexpr FILEOP_FLAGS FOF_NOCONFIRMATION = 0x0010;
inline constexpr FILEOP_FLAGS FOF_FILESONLY = 0x0080;
inline constexpr FILEOP_FLAGS FOF_SIMPLEPROGRESS = 0x0100;
inline constexpr FILEOP_FLAGS FOF_NOCONFIRMMKDIR = 0x0200;
inline constexpr FILEOP_FLAGS FOF_NOERRORUI = 0x0400;

// Results besides 0 and the ERROR_* codes, as the shell gives them.
inline constexpr int DE_SAMEFILE = 0x71;
inline constexpr int DE_INVALIDFILES = 0x7C;
inline constexpr int DE_UNKNOWN_ERROR = 0x402;

struct SHFILEOPSTRUCTA {
  HWND hwnd = nullptr;
  UINT wFunc = 0;
  LPCSTR pFrom = nullptr;  // paths, each ended by a zero, the list by one more
  LPCSTR pTo = nullptr;    // same form; one folder or name unless FOF_MULTIDESTFILES
  FILEOP_FLAGS fFlags = 0;
  BOOL fAnyOperationsAborted = FALSE;
  LPVOID hNameMappings = nullptr;
  LPCSTR lpszProgressTitle = nullptr;
};

// 0 on success; otherwise an ERROR_* or DE_* code. Stops at the first failure.
int SHFileOperationA(SHFILEOPSTRUCTA* op);

enum class TShellQuestion { DeleteItems, ReplaceFile, CreateFolder };
enum class TShellAnswer { Yes, YesToAll, No, Cancel };

class IShellOperationUI {
 public:
  virtual ~IShellOperationUI() = default;
  // DeleteItems: subject is the first item, count how many. ReplaceFile: the
  // file that exists. CreateFolder: the folder that would be made.
  virtual TShellAnswer Ask(HWND owner, TShellQuestion question, const std::string& subject,
                           std::size_t count) = 0;
  virtual void ShowError(HWND owner, const std::string& text) = 0;
  // item is empty under FOF_SIMPLEPROGRESS. Returning false cancels the operation.
  virtual bool ShowProgress(HWND owner, std::size_t done, std::size_t total, const std::string& item) = 0;
  virtual void EndProgress(HWND owner) {}
};

// Installs the UI for later operations and returns the previous one. Without
// one, every question is answered "No" (nothing is replaced or deleted
// unasked) and errors go to stderr.
IShellOperationUI* SetShellOperationUI(IShellOperationUI* ui);

// Windows wildcard match of one file name: "*" and "?", "*.*" matches every
// name. Case-sensitive, as file names are here.
bool MatchesWildcard(const std::string& name, const std::string& pattern);

}  // namespace win
