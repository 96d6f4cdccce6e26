#include "main/Main.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "framework/DialogHook.h"
#include "framework/Dialogs.h"
#include "framework/Registry.h"
#include "main/AppFiles.h"
#include "main/DownProgress.h"
#include "main/Settings.h"
#include "platform/ui/Window.h"
#include "tests/support/TestSupport.h"

namespace vorra {
namespace {

namespace fs = std::filesystem;

class MainFrmTest : public ::testing::Test {
 protected:
  void SetUp() override { InstallShellDialogs(); }
  void TearDown() override {
    if (form_) form_->Free();
    Application->Shutdown();
    ClearAppFolders();
  }

  // Start-up as the program does it, from the given program folder.
  TVorraMainFrm* Start() {
    form_ = new TVorraMainFrm(nullptr, program_);
    form_->AfterConstruction();
    return form_;
  }
  // A normal shut-down.
  void Stop() {
    form_->Free();
    form_ = nullptr;
  }
  std::string StoredDefaultDir() {
    TRegistry reg;
    if (!reg.OpenKeyReadOnly(SettingsKey)) return "<no key>";
    return reg.ValueExists("DefaultDir") ? reg.ReadString("DefaultDir") : "<no value>";
  }

  test::TTempDir home_;
  test::TScopedEnv env_{"VORRA_HOME", home_.Path().string()};
  std::string program_ = home_.Folder() + "prog/";
  TVorraMainFrm* form_ = nullptr;
};

TEST_F(MainFrmTest, FirstStartCreatesTheKeyAndFoldersAndStoresTheFolderAtShutDown) {
  fs::create_directories(program_);
  TVorraMainFrm* f = Start();
  EXPECT_EQ(StoredDefaultDir(), "<no value>");  // the key exists, nothing written yet
  EXPECT_EQ(f->DefaultDir, program_ + "Flash Files/");
  EXPECT_EQ(f->EditPath->Text(), f->DefaultDir);
  EXPECT_EQ(AppFolder, program_);
  EXPECT_EQ(TempFolder, program_ + "Temp/");
  EXPECT_TRUE(fs::is_directory(TempFolder));
  EXPECT_TRUE(fs::is_directory(f->DefaultDir));
  ASSERT_NE(f->CacheList, nullptr);
  EXPECT_GE(f->CacheList->CacheList.capacity(), CacheListReserve);
  Stop();
  EXPECT_EQ(StoredDefaultDir(), program_ + "Flash Files/");
}

TEST_F(MainFrmTest, AStoredFolderWithoutTrailingDelimiterIsUsedWithOne) {
  fs::create_directories(program_);
  ASSERT_TRUE(WriteDefaultDir(home_.Folder() + "movies"));
  TVorraMainFrm* f = Start();
  EXPECT_EQ(f->DefaultDir, home_.Folder() + "movies/");
  EXPECT_EQ(f->EditPath->Text(), home_.Folder() + "movies/");
  EXPECT_TRUE(fs::is_directory(home_.Folder() + "movies"));
  Stop();
  EXPECT_EQ(StoredDefaultDir(), home_.Folder() + "movies/");
}

TEST_F(MainFrmTest, AFolderThatCannotBeMadeIsNotReportedAndStaysTheDefault) {
  fs::create_directories(program_);
  // A file where a folder on the way should be.
  test::WriteText(home_.Path() / "file", "not a folder");
  const std::string stored = home_.Folder() + "file/movies/";
  ASSERT_TRUE(WriteDefaultDir(stored));
  std::vector<TDialogRequest> asked;
  TScopedDialogHook hook([&](const TDialogRequest& r) {
    asked.push_back(r);
    return TDialogAnswer{mrOk, ""};
  });
  TVorraMainFrm* f = Start();
  EXPECT_EQ(f->DefaultDir, stored);
  EXPECT_FALSE(fs::exists(stored));
  EXPECT_TRUE(fs::is_directory(TempFolder));
  EXPECT_TRUE(asked.empty());
}

TEST_F(MainFrmTest, BrowsedFolderIsShownAtOnceAndStoredOnlyAtANormalShutDown) {
  fs::create_directories(program_);
  const std::string picked = home_.Folder() + "picked";
  fs::create_directories(picked);
  std::vector<TDialogRequest> asked;
  TScopedDialogHook hook([&](const TDialogRequest& r) {
    asked.push_back(r);
    return TDialogAnswer{mrOk, picked};
  });
  TVorraMainFrm* f = Start();
  f->btnBrowse->Click();
  ASSERT_EQ(asked.size(), 1u);
  EXPECT_EQ(asked[0].Kind, TDialogKind::dkFolderBrowser);
  EXPECT_EQ(asked[0].Caption, "Select Directory");
  EXPECT_EQ(f->DefaultDir, picked + "/");
  EXPECT_EQ(f->EditPath->Text(), picked + "/");
  EXPECT_EQ(StoredDefaultDir(), "<no value>");
  // Text typed into the box is never read back.
  f->EditPath->SetText("/somewhere/else");
  Stop();
  EXPECT_EQ(StoredDefaultDir(), picked + "/");
}

TEST_F(MainFrmTest, ACancelledBrowseChangesNothing) {
  fs::create_directories(program_);
  TScopedDialogHook hook([](const TDialogRequest&) { return TDialogAnswer{mrCancel, ""}; });
  TVorraMainFrm* f = Start();
  const std::string before = f->DefaultDir;
  f->btnBrowse->Click();
  EXPECT_EQ(f->DefaultDir, before);
}

TEST_F(MainFrmTest, FourTabsAndThePageFollowsTheSelectedTab) {
  fs::create_directories(program_);
  TVorraMainFrm* f = Start();
  TStrings* tabs = f->MainPageControl->Tabs();
  ASSERT_EQ(tabs->Count(), 4);
  EXPECT_EQ(tabs->Strings(0), "From Web");
  EXPECT_EQ(tabs->Strings(1), "From Cache");
  EXPECT_EQ(tabs->Strings(2), "IE Extensions");
  EXPECT_EQ(tabs->Strings(3), "Option");
  EXPECT_EQ(f->Notebook1->PageCount(), 4);

  f->Show();
  EXPECT_EQ(f->MainPageControl->TabIndex(), 0);
  EXPECT_EQ(f->Notebook1->PageIndex(), 0);
  EXPECT_TRUE(f->btnGo->Showing());
  EXPECT_FALSE(f->btnBrowse->Showing());

  // Clicks on the tab row, in an order that is not the tabs' own.
  for (int k : {3, 1, 2, 0, 2}) {
    const TRect r = f->MainPageControl->TabRect(k);
    TPoint p = f->MainPageControl->ClientToScreen({(r.Left + r.Right) / 2, (r.Top + r.Bottom) / 2});
    ASSERT_TRUE(win::InjectMouseButton(win::VK_LBUTTON, true, p.X, p.Y));
    ASSERT_TRUE(win::InjectMouseButton(win::VK_LBUTTON, false, p.X, p.Y));
    Application->ProcessMessages();
    EXPECT_EQ(f->MainPageControl->TabIndex(), k);
    EXPECT_EQ(f->Notebook1->PageIndex(), k);
  }
  EXPECT_TRUE(f->CheckBox1->Showing());
  EXPECT_FALSE(f->btnGo->Showing());
}

TEST_F(MainFrmTest, ClientAreaAndCaption) {
  fs::create_directories(program_);
  TVorraMainFrm* f = Start();
  EXPECT_EQ(f->Caption(), "Vorra");
  EXPECT_EQ(f->ClientWidth(), 552);
  EXPECT_EQ(f->ClientHeight(), 365);
  f->Show();
  // Centred on the work area.
  win::RECT work{}, box{};
  win::SystemParametersInfoA(win::SPI_GETWORKAREA, 0, &work, 0);
  win::GetWindowRect(f->Handle(), &box);
  EXPECT_LE(std::abs((box.left - work.left) - (work.right - box.right)), 1);
  EXPECT_LE(std::abs((box.top - work.top) - (work.bottom - box.bottom)), 1);
}

TEST_F(MainFrmTest, TheExtensionBoxShowsWhetherTheMenuEntryExists) {
  fs::create_directories(program_);
  EXPECT_FALSE(Start()->CheckBox1->Checked());
  Stop();
  TRegistry reg;
  ASSERT_TRUE(reg.OpenKey(MenuExtKey, true));
  reg.CloseKey();
  EXPECT_TRUE(Start()->CheckBox1->Checked());
}

TEST_F(MainFrmTest, ShutDownDisposesOfTheWebListAndEmptiesTheTemporaryFolder) {
  fs::create_directories(program_);
  TVorraMainFrm* f = Start();
  test::WriteText(TempFolder + "movie.swf", "x");
  test::WriteText(TempFolder + "movie1.swf", "y");
  for (const char* name : {"movie.swf", "movie1.swf"}) {
    auto* item = new TFlashItem;
    item->Name = name;
    item->TempFile = TempFolder + name;
    f->FlashList->Items()->AddObject(name, item);
  }
  const std::string temp = TempFolder;
  Stop();  // ASan reports the records if they are not freed
  EXPECT_TRUE(fs::is_directory(temp));
  EXPECT_TRUE(fs::is_empty(temp));
}

}  // namespace
}  // namespace vorra
