// CSnmpDll against a virtual printer on loopback, through the WinSNMP module installed in a
// temporary prefix as the platform's WSNMP32.DLL. Addresses 127.0.131.x.
#include "probe/CSnmpDll.h"
#include "support/TempPrefix.h"
#include "support/VprinterProcess.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstring>
#include <memory>
#include <string>
#include <thread>

namespace {

constexpr const char* kPrinterAddress = "127.0.131.10";
constexpr auto kAnswerLimit = std::chrono::seconds(10);  // generous: the machine is shared

// 4-byte integers answered (texts: ProbeExports.SingleAddressSearchRecognisesSystemOEMModels...);
// a request before Initialize (one check with missing texts), a bad identifier and an address
// outside loopback refused before anything is sent.
TEST(CSnmpDll, AnswersAreKeptAsFourByteIntegersAndBadRequestsAreNotSent) {
    vanto_test::TempPrefix prefix;
    std::string error;
    ASSERT_TRUE(vplat::InstallSystemModule(std::string(VANTO_BUILD_DIR) + "/WSNMP32.DLL", u"WSNMP32.DLL", error))
        << error;
    vanto_test::VprinterProcess printer(
        {"-p", std::string(kPrinterAddress) + "=" + VANTO_SOURCE_DIR + "/samples/printers/colour-page"});
    ASSERT_TRUE(printer.Ready()) << printer.Stderr();
    CSnmpDll snmp;
    EXPECT_EQ(snmp.Send("1.3.6.1.2.1.1.5.0", kPrinterAddress, 0), 0);  // not initialized
    ASSERT_EQ(snmp.Initialize(), 1);
    EXPECT_EQ(snmp.Send("not an oid", kPrinterAddress, 0), 0);
    EXPECT_EQ(snmp.Send("1.3.6.1.2.1.1.5.0", "192.168.1.20", 0), 0);

    ASSERT_EQ(snmp.Send("1.3.6.1.2.1.1.7", kPrinterAddress, 1), 1);  // GetNext: sysServices.0
    // Polled for, as the single-address examination does.
    const auto deadline = std::chrono::steady_clock::now() + kAnswerLimit;
    while (!snmp.GetAnswer() && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    const auto answer = snmp.GetAnswer();
    ASSERT_NE(answer, nullptr);
    ASSERT_EQ(answer->Length(), 4u);
    int32_t services = 0;
    std::memcpy(&services, answer->bytes.data(), sizeof services);
    EXPECT_EQ(services, 72);

    // A new request drops the earlier answer at once; an unanswered one leaves none.
    ASSERT_EQ(snmp.Send("1.3.6.1.2.1.1.5.0", "127.0.131.11", 0), 1);  // nothing answers there
    EXPECT_EQ(snmp.GetAnswer(), nullptr);
}

}  // namespace
