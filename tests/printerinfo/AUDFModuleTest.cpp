// The AUDF module as the library reaches it: loaded by path, every entry point by ordinal, with
// registry semantics on the prefix's registry.
#include "platform/prefix.h"
#include "support/TempPrefix.h"

#include <cstring>

namespace {

using CreateKeyFn = LSTATUS (*)(HKEY, LPCWSTR, DWORD, LPWSTR, DWORD, REGSAM, const SECURITY_ATTRIBUTES*, PHKEY, LPDWORD);
using OpenKeyFn = LSTATUS (*)(HKEY, LPCWSTR, DWORD, REGSAM, PHKEY);
using DeleteKeyFn = LSTATUS (*)(HKEY, LPCWSTR);
using CloseKeyFn = LSTATUS (*)(HKEY);
using DeleteValueFn = LSTATUS (*)(HKEY, LPCWSTR);
using QueryValueFn = LSTATUS (*)(HKEY, LPCWSTR, LPDWORD, LPDWORD, LPBYTE, LPDWORD);
using EnumKeyFn = LSTATUS (*)(HKEY, DWORD, LPWSTR, LPDWORD);
using SetValueFn = LSTATUS (*)(HKEY, LPCWSTR, DWORD, DWORD, const BYTE*, DWORD);
using EnumValueFn = LSTATUS (*)(HKEY, DWORD, LPWSTR, LPDWORD, LPDWORD, LPBYTE, LPDWORD);
using FlushKeyFn = LSTATUS (*)(HKEY);
using CountFn = LSTATUS (*)(HKEY, LPDWORD, LPDWORD);

constexpr LSTATUS kOK = ERROR_SUCCESS;

class AUDFModuleTest : public ::testing::Test {
protected:
    void SetUp() override {
        std::u16string path = vplat::ToWindowsPath(std::string(VANTO_BUILD_DIR) + "/VUD3AUDF.DLL");
        module = LoadLibraryW(path.c_str());
        ASSERT_NE(module, nullptr) << "cannot load the built AUDF module";
    }
    void TearDown() override {
        if (module) FreeLibrary(module);
    }
    template <typename Fn>
    Fn Ordinal(int n) {
        FARPROC p = GetProcAddress(module, MAKEINTRESOURCEA(n));
        EXPECT_NE(p, nullptr) << "ordinal " << n;
        return reinterpret_cast<Fn>(p);
    }

    vanto_test::TempPrefix prefix;
    HMODULE module = nullptr;
};

}  // namespace

TEST_F(AUDFModuleTest, OffersEveryOrdinalTheLibraryResolvesAndNoOthers) {
    for (int n : {2, 4, 6, 7, 9, 11, 13, 15, 17, 19, 20}) EXPECT_NE(GetProcAddress(module, MAKEINTRESOURCEA(n)), nullptr) << n;
    for (int n : {1, 3, 5, 21}) EXPECT_EQ(GetProcAddress(module, MAKEINTRESOURCEA(n)), nullptr) << n;
}

