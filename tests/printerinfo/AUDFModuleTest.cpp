// The AUDF module as the library reaches it: loaded by path, every entry point by ordinal, with
// registry semantics on the prefix's registry.
#include "platform/prefix.h"
#include "support/TempPrefix.h"

namespace {

using CreateKeyFn = LSTATUS (*)(HKEY, LPCWSTR, DWORD, LPWSTR, DWORD, REGSAM, const SECURITY_ATTRIBUTES*, PHKEY, LPDWORD);
using OpenKeyFn = LSTATUS (*)(HKEY, LPCWSTR, DWORD, REGSAM, PHKEY);
using KeyNameFn = LSTATUS (*)(HKEY, LPCWSTR);  // DeleteKey, DeleteValue
using KeyFn = LSTATUS (*)(HKEY);               // CloseKey, FlushKey
using QueryValueFn = LSTATUS (*)(HKEY, LPCWSTR, LPDWORD, LPDWORD, LPBYTE, LPDWORD);
using EnumKeyFn = LSTATUS (*)(HKEY, DWORD, LPWSTR, LPDWORD);
using SetValueFn = LSTATUS (*)(HKEY, LPCWSTR, DWORD, DWORD, const BYTE*, DWORD);
using EnumValueFn = LSTATUS (*)(HKEY, DWORD, LPWSTR, LPDWORD, LPDWORD, LPBYTE, LPDWORD);
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

// The size protocol of stored values is checked through the store (BIStoreDataTest); here what
// the store never relies on: keys on demand, name case, the machine root only, and the ordinals
// the library never calls.
TEST_F(AUDFModuleTest, EveryOrdinalBehavesAsItsRegistryCallOnTheMachineRootOnly) {
    auto create = Ordinal<CreateKeyFn>(2);
    auto open = Ordinal<OpenKeyFn>(4);
    auto deleteKey = Ordinal<KeyNameFn>(6);
    auto close = Ordinal<KeyFn>(7);
    auto deleteValue = Ordinal<KeyNameFn>(9);
    auto query = Ordinal<QueryValueFn>(11);
    auto enumKey = Ordinal<EnumKeyFn>(13);
    auto set = Ordinal<SetValueFn>(15);
    auto enumValue = Ordinal<EnumValueFn>(17);
    auto flush = Ordinal<KeyFn>(19);
    auto count = Ordinal<CountFn>(20);
    ASSERT_TRUE(create && open && deleteKey && close && deleteValue && query && enumKey && set && enumValue && flush &&
                count);

    const char16_t* path = u"SOFTWARE\\KELDA\\PRINTER\\Drv\\{Q}";
    HKEY root = nullptr, child = nullptr;
    EXPECT_EQ(open(HKEY_LOCAL_MACHINE, path, 0, KEY_READ, &root), static_cast<LSTATUS>(ERROR_FILE_NOT_FOUND));
    ASSERT_EQ(create(HKEY_LOCAL_MACHINE, path, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &root, nullptr), kOK)
        << "every missing level is created";
    ASSERT_EQ(create(root, u"Child", 0, nullptr, 0, KEY_WRITE, nullptr, &child, nullptr), kOK);
    close(child);
    const DWORD number = 0x12345678;
    for (const char16_t* name : {u"A", u"B"})
        ASSERT_EQ(set(root, name, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&number), 4), kOK);
    DWORD type = 0, cb = 4, read = 0;
    EXPECT_EQ(query(root, u"b", nullptr, &type, reinterpret_cast<BYTE*>(&read), &cb), kOK) << "names ignore case";
    EXPECT_EQ(read, number);
    EXPECT_EQ(type, REG_DWORD);

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
    EXPECT_EQ(query(root, u"A", nullptr, nullptr, reinterpret_cast<BYTE*>(&read), &cb),
              static_cast<LSTATUS>(ERROR_FILE_NOT_FOUND));
    EXPECT_EQ(deleteKey(root, u"Child"), kOK);
    ASSERT_EQ(count(root, &keys, nullptr), kOK);
    EXPECT_EQ(keys, 0u);
    EXPECT_EQ(deleteKey(root, u""), static_cast<LSTATUS>(ERROR_INVALID_PARAMETER)) << "a key never deletes itself";
    close(root);
    EXPECT_EQ(create(HKEY_CURRENT_USER, u"SOFTWARE\\X", 0, nullptr, 0, KEY_WRITE, nullptr, &root, nullptr),
              static_cast<LSTATUS>(ERROR_INVALID_PARAMETER))
        << "the store lives under the machine root only";
}
