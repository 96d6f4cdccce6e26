#include "platform/registry/Registry.h"

#include <sqlite3.h>
#include <unistd.h>

#include <cstring>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "tests/support/TestSupport.h"

namespace win {
namespace {

namespace fs = std::filesystem;
using vorra::test::ReadText;
using vorra::test::TScopedEnv;
using vorra::test::TTempDir;
using vorra::test::WriteText;
using TNames = std::vector<std::string>;

constexpr LONG Ok = 0;
constexpr LONG E(DWORD e) { return static_cast<LONG>(e); }

HKEY Create(HKEY root, const char* path, REGSAM access = KEY_ALL_ACCESS, DWORD* disposition = nullptr) {
  HKEY k = nullptr;
  const LONG rc = RegCreateKeyExA(root, path, 0, nullptr, REG_OPTION_NON_VOLATILE, access, nullptr, &k, disposition);
  EXPECT_EQ(rc, Ok) << path;
  return k;
}

LONG Open(HKEY root, const char* path, REGSAM access, HKEY& k) { return RegOpenKeyExA(root, path, 0, access, &k); }

LONG SetString(HKEY k, const char* name, const std::string& text) {
  return RegSetValueExA(k, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(text.c_str()),
                        static_cast<DWORD>(text.size() + 1));
}

LONG SetDword(HKEY k, const char* name, DWORD v) {
  return RegSetValueExA(k, name, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&v), sizeof v);
}

// The value's bytes as stored (terminating zero included), or "<error N>".
std::string Query(HKEY k, const char* name, DWORD* type = nullptr) {
  DWORD size = 0;
  if (const LONG rc = RegQueryValueExA(k, name, nullptr, type, nullptr, &size)) return "<error " + std::to_string(rc) + ">";
  std::string buf(size, '?');
  if (const LONG rc = RegQueryValueExA(k, name, nullptr, type, reinterpret_cast<LPBYTE>(buf.data()), &size))
    return "<error " + std::to_string(rc) + ">";
  buf.resize(size);
  return buf;
}

std::string Text(const std::string& s) { return s + '\0'; }

TNames KeyNames(HKEY k) {
  TNames names;
  char buf[300];
  for (DWORD i = 0;; ++i) {
    DWORD size = sizeof buf;
    const LONG rc = RegEnumKeyExA(k, i, buf, &size, nullptr, nullptr, nullptr, nullptr);
    if (rc == E(ERROR_NO_MORE_ITEMS)) break;
    if (rc != Ok) return {"<error " + std::to_string(rc) + ">"};
    EXPECT_EQ(size, std::strlen(buf));
    names.emplace_back(buf, size);
  }
  return names;
}

TNames ValueNames(HKEY k) {
  TNames names;
  std::vector<char> buf(RegMaxValueNameLength + 1);
  for (DWORD i = 0;; ++i) {
    DWORD size = static_cast<DWORD>(buf.size());
    const LONG rc = RegEnumValueA(k, i, buf.data(), &size, nullptr, nullptr, nullptr, nullptr);
    if (rc == E(ERROR_NO_MORE_ITEMS)) break;
    if (rc != Ok) return {"<error " + std::to_string(rc) + ">"};
    names.emplace_back(buf.data(), size);
  }
  return names;
}

class RegistryTest : public ::testing::Test {
 protected:
  void SetUp() override {
    previous_ = SetRegistryStoreReporter([this](const std::string& m) { reports_.push_back(m); });
  }
  void TearDown() override {
    CloseRegistryStore();
    SetRegistryStoreReporter(previous_);
  }
  std::string StorePath() const { return home_ / "config/registry.db"; }

