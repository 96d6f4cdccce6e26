#include "framework/Dialogs.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "framework/DialogHook.h"
#include "framework/ListControls.h"
#include "platform/ui/MessageBox.h"
#include "tests/framework/ControlTestSupport.h"

namespace vorra {
namespace {

using ctltest::Key;
using ctltest::Pump;
using ctltest::Type;

namespace fs = std::filesystem;

TEST(SaveDialogFilter, ParsesPairsAndMatchesMasksIgnoringCase) {
  const auto items = ParseFilter("Flash Files (*.swf)|*.swf|All Files|*.*");
  ASSERT_EQ(items.size(), 2u);
  EXPECT_EQ(items[0].Description, "Flash Files (*.swf)");
  EXPECT_EQ(items[1].Mask, "*.*");
  EXPECT_EQ(ParseFilter("Odd|").back().Mask, "*");
  EXPECT_TRUE(ParseFilter("").empty());
  EXPECT_TRUE(MatchesMask("MOVIE.SWF", "*.swf"));
  EXPECT_TRUE(MatchesMask("a.txt", "*.swf; *.txt"));
  EXPECT_FALSE(MatchesMask("a.swf.bak", "*.swf"));
  EXPECT_TRUE(MatchesMask("noext", "*.*"));
}

class SaveDialogTest : public ::testing::Test {
 protected:
  void SetUp() override {
    dialog.SetDefaultExt("swf");
    dialog.SetFilter("Flash Files (*.swf)|*.swf|All Files|*.*");
    dialog.SetOptions(TOpenOptions{ofOverwritePrompt, ofHideReadOnly, ofEnableSizing});
    TSaveDialog::SetLastFolder("");
  }
  test::TTempDir dir;
  test::TScopedEnv home{"VORRA_HOME", dir.Folder()};
  TSaveDialog dialog{nullptr};
};

TEST_F(SaveDialogTest, TheHookAnswersAndTheDialogRemembersItsFolder) {
  std::vector<TDialogRequest> seen;
  std::vector<TDialogAnswer> answers{{1, "movie"}, {2, ""}, {1, dir / "other/clip.flv"}};
  std::size_t next = 0;
  TScopedDialogHook hook([&](const TDialogRequest& r) {
    seen.push_back(r);
    return answers.at(next++);
  });
  dialog.SetInitialDir(dir.Path().string());
  ASSERT_TRUE(dialog.Execute());
  EXPECT_EQ(dialog.FileName(), dir / "movie.swf");
  ASSERT_EQ(seen.size(), 1u);
  EXPECT_EQ(seen[0].Kind, TDialogKind::dkSaveDialog);
  EXPECT_EQ(seen[0].Caption, "Save As");
  EXPECT_EQ(seen[0].Filter, dialog.Filter());
  EXPECT_EQ(seen[0].DefaultExt, "swf");
  EXPECT_EQ(seen[0].InitialDir, dir.Folder());
  EXPECT_EQ(seen[0].Type, OpenOptionsMask(dialog.Options()));
  EXPECT_NE(seen[0].Type & (1u << ofOverwritePrompt), 0u);

  // Not preset: the next run offers the folder shown last.
  TSaveDialog second(nullptr);
  EXPECT_FALSE(second.Execute());
  EXPECT_EQ(seen[1].InitialDir, dir.Folder());
  fs::create_directory(dir.Path() / "other");
  EXPECT_TRUE(second.Execute());
  EXPECT_EQ(second.FileName(), dir / "other/clip.flv");  // no DefaultExt: kept as chosen
  EXPECT_EQ(TSaveDialog::LastFolder(), dir / "other/");
}

TEST_F(SaveDialogTest, CompleteNameAddsTheDefaultExtensionOnlyWhenThereIsNone) {
  EXPECT_EQ(dialog.CompleteName("/x/", "a"), "/x/a.swf");
  EXPECT_EQ(dialog.CompleteName("/x", "a.txt"), "/x/a.txt");
  EXPECT_EQ(dialog.CompleteName("/x/", "/abs/b"), "/abs/b.swf");
  EXPECT_EQ(dialog.CompleteName("/x.d/", "c"), "/x.d/c.swf");
  dialog.SetDefaultExt(".flv");
  EXPECT_EQ(dialog.CompleteName("/x/", "c"), "/x/c.flv");
}

// The real dialog, driven by keys once it is on screen.
class RealSaveDialogTest : public SaveDialogTest {
 protected:
  void Drive(std::function<void()> input) {
    dialog.OnShow = [input](TObject*) { input(); };
  }
};

TEST_F(RealSaveDialogTest, TypingANameAndEnterSavesWithTheDefaultExtension) {
  dialog.SetInitialDir(dir.Path().string());
  test::WriteText(dir / "shown.swf", "");
  test::WriteText(dir / "hidden.txt", "");
  fs::create_directory(dir.Path() / "sub");
  bool listed = false;
  Drive([&] {
    // The list shows the folder, its folders and the files of the first type.
    auto* form = GetParentForm(FindControl(win::GetFocus()));
    ASSERT_NE(form, nullptr);
    EXPECT_EQ(form->Caption(), "Save As");
    for (int i = 0; i < form->ComponentCount(); ++i)
      if (auto* list = dynamic_cast<TListBox*>(form->Components(i))) {
        EXPECT_EQ(list->Items()->Text(), "../\nsub/\nshown.swf\n");
        listed = true;
        // Resizable: the list takes what the form gains.
        const int width = list->Width();
        form->SetWidth(form->Width() + 100);
        Pump();
        EXPECT_EQ(list->Width(), width + 100);
      }
    Type("mov");
    Key(win::VK_RETURN);
  });
  ASSERT_TRUE(dialog.Execute());
  EXPECT_TRUE(listed);
  EXPECT_EQ(dialog.FileName(), dir / "mov.swf");
  EXPECT_EQ(dialog.FilterIndex(), 1);
  EXPECT_EQ(TSaveDialog::LastFolder(), dir.Folder());
}

TEST_F(RealSaveDialogTest, AnExistingFileAsksAndNoKeepsTheDialogOpen) {
  dialog.SetInitialDir(dir.Path().string());
  test::WriteText(dir / "old.swf", "x");
  std::vector<TDialogRequest> boxes;
  int answer = win::IDNO;
  TScopedDialogHook hook([&](const TDialogRequest& r) -> TDialogAnswer {
    if (r.Kind != TDialogKind::dkMessageBox) return {};  // the save dialog shows itself
    boxes.push_back(r);
    return {answer, ""};
  });
  Drive([&] {
    Type("old");
    Key(win::VK_RETURN);  // asked; No
    Key(win::VK_ESCAPE);  // still open: Esc cancels it
  });
  EXPECT_FALSE(dialog.Execute());
  ASSERT_EQ(boxes.size(), 1u);
  EXPECT_EQ(boxes[0].Text, dir / "old.swf" + " already exists.\nDo you want to replace it?");
  EXPECT_EQ(boxes[0].Caption, "Save As");
  EXPECT_EQ(boxes[0].Type, win::MB_YESNO | win::MB_ICONWARNING);

  answer = win::IDYES;
  Drive([&] {
    Type("old");
    Key(win::VK_RETURN);
  });
  ASSERT_TRUE(dialog.Execute());
  EXPECT_EQ(dialog.FileName(), dir / "old.swf");
  EXPECT_EQ(boxes.size(), 2u);
}

TEST_F(RealSaveDialogTest, ANamedFolderIsOpenedNotChosen) {
  dialog.SetInitialDir(dir.Path().string());
  fs::create_directory(dir.Path() / "inner");
  Drive([&] {
    Type("inner");
    Key(win::VK_RETURN);
    Type("x");
    Key(win::VK_RETURN);
  });
  ASSERT_TRUE(dialog.Execute());
  EXPECT_EQ(dialog.FileName(), dir / "inner/x.swf");
}

// Runs `input` once the modal loop that the next call starts is running.
class TDeferred {
 public:
  explicit TDeferred(std::function<void()> input) : input_(std::move(input)) {
    wnd_ = AllocateHWnd([this](TMessage& m) {
      if (m.Msg == win::WM_USER + 7) {
        input_();
        return;
      }
      // Before AllocateHWnd returns the window is still being made.
      m.Result = wnd_ ? win::DefWindowProcA(wnd_, m.Msg, m.WParam, m.LParam) : (m.Msg == win::WM_NCCREATE ? 1 : 0);
    });
    win::PostMessageA(wnd_, win::WM_USER + 7, 0, 0);
  }
  ~TDeferred() { DeallocateHWnd(wnd_); }

