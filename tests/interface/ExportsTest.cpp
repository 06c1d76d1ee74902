// The exported interface as a caller sees it: the symbol table of libvanto.so, instances and
// handles, the failure values of exports without their object, and print-job control on the
// stand-in spooler. Whole log lines from many writers: BILoggingTest in tests/common.
#include "vanto.h"

#include "platform/prefix.h"
#include "support/TempPrefix.h"
#include "support/ToolRun.h"

#include <gtest/gtest.h>

#include <set>
#include <sstream>

using vanto_test::TempPrefix;

namespace {

// The queue's status word through the spooler.
DWORD QueueStatus(const char16_t* queue) {
    HANDLE printer = nullptr;
    if (!OpenPrinterW(const_cast<LPWSTR>(queue), &printer, nullptr)) return ~0u;
    std::vector<BYTE> buffer(4096);  // room for the queue's description and its texts
    DWORD needed = 0;
    const BOOL ok = GetPrinterW(printer, 2, buffer.data(), 4096, &needed);
    ClosePrinter(printer);
    return ok ? reinterpret_cast<const PRINTER_INFO_2W*>(buffer.data())->Status : ~0u;
}

void PauseQueue(const char16_t* queue) {
    HANDLE printer = nullptr;
    PRINTER_DEFAULTSW defaults = {nullptr, nullptr, PRINTER_ALL_ACCESS};
    ASSERT_TRUE(OpenPrinterW(const_cast<LPWSTR>(queue), &printer, &defaults));
    EXPECT_TRUE(SetPrinterW(printer, 0, nullptr, PRINTER_CONTROL_PAUSE));
    ClosePrinter(printer);
}

TEST(ExportsTest, LibraryExportsExactlyTheTwentyOneFunctions) {
    const std::set<std::string> expected = {
        "Initialize", "Release", "SetSubnetAddress", "SetContextName", "SetContextIPRANGE", "SetContextIPADR",
        "SetProbeMode", "ProbePrinter", "StopProbe", "GetProbeResult", "CheckModelNameHasChanged",
        "UpdatePrinterInfo", "UpdateCFGXFile", "GetDWORDValue", "GetStringValueW", "GetStructValue",
        "SetDWORDValue", "SetStringValueW", "SetStructValue", "PrintJobsExists", "DeletePrintJobs"};
    const std::string library = std::string(VANTO_BUILD_DIR) + "/libvanto.so";
    const vanto_test::ToolRun nm = vanto_test::RunCommand("nm -D --defined-only " + library);
    ASSERT_EQ(nm.status, 0);
    std::istringstream symbols(nm.out);
    std::set<std::string> functions;
    std::string address, type, name;
    while (symbols >> address >> type >> name)
        if (type == "T" || type == "t" || type == "W" || type == "i") functions.insert(name);
    EXPECT_EQ(functions, expected);
}

// The exports that need a sub-object, on an instance without it or on a bad handle: failure
// values, and the caller's buffers untouched.
void ExpectNoValuesOrUpdates(HVANTO instance) {
    EXPECT_EQ(CheckModelNameHasChanged(instance), VANTO_STATUS_NO_INSTANCE);
    EXPECT_EQ(UpdatePrinterInfo(instance, 0x1, 0), VANTO_STATUS_NO_INSTANCE);
    EXPECT_EQ(UpdateCFGXFile(instance, 0x1, 0), VANTO_STATUS_NO_INSTANCE);
    uint32_t value = 0xABCD, size = 0;
    EXPECT_EQ(GetDWORDValue(instance, VANTO_DWID_MODELINFOBITS, 0, &value), 0);
    EXPECT_EQ(value, 0xABCDu);
    char16_t buffer[8] = {u'k', u'e', u'e', u'p', 0};
    EXPECT_EQ(GetStringValueW(instance, VANTO_SZID_MODELNAME, 0, buffer, 8), 0);
    EXPECT_EQ(std::u16string(buffer), u"keep");
    EXPECT_EQ(GetStructValue(instance, VANTO_STID_PRINTER_INFO, 0, nullptr, &size), 0);
    EXPECT_EQ(SetDWORDValue(instance, VANTO_DWID_MODELINFOBITS, 0, 1), 0);
    EXPECT_EQ(SetStringValueW(instance, VANTO_SZID_MODELNAME, 0, u"M"), 0);
    EXPECT_EQ(StopProbe(instance), 0);
    EXPECT_EQ(GetProbeResult(instance), nullptr);
    EXPECT_EQ(SetContextIPADR(instance, u"127.0.1.1"), 0);
}

// A null printer name needs the discovery flag; a sub-object that cannot be made (discovery in a
// prefix without the network module; printer information for a queue without a driver) fails
// Initialize. A null handle and a released one (the library keeps the set of live ones, so a
// foreign value takes the released one's path) give the failure values.
TEST(ExportsTest, InitializeFailuresAndNullOrStaleHandles) {
    TempPrefix prefix("Q1");
    EXPECT_EQ(Initialize(nullptr, VANTO_FLAG_PRINTERINFO), nullptr);
    EXPECT_EQ(Initialize(u"Q1", VANTO_FLAG_PROBE), nullptr);
    EXPECT_EQ(Initialize(u"NoSuchQueue", VANTO_FLAG_PRINTERINFO), nullptr);
    HVANTO released = Initialize(u"Q1", 0);
    ASSERT_NE(released, nullptr);
    ASSERT_EQ(Release(released), 1);
    for (HVANTO handle : {static_cast<HVANTO>(nullptr), released}) {
        EXPECT_EQ(Release(handle), 0);
        EXPECT_EQ(PrintJobsExists(handle), 0);
        EXPECT_EQ(DeletePrintJobs(handle), 0);
        ExpectNoValuesOrUpdates(handle);
    }
}

// An instance with flags 0 has only its printer context: job control, and nothing else.
TEST(ExportsTest, JobControlEmptiesAndResumesAPausedQueueAndFailsWithoutTheQueueOrFullAccess) {
    TempPrefix prefix("Q1");
    std::string error;
    ASSERT_TRUE(vplat::SubmitJob("Q1", "report.txt", 1234, error)) << error;
    PauseQueue(u"Q1");
    HVANTO instance = Initialize(u"Q1", 0);
    ASSERT_NE(instance, nullptr);
    ExpectNoValuesOrUpdates(instance);
    VANTO_USERDEF_MAXMIN limits = {};
    EXPECT_EQ(SetStructValue(instance, VANTO_STID_USERDEF_MAXMIN, 0, &limits), 0);
    EXPECT_EQ(SetSubnetAddress(instance, u"127.0.1.0", u"255.255.255.0"), 0);
    EXPECT_EQ(SetContextName(instance, u"P"), 0);
    EXPECT_EQ(SetContextIPRANGE(instance, u"127.0.1.1", u"127.0.1.9"), 0);
    EXPECT_EQ(SetProbeMode(instance, VANTO_PROBE_IPADR, 0, 0, 0, 0, 0, 0), 0);
    EXPECT_EQ(ProbePrinter(instance, nullptr), 0);
    EXPECT_EQ(PrintJobsExists(instance), 1);
    EXPECT_EQ(DeletePrintJobs(instance), 1);
    EXPECT_EQ(PrintJobsExists(instance), 0);
    EXPECT_EQ(QueueStatus(u"Q1") & PRINTER_STATUS_PAUSED, 0u);
    Release(instance);

    HVANTO unknown = Initialize(u"NoSuchQueue", 0);
    ASSERT_NE(unknown, nullptr);
    EXPECT_EQ(PrintJobsExists(unknown), 0);
    EXPECT_EQ(DeletePrintJobs(unknown), 0);
    Release(unknown);

    // Purge refused: the attempt still counts, the job stays.
    ASSERT_TRUE(vplat::SubmitJob("Q1", "a", 10, error)) << error;
    ASSERT_TRUE(vplat::SetQueueRefusals("Q1", false, true, error)) << error;
    HVANTO refused = Initialize(u"Q1", 0);
    EXPECT_EQ(DeletePrintJobs(refused), 1);
    EXPECT_EQ(PrintJobsExists(refused), 1);
    Release(refused);

    // A caller that cannot open the queue with full access gets 0 from both.
    ASSERT_TRUE(vplat::SetQueueRefusals("Q1", true, false, error)) << error;
    HVANTO limited = Initialize(u"Q1", 0);
    EXPECT_EQ(PrintJobsExists(limited), 0);
    EXPECT_EQ(DeletePrintJobs(limited), 0);
    Release(limited);
}

}  // namespace
