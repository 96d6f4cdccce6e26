#include "main/AppFiles.h"

#include <unistd.h>

#include <filesystem>
#include <limits>

#include "common/MovieAddress.h"
#include "platform/shell/Shell.h"
#include "platform/shell/UserFolders.h"

namespace vorra {

std::string AppFolder;
std::string TempFolder;

namespace {
bool g_programFolderWritable = true;
}

void SetAppFolders(const std::string& programFolder) {
  const std::string folder = AddTrailingBackslash(programFolder);
  SetAppFolders(folder, ::access(folder.c_str(), W_OK) == 0);
}

void SetAppFolders(const std::string& programFolder, bool programFolderWritable) {
  g_programFolderWritable = programFolderWritable;
  AppFolder = AddTrailingBackslash(programFolder);
  TempFolder = programFolderWritable ? AppFolder + "Temp" + PathDelim
                                     : win::GetUserFolder(win::TUserFolder::ufCache) + "Temp" + PathDelim;
}

void ClearAppFolders() {
  AppFolder.clear();
  TempFolder.clear();
}

std::string DefaultFlashFolder() {
  return g_programFolderWritable ? AppFolder + "Flash Files" + PathDelim
                                 : win::GetUserFolder(win::TUserFolder::ufData) + "Flash Files" + PathDelim;
}

std::string NumberedFileName(const std::string& path) {
  const std::size_t delim = path.rfind(PathDelim);
  const std::string folder = delim == std::string::npos ? std::string() : path.substr(0, delim + 1);
  const std::string name = path.substr(folder.size());
  const std::size_t dot = name.find('.');
  std::string stem = name.substr(0, dot);
  const std::string rest = dot == std::string::npos ? std::string() : name.substr(dot);

  std::size_t digits = stem.size();
  while (digits > 0 && stem[digits - 1] >= '0' && stem[digits - 1] <= '9') --digits;
  const std::string run = stem.substr(digits);
  stem.erase(digits);

  // A run that does not fit 32 bits counts as 0; the next number is computed
  // in 64 bits so 2147483647 becomes 2147483648, not a negative number.
  std::int64_t number = 0;
  for (char c : run) {
    number = number * 10 + (c - '0');
    if (number > std::numeric_limits<std::int32_t>::max()) {
      number = 0;
      break;
    }
  }
  return folder + stem + std::to_string(number + 1) + rest;
}

bool DeleteFiles(const std::string& path) {
  if (path.size() > MaxShellPath) return false;
  const std::size_t delim = path.rfind(PathDelim);
  if (delim == std::string::npos) return false;
  const std::string last = path.substr(delim + 1);
  if (last.empty() || last == "." || last == "..") return false;
  const std::filesystem::path folder = std::filesystem::path(path.substr(0, delim + 1)).lexically_normal();
  if (folder.empty() || folder == folder.root_path()) return false;

  std::string from = path;
  from.push_back('\0');  // the list ends with a second zero
  win::SHFILEOPSTRUCTA op;
  op.wFunc = win::FO_DELETE;
  op.pFrom = from.c_str();
  op.fFlags = win::FOF_SILENT | win::FOF_NOCONFIRMATION | win::FOF_NOCONFIRMMKDIR | win::FOF_NOERRORUI;
  return win::SHFileOperationA(&op) == 0;
}

}  // namespace vorra