 private:
  std::function<void()> input_;
  win::HWND wnd_ = nullptr;
};

class FolderBrowserTest : public ::testing::Test {
 protected:
  void SetUp() override { InstallShellDialogs(); }
  void TearDown() override {
    win::SetBrowseFolderUI(nullptr);
    win::SetShellOperationUI(nullptr);
  }
  std::string Browse(const std::string& title, const std::string& root = "") {
    char name[win::kBrowseMaxPath] = {};
    win::BROWSEINFOA bi;
    win::LPITEMIDLIST rootList = root.empty() ? nullptr : win::ILCreateFromPathA(root.c_str());
    bi.pidlRoot = rootList;
    bi.lpszTitle = title.c_str();
    bi.pszDisplayName = name;
    bi.ulFlags = win::BIF_RETURNONLYFSDIRS;
    win::LPITEMIDLIST pidl = win::SHBrowseForFolderA(&bi);
    std::string path;
    if (pidl) {
      char buf[win::kBrowseMaxPath];
      if (win::SHGetPathFromIDListA(pidl, buf)) path = buf;
      displayName = name;
      win::ILFree(pidl);
    }
    win::ILFree(rootList);
    return path;
  }
  test::TTempDir dir;
  test::TScopedEnv home{"VORRA_HOME", dir.Folder()};
  std::string displayName;
};

TEST_F(FolderBrowserTest, TheHookAnswersTheShellsBrowser) {
  fs::create_directory(dir.Path() / "Flash Files");
  std::vector<TDialogRequest> seen;
  TDialogAnswer answer{1, dir / "Flash Files"};
  TScopedDialogHook hook([&](const TDialogRequest& r) {
    seen.push_back(r);
    return answer;
  });
  EXPECT_EQ(Browse("Select Directory"), dir / "Flash Files");
  EXPECT_EQ(displayName, "Flash Files");
  ASSERT_EQ(seen.size(), 1u);
  EXPECT_EQ(seen[0].Kind, TDialogKind::dkFolderBrowser);
  EXPECT_EQ(seen[0].Caption, "Select Directory");
  EXPECT_EQ(seen[0].InitialDir, "");  // the desktop
  answer = TDialogAnswer{2, ""};
  EXPECT_EQ(Browse("Select Directory"), "");
  answer = TDialogAnswer{1, dir / "not there"};
  EXPECT_EQ(Browse("Select Directory"), "");  // file-system folders only
}

TEST_F(FolderBrowserTest, TheRealBrowserWalksFoldersFromItsRoot) {
  fs::create_directories(dir.Path() / "a");
  fs::create_directories(dir.Path() / "b/deeper");
  test::WriteText(dir / "file.txt", "");
  {
    TDeferred input([] {
      Key(win::VK_DOWN);    // a
      Key(win::VK_DOWN);    // b
      Key(win::VK_RETURN);  // OK with b selected
    });
    EXPECT_EQ(Browse("Pick", dir.Path().string()), dir / "b");
  }
  {
    // Double click opens a folder; OK then takes the folder shown.
    TDeferred input([] {
      auto* list = dynamic_cast<TListBox*>(FindControl(win::GetFocus()));
      ASSERT_NE(list, nullptr);
      EXPECT_EQ(list->Items()->Text(), "a\nb\n");  // folders only, nothing above the root
      const TRect r = list->ItemRect(1);
      ctltest::DoubleClick(list, r.Left + 5, r.Top + 5);
      EXPECT_EQ(list->Items()->Text(), "..\ndeeper\n");
      Key(win::VK_RETURN);
    });
    EXPECT_EQ(Browse("Pick", dir.Path().string()), dir / "b");
  }
  {
    TDeferred input([] { Key(win::VK_ESCAPE); });
    EXPECT_EQ(Browse("Pick"), "");
  }
  {
    // The desktop offers the home folder and the file system.
    TDeferred input([] {
      auto* list = dynamic_cast<TListBox*>(FindControl(win::GetFocus()));
      ASSERT_NE(list, nullptr);
      ASSERT_EQ(list->Count(), 2);
      EXPECT_EQ(list->Items()->Strings(1), "File System (/)");
      Key(win::VK_END);
      Key(win::VK_RETURN);
    });
    EXPECT_EQ(Browse("Pick"), "/");
  }
}

TEST_F(FolderBrowserTest, ShellCopyAsksBeforeReplacingAndShowsProgress) {
  test::WriteText(dir / "src.swf", "new");
  fs::create_directory(dir.Path() / "dst");
  test::WriteText(dir / "dst/src.swf", "old");
  std::vector<TDialogRequest> boxes;
  int answer = win::IDNO;
  TScopedDialogHook hook([&](const TDialogRequest& r) {
    boxes.push_back(r);
    return TDialogAnswer{answer, ""};
  });
  const std::string from = dir / "src.swf" + std::string(1, '\0');
  const std::string to = dir / "dst/src.swf" + std::string(1, '\0');
  win::SHFILEOPSTRUCTA op;
  op.wFunc = win::FO_COPY;
  op.pFrom = from.c_str();
  op.pTo = to.c_str();
  op.fFlags = win::FOF_SIMPLEPROGRESS;
  win::SHFileOperationA(&op);
  EXPECT_EQ(test::ReadText(dir / "dst/src.swf"), "old");
  ASSERT_EQ(boxes.size(), 1u);
  EXPECT_NE(boxes[0].Text.find("'src.swf'"), std::string::npos);
  EXPECT_EQ(boxes[0].Type, win::MB_YESNOCANCEL | win::MB_ICONWARNING);
  answer = win::IDYES;
  EXPECT_EQ(win::SHFileOperationA(&op), 0);
  EXPECT_EQ(test::ReadText(dir / "dst/src.swf"), "new");
}

TEST(ShellOperationUI, ProgressFormComesAndGoes) {
  TShellOperationUI ui;
  EXPECT_TRUE(ui.ShowProgress(nullptr, 1, 4, ""));
  ASSERT_NE(ui.ProgressForm(), nullptr);
  EXPECT_TRUE(ui.ProgressForm()->Visible());
  EXPECT_TRUE(ui.ShowProgress(nullptr, 3, 4, ""));
  ui.EndProgress(nullptr);
  EXPECT_EQ(ui.ProgressForm(), nullptr);
}

}  // namespace
}  // namespace vorra
