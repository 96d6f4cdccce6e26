#include "main/FetchCommand.h"

#include <filesystem>
#include <ostream>

#include "common/MovieAddress.h"
#include "main/AppFiles.h"
#include "main/CliSupport.h"
#include "main/Settings.h"
#include "platform/net/Download.h"
#include "platform/shell/UserFolders.h"

namespace vorra {

namespace {

namespace fs = std::filesystem;

constexpr const char* Usage = "usage: vorra fetch URL [FILE]\n";

std::string FolderOf(const std::string& file) {
  const fs::path parent = fs::path(file).parent_path();
  return parent.empty() ? std::string(".") : parent.string();
}

}  // namespace

int FetchCommand(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
  if (args.empty() || args.size() > 2 || args[0].empty() || args[0][0] == '-') return cli::UsageError(err, Usage);
  const std::string& url = args[0];
  std::string name = UrlFileName(url);
  if (name.empty()) name = "movie.swf";

  std::string target;
  std::error_code ec;
  if (args.size() == 2 && !fs::is_directory(args[1], ec)) {
    target = args[1];
    if (fs::exists(fs::symlink_status(target, ec)))
      return cli::Fail(err, target + " exists; not overwritten (name another file)");
    const std::string folder = FolderOf(target);
    if (const std::string why = cli::FolderProblem(folder, false); !why.empty())
      return cli::Fail(err, "cannot save the movie " + url + " into the folder " + folder + ": " + why);
  } else {
    std::string folder;
    if (args.size() == 2) {
      folder = AddTrailingBackslash(args[1]);
    } else {
      SetAppFolders(win::GetProgramFolder());
      folder = ReadDefaultDir();
    }
    if (const std::string why = cli::FolderProblem(folder, true); !why.empty())
      return cli::Fail(err, "cannot save the movie " + url + " into the folder " + folder + ": " + why);
    // Never over an existing file: count up until the name is free.
    target = folder + name;
    for (int i = 0; fs::exists(fs::symlink_status(target, ec)) && i < 100000; ++i) target = NumberedFileName(target);
  }

  cli::TProgressOutput progress(err);
  progress.Start(0, 1, name, url);
  const win::HRESULT hr = win::URLDownloadToFileA(nullptr, url.c_str(), target.c_str(), 0, &progress);
  progress.Finish();
  if (win::FAILED(hr)) return cli::Fail(err, "cannot save the movie " + url + " as " + target + ": " + cli::ReasonText(hr));
  out << target << '\n' << std::flush;
  // The file stays for the user to look at; the status says it is no movie.
  if (const std::string why = cli::NotMovieReason(target); !why.empty())
    return cli::Fail(err, "the movie " + url + " saved as " + target + " is kept, but " + why);
  return cli::ExitOk;
}

}  // namespace vorra
