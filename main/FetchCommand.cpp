#include "main/FetchCommand.h"

#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <ostream>

#include "common/MovieAddress.h"
#include "main/AppFiles.h"
#include "main/Settings.h"
#include "platform/net/Download.h"
#include "platform/shell/UserFolders.h"

namespace vorra {

namespace {

namespace fs = std::filesystem;

constexpr const char* Usage = "usage: vorra fetch URL [FILE]\n";

std::string Megabytes(unsigned long bytes) {
  char buf[32];
  std::snprintf(buf, sizeof buf, "%.1f MB", bytes / 1048576.0);
  return buf;
}

// One line on the terminal, rewritten in place.
class TProgressLine final : public win::IBindStatusCallback {
 public:
  TProgressLine(std::ostream& err, std::string name) : err_(err), name_(std::move(name)), tty_(::isatty(2) == 1) {}
  ~TProgressLine() override { Finish(); }

  win::HRESULT OnProgress(win::ULONG done, win::ULONG total, win::ULONG status, win::LPCSTR) override {
    if (!tty_ || (status != win::BINDSTATUS_DOWNLOADINGDATA && status != win::BINDSTATUS_ENDDOWNLOADDATA))
      return win::S_OK;
    err_ << '\r' << name_ << ": ";
    if (total > 0) err_ << (100ull * done / total) << "% (" << Megabytes(done) << " of " << Megabytes(total) << ")";
    else err_ << Megabytes(done);
    err_ << "   " << std::flush;
    shown_ = true;
    return win::S_OK;
  }
  void Finish() {
    if (shown_) err_ << '\n';
    shown_ = false;
  }

 private:
  std::ostream& err_;
  std::string name_;
  bool tty_;
  bool shown_ = false;
};

std::string ErrorText(win::HRESULT hr) {
  switch (hr) {
    case win::INET_E_INVALID_URL: return "the address is not valid";
    case win::INET_E_UNKNOWN_PROTOCOL: return "the address's scheme is not supported";
    case win::INET_E_RESOURCE_NOT_FOUND: return "the server could not be found";
    case win::INET_E_OBJECT_NOT_FOUND: return "the file was not found on the server";
    case win::INET_E_CANNOT_CONNECT: return "cannot connect to the server";
    case win::INET_E_CONNECTION_TIMEOUT: return "the server did not answer in time";
    case win::INET_E_REDIRECT_FAILED: return "too many or bad redirects";
    case win::INET_E_SECURITY_PROBLEM: return "the secure connection failed (certificate?)";
    case win::INET_E_DATA_NOT_AVAILABLE: return "the server closed the connection without an answer";
    case win::INET_E_DOWNLOAD_FAILURE: return "the transfer failed";
    case win::E_ABORT: return "cancelled";
    default: break;
  }
  char buf[64];
  std::snprintf(buf, sizeof buf, "error 0x%08X", static_cast<unsigned>(hr));
  return buf;
}

}  // namespace

int FetchCommand(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
  if (args.empty() || args.size() > 2 || args[0].empty() || args[0][0] == '-') {
    err << Usage;
    return 2;
  }
  const std::string& url = args[0];
  std::string name = UrlFileName(url);
  if (name.empty()) name = "movie.swf";

  std::string target;
  std::error_code ec;
  if (args.size() == 2 && !fs::is_directory(args[1], ec)) {
    target = args[1];
    if (fs::exists(fs::symlink_status(target, ec))) {
      err << "vorra: " << target << " exists; not overwritten (name another file)\n";
      return 1;
    }
  } else {
    std::string folder;
    if (args.size() == 2) {
      folder = AddTrailingBackslash(args[1]);
    } else {
      SetAppFolders(win::GetProgramFolder());
      folder = ReadDefaultDir();
    }
    fs::create_directories(folder, ec);
    // Never over an existing file: count up until the name is free.
    target = folder + name;
    for (int i = 0; fs::exists(fs::symlink_status(target, ec)) && i < 100000; ++i) target = NumberedFileName(target);
  }

  TProgressLine progress(err, name);
  const win::HRESULT hr = win::URLDownloadToFileA(nullptr, url.c_str(), target.c_str(), 0, &progress);
  progress.Finish();
  if (win::FAILED(hr)) {
    err << "vorra: cannot download " << url << ": " << ErrorText(hr) << '\n';
    return 1;
  }
  out << target << '\n';
  return 0;
}

}  // namespace vorra
