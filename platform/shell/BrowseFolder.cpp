#include "platform/shell/BrowseFolder.h"

#include <sys/stat.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>

namespace win {
namespace {

IBrowseFolderUI*& CurrentUI() {
  static IBrowseFolderUI* ui = nullptr;
  return ui;
}

USHORT ReadCb(const BYTE* p) {
  USHORT cb;
  std::memcpy(&cb, p, sizeof cb);
  return cb;
}

bool IsFolder(const std::string& path) {
  struct stat st;
  return !path.empty() && ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

void CopyCut(const std::string& text, LPSTR buffer, std::size_t size) {
  if (!buffer || size == 0) return;
  const std::size_t n = std::min(text.size(), size - 1);
  std::memcpy(buffer, text.data(), n);
  buffer[n] = '\0';
}

}  // namespace

IBrowseFolderUI* SetBrowseFolderUI(IBrowseFolderUI* ui) {
  IBrowseFolderUI* old = CurrentUI();
  CurrentUI() = ui;
  return old;
}

LPITEMIDLIST ILCreateFromPathA(LPCSTR path) {
  if (!path) return nullptr;
  const std::size_t len = std::strlen(path);
  // One item (cb, the path, its zero) and the ending zero cb.
  const std::size_t item = sizeof(USHORT) + len + 1;
  if (len == 0) {
    auto* list = static_cast<BYTE*>(std::calloc(1, sizeof(USHORT)));
    return reinterpret_cast<LPITEMIDLIST>(list);
  }
  if (item > 0xFFFF) return nullptr;
  auto* list = static_cast<BYTE*>(std::malloc(item + sizeof(USHORT)));
  if (!list) return nullptr;
  const USHORT cb = static_cast<USHORT>(item);
  const USHORT end = 0;
  std::memcpy(list, &cb, sizeof cb);
  std::memcpy(list + sizeof cb, path, len + 1);
  std::memcpy(list + item, &end, sizeof end);
  return reinterpret_cast<LPITEMIDLIST>(list);
}

std::string PathFromIDList(LPCITEMIDLIST pidl) {
  if (!pidl) return {};
  const auto* p = reinterpret_cast<const BYTE*>(pidl);
  const USHORT cb = ReadCb(p);
  if (cb <= sizeof(USHORT)) return {};
  // The path ends at its zero, within the item.
  const auto* text = reinterpret_cast<const char*>(p + sizeof(USHORT));
  return std::string(text, strnlen(text, cb - sizeof(USHORT)));
}

UINT ILGetSize(LPCITEMIDLIST pidl) {
  if (!pidl) return 0;
  const auto* p = reinterpret_cast<const BYTE*>(pidl);
  UINT size = 0;
  for (USHORT cb = ReadCb(p); cb != 0; cb = ReadCb(p + size)) size += cb;
  return size + sizeof(USHORT);
}

LPITEMIDLIST ILClone(LPCITEMIDLIST pidl) {
  if (!pidl) return nullptr;
  const UINT size = ILGetSize(pidl);
  void* copy = std::malloc(size);
  if (copy) std::memcpy(copy, pidl, size);
  return static_cast<LPITEMIDLIST>(copy);
}

void ILFree(LPITEMIDLIST pidl) { std::free(pidl); }

BOOL SHGetPathFromIDListEx(LPCITEMIDLIST pidl, LPSTR path, DWORD cchPath, int) {
  if (!path || cchPath == 0) return FALSE;
  path[0] = '\0';
  const std::string text = PathFromIDList(pidl);
  if (text.empty() || text.size() + 1 > cchPath) return FALSE;
  std::memcpy(path, text.c_str(), text.size() + 1);
  return TRUE;
}

BOOL SHGetPathFromIDListA(LPCITEMIDLIST pidl, LPSTR path) {
  return SHGetPathFromIDListEx(pidl, path, kBrowseMaxPath, 0);
}

LPITEMIDLIST SHBrowseForFolderA(BROWSEINFOA* info) {
  if (!info) return nullptr;
  if (info->pszDisplayName) info->pszDisplayName[0] = '\0';
  IBrowseFolderUI* ui = CurrentUI();
  if (!ui) return nullptr;
  std::string chosen;
  if (!ui->BrowseForFolder(info->hwndOwner, info->lpszTitle ? info->lpszTitle : "", PathFromIDList(info->pidlRoot),
                           info->ulFlags, chosen))
    return nullptr;
  if ((info->ulFlags & BIF_RETURNONLYFSDIRS) && !IsFolder(chosen)) return nullptr;
  std::string name = chosen;
  while (name.size() > 1 && name.back() == '/') name.pop_back();
  const auto slash = name.rfind('/');
  if (slash != std::string::npos && name.size() > 1) name = name.substr(slash + 1);
  CopyCut(name, info->pszDisplayName, kBrowseMaxPath);
  return ILCreateFromPathA(chosen.c_str());
}

}  // namespace win
