// `vanto printer QUEUE` run as a separate process against virtual printers: what it prints
// agrees with the live printer access opened in this process.
#include "test_bp_live_printers.h"

#include <gtest/gtest.h>

#include <array>
#include <cstdio>
#include <sys/wait.h>

using namespace bp_test;

namespace {

struct ToolRun {
    std::string out;
    int status = -1;
};

// Runs build/vanto with the arguments (in the current prefix); standard error is dropped.
ToolRun Vanto(const std::string& args) {
    ToolRun run;
    FILE* pipe = ::popen((std::string(VANTO_BUILD_DIR) + "/vanto " + args + " 2>/dev/null").c_str(), "r");
    if (pipe == nullptr) return run;
    std::array<char, 4096> buffer{};
    size_t n = 0;
    while ((n = std::fread(buffer.data(), 1, buffer.size(), pipe)) > 0) run.out.append(buffer.data(), n);
    const int status = ::pclose(pipe);
    run.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return run;
}

}  // namespace

TEST(BPPrinterVerb, ShowsDeviceCategoryChannelStatusAndInkjetMedia) {
    LivePrefix live;
    live.AddQueue("Ink14", "USB002");
    live.AddQueue("Colour", "IP_127.0.88.61");
    Printers printers({{"USB002", SampleProfile("inkjet-usb-f14")}, {"127.0.88.61", SampleProfile("colour-page")}});
    ASSERT_TRUE(printers.Ready()) << printers.Stderr();

    // The same printer opened here gives the numbers the verb must print.
    auto context = Context("Ink14");
    CBIDI_BP bidi;
    ASSERT_EQ(bidi.Initialize(context.get(), 0), 1);
    ASSERT_EQ(bidi.Open(u"Ink14"), 1);
    ASSERT_EQ(bidi.GetStatusFromCurrentChannel(), TRUE);
    const size_t combinations = bidi.CapabilitySet().Capabilities().size();
    const size_t forbidden = bidi.GetForbiddenPairs().size();
    const size_t statusBytes = bidi.GetAutoConfigInfo().vecStatus.size();
    ASSERT_GT(combinations, 0u);
    bidi.Close();

    const ToolRun ink = Vanto("printer Ink14");
    ASSERT_EQ(ink.status, 0) << ink.out;
    EXPECT_NE(ink.out.find("device ID       : " + bidi.GetDeviceIDString() + "\n"), std::string::npos) << ink.out;
    EXPECT_NE(ink.out.find("category        : 2 (ink-jet printer)"), std::string::npos);
    EXPECT_NE(ink.out.find("channel         : D4 (0x10000005)"), std::string::npos);
    EXPECT_NE(ink.out.find("status          : " + std::to_string(statusBytes) + " bytes"), std::string::npos);
    EXPECT_NE(ink.out.find("supported media (" + std::to_string(combinations) + "):"), std::string::npos);
    EXPECT_NE(ink.out.find("forbidden pairs (" + std::to_string(forbidden) + "):"), std::string::npos);

    // A page printer: no media section; forced ink-jet on it: media not available.
    const ToolRun page = Vanto("printer Colour");
    ASSERT_EQ(page.status, 0) << page.out;
    EXPECT_NE(page.out.find("category        : 1 (page printer)"), std::string::npos);
    EXPECT_NE(page.out.find("channel         : SNMP (0x00000004)"), std::string::npos);
    EXPECT_EQ(page.out.find("supported media"), std::string::npos);
    const ToolRun forced = Vanto("printer Colour --flags 0x20");
    ASSERT_EQ(forced.status, 0);
    EXPECT_NE(forced.out.find("supported media : not available"), std::string::npos);

    EXPECT_EQ(Vanto("printer Nobody").status, 2);
    live.AddQueue("Silent", "IP_127.0.88.62");
    EXPECT_EQ(Vanto("printer Silent").status, 1);
}
