#include "main/Settings.h"

#include <gtest/gtest.h>

#include "framework/Registry.h"
#include "main/AppFiles.h"
#include "tests/support/TestSupport.h"

namespace vorra {
namespace {

class SettingsTest : public ::testing::Test {
 protected:
  void SetUp() override { SetAppFolders("/opt/vorra", true); }
  void TearDown() override { ClearAppFolders(); }
  test::TTempDir home_;
  test::TScopedEnv env_{"VORRA_HOME", home_.Path().string()};
};

TEST_F(SettingsTest, FirstStartCreatesTheKeyAndUsesFlashFiles) {
  EXPECT_EQ(ReadDefaultDir(), "/opt/vorra/Flash Files/");
  TRegistry reg;
  EXPECT_TRUE(reg.KeyExists("Software\\Vorra"));
}

TEST_F(SettingsTest, StoredFolderGainsItsTrailingDelimiterAndRoundTrips) {
  ASSERT_TRUE(WriteDefaultDir("/home/u/Movies"));
  EXPECT_EQ(ReadDefaultDir(), "/home/u/Movies/");
  TRegistry reg;
  ASSERT_TRUE(reg.OpenKeyReadOnly("Software\\vorra"));
  EXPECT_EQ(reg.ReadString("defaultdir"), "/home/u/Movies");
}

TEST_F(SettingsTest, AnEmptyStoredFolderFallsBack) {
  ASSERT_TRUE(WriteDefaultDir(""));
  EXPECT_EQ(ReadDefaultDir(), "/opt/vorra/Flash Files/");
}

}  // namespace
}  // namespace vorra
