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

constexpr const char* Usage = "usage: vorra fetch URL [FILE] [--timeout SECONDS]\n";

std::string FolderOf(const std::string& file) {
  const fs::path parent = fs::path(file).parent_path();
  return parent.empty() ? std::string(".") : parent.string();
}

}  // namespace

int FetchCommand(const std::vector<std::string>& argv, std::ostream& out, std::ostream& err) {
  win::TDownloadOptions transfer;
  std::vector<std::string> args;
  for (std::size_t i = 0; i < argv.size(); ++i) {
    if (argv[i] != "--timeout") args.push_back(argv[i]);
    else if (i + 1 >= argv.size() || !cli::ParseSeconds(argv[++i], transfer.TimeoutMs)) return cli::UsageError(err, Usage);
  }
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
    // Never over an existing file, not even one that appears meanwhile: the
    // name is counted up when the finished download takes its place.
    target = folder + name;
    transfer.NextName = NumberedFileName;
  }

  cli::TProgressOutput progress(err);
  progress.Start(0, 1, name, url);
  transfer.Callback = &progress;
  const win::TDownloadResult result = win::DownloadToFile(url, target, transfer);
  progress.Finish();
  if (result.Result == win::HRESULT_FROM_WIN32(win::ERROR_FILE_EXISTS) && !transfer.NextName)
    return cli::Fail(err, target + " exists; not overwritten (name another file)");
  if (win::FAILED(result.Result))
    return cli::Fail(err, "cannot save the movie " + url + " as " + target + ": " + cli::TransferReason(result));
  target = result.File;
  out << target << '\n' << std::flush;
  // The file stays for the user to look at; the status says it is no movie.
  if (const std::string why = cli::NotMovieReason(target); !why.empty())
    return cli::Fail(err, "the movie " + url + " saved as " + target + " is kept, but " + why);
  return cli::ExitOk;
}

}  // namespace vorra
