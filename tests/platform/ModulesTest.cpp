#include "platform/win/Modules.h"

#include <gtest/gtest.h>

#include "platform/net/UrlCache.h"

namespace win {
namespace {

int Answer() { return 42; }

TEST(Modules, WinInetIsBuiltInUnderAnySpelling) {
  const HMODULE h = LoadLibraryA("wininet.dll");
  ASSERT_NE(h, nullptr);
  EXPECT_EQ(LoadLibraryA("WININET.DLL"), h);
  EXPECT_EQ(LoadLibraryA("WinInet"), h);

  const std::pair<const char*, FARPROC> exports[] = {
      {"FindFirstUrlCacheEntryExA", ExportOf(&FindFirstUrlCacheEntryExA)},
      {"FindNextUrlCacheEntryExA", ExportOf(&FindNextUrlCacheEntryExA)},
      {"FindCloseUrlCache", ExportOf(&FindCloseUrlCache)},
      {"DeleteUrlCacheEntry", ExportOf(&DeleteUrlCacheEntry)},
      {"DeleteUrlCacheEntryA", ExportOf(&DeleteUrlCacheEntryA)},
      {"FindFirstUrlCacheGroup", ExportOf(&FindFirstUrlCacheGroup)},
      {"FindNextUrlCacheGroup", ExportOf(&FindNextUrlCacheGroup)},
      {"GetUrlCacheGroupAttributeA", ExportOf(&GetUrlCacheGroupAttributeA)},
      {"SetUrlCacheGroupAttributeA", ExportOf(&SetUrlCacheGroupAttributeA)},
      {"CreateUrlCacheEntryA", ExportOf(&CreateUrlCacheEntryA)},
      {"CommitUrlCacheEntryA", ExportOf(&CommitUrlCacheEntryA)},
      {"GetUrlCacheEntryInfoA", ExportOf(&GetUrlCacheEntryInfoA)},
  };
  for (const auto& [name, fn] : exports) EXPECT_EQ(GetProcAddress(h, name), fn) << name;

  // Export names are exact, as on Windows.
  EXPECT_EQ(GetProcAddress(h, "findfirsturlcacheentryexa"), nullptr);
  EXPECT_EQ(GetLastError(), ERROR_PROC_NOT_FOUND);
  EXPECT_EQ(GetProcAddress(h, reinterpret_cast<LPCSTR>(1)), nullptr);  // an ordinal
  EXPECT_EQ(GetLastError(), ERROR_PROC_NOT_FOUND);
  EXPECT_TRUE(FreeLibrary(h));
  EXPECT_NE(GetProcAddress(h, "FindCloseUrlCache"), nullptr) << "built-in modules stay";
}

TEST(Modules, GroupCallsSayThereAreNoGroups) {
  const HMODULE h = LoadLibraryA("wininet.dll");
  using TFindFirstGroup = HANDLE (*)(DWORD, DWORD, LPVOID, DWORD, GROUPID*, LPVOID);
  auto findFirst = reinterpret_cast<TFindFirstGroup>(GetProcAddress(h, "FindFirstUrlCacheGroup"));
  ASSERT_NE(findFirst, nullptr);
  GROUPID id = 99;
  EXPECT_EQ(findFirst(0, 0, nullptr, 0, &id, nullptr), nullptr);
  EXPECT_EQ(GetLastError(), ERROR_NO_MORE_ITEMS);
  INTERNET_CACHE_GROUP_INFOA info{};
  DWORD size = sizeof info;
  EXPECT_FALSE(GetUrlCacheGroupAttributeA(1, 0, 0, &info, &size, nullptr));
  EXPECT_EQ(GetLastError(), ERROR_FILE_NOT_FOUND);
  EXPECT_FALSE(SetUrlCacheGroupAttributeA(1, 0, 0, &info, nullptr));
  EXPECT_EQ(GetLastError(), ERROR_FILE_NOT_FOUND);
  EXPECT_FALSE(FindNextUrlCacheGroup(reinterpret_cast<HANDLE>(1), &id, nullptr));
}

TEST(Modules, UnknownNamesFail) {
  EXPECT_EQ(LoadLibraryA("no-such-module.dll"), nullptr);
  EXPECT_EQ(GetLastError(), ERROR_MOD_NOT_FOUND);
  EXPECT_EQ(LoadLibraryA(""), nullptr);
  EXPECT_EQ(GetLastError(), ERROR_MOD_NOT_FOUND);
  EXPECT_EQ(LoadLibraryA(nullptr), nullptr);
  EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);
  int local = 0;
  EXPECT_EQ(GetProcAddress(reinterpret_cast<HMODULE>(&local), "x"), nullptr);
  EXPECT_EQ(GetLastError(), ERROR_INVALID_HANDLE);
  EXPECT_FALSE(FreeLibrary(reinterpret_cast<HMODULE>(&local)));
  EXPECT_EQ(GetLastError(), ERROR_INVALID_HANDLE);
}

TEST(Modules, OtherNamesAreSharedObjects) {
  const HMODULE m = LoadLibraryA("libm.so.6");
  ASSERT_NE(m, nullptr);
  auto cosine = reinterpret_cast<double (*)(double)>(GetProcAddress(m, "cos"));
  ASSERT_NE(cosine, nullptr);
  EXPECT_DOUBLE_EQ(cosine(0.0), 1.0);
  EXPECT_EQ(GetProcAddress(m, "no_such_function_here"), nullptr);
  EXPECT_EQ(GetLastError(), ERROR_PROC_NOT_FOUND);
  // Each load needs its own free; one more is a stale handle.
  ASSERT_EQ(LoadLibraryA("libm.so.6"), m);
  EXPECT_TRUE(FreeLibrary(m));
  EXPECT_TRUE(FreeLibrary(m));
  EXPECT_FALSE(FreeLibrary(m));
  EXPECT_EQ(GetLastError(), ERROR_INVALID_HANDLE);
}

TEST(Modules, LaterModulesRegisterThemselves) {
  ASSERT_TRUE(RegisterBuiltinModule("vorra-test.dll", {{"Answer", ExportOf(&Answer)}}));
  const HMODULE h = LoadLibraryA("VORRA-TEST");
  ASSERT_NE(h, nullptr);
  auto answer = reinterpret_cast<int (*)()>(GetProcAddress(h, "Answer"));
  ASSERT_NE(answer, nullptr);
  EXPECT_EQ(answer(), 42);
  // Registering again replaces the exports.
  RegisterBuiltinModule("vorra-test", {});
  EXPECT_EQ(LoadLibraryA("vorra-test.dll"), h);
  EXPECT_EQ(GetProcAddress(h, "Answer"), nullptr);
}

}  // namespace
}  // namespace win
