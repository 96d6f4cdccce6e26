#include "platform/shell/UserFolders.h"

#include <gtest/gtest.h>

#include "tests/support/TestSupport.h"

namespace win {
namespace {

using vorra::test::TScopedEnv;

TEST(GetUserFolder, VorraHomeMovesEverything) {
  TScopedEnv home("VORRA_HOME", "/srv/v");
  TScopedEnv xdg("XDG_CONFIG_HOME", "/elsewhere");
  EXPECT_EQ(GetUserFolder(TUserFolder::ufConfig), "/srv/v/config/");
  EXPECT_EQ(GetUserFolder(TUserFolder::ufCache), "/srv/v/cache/");
  EXPECT_EQ(GetUserFolder(TUserFolder::ufData), "/srv/v/data/");
}

TEST(GetUserFolder, FollowsXdgAndFallsBackToHome) {
  TScopedEnv home("VORRA_HOME", std::nullopt);
  TScopedEnv user("HOME", "/home/u");
  TScopedEnv config("XDG_CONFIG_HOME", "/cfg/");
  TScopedEnv cache("XDG_CACHE_HOME", "relative/is/ignored");
  TScopedEnv data("XDG_DATA_HOME", std::nullopt);
  EXPECT_EQ(GetUserFolder(TUserFolder::ufConfig), "/cfg/vorra/");
  EXPECT_EQ(GetUserFolder(TUserFolder::ufCache), "/home/u/.cache/vorra/");
  EXPECT_EQ(GetUserFolder(TUserFolder::ufData), "/home/u/.local/share/vorra/");
}

TEST(GetProgramFolder, IsTheFolderOfThisTestProgram) {
  const std::string folder = GetProgramFolder();
  ASSERT_FALSE(folder.empty());
  EXPECT_EQ(folder.back(), '/');
  EXPECT_TRUE(std::filesystem::exists(folder + "platform_tests"));
}

}  // namespace
}  // namespace win
