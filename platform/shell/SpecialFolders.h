// The shell's special folders: the XDG user directories (user-dirs.dirs under
// the config home, else their defaults) and the home folder. The home is
// $VORRA_HOME when set (tests), else $HOME. Folders without a counterpart on
// this desktop (printers, control panel, network...) have no location: the
// calls fail with E_FAIL, as the shell does for a folder it lacks.
#pragma once

#include <string>

#include "platform/shell/BrowseFolder.h"
#include "platform/win/Types.h"

namespace win {

inline constexpr int CSIDL_DESKTOP = 0x0000;
inline constexpr int CSIDL_PROGRAMS = 0x0002;
inline constexpr int CSIDL_CONTROLS = 0x0003;
inline constexpr int CSIDL_PRINTERS = 0x0004;
inline constexpr int CSIDL_PERSONAL = 0x0005;
inline constexpr int CSIDL_FAVORITES = 0x0006;
inline constexpr int CSIDL_STARTUP = 0x0007;
inline constexpr int CSIDL_RECENT = 0x0008;
inline constexpr int CSIDL_SENDTO = 0x0009;
inline constexpr int CSIDL_BITBUCKET = 0x000A;
inline constexpr int CSIDL_STARTMENU = 0x000B;
inline constexpr int CSIDL_DESKTOPDIRECTORY = 0x0010;
inline constexpr int CSIDL_DRIVES = 0x0011;
inline constexpr int CSIDL_NETWORK = 0x0012;
inline constexpr int CSIDL_NETHOOD = 0x0013;
inline constexpr int CSIDL_FONTS = 0x0014;
inline constexpr int CSIDL_TEMPLATES = 0x0015;
inline constexpr int CSIDL_APPDATA = 0x001A;
inline constexpr int CSIDL_PRINTHOOD = 0x001B;
inline constexpr int CSIDL_PROFILE = 0x0028;

// The user's home folder, without a trailing "/".
std::string GetHomeFolder();

// A new item-ID list of the folder's path (free it with ILFree); E_FAIL
// when the folder has no location here, E_INVALIDARG for a null out pointer.
HRESULT SHGetSpecialFolderLocation(HWND hwnd, int csidl, LPITEMIDLIST* ppidl);
// With fCreate the folder is made when missing.
BOOL SHGetSpecialFolderPathA(HWND hwnd, LPSTR pszPath, int csidl, BOOL fCreate);

// The theme icon of a special folder's path ("user-trash"...), "" for any
// other path.
std::string SpecialFolderIconName(const std::string& path);

}  // namespace win
