// The program's folders, the free-name rule for downloaded copies, and the
// silent deletion of the temporary files.
#pragma once

#include <cstddef>
#include <string>

namespace vorra {

// The folder of the running program (blank.dat lies there), with a trailing
// delimiter; empty until SetAppFolders.
extern std::string AppFolder;
// Downloads of the current page: AppFolder + "Temp/", or a per-user folder
// when the program folder is not writable.
extern std::string TempFolder;

// The longest path the deletion accepts; longer ones are refused, never cut.
inline constexpr std::size_t MaxShellPath = 255;

// Sets AppFolder and TempFolder for a program that lies in programFolder.
void SetAppFolders(const std::string& programFolder);
// As above, with the writability of the program folder given.
void SetAppFolders(const std::string& programFolder, bool programFolderWritable);
// Empties both (at exit).
void ClearAppFolders();

// The default folder for saved movies: AppFolder + "Flash Files/", or the
// per-user data folder's when the program folder is not writable.
std::string DefaultFlashFolder();

// Another name in the same folder, counting up a number before the extension:
// movie.swf -> movie1.swf, movie9.swf -> movie10.swf.
std::string NumberedFileName(const std::string& path);

// Deletes what a wildcard path names, silently. True when the shell reports
// success. Refuses (false) a path without a folder, or in the root folder, a
// last component of "." or "..", and a path past MaxShellPath. Never throws:
// it runs before every page and at exit, where an error box would stop both.
bool DeleteFiles(const std::string& path);

}  // namespace vorra