  TTempDir home_;
  TScopedEnv env_{"VORRA_HOME", home_.Path().string()};
  TNames reports_;
  TRegistryStoreReporter previous_;
};

TEST_F(RegistryTest, KeysAndValuesIgnoreCaseAndKeepTheirFirstSpelling) {
  DWORD disposition = 0;
  HKEY a = Create(HKEY_CURRENT_USER, "Software\\Vorra", KEY_ALL_ACCESS, &disposition);
  EXPECT_EQ(disposition, REG_CREATED_NEW_KEY);
  HKEY b = Create(HKEY_CURRENT_USER, "SOFTWARE\\vorra", KEY_ALL_ACCESS, &disposition);
  EXPECT_EQ(disposition, REG_OPENED_EXISTING_KEY);

  ASSERT_EQ(SetString(a, "DefaultDir", "C:\\One\\"), Ok);
  ASSERT_EQ(SetString(b, "DEFAULTDIR", "C:\\Two\\"), Ok);
  EXPECT_EQ(Query(a, "defaultdir"), Text("C:\\Two\\"));
  EXPECT_EQ(ValueNames(b), TNames{"DefaultDir"});
  EXPECT_EQ(KeyNames(HKEY_CURRENT_USER), TNames{"Software"});
  HKEY software;
  ASSERT_EQ(Open(HKEY_CURRENT_USER, "software", KEY_READ, software), Ok);
  EXPECT_EQ(KeyNames(software), TNames{"Vorra"});

  // The two roots are apart.
  HKEY none;
  EXPECT_EQ(Open(HKEY_CLASSES_ROOT, "Software", KEY_READ, none), E(ERROR_FILE_NOT_FOUND));
  EXPECT_EQ(none, nullptr);
  for (HKEY k : {a, b, software}) EXPECT_EQ(RegCloseKey(k), Ok);
}

TEST_F(RegistryTest, DefaultValueIsTheEmptyOrNullName) {
  HKEY k = Create(HKEY_CLASSES_ROOT, "htmlfile\\shell\\open\\ddeexec\\application");
  EXPECT_EQ(Query(k, nullptr), "<error 2>");
  ASSERT_EQ(SetString(k, nullptr, "IExplore"), Ok);
  EXPECT_EQ(Query(k, ""), Text("IExplore"));
  ASSERT_EQ(SetString(k, "Named", "x"), Ok);
  EXPECT_EQ(ValueNames(k), (TNames{"", "Named"}));
  EXPECT_EQ(RegDeleteValueA(k, ""), Ok);
  EXPECT_EQ(Query(k, nullptr), "<error 2>");
  EXPECT_EQ(RegDeleteValueA(k, nullptr), E(ERROR_FILE_NOT_FOUND));
  RegCloseKey(k);
}

TEST_F(RegistryTest, QueryAnswersSizesAndMoreData) {
  HKEY k = Create(HKEY_CURRENT_USER, "Software\\Vorra");
  ASSERT_EQ(RegSetValueExA(k, "AppPath", 0, REG_SZ, reinterpret_cast<const BYTE*>("abc"), 4), Ok);

  DWORD type = 0, size = 0;
  EXPECT_EQ(RegQueryValueExA(k, "AppPath", nullptr, &type, nullptr, &size), Ok);
  EXPECT_EQ(type, REG_SZ);
  EXPECT_EQ(size, 4u);

  char buf[8] = "zzzzzzz";
  size = 3;
  EXPECT_EQ(RegQueryValueExA(k, "AppPath", nullptr, nullptr, reinterpret_cast<LPBYTE>(buf), &size), E(ERROR_MORE_DATA));
  EXPECT_EQ(size, 4u);
  size = 4;
  EXPECT_EQ(RegQueryValueExA(k, "AppPath", nullptr, nullptr, reinterpret_cast<LPBYTE>(buf), &size), Ok);
  EXPECT_STREQ(buf, "abc");
  EXPECT_EQ(RegQueryValueExA(k, "AppPath", nullptr, nullptr, reinterpret_cast<LPBYTE>(buf), nullptr),
            E(ERROR_INVALID_PARAMETER));

  // Text written without its zero, or empty, still comes back terminated.
  ASSERT_EQ(RegSetValueExA(k, "Bare", 0, REG_SZ, reinterpret_cast<const BYTE*>("xyz"), 3), Ok);
  EXPECT_EQ(Query(k, "Bare"), Text("xyz"));
  ASSERT_EQ(RegSetValueExA(k, "Empty", 0, REG_EXPAND_SZ, nullptr, 0), Ok);
  EXPECT_EQ(Query(k, "Empty", &type), std::string(1, '\0'));
  EXPECT_EQ(type, REG_EXPAND_SZ);

  // Binary data is kept exactly, zeros and all.
  const BYTE bin[] = {0, 1, 0, 2};
  ASSERT_EQ(RegSetValueExA(k, "Bin", 0, REG_BINARY, bin, sizeof bin), Ok);
  EXPECT_EQ(Query(k, "Bin", &type), std::string("\0\1\0\2", 4));
  EXPECT_EQ(type, REG_BINARY);

  ASSERT_EQ(SetDword(k, "contexts", 243), Ok);
  DWORD v = 0;
  size = sizeof v;
  EXPECT_EQ(RegQueryValueExA(k, "contexts", nullptr, &type, reinterpret_cast<LPBYTE>(&v), &size), Ok);
  EXPECT_EQ(type, REG_DWORD);
  EXPECT_EQ(v, 243u);
  RegCloseKey(k);
}

TEST_F(RegistryTest, SubkeysComeInNameOrderAndValuesInWritingOrder) {
  HKEY k = Create(HKEY_CURRENT_USER, "Order");
  for (const char* name : {"beta", "Alpha", "gamma", "ALPHA2"}) RegCloseKey(Create(k, name));
  for (const char* name : {"z", "a", "m"}) ASSERT_EQ(SetString(k, name, name), Ok);
  ASSERT_EQ(SetString(k, "A", "again"), Ok);  // rewriting keeps the place

  const TNames keys{"Alpha", "ALPHA2", "beta", "gamma"};
  EXPECT_EQ(KeyNames(k), keys);
  EXPECT_EQ(ValueNames(k), (TNames{"z", "a", "m"}));
  ASSERT_EQ(RegDeleteValueA(k, "Z"), Ok);
  EXPECT_EQ(ValueNames(k), (TNames{"a", "m"}));
  EXPECT_EQ(KeyNames(k), keys);

  char small[4];
  DWORD size = sizeof small;
  EXPECT_EQ(RegEnumKeyExA(k, 0, small, &size, nullptr, nullptr, nullptr, nullptr), E(ERROR_MORE_DATA));
  size = 1;
  EXPECT_EQ(RegEnumValueA(k, 0, small, &size, nullptr, nullptr, nullptr, nullptr), E(ERROR_MORE_DATA));

  // A value's data comes with its name; too little room for the data says how much.
  char name[8];
  DWORD nameSize = sizeof name, type = 0, dataSize = 2;
  BYTE data[8];
  EXPECT_EQ(RegEnumValueA(k, 0, name, &nameSize, nullptr, &type, data, &dataSize), E(ERROR_MORE_DATA));
  EXPECT_EQ(dataSize, 6u);
  nameSize = sizeof name;
  dataSize = sizeof data;
  EXPECT_EQ(RegEnumValueA(k, 0, name, &nameSize, nullptr, &type, data, &dataSize), Ok);
  EXPECT_STREQ(name, "a");
  EXPECT_EQ(nameSize, 1u);
  EXPECT_EQ(std::string(reinterpret_cast<char*>(data), dataSize), Text("again"));

  DWORD subkeys = 0, maxKey = 0, values = 0, maxName = 0, maxData = 0;
  ASSERT_EQ(RegQueryInfoKeyA(k, nullptr, nullptr, nullptr, &subkeys, &maxKey, nullptr, &values, &maxName, &maxData,
                             nullptr, nullptr),
            Ok);
  EXPECT_EQ(subkeys, 4u);
  EXPECT_EQ(maxKey, 6u);
  EXPECT_EQ(values, 2u);
  EXPECT_EQ(maxName, 1u);
  EXPECT_EQ(maxData, 6u);
  RegCloseKey(k);
}

TEST_F(RegistryTest, KeyWithSubkeysIsNotDeletedButItsLeavesAre) {
  RegCloseKey(Create(HKEY_CURRENT_USER, "Menu\\Entry\\Leaf"));
  EXPECT_EQ(RegDeleteKeyA(HKEY_CURRENT_USER, "Menu\\Entry"), E(ERROR_ACCESS_DENIED));
  HKEY k;
  ASSERT_EQ(Open(HKEY_CURRENT_USER, "Menu\\Entry\\Leaf", KEY_READ, k), Ok);
  RegCloseKey(k);
  EXPECT_EQ(RegDeleteKeyA(HKEY_CURRENT_USER, "MENU\\entry\\leaf"), Ok);
  EXPECT_EQ(RegDeleteKeyA(HKEY_CURRENT_USER, "Menu\\Entry"), Ok);
  EXPECT_EQ(RegDeleteKeyA(HKEY_CURRENT_USER, "Menu\\Entry"), E(ERROR_FILE_NOT_FOUND));
  EXPECT_EQ(KeyNames(HKEY_CURRENT_USER), TNames{"Menu"});
  // The roots stay, and a key deletes itself through its own handle.
  EXPECT_EQ(RegDeleteKeyA(HKEY_CURRENT_USER, ""), E(ERROR_ACCESS_DENIED));
  ASSERT_EQ(Open(HKEY_CURRENT_USER, "Menu", KEY_ALL_ACCESS, k), Ok);
  EXPECT_EQ(RegDeleteKeyA(k, ""), Ok);
  EXPECT_EQ(KeyNames(HKEY_CURRENT_USER), TNames{});
  EXPECT_EQ(RegDeleteKeyA(HKEY_CURRENT_USER, nullptr), E(ERROR_INVALID_PARAMETER));
  RegCloseKey(k);
}

TEST_F(RegistryTest, HandleOfADeletedKeyAnswersKeyDeleted) {
  HKEY k = Create(HKEY_CURRENT_USER, "Gone");
  ASSERT_EQ(SetString(k, "v", "x"), Ok);
  ASSERT_EQ(RegDeleteKeyA(HKEY_CURRENT_USER, "Gone"), Ok);
  // Made again under the same name, it is another key.
  RegCloseKey(Create(HKEY_CURRENT_USER, "Gone"));

  EXPECT_EQ(Query(k, "v"), "<error 1018>");
  EXPECT_EQ(SetString(k, "v", "y"), E(ERROR_KEY_DELETED));
  EXPECT_EQ(RegDeleteValueA(k, "v"), E(ERROR_KEY_DELETED));
  EXPECT_EQ(KeyNames(k), TNames{"<error 1018>"});
  EXPECT_EQ(ValueNames(k), TNames{"<error 1018>"});
  EXPECT_EQ(RegQueryInfoKeyA(k, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
                             nullptr, nullptr),
            E(ERROR_KEY_DELETED));
  HKEY sub;
  EXPECT_EQ(Open(k, nullptr, KEY_READ, sub), E(ERROR_KEY_DELETED));
  EXPECT_EQ(RegCreateKeyExA(k, "Sub", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &sub, nullptr), E(ERROR_KEY_DELETED));
  EXPECT_EQ(RegCloseKey(k), Ok);

  HKEY again;
  ASSERT_EQ(Open(HKEY_CURRENT_USER, "Gone", KEY_READ, again), Ok);
  EXPECT_EQ(ValueNames(again), TNames{});
  RegCloseKey(again);
}

TEST_F(RegistryTest, HandleWithoutTheRightAccessIsRefused) {
  RegCloseKey(Create(HKEY_CURRENT_USER, "Software\\Vorra\\Existing"));
  HKEY ro;
  ASSERT_EQ(Open(HKEY_CURRENT_USER, "Software\\Vorra", KEY_READ, ro), Ok);
  EXPECT_EQ(SetString(ro, "DefaultDir", "x"), E(ERROR_ACCESS_DENIED));
  EXPECT_EQ(RegDeleteValueA(ro, "DefaultDir"), E(ERROR_ACCESS_DENIED));
  HKEY sub;
  EXPECT_EQ(RegCreateKeyExA(ro, "New", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &sub, nullptr), E(ERROR_ACCESS_DENIED));
  EXPECT_EQ(sub, nullptr);
  // Creating what exists only opens it.
  DWORD disposition = 0;
  ASSERT_EQ(RegCreateKeyExA(ro, "Existing", 0, nullptr, 0, KEY_READ, nullptr, &sub, &disposition), Ok);
  EXPECT_EQ(disposition, REG_OPENED_EXISTING_KEY);
  EXPECT_EQ(KeyNames(ro), TNames{"Existing"});
  EXPECT_EQ(ValueNames(ro), TNames{});

  HKEY wo;
  ASSERT_EQ(Open(HKEY_CURRENT_USER, "Software\\Vorra", KEY_SET_VALUE, wo), Ok);
  ASSERT_EQ(SetString(wo, "DefaultDir", "x"), Ok);
  EXPECT_EQ(Query(wo, "DefaultDir"), "<error 5>");
  EXPECT_EQ(KeyNames(wo), TNames{"<error 5>"});
  for (HKEY k : {ro, sub, wo}) RegCloseKey(k);
}

TEST_F(RegistryTest, PathsAcceptOuterBackslashesAndRefuseBadNames) {
  const char* agent = "\\Software\\Microsoft\\Windows\\CurrentVersion\\Internet Settings\\User Agent\\Post Platform";
  HKEY k = Create(HKEY_CURRENT_USER, agent);
  ASSERT_EQ(SetString(k, "", ""), Ok);
  HKEY same;
  ASSERT_EQ(Open(HKEY_CURRENT_USER, agent + 1, KEY_READ, same), Ok);
  EXPECT_EQ(Query(same, nullptr), std::string(1, '\0'));
  RegCloseKey(same);
  ASSERT_EQ(Open(HKEY_CURRENT_USER, "Software\\", KEY_READ, same), Ok);
  EXPECT_EQ(KeyNames(same), TNames{"Microsoft"});
  RegCloseKey(same);
  ASSERT_EQ(Open(k, nullptr, KEY_READ, same), Ok);  // no path: the same key again
  EXPECT_EQ(ValueNames(same), TNames{""});
  RegCloseKey(same);
  RegCloseKey(k);

  HKEY bad;
  EXPECT_EQ(RegCreateKeyExA(HKEY_CURRENT_USER, "a\\\\b", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &bad, nullptr),
            E(ERROR_INVALID_PARAMETER));
  const std::string longest(RegMaxKeyNameLength, 'k');
  RegCloseKey(Create(HKEY_CURRENT_USER, longest.c_str()));
  EXPECT_EQ(Open(HKEY_CURRENT_USER, (longest + "k").c_str(), KEY_READ, bad), E(ERROR_INVALID_PARAMETER));
  std::string deep;
  for (std::size_t i = 0; i <= RegMaxKeyDepth; ++i) deep += "d\\";
  EXPECT_EQ(RegCreateKeyExA(HKEY_CURRENT_USER, deep.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &bad, nullptr),
            E(ERROR_INVALID_PARAMETER));
  EXPECT_EQ(SetString(HKEY_CURRENT_USER, std::string(RegMaxValueNameLength + 1, 'v').c_str(), "x"),
            E(ERROR_INVALID_PARAMETER));
  EXPECT_EQ(SetString(HKEY_CURRENT_USER, std::string(RegMaxValueNameLength, 'v').c_str(), "x"), Ok);
}

TEST_F(RegistryTest, UnknownAndClosedHandlesAreInvalid) {
  HKEY k = Create(HKEY_CURRENT_USER, "K");
  ASSERT_EQ(RegCloseKey(k), Ok);
  for (HKEY h : {k, static_cast<HKEY>(nullptr), reinterpret_cast<HKEY>(std::uintptr_t{12345})}) {
    EXPECT_EQ(SetString(h, "v", "x"), E(ERROR_INVALID_HANDLE));
    EXPECT_EQ(Query(h, "v"), "<error 6>");
    EXPECT_EQ(RegCloseKey(h), E(ERROR_INVALID_HANDLE));
  }
  EXPECT_EQ(RegCloseKey(HKEY_CURRENT_USER), Ok);
  EXPECT_EQ(SetString(HKEY_CURRENT_USER, "stillThere", "x"), Ok);
}

TEST_F(RegistryTest, AbsurdSizesAreRefusedBeforeTheDataIsRead) {
  HKEY k = Create(HKEY_CURRENT_USER, "Big");
  const BYTE one = 1;
  // A huge size with a one-byte buffer: reading it would be caught by the sanitizers.
  EXPECT_EQ(RegSetValueExA(k, "v", 0, REG_BINARY, &one, 0xFFFFFFFFu), E(ERROR_INVALID_PARAMETER));
  EXPECT_EQ(RegSetValueExA(k, "v", 0, REG_BINARY, nullptr, 5), E(ERROR_INVALID_PARAMETER));
  EXPECT_EQ(RegSetValueExA(k, "v", 0, REG_DWORD, &one, 1), E(ERROR_INVALID_PARAMETER));
  const std::vector<BYTE> huge(100u << 20, 0xAB);
  EXPECT_EQ(RegSetValueExA(k, "v", 0, REG_BINARY, huge.data(), static_cast<DWORD>(huge.size())),
            E(ERROR_INVALID_PARAMETER));
  EXPECT_EQ(RegSetValueExA(k, "v", 0, REG_BINARY, huge.data(), RegMaxValueSize + 1), E(ERROR_INVALID_PARAMETER));
  EXPECT_EQ(Query(k, "v"), "<error 2>");

  ASSERT_EQ(RegSetValueExA(k, "v", 0, REG_BINARY, huge.data(), RegMaxValueSize), Ok);
  DWORD size = 0, maxData = 0;
  ASSERT_EQ(RegQueryValueExA(k, "v", nullptr, nullptr, nullptr, &size), Ok);
  EXPECT_EQ(size, RegMaxValueSize);
  EXPECT_EQ(Query(k, "v"), std::string(RegMaxValueSize, '\xAB'));
  ASSERT_EQ(RegQueryInfoKeyA(k, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, &maxData,
                             nullptr, nullptr),
            Ok);
  EXPECT_EQ(maxData, RegMaxValueSize);
  RegCloseKey(k);
}

TEST_F(RegistryTest, SettingsSurviveReopeningTheStore) {
  EXPECT_FALSE(fs::exists(home_.Path() / "config"));
  HKEY k = Create(HKEY_CURRENT_USER, "Software\\Vorra");
  ASSERT_EQ(SetString(k, "DefaultDir", "/home/u/Flash Files/"), Ok);
  EXPECT_EQ(GetRegistryStorePath(), StorePath());
  EXPECT_TRUE(fs::is_regular_file(StorePath()));

  CloseRegistryStore();
  // Open handles outlive the connection.
  EXPECT_EQ(Query(k, "DefaultDir"), Text("/home/u/Flash Files/"));
  RegCloseKey(k);
  CloseRegistryStore();
  HKEY again;
  ASSERT_EQ(Open(HKEY_CURRENT_USER, "software\\vorra", KEY_READ, again), Ok);
  EXPECT_EQ(Query(again, "DefaultDir"), Text("/home/u/Flash Files/"));
  RegCloseKey(again);
  EXPECT_TRUE(reports_.empty());
}

TEST_F(RegistryTest, StoreMovesWithVorraHome) {
  HKEY k = Create(HKEY_CURRENT_USER, "Software\\Vorra");
  ASSERT_EQ(SetString(k, "DefaultDir", "first"), Ok);
  {
    TTempDir other;
    TScopedEnv moved("VORRA_HOME", other.Path().string());
    HKEY none;
    EXPECT_EQ(Open(HKEY_CURRENT_USER, "Software\\Vorra", KEY_READ, none), E(ERROR_FILE_NOT_FOUND));
    // A handle of the other store must not reach a key of this one.
    EXPECT_EQ(Query(k, "DefaultDir"), "<error 6>");
    EXPECT_TRUE(fs::exists(other.Path() / "config/registry.db"));
    CloseRegistryStore();
  }
  EXPECT_EQ(Query(k, "DefaultDir"), Text("first"));
  RegCloseKey(k);
}

TEST_F(RegistryTest, ThreadsWritingAtOnceLoseNothing) {
  constexpr int PerThread = 300;
  auto writer = [](int t) {
    HKEY k = Create(HKEY_CURRENT_USER, "Threads");
    for (int i = 0; i < PerThread; ++i)
      EXPECT_EQ(SetDword(k, ("t" + std::to_string(t) + "-" + std::to_string(i)).c_str(), i), Ok);
    RegCloseKey(k);
  };
  std::thread a(writer, 0), b(writer, 1);
  a.join();
  b.join();
  HKEY k;
  ASSERT_EQ(Open(HKEY_CURRENT_USER, "Threads", KEY_READ, k), Ok);
  EXPECT_EQ(ValueNames(k).size(), 2u * PerThread);
  RegCloseKey(k);
}

// Each child writes its own values and keys into one shared key; a pipe
// starts both at the same moment.
TEST_F(RegistryTest, TwoProcessesWritingAtOnceLoseNothing) {
  constexpr int PerProcess = 2000;
  // The parent has a connection already: children must work beside it.
  RegCloseKey(Create(HKEY_CURRENT_USER, "Software\\Shared"));
  vorra::test::TChildren children(2, [&](int child, const std::string&) {
    int failures = 0;
    HKEY k = nullptr;
    if (RegCreateKeyExA(HKEY_CURRENT_USER, "Software\\Shared", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &k,
                        nullptr) != Ok)
      return 100;
    for (int i = 0; i < PerProcess; ++i) {
      const std::string name = "p" + std::to_string(child) + "-" + std::to_string(i);
      failures += SetDword(k, name.c_str(), static_cast<DWORD>(i * 7 + child)) != Ok;
      HKEY sub = nullptr;
      if (i % 100 == 0) {
        failures += RegCreateKeyExA(k, name.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &sub, nullptr) != Ok;
        RegCloseKey(sub);
      }
      // Both make the same keys: whoever comes second must find and open them.
      const std::string common = "Common\\k" + std::to_string(i % 400);
      failures += RegCreateKeyExA(k, common.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &sub, nullptr) != Ok;
      RegCloseKey(sub);
    }
    return failures;
  });
  children.Release();
  for (const int code : children.Wait()) EXPECT_EQ(code, 0);

  HKEY k;
  ASSERT_EQ(Open(HKEY_CURRENT_USER, "Software\\Shared", KEY_READ, k), Ok);
  DWORD subkeys = 0, values = 0;
  ASSERT_EQ(RegQueryInfoKeyA(k, nullptr, nullptr, nullptr, &subkeys, nullptr, nullptr, &values, nullptr, nullptr,
                             nullptr, nullptr),
            Ok);
  EXPECT_EQ(values, 2u * PerProcess);
  EXPECT_EQ(subkeys, 2u * PerProcess / 100 + 1);
  HKEY common;
  ASSERT_EQ(Open(k, "Common", KEY_READ, common), Ok);
  EXPECT_EQ(KeyNames(common).size(), 400u);
  RegCloseKey(common);
  for (int child = 0; child < 2; ++child)
    for (int i = 0; i < PerProcess; ++i) {
      DWORD v = 0, size = sizeof v;
      const std::string name = "p" + std::to_string(child) + "-" + std::to_string(i);
      ASSERT_EQ(RegQueryValueExA(k, name.c_str(), nullptr, nullptr, reinterpret_cast<LPBYTE>(&v), &size), Ok) << name;
      ASSERT_EQ(v, static_cast<DWORD>(i * 7 + child)) << name;
    }
  RegCloseKey(k);

  CloseRegistryStore();
  sqlite3* db = nullptr;
  ASSERT_EQ(sqlite3_open_v2(StorePath().c_str(), &db, SQLITE_OPEN_READONLY, nullptr), SQLITE_OK);
  sqlite3_stmt* st = nullptr;
  ASSERT_EQ(sqlite3_prepare_v2(db, "PRAGMA integrity_check", -1, &st, nullptr), SQLITE_OK);
  ASSERT_EQ(sqlite3_step(st), SQLITE_ROW);
  EXPECT_STREQ(reinterpret_cast<const char*>(sqlite3_column_text(st, 0)), "ok");
  sqlite3_finalize(st);
  sqlite3_close(db);
}

// Every call of the registry fails in its own way on a store it cannot use.
void ExpectUnusable(LONG error) {
  HKEY k = nullptr;
  EXPECT_EQ(RegCreateKeyExA(HKEY_CURRENT_USER, "Software\\Vorra", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &k, nullptr),
            error);
  EXPECT_EQ(k, nullptr);
  EXPECT_EQ(Open(HKEY_CLASSES_ROOT, "Folder", KEY_READ, k), error);
  EXPECT_EQ(SetString(HKEY_CURRENT_USER, "v", "x"), error);
  EXPECT_EQ(Query(HKEY_CURRENT_USER, "v"), "<error " + std::to_string(error) + ">");
  EXPECT_EQ(KeyNames(HKEY_CURRENT_USER), TNames{"<error " + std::to_string(error) + ">"});
  EXPECT_EQ(RegDeleteKeyA(HKEY_CURRENT_USER, "Software"), error);
}

TEST_F(RegistryTest, DamagedStoreIsReportedOnceAndLeftAsItIs) {
  fs::create_directories(home_.Path() / "config");
  std::string garbage = "SQLite format 3";
  garbage.push_back('\0');
  for (int i = 0; i < 5000; ++i) garbage.push_back(static_cast<char>(i * 31 + 7));
  WriteText(StorePath(), garbage);

  ExpectUnusable(E(ERROR_BADDB));
  CloseRegistryStore();
  ExpectUnusable(E(ERROR_BADDB));  // reopened: the second attempt is reported too, once
  EXPECT_EQ(ReadText(StorePath()), garbage);
  ASSERT_EQ(reports_.size(), 2u);
  EXPECT_NE(reports_[0].find(StorePath()), std::string::npos) << reports_[0];
}

// A database of another program stays byte for byte what it was, in
// either journal mode.
TEST_F(RegistryTest, ForeignDatabaseIsLeftAsItIs) {
  for (const char* mode : {"DELETE", "WAL"}) {
    SCOPED_TRACE(mode);
    CloseRegistryStore();
    fs::create_directories(home_.Path() / "config");
    fs::remove(StorePath());
    sqlite3* db = nullptr;
    ASSERT_EQ(sqlite3_open(StorePath().c_str(), &db), SQLITE_OK);
    const std::string sql = std::string("PRAGMA journal_mode=") + mode +
                            "; CREATE TABLE notes(t TEXT); INSERT INTO notes VALUES('mine');";
    ASSERT_EQ(sqlite3_exec(db, sql.c_str(), nullptr, nullptr, nullptr), SQLITE_OK);
    sqlite3_close(db);
    const std::string before = ReadText(StorePath());
    reports_.clear();

    ExpectUnusable(E(ERROR_BADDB));
    CloseRegistryStore();
    EXPECT_EQ(ReadText(StorePath()), before);
    EXPECT_EQ(reports_.size(), 1u);
  }
}

TEST_F(RegistryTest, TruncatedStoreIsReportedAndLeftAsItIs) {
  HKEY k = Create(HKEY_CURRENT_USER, "Software\\Vorra");
  for (int i = 0; i < 400; ++i) ASSERT_EQ(SetString(k, ("v" + std::to_string(i)).c_str(), std::string(100, 'x')), Ok);
  RegCloseKey(k);
  CloseRegistryStore();  // the last connection folds the log into the file
  ASSERT_FALSE(fs::exists(StorePath() + "-wal"));
  std::string bytes = ReadText(StorePath());
  ASSERT_GT(bytes.size(), 16384u);
  bytes.resize(bytes.size() / 2);
  WriteText(StorePath(), bytes);

  ExpectUnusable(E(ERROR_BADDB));
  CloseRegistryStore();
  EXPECT_EQ(ReadText(StorePath()), bytes);
  EXPECT_EQ(reports_.size(), 1u);
}

TEST_F(RegistryTest, StoreThatCannotBeOpenedGivesCantOpen) {
  fs::create_directories(StorePath());  // a folder where the file should be
  ExpectUnusable(E(ERROR_CANTOPEN));
  EXPECT_EQ(reports_.size(), 1u);
  EXPECT_TRUE(fs::is_directory(StorePath()));

  // A VORRA_HOME that is a file: the config folder cannot be made.
  CloseRegistryStore();
  const std::string file = home_ / "plain-file";
  WriteText(file, "x");
  TScopedEnv blocked("VORRA_HOME", file);
  ExpectUnusable(E(ERROR_CANTOPEN));
  EXPECT_EQ(reports_.size(), 2u);
  CloseRegistryStore();
}

}  // namespace
}  // namespace win
