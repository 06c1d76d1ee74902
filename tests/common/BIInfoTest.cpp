// The printer context: the stored name, the stored queue identifier, paths from a hostile driver
// data file, the CFX and work folders, and the PCL preference.
#include "common/BIInfo.h"

#include "common/BILogging.h"
#include "common/CRegistry.h"
#include "platform/prefix.h"
#include "support/TempPrefix.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>

using vanto_test::TempPrefix;

namespace {

std::string Narrow(const char16_t* text) { return BILogging::Narrow(text); }

std::string Path(BIInfo& context, DWORD kind) {
    WCHAR path[MAX_PATH] = {};
    if (!context.GetPath(kind, path)) return "(fails)";
    return Narrow(path);
}

// Queue Q1 opened with full access, as the library's callers open it for its printer data.
struct Q1 {
    Q1() {
        PRINTER_DEFAULTSW defaults = {nullptr, nullptr, PRINTER_ALL_ACCESS};
        EXPECT_TRUE(OpenPrinterW(const_cast<LPWSTR>(u"Q1"), &printer, &defaults));
    }
    ~Q1() { ClosePrinter(printer); }
    DWORD Read(const char16_t* name, DWORD& type, std::vector<BYTE>& bytes) const {
        DWORD needed = 0;
        bytes.resize(256);
        const DWORD status = GetPrinterDataW(printer, const_cast<LPWSTR>(name), &type, bytes.data(), 256, &needed);
        bytes.resize(status == ERROR_SUCCESS ? needed : 0);
        return status;
    }
    HANDLE printer = nullptr;
};

TEST(BIInfoTest, PrinterNameOf1024OrMoreCharactersIsCutTo1023) {
    TempPrefix prefix;
    for (size_t length : {1023u, 1024u}) {
        std::u16string name(length, u'n');
        BIInfo context;
        ASSERT_TRUE(context.Build(name.c_str(), 0));
        EXPECT_EQ(std::u16string(context.GetPrinterName()), name.substr(0, 1023)) << length;
        EXPECT_EQ(Path(context, BIInfo::DataFile), "(fails)") << "no such queue, no driver";
        EXPECT_EQ(Path(context, BIInfo::NetworkModule), "(fails)") << "a queue context has no module folder";
    }
}

// A driver data file whose module name would not fit a path buffer: refused, not cut.
TEST(BIInfoTest, ModulePathThatWouldNotFitIsRefused) {
    TempPrefix prefix("Q1");
    std::string dataFile = *vplat::ToLinuxPath(u"C:\\Windows\\System32\\spool\\drivers\\x64\\3\\VUD3DATA.INI");
    std::string ini;
    {
        std::ifstream in(dataFile);
        ini.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    }
    size_t value = ini.find("ZKAPIB6Name=");
    ASSERT_NE(value, std::string::npos);
    ini.insert(value + 12, std::string(250, 'm'));
    std::ofstream(dataFile, std::ios::trunc) << ini;
    BIInfo longer;
    ASSERT_TRUE(longer.Build(u"Q1", 0));
    WCHAR small[MAX_PATH] = {};
    EXPECT_FALSE(longer.GetPath(BIInfo::TransportModule, small));
}

// A queue's identifier (flag bit 0); the CFX and work folders in the driver's shared folder.
TEST(BIInfoTest, IdentifierIsStoredWholeAndTheCFXAndWorkFoldersAreInTheSharedFolder) {
    TempPrefix prefix("Q1");
    BIInfo context;
    ASSERT_TRUE(context.Build(u"Q1", 0x1));
    // The identifier is stored as its 38 characters without a terminator.
    const std::string guid = Narrow(context.GetQueueGUID());
    ASSERT_EQ(guid.size(), 38u) << guid;
    DWORD type = 0;
    std::vector<BYTE> stored;
    ASSERT_EQ(Q1().Read(u"KDPQGUID", type, stored), static_cast<DWORD>(ERROR_SUCCESS));
    EXPECT_EQ(type, REG_SZ);
    ASSERT_EQ(stored.size(), 76u);
    EXPECT_EQ(std::u16string(reinterpret_cast<const char16_t*>(stored.data()), 38),
              std::u16string(context.GetQueueGUID()));
    const std::string shared = "C:\\ProgramData\\KELDA\\" + std::string(vanto_test::kSampleDriverName);
    const std::string linuxShared = prefix.DriveC() + "/ProgramData/KELDA/" + vanto_test::kSampleDriverName;

    // The driver's installer makes its shared folder; without it, only a path.
    ASSERT_TRUE(std::filesystem::is_directory(linuxShared)) << "vanto driver add makes the shared folder";
    std::filesystem::remove_all(linuxShared);
    EXPECT_EQ(Path(context, BIInfo::WorkFolder), shared + "\\" + guid) << "parents are not created; still a path";
    EXPECT_FALSE(std::filesystem::exists(linuxShared));
    // Made in an existing shared folder: CfgxBinding saves its sessions there.
    std::filesystem::create_directories(linuxShared);
    std::ofstream(linuxShared + "/K_OTHER.TXT") << "x";
    EXPECT_EQ(Path(context, BIInfo::CFXFolder), Path(context, BIInfo::DriverDirectory)) << "no K_*.CFX";
    std::ofstream(linuxShared + "/k_model.cfx") << "x";
    EXPECT_EQ(Path(context, BIInfo::CFXFolder), shared);
}

TEST(BIInfoTest, PCLPriorityPrinterDataWinsOverTheDriverRegistry) {
    TempPrefix prefix("Q1");
    BIInfo context;
    ASSERT_TRUE(context.Build(u"Q1", 0));
    EXPECT_FALSE(context.IsPCLPriority()) << "neither source";
    CRegistry driverKey;
    const char16_t* driverKeyName = u"SOFTWARE\\KELDA\\PRINTER\\Vintal Universal Driver";
    ASSERT_EQ(driverKey.Create(HKEY_LOCAL_MACHINE, driverKeyName, KEY_ALL_ACCESS), ERROR_SUCCESS);
    ASSERT_EQ(driverKey.SetDWORD(u"PCLPriority", 1), ERROR_SUCCESS);
    EXPECT_TRUE(context.IsPCLPriority()) << "registry alone";
    DWORD zero = 0;
    EXPECT_EQ(SetPrinterDataW(Q1().printer, const_cast<LPWSTR>(u"PCLPriority"), REG_DWORD,
                              reinterpret_cast<LPBYTE>(&zero), 4),
              ERROR_SUCCESS);
    EXPECT_FALSE(context.IsPCLPriority()) << "printer data 0 beats registry 1";
}

}  // namespace
