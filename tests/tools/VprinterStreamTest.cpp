// vprinter's job-language port and USB sockets seen from a client: MDR requests and answers,
// PI paging, bad USB frames, and the counts of --stats.
#include "SnmpClient.h"
#include "VprinterHarness.h"

namespace vp_test {
namespace {

// "@OPK MDR CM=" request for `count` consecutive rows starting at the relative identifier (its
// arcs below 0x80).
std::string MdrRequest(std::vector<uint32_t> arcs, int count) {
    Bytes elements;
    for (int i = 0; i < count; ++i, ++arcs.back()) {
        elements.insert(elements.end(), {0x00, static_cast<uint8_t>(arcs.size())});
        elements.insert(elements.end(), arcs.begin(), arcs.end());
    }
    return "@OPK MDR CM=\"00" + vprinter::ToHex(elements.data(), elements.size()) + "\"\r\n";
}

struct MdrAnswer {
    bool echoed = false;
    Bytes data;                                     // decoded hexadecimal part
    std::vector<std::pair<uint8_t, Bytes>> values;  // (tag, contents) of the value elements
};

// Reads one MDR answer: the echo, the quoted hexadecimal data and CR LF.
MdrAnswer ReadMdr(Stream& s, const std::string& request) {
    MdrAnswer a;
    const Bytes echo = s.Read(request.size());
    a.echoed = echo == B(request);
    Bytes rest;
    while (true) {
        const Bytes one = s.Read(1);
        if (one.empty()) return a;
        rest.push_back(one[0]);
        if (rest.size() > 2 && rest[rest.size() - 2] == '"' && one[0] == '\r') break;
    }
    s.Read(1);  // the LF
    for (size_t i = 1; i + 1 < rest.size() - 2; i += 2)
        a.data.push_back(static_cast<uint8_t>(vprinter::HexPair(static_cast<char>(rest[i]), static_cast<char>(rest[i + 1]))));
    for (size_t pos = 2; pos + 1 < a.data.size();) {
        const uint8_t tag = a.data[pos];
        const size_t n = a.data[pos + 1];
        if (tag != 0x00) a.values.emplace_back(tag, Bytes(a.data.begin() + pos + 2, a.data.begin() + pos + 2 + n));
        pos += 2 + n;
    }
    return a;
}

const std::vector<uint32_t> kInputName = {2, 1, 43, 8, 2, 1, 13, 1, 1};
const std::vector<uint32_t> kInputMaxCapacity = {2, 1, 43, 8, 2, 1, 9, 1, 2};

TEST(VprinterJobLanguage, MdrAnswersEchoTheRequestAndCarryTheValues) {
    Vprinter vp({"-p", "127.0.77.20=" + SampleProfile("mono-page-opk")});
    ASSERT_TRUE(vp.Ready()) << vp.Stderr();
    Stream s = Stream::Tcp("127.0.77.20");
    ASSERT_TRUE(s.Ok());

    const auto ask = [&s](const std::string& req) {
        s.Send(req);
        return ReadMdr(s, req);
    };
    MdrAnswer a = ask(MdrRequest(kInputName, 3));
    EXPECT_TRUE(a.echoed);
    ASSERT_GE(a.data.size(), 2u);
    EXPECT_EQ(Bytes(a.data.begin(), a.data.begin() + 2), (Bytes{0x80, 0x00}));
    ASSERT_EQ(a.values.size(), 3u);
    EXPECT_EQ(a.values[0], std::make_pair(uint8_t{0x14}, B("Auto")));
    EXPECT_EQ(a.values[2], std::make_pair(uint8_t{0x14}, B("Tray 2")));
    a = ask(MdrRequest(kInputMaxCapacity, 1));
    ASSERT_EQ(a.values.size(), 1u);
    EXPECT_EQ(a.values[0], std::make_pair(uint8_t{0x08}, Bytes{0x00, 0xFA}));  // 250, two's complement

    // Past the end of the column (3 inputs): status 0x82 and no elements.
    std::vector<uint32_t> row3 = kInputName;
    row3.back() = 3;
    EXPECT_EQ(ask(MdrRequest(row3, 2)).data, (Bytes{0x80, 0x82}));

    // An unreadable request: status 0x81. Command 1 answers with 0x81 first.
    EXPECT_EQ(ask("@OPK MDR CM=\"00ZZ\"\r\n").data, (Bytes{0x80, 0x81}));
    std::string req = MdrRequest(kInputName, 1);
    req[14] = '1';
    a = ask(req);
    ASSERT_GE(a.data.size(), 2u);
    EXPECT_EQ(Bytes(a.data.begin(), a.data.begin() + 2), (Bytes{0x81, 0x00}));

    // A request split across writes, after print-job noise, is answered once.
    req = MdrRequest(kInputName, 1);
    s.Send("\x1b%-12345X@PJL JOB\r\n\x0c" + req.substr(0, 10));
    EXPECT_TRUE(s.Read(1, 300).empty());
    s.Send(req.substr(10));
    a = ReadMdr(s, req);
    EXPECT_TRUE(a.echoed);
    EXPECT_EQ(a.values.size(), 1u);
    EXPECT_TRUE(s.Read(1, 300).empty());
}

// The PI transfer over the job-language port: every reply is framed by its count, and the pages
// (their sizes are checked in-process by VprinterPaging) join to the payload.
TEST(VprinterJobLanguage, PiRequestPagesOverTheJobLanguagePort) {
    TempFolder dir;
    dir.Write("ij/profile.json", R"({"channels": ["opk"], "pi_max_chunk": 100, "replies": {"pm17": ")" +
                                     SampleProfile("inkjet-usb-f17/pm17.hex") + R"("}})");
    Vprinter vp({"-p", "127.0.77.22=" + dir.Path() + "/ij"});
    ASSERT_TRUE(vp.Ready()) << vp.Stderr();
    Stream s = Stream::Tcp("127.0.77.22");
    auto request = [&](uint8_t code, unsigned page, unsigned chunk) {
        Bytes r = {'P', 'I', 0x06, 0x00, 0x01, code};
        vprinter::PutLE16(r, page);
        vprinter::PutLE16(r, chunk);
        s.Send(r);
        Bytes reply = s.Read(11);  // "@BDC PI\r\n" and the count of the bytes after it
        if (reply.size() != 11) return reply;
        const Bytes rest = s.Read(vprinter::GetLE16(&reply[9]));
        reply.insert(reply.end(), rest.begin(), rest.end());
        return reply;
    };
    const Bytes zero = request(0x82, 0, 0x800);
    ASSERT_GE(zero.size(), 26u);
    const unsigned pages = vprinter::GetLE16(&zero[21]), chunk = vprinter::GetLE16(&zero[23]);
    EXPECT_LE(chunk, 100u);
    EXPECT_GT(pages, 2u);
    Bytes joined;
    for (unsigned n = 1; n <= pages; ++n) {
        const Bytes p = request(0x82, n, chunk);
        ASSERT_GT(p.size(), 35u);
        const size_t len = vprinter::GetLE16(&p[29]);
        ASSERT_EQ(p.size(), 35u + len + 1);  // "SZ:" length ";DT:" data ";"
        joined.insert(joined.end(), p.begin() + 35, p.begin() + 35 + static_cast<long>(len));
    }
    EXPECT_EQ(joined, *vprinter::FromHexText(ReadFile(SampleProfile("inkjet-usb-f17/pm17.hex"))));
    // A code the printer has no data for is refused.
    const Bytes na = request(0x80, 0, 0x800);
    EXPECT_NE(std::string(na.begin(), na.end()).find(":NA;"), std::string::npos);
}

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
    // The device still serves new connections, and formats 14 and 16 line up byte for byte.
    Stream s = Stream::Unix(path);
    s.Send(UsbFrame(1, Bytes{'p', 'm', 1, 0, 1}));
    const auto f14 = UsbReply(s, 1);
    s.Send(UsbFrame(1, Bytes{'p', 'm', 1, 0, 2}));
    const auto f16 = UsbReply(s, 1);
    ASSERT_TRUE(f14 && f16);
    EXPECT_EQ(f14->size(), f16->size());
    EXPECT_EQ(Bytes(f14->begin(), f14->begin() + 4), B("pm:S"));
}

