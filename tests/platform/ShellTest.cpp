#include "platform/shell/Shell.h"

#include <sys/stat.h>

#include <deque>
#include <filesystem>

#include <gtest/gtest.h>

#include "tests/support/TestSupport.h"

namespace win {
namespace {

namespace fs = std::filesystem;
using vorra::test::ListNames;
using vorra::test::ReadText;
using vorra::test::TTempDir;
using vorra::test::WriteText;

// Answers the shell's questions from a script and records what it was shown.
class TScriptedUI : public IShellOperationUI {
 public:
  TScriptedUI() { previous_ = SetShellOperationUI(this); }
  ~TScriptedUI() override { SetShellOperationUI(previous_); }

  TShellAnswer Ask(HWND, TShellQuestion q, const std::string& subject, std::size_t count) override {
    questions.push_back({q, subject, count});
    if (answers.empty()) return TShellAnswer::No;
    const TShellAnswer a = answers.front();
    answers.pop_front();
    return a;
  }
  void ShowError(HWND, const std::string& text) override { errors.push_back(text); }
  bool ShowProgress(HWND, std::size_t done, std::size_t total, const std::string& item) override {
    progress.push_back(item);
    return !(cancelAt && done == *cancelAt);
  }

  struct TQuestion {
    TShellQuestion question;
    std::string subject;
    std::size_t count;
  };
  std::deque<TShellAnswer> answers;
  std::vector<TQuestion> questions;
  std::vector<std::string> errors;
  std::vector<std::string> progress;
  std::optional<std::size_t> cancelAt;

