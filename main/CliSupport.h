// What every command-line verb shares: exit statuses, the "vorra: ..." and
// usage messages, reasons in words, checks of the folders and files a verb
// writes, JSON lines and the progress output.
#pragma once

#include <iosfwd>
#include <string>
#include <string_view>

#include "framework/Json.h"
#include "platform/net/Download.h"

namespace vorra::cli {

inline constexpr int ExitOk = 0;
inline constexpr int ExitFailed = 1;
inline constexpr int ExitUsage = 2;

// "vorra: text" on a line of its own.
void Say(std::ostream& err, const std::string& text);
// Says text and answers ExitFailed.
int Fail(std::ostream& err, const std::string& text);
// Writes the verb's usage text and answers ExitUsage.
int UsageError(std::ostream& err, std::string_view usage);

// Why a transfer failed, in words, to follow a subject and a colon.
std::string ReasonText(win::HRESULT hr);
// Why a download failed: the server's status where it sent one.
std::string TransferReason(const win::TDownloadResult& result);
// A --timeout value: positive seconds (fractions allowed, a week at most).
bool ParseSeconds(const std::string& text, long& ms);
// Why a file operation failed, in words ("no such folder", "read-only"...).
std::string ErrnoText(int error);

// Whether a verb can write into folder: empty when it can, otherwise why
// not. With create, a missing folder is made (with its parents) first.
std::string FolderProblem(const std::string& folder, bool create);

// Empty when file starts as a Flash movie does; otherwise what it is
// instead ("empty: the server sent nothing", a web page...).
std::string NotMovieReason(const std::string& file);

// One object on a line of its own.
void PrintJson(std::ostream& out, const TJsonObject& object);

// The progress of one or more downloads on stderr: on a terminal one bar,
// rewritten in place; otherwise one plain line as each download starts.
class TProgressOutput final : public win::IBindStatusCallback {
 public:
  explicit TProgressOutput(std::ostream& err);
  TProgressOutput(std::ostream& err, bool terminal);
  ~TProgressOutput() override { Finish(); }

  // Download index (from 0) of count begins.
  void Start(int index, int count, const std::string& name, const std::string& url);
  // Ends the bar's line, so that other output starts on a fresh one.
  void Finish();
  win::HRESULT OnProgress(win::ULONG done, win::ULONG total, win::ULONG status, win::LPCSTR text) override;

 private:
  void Draw(win::ULONG done, win::ULONG total);

  std::ostream& err_;
  bool terminal_;
  bool shown_ = false;
  int index_ = 0, count_ = 1;
  std::string name_;
};

}  // namespace vorra::cli
