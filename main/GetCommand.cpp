#include "main/GetCommand.h"

#include <cstdlib>
#include <memory>
#include <ostream>

#include "common/MovieAddress.h"
#include "framework/Json.h"
#include "main/AppFiles.h"
#include "main/CliSupport.h"
#include "main/PageLoader.h"
#include "main/Settings.h"
#include "platform/shell/UserFolders.h"

namespace vorra {

namespace {

constexpr const char* Usage = "usage: vorra get URL [--out DIR] [--list] [--json] [--timeout SECONDS] [--no-scripts]\n";

// The whole page load; VORRA_PAGE_TIMEOUT (seconds) shortens it.
long PageTimeoutMs() {
  if (const char* v = std::getenv("VORRA_PAGE_TIMEOUT")) {
    char* end = nullptr;
    const double seconds = std::strtod(v, &end);
    if (end != v && seconds > 0 && seconds < 86400) return static_cast<long>(seconds * 1000);
  }
  return 60000;
}

// One movie's line of --json output; error only when it failed.
void PrintItem(std::ostream& out, const TFlashItem& item, bool withFile, const std::string& error) {
  TJsonObject o;
  o.Add("name", item.Name).Add("url", item.Url);
  if (withFile) o.Add("file", item.TempFile);
  else o.AddNull("file");
  o.Add("ok", error.empty());
  if (!error.empty()) o.Add("error", error);
  cli::PrintJson(out, o);
}

}  // namespace

int GetCommand(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
  std::string url, outDir;
  bool list = false, json = false, haveOut = false, scripts = true;
  win::TDownloadOptions transfer;
  for (std::size_t i = 0; i < args.size(); ++i) {
    const std::string& a = args[i];
    if (a == "--list") list = true;
    else if (a == "--json") json = true;
    else if (a == "--no-scripts") scripts = false;
    else if (a == "--out" && i + 1 < args.size()) haveOut = true, outDir = args[++i];
    else if (a == "--timeout" && i + 1 < args.size() && cli::ParseSeconds(args[i + 1], transfer.TimeoutMs)) ++i;
    else if (!a.empty() && a[0] != '-' && url.empty()) url = a;
    else return cli::UsageError(err, Usage);
  }
  if (url.empty() || (haveOut && outDir.empty())) return cli::UsageError(err, Usage);

  std::string folder;
  if (haveOut) {
    folder = AddTrailingBackslash(outDir);
  } else {
    SetAppFolders(win::GetProgramFolder());
    folder = ReadDefaultDir();
  }
  if (!list)
    if (const std::string why = cli::FolderProblem(folder, true); !why.empty())
      return cli::Fail(err, "cannot save movies into the folder " + folder + ": " + why);

  win::TWebBrowserSettings settings;
  settings.TimeoutMs = PageTimeoutMs();
  TWebHost host(nullptr, settings);
  SetPageLoaderOptions(&host, scripts);
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
    return cli::Fail(err, "cannot load the page " + pageUrl + ": " + e.what());
  }
  const win::HRESULT loaded = host.Control()->LastNavigationResult();
  if (!pageDone || win::FAILED(loaded))
    return cli::Fail(err, "cannot load the page " + pageUrl + ": " + cli::ReasonText(loaded));
  if (items.empty()) {
    cli::Say(err, "no Flash movies in the page " + pageUrl);
    return 2;
  }

  if (list) {
    for (const auto& item : items) {
      if (json) PrintItem(out, *item, false, {});
      else out << item->Name << '\t' << item->Url << '\n';
    }
    return 0;
  }

  std::vector<TFlashItem*> plain;
  for (const auto& item : items) plain.push_back(item.get());
  cli::TProgressOutput bar(err);
  transfer.Callback = &bar;
  int failed = 0;
  DownloadFlashItems(
      plain, [&](int i, int count) { bar.Start(i, count, plain[i]->Name, plain[i]->Url); },
      [&](int i, const win::TDownloadResult& result) {
        const TFlashItem& item = *plain[i];
        std::string error;
        if (win::FAILED(result.Result)) {
          error = "cannot save the movie " + item.Url + " into the folder " + folder + ": " + cli::TransferReason(result);
        } else if (const std::string why = cli::NotMovieReason(item.TempFile); !why.empty()) {
          // Kept for the user to look at, but not counted as a saved movie.
          error = "the movie " + item.Url + " saved as " + item.TempFile + " is kept, but " + why;
        }
        if (!error.empty()) {
          ++failed;
          bar.Finish();
          cli::Say(err, error);
        }
        if (json) PrintItem(out, item, win::SUCCEEDED(result.Result), error);  // no file when none was saved
        else if (error.empty()) out << item.TempFile << '\n' << std::flush;
      },
      transfer);
  bar.Finish();
  err << (plain.size() - failed) << " of " << plain.size() << " movies saved in " << folder << '\n';
  return failed ? cli::ExitFailed : cli::ExitOk;
}

}  // namespace vorra
