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
        const std::string mute = WriteProfile(
            m_files, "mute",
            R"({"device_id": "MFG:Vintal;MDL:Aquila IJ-310;CMD:BDC,D4PX,QLMPR1;CLS:PRINTER;", "usb_port": "USB003",
                "channels": ["d4"], "status": "status.hex", "faults": ["usb:vanish,after=2"]})",
            "");
        m_files.Write("mute/status.hex", ReadFile(SampleProfile("inkjet-usb-f14") + "/status.hex"));
        m_printers = Serve(m_live, {{"Colour", kColourAddress, SampleProfile("colour-page")},
                                    {"Mono", kMonoAddress, SampleProfile("mono-page-opk")},
                                    {"OEM", kOemAddress, SampleProfile("system-oem-b")},
                                    {"Ink", "USB001", SampleProfile("inkjet-usb-f17")},
                                    {"Ink14", "USB002", SampleProfile("inkjet-usb-f14")},
                                    {"Mute", "USB003", mute}});
        m_live.AddQueue("Silent", std::string("IP_") + kSilentAddress);
        ASSERT_TRUE(m_printers->Ready());
    }

    TempFolder m_files;
    LivePrefix m_live;
    std::unique_ptr<Printers> m_printers;
};

}  // namespace

TEST_F(BPConnection, PagePrintersOpenOnSnmpOrOpkWithTheirDeviceIdAndCategory) {
    Opened colour("Colour", 0);
    ASSERT_EQ(colour.result, 1);
    EXPECT_EQ(colour->GetChannelKind(), kZkChannelSNMP);
    EXPECT_EQ(colour->GetPrinterCategory(), PRINTER_CATEGORY_PAGE);
    EXPECT_TRUE(colour->IsDeviceIDAnalyzed());
    EXPECT_EQ(colour->GetDeviceIDString().rfind("MFG:Vintal;MDL:Corvia CP-4500c;", 0), 0u);
    EXPECT_EQ(std::u16string(colour->GetModelName()), u"Corvia CP-4500c");
    EXPECT_EQ(colour->GetSystemOEMRecord()[0], 0) << "a model outside the System OEM list";

    Opened mono("Mono", 0);
    ASSERT_EQ(mono.result, 1);
    EXPECT_EQ(mono->GetChannelKind(), kZkChannelOPK);
    EXPECT_EQ(mono->GetChannel()->wWord1, kZkJobLanguagePort);

    // Close forgets the channel; the same object opens again, also another printer.
    mono->Close();
    EXPECT_EQ(mono->GetChannelKind(), 0u);
    ASSERT_EQ(mono->Open(u"Colour"), 1);
    EXPECT_EQ(mono->GetChannelKind(), kZkChannelSNMP);
    EXPECT_EQ(std::u16string(mono->GetModelName()), u"Corvia CP-4500c");
}

TEST_F(BPConnection, ChannelListIsWalkedInOrderWithSnmpWinningAndLaterEntriesReplacingEarlier) {
    struct Case {
        const char* channels;
        const char* queue;
        DWORD flags;
        uint32_t kind;  // 0: the open fails
        int word;       // -1: not checked
    };
    const Case cases[] = {
        {"opk,snmp", "Colour", 0, kZkChannelSNMP, -1},  // SNMP wins over an earlier OPK
        // Forced ink-jets (no media check at open): of two D4 entries the later one; a device ID
        // naming TVD4 takes the TVD4 entry and passes D4 by.
        {"d4:1,d4:7", "Ink14", BP_FLAG_FORCE_INKJET, kZkChannelD4, 7},
        {"tvd4:2,d4:1", "Ink", BP_FLAG_FORCE_INKJET, kZkChannelTVD4, -1},
        // A page printer with neither SNMP nor OPK fails, even with D4 listed; so does an empty list.
        {"d4,tvd4", "Mono", 0, 0, -1},
        {"", "Mono", 0, 0, -1},
        // A large ink-jet chooses like a page printer: OPK, not D4.
        {"d4,opk", "Mono", BP_FLAG_FORCE_LARGE_INKJET, kZkChannelOPK, -1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.channels);
        ::setenv("VANTO_TEST_CHANNELS", c.channels, 1);
        Opened printer(c.queue, c.flags);
        EXPECT_EQ(printer.result, c.kind != 0 ? 1 : 0);
        EXPECT_EQ(printer->GetChannelKind(), c.kind);
        if (c.word >= 0) {
            EXPECT_EQ(printer->GetChannel()->wWord1, c.word);
        }
    }
    EXPECT_EQ(Opened("Mono", BP_FLAG_FORCE_LARGE_INKJET)->GetPrinterCategory(), PRINTER_CATEGORY_LARGE_INKJET);
}

TEST_F(BPConnection, SystemOemModelIsFoundInTheModelListAndOpensEvenWithoutAChannel) {
    Opened oem("OEM", 0);
    ASSERT_EQ(oem.result, 1);
    EXPECT_EQ(oem->GetPrinterCategory(), PRINTER_CATEGORY_SYSTEM_OEM);
    EXPECT_EQ(oem->IsChannelAvailable(), 1u);
    EXPECT_EQ(oem->GetChannelKind(), kZkChannelSNMP);

    // No usable channel: the open succeeds with the channel-available flag cleared.
    ::setenv("VANTO_TEST_CHANNELS", "opk", 1);
    Opened local("OEM", 0);
    ASSERT_EQ(local.result, 1);
    EXPECT_EQ(local->IsChannelAvailable(), 0u);
    EXPECT_EQ(local->GetChannel(), nullptr);
    std::vector<BYTE> value{1, 2, 3};
    EXPECT_EQ(local->GetMIBValue("2.1.1.1.0", &value), 0);
    EXPECT_TRUE(value.empty());
}

TEST_F(BPConnection, OptionFlagsForceTheCategoryAndSkipTheMediaCheck) {
    // The colour page printer answers no media information: forced ink-jet still opens.
    m_live.EnableLog();
    Opened ink("Colour", BP_FLAG_FORCE_INKJET);
    ASSERT_EQ(ink.result, 1);
    EXPECT_EQ(ink->GetPrinterCategory(), PRINTER_CATEGORY_INKJET);
    EXPECT_EQ(m_live.CountInNewLog("CBIDI_BP::GetSupportMediaInfo"), 0u);

    // Forced page printer: an ink-jet device ID on USB finds no OPK channel.
    Opened page("Ink", BP_FLAG_FORCE_PAGE);
    EXPECT_EQ(page.result, 0);
    EXPECT_EQ(page->GetPrinterCategory(), PRINTER_CATEGORY_PAGE);
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

// An ink-jet that goes away once it has told its device ID and channels: the media query fails,
// the channel is closed again and the open fails.
TEST_F(BPConnection, InkjetsMustAnswerTheirMediaInformationToOpen) {
    Opened open("Mute");
    EXPECT_EQ(open.result, 0);
    EXPECT_EQ(open->GetChannel(), nullptr);
}
