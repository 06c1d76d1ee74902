// The registry over the prefix's database: size protocol, case rules, access masks, several
// processes, and lookups that are never stale.
#include "support/SelfTest.h"
#include "support/TempPrefix.h"

#include <gtest/gtest.h>

#include <sys/syscall.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

namespace {
using vanto_test::TempPrefix;

constexpr LSTATUS kOk = ERROR_SUCCESS;
constexpr const char16_t* kTestKey = u"SOFTWARE\\KELDA\\Test";

HKEY CreateKey(const char16_t* path, REGSAM sam = KEY_READ | KEY_WRITE) {
    HKEY key = nullptr;
    EXPECT_EQ(RegCreateKeyExW(HKEY_LOCAL_MACHINE, path, 0, nullptr, 0, sam, nullptr, &key, nullptr), kOk);
    return key;
}

LSTATUS SetString(HKEY key, const char16_t* name, std::u16string_view text) {
    const auto bytes = static_cast<DWORD>((text.size() + 1) * sizeof(char16_t));
    std::u16string copy(text);
    return RegSetValueExW(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(copy.c_str()), bytes);
}

// Open + query + close of a DWORD value, as a log switch read does.
LSTATUS ReadDword(const char16_t* path, const char16_t* name, DWORD& value) {
    HKEY key = nullptr;
    if (LSTATUS s = RegOpenKeyExW(HKEY_LOCAL_MACHINE, path, 0, KEY_READ, &key); s != kOk) return s;
    DWORD size = sizeof value, type = 0;
    LSTATUS s = RegQueryValueExW(key, name, nullptr, &type, reinterpret_cast<BYTE*>(&value), &size);
    RegCloseKey(key);
    return s;
}

LSTATUS WriteDword(HKEY key, const char16_t* name, DWORD value) {
    return RegSetValueExW(key, name, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&value), sizeof value);
}

// The size query without a buffer is how the ERD record is read:
// ErdQueue.RegistryRecordIsMovedToThePrinterData (tests/bidi).
TEST(Registry, SizeProtocolAndShortStringsReadAsDword) {
    TempPrefix prefix;
    HKEY key = CreateKey(kTestKey);
    ASSERT_EQ(SetString(key, u"Name", u"abc"), kOk);
    BYTE buffer[16];
    std::memset(buffer, 0xAA, sizeof buffer);
    DWORD small = 7;
    EXPECT_EQ(RegQueryValueExW(key, u"Name", nullptr, nullptr, buffer, &small), ERROR_MORE_DATA);
    EXPECT_EQ(small, 8u);  // three characters and the terminator
    EXPECT_EQ(buffer[0], 0xAA) << "a too-small buffer must stay untouched";

    // "1" read into a DWORD: four bytes fit, the number reads as 0x31.
    ASSERT_EQ(SetString(key, u"Flag", u"1"), kOk);
    DWORD value = 0;
    EXPECT_EQ(ReadDword(kTestKey, u"Flag", value), kOk);
    EXPECT_EQ(value, 0x31u);
    ASSERT_EQ(SetString(key, u"Flag", u"123"), kOk);
    EXPECT_EQ(ReadDword(kTestKey, u"Flag", value), ERROR_MORE_DATA) << "a longer string does not fit a DWORD";
    RegCloseKey(key);

    HKEY readOnly = nullptr;
    ASSERT_EQ(RegOpenKeyExW(HKEY_LOCAL_MACHINE, kTestKey, 0, KEY_READ, &readOnly), kOk);
    EXPECT_EQ(SetString(readOnly, u"New", u"y"), ERROR_ACCESS_DENIED);
    RegCloseKey(readOnly);
}

TEST(Registry, NamesAreCaseInsensitive) {
    TempPrefix prefix;
    HKEY key = CreateKey(u"SOFTWARE\\Kelda\\MixedCase");
    ASSERT_EQ(SetString(key, u"VaLuE", u"one"), kOk);
    RegCloseKey(key);

    HKEY again = nullptr;
    ASSERT_EQ(RegOpenKeyExW(HKEY_LOCAL_MACHINE, u"software\\KELDA\\mixedcase", 0, KEY_READ | KEY_WRITE, &again), kOk);
    ASSERT_EQ(SetString(again, u"value", u"two!"), kOk);
    char16_t data[8] = {};
    DWORD size = sizeof data;
    ASSERT_EQ(RegQueryValueExW(again, u"VALUE", nullptr, nullptr, reinterpret_cast<BYTE*>(data), &size), kOk);
    EXPECT_EQ(std::u16string(data), u"two!");
    RegCloseKey(again);
}

