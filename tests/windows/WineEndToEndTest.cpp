// The Windows build end to end, as a Windows program under Wine: the sample driver and a queue
// installed through the system's spooler (AddPrinterDriverExW, AddPrinterW), vanto.dll loaded and
// called by its exported names, the update from a virtual printer through the Windows transport
// module, the store found in the system's registry through the AUDF module (reached by ordinal),
// and the CFX file the CFGX module rewrites in the queue's work folder.
//
// The printer is a vprinter on the loopback address in VANTO_WINE_PRINTER (scripts/test-windows
// starts it); without that variable the test is skipped.
#include "windows/support/StageDriver.h"
#include "vanto.h"

#include <gtest/gtest.h>

#include <windows.h>
#include <winspool.h>
#include <shlobj.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;

constexpr const wchar_t* kDriver = L"Vintal Universal Driver";
constexpr const wchar_t* kQueue = L"Wine Queue";
constexpr uint64_t kAllElements = 0xFFFFFFFF;
constexpr DWORD kStoreFlagUpdated = 2, kStoreFlagDirections = 4;

const char16_t* U16(const wchar_t* text) { return reinterpret_cast<const char16_t*>(text); }

std::wstring Wide(const std::string& text) { return std::wstring(text.begin(), text.end()); }

// The exports this test calls, bound by name as any caller binds them.
struct Library {
    HMODULE module = nullptr;
    PFN_VANTO_Initialize initialize = nullptr;
    PFN_VANTO_Release release = nullptr;
    PFN_VANTO_UpdatePrinterInfo update = nullptr;
    PFN_VANTO_UpdateCFGXFile updateCfgx = nullptr;

    template <typename F>
    void Bind(F& f, const char* name) {
        f = reinterpret_cast<F>(reinterpret_cast<void*>(GetProcAddress(module, name)));
        EXPECT_NE(f, nullptr) << name;
    }
    explicit Library(const fs::path& file) : module(LoadLibraryW(file.c_str())) {
        if (module == nullptr) return;
        Bind(initialize, "Initialize");
        Bind(release, "Release");
        Bind(update, "UpdatePrinterInfo");
        Bind(updateCfgx, "UpdateCFGXFile");
    }
    ~Library() {
        if (module != nullptr) FreeLibrary(module);
    }
    bool Ready() const { return module && initialize && release && update && updateCfgx; }
};

std::wstring ProgramData() {
    wchar_t path[MAX_PATH] = {};
    EXPECT_TRUE(SHGetSpecialFolderPathW(nullptr, path, CSIDL_COMMON_APPDATA, FALSE));
    return path;
}

bool ReadDword(HKEY key, const wchar_t* name, DWORD& value) {
    DWORD type = 0, size = sizeof value;
    return RegQueryValueExW(key, name, nullptr, &type, reinterpret_cast<BYTE*>(&value), &size) == ERROR_SUCCESS &&
           type == REG_DWORD;
}

