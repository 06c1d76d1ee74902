// The AUDF module as the library reaches it: loaded by path, entry points by ordinal, on the
// prefix's registry.
#include "platform/prefix.h"
#include "support/TempPrefix.h"

namespace {

using CreateKeyFn = LSTATUS (*)(HKEY, LPCWSTR, DWORD, LPWSTR, DWORD, REGSAM,
                                const SECURITY_ATTRIBUTES*, PHKEY, LPDWORD);
using KeyNameFn = LSTATUS (*)(HKEY, LPCWSTR);
using KeyFn = LSTATUS (*)(HKEY);
using SetValueFn = LSTATUS (*)(HKEY, LPCWSTR, DWORD, DWORD, const BYTE*, DWORD);
using CountFn = LSTATUS (*)(HKEY, LPDWORD, LPDWORD);

constexpr LSTATUS kOK = ERROR_SUCCESS;

}  // namespace

// The plain registry calls behind the ordinals run under every store test; here the rules of the
// module's own: the machine root only (so that a store the library put under another root fails
// here as on a real system), no deleting a key through itself, and the counting entry point.
TEST(AUDFModuleTest, MachineRootOnlyNoSelfDeleteAndCountsOfSubkeysAndValues) {
    vanto_test::TempPrefix prefix;
    const auto path = vplat::ToWindowsPath(std::string(VANTO_BUILD_DIR) + "/VUD3AUDF.DLL");
    HMODULE module = LoadLibraryW(path.c_str());
    ASSERT_NE(module, nullptr) << "cannot load the built AUDF module";
    auto ordinal = [module](int n) { return GetProcAddress(module, MAKEINTRESOURCEA(n)); };
    auto create = reinterpret_cast<CreateKeyFn>(ordinal(2));
    auto deleteKey = reinterpret_cast<KeyNameFn>(ordinal(6));
    auto close = reinterpret_cast<KeyFn>(ordinal(7));
    auto set = reinterpret_cast<SetValueFn>(ordinal(15));
    auto count = reinterpret_cast<CountFn>(ordinal(20));
    ASSERT_TRUE(create && deleteKey && close && set && count);

    auto make = [create](HKEY parent, LPCWSTR name, HKEY* out) {
        return create(parent, name, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, out, nullptr);
    };
    HKEY root = nullptr, child = nullptr;
    ASSERT_EQ(make(HKEY_LOCAL_MACHINE, u"SOFTWARE\\KELDA\\PRINTER\\Drv\\{Q}", &root), kOK);
    ASSERT_EQ(make(root, u"Child", &child), kOK);
    close(child);
    const DWORD number = 7;
    for (const char16_t* name : {u"A", u"B"})
        ASSERT_EQ(set(root, name, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&number), 4), kOK);
    DWORD keys = 99, values = 99;
    ASSERT_EQ(count(root, &keys, &values), kOK);
    EXPECT_EQ(keys, 1u);
    EXPECT_EQ(values, 2u);
    const auto refused = static_cast<LSTATUS>(ERROR_INVALID_PARAMETER);
    EXPECT_EQ(deleteKey(root, u""), refused) << "a key never deletes itself";
    close(root);
    EXPECT_EQ(make(HKEY_CURRENT_USER, u"SOFTWARE\\X", &root), refused);
    FreeLibrary(module);
}
