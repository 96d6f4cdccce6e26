#include "platform/shell/BrowseFolder.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "tests/support/TestSupport.h"

namespace win {
namespace {

class TFakeBrowser : public IBrowseFolderUI {
 public:
  bool BrowseForFolder(HWND owner, const std::string& title, const std::string& root, UINT flags,
                       std::string& path) override {
    seenTitle = title;
    seenRoot = root;
    seenFlags = flags;
    ++calls;
    if (!answer) return false;
    path = *answer;
    return true;
  }
  std::optional<std::string> answer;
  std::string seenTitle, seenRoot;
  UINT seenFlags = 0;
  int calls = 0;
};

class TInstall {
 public:
  explicit TInstall(IBrowseFolderUI* ui) : old_(SetBrowseFolderUI(ui)) {}
  ~TInstall() { SetBrowseFolderUI(old_); }

 private:
  IBrowseFolderUI* old_;
};

TEST(BrowseFolder, WithoutABrowserTheAnswerIsCancelled) {
  char name[kBrowseMaxPath] = "junk";
  BROWSEINFOA bi;
  bi.pszDisplayName = name;
  bi.lpszTitle = "Select Directory";
  EXPECT_EQ(SHBrowseForFolderA(&bi), nullptr);
  EXPECT_STREQ(name, "");
}

TEST(BrowseFolder, TheChosenFolderComesBackAsAPathList) {
  vorra::test::TTempDir dir;
  vorra::test::TScopedEnv home("VORRA_HOME", dir.Folder());
  std::filesystem::create_directory(dir.Path() / "Flash Files");
  TFakeBrowser browser;
  TInstall install(&browser);
  browser.answer = dir / "Flash Files";

  char name[kBrowseMaxPath];
  BROWSEINFOA bi;
  bi.pszDisplayName = name;
  bi.lpszTitle = "Select Save Path";
  bi.ulFlags = BIF_RETURNONLYFSDIRS;
  LPITEMIDLIST pidl = SHBrowseForFolderA(&bi);
  ASSERT_NE(pidl, nullptr);
  EXPECT_EQ(browser.seenTitle, "Select Save Path");
  EXPECT_EQ(browser.seenRoot, "");  // no root: the desktop
  EXPECT_EQ(browser.seenFlags, BIF_RETURNONLYFSDIRS);
  EXPECT_STREQ(name, "Flash Files");
  char path[kBrowseMaxPath];
  ASSERT_TRUE(SHGetPathFromIDListA(pidl, path));
  EXPECT_EQ(std::string(path), dir / "Flash Files");

  LPITEMIDLIST copy = ILClone(pidl);
  EXPECT_EQ(ILGetSize(copy), ILGetSize(pidl));
  EXPECT_EQ(PathFromIDList(copy), dir / "Flash Files");
  ILFree(copy);
  ILFree(pidl);

  // A root is passed on as its path.
  LPITEMIDLIST root = ILCreateFromPathA(dir.Path().c_str());
  bi.pidlRoot = root;
  pidl = SHBrowseForFolderA(&bi);
  EXPECT_EQ(browser.seenRoot, dir.Path().string());
  ILFree(pidl);

  browser.answer.reset();
  EXPECT_EQ(SHBrowseForFolderA(&bi), nullptr);
  EXPECT_EQ(browser.calls, 3);
  // The root stays in bi until the last call has read it.
  ILFree(root);
}

TEST(BrowseFolder, OnlyFileSystemFoldersWhenAsked) {
  vorra::test::TTempDir dir;
  vorra::test::TScopedEnv home("VORRA_HOME", dir.Folder());
  vorra::test::WriteText(dir / "file.txt", "x");
  TFakeBrowser browser;
  TInstall install(&browser);
  BROWSEINFOA bi;
  bi.ulFlags = BIF_RETURNONLYFSDIRS;
  for (const std::string& bad : {dir / "file.txt", dir / "missing", std::string()}) {
    browser.answer = bad;
    EXPECT_EQ(SHBrowseForFolderA(&bi), nullptr) << bad;
  }
  bi.ulFlags = 0;
  browser.answer = dir / "missing";
  LPITEMIDLIST pidl = SHBrowseForFolderA(&bi);
  EXPECT_EQ(PathFromIDList(pidl), dir / "missing");
  ILFree(pidl);
}

TEST(BrowseFolder, PathsThatDoNotFitTheBufferAreRefused) {
  const std::string longPath = "/" + std::string(300, 'a');
  LPITEMIDLIST pidl = ILCreateFromPathA(longPath.c_str());
  char path[kBrowseMaxPath] = "junk";
  EXPECT_FALSE(SHGetPathFromIDListA(pidl, path));
  EXPECT_STREQ(path, "");
  std::string big(400, '\0');
  EXPECT_TRUE(SHGetPathFromIDListEx(pidl, big.data(), static_cast<DWORD>(big.size()), 0));
  EXPECT_EQ(std::string(big.c_str()), longPath);
  ILFree(pidl);

  LPITEMIDLIST desktop = ILCreateFromPathA("");
  EXPECT_FALSE(SHGetPathFromIDListA(desktop, path));
  EXPECT_EQ(ILGetSize(desktop), 2u);
  ILFree(desktop);
  EXPECT_FALSE(SHGetPathFromIDListA(nullptr, path));
  EXPECT_EQ(ILCreateFromPathA(std::string(70000, 'x').c_str()), nullptr);
}

}  // namespace
}  // namespace win