TEST(WineEndToEnd, SpoolerInstalledQueueIsUpdatedFromItsPrinterAndItsCfxFileRewritten) {
    const char* printer = std::getenv("VANTO_WINE_PRINTER");
    if (printer == nullptr || *printer == '\0') GTEST_SKIP() << "VANTO_WINE_PRINTER names no vprinter address";

    // The driver through the spooler, which copies its files from where they lie into the driver
    // directory.
    wchar_t temp[MAX_PATH] = {};
    ASSERT_GT(GetTempPathW(MAX_PATH, temp), 0u);
    const fs::path stage = fs::path(temp) / "vanto-driver-stage";
    const std::vector<std::wstring> files = vanto_test::StageDriver(stage);
    std::wstring dependent;
    for (const std::wstring& f : files) dependent += f + L'\0';
    const std::wstring dataFile = (stage / "VUD3DATA.INI").wstring();
    // The driver's rendering and configuration module is the system's PostScript driver, which the
    // spooler loads to make the queue; the library's modules are named by the data file.
    wchar_t driverDir[MAX_PATH] = {};
    DWORD needed = 0;
    ASSERT_TRUE(GetPrinterDriverDirectoryW(nullptr, const_cast<LPWSTR>(L"Windows x64"), 1,
                                           reinterpret_cast<LPBYTE>(driverDir), sizeof driverDir, &needed));
    const std::wstring uiModule = std::wstring(driverDir) + L"\\wineps.drv";
    DRIVER_INFO_3W driver{};
    driver.cVersion = 3;
    driver.pName = const_cast<LPWSTR>(kDriver);
    driver.pEnvironment = const_cast<LPWSTR>(L"Windows x64");
    driver.pDriverPath = const_cast<LPWSTR>(uiModule.c_str());
    driver.pDataFile = const_cast<LPWSTR>(dataFile.c_str());
    driver.pConfigFile = const_cast<LPWSTR>(uiModule.c_str());
    driver.pDependentFiles = dependent.data();
    ASSERT_TRUE(AddPrinterDriverExW(nullptr, 3, reinterpret_cast<LPBYTE>(&driver), APD_COPY_NEW_FILES | APD_COPY_FROM_DIRECTORY))
        << "AddPrinterDriverExW: error " << GetLastError();
    // The driver's shared folder, which an installer makes (the work folders lie below it).
    const fs::path shared = fs::path(ProgramData()) / L"KELDA" / kDriver;
    fs::create_directories(shared);

    const std::wstring port = L"IP_" + Wide(printer);
    PRINTER_INFO_2W queue{};
    queue.pPrinterName = const_cast<LPWSTR>(kQueue);
    queue.pPortName = const_cast<LPWSTR>(port.c_str());
    queue.pDriverName = const_cast<LPWSTR>(kDriver);
    queue.pPrintProcessor = const_cast<LPWSTR>(L"winprint");
    queue.pDatatype = const_cast<LPWSTR>(L"RAW");
    HANDLE added = AddPrinterW(nullptr, 2, reinterpret_cast<LPBYTE>(&queue));
    ASSERT_NE(added, nullptr) << "AddPrinterW: error " << GetLastError();
    ClosePrinter(added);

    Library vanto(fs::path(VANTO_BUILD_DIR) / "vanto.dll");
    ASSERT_TRUE(vanto.Ready()) << "vanto.dll or its exports";
    // The first instance with flag bit 0 gives the new queue its identifier, as an installer's does.
    HVANTO h = vanto.initialize(U16(kQueue), VANTO_FLAG_PROBE | VANTO_FLAG_PRINTERINFO);
    ASSERT_NE(h, nullptr);
    EXPECT_EQ(vanto.update(h, kAllElements, 0), 0);
    vanto.release(h);

    // The queue's identifier names its store and its work folder.
    HANDLE q = nullptr;
    ASSERT_TRUE(OpenPrinterW(const_cast<LPWSTR>(kQueue), &q, nullptr));
    wchar_t guid[64] = {};
    DWORD type = 0, size = 0;
    EXPECT_EQ(GetPrinterDataW(q, const_cast<LPWSTR>(L"KDPQGUID"), &type, reinterpret_cast<LPBYTE>(guid),
                              sizeof guid - sizeof(wchar_t), &size),
              static_cast<DWORD>(ERROR_SUCCESS));
    ClosePrinter(q);
    ASSERT_EQ(type, static_cast<DWORD>(REG_SZ));
    ASSERT_NE(guid[0], 0);

    const std::wstring storeKey = std::wstring(L"SOFTWARE\\KELDA\\PRINTER\\") + kDriver + L"\\" + guid;
    HKEY store = nullptr;
    ASSERT_EQ(RegOpenKeyExW(HKEY_LOCAL_MACHINE, storeKey.c_str(), 0, KEY_READ, &store), ERROR_SUCCESS);
    DWORD flag = 0;
    EXPECT_TRUE(ReadDword(store, L"BIStoreFlag", flag));
    EXPECT_EQ(flag & ~kStoreFlagDirections, kStoreFlagUpdated);
    RegCloseKey(store);

    // The CFGX update writes the queue's CFX file into its work folder.
    h = vanto.initialize(U16(kQueue), VANTO_FLAG_PRINTERINFO);
    ASSERT_NE(h, nullptr);
    EXPECT_EQ(vanto.updateCfgx(h, kAllElements, 0), 1) << "1: the file was rewritten";
    vanto.release(h);
    const fs::path saved = shared / guid / "K_PAGE.CFX";
    std::ifstream in(saved);
    ASSERT_TRUE(in.good()) << saved.string();
    const nlohmann::json cfx = nlohmann::json::parse(in, nullptr, false);
    EXPECT_FALSE(cfx.is_discarded()) << "the saved file is the module's JSON";

    fs::remove_all(stage);
}

}  // namespace
