// The supported-media analysis and the status replies against virtual ink-jet printers over
// real sockets: format 17 over D4 (second form), TVD4 (first form) and SNMP, a lost format-17
// page, the status fields. How every sample printer fares under each fault is FaultMatrix's.
// Printers live on 127.0.89.1-3 and on USB001-003 and USB017.
#include "test_bp_live_printers.h"

#include "bidi/StatusReply.h"

using namespace bp_test;

namespace {

// The format-17 ink-jet on a D4 channel only (its device ID no longer names TVD4), in small
// pages, with these faults (none when null).
std::string D4OnlyFormat17(const TempFolder& folder, const std::string& port, const nlohmann::json& faults) {
    return CopyProfile(folder, "inkjet-usb-f17", port, [&](nlohmann::json& p) {
        p["usb_port"] = port;
        p["channels"] = {"d4"};
        p["device_id"] = "MFG:Vintal;MDL:Aquila IJ-870;CMD:BDC,D4PX,QLMPR1;CLS:PRINTER;";
        p["pi_max_chunk"] = 64;
        if (!faults.is_null()) p["faults"] = faults;
    });
}

class MediaLive : public LiveTest {
protected:
    void SetUp() override {
        // The network ink-jet also answers the status identifier over SNMP: "@BDC ST2\r\n", the
        // length 0x18 and the fields of its status.hex with the closing empty field.
        const std::string net = CopyProfile(m_files, "inkjet-network", "net", [](nlohmann::json&) {});
        m_files.Write("net/mib.snmprec",
                      ReadFile(SampleProfile("inkjet-network") + "/mib.snmprec") +
                          "1.3.6.1.4.1.4913.1.2.2.1.1.1.4.1|4x|"
                          "40424443205354320d0a18000101040a031100080f0c0300000100010200020300030000\n");
        const std::string lostPage = D4OnlyFormat17(m_files, "USB017", {"usb:lost,after=2,count=1"});
        m_printers = Serve(m_live, {{"Ink17", "USB001", SampleProfile("inkjet-usb-f17")},
                                    {"Ink14", "USB002", SampleProfile("inkjet-usb-f14")},
                                    {"InkD4", "USB003", D4OnlyFormat17(m_files, "USB003", {})},
                                    {"LostPage", "USB017", lostPage},
                                    {"NetInk", "127.0.89.1", net},
                                    {"Page", "127.0.89.2", SampleProfile("mono-page-opk")},
                                    {"Colour", "127.0.89.3", SampleProfile("colour-page")}});
        ASSERT_TRUE(m_printers->Ready());
    }
};

}  // namespace

TEST_F(MediaLive, Format17OverTvd4D4AndSnmpGivesTheSameCapabilitiesAndFlags) {
    m_live.EnableLog();
    std::vector<DisableCombination> pairs;
    // TVD4 asks in the first form, D4 (in pages of at most 64 bytes) and SNMP (through the maker
    // identifier) in the second.
    for (const auto& [queue, kind] :
         {std::pair{"Ink17", kZkChannelTVD4}, {"InkD4", kZkChannelD4}, {"NetInk", kZkChannelSNMP}}) {
        SCOPED_TRACE(queue);
        auto ink = OpenQueue(queue);
        ASSERT_EQ(ink->GetChannelKind(), kind);
        const BIAutoConfigInfo& info = ink->GetAutoConfigInfo();
        EXPECT_EQ(info.dwFormat17Mark, 0x10000000u);
        EXPECT_EQ(info.dwResolutionFlag, 16u);  // first type record: 360
        // P word 7; words 5 and 21 become model bits (Answers, Ink17).
        EXPECT_EQ(ink->GetCompressionBandHeight(), 64u);
        // 10 sizes x 3 types; quality 3 gives two capabilities each, 2 and 4 one each. What
        // each combination and forbidden pair is follows from the bytes (MediaFormat17,
        // CapabilitySet); here the same bytes must have arrived by every road.
        EXPECT_EQ(ink->CapabilitySet().Capabilities().size(), 40u);
        if (pairs.empty()) pairs = ink->GetForbiddenPairs();
        EXPECT_EQ(ink->GetForbiddenPairs(), pairs);
    }
    EXPECT_FALSE(pairs.empty());
    // First form: "PI" 06 00 01 0x82, page 0, chunk 0x800.
    EXPECT_NE(m_live.NewLog().find("50490600018200000008"), std::string::npos);
}

TEST_F(MediaLive, OneLostFormat17PageFailsOpenInsteadOfFallingBackToNotAvailable) {
    // The D4 ink-jet answers format 17 only: one lost page makes the library ask codes 14 and
    // 16, which it answers "pm:NA;". An ink-jet that supports no paper must not open.
    m_live.EnableLog();
    Opened ink("LostPage", 0, 700);  // a short wait for the lost page
    EXPECT_EQ(ink.result, 0);
    EXPECT_EQ(ink->GetChannelKind(), 0u);
    EXPECT_TRUE(ink->CapabilitySet().Capabilities().empty());
    EXPECT_GE(m_live.CountInNewLog("70 6d 1 0 1"), 1u);  // code 14 was asked after the lost page
}

