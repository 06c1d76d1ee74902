// Faults on demand, fleets, shutdown and bind errors of the virtual printer. The SNMP and USB
// faults that the library's tests meet (lost, late, wrong, truncated, garbled) are checked there.
#include "SnmpClient.h"
#include "VprinterHarness.h"

namespace vp_test {
namespace {

// A GetRequest of sysName.0 as raw bytes (request-id given), for UDP-level checks.
Bytes SysNameGet(uint8_t requestId) {
    return Bytes{0x30, 0x26, 0x02, 0x01, 0x00, 0x04, 0x06, 'v', 'i', 'n', 't', 'a', 'l', 0xA0, 0x19, 0x02, 0x01,
                 requestId, 0x02, 0x01, 0x00, 0x02, 0x01, 0x00, 0x30, 0x0E, 0x30, 0x0C, 0x06, 0x08, 0x2B, 0x06,
                 0x01, 0x02, 0x01, 0x01, 0x05, 0x00, 0x05, 0x00};
}

// MDR requests of sysName.0 and sysLocation.0 (2.1.1.5.0 and 2.1.1.6.0).
const std::string kSysNameMdr = "@OPK MDR CM=\"0000050201010500\"\r\n";
const std::string kSysLocationMdr = "@OPK MDR CM=\"0000050201010600\"\r\n";

Bytes ReadUntilQuiet(Stream& s, int quietMs = 400) {
    Bytes all;
    while (true) {
        const Bytes part = s.Read(65536, quietMs);
        if (part.empty()) return all;
        all.insert(all.end(), part.begin(), part.end());
    }
}

TEST(VprinterFaults, TruncatedGarbledAndWrongJobLanguageReplies) {
    Vprinter vp({"-p", "127.0.77.41=" + SampleProfile("colour-page"), "--fault", "opk:truncated,count=1", "--fault",
                 "opk:garbled,after=1,count=1", "--fault", "opk:wrong,after=3,count=1"});
    ASSERT_TRUE(vp.Ready()) << vp.Stderr();
    Stream s = Stream::Tcp("127.0.77.41");
    s.Send(kSysNameMdr);
    const Bytes truncated = ReadUntilQuiet(s);
    s.Send(kSysNameMdr);
    const Bytes garbled = ReadUntilQuiet(s);
    s.Send(kSysNameMdr);
    const Bytes whole = ReadUntilQuiet(s);
    ASSERT_GT(whole.size(), kSysNameMdr.size());
    EXPECT_EQ(Bytes(whole.begin(), whole.begin() + kSysNameMdr.size()), B(kSysNameMdr));
    ASSERT_LT(truncated.size(), whole.size());
    EXPECT_FALSE(truncated.empty());
    EXPECT_TRUE(std::equal(truncated.begin(), truncated.end(), whole.begin()));
    EXPECT_EQ(garbled.size(), whole.size());
    EXPECT_NE(garbled, whole);

    // Wrong: the sysLocation request gets the answer to the sysName request before it.
    s.Send(kSysLocationMdr);
    const Bytes wrong = ReadUntilQuiet(s);
    EXPECT_EQ(wrong, whole);
}

TEST(VprinterFaults, VanishingPrinterStopsAnsweringEverywhere) {
    Vprinter vp({"-p", "127.0.77.42=" + SampleProfile("colour-page"), "--fault", "any:vanish,after=1"});
    ASSERT_TRUE(vp.Ready()) << vp.Stderr();
    EXPECT_TRUE(UdpExchange("127.0.77.42", SysNameGet(1), 2000));
    Stream s = Stream::Tcp("127.0.77.42");
    s.Send(kSysNameMdr);  // the second reply: the printer vanishes mid-exchange
    EXPECT_TRUE(ReadUntilQuiet(s).empty());
    EXPECT_TRUE(s.PeerClosed());
    EXPECT_FALSE(UdpExchange("127.0.77.42", SysNameGet(2), 500));
    Stream again = Stream::Tcp("127.0.77.42");
    again.Send(kSysNameMdr);
    EXPECT_TRUE(ReadUntilQuiet(again).empty());
}

TEST(VprinterFaults, TimedVanishAndRate) {
    Vprinter vp({"-p", "127.0.77.43=" + SampleProfile("system-oem-b"), "--fault", "snmp:vanish,count=1,delay=500",
                 "--fault", "snmp:lost,after=1,rate=0.5", "--seed", "7"});
    ASSERT_TRUE(vp.Ready()) << vp.Stderr();
    EXPECT_FALSE(UdpExchange("127.0.77.43", SysNameGet(1), 300));
    std::this_thread::sleep_for(std::chrono::milliseconds(400));
    // Back after the delay; then about half of the replies are lost.
    int answered = 0;
    for (uint8_t id = 2; id < 42; ++id) answered += UdpExchange("127.0.77.43", SysNameGet(id), 250).has_value();
    EXPECT_GT(answered, 5);
    EXPECT_LT(answered, 35);
}

TEST(VprinterFleet, FiftyPrintersAnswerAndStopCleanly) {
    TempFolder dir;
    std::string fleet = "# fleet for discovery\n";
    for (int n = 1; n <= 50; ++n) fleet += "127.0.78." + std::to_string(n) + "  " + SampleProfile("colour-page") + "\n";
    fleet += "USB004 " + SampleProfile("inkjet-usb-f14") + "\n";
    Vprinter vp({"--fleet", dir.Write("fleet.txt", fleet)}, dir.Path());
    ASSERT_TRUE(vp.Ready()) << vp.Stderr();
    EXPECT_NE(vp.Stdout().find("51 printers"), std::string::npos);
    for (int n = 1; n <= 50; ++n) {
        const auto name = SnmpClient("127.0.78." + std::to_string(n) + ":" + std::to_string(kSnmpPort)).Get("1.3.6.1.2.1.1.5.0");
        ASSERT_TRUE(name) << n;
        EXPECT_EQ(name->bytes, "CP4500C-2F");
    }
    EXPECT_TRUE(std::filesystem::exists(dir.Path() + "/USB004.sock"));
    Stream open = Stream::Tcp("127.0.78.7");  // a connection still open at shutdown
    ASSERT_TRUE(open.Ok());
    EXPECT_EQ(vp.Stop(), 0);
    EXPECT_NE(vp.Stdout().find("stopped"), std::string::npos);
    EXPECT_FALSE(std::filesystem::exists(dir.Path() + "/USB004.sock"));
}

TEST(VprinterFleet, BindErrorsAndRefusedAddressesEndTheRun) {
    TempFolder dir;
    Vprinter first({"-p", "127.0.77.50=" + SampleProfile("colour-page"), "-p", "USB005=" + SampleProfile("inkjet-usb-f14")},
                   dir.Path());
    ASSERT_TRUE(first.Ready()) << first.Stderr();

    Vprinter same({"-p", "127.0.77.50=" + SampleProfile("colour-page")}, dir.Path());
    EXPECT_FALSE(same.Ready());
    EXPECT_EQ(same.Wait(std::chrono::seconds(10)), 2);
    EXPECT_NE(same.Stderr().find("cannot bind UDP 127.0.77.50:1161"), std::string::npos) << same.Stderr();

    Vprinter usb({"-p", "USB005=" + SampleProfile("inkjet-usb-f14")}, dir.Path());
    EXPECT_EQ(usb.Wait(std::chrono::seconds(10)), 2);
    EXPECT_NE(usb.Stderr().find("another device is serving it"), std::string::npos) << usb.Stderr();

    for (const std::string address : {"localhost", "127.0.0.256", "::1"}) {
        Vprinter refused({"-p", address + "=" + SampleProfile("colour-page")}, dir.Path());
        EXPECT_EQ(refused.Wait(std::chrono::seconds(10)), 2) << address;
        EXPECT_NE(refused.Stderr().find("refusing address"), std::string::npos) << refused.Stderr();
    }
    Vprinter badFleet({"--fleet", dir.Write("fleet.txt", "localhost " + SampleProfile("colour-page") + "\n")}, dir.Path());
    EXPECT_EQ(badFleet.Wait(std::chrono::seconds(10)), 2);
    EXPECT_NE(badFleet.Stderr().find("fleet.txt:1"), std::string::npos) << badFleet.Stderr();

    // The first printer was not disturbed.
    EXPECT_TRUE(UdpExchange("127.0.77.50", SysNameGet(9), 2000));
}

}  // namespace
}  // namespace vp_test
