#include "main/CliSupport.h"

#include <sys/stat.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <ostream>

#include "main/FlashUtils.h"
#include "platform/win/ErrorText.h"

namespace vorra::cli {

void Say(std::ostream& err, const std::string& text) { err << "vorra: " << text << '\n' << std::flush; }

int Fail(std::ostream& err, const std::string& text) {
  Say(err, text);
  return ExitFailed;
}

int UsageError(std::ostream& err, std::string_view usage) {
  err << usage;
  if (!usage.empty() && usage.back() != '\n') err << '\n';
  return ExitUsage;
}

std::string ReasonText(win::HRESULT hr) { return win::ErrorText(hr); }

std::string TransferReason(const win::TDownloadResult& result) {
  // The server's own status says more than the class of failure it fell in.
  if (result.Status >= 400 && result.Status < 600 && result.Result != win::INET_E_OBJECT_NOT_FOUND)
    return "server status " + std::to_string(result.Status);
  if (result.Result == win::INET_E_OBJECT_NOT_FOUND && result.Status >= 400)
    return ReasonText(result.Result) + " (server status " + std::to_string(result.Status) + ")";
  return ReasonText(result.Result);
}

std::string ErrnoText(int error) { return win::Win32ErrorText(win::ErrnoToWin32Error(error, true)); }

bool ParseSeconds(const std::string& text, long& ms) {
  char* end = nullptr;
  const double seconds = std::strtod(text.c_str(), &end);
  if (text.empty() || *end != '\0' || !(seconds > 0) || seconds > 7 * 86400.0) return false;
  ms = static_cast<long>(seconds * 1000 + 0.5);
  return ms > 0;
}

std::string FolderProblem(const std::string& folder, bool create) {
  std::string path = folder;
  while (path.size() > 1 && path.back() == '/') path.pop_back();
  if (path.empty()) path = ".";
  struct stat st {};
  if (::stat(path.c_str(), &st) != 0) {
    const int error = errno;
    if (error != ENOENT || !create) return ErrnoText(error);
    std::error_code ec;
    std::filesystem::create_directories(path, ec);
    if (ec) return "cannot create it: " + ErrnoText(ec.value());
    if (::stat(path.c_str(), &st) != 0) return "cannot create it: " + ErrnoText(errno);
  }
  if (!S_ISDIR(st.st_mode)) return "not a folder";
  if (::access(path.c_str(), W_OK | X_OK) != 0) return ErrnoText(errno);
  return {};
}

std::string NotMovieReason(const std::string& file) {
  std::ifstream in(file, std::ios::binary);
  if (!in) return "it cannot be read back";
  std::array<char, SwfPrefixMax> start{};
  in.read(start.data(), start.size());
  const auto got = static_cast<std::size_t>(in.gcount());
  if (got == 0) return "it is empty: the server sent nothing";
  TSwfFileInfo info;
  try {
    if (ParseSwfPrefix(std::span(reinterpret_cast<const std::uint8_t*>(start.data()), got), info) !=
        TSwfRecognition::srNotMovie)
      return {};
  } catch (const ESwfError&) {
    return {};  // a movie's signature: whether its data is whole is swfinfo's question
  }
  std::size_t i = 0;
  while (i < got && (start[i] == ' ' || start[i] == '\t' || start[i] == '\r' || start[i] == '\n')) ++i;
  if (i < got && start[i] == '<') return "it is not a Flash movie but a web page (an error page?)";
  return "it is not a Flash movie (it does not start with FWS, CWS or ZWS)";
}

void PrintJson(std::ostream& out, const TJsonObject& object) { out << object.Text() << '\n' << std::flush; }

// --- Progress ---------------------------------------------------------------

namespace {

std::string Megabytes(unsigned long bytes) {
  char buf[32];
  std::snprintf(buf, sizeof buf, "%.1f MB", bytes / 1048576.0);
  return buf;
}

}  // namespace

TProgressOutput::TProgressOutput(std::ostream& err) : TProgressOutput(err, ::isatty(2) == 1) {}

TProgressOutput::TProgressOutput(std::ostream& err, bool terminal) : err_(err), terminal_(terminal) {}

void TProgressOutput::Start(int index, int count, const std::string& name, const std::string& url) {
  index_ = index;
  count_ = count > 0 ? count : 1;
  name_ = name;
  if (!terminal_) {
    err_ << "downloading ";
    if (count_ > 1) err_ << (index + 1) << '/' << count_ << ": ";
    err_ << url << '\n' << std::flush;
    return;
  }
  Draw(0, 0);
}

void TProgressOutput::Finish() {
  if (shown_) err_ << '\n' << std::flush;
  shown_ = false;
}

win::HRESULT TProgressOutput::OnProgress(win::ULONG done, win::ULONG total, win::ULONG status, win::LPCSTR) {
  if (terminal_ && (status == win::BINDSTATUS_DOWNLOADINGDATA || status == win::BINDSTATUS_ENDDOWNLOADDATA))
    Draw(done, total);
  return win::S_OK;
}

void TProgressOutput::Draw(win::ULONG done, win::ULONG total) {
  constexpr int width = 30;
  const double part = total ? static_cast<double>(done) / total : 0.0;
  const int filled = static_cast<int>(width * (index_ + part) / count_);
  err_ << "\r[" << std::string(filled, '#') << std::string(width - filled, '.') << "] ";
  if (count_ > 1) err_ << (index_ + 1) << '/' << count_ << ' ';
  err_ << name_.substr(0, 40) << ' ';
  if (total > 0) err_ << (100ull * done / total) << "% (" << Megabytes(done) << " of " << Megabytes(total) << ')';
  else if (done > 0) err_ << Megabytes(done);
  err_ << "\x1b[K" << std::flush;
  shown_ = true;
}

}  // namespace vorra::cli
