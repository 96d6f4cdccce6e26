#include "main/GetCommand.h"

#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <memory>
#include <ostream>

#include "common/MovieAddress.h"
#include "framework/Json.h"
#include "main/AppFiles.h"
#include "main/PageLoader.h"
#include "main/Settings.h"
#include "platform/net/PageFetch.h"
#include "platform/shell/UserFolders.h"

namespace vorra {

namespace {

namespace fs = std::filesystem;

constexpr const char* Usage = "usage: vorra get URL [--out DIR] [--list] [--json]\n";

// The whole page load; VORRA_PAGE_TIMEOUT (seconds) shortens it.
long PageTimeoutMs() {
  if (const char* v = std::getenv("VORRA_PAGE_TIMEOUT")) {
    char* end = nullptr;
    const double seconds = std::strtod(v, &end);
    if (end != v && seconds > 0 && seconds < 86400) return static_cast<long>(seconds * 1000);
  }
  return 60000;
}

// A bar on the terminal for the whole capture, rewritten in place.
class TCaptureBar final : public win::IBindStatusCallback {
 public:
  explicit TCaptureBar(std::ostream& err) : err_(err), tty_(::isatty(2) == 1) {}

  void Start(int index, int count, const std::string& name, const std::string& url) {
    index_ = index, count_ = count, name_ = name;
    if (!tty_) err_ << "downloading " << (index + 1) << '/' << count << ": " << url << '\n';
    else Draw(0, 0);
  }
  void Finish() {
    if (tty_ && count_ > 0) err_ << '\n';
    count_ = 0;
  }
  win::HRESULT OnProgress(win::ULONG done, win::ULONG total, win::ULONG status, win::LPCSTR) override {
    if (tty_ && status == win::BINDSTATUS_DOWNLOADINGDATA) Draw(done, total);
    return win::S_OK;
  }

 private:
  void Draw(win::ULONG done, win::ULONG total) {
    constexpr int width = 30;
    const double part = total ? static_cast<double>(done) / total : 0.0;
    const int filled = static_cast<int>(width * (index_ + part) / count_);
    err_ << "\r[" << std::string(filled, '#') << std::string(width - filled, '.') << "] " << (index_ + 1) << '/'
         << count_ << ' ' << name_.substr(0, 40) << "\x1b[K" << std::flush;
  }
  std::ostream& err_;
  bool tty_;
  int index_ = 0, count_ = 0;
  std::string name_;
};

void PrintJson(std::ostream& out, const TFlashItem& item, bool withFile, bool ok) {
  out << "{\"name\": " << JsonQuote(item.Name) << ", \"url\": " << JsonQuote(item.Url)
      << ", \"file\": " << (withFile ? JsonQuote(item.TempFile) : std::string("null"))
      << ", \"ok\": " << (ok ? "true" : "false") << "}\n";
}

}  // namespace

int GetCommand(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
  std::string url, outDir;
  bool list = false, json = false, haveOut = false;
  for (std::size_t i = 0; i < args.size(); ++i) {
    const std::string& a = args[i];
    if (a == "--list") list = true;
    else if (a == "--json") json = true;
    else if (a == "--out" && i + 1 < args.size()) haveOut = true, outDir = args[++i];
    else if (!a.empty() && a[0] != '-' && url.empty()) url = a;
    else {
      err << Usage;
      return 1;
    }
  }
  if (url.empty() || (haveOut && outDir.empty())) {
    err << Usage;
    return 1;
  }

  std::string folder;
  if (haveOut) {
    folder = AddTrailingBackslash(outDir);
  } else {
    SetAppFolders(win::GetProgramFolder());
    folder = ReadDefaultDir();
  }
  if (!list) {
    std::error_code ec;
    fs::create_directories(folder, ec);
    if (!fs::is_directory(folder, ec)) {
      err << "vorra: cannot make the folder " << folder << '\n';
      return 1;
    }
  }

  win::TWebBrowserSettings settings;
  settings.TimeoutMs = PageTimeoutMs();
  TWebHost host(nullptr, settings);
  SetPageLoaderOptions(&host);
  host.Loaded();

  const std::string pageUrl = CompletePageUrl(url);
  std::vector<std::unique_ptr<TFlashItem>> items;
  bool pageDone = false;
  host.OnNewWindow2 = [](TObject*, win::IDispatch*&, win::VARIANT_BOOL& cancel) { cancel = win::VARIANT_TRUE; };
  host.OnDocumentComplete = [&](TObject*, win::IDispatch*, win::VARIANT&) {
    if (pageDone || host.Busy()) return;
    pageDone = true;
    win::TComPtr<win::IDispatch> document = host.Document();
    WalkDocument(document.Get(), pageUrl, folder, [&](TFlashItem* item) { items.emplace_back(item); });
  };
  try {
    host.NavigateTo(pageUrl);
  } catch (const std::exception& e) {
    err << "vorra: cannot load " << pageUrl << ": " << e.what() << '\n';
    return 1;
  }
  const win::HRESULT loaded = host.Control()->LastNavigationResult();
  if (!pageDone || win::FAILED(loaded)) {
    err << "vorra: cannot load " << pageUrl << ": " << win::net::FetchErrorText(loaded) << '\n';
    return 1;
  }
  if (items.empty()) {
    err << "vorra: no Flash movies in " << pageUrl << '\n';
    return 2;
  }

  if (list) {
    for (const auto& item : items) {
      if (json) PrintJson(out, *item, false, true);
      else out << item->Name << '\t' << item->Url << '\n';
    }
    return 0;
  }

  std::vector<TFlashItem*> plain;
  for (const auto& item : items) plain.push_back(item.get());
  TCaptureBar bar(err);
  int failed = 0;
  DownloadFlashItems(
      plain, [&](int i, int count) { bar.Start(i, count, plain[i]->Name, plain[i]->Url); },
      [&](int i, win::HRESULT hr) {
        const bool ok = win::SUCCEEDED(hr);
        if (!ok) {
          ++failed;
          bar.Finish();
          err << "vorra: cannot download " << plain[i]->Url << ": " << win::net::FetchErrorText(hr) << '\n';
        }
        if (json) PrintJson(out, *plain[i], true, ok);
        else if (ok) out << plain[i]->TempFile << '\n';
        out.flush();
      },
      &bar);
  bar.Finish();
  err << (plain.size() - failed) << " of " << plain.size() << " movies saved in " << folder << '\n';
  return failed ? 1 : 0;
}

}  // namespace vorra