TEST(VprinterStats, CountEveryDatagramAndConnectionPerPrinter) {
    TempFolder usb;
    Vprinter vp({"--stats", "-p", "127.0.77.60=" + SampleProfile("colour-page"), "-p", "USB004=" + SampleProfile("inkjet-usb-f14")},
                usb.Path());
    ASSERT_TRUE(vp.Ready()) << vp.Stderr();
    // Requests are counted whether they are answered or not; exchanges are the requests read as
    // such (answered or meant to be).
    EXPECT_FALSE(UdpExchange("127.0.77.60", B("not snmp"), 200));
    SnmpClient client("127.0.77.60:" + std::to_string(kSnmpPort));
    EXPECT_TRUE(client.Request(SNMP_MSG_GET, {"1.3.6.1.2.1.1.5.0"}).answered);
    for (int i = 0; i < 2; ++i) {
        Stream s = Stream::Tcp("127.0.77.60");
        s.Send("@OPK INFO ID\r\n");
        EXPECT_FALSE(s.Read(8).empty());  // answered, so the connection was seen
    }
    Stream s = Stream::Unix(usb.Path() + "/USB004.sock");
    s.Send(UsbFrame(0, B("C")));
    EXPECT_TRUE(UsbReply(s, 0));
    // A connection made just before the end counts too, served or not.
    Stream last = Stream::Tcp("127.0.77.60");
    EXPECT_TRUE(last.Ok());
    EXPECT_EQ(vp.Stop(), 0);
    const std::string err = vp.Stderr();
    EXPECT_NE(err.find("stats 127.0.77.60 (colour-page): snmp-requests=2 opk-connections=3 usb-connections=0 exchanges=3\n"),
              std::string::npos)
        << err;
    EXPECT_NE(err.find("stats USB004 (inkjet-usb-f14): snmp-requests=0 opk-connections=0 usb-connections=1 exchanges=1\n"),
              std::string::npos)
        << err;
}

}  // namespace
}  // namespace vp_test
