// CBIDI_BP's connection against virtual printers over real sockets: loading the transport
// module, the device ID and the printer category, the channel choice (with scripted channel
// lists from the relay module), the System OEM model list, sharing a module, reopening.
#include "test_bp_live_printers.h"

#include <gtest/gtest.h>

#include <cstring>

using namespace bp_test;

namespace {

const char* const kColourAddress = "127.0.88.1";
const char* const kMonoAddress = "127.0.88.2";
const char* const kOemAddress = "127.0.88.3";
const char* const kSilentAddress = "127.0.88.9";  // nothing answers here

class BPConnection : public ::testing::Test {
protected:
    void SetUp() override {
        m_printers = Serve(m_live, {{"Colour", kColourAddress, SampleProfile("colour-page")},
                                    {"Mono", kMonoAddress, SampleProfile("mono-page-opk")},
                                    {"OEM", kOemAddress, SampleProfile("system-oem-b")},
                                    {"Ink", "USB001", SampleProfile("inkjet-usb-f17")},
                                    {"Ink14", "USB002", SampleProfile("inkjet-usb-f14")}});
        m_live.AddQueue("Silent", std::string("IP_") + kSilentAddress);
        ASSERT_TRUE(m_printers->Ready());
    }

    LivePrefix m_live;
    std::unique_ptr<Printers> m_printers;
};

}  // namespace

TEST_F(BPConnection, PagePrintersOpenOnSnmpOrOpkWithTheirDeviceIdAndCategory) {
    Opened colour("Colour", 0);
    ASSERT_EQ(colour.result, 1);
    EXPECT_EQ(colour.bidi->GetChannelKind(), kZkChannelSNMP);
    EXPECT_EQ(colour.bidi->GetPrinterCategory(), PRINTER_CATEGORY_PAGE);
    EXPECT_TRUE(colour.bidi->IsDeviceIDAnalyzed());
    EXPECT_EQ(colour.bidi->GetDeviceIDString().rfind("MFG:Vintal;MDL:Corvia CP-4500c;", 0), 0u);
    EXPECT_EQ(std::u16string(colour.bidi->GetModelName()), u"Corvia CP-4500c");

    Opened mono("Mono", 0);
    ASSERT_EQ(mono.result, 1);
    EXPECT_EQ(mono.bidi->GetChannelKind(), kZkChannelOPK);
    EXPECT_EQ(mono.bidi->GetChannel()->wWord1, kZkJobLanguagePort);

    // Close forgets the channel; the same object opens again, also another printer.
    mono.bidi->Close();
    EXPECT_EQ(mono.bidi->GetChannelKind(), 0u);
    ASSERT_EQ(mono.bidi->Open(u"Colour"), 1);
    EXPECT_EQ(mono.bidi->GetChannelKind(), kZkChannelSNMP);
    EXPECT_EQ(std::u16string(mono.bidi->GetModelName()), u"Corvia CP-4500c");
}

TEST_F(BPConnection, ChannelListIsWalkedInOrderWithSnmpWinningAndLaterEntriesReplacingEarlier) {
    // OPK listed before SNMP: SNMP is used.
    ::setenv("VANTO_TEST_CHANNELS", "opk,snmp", 1);
    Opened colour("Colour", 0);
    ASSERT_EQ(colour.result, 1);
    EXPECT_EQ(colour.bidi->GetChannelKind(), kZkChannelSNMP);

    // D4 twice: the later entry is used (forced ink-jet, so no media check at open).
    ::setenv("VANTO_TEST_CHANNELS", "d4:1,d4:7", 1);
    Opened ink("Ink14", BP_FLAG_FORCE_INKJET);
    ASSERT_EQ(ink.result, 1);
    EXPECT_EQ(ink.bidi->GetChannelKind(), kZkChannelD4);
    EXPECT_EQ(ink.bidi->GetChannel()->wWord1, 7);

    // A device ID naming TVD4 takes the TVD4 entry and passes D4 by.
    ::setenv("VANTO_TEST_CHANNELS", "tvd4:2,d4:1", 1);
    Opened tvd4("Ink", BP_FLAG_FORCE_INKJET);
    ASSERT_EQ(tvd4.result, 1);
    EXPECT_EQ(tvd4.bidi->GetChannelKind(), kZkChannelTVD4);

    // A page printer with neither SNMP nor OPK fails, even with D4 listed; so does an empty list.
    ::setenv("VANTO_TEST_CHANNELS", "d4,tvd4", 1);
    Opened page("Mono", 0);
    EXPECT_EQ(page.result, 0);
    EXPECT_EQ(page.bidi->GetChannelKind(), 0u);
    ::setenv("VANTO_TEST_CHANNELS", "", 1);
    EXPECT_EQ(Opened("Mono", 0).result, 0);

    // Large ink-jet (flag 0x80) chooses like a page printer: OPK, not D4.
    ::setenv("VANTO_TEST_CHANNELS", "d4,opk", 1);
    Opened large("Mono", BP_FLAG_FORCE_LARGE_INKJET);
    ASSERT_EQ(large.result, 1);
    EXPECT_EQ(large.bidi->GetPrinterCategory(), PRINTER_CATEGORY_LARGE_INKJET);
    EXPECT_EQ(large.bidi->GetChannelKind(), kZkChannelOPK);
}

