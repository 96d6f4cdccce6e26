#include "main/AppFiles.h"

#include <filesystem>
#include <fstream>

#include <gtest/gtest.h>

#include "tests/support/TestSupport.h"

namespace vorra {
namespace {

namespace fs = std::filesystem;
using test::ListNames;
using test::TTempDir;
using test::WriteText;

TEST(NumberedFileName, CountsUpTheNumberBeforeTheExtension) {
  EXPECT_EQ(NumberedFileName("/app/Temp/movie.swf"), "/app/Temp/movie1.swf");
  EXPECT_EQ(NumberedFileName("/app/Temp/movie1.swf"), "/app/Temp/movie2.swf");
  EXPECT_EQ(NumberedFileName("/app/Temp/movie9.swf"), "/app/Temp/movie10.swf");
  EXPECT_EQ(NumberedFileName("/app/Temp/intro.part2.swf"), "/app/Temp/intro1.part2.swf");
  EXPECT_EQ(NumberedFileName("/app/Temp/007.swf"), "/app/Temp/8.swf");
  EXPECT_EQ(NumberedFileName("/app/Temp/movie"), "/app/Temp/movie1");
  EXPECT_EQ(NumberedFileName("/app 1.2/Temp/a.swf"), "/app 1.2/Temp/a1.swf");
  EXPECT_EQ(NumberedFileName("movie.swf"), "movie1.swf");
  EXPECT_EQ(NumberedFileName("/app/Temp/.swf"), "/app/Temp/1.swf");
}

TEST(NumberedFileName, NumbersThatDoNotFitThirtyTwoBits) {
  EXPECT_EQ(NumberedFileName("/t/m2147483646.swf"), "/t/m2147483647.swf");
  // Still fits, and the next number is not allowed to wrap negative.
  EXPECT_EQ(NumberedFileName("/t/m2147483647.swf"), "/t/m2147483648.swf");
  EXPECT_EQ(NumberedFileName("/t/m2147483648.swf"), "/t/m1.swf");
  EXPECT_EQ(NumberedFileName("/t/m99999999999999999999.swf"), "/t/m1.swf");
}

class DeleteFilesTest : public ::testing::Test {
 protected:
  void SetUp() override {
    fs::create_directories(dir_.Path() / "Temp" / "sub");
    WriteText(dir_ / "Temp/a.swf", "a");
    WriteText(dir_ / "Temp/b", "b");
    WriteText(dir_ / "Temp/.hidden", "h");
    WriteText(dir_ / "Temp/sub/c.swf", "c");
    WriteText(dir_ / "keep.swf", "keep");
  }
  std::string temp() const { return dir_ / "Temp/"; }
  TTempDir dir_;
};

TEST_F(DeleteFilesTest, EmptiesTheFolderAndNothingElse) {
  fs::create_directories(dir_.Path() / "outside");
  WriteText(dir_ / "outside/o.swf", "o");
  fs::create_symlink(dir_.Path() / "outside", dir_.Path() / "Temp" / "link-to-folder");
  fs::create_symlink(dir_.Path() / "keep.swf", dir_.Path() / "Temp" / "link-to-file");

  EXPECT_TRUE(DeleteFiles(temp() + "*.*"));
  EXPECT_TRUE(fs::is_directory(dir_.Path() / "Temp"));
  EXPECT_TRUE(ListNames(dir_.Path() / "Temp").empty());
  // Links were removed, never followed.
  EXPECT_EQ(test::ReadText(dir_ / "keep.swf"), "keep");
  EXPECT_EQ(ListNames(dir_.Path() / "outside"), std::vector<std::string>{"o.swf"});
}

TEST_F(DeleteFilesTest, WildcardSelectsByName) {
  EXPECT_TRUE(DeleteFiles(temp() + "*.swf"));
  EXPECT_EQ(ListNames(dir_.Path() / "Temp"), (std::vector<std::string>{".hidden", "b", "sub"}));
  EXPECT_TRUE(DeleteFiles(temp() + "?"));
  EXPECT_EQ(ListNames(dir_.Path() / "Temp"), (std::vector<std::string>{".hidden", "sub"}));
}

TEST_F(DeleteFilesTest, AnEmptyFolderOrNoMatchIsSuccess) {
  fs::create_directories(dir_.Path() / "empty");
  EXPECT_TRUE(DeleteFiles(dir_ / "empty/*.*"));
  EXPECT_TRUE(DeleteFiles(temp() + "*.none"));
  EXPECT_EQ(ListNames(dir_.Path() / "Temp").size(), 4u);
}

TEST_F(DeleteFilesTest, FailuresAreFalseAndSilent) {
  EXPECT_FALSE(DeleteFiles(dir_ / "missing/*.*"));
  EXPECT_FALSE(DeleteFiles(temp() + "missing.swf"));
}

TEST_F(DeleteFilesTest, RefusesPathsThatNameNoFolderOrTheRoot) {
  const fs::path cwd = fs::current_path();
  fs::current_path(dir_.Path() / "Temp");
  EXPECT_FALSE(DeleteFiles("*.*"));
  EXPECT_FALSE(DeleteFiles(""));
  fs::current_path(cwd);
  EXPECT_FALSE(DeleteFiles("/*.*"));
  EXPECT_FALSE(DeleteFiles("/tmp/../*.*"));
  EXPECT_FALSE(DeleteFiles(temp() + ".."));
  EXPECT_FALSE(DeleteFiles(temp() + "."));
  EXPECT_FALSE(DeleteFiles(temp()));
  EXPECT_EQ(ListNames(dir_.Path() / "Temp").size(), 4u);
  EXPECT_TRUE(fs::exists(dir_.Path() / "keep.swf"));
}

TEST_F(DeleteFilesTest, ALongPathDeletesNothingAndReportsNothing) {
  // Cut to 255 characters the path would name its parent folder's files.
  const std::string folder = dir_.Folder() + std::string(255 - dir_.Folder().size(), 'x') + "/";
  fs::create_directories(folder);
  std::ofstream(folder + "movie.swf") << "x";
  const std::string path = folder + "*.*";
  ASSERT_GT(path.size(), MaxShellPath);
  bool deleted = true;
  EXPECT_NO_THROW(deleted = DeleteFiles(path));
  EXPECT_FALSE(deleted);
  EXPECT_TRUE(fs::exists(folder + "movie.swf"));
  EXPECT_TRUE(fs::exists(dir_.Path() / "keep.swf"));
}

TEST(AppFolders, TempFolderLiesBesideAWritableProgram) {
  TTempDir home;
  test::TScopedEnv env("VORRA_HOME", home.Path().string());
  SetAppFolders("/opt/vorra/bin", true);
  EXPECT_EQ(AppFolder, "/opt/vorra/bin/");
  EXPECT_EQ(TempFolder, "/opt/vorra/bin/Temp/");
  EXPECT_EQ(DefaultFlashFolder(), "/opt/vorra/bin/Flash Files/");
  ClearAppFolders();
  EXPECT_EQ(AppFolder, "");
  EXPECT_EQ(TempFolder, "");
}

TEST(AppFolders, AnInstalledProgramKeepsItsFilesPerUser) {
  TTempDir home;
  test::TScopedEnv env("VORRA_HOME", home.Path().string());
  SetAppFolders("/usr/lib/vorra/", false);
  EXPECT_EQ(AppFolder, "/usr/lib/vorra/");
  EXPECT_EQ(TempFolder, home.Folder() + "cache/Temp/");
  EXPECT_EQ(DefaultFlashFolder(), home.Folder() + "data/Flash Files/");
  ClearAppFolders();
}

}  // namespace
}  // namespace vorra
