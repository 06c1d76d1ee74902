// The virtual printer as a process: a printer that vanishes on every channel, bad USB frames, bind
// errors and refused addresses. The faults per channel are checked by the library's tests that
// meet them (MIBFaults, MediaLive, TransportVprinter in tests/bidi and tests/modules).
#include "VprinterHarness.h"

namespace vp_test {
namespace {

// A GetRequest of sysName.0 as raw bytes (request-id given), for UDP-level checks.
Bytes SysNameGet(uint8_t requestId) {
    return Bytes{0x30, 0x26, 0x02, 0x01, 0x00, 0x04, 0x06, 'v', 'i', 'n', 't', 'a', 'l', 0xA0, 0x19, 0x02, 0x01,
                 requestId, 0x02, 0x01, 0x00, 0x02, 0x01, 0x00, 0x30, 0x0E, 0x30, 0x0C, 0x06, 0x08, 0x2B, 0x06,
                 0x01, 0x02, 0x01, 0x01, 0x05, 0x00, 0x05, 0x00};
}

// An MDR request of sysName.0 (2.1.1.5.0).
const std::string kSysNameMdr = "@OPK MDR CM=\"0000050201010500\"\r\n";

Bytes ReadUntilQuiet(Stream& s, int quietMs = 400) {
    Bytes all;
    while (true) {
        const Bytes part = s.Read(65536, quietMs);
        if (part.empty()) return all;
        all.insert(all.end(), part.begin(), part.end());
    }
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

// The library never sends a bad frame; a device that meets one closes the connection and still
// serves new ones.
TEST(VprinterUsb, BadFramesCloseTheConnection) {
    TempFolder usb;
    Vprinter vp({"-p", "USB002=" + SampleProfile("inkjet-usb-f14")}, usb.Path());
    ASSERT_TRUE(vp.Ready()) << vp.Stderr();
    const std::string path = usb.Path() + "/USB002.sock";
    {
        Stream s = Stream::Unix(path);
        s.Send(UsbFrame(0, B("C")));
        EXPECT_EQ(UsbReply(s, 0), (Bytes{1}));  // D4 only
        s.Send(UsbFrame(2, Bytes{'s', 't', 1, 0, 1}));  // TVD4 is not offered
        EXPECT_TRUE(s.Read(1).empty());
        EXPECT_TRUE(s.PeerClosed());
    }
    {
        Stream s = Stream::Unix(path);
        s.Send(Bytes{1, 0xFF, 0xFF, 0xFF, 0x7F});  // announces 2 GB
        EXPECT_TRUE(s.Read(1).empty());
        EXPECT_TRUE(s.PeerClosed());
    }
    Stream s = Stream::Unix(path);
    s.Send(UsbFrame(0, B("C")));
    EXPECT_EQ(UsbReply(s, 0), (Bytes{1}));
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
