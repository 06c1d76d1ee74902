// The spooler over a prefix's queues: opening, driver and printer descriptions, printer data,
// jobs and queue control.
#include "support/TempPrefix.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {
using vanto_test::TempPrefix;

constexpr const char* kQueue = "Office Printer";

HANDLE Open(const char16_t* queue, DWORD access) {
    PRINTER_DEFAULTSW defaults{nullptr, nullptr, access};
    HANDLE h = nullptr;
    std::u16string name(queue);
    if (!OpenPrinterW(name.data(), &h, &defaults)) return nullptr;
    return h;
}

// An unknown queue: ExportsTest.JobControl... (Initialize of NoSuchQueue); a queue that refuses
// full access: the same test; a caller without administrator rights: CfgxTest's registry-data
// test in tests/modules.
TEST(Spooler, UseHandleRefusesWritesAndTheDriverDescriptionLiesInTheCallersBuffer) {
    TempPrefix prefix(kQueue);
    HANDLE use = Open(u"office printer", PRINTER_ACCESS_USE);  // names are case-insensitive
    ASSERT_NE(use, nullptr);
    BYTE data[4] = {1, 2, 3, 4};
    std::u16string name = u"Key";
    EXPECT_EQ(SetPrinterDataW(use, name.data(), REG_BINARY, data, 4), ERROR_ACCESS_DENIED);
    EXPECT_TRUE(ClosePrinter(use));

    HANDLE h = Open(u"Office Printer", PRINTER_ALL_ACCESS);
    ASSERT_NE(h, nullptr);
    // The size query: every caller's first call (CBITableData, BIInfo, CfgxQueue).
    DWORD needed = 0;
    EXPECT_FALSE(GetPrinterDriverW(h, nullptr, 2, nullptr, 0, &needed));
    std::vector<BYTE> buffer(needed);
    ASSERT_TRUE(GetPrinterDriverW(h, nullptr, 2, buffer.data(), needed, &needed));
    // The strings lie inside the caller's buffer; their values are every driver module load.
    const auto& info = *reinterpret_cast<const DRIVER_INFO_2W*>(buffer.data());
    for (auto* p : {info.pName, info.pDataFile, info.pConfigFile, info.pDriverPath}) {
        EXPECT_GE(reinterpret_cast<const BYTE*>(p), buffer.data());
        EXPECT_LT(reinterpret_cast<const BYTE*>(p), buffer.data() + buffer.size());
    }
    // Pausing, which ExportsTest.JobControl... undoes but cannot see.
    ASSERT_TRUE(SetPrinterW(h, 0, nullptr, PRINTER_CONTROL_PAUSE));
    EXPECT_FALSE(GetPrinterW(h, 2, nullptr, 0, &needed));
    EXPECT_EQ(GetLastError(), ERROR_INSUFFICIENT_BUFFER);
    std::vector<BYTE> printer(needed);
    ASSERT_TRUE(GetPrinterW(h, 2, printer.data(), needed, &needed));
    const DWORD status = reinterpret_cast<const PRINTER_INFO_2W*>(printer.data())->Status;
    EXPECT_EQ(status & PRINTER_STATUS_PAUSED, PRINTER_STATUS_PAUSED);
    ClosePrinter(h);
}

TEST(SpoolerAdmin, BadInputChangesNothing) {
    TempPrefix prefix(TempPrefix::kNoQueue);
    std::string error;
    EXPECT_FALSE(vplat::AddQueue("Q", "No Such Driver", "IP_127.0.1.1", error));
    EXPECT_FALSE(vplat::AddQueue("Q", vanto_test::kSampleDriverName, "LPT1:; rm", error));
    EXPECT_FALSE(vplat::AddQueue("A\\B", vanto_test::kSampleDriverName, "USB001", error));
    EXPECT_FALSE(vplat::QueueExists("Q"));
    ASSERT_TRUE(vplat::AddQueue("Q", vanto_test::kSampleDriverName, "IP_127.0.1.1", error)) << error;
    EXPECT_FALSE(vplat::AddQueue("q", vanto_test::kSampleDriverName, "USB002", error)) << "exists already";
    EXPECT_FALSE(vplat::AddDriver("D", "/nonexistent-folder", {}, {}, error));
    EXPECT_FALSE(vplat::DriverExists("D"));
    EXPECT_FALSE(vplat::SubmitJob("Absent", "x", 1, error));
    ASSERT_TRUE(vplat::RemoveQueue("Q", error)) << error;
    EXPECT_FALSE(vplat::QueueExists("Q"));
}

}  // namespace
