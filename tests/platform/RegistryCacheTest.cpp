// Repeated registry reads answered from the connection's lookup results must never be stale:
// changes by this process, by another process and deletions show at the next read.
#include "support/SelfTest.h"
#include "support/TempPrefix.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

namespace {
using vanto_test::TempPrefix;

constexpr LSTATUS kOk = ERROR_SUCCESS;
constexpr LSTATUS kKeyDeleted = 1018;
constexpr const char16_t* kKey = u"SOFTWARE\\KELDA\\CacheTest";
constexpr const char16_t* kDeepKey = u"SOFTWARE\\KELDA\\CacheTest\\Deep";
constexpr const char* kChildVariable = "VANTO_TEST_CACHE_CHILD";

LSTATUS OpenKey(const char16_t* path, HKEY& key) {
    key = nullptr;
    return RegOpenKeyExW(HKEY_LOCAL_MACHINE, path, 0, KEY_READ, &key);
}

// Open + query + close of a DWORD value, as a log switch read does.
LSTATUS ReadDword(const char16_t* path, const char16_t* name, DWORD& value) {
    HKEY key = nullptr;
    if (LSTATUS s = OpenKey(path, key); s != kOk) return s;
    DWORD size = sizeof value, type = 0;
    LSTATUS s = RegQueryValueExW(key, name, nullptr, &type, reinterpret_cast<BYTE*>(&value), &size);
    RegCloseKey(key);
    return s;
}

LSTATUS WriteDword(HKEY key, const char16_t* name, DWORD value) {
    return RegSetValueExW(key, name, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&value), sizeof value);
}

// Distinct value names: a letter, then a run of 'x' that grows every 26 names.
std::u16string ValueName(DWORD i) {
    std::u16string name(1, u'V');
    name.push_back(static_cast<char16_t>(u'a' + i % 26));
    name.append(i / 26 + 1, u'x');
    return name;
}

HKEY CreateKey(const char16_t* path) {
    HKEY key = nullptr;
    EXPECT_EQ(RegCreateKeyExW(HKEY_LOCAL_MACHINE, path, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr), kOk);
    return key;
}

// Second-process half of the test below: creates the deep key with its value, or deletes the tree.
TEST(RegistryCacheChild, Change) {
    const char* change = std::getenv(kChildVariable);
    if (!change) GTEST_SKIP() << "runs only as the second process";
    if (std::string(change) == "delete") {
        ASSERT_EQ(RegDeleteTreeW(HKEY_LOCAL_MACHINE, kKey), kOk);
        return;
    }
    HKEY key = CreateKey(kDeepKey);
    ASSERT_EQ(WriteDword(key, u"Switch", 7), kOk);
    RegCloseKey(key);
}

// This process keeps its connection and a handle open while the other one changes the keys.
TEST(RegistryCache, KeysAndValuesAnotherProcessWritesOrDeletesShowAtTheNextRead) {
    TempPrefix prefix;
    HKEY key = CreateKey(kKey);
    DWORD value = 0;
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(ReadDword(kDeepKey, u"Switch", value), ERROR_FILE_NOT_FOUND);
        EXPECT_EQ(ReadDword(kKey, u"Switch", value), ERROR_FILE_NOT_FOUND);
    }
    ASSERT_TRUE(vanto_test::RunSelfTest("RegistryCacheChild.Change", kChildVariable, "create"));
    EXPECT_EQ(ReadDword(kDeepKey, u"Switch", value), kOk);
    EXPECT_EQ(value, 7u);

    ASSERT_TRUE(vanto_test::RunSelfTest("RegistryCacheChild.Change", kChildVariable, "delete"));
    EXPECT_EQ(ReadDword(kDeepKey, u"Switch", value), ERROR_FILE_NOT_FOUND);
    DWORD size = sizeof value;
    EXPECT_EQ(RegQueryValueExW(key, u"Switch", nullptr, nullptr, reinterpret_cast<BYTE*>(&value), &size), kKeyDeleted)
        << "a handle to a deleted key";
    RegCloseKey(key);
}

TEST(RegistryCache, OwnWritesDeletesAndKeyRemovalShowAtOnce) {
    TempPrefix prefix;
    HKEY key = CreateKey(kKey);
    DWORD value = 0;
    EXPECT_EQ(ReadDword(kKey, u"Switch", value), ERROR_FILE_NOT_FOUND);
    ASSERT_EQ(WriteDword(key, u"Switch", 1), kOk);
    EXPECT_EQ(ReadDword(kKey, u"SWITCH", value), kOk);
    EXPECT_EQ(value, 1u);
    ASSERT_EQ(WriteDword(key, u"Switch", 2), kOk);
    EXPECT_EQ(ReadDword(kKey, u"switch", value), kOk);
    EXPECT_EQ(value, 2u);
    ASSERT_EQ(RegDeleteValueW(key, u"Switch"), kOk);
    EXPECT_EQ(ReadDword(kKey, u"Switch", value), ERROR_FILE_NOT_FOUND);

    EXPECT_EQ(ReadDword(kDeepKey, u"Switch", value), ERROR_FILE_NOT_FOUND);
    RegCloseKey(CreateKey(kDeepKey));
    HKEY deep = nullptr;
    EXPECT_EQ(OpenKey(kDeepKey, deep), kOk) << "a key created after a failed lookup";
    RegCloseKey(deep);
    ASSERT_EQ(RegDeleteTreeW(HKEY_LOCAL_MACHINE, kKey), kOk);
    EXPECT_EQ(OpenKey(kDeepKey, deep), ERROR_FILE_NOT_FOUND);
    DWORD size = sizeof value;
    EXPECT_EQ(RegQueryValueExW(key, u"Switch", nullptr, nullptr, reinterpret_cast<BYTE*>(&value), &size), kKeyDeleted);
    RegCloseKey(key);
}

TEST(RegistryCache, LargeValuesAndManyDistinctLookupsReadCorrectly) {
    TempPrefix prefix;
    HKEY key = CreateKey(kKey);
    std::vector<BYTE> big(64 * 1024);
    for (size_t i = 0; i < big.size(); ++i) big[i] = static_cast<BYTE>(i * 7);
    ASSERT_EQ(RegSetValueExW(key, u"Big", 0, REG_BINARY, big.data(), static_cast<DWORD>(big.size())), kOk);
    constexpr DWORD kValues = 1500;  // more distinct names than any lookup cache keeps
    for (DWORD i = 0; i < kValues; i += 3) ASSERT_EQ(WriteDword(key, ValueName(i).c_str(), i), kOk);
    for (int round = 0; round < 2; ++round) {
        std::vector<BYTE> read(big.size());
        DWORD size = static_cast<DWORD>(read.size());
        ASSERT_EQ(RegQueryValueExW(key, u"Big", nullptr, nullptr, read.data(), &size), kOk);
        EXPECT_EQ(read, big);
        for (DWORD i = 0; i < kValues; ++i) {
            DWORD value = 0;
            const LSTATUS s = ReadDword(kKey, ValueName(i).c_str(), value);
            ASSERT_EQ(s, i % 3 == 0 ? kOk : ERROR_FILE_NOT_FOUND) << "value " << i;
            if (s == kOk) {
                ASSERT_EQ(value, i);
            }
        }
    }
    RegCloseKey(key);
}

}  // namespace
