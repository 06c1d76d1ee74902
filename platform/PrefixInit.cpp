// Creation of a prefix: its folders, the registry database and the keys every machine has.
#include "platform/RegistryAccess.h"
#include "platform/TextUtil.h"
#include "platform/prefix.h"

#include <filesystem>
#include <system_error>

namespace vplat {

namespace fs = std::filesystem;
using namespace detail;

namespace {
constexpr const char16_t* kDefaultAnsiCodePage = u"1252";
constexpr const char16_t* kAnsiCodePageValue = u"ACP";

bool MakeFolder(const std::u16string& windowsPath, std::string& error) {
    auto path = ToLinuxPath(windowsPath);
    std::error_code ec;
    if (!path || (fs::create_directories(*path, ec), ec)) {
        error = "cannot create " + ToUtf8(windowsPath) + (ec ? ": " + ec.message() : "");
        return false;
    }
    return true;
}
}  // namespace

bool InitPrefix(std::string& error) {
    const std::string root = PrefixRoot();
    std::error_code ec;
    fs::create_directories(root, ec);
    if (ec) {
        error = "cannot create the prefix " + root + ": " + ec.message();
        return false;
    }
    fs::create_directories(UsbFolder(), ec);
    if (ec) {
        error = "cannot create " + UsbFolder() + ": " + ec.message();
        return false;
    }
    for (const char16_t* folder : {kSystemFolder, kDriverFolder, kCommonAppDataFolder})
        if (!MakeFolder(folder, error)) return false;

    LSTATUS status = ERROR_SUCCESS;
    auto db = RegistryDb::Current(status, true);
    if (!db) {
        error = "cannot open the registry database " + RegistryDatabasePath();
        return false;
    }
    status = db->Write([&]() -> LSTATUS {
        int64_t key = 0;
        bool created = false;
        for (const char16_t* path : {u"SOFTWARE", kDriversKey, kPrintersKey})
            if (LSTATUS s = db->CreateKey(RegistryDb::kLocalMachine, path, key, created); s != ERROR_SUCCESS) return s;
        if (LSTATUS s = db->CreateKey(RegistryDb::kLocalMachine, kCodePageKey, key, created); s != ERROR_SUCCESS)
            return s;
        if (!GetString(*db, key, kAnsiCodePageValue)) return SetString(*db, key, kAnsiCodePageValue, kDefaultAnsiCodePage);
        return ERROR_SUCCESS;
    });
    if (status != ERROR_SUCCESS) {
        error = "cannot write the registry's base keys (error " + std::to_string(status) + ")";
        return false;
    }
    return true;
}

bool InstallSystemModule(const std::string& file, std::u16string_view name, std::string& error) {
    std::error_code ec;
    const fs::path source = fs::absolute(file, ec);
    if (ec || !fs::is_regular_file(source, ec)) {
        error = "no module file " + file;
        return false;
    }
    if (name.empty() || name.find_first_of(u"\\/:") != std::u16string_view::npos) {
        error = "bad module name";
        return false;
    }
    auto folder = ToLinuxPath(kSystemFolder);
    if (!folder || !fs::is_directory(*folder, ec)) {
        error = "the prefix has no system folder (run vanto prefix init)";
        return false;
    }
    const fs::path target = fs::path(*folder) / ToUtf8(name);
    fs::remove(target, ec);
    fs::create_symlink(source, target, ec);
    if (ec) {
        error = "cannot link " + target.string() + ": " + ec.message();
        return false;
    }
    return true;
}

}  // namespace vplat
