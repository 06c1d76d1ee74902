// What the CFGX module writes about a queue: registry data from the printer information record,
// the custom version in the queue's printer data, and deleting the queue's compiled files.
#include "CfgxModule.h"

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <optional>
#include <vector>

namespace cfgxtest {
namespace {

namespace fs = std::filesystem;

// A stand-in for the caller's printer handle: the module never dereferences it.
void* const kPrinter = reinterpret_cast<void*>(static_cast<uintptr_t>(0x2468));

// The queue's printer data value, as this process's platform reads it; nullopt when absent.
std::optional<std::vector<BYTE>> PrinterData(const char16_t* name) {
    HANDLE h = nullptr;
    if (!OpenPrinterW(const_cast<LPWSTR>(kQueueW), &h, nullptr)) return std::nullopt;
    DWORD cb = 0, type = 0;
    std::vector<BYTE> data(4096);
    const DWORD status = GetPrinterDataW(h, const_cast<LPWSTR>(name), &type, data.data(), 4096, &cb);
    ClosePrinter(h);
    if (status != ERROR_SUCCESS) return std::nullopt;
    data.resize(cb);
    return data;
}

std::optional<uint32_t> Dword(const char16_t* name) {
    auto data = PrinterData(name);
    if (!data || data->size() != 4) return std::nullopt;
    uint32_t v;
    std::memcpy(&v, data->data(), 4);
    return v;
}

std::u16string Text(const char16_t* name) {
    auto data = PrinterData(name);
    if (!data || data->size() < 2) return u"(none)";
    return std::u16string(reinterpret_cast<const char16_t*>(data->data()), data->size() / 2 - 1);
}

void SetPrinterText(const char16_t* name, const std::u16string& value) {
    HANDLE h = nullptr;
    PRINTER_DEFAULTSW defaults{nullptr, nullptr, PRINTER_ALL_ACCESS};
    ASSERT_TRUE(OpenPrinterW(const_cast<LPWSTR>(kQueueW), &h, &defaults));
    std::u16string copy = value;
    EXPECT_EQ(SetPrinterDataW(h, const_cast<LPWSTR>(name), REG_SZ, reinterpret_cast<LPBYTE>(copy.data()),
                              static_cast<DWORD>((copy.size() + 1) * 2)),
              ERROR_SUCCESS);
    ClosePrinter(h);
}

VANTO_PRINTER_INFO Record(uint64_t mask) {
    VANTO_PRINTER_INFO r{};
    r.dwSize = VANTO_PRINTER_INFO_SIZE;
    r.dwVersion = 1;
    r.ullElementMask = mask;
    std::memcpy(r.szModelName, u"Model-P200", 20);
    r.dwModelInfoBits = 0x3;
    r.dwSupportPDLBits = 0x211;
    r.nCassetteNum = 2;
    r.stCassette[1].wPaperSizeID = 9;
    r.stCassette[1].wPaperSourceBit = 0x2;
    return r;
}

TEST_F(CfgxTest, RegistryDataFollowsTheRecordAndItsMask) {
    Session s;
    ASSERT_EQ(Open(s, 2), KD_CFGX_OK);
    VANTO_PRINTER_INFO record = Record(0x1 | 0x2 | 0x10 | 0x1000);

    // Record only: the file's versions are not written. (A number the mask selects is CfgxExports'
    // model bits; the cassette count is the size of the cassettes written; the limits are written
    // as the cassettes are.)
    ASSERT_EQ(m.UpdateREGData(s.Get(), kPrinter, KD_CFGX_REGUPDATE_RECORD_ONLY, &record, 1), KD_CFGX_OK);
    EXPECT_EQ(Text(u"KDCFGXModelName"), u"Model-P200");
    EXPECT_EQ(Dword(u"KDCFGXSupportPDL"), std::nullopt) << "not in the mask";
    auto cassettes = PrinterData(u"KDCFGXCassettes");
    ASSERT_TRUE(cassettes);
    ASSERT_EQ(cassettes->size(), 32u);
    EXPECT_EQ(std::memcmp(cassettes->data() + 16, &record.stCassette[1], 16), 0);
    EXPECT_EQ(PrinterData(u"KDCFGXUserDefMaxMin")->size(), 40u);
    EXPECT_EQ(Text(u"KDCFGXFileVersion"), u"(none)");

    // Full: the file's version string and custom version join them.
    ASSERT_EQ(m.SetCustomVersion(s.Get(), 7), KD_CFGX_OK);
    ASSERT_EQ(m.UpdateREGData(s.Get(), kPrinter, KD_CFGX_REGUPDATE_FULL, &record, 1), KD_CFGX_OK);
    EXPECT_EQ(Text(u"KDCFGXFileVersion"), u"1.0.0");
    EXPECT_EQ(Dword(u"KDCFGXCustomVersion"), 7u);

    // Replace: what the mask leaves out is cleared; a cassette count beyond the record's eight
    // slots is cut to them.
    record = Record(0x4 | 0x10);
    record.nCassetteNum = 100;
    ASSERT_EQ(m.UpdateREGData(s.Get(), kPrinter, KD_CFGX_REGUPDATE_REPLACE, &record, 1), KD_CFGX_OK);
    EXPECT_EQ(Text(u"KDCFGXModelName"), u"");
    EXPECT_EQ(Dword(u"KDCFGXModelInfoBits"), 0u);
    EXPECT_EQ(PrinterData(u"KDCFGXCassettes")->size(), 128u);
    EXPECT_EQ(PrinterData(u"KDCFGXUserDefMaxMin")->size(), 0u);

    // Refusals change nothing.
    record = Record(0x2);
    record.dwModelInfoBits = 0xBAD;
    EXPECT_EQ(m.UpdateREGData(s.Get(), kPrinter, 10, &record, 1), KD_CFGX_ERR_BAD_ARGUMENT);
    EXPECT_EQ(m.UpdateREGData(s.Get(), kPrinter, 11, &record, 2), KD_CFGX_ERR_BAD_ARGUMENT);
    record.dwSize = 415;
    EXPECT_EQ(m.UpdateREGData(s.Get(), kPrinter, 11, &record, 1), KD_CFGX_ERR_BAD_ARGUMENT);

    // Without administrator rights the queue's data cannot be written.
    record.dwSize = VANTO_PRINTER_INFO_SIZE;
    setenv(vplat::kUnprivilegedVariable, "1", 1);
    EXPECT_EQ(m.UpdateREGData(s.Get(), kPrinter, 11, &record, 1), KD_CFGX_ERR_PRINTER);
    unsetenv(vplat::kUnprivilegedVariable);
    EXPECT_EQ(Dword(u"KDCFGXModelInfoBits"), 0u) << "none of the refused updates wrote the record";
}

TEST_F(CfgxTest, CustomVersionAutoCountsUpPerQueue) {
    Session first;
    ASSERT_EQ(Open(first, 2), KD_CFGX_OK);
    ASSERT_EQ(m.SetCustomVersionAuto(first.Get(), kPrinter), KD_CFGX_OK);  // 1, as CfgxExports sees in every file

    // Another source of the same queue continues from the queue's number.
    Session second;
    ASSERT_EQ(Open(second, 1), KD_CFGX_OK);
    ASSERT_EQ(m.SetCustomVersionAuto(second.Get(), kPrinter), KD_CFGX_OK);
    uint32_t version = 0;
    EXPECT_EQ(m.GetCustomVersion(second.Get(), &version), KD_CFGX_OK);
    EXPECT_EQ(version, 2u);
    // A file ahead of the queue continues from its own number.
    ASSERT_EQ(m.SetCustomVersion(second.Get(), 40), KD_CFGX_OK);
    ASSERT_EQ(m.SetCustomVersionAuto(second.Get(), kPrinter), KD_CFGX_OK);
    EXPECT_EQ(Dword(u"KDCFGXCustomVersion"), 41u);
    ASSERT_EQ(m.SetCustomVersion(second.Get(), UINT32_MAX), KD_CFGX_OK);
    EXPECT_EQ(m.SetCustomVersionAuto(second.Get(), kPrinter), KD_CFGX_ERR_OUT_OF_RANGE);
    EXPECT_EQ(Dword(u"KDCFGXCustomVersion"), 41u);

    EXPECT_EQ(m.SetCustomVersionAuto(first.Get(), nullptr), KD_CFGX_ERR_BAD_ARGUMENT);
    // A session on a file alone has no queue.
    Session file;
    const fs::path source = fs::path(VANTO_SOURCE_DIR) / "samples/driver/K_PAGE.CFX";
    ASSERT_EQ(m.Init(file.Out(), vplat::ToWindowsPath(source.string()).c_str()), KD_CFGX_OK);
    EXPECT_EQ(m.SetCustomVersionAuto(file.Get(), kPrinter), KD_CFGX_ERR_PRINTER);
}

TEST_F(CfgxTest, DeleteBinFilesRemovesOnlyTheCompiledFilesOfTheQueue) {
    SetPrinterText(u"KDPQGUID", u"{0A1B2C3D-0000-4000-8000-123456789ABC}");
    const fs::path work = fs::path(prefix.DriveC()) / "ProgramData/KELDA" / vanto_test::kSampleDriverName /
                          "{0A1B2C3D-0000-4000-8000-123456789ABC}";
    fs::create_directories(work);
    for (const char* name : {"K_PAGE.CFB", "k_ink.cfb", "K_PAGE.CFX", "OTHER.CFB"}) std::ofstream(work / name) << "x";
    fs::create_directories(work / "K_DIR.CFB");

    Session s;
    ASSERT_EQ(Open(s, 2), KD_CFGX_OK);
    EXPECT_EQ(m.DeleteBinFiles(kPrinter), KD_CFGX_ERR_PRINTER) << "a handle not seen with a session";
    EXPECT_EQ(m.DeleteBinFiles(nullptr), KD_CFGX_ERR_BAD_ARGUMENT);
    ASSERT_EQ(m.SetCustomVersionAuto(s.Get(), kPrinter), KD_CFGX_OK);
    ASSERT_EQ(m.DeleteBinFiles(kPrinter), KD_CFGX_OK);
    for (const char* gone : {"K_PAGE.CFB", "k_ink.cfb"}) EXPECT_FALSE(fs::exists(work / gone)) << gone;
    for (const char* kept : {"K_PAGE.CFX", "OTHER.CFB", "K_DIR.CFB"}) EXPECT_TRUE(fs::exists(work / kept)) << kept;
    EXPECT_EQ(m.DeleteBinFiles(kPrinter), KD_CFGX_OK) << "nothing left to delete";

    // An identifier that would lead out of the driver's folder is refused.
    std::ofstream(work.parent_path() / "K_KEEP.CFB") << "x";
    SetPrinterText(u"KDPQGUID", u"..");
    EXPECT_EQ(m.DeleteBinFiles(kPrinter), KD_CFGX_ERR_PRINTER);
    EXPECT_TRUE(fs::exists(work.parent_path() / "K_KEEP.CFB"));

    // The handle's link ends with its session.
    s.Close();
    EXPECT_EQ(m.DeleteBinFiles(kPrinter), KD_CFGX_ERR_PRINTER);
}

}  // namespace
}  // namespace cfgxtest