 private:
  IShellOperationUI* previous_;
};

// A source or target list: each path ended by a zero, the list by one more.
std::string List(std::initializer_list<std::string> paths) {
  std::string s;
  for (const auto& p : paths) s += p + '\0';
  return s;
}

class ShellTest : public ::testing::Test {
 protected:
  void SetUp() override {
    fs::create_directories(dir_.Path() / "src");
    WriteText(dir_ / "src/a.swf", "new a");
    WriteText(dir_ / "src/b.swf", "new b");
    WriteText(dir_ / "src/c.txt", "new c");
  }
  int Run(UINT func, const std::string& from, const std::string& to, FILEOP_FLAGS flags) {
    op_ = {};
    op_.wFunc = func;
    op_.pFrom = from.c_str();
    op_.pTo = to.empty() ? nullptr : to.c_str();
    op_.fFlags = flags;
    return SHFileOperationA(&op_);
  }
  TTempDir dir_;
  TScriptedUI ui_;
  SHFILEOPSTRUCTA op_;
};

TEST_F(ShellTest, CopiesOneFileToANewName) {
  // The missing folder is asked for first; "No" ends the operation.
  EXPECT_EQ(Run(FO_COPY, List({dir_ / "src/a.swf"}), List({dir_ / "out/a.swf"}), FOF_SIMPLEPROGRESS),
            static_cast<int>(ERROR_CANCELLED));
  EXPECT_FALSE(fs::exists(dir_.Path() / "out"));
  ASSERT_EQ(ui_.questions.size(), 1u);
  EXPECT_EQ(ui_.questions[0].question, TShellQuestion::CreateFolder);
  ui_.answers = {TShellAnswer::Yes};
  ui_.questions.clear();
  EXPECT_EQ(Run(FO_COPY, List({dir_ / "src/a.swf"}), List({dir_ / "out/a.swf"}), FOF_SIMPLEPROGRESS), 0);
  EXPECT_EQ(ReadText(dir_ / "out/a.swf"), "new a");
  // Simple progress names no file.
  ASSERT_FALSE(ui_.progress.empty());
  EXPECT_EQ(ui_.progress.back(), "");
}

TEST_F(ShellTest, DecliningTheFolderCancelsAndCopiesNothing) {
  ui_.answers = {TShellAnswer::Cancel};
  EXPECT_EQ(Run(FO_COPY, List({dir_ / "src/a.swf"}), List({dir_ / "out/a.swf"}), 0),
            static_cast<int>(ERROR_CANCELLED));
  EXPECT_TRUE(op_.fAnyOperationsAborted);
  EXPECT_FALSE(fs::exists(dir_.Path() / "out"));
}

TEST_F(ShellTest, CopiesSeveralSourcesIntoAFolder) {
  fs::create_directories(dir_.Path() / "dest");
  EXPECT_EQ(Run(FO_COPY, List({dir_ / "src/a.swf", dir_ / "src/b.swf"}), List({dir_ / "dest"}), FOF_SIMPLEPROGRESS),
            0);
  EXPECT_EQ(ListNames(dir_.Path() / "dest"), (std::vector<std::string>{"a.swf", "b.swf"}));
  EXPECT_EQ(ui_.progress.size(), 2u);
}

TEST_F(ShellTest, CopiesWildcardMatchesIntoAFolderItMakes) {
  EXPECT_EQ(Run(FO_COPY, List({dir_ / "src/*.swf"}), List({dir_ / "dest"}), FOF_NOCONFIRMMKDIR), 0);
  EXPECT_EQ(ListNames(dir_.Path() / "dest"), (std::vector<std::string>{"a.swf", "b.swf"}));
  EXPECT_TRUE(ui_.questions.empty());
}

TEST_F(ShellTest, AsksBeforeReplacingAndHonoursTheAnswer) {
  fs::create_directories(dir_.Path() / "dest");
  WriteText(dir_ / "dest/a.swf", "old a");
  WriteText(dir_ / "dest/b.swf", "old b");
  const std::string from = List({dir_ / "src/a.swf", dir_ / "src/b.swf"});
  const std::string to = List({dir_ / "dest"});

  ui_.answers = {TShellAnswer::No, TShellAnswer::Yes};
  EXPECT_EQ(Run(FO_COPY, from, to, 0), 0);
  EXPECT_EQ(ReadText(dir_ / "dest/a.swf"), "old a");
  EXPECT_EQ(ReadText(dir_ / "dest/b.swf"), "new b");
  ASSERT_EQ(ui_.questions.size(), 2u);
  EXPECT_EQ(ui_.questions[0].question, TShellQuestion::ReplaceFile);
  EXPECT_EQ(ui_.questions[0].subject, dir_ / "dest/a.swf");

  ui_.questions.clear();
  ui_.answers = {TShellAnswer::YesToAll};
  EXPECT_EQ(Run(FO_COPY, from, to, 0), 0);
  EXPECT_EQ(ui_.questions.size(), 1u);
  EXPECT_EQ(ReadText(dir_ / "dest/a.swf"), "new a");

  WriteText(dir_ / "dest/a.swf", "old a");
  ui_.answers = {TShellAnswer::Cancel};
  EXPECT_EQ(Run(FO_COPY, from, to, 0), static_cast<int>(ERROR_CANCELLED));
  EXPECT_TRUE(op_.fAnyOperationsAborted);
  EXPECT_EQ(ReadText(dir_ / "dest/a.swf"), "old a");
}

TEST_F(ShellTest, NoConfirmationReplacesWithoutAsking) {
  fs::create_directories(dir_.Path() / "dest");
  WriteText(dir_ / "dest/a.swf", "old a");
  EXPECT_EQ(Run(FO_COPY, List({dir_ / "src/a.swf"}), List({dir_ / "dest/a.swf"}), FOF_NOCONFIRMATION), 0);
  EXPECT_EQ(ReadText(dir_ / "dest/a.swf"), "new a");
  EXPECT_TRUE(ui_.questions.empty());
}

TEST_F(ShellTest, WithoutAnInstalledUiNothingIsReplacedUnasked) {
  SetShellOperationUI(nullptr);
  fs::create_directories(dir_.Path() / "dest");
  WriteText(dir_ / "dest/a.swf", "old a");
  EXPECT_EQ(Run(FO_COPY, List({dir_ / "src/a.swf"}), List({dir_ / "dest"}), FOF_NOERRORUI), 0);
  EXPECT_EQ(ReadText(dir_ / "dest/a.swf"), "old a");
  EXPECT_EQ(Run(FO_DELETE, List({dir_ / "dest/a.swf"}), "", 0), static_cast<int>(ERROR_CANCELLED));
  EXPECT_TRUE(fs::exists(dir_.Path() / "dest/a.swf"));
  SetShellOperationUI(&ui_);
}

TEST_F(ShellTest, ErrorsAreReportedUnlessTheFlagSilencesThem) {
  EXPECT_EQ(Run(FO_COPY, List({dir_ / "src/none.swf"}), List({dir_ / "src/x.swf"}), 0),
            static_cast<int>(ERROR_FILE_NOT_FOUND));
  ASSERT_EQ(ui_.errors.size(), 1u);
  EXPECT_NE(ui_.errors[0].find("none.swf"), std::string::npos);
  EXPECT_EQ(Run(FO_COPY, List({dir_ / "src/none.swf"}), List({dir_ / "src/x.swf"}), FOF_NOERRORUI),
            static_cast<int>(ERROR_FILE_NOT_FOUND));
  EXPECT_EQ(ui_.errors.size(), 1u);
  EXPECT_EQ(Run(FO_DELETE, List({dir_ / "nowhere/*.*"}), "", FOF_NOERRORUI), static_cast<int>(ERROR_PATH_NOT_FOUND));
  EXPECT_EQ(Run(FO_DELETE, std::string(1, '\0'), "", FOF_NOERRORUI), DE_INVALIDFILES);
  EXPECT_EQ(Run(FO_MOVE, List({dir_ / "src/a.swf"}), List({dir_ / "b"}), FOF_NOERRORUI), DE_INVALIDFILES);
  EXPECT_TRUE(fs::exists(dir_.Path() / "src/a.swf"));
}

TEST_F(ShellTest, CopyOntoItselfIsRefused) {
  EXPECT_EQ(Run(FO_COPY, List({dir_ / "src/a.swf"}), List({dir_ / "src"}), FOF_NOCONFIRMATION), DE_SAMEFILE);
  EXPECT_EQ(ReadText(dir_ / "src/a.swf"), "new a");
  EXPECT_NE(Run(FO_COPY, List({dir_ / "src"}), List({dir_ / "src/inner"}), FOF_NOCONFIRMMKDIR), 0);
  EXPECT_FALSE(fs::exists(dir_.Path() / "src/inner/inner"));
}

TEST_F(ShellTest, CopiesAFolderWithItsContents) {
  fs::create_directories(dir_.Path() / "src/deep/er");
  WriteText(dir_ / "src/deep/er/d.swf", "d");
  EXPECT_EQ(Run(FO_COPY, List({dir_ / "src"}), List({dir_ / "copy"}), FOF_NOCONFIRMMKDIR), 0);
  EXPECT_EQ(ReadText(dir_ / "copy/deep/er/d.swf"), "d");
  EXPECT_EQ(ReadText(dir_ / "copy/c.txt"), "new c");
}

TEST_F(ShellTest, AFailedCopyLeavesTheOldFileAndNoPartialOne) {
  fs::create_directories(dir_.Path() / "dest");
  WriteText(dir_ / "dest/pipe", "old");
  ASSERT_EQ(::mkfifo((dir_ / "src/pipe").c_str(), 0600), 0);  // not a file: copying it fails
  EXPECT_NE(Run(FO_COPY, List({dir_ / "src/pipe"}), List({dir_ / "dest"}), FOF_NOCONFIRMATION | FOF_NOERRORUI), 0);
  EXPECT_EQ(ReadText(dir_ / "dest/pipe"), "old");
  EXPECT_EQ(ListNames(dir_.Path() / "dest"), std::vector<std::string>{"pipe"});
}

TEST_F(ShellTest, DeleteAsksOnceAndProgressCanCancel) {
  ui_.answers = {TShellAnswer::No};
  EXPECT_EQ(Run(FO_DELETE, List({dir_ / "src/*.*"}), "", 0), static_cast<int>(ERROR_CANCELLED));
  ASSERT_EQ(ui_.questions.size(), 1u);
  EXPECT_EQ(ui_.questions[0].question, TShellQuestion::DeleteItems);
  EXPECT_EQ(ui_.questions[0].count, 3u);
  EXPECT_EQ(ListNames(dir_.Path() / "src").size(), 3u);

  ui_.answers = {TShellAnswer::Yes};
  ui_.cancelAt = 1;
  EXPECT_EQ(Run(FO_DELETE, List({dir_ / "src/*.*"}), "", 0), static_cast<int>(ERROR_CANCELLED));
  EXPECT_EQ(ListNames(dir_.Path() / "src"), (std::vector<std::string>{"b.swf", "c.txt"}));
  EXPECT_EQ(ui_.progress.front(), dir_ / "src/a.swf");
}

TEST_F(ShellTest, FilesOnlySparesFoldersMatchedByAWildcard) {
  fs::create_directories(dir_.Path() / "src/sub");
  EXPECT_EQ(Run(FO_DELETE, List({dir_ / "src/*"}), "", FOF_NOCONFIRMATION | FOF_FILESONLY | FOF_SILENT), 0);
  EXPECT_EQ(ListNames(dir_.Path() / "src"), std::vector<std::string>{"sub"});
  EXPECT_TRUE(ui_.progress.empty());
}

TEST(MatchesWildcard, WindowsPatterns) {
  EXPECT_TRUE(MatchesWildcard("movie", "*.*"));
  EXPECT_TRUE(MatchesWildcard(".hidden", "*.*"));
  EXPECT_TRUE(MatchesWildcard("a.swf", "*.swf"));
  EXPECT_FALSE(MatchesWildcard("a.swf.part", "*.swf"));
  EXPECT_FALSE(MatchesWildcard("A.SWF", "*.swf"));
  EXPECT_TRUE(MatchesWildcard("intro[1].swf", "intro[?].swf"));
  EXPECT_TRUE(MatchesWildcard("abcabd", "*ab?"));
  EXPECT_FALSE(MatchesWildcard("abc", "ab"));
  EXPECT_TRUE(MatchesWildcard("", "*"));
  // Many stars on a long name stays fast.
  EXPECT_FALSE(MatchesWildcard(std::string(5000, 'a'), std::string(50, '*') + "b"));
}

}  // namespace
}  // namespace win