TEST_F(BPConnection, SystemOemModelIsFoundInTheModelListAndOpensEvenWithoutAChannel) {
    Opened oem("OEM", 0);
    ASSERT_EQ(oem.result, 1);
    EXPECT_EQ(oem.bidi->GetPrinterCategory(), PRINTER_CATEGORY_SYSTEM_OEM);
    EXPECT_EQ(oem.bidi->IsChannelAvailable(), 1u);
    EXPECT_EQ(oem.bidi->GetChannelKind(), kZkChannelSNMP);
    const SBISystemOEMRow& record = oem.bidi->GetSystemOEMRecord();
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(record.data())), "Model-B*");
    EXPECT_NE(record[BP_OEM_MODELINFO_OFFSET + 1] & 0x03, 0) << "model-information bit 0x100 or 0x200";

    // No usable channel: the open succeeds with the channel-available flag cleared.
    ::setenv("VANTO_TEST_CHANNELS", "opk", 1);
    Opened local("OEM", 0);
    ASSERT_EQ(local.result, 1);
    EXPECT_EQ(local.bidi->IsChannelAvailable(), 0u);
    EXPECT_EQ(local.bidi->GetChannel(), nullptr);
    std::vector<BYTE> value{1, 2, 3};
    EXPECT_EQ(local.bidi->GetMIBValue("2.1.1.1.0", &value), 0);
    EXPECT_TRUE(value.empty());

    // A model outside the list keeps its category and a cleared record.
    ::unsetenv("VANTO_TEST_CHANNELS");
    Opened page("Colour", 0);
    ASSERT_EQ(page.result, 1);
    EXPECT_EQ(page.bidi->GetPrinterCategory(), PRINTER_CATEGORY_PAGE);
    EXPECT_EQ(page.bidi->GetSystemOEMRecord()[0], 0);
}

TEST_F(BPConnection, OptionFlagsForceTheCategoryAndSkipTheMediaCheck) {
    // The colour page printer answers no media information: forced ink-jet still opens.
    m_live.EnableLog();
    Opened ink("Colour", BP_FLAG_FORCE_INKJET);
    ASSERT_EQ(ink.result, 1);
    EXPECT_EQ(ink.bidi->GetPrinterCategory(), PRINTER_CATEGORY_INKJET);
    EXPECT_EQ(m_live.CountInNewLog("CBIDI_BP::GetSupportMediaInfo"), 0u);

    // Forced page printer: an ink-jet device ID on USB finds no OPK channel.
    Opened page("Ink", BP_FLAG_FORCE_PAGE);
    EXPECT_EQ(page.result, 0);
    EXPECT_EQ(page.bidi->GetPrinterCategory(), PRINTER_CATEGORY_PAGE);
}

TEST_F(BPConnection, FailuresToLoadOrReachThePrinterAreReportedNotHidden) {
    CBIDI_BP unready;
    EXPECT_EQ(unready.Initialize(nullptr, 0), 0);
    EXPECT_EQ(unready.Open(u"Colour"), 0);      // no module
    EXPECT_EQ(unready.OpenSNMP(kColourAddress), 0);

    // The module is loaded once; a second Initialize succeeds without effect.
    auto context = Context("Colour");
    CBIDI_BP bidi;
    ASSERT_EQ(bidi.Initialize(context.get(), 0), 1);
    EXPECT_EQ(bidi.Initialize(context.get(), 0), 1);
    EXPECT_EQ(bidi.Open(nullptr), 0);
    EXPECT_EQ(bidi.OpenA(nullptr, kZkPathQueue), 0);
    EXPECT_EQ(bidi.Open(u"No Such Queue"), 0);
    EXPECT_FALSE(bidi.IsDeviceIDAnalyzed());

    // A queue whose printer does not answer fails within the module's bounds.
    const auto start = Clock::now();
    EXPECT_EQ(bidi.Open(u"Silent"), 0);
    EXPECT_LT(Clock::now() - start, std::chrono::seconds(60));

    // The next open works again.
    EXPECT_EQ(bidi.Open(u"Colour"), 1);
    EXPECT_TRUE(bidi.IsDeviceIDAnalyzed());
}