// Run by the test below as a caller that may not write the prefix: reads work, every change is
// refused with ERROR_ACCESS_DENIED.
TEST(RegistryChild, ReadOnlyPrefix) {
    if (!std::getenv("VANTO_TEST_READ_ONLY_CHILD")) GTEST_SKIP() << "runs only as the second process";
    HKEY key = nullptr;
    ASSERT_EQ(RegOpenKeyExW(HKEY_LOCAL_MACHINE, kTestKey, 0, KEY_READ, &key), kOk);
    char16_t data[8] = {};
    DWORD size = sizeof data;
    EXPECT_EQ(RegQueryValueExW(key, u"Kept", nullptr, nullptr, reinterpret_cast<BYTE*>(data), &size), kOk);
    EXPECT_EQ(std::u16string(data), u"x");
    RegCloseKey(key);

    EXPECT_EQ(RegOpenKeyExW(HKEY_LOCAL_MACHINE, kTestKey, 0, KEY_READ | KEY_WRITE, &key), ERROR_ACCESS_DENIED);
    EXPECT_EQ(RegCreateKeyExW(HKEY_LOCAL_MACHINE, u"SOFTWARE\\KELDA\\New", 0, nullptr, 0, KEY_READ, nullptr, &key,
                              nullptr),
              ERROR_ACCESS_DENIED);

    // The spooler reads its queues; a change through a handle that may change is still refused.
    HANDLE printer = nullptr;
    ASSERT_TRUE(OpenPrinterW(const_cast<LPWSTR>(u"Q1"), &printer, nullptr));
    DWORD value = 1;
    EXPECT_EQ(SetPrinterDataW(printer, const_cast<LPWSTR>(u"Probe"), REG_DWORD, reinterpret_cast<BYTE*>(&value),
                              sizeof value),
              static_cast<DWORD>(ERROR_ACCESS_DENIED));
    ClosePrinter(printer);
    PRINTER_DEFAULTSW admin = {nullptr, nullptr, PRINTER_ALL_ACCESS};
    EXPECT_FALSE(OpenPrinterW(const_cast<LPWSTR>(u"Q1"), &printer, &admin));
}

namespace {
// Sets the modes of the prefix's folders and files (a read-only copy: 0555 and 0444).
void SetModes(const std::string& root, std::filesystem::perms folders, std::filesystem::perms files) {
    namespace fs = std::filesystem;
    fs::permissions(root, folders);
    for (const auto& entry : fs::recursive_directory_iterator(root))
        fs::permissions(entry.path(), entry.is_directory() ? folders : files);
}
}  // namespace

TEST(Registry, PrefixTheCallerMayNotWriteIsReadableAndRefusesChanges) {
    namespace fs = std::filesystem;
    TempPrefix prefix("Q1");
    HKEY key = CreateKey(kTestKey);
    ASSERT_EQ(SetString(key, u"Kept", u"x"), kOk);
    RegCloseKey(key);
    SetModes(prefix.Root(), fs::perms(0555), fs::perms(0444));

    // Root ignores file modes: the reader then runs as the unprivileged user "nobody".
    const std::string self = fs::read_symlink("/proc/self/exe").string();
    std::string filter = "--gtest_filter=RegistryChild.ReadOnlyPrefix";
    char* argv[] = {const_cast<char*>(self.c_str()), filter.data(), nullptr};
    ::setenv("VANTO_TEST_READ_ONLY_CHILD", "1", 1);
    const pid_t pid = ::fork();
    if (pid == 0) {
        constexpr long kNobody = 65534;
        if (::geteuid() == 0 &&
            (::syscall(SYS_setgroups, 0, nullptr) != 0 || ::syscall(SYS_setresgid, kNobody, kNobody, kNobody) != 0 ||
             ::syscall(SYS_setresuid, kNobody, kNobody, kNobody) != 0))
            ::_exit(3);
        ::execve(argv[0], argv, environ);
        ::_exit(4);
    }
    ::unsetenv("VANTO_TEST_READ_ONLY_CHILD");
    int status = 0;
    EXPECT_EQ(::waitpid(pid, &status, 0), pid);
    EXPECT_TRUE(vanto_test::ExitedCleanly(status)) << "the read-only caller failed, status " << status;
    SetModes(prefix.Root(), fs::perms(0755), fs::perms(0644));
}

// Repeated reads answered from the connection's lookup results must never be stale: changes by
// this process, by another process and deletions show at the next read.
constexpr LSTATUS kKeyDeleted = 1018;
constexpr const char16_t* kKey = u"SOFTWARE\\KELDA\\CacheTest";
constexpr const char16_t* kDeepKey = u"SOFTWARE\\KELDA\\CacheTest\\Deep";
constexpr const char* kChildVariable = "VANTO_TEST_CACHE_CHILD";

// Distinct value names: a letter, then a run of 'x' that grows every 26 names.
std::u16string ValueName(DWORD i) {
    std::u16string name(1, u'V');
    name.push_back(static_cast<char16_t>(u'a' + i % 26));
    name.append(i / 26 + 1, u'x');
    return name;
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
