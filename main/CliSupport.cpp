#include "main/CliSupport.h"

#include <sys/stat.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <ostream>

#include "main/FlashUtils.h"
#include "platform/net/PageFetch.h"

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

std::string ReasonText(win::HRESULT hr) {
  // The shared words read as sentences; here they follow "subject: ".
  std::string text = win::net::FetchErrorText(hr);
  if (!text.empty() && text.back() == '.') text.pop_back();
  if (text.size() > 1 && text[0] >= 'A' && text[0] <= 'Z' && !(text[1] >= 'A' && text[1] <= 'Z')) text[0] += 'a' - 'A';
  return text;
}

std::string ErrnoText(int error) {
  switch (error) {
    case ENOENT: return "no such folder";
    case ENOTDIR: return "a part of the path is not a folder";
    case EACCES:
    case EPERM: return "read-only (no permission to write there)";
    case EROFS: return "read-only (the disk is mounted read-only)";
    case ENOSPC:
    case EDQUOT: return "the disk is full";
    case ENAMETOOLONG: return "the name is too long";
    case EEXIST: return "the name is taken";
    default: return std::strerror(error);
  }
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
