#include "platform/shell/FileIcons.h"

#include <sys/stat.h>

#include <algorithm>
#include <array>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <vector>

#include "platform/shell/SpecialFolders.h"
#include "platform/ui/Png.h"
#include "platform/win/Ascii.h"

namespace win {

struct IMAGELIST__ {};

namespace {

namespace fs = std::filesystem;

constexpr int kIconSize = 16;
using TPixels = std::array<std::uint32_t, kIconSize * kIconSize>;  // premultiplied BGRA

constexpr const char* kGenericFile = "text-x-generic";

struct TIcon {
  std::string Name;
  TPixels Pixels{};
};

std::vector<std::string> Split(const std::string& s, char sep) {
  std::vector<std::string> out;
  size_t start = 0;
  while (start <= s.size()) {
    const size_t end = s.find(sep, start);
    out.push_back(s.substr(start, end == std::string::npos ? std::string::npos : end - start));
    if (end == std::string::npos) break;
    start = end + 1;
  }
  return out;
}

std::vector<std::string> DataDirs() {
  const char* env = std::getenv("XDG_DATA_DIRS");
  std::string dirs = env && *env ? env : "/usr/local/share:/usr/share";
  std::vector<std::string> out;
  for (std::string& d : Split(dirs, ':'))
    if (!d.empty() && d[0] == '/') out.push_back(std::move(d));
  return out;
}

// The 16-pixel folders of the themes we draw from, in the order they are asked.
std::vector<fs::path> ThemeFolders() {
  std::vector<fs::path> out;
  const std::vector<std::string> roots = DataDirs();
  for (const char* theme : {"Adwaita", "hicolor"}) {
    for (const std::string& root : roots) {
      std::error_code ec;
      const fs::path base = fs::path(root) / "icons" / theme / "16x16";
      std::vector<fs::path> subs;
      for (fs::directory_iterator it(base, ec), end; !ec && it != end; it.increment(ec))
        if (it->is_directory(ec)) subs.push_back(it->path());
      std::sort(subs.begin(), subs.end());
      out.insert(out.end(), subs.begin(), subs.end());
    }
  }
  return out;
}

struct TMimeGlob {
  int Weight = -1;
  std::string Type;
};

class TSystemIcons {
 public:
  TSystemIcons() : folders_(ThemeFolders()) { LoadMime(); }

  int IndexOf(const std::string& name) {
    if (auto it = index_.find(name); it != index_.end()) return it->second;
    TIcon icon;
    icon.Name = name;
    if (!LoadThemeIcon(name, icon.Pixels)) DrawFallback(name, icon.Pixels);
    icons_.push_back(std::move(icon));
    const int index = static_cast<int>(icons_.size()) - 1;
    index_[name] = index;
    return index;
  }

  bool HasThemeIcon(const std::string& name) {
    if (auto it = found_.find(name); it != found_.end()) return !it->second.empty();
    std::string path;
    for (const fs::path& dir : folders_) {
      std::error_code ec;
      const fs::path p = dir / (name + ".png");
      if (fs::is_regular_file(p, ec)) {
        path = p.string();
        break;
      }
    }
    found_[name] = path;
    return !path.empty();
  }

  // The icon of a file name: its type's own icon, the type's generic one, the
  // media type's generic one, else a plain document.
  std::string IconOfName(const std::string& fileName) {
    const TMimeGlob* glob = GlobOf(fileName);
    if (!glob) return kGenericFile;
    const std::string& type = glob->Type;
    std::vector<std::string> candidates;
    if (auto it = typeIcons_.find(type); it != typeIcons_.end()) candidates.push_back(it->second);
    std::string dashed = type;
    std::replace(dashed.begin(), dashed.end(), '/', '-');
    candidates.push_back(dashed);
    if (auto it = genericIcons_.find(type); it != genericIcons_.end()) candidates.push_back(it->second);
    candidates.push_back(type.substr(0, type.find('/')) + "-x-generic");
    for (const std::string& c : candidates)
      if (HasThemeIcon(c)) return c;
    return kGenericFile;
  }

  std::string TypeOfName(const std::string& fileName) {
    const TMimeGlob* glob = GlobOf(fileName);
    return glob ? glob->Type : "application/octet-stream";
  }

  const std::vector<TIcon>& Icons() const { return icons_; }