TEST_F(BPConnection, DriverWithoutTransportModuleCannotInitialize) {
    // A driver whose data file names a transport module that is not installed.
    std::string error;
    const std::string folder = m_live.Prefix().Root() + "/nomodule";
    fs::create_directories(folder);
    std::string data = ReadFile(std::string(VANTO_SOURCE_DIR) + "/samples/driver/VUD3DATA.INI");
    const size_t at = data.find("ZKAPIB6Name=ZKAPI7x64.Dll");
    ASSERT_NE(at, std::string::npos);
    data.replace(at, std::strlen("ZKAPIB6Name=ZKAPI7x64.Dll"), "ZKAPIB6Name=NOTTHERE.Dll");
    std::ofstream(folder + "/NOMODULE.INI", std::ios::binary) << data;
    ASSERT_TRUE(vplat::AddDriver("No Module Driver", folder, {}, {}, error)) << error;
    ASSERT_TRUE(vplat::AddQueue("NoModule", "No Module Driver", std::string("IP_") + kColourAddress, error)) << error;
    auto context = Context("NoModule");
    CBIDI_BP bidi;
    EXPECT_EQ(bidi.Initialize(context.get(), 0), 0);
    EXPECT_EQ(bidi.Open(u"NoModule"), 0);
}

TEST_F(BPConnection, SharedModuleServesDiscoveryAndOutlivesTheObject) {
    CZkapiDll module;
    ASSERT_TRUE(module.Load(WinPath(std::string(VANTO_BUILD_DIR) + "/ZKAPI7x64.Dll").c_str()));
    ASSERT_EQ(module.ZKInitialize(), kZkOk);
    {
        CBIDI_BP bidi(&module);
        EXPECT_EQ(bidi.Initialize(Context("Colour").get(), 0), 1);  // the shared module serves
        ASSERT_EQ(bidi.OpenSNMP(kColourAddress), 1);
        EXPECT_EQ(bidi.GetChannelKind(), kZkChannelSNMP);
        std::vector<BYTE> value;
        ASSERT_GE(bidi.GetMIBValue("2.1.1.5.0", &value), 0);  // sysName
        EXPECT_EQ(std::string(value.begin(), value.end()), "CP4500C-2F");
        // An address outside the printer: the open fails, the object stays usable.
        EXPECT_EQ(bidi.OpenSNMP("not an address"), 0);
    }
    // The object did not release or unload the shared module.
    ASSERT_TRUE(module.IsLoaded());
    const int32_t channel = module.ZKOpenChannel(kZkPathAddress, kColourAddress, kZkChannelSNMP);
    EXPECT_GT(channel, 0);
    module.ZKCloseChannel(channel);
    module.ZKRelease();
}

TEST(BPTransportView, MissingFunctionsAnswerMinus100) {
    CZkapiDll none;
    int32_t size = 0;
    EXPECT_EQ(none.ZKInitialize(), kZkapiMissingFunction);
    EXPECT_EQ(none.ZKGetDeviceID(kZkPathQueue, "Q", nullptr, &size), kZkapiMissingFunction);
    EXPECT_EQ(none.ZKStartProbe(nullptr, nullptr, nullptr, nullptr), 0u);

    // The relay exports the connection functions only: each name is looked up on its own.
    CZkapiDll relay;
    ASSERT_TRUE(relay.Load(WinPath(VANTO_TEST_RELAY_MODULE).c_str()));
    EXPECT_EQ(relay.ZKStopProbe(1), kZkapiMissingFunction);
    EXPECT_EQ(relay.ZKGetProbeResult(1, 1, 1, nullptr), kZkapiMissingFunction);
    EXPECT_EQ(relay.ZKDeleteProbeResult(nullptr), kZkapiMissingFunction);
    ::unsetenv("VANTO_TEST_REAL_ZKAPI");
    EXPECT_EQ(relay.ZKCloseChannel(5), kZkNotInitialized);  // found and called
}

TEST_F(BPConnection, InkjetsMustAnswerTheirMediaInformationToOpen) {
    // The sample ink-jets answer format 17 (TVD4) and formats 14/16 (D4).
    for (const char* queue : {"Ink", "Ink14"}) {
        SCOPED_TRACE(queue);
        Opened ink(queue, 0);
        ASSERT_EQ(ink.result, 1);
        EXPECT_EQ(ink.bidi->GetPrinterCategory(), PRINTER_CATEGORY_INKJET);
        EXPECT_FALSE(ink.bidi->CapabilitySet().Capabilities().empty());
    }

    // An ink-jet that goes away once it has told its device ID and channels: the media query
    // fails, the channel is closed again and the open fails.
    TempFolder profiles;
    const std::string mute = WriteProfile(
        profiles, "mute",
        R"({"device_id": "MFG:Vintal;MDL:Aquila IJ-310;CMD:BDC,D4PX,QLMPR1;CLS:PRINTER;", "usb_port": "USB003",
            "channels": ["d4"], "status": "status.hex", "faults": ["usb:vanish,after=2"]})",
        "");
    profiles.Write("mute/status.hex", ReadFile(SampleProfile("inkjet-usb-f14") + "/status.hex"));
    Printers printer({{"USB003", mute}});
    ASSERT_TRUE(printer.Ready()) << printer.Stderr();
    m_live.AddQueue("Mute", "USB003");
    Opened open("Mute", 0);
    EXPECT_EQ(open.result, 0);
    EXPECT_EQ(open.bidi->GetChannel(), nullptr);
}
