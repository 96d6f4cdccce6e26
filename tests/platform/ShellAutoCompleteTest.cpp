#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "platform/net/UrlCache.h"
#include "platform/registry/Registry.h"
#include "platform/shell/AutoComplete.h"
#include "tests/support/TestSupport.h"

namespace win {
namespace {

using TList = std::vector<std::string>;

void Remember(const std::string& url, DWORD type) {
  ASSERT_TRUE(CommitUrlCacheEntryA(url.c_str(), nullptr, FILETIME{}, FILETIME{}, type, nullptr, 0, nullptr, nullptr));
}

TEST(ShellAutoComplete, TheFlagsChooseTypedCachedAndPathSuggestions) {
  vorra::test::TTempDir home;
  vorra::test::TScopedEnv env("VORRA_HOME", home.Folder());
  CloseRegistryStore();
  HKEY key = nullptr;
  ASSERT_EQ(RegCreateKeyExA(HKEY_CURRENT_USER, "Software\\Microsoft\\Internet Explorer\\TypedURLs", 0, nullptr, 0,
                            KEY_ALL_ACCESS, nullptr, &key, nullptr),
            ERROR_SUCCESS);
  const std::string typed = "http://www.example.com/typed";
  RegSetValueExA(key, "Url1", 0, REG_SZ, reinterpret_cast<const BYTE*>(typed.c_str()),
                 static_cast<DWORD>(typed.size() + 1));
  RegCloseKey(key);
  const std::string seen = "http://www.example.org/seen";
  Remember("Visited: me@" + seen, URLHISTORY_CACHE_ENTRY);
  Remember("Cookie:me@example.biz/", COOKIE_CACHE_ENTRY);
  std::filesystem::create_directory(home / "alpha");
  std::ofstream(home / "alps.txt") << "x";
  const std::string paths = home.Folder() + "al";

  EXPECT_EQ(AutoCompleteSuggestions("exa", SHACF_URLMRU), TList{typed});
  EXPECT_EQ(AutoCompleteSuggestions("exa", SHACF_URLHISTORY), TList{seen});
  EXPECT_EQ(AutoCompleteSuggestions("EXA", SHACF_URLALL), (TList{typed, seen}));
  EXPECT_EQ(AutoCompleteSuggestions("www.example.o", SHACF_URLHISTORY), TList{seen});
  EXPECT_EQ(AutoCompleteSuggestions("http://www.example.o", SHACF_URLALL), TList{seen});
  EXPECT_TRUE(AutoCompleteSuggestions("example.org/x", SHACF_URLALL).empty());
  EXPECT_TRUE(AutoCompleteSuggestions("example.biz", SHACF_URLALL).empty());
  EXPECT_TRUE(AutoCompleteSuggestions("exa", SHACF_FILESYSTEM).empty());
  EXPECT_TRUE(AutoCompleteSuggestions("exa", SHACF_URLALL | SHACF_FILESYS_ONLY).empty());

  EXPECT_EQ(AutoCompleteSuggestions(paths, SHACF_FILESYSTEM), (TList{home / "alpha/", home / "alps.txt"}));
  EXPECT_EQ(AutoCompleteSuggestions(paths, SHACF_FILESYSTEM | SHACF_FILESYS_DIRS), TList{home / "alpha/"});
  EXPECT_TRUE(AutoCompleteSuggestions(paths, SHACF_URLALL).empty());
  EXPECT_EQ(AutoCompleteSuggestions(paths, SHACF_DEFAULT).size(), 2u);
  EXPECT_EQ(AutoCompleteSuggestions("exa", SHACF_DEFAULT).size(), 2u);

  // A page visited since the last key press is offered at the next one.
  Remember("Visited: me@http://example.org/new", URLHISTORY_CACHE_ENTRY);
  EXPECT_EQ(AutoCompleteSuggestions("example.org/n", SHACF_URLHISTORY), TList{"http://example.org/new"});
  CloseRegistryStore();
}

}  // namespace
}  // namespace win
