// The shell's folder browser and the item-ID lists it answers with. Here an
// item-ID list holds one file-system path (an empty list is the desktop, the
// root that shows the user's home and "/"). Lists are allocated with malloc,
// so ILFree or the task allocator's free releases them.
//
// The browser itself is a UI that the class library installs (like the file
// operations' IShellOperationUI); without one, SHBrowseForFolderA answers
// null, as a cancelled browser does.
#pragma once

#include <string>

#include "platform/ui/UiTypes.h"
#include "platform/win/Types.h"

namespace win {

using USHORT = std::uint16_t;

#pragma pack(push, 1)
struct SHITEMID {
  USHORT cb;  // bytes of this item, cb included; 0 ends the list
  BYTE abID[1];
};
struct ITEMIDLIST {
  SHITEMID mkid;
};
#pragma pack(pop)
using LPITEMIDLIST = ITEMIDLIST*;
using LPCITEMIDLIST = const ITEMIDLIST*;
using PIDLIST_ABSOLUTE = ITEMIDLIST*;

using BFFCALLBACK = int (*)(HWND hwnd, UINT uMsg, LPARAM lParam, LPARAM lpData);

struct BROWSEINFOA {
  HWND hwndOwner = nullptr;
  LPCITEMIDLIST pidlRoot = nullptr;  // null: the desktop
  LPSTR pszDisplayName = nullptr;    // MAX_PATH bytes: the chosen folder's name
  LPCSTR lpszTitle = nullptr;
  UINT ulFlags = 0;
  BFFCALLBACK lpfn = nullptr;  // not called here
  LPARAM lParam = 0;
  int iImage = 0;
};

inline constexpr UINT BIF_RETURNONLYFSDIRS = 0x0001;
inline constexpr UINT BIF_DONTGOBELOWDOMAIN = 0x0002;
inline constexpr UINT BIF_STATUSTEXT = 0x0004;
inline constexpr UINT BIF_RETURNFSANCESTORS = 0x0008;
inline constexpr UINT BIF_EDITBOX = 0x0010;
inline constexpr UINT BIF_VALIDATE = 0x0020;
inline constexpr UINT BIF_NEWDIALOGSTYLE = 0x0040;
inline constexpr UINT BIF_USENEWUI = 0x0050;
inline constexpr UINT BIF_BROWSEINCLUDEURLS = 0x0080;
inline constexpr UINT BIF_NONEWFOLDERBUTTON = 0x0200;
inline constexpr UINT BIF_BROWSEFORCOMPUTER = 0x1000;
inline constexpr UINT BIF_BROWSEFORPRINTER = 0x2000;
inline constexpr UINT BIF_BROWSEINCLUDEFILES = 0x4000;

inline constexpr UINT kBrowseMaxPath = 260;  // MAX_PATH: the size of the callers' buffers

// What the installed browser is asked: root "" is the desktop.
class IBrowseFolderUI {
 public:
  virtual ~IBrowseFolderUI() = default;
  // True with `path` set to the chosen folder; false when cancelled.
  virtual bool BrowseForFolder(HWND owner, const std::string& title, const std::string& root, UINT flags,
                               std::string& path) = 0;
};

// Installs the browser for later calls and answers the previous one.
IBrowseFolderUI* SetBrowseFolderUI(IBrowseFolderUI* ui);

// Null when cancelled, when there is no browser, or when the choice breaks
// BIF_RETURNONLYFSDIRS (not an existing folder). The display name is the
// folder's last name, cut to the buffer.
LPITEMIDLIST SHBrowseForFolderA(BROWSEINFOA* info);

// Copies the list's path into `path` (kBrowseMaxPath bytes). FALSE, with an
// empty text, for the desktop, a null list or a path that does not fit.
BOOL SHGetPathFromIDListA(LPCITEMIDLIST pidl, LPSTR path);
// The same into a buffer of `cchPath` bytes.
BOOL SHGetPathFromIDListEx(LPCITEMIDLIST pidl, LPSTR path, DWORD cchPath, int flags);

// A list holding the path (null for a null path or one too long for a list);
// "" gives the desktop.
LPITEMIDLIST ILCreateFromPathA(LPCSTR path);
LPITEMIDLIST ILClone(LPCITEMIDLIST pidl);
UINT ILGetSize(LPCITEMIDLIST pidl);
void ILFree(LPITEMIDLIST pidl);

// The path a list holds ("" for the desktop or null).
std::string PathFromIDList(LPCITEMIDLIST pidl);

}  // namespace win