 private:
  const TMimeGlob* GlobOf(const std::string& fileName) {
    const size_t slash = fileName.find_last_of('/');
    const std::string base = slash == std::string::npos ? fileName : fileName.substr(slash + 1);
    // Longest extension first: "a.tar.gz" is a tarball before it is gzip.
    for (size_t dot = base.find('.'); dot != std::string::npos; dot = base.find('.', dot + 1)) {
      if (auto it = globs_.find(AsciiLowerCase(base.substr(dot + 1))); it != globs_.end()) return &it->second;
    }
    return nullptr;
  }

  void LoadMime() {
    for (const std::string& root : DataDirs()) {
      std::ifstream globs(root + "/mime/globs2");
      std::string line;
      while (std::getline(globs, line)) {
        if (line.empty() || line[0] == '#') continue;
        const std::vector<std::string> f = Split(line, ':');
        if (f.size() < 3 || f[2].size() < 3 || f[2].compare(0, 2, "*.") != 0) continue;
        const std::string ext = AsciiLowerCase(f[2].substr(2));
        if (ext.find_first_of("*?[") != std::string::npos) continue;
        const int weight = std::atoi(f[0].c_str());
        TMimeGlob& g = globs_[ext];
        if (weight > g.Weight) g = TMimeGlob{weight, f[1]};
      }
      ReadPairs(root + "/mime/icons", typeIcons_);
      ReadPairs(root + "/mime/generic-icons", genericIcons_);
    }
  }

  static void ReadPairs(const std::string& path, std::map<std::string, std::string>& out) {
    std::ifstream in(path);
    std::string line;
    while (std::getline(in, line)) {
      const size_t colon = line.rfind(':');
      if (colon == std::string::npos || colon == 0) continue;
      out.emplace(line.substr(0, colon), line.substr(colon + 1));
    }
  }

  bool LoadThemeIcon(const std::string& name, TPixels& out) {
    if (!HasThemeIcon(name)) return false;
    HBITMAP bmp = LoadPng(found_[name]);
    if (!bmp) return false;
    BITMAP info{};
    GetObject(bmp, sizeof(info), &info);
    const bool fits = info.bmWidth == kIconSize && info.bmHeight == kIconSize && info.bmBits;
    if (fits) {
      const auto* src = static_cast<const std::uint32_t*>(info.bmBits);
      for (int i = 0; i < kIconSize * kIconSize; ++i) {
        const std::uint32_t p = src[i];
        const std::uint32_t a = p >> 24;
        std::uint32_t q = a << 24;
        for (int sh = 0; sh < 24; sh += 8) q |= (((p >> sh) & 0xFF) * a + 127) / 255 << sh;
        out[static_cast<size_t>(i)] = q;
      }
    }
    DeleteObject(bmp);
    return fits;
  }

  // A plain page, or a folder, for a desktop without an icon theme.
  static void DrawFallback(const std::string& name, TPixels& px) {
    px.fill(0);
    auto put = [&](int x, int y, std::uint32_t c) { px[static_cast<size_t>(y * kIconSize + x)] = c; };
    const bool folder = name.rfind("folder", 0) == 0 || name == "inode-directory" || name.rfind("user-", 0) == 0;
    if (folder) {
      for (int y = 3; y < 14; ++y)
        for (int x = 1; x < 15; ++x) {
          const bool edge = y == 3 || y == 13 || x == 1 || x == 14 || (y == 5 && x > 6);
          if (y == 3 && x > 6) continue;
          put(x, y, edge ? 0xFF806000u : 0xFFF0C040u);
        }
      return;
    }
    const bool web = name == "text-html";
    for (int y = 1; y < 15; ++y)
      for (int x = 3; x < 13; ++x) {
        const bool edge = y == 1 || y == 14 || x == 3 || x == 12;
        std::uint32_t c = edge ? 0xFF606060u : 0xFFFFFFFFu;
        if (!edge && web && y >= 4 && y <= 6) c = 0xFF3060C0u;
        put(x, y, c);
      }
  }

