// The system's small-icon list and SHGetFileInfoA's icon lookup. The icons
// come from the freedesktop icon theme (Adwaita, then hicolor, 16x16 PNGs
// under $XDG_DATA_DIRS/icons); file types from shared-mime-info's globs2.
// An icon the theme lacks is drawn plainly, so a lookup never fails.
//
// The list is one per process and grows as new icons are asked for; an index
// stays valid for the life of the process. It is never destroyed.
#pragma once

#include <cstdint>
#include <string>

#include "platform/shell/BrowseFolder.h"
#include "platform/ui/Gdi.h"
#include "platform/ui/Window.h"

namespace win {

using DWORD_PTR = std::uintptr_t;

struct IMAGELIST__;
using HIMAGELIST = IMAGELIST__*;

inline constexpr UINT ILD_NORMAL = 0x0000;
inline constexpr UINT ILD_TRANSPARENT = 0x0001;

inline constexpr DWORD FILE_ATTRIBUTE_DIRECTORY = 0x00000010;
inline constexpr DWORD FILE_ATTRIBUTE_NORMAL = 0x00000080;

inline constexpr UINT SHGFI_LARGEICON = 0x000000;
inline constexpr UINT SHGFI_SMALLICON = 0x000001;
inline constexpr UINT SHGFI_OPENICON = 0x000002;
inline constexpr UINT SHGFI_PIDL = 0x000008;
inline constexpr UINT SHGFI_USEFILEATTRIBUTES = 0x000010;
inline constexpr UINT SHGFI_TYPENAME = 0x000400;
inline constexpr UINT SHGFI_SYSICONINDEX = 0x004000;

struct SHFILEINFOA {
  HICON hIcon = nullptr;
  int iIcon = 0;
  DWORD dwAttributes = 0;
  char szDisplayName[260] = {};
  char szTypeName[80] = {};  // the MIME type here
};

// With SHGFI_SYSICONINDEX answers the system image list (small icons with
// SHGFI_SMALLICON; this list has only the small size) and sets iIcon.
// SHGFI_USEFILEATTRIBUTES takes pszPath as a name only (the extension
// decides; FILE_ATTRIBUTE_DIRECTORY gives the folder icon); without it the
// path must exist. SHGFI_PIDL takes pszPath as an LPCITEMIDLIST. Answers 0
// when the path does not exist or the call names nothing to do.
DWORD_PTR SHGetFileInfoA(LPCSTR pszPath, DWORD dwFileAttributes, SHFILEINFOA* psfi, UINT cbFileInfo, UINT uFlags);

int ImageList_GetImageCount(HIMAGELIST himl);
BOOL ImageList_GetIconSize(HIMAGELIST himl, int* cx, int* cy);
// Blends the icon over the DC at (x, y), through its origins and clipping.
BOOL ImageList_Draw(HIMAGELIST himl, int i, HDC hdcDst, int x, int y, UINT fStyle);

// The theme name of a system list icon ("folder", "text-html"...), "" for an
// index outside the list. For tests and diagnostics.
std::string GetSystemIconName(int index);

// The theme icon of a file name by its extension, as globs2 gives the type.
std::string IconNameOfFileName(const std::string& name);

}  // namespace win
