#include "framework/Registry.h"

#include <filesystem>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "tests/support/TestSupport.h"

namespace vorra {
namespace {

using namespace win;
using test::ReadText;
using test::TScopedEnv;
using test::TTempDir;
using test::WriteText;
using TNames = std::vector<std::string>;

class TRegistryTest : public ::testing::Test {
 protected:
  void SetUp() override {
    previous_ = SetRegistryStoreReporter([this](const std::string& m) { reports_.push_back(m); });
  }
  void TearDown() override {
    CloseRegistryStore();
    SetRegistryStoreReporter(previous_);
  }

  TTempDir home_;
  TScopedEnv env_{"VORRA_HOME", home_.Path().string()};
  TNames reports_;
  TRegistryStoreReporter previous_;
};

// The exception's text, or "" when none was raised.
template <typename F>
std::string Raised(F f) {
  try {
    f();
  } catch (const ERegistryException& e) {
    return e.what();
  }
  return "";
}

TEST_F(TRegistryTest, OpenKeyGoesFromTheCurrentKeyOrFromTheRoot) {
  TRegistry reg;
  EXPECT_EQ(reg.RootKey(), HKEY_CURRENT_USER);
  EXPECT_EQ(reg.CurrentKey(), nullptr);
  EXPECT_FALSE(reg.OpenKey("Software\\Vorra", false));
  ASSERT_TRUE(reg.OpenKey("Software\\Vorra", true));
  EXPECT_EQ(reg.CurrentPath(), "Software\\Vorra");
  ASSERT_TRUE(reg.OpenKey("Sub", true));
  EXPECT_EQ(reg.CurrentPath(), "Software\\Vorra\\Sub");
  ASSERT_TRUE(reg.OpenKey("\\software", false));
  EXPECT_EQ(reg.CurrentPath(), "software");

  // A failed open keeps the current key.
  const HKEY before = reg.CurrentKey();
  EXPECT_FALSE(reg.OpenKey("Missing", false));
  EXPECT_EQ(reg.CurrentKey(), before);
  EXPECT_EQ(reg.CurrentPath(), "software");
  EXPECT_TRUE(reg.KeyExists("Vorra\\Sub"));
  EXPECT_FALSE(reg.KeyExists("Sub"));
  EXPECT_TRUE(reg.KeyExists("\\Software\\Vorra"));
  EXPECT_EQ(reg.CurrentKey(), before);
  EXPECT_EQ(reg.GetKeyNames(), TNames{"Vorra"});

  reg.SetRootKey(HKEY_CLASSES_ROOT);
  EXPECT_EQ(reg.CurrentKey(), nullptr);
  EXPECT_EQ(reg.CurrentPath(), "");
  EXPECT_FALSE(reg.KeyExists("Software"));
}

TEST_F(TRegistryTest, ValuesRoundTripAndMissingTextReadsEmpty) {
  TRegistry reg;
  ASSERT_TRUE(reg.OpenKey("Software\\Vorra", true));
  EXPECT_EQ(reg.ReadString("DefaultDir"), "");
  EXPECT_FALSE(reg.ValueExists("DefaultDir"));
  reg.WriteString("DefaultDir", "/home/u/Flash Files/");
  reg.WriteInteger("contexts", 243);
  reg.WriteInteger("negative", -5);
  reg.WriteString("", "default");
  EXPECT_TRUE(reg.ValueExists("defaultdir"));
  EXPECT_EQ(reg.ReadString("DEFAULTDIR"), "/home/u/Flash Files/");
  EXPECT_EQ(reg.ReadInteger("contexts"), 243);
  EXPECT_EQ(reg.ReadInteger("negative"), -5);
  EXPECT_EQ(reg.ReadString(""), "default");
  EXPECT_EQ(reg.GetValueNames(), (TNames{"DefaultDir", "contexts", "negative", ""}));
  EXPECT_TRUE(reg.DeleteValue("Contexts"));
  EXPECT_FALSE(reg.DeleteValue("contexts"));
  EXPECT_EQ(reg.GetValueNames(), (TNames{"DefaultDir", "negative", ""}));

  // Another object reads what this one wrote.
  TRegistry other;
  ASSERT_TRUE(other.OpenKeyReadOnly("Software\\Vorra"));
  EXPECT_EQ(other.ReadString("DefaultDir"), "/home/u/Flash Files/");
}

TEST_F(TRegistryTest, ErrorsCarryTheirTextsWithTheValueName) {
  TRegistry reg;
  ASSERT_TRUE(reg.OpenKey("Software\\Vorra", true));
  reg.WriteInteger("AppPath", 1);
  reg.WriteString("contexts", "243");
  const BYTE eight[8] = {};
  ASSERT_EQ(RegSetValueExA(reg.CurrentKey(), "wide", 0, REG_BINARY, eight, sizeof eight), 0);
  ASSERT_EQ(RegSetValueExA(reg.CurrentKey(), "four", 0, REG_BINARY, eight, 4), 0);

  EXPECT_EQ(Raised([&] { reg.ReadString("AppPath"); }), "Invalid data type for 'AppPath'");
  EXPECT_EQ(Raised([&] { reg.ReadInteger("contexts"); }), "Invalid data type for 'contexts'");
  EXPECT_EQ(Raised([&] { reg.ReadInteger("wide"); }), "Invalid data type for 'wide'");
  EXPECT_EQ(Raised([&] { reg.ReadInteger("four"); }), "Invalid data type for 'four'");
  EXPECT_EQ(Raised([&] { reg.ReadInteger("missing"); }), "Failed to get data for 'missing'");

  TRegistry ro;
  ASSERT_TRUE(ro.OpenKeyReadOnly("Software\\Vorra"));
  EXPECT_EQ(Raised([&] { ro.WriteString("DefaultDir", "x"); }), "Failed to set data for 'DefaultDir'");
  EXPECT_EQ(Raised([&] { ro.WriteInteger("contexts", 1); }), "Failed to set data for 'contexts'");
  EXPECT_FALSE(ro.ValueExists("DefaultDir"));

  TRegistry closed;
  EXPECT_EQ(closed.ReadString("DefaultDir"), "");
  EXPECT_EQ(Raised([&] { closed.WriteString("DefaultDir", "x"); }), "Failed to set data for 'DefaultDir'");
}

TEST_F(TRegistryTest, DeleteKeyRemovesTheWholeTreeDepthFirst) {
  const std::string menu = "Software\\Microsoft\\Internet Explorer\\MenuExt";
  const std::string entry = menu + "\\Download Flash with Vorra";
  {
    TRegistry reg;
    ASSERT_TRUE(reg.OpenKey(entry + "\\a\\b\\c", true));
    reg.WriteString("deep", "x");
    ASSERT_TRUE(reg.OpenKey("\\" + entry + "\\a2", true));
    ASSERT_TRUE(reg.OpenKey("\\" + entry, false));
    reg.WriteString("", "/apps/vorra/dl.htm");
    reg.WriteInteger("contexts", 243);
    ASSERT_TRUE(reg.OpenKey("\\" + menu + "\\Other", true));
  }
  EXPECT_EQ(RegDeleteKeyA(HKEY_CURRENT_USER, entry.c_str()), static_cast<LONG>(ERROR_ACCESS_DENIED));

  TRegistry reg;
  ASSERT_TRUE(reg.OpenKey(menu, false));
  EXPECT_TRUE(reg.DeleteKey("download flash with vorra"));
  EXPECT_FALSE(reg.KeyExists("Download Flash with Vorra"));
  EXPECT_EQ(reg.GetKeyNames(), TNames{"Other"});
  EXPECT_FALSE(reg.DeleteKey("Download Flash with Vorra"));
  // Absolute from the root, whatever the current key.
  EXPECT_TRUE(reg.DeleteKey("\\Software\\Microsoft"));
  EXPECT_FALSE(reg.KeyExists("\\Software\\Microsoft"));
  EXPECT_TRUE(reg.KeyExists("\\Software"));
}

TEST_F(TRegistryTest, UnusableStoreReadsEmptyAndOpensNothing) {
  std::filesystem::create_directories(home_.Path() / "config");
  const std::string path = home_ / "config/registry.db";
  WriteText(path, "not a database at all, but a few words of text that are long enough to have a header");
  TRegistry reg;
  EXPECT_FALSE(reg.OpenKey("Software\\Vorra", true));
  EXPECT_EQ(reg.ReadString("DefaultDir"), "");
  EXPECT_FALSE(reg.KeyExists("Software"));
  EXPECT_EQ(Raised([&] { reg.WriteString("DefaultDir", "x"); }), "Failed to set data for 'DefaultDir'");
  EXPECT_EQ(reports_.size(), 1u);
  EXPECT_EQ(ReadText(path), "not a database at all, but a few words of text that are long enough to have a header");
}

}  // namespace
}  // namespace vorra