TEST_F(MediaLive, StatusFieldsAndColourFromEachChannelCachedUntilClose) {
    // TVD4: the status through the module's status call.
    auto tvd4 = OpenQueue("Ink17");
    CBIDI_BP& bidi = *tvd4.bidi;
    EXPECT_EQ(bidi.GetStatusFieldData(kStatusFieldInks, nullptr, 0), -1);  // nothing read yet
    ASSERT_TRUE(bidi.GetStatusFromCurrentChannel());
    EXPECT_EQ(bidi.GetStatusFieldData(kStatusFieldInks, nullptr, 0), 12);
    EXPECT_EQ(bidi.GetStatusFieldData(0x0C, nullptr, 0), 0);
    BYTE storage[3] = {};
    EXPECT_EQ(bidi.GetStatusFieldData(kStatusFieldStorage, storage, 2), -1);  // buffer too small
    ASSERT_EQ(bidi.GetStatusFieldData(kStatusFieldStorage, storage, sizeof storage), 3);
    EXPECT_EQ(storage[0], 0x11);
    EXPECT_EQ(storage[2], 0x08);
    DWORD bits = 0;
    ASSERT_TRUE(bidi.IsSupportColorMode(&bits));
    EXPECT_EQ(bits, 1u);

    // D4: the status command; both inks of this printer are black.
    auto d4 = OpenQueue("Ink14");
    bits = 0;
    EXPECT_FALSE(d4->IsSupportColorMode(&bits));  // no status read yet
    ASSERT_TRUE(d4->GetStatusFromCurrentChannel());
    ASSERT_TRUE(d4->IsSupportColorMode(&bits));
    EXPECT_EQ(bits, 0u);
    EXPECT_EQ(d4->GetStatusFieldData(kStatusFieldInks, nullptr, 0), 6);

    // SNMP: the status identifier, and the status command as maker identifier arcs.
    auto snmp = OpenQueue("NetInk");
    ASSERT_TRUE(snmp->GetStatusFromCurrentChannel());
    EXPECT_EQ(snmp->GetStatusFieldData(kStatusFieldInks, nullptr, 0), 12);
    std::vector<BYTE> reply;
    ASSERT_GE(snmp->SupportMediaInfo(BP_INFO_STATUS, &reply), 0);
    EXPECT_EQ(std::string(reply.begin(), reply.end()).rfind("@BDC ST2\r\n", 0), 0u) << "the agent's byte is dropped";
    EXPECT_EQ(reply.back(), 0);

    // The cache answers after the printers are gone, until Close.
    m_printers.reset();
    EXPECT_TRUE(bidi.GetStatusFromCurrentChannel());
    bidi.Close();
    EXPECT_EQ(bidi.GetStatusFieldData(kStatusFieldInks, nullptr, 0), -1);
    EXPECT_FALSE(bidi.GetStatusFromCurrentChannel());
}

TEST_F(MediaLive, PagePrintersAndMissingArgumentsAreRefused) {
    auto page = OpenQueue("Page");
    std::vector<BYTE> reply = {1, 2, 3};
    EXPECT_EQ(page->SupportMediaInfo(BP_INFO_MEDIA, &reply), 0);
    EXPECT_TRUE(reply.empty());
    EXPECT_EQ(page->GetSupportMediaInfo(), 0);
    EXPECT_TRUE(page->CapabilitySet().Capabilities().empty());

    auto ink = OpenQueue("Ink17");
    EXPECT_EQ(ink->SupportMediaInfo(BP_INFO_MEDIA, nullptr), BP_ERR_BAD_ARGUMENT);
    ink->Close();
    EXPECT_EQ(ink->GetSupportMediaInfo(), 0);  // no channel
}

TEST_F(MediaLive, DiscoveryExaminationOfInkjetsAndOfAPrinterThatWent) {
    auto colour = OpenQueue("Colour");
    std::string location;
    DWORD colorants = 99, common = 0;
    BIStringList paths, languages;
    // What the examination reads from a page printer is MIBQueries'; here its time-out.
    ASSERT_TRUE(colour->GetInfoProbe(&location, &colorants, &common, &paths, &languages, TRUE));
    EXPECT_EQ(colour->GetReceiveTimeout(), BP_PROBE_TIMEOUT_MS);

    // An ink-jet: no media paths asked, the flag stays as it was for 0x00 0x00.
    auto ink = OpenQueue("NetInk");
    common = 0;
    paths = {"untouched"};
    ASSERT_TRUE(ink->GetInfoProbe(&location, &colorants, &common, &paths, &languages, FALSE));
    EXPECT_EQ(location, "Lab 3");
    EXPECT_EQ(common, 0u);
    EXPECT_EQ(paths, BIStringList{"untouched"});
    EXPECT_EQ(languages, BIStringList{"en"});

    // The printer gone: the walk fails (after the 3-second time-out it set).
    m_printers.reset();
    EXPECT_FALSE(colour->GetInfoProbe(&location, &colorants, &common, &paths, &languages, TRUE));
}
