#include <gtest/gtest.h>

#include <fstream>
#include <string>

#include "platform/shell/FileIcons.h"
#include "platform/shell/SpecialFolders.h"
#include "platform/win/Errors.h"
#include "tests/support/TestSupport.h"

namespace win {
namespace {

int SmallIcon(const char* name, DWORD attributes, DWORD_PTR* list = nullptr) {
  SHFILEINFOA info;
  const DWORD_PTR r = SHGetFileInfoA(name, attributes, &info, sizeof(info),
                                     SHGFI_SYSICONINDEX | SHGFI_SMALLICON | SHGFI_USEFILEATTRIBUTES);
  if (list) *list = r;
  return r ? info.iIcon : -1;
}

TEST(ShellIcons, TypesGetTheThemesFolderPageAndGenericIconsFromOneList) {
  SHFILEINFOA info;
  const auto list = SHGetFileInfoA("", 0, &info, sizeof(info), SHGFI_SYSICONINDEX | SHGFI_SMALLICON);
  ASSERT_NE(list, 0u);
  DWORD_PTR same = 0;
  const int folder = SmallIcon("anything", FILE_ATTRIBUTE_DIRECTORY, &same);
  EXPECT_EQ(same, list);
  EXPECT_EQ(GetSystemIconName(folder), "folder");
  const int page = SmallIcon("*.htm", FILE_ATTRIBUTE_NORMAL);
  EXPECT_EQ(GetSystemIconName(page), "text-html");
  EXPECT_EQ(SmallIcon("INDEX.HTML", FILE_ATTRIBUTE_NORMAL), page);  // extensions ignore case
  const int unknown = SmallIcon("data.no-such-type", FILE_ATTRIBUTE_NORMAL);
  EXPECT_EQ(GetSystemIconName(unknown), "text-x-generic");
  EXPECT_NE(unknown, page);
  EXPECT_EQ(SmallIcon("other.unknowable", FILE_ATTRIBUTE_NORMAL), unknown);  // one entry per icon
  // Without the attributes flag the path must exist.
  EXPECT_EQ(SHGetFileInfoA("/no/such/file.htm", 0, &info, sizeof(info), SHGFI_SYSICONINDEX | SHGFI_SMALLICON), 0u);
}

TEST(ShellIcons, DrawingBlendsTheIconInsideItsSquareOnly) {
  SHFILEINFOA info;
  auto list = reinterpret_cast<HIMAGELIST>(SHGetFileInfoA("x", FILE_ATTRIBUTE_DIRECTORY, &info, sizeof(info),
                                                          SHGFI_SYSICONINDEX | SHGFI_SMALLICON | SHGFI_USEFILEATTRIBUTES));
  BITMAPINFO bi{};
  bi.bmiHeader.biWidth = 24;
  bi.bmiHeader.biHeight = -24;
  void* bits = nullptr;
  HBITMAP bmp = CreateDIBSection(nullptr, &bi, DIB_RGB_COLORS, &bits, nullptr, 0);
  HDC dc = CreateCompatibleDC(nullptr);
  HGDIOBJ old = SelectObject(dc, bmp);
  auto* px = static_cast<std::uint32_t*>(bits);
  std::fill(px, px + 24 * 24, 0x00FFFFFFu);
  ASSERT_TRUE(ImageList_Draw(list, info.iIcon, dc, 4, 4, ILD_NORMAL));
  int changed = 0, outside = 0;
  for (int y = 0; y < 24; ++y)
    for (int x = 0; x < 24; ++x)
      if ((px[y * 24 + x] & 0xFFFFFF) != 0xFFFFFF) (x >= 4 && x < 20 && y >= 4 && y < 20 ? changed : outside)++;
  EXPECT_GT(changed, 40);
  EXPECT_EQ(outside, 0);
  EXPECT_FALSE(ImageList_Draw(list, ImageList_GetImageCount(list), dc, 0, 0, ILD_NORMAL));
  SelectObject(dc, old);
  DeleteDC(dc);
  DeleteObject(bmp);
}

TEST(ShellSpecialFolders, UserDirectoriesComeFromTheirFileElseTheDefaultsAndSomeFoldersHaveNone) {
  vorra::test::TTempDir home;
  vorra::test::TScopedEnv env("VORRA_HOME", home.Folder());
  std::filesystem::create_directories(home / ".config");
  std::ofstream(home / ".config/user-dirs.dirs") << "# written by a test\n"
                                                    "XDG_DOCUMENTS_DIR=\"$HOME/Papers\"\n"
                                                    "XDG_TEMPLATES_DIR=\"relative/ignored\"\n";
  char path[260];
  ASSERT_TRUE(SHGetSpecialFolderPathA(nullptr, path, CSIDL_PERSONAL, FALSE));
  EXPECT_EQ(std::string(path), home / "Papers");
  ASSERT_TRUE(SHGetSpecialFolderPathA(nullptr, path, CSIDL_DESKTOP, TRUE));
  EXPECT_EQ(std::string(path), home / "Desktop");
  EXPECT_TRUE(std::filesystem::is_directory(path));
  ASSERT_TRUE(SHGetSpecialFolderPathA(nullptr, path, CSIDL_TEMPLATES, FALSE));
  EXPECT_EQ(std::string(path), home / "Templates");

  LPITEMIDLIST pidl = reinterpret_cast<LPITEMIDLIST>(1);
  EXPECT_EQ(SHGetSpecialFolderLocation(nullptr, CSIDL_PRINTERS, &pidl), E_FAIL);
  EXPECT_EQ(pidl, nullptr);
  EXPECT_EQ(SHGetSpecialFolderLocation(nullptr, 3000, &pidl), E_FAIL);
  ASSERT_EQ(SHGetSpecialFolderLocation(nullptr, CSIDL_BITBUCKET, &pidl), S_OK);
  SHFILEINFOA info;
  SHGetFileInfoA(reinterpret_cast<LPCSTR>(pidl), 0, &info, sizeof(info), SHGFI_PIDL | SHGFI_SYSICONINDEX | SHGFI_SMALLICON);
  EXPECT_EQ(GetSystemIconName(info.iIcon), "user-trash");
  ILFree(pidl);
}

}  // namespace
}  // namespace win