TEST_F(AUDFModuleTest, KeysOnDemandTypedValuesAndTheSizeProtocol) {
    auto create = Ordinal<CreateKeyFn>(2);
    auto open = Ordinal<OpenKeyFn>(4);
    auto close = Ordinal<CloseKeyFn>(7);
    auto query = Ordinal<QueryValueFn>(11);
    auto set = Ordinal<SetValueFn>(15);
    ASSERT_TRUE(create && open && close && query && set);

    const char16_t* path = u"SOFTWARE\\KELDA\\PRINTER\\Drv\\{Q}";
    HKEY h = nullptr;
    EXPECT_EQ(open(HKEY_LOCAL_MACHINE, path, 0, KEY_READ, &h), static_cast<LSTATUS>(ERROR_FILE_NOT_FOUND));
    ASSERT_EQ(create(HKEY_LOCAL_MACHINE, path, 0, nullptr, 0, KEY_WRITE, nullptr, &h, nullptr), kOK)
        << "every missing level is created";
    const BYTE blob[24] = {1, 2, 3, 4, 5};
    const DWORD number = 0x12345678;
    EXPECT_EQ(set(h, u"Blob", 0, REG_BINARY, blob, sizeof(blob)), kOK);
    EXPECT_EQ(set(h, u"Number", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&number), 4), kOK);
    close(h);

    ASSERT_EQ(open(HKEY_LOCAL_MACHINE, path, 0, KEY_READ, &h), kOK);
    DWORD type = 0, cb = 0;
    EXPECT_EQ(query(h, u"Blob", nullptr, &type, nullptr, &cb), kOK) << "size query";
    EXPECT_EQ(cb, 24u);
    BYTE big[64];
    cb = 8;
    EXPECT_EQ(query(h, u"Blob", nullptr, nullptr, big, &cb), static_cast<LSTATUS>(ERROR_MORE_DATA));
    EXPECT_EQ(cb, 24u) << "the needed size";
    DWORD read = 0;
    cb = 4;
    EXPECT_EQ(query(h, u"number", nullptr, &type, reinterpret_cast<BYTE*>(&read), &cb), kOK) << "names ignore case";
    EXPECT_EQ(read, number);
    EXPECT_EQ(type, REG_DWORD);
    EXPECT_EQ(query(h, u"Missing", nullptr, nullptr, big, &cb), static_cast<LSTATUS>(ERROR_FILE_NOT_FOUND));
    close(h);

    EXPECT_EQ(create(HKEY_CURRENT_USER, u"SOFTWARE\\X", 0, nullptr, 0, KEY_WRITE, nullptr, &h, nullptr),
              static_cast<LSTATUS>(ERROR_INVALID_PARAMETER))
        << "the store lives under the machine root only";
}

TEST_F(AUDFModuleTest, OrdinalsTheLibraryNeverCallsBehaveAsRegistryCalls) {
    auto create = Ordinal<CreateKeyFn>(2);
    auto close = Ordinal<CloseKeyFn>(7);
    auto set = Ordinal<SetValueFn>(15);
    auto deleteKey = Ordinal<DeleteKeyFn>(6);
    auto deleteValue = Ordinal<DeleteValueFn>(9);
    auto enumKey = Ordinal<EnumKeyFn>(13);
    auto enumValue = Ordinal<EnumValueFn>(17);
    auto flush = Ordinal<FlushKeyFn>(19);
    auto count = Ordinal<CountFn>(20);
    auto query = Ordinal<QueryValueFn>(11);
    ASSERT_TRUE(create && close && set && deleteKey && deleteValue && enumKey && enumValue && flush && count && query);

    HKEY root = nullptr, child = nullptr;
    ASSERT_EQ(create(HKEY_LOCAL_MACHINE, u"SOFTWARE\\Store", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &root, nullptr), kOK);
    ASSERT_EQ(create(root, u"Child", 0, nullptr, 0, KEY_WRITE, nullptr, &child, nullptr), kOK);
    close(child);
    const DWORD one = 1;
    ASSERT_EQ(set(root, u"A", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&one), 4), kOK);
    ASSERT_EQ(set(root, u"B", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&one), 4), kOK);

    DWORD keys = 99, values = 99;
    ASSERT_EQ(count(root, &keys, &values), kOK);
    EXPECT_EQ(keys, 1u);
    EXPECT_EQ(values, 2u);
    WCHAR name[32];
    DWORD cch = 32;
    ASSERT_EQ(enumKey(root, 0, name, &cch), kOK);
    EXPECT_EQ(std::u16string(name), u"Child");
    cch = 32;
    EXPECT_EQ(enumKey(root, 1, name, &cch), static_cast<LSTATUS>(ERROR_NO_MORE_ITEMS));
    cch = 32;
    EXPECT_EQ(enumValue(root, 0, name, &cch, nullptr, nullptr, nullptr), kOK);
    EXPECT_EQ(flush(root), kOK);

    EXPECT_EQ(deleteValue(root, u"A"), kOK);
    DWORD cb = 4, v = 0;
    EXPECT_EQ(query(root, u"A", nullptr, nullptr, reinterpret_cast<BYTE*>(&v), &cb), static_cast<LSTATUS>(ERROR_FILE_NOT_FOUND));
    EXPECT_EQ(deleteKey(root, u"Child"), kOK);
    ASSERT_EQ(count(root, &keys, nullptr), kOK);
    EXPECT_EQ(keys, 0u);
    EXPECT_EQ(deleteKey(root, u""), static_cast<LSTATUS>(ERROR_INVALID_PARAMETER)) << "a key never deletes itself";
    close(root);
}