  std::vector<fs::path> folders_;
  std::map<std::string, std::string> found_;  // icon name -> file ("" none)
  std::map<std::string, TMimeGlob> globs_;    // lower-case extension -> type
  std::map<std::string, std::string> typeIcons_, genericIcons_;
  std::vector<TIcon> icons_;
  std::map<std::string, int> index_;
};

IMAGELIST__ g_systemList;

// A folder by path: special folders keep their own icons.
std::string DirectoryIcon(const std::string& path) {
  std::string name = SpecialFolderIconName(path);
  return name.empty() ? "folder" : name;
}

TSystemIcons& Icons() {
  static TSystemIcons icons;
  return icons;
}

}  // namespace

std::string IconNameOfFileName(const std::string& name) { return Icons().IconOfName(name); }

std::string GetSystemIconName(int index) {
  const std::vector<TIcon>& icons = Icons().Icons();
  return index >= 0 && index < static_cast<int>(icons.size()) ? icons[static_cast<size_t>(index)].Name : std::string();
}

DWORD_PTR SHGetFileInfoA(LPCSTR pszPath, DWORD dwFileAttributes, SHFILEINFOA* psfi, UINT cbFileInfo, UINT uFlags) {
  if (!pszPath) return 0;
  std::string iconName;
  std::string typeName;
  if (uFlags & SHGFI_PIDL) {
    char path[4096];
    const auto* pidl = reinterpret_cast<LPCITEMIDLIST>(pszPath);
    if (!SHGetPathFromIDListEx(pidl, path, sizeof(path), 0)) return 0;
    iconName = SpecialFolderIconName(path);
    if (iconName.empty()) iconName = DirectoryIcon(path);
    typeName = "inode/directory";
  } else {
    const std::string path = pszPath;
    bool directory = false;
    if (uFlags & SHGFI_USEFILEATTRIBUTES) {
      directory = (dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
    } else if (!path.empty()) {
      struct stat st{};
      if (stat(path.c_str(), &st) != 0) return 0;
      directory = S_ISDIR(st.st_mode);
      if (directory && !(uFlags & SHGFI_USEFILEATTRIBUTES)) iconName = DirectoryIcon(path);
    }
    if (path.empty() && !(uFlags & SHGFI_USEFILEATTRIBUTES)) {
      // The empty path only asks for the list itself.
      if (!(uFlags & SHGFI_SYSICONINDEX)) return 0;
      if (psfi && cbFileInfo >= sizeof(SHFILEINFOA)) psfi->iIcon = 0;
      return reinterpret_cast<DWORD_PTR>(&g_systemList);
    }
    if (iconName.empty()) iconName = directory ? "folder" : Icons().IconOfName(path);
    typeName = directory ? "inode/directory" : Icons().TypeOfName(path);
  }
  const bool room = psfi && cbFileInfo >= sizeof(SHFILEINFOA);
  if (room && (uFlags & SHGFI_TYPENAME)) {
    std::strncpy(psfi->szTypeName, typeName.c_str(), sizeof(psfi->szTypeName) - 1);
    psfi->szTypeName[sizeof(psfi->szTypeName) - 1] = '\0';
  }
  if (uFlags & SHGFI_SYSICONINDEX) {
    const int index = Icons().IndexOf(iconName);
    if (room) psfi->iIcon = index;
    return reinterpret_cast<DWORD_PTR>(&g_systemList);
  }
  return 1;
}

int ImageList_GetImageCount(HIMAGELIST himl) {
  return himl == &g_systemList ? static_cast<int>(Icons().Icons().size()) : 0;
}

BOOL ImageList_GetIconSize(HIMAGELIST himl, int* cx, int* cy) {
  if (himl != &g_systemList || !cx || !cy) return FALSE;
  *cx = *cy = kIconSize;
  return TRUE;
}

BOOL ImageList_Draw(HIMAGELIST himl, int i, HDC hdcDst, int x, int y, UINT) {
  if (himl != &g_systemList || i < 0 || i >= ImageList_GetImageCount(himl) || !hdcDst) return FALSE;
  BITMAPINFO bi{};
  bi.bmiHeader.biWidth = kIconSize;
  bi.bmiHeader.biHeight = -kIconSize;
  void* bits = nullptr;
  HBITMAP bmp = CreateDIBSection(nullptr, &bi, DIB_RGB_COLORS, &bits, nullptr, 0);
  if (!bmp) return FALSE;
  const TPixels& px = Icons().Icons()[static_cast<size_t>(i)].Pixels;
  std::memcpy(bits, px.data(), sizeof(px));
  HDC mem = CreateCompatibleDC(nullptr);
  HGDIOBJ old = SelectObject(mem, bmp);
  const BOOL ok = AlphaBlend(hdcDst, x, y, kIconSize, kIconSize, mem, 0, 0, kIconSize, kIconSize,
                             BLENDFUNCTION{AC_SRC_OVER, 0, 255, AC_SRC_ALPHA});
  SelectObject(mem, old);
  DeleteDC(mem);
  DeleteObject(bmp);
  return ok;
}

}  // namespace win
