// vprinter's job-language port and USB sockets seen from a client: MDR requests and answers,
// the module's own requests, PI paging in both forms, USB framing, and the counts of --stats.
#include "SnmpClient.h"
#include "VprinterHarness.h"

#include <map>

namespace vp_test {
namespace {

// "@OPK MDR CM=" request for `count` consecutive rows starting at the relative identifier.
std::string MdrRequest(std::vector<uint32_t> arcs, int count) {
    Bytes elements;
    for (int i = 0; i < count; ++i, ++arcs.back()) {
        Bytes oid;
        for (uint32_t a : arcs) {
            if (a < 0x80) {
                oid.push_back(static_cast<uint8_t>(a));
            } else {
                Bytes digits;
                for (uint32_t v = a; v; v >>= 8) digits.insert(digits.begin(), static_cast<uint8_t>(v));
                oid.push_back(static_cast<uint8_t>(0x80 | digits.size()));
                oid.insert(oid.end(), digits.begin(), digits.end());
            }
        }
        elements.push_back(0x00);
        elements.push_back(static_cast<uint8_t>(oid.size()));
        elements.insert(elements.end(), oid.begin(), oid.end());
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
    Vprinter vp({"-p", "127.0.77.20=" + SamplePath("mono-page-opk")});
    ASSERT_TRUE(vp.Ready()) << vp.Stderr();
    Stream s = Stream::Tcp("127.0.77.20");
    ASSERT_TRUE(s.Ok());

    std::string req = MdrRequest(kInputName, 3);
    s.Send(req);
    MdrAnswer a = ReadMdr(s, req);
    EXPECT_TRUE(a.echoed);
    ASSERT_GE(a.data.size(), 2u);
    EXPECT_EQ(a.data[0], 0x80);
    EXPECT_EQ(a.data[1], 0x00);
    ASSERT_EQ(a.values.size(), 3u);
    EXPECT_EQ(a.values[0], std::make_pair(uint8_t{0x14}, B("Auto")));
    EXPECT_EQ(a.values[2], std::make_pair(uint8_t{0x14}, B("Tray 2")));

    req = MdrRequest(kInputMaxCapacity, 1);
    s.Send(req);
    a = ReadMdr(s, req);
    ASSERT_EQ(a.values.size(), 1u);
    EXPECT_EQ(a.values[0], std::make_pair(uint8_t{0x08}, Bytes{0x00, 0xFA}));  // 250, two's complement

    // Past the end of the column (3 inputs): status 0x82 and no elements.
    std::vector<uint32_t> row3 = kInputName;
    row3.back() = 3;
    req = MdrRequest(row3, 2);
    s.Send(req);
    a = ReadMdr(s, req);
    EXPECT_EQ(a.data, (Bytes{0x80, 0x82}));

    // An unreadable request: status 0x81. Command 1 answers with 0x81 first.
    req = "@OPK MDR CM=\"00ZZ\"\r\n";
    s.Send(req);
    EXPECT_EQ(ReadMdr(s, req).data, (Bytes{0x80, 0x81}));
    req = MdrRequest(kInputName, 1);
    req[13] = '0';
    req[14] = '1';
    s.Send(req);
    a = ReadMdr(s, req);
    ASSERT_GE(a.data.size(), 2u);
    EXPECT_EQ(a.data[0], 0x81);
    EXPECT_EQ(a.data[1], 0x00);

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

TEST(VprinterJobLanguage, DeviceIdAndStatusRequests) {
    Vprinter vp({"-p", "127.0.77.21=" + SamplePath("mono-page-opk")});
    ASSERT_TRUE(vp.Ready()) << vp.Stderr();
    Stream s = Stream::Tcp("127.0.77.21");
    s.Send("@OPK INFO ID\r\n");
    const std::string id = "MFG:Vintal;MDL:Corvia LP-2200;CMD:PJL,OPK,PCL,QLMPAGES-04;CLS:PRINTER;\r\n";
    EXPECT_EQ(s.Read(id.size()), B(id));
    s.Send("@OPK ST2\r\n");
    const Bytes head = s.Read(12);
    ASSERT_EQ(head.size(), 12u);
    EXPECT_EQ(Bytes(head.begin(), head.begin() + 10), B("@BDC ST2\r\n"));
    const size_t length = head[10] | (head[11] << 8);
    EXPECT_EQ(s.Read(length).size(), length);
    EXPECT_TRUE(s.Read(1, 200).empty());
}

// Fetches a PI transfer page by page; `send` returns the reply of one request.
template <typename Exchange>
std::optional<Bytes> FetchPages(Exchange exchange, bool firstForm, uint8_t code, size_t& chunkUsed, size_t& pagesUsed) {
    const size_t overhead = firstForm ? 37 : 24;
    const size_t head = firstForm ? 11 : 0;  // "@BDC PI\r\n" and the two bytes after it
    auto request = [&](unsigned page, unsigned chunk) {
        Bytes r = firstForm ? Bytes{'P', 'I', 0x06, 0x00, 0x01, code} : Bytes{'p', 'm', 0x05, 0x00, 0x03};
        vprinter::PutLE16(r, page);
        vprinter::PutLE16(r, chunk);
        return exchange(r);
    };
    const Bytes zero = request(0, 0x800);
    const size_t valuesAt = head + (firstForm ? 10 : 8);
    if (zero.size() < valuesAt + 5) return std::nullopt;
    const size_t pages = vprinter::GetLE16(&zero[valuesAt]);
    const size_t chunk = vprinter::GetLE16(&zero[valuesAt + 2]);
    chunkUsed = chunk;
    pagesUsed = pages;
    Bytes joined;
    for (unsigned n = 1; n <= pages; ++n) {
        const Bytes p = request(n, static_cast<unsigned>(chunk));
        const size_t sz = valuesAt + 5;  // "SZ:" / "sz:"
        if (p.size() < sz + 6) return std::nullopt;
        const size_t len = vprinter::GetLE16(&p[sz + 3]);
        // Every page but the last is full; the last is short, as the host requires.
        if (n < pages && len != chunk - overhead) return std::nullopt;
        if (n == pages && (len == 0 || len >= chunk - overhead)) return std::nullopt;
        joined.insert(joined.end(), p.begin() + static_cast<long>(sz + 9), p.begin() + static_cast<long>(sz + 9 + len));
    }
    if (request(static_cast<unsigned>(pages + 1), static_cast<unsigned>(chunk)).size() > 20) return std::nullopt;
    return joined;
}

TEST(VprinterJobLanguage, PiRequestPagesOverTheJobLanguagePort) {
    TempFolder dir;
    dir.Write("ij/profile.json", R"({"channels": ["opk"], "pi_max_chunk": 100, "replies": {"pm17": ")" +
                                     SamplePath("inkjet-usb-f17/pm17.hex") + R"("}})");
    Vprinter vp({"-p", "127.0.77.22=" + dir.Path() + "/ij"});
    ASSERT_TRUE(vp.Ready()) << vp.Stderr();
    Stream s = Stream::Tcp("127.0.77.22");
    auto exchange = [&](const Bytes& r) {
        s.Send(r);
        Bytes head = s.Read(11);
        if (head.size() != 11) return head;
        const Bytes rest = s.Read(vprinter::GetLE16(&head[9]));
        head.insert(head.end(), rest.begin(), rest.end());
        return head;
    };
    size_t chunk = 0, pages = 0;
    const auto joined = FetchPages(exchange, true, 0x82, chunk, pages);
    ASSERT_TRUE(joined);
    EXPECT_LE(chunk, 100u);
    EXPECT_GT(pages, 2u);
    EXPECT_EQ(*joined, *vprinter::FromHexText(ReadText(SamplePath("inkjet-usb-f17/pm17.hex"))));
    // A code the printer has no data for is refused.
    const Bytes na = exchange(Bytes{'P', 'I', 0x06, 0x00, 0x01, 0x80, 0, 0, 0, 8});
    EXPECT_NE(std::string(na.begin(), na.end()).find(":NA;"), std::string::npos);
}

TEST(VprinterUsb, DeviceAnswersControlQuestionsAndInkjetCommands) {
    TempFolder usb;
    Vprinter vp({"-p", "USB001=" + SamplePath("inkjet-usb-f17")}, usb.Path());
    ASSERT_TRUE(vp.Ready()) << vp.Stderr();
    const std::string path = usb.Path() + "/USB001.sock";
    Stream s = Stream::Unix(path);
    ASSERT_TRUE(s.Ok());
    s.Send(UsbFrame(0, B("I")));
    EXPECT_EQ(UsbReply(s, 0), B("MFG:Vintal;MDL:Aquila IJ-870;CMD:BDC,D4PX,QLMPR1,TVD4;FID:DPA;CLS:PRINTER;"));
    s.Send(UsbFrame(0, B("C")));
    EXPECT_EQ(UsbReply(s, 0), (Bytes{1, 2}));

    // Status over D4: the ink field (15) lists four inks, the storage field (10) is there.
    s.Send(UsbFrame(1, Bytes{'s', 't', 1, 0, 1}));
    const auto st = UsbReply(s, 1);
    ASSERT_TRUE(st);
    ASSERT_GT(st->size(), 12u);
    EXPECT_EQ(Bytes(st->begin() + 5, st->begin() + 8), B("ST2"));
    std::map<uint8_t, Bytes> fields;
    for (size_t pos = 12; pos + 2 <= size_t{10} + (*st)[10] && pos + 2 <= st->size();) {
        const size_t n = (*st)[pos + 1];
        fields[(*st)[pos]] = Bytes(st->begin() + pos + 2, st->begin() + pos + 2 + n);
        pos += 2 + n;
    }
    ASSERT_TRUE(fields.count(15));
    EXPECT_EQ(fields[15].size(), 12u);
    EXPECT_TRUE(fields.count(10));

    // "pc": data 5 bytes after the "p"; "pm" format 14 is not offered by this model.
    s.Send(UsbFrame(1, Bytes{'p', 'c', 1, 0, 0}));
    const auto pc = UsbReply(s, 1);
    ASSERT_TRUE(pc && pc->size() > 5);
    EXPECT_EQ(Bytes(pc->begin() + 5, pc->begin() + 9), (Bytes{0, 0, 1, 1}));
    s.Send(UsbFrame(1, Bytes{'p', 'm', 1, 0, 1}));
    EXPECT_EQ(UsbReply(s, 1), B("pm:NA;"));

    // Format 17 in both PI forms: second form over D4, first form over TVD4.
    const Bytes expected = *vprinter::FromHexText(ReadText(SamplePath("inkjet-usb-f17/pm17.hex")));
    for (uint8_t selector : {uint8_t{1}, uint8_t{2}}) {
        SCOPED_TRACE(int(selector));
        auto exchange = [&](const Bytes& r) {
            s.Send(UsbFrame(selector, r));
            return UsbReply(s, selector).value_or(Bytes());
        };
        size_t chunk = 0, pages = 0;
        const auto joined = FetchPages(exchange, selector == 2, 0x82, chunk, pages);
        ASSERT_TRUE(joined);
        EXPECT_EQ(*joined, expected);
        EXPECT_LE(chunk, 128u);
    }
}

TEST(VprinterUsb, BadFramesCloseTheConnection) {
    TempFolder usb;
    Vprinter vp({"-p", "USB002=" + SamplePath("inkjet-usb-f14")}, usb.Path());
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
    Vprinter vp({"--stats", "-p", "127.0.77.60=" + SamplePath("colour-page"), "-p", "USB004=" + SamplePath("inkjet-usb-f14")},
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

TEST(VprinterStats, NoCountsWithoutTheOption) {
    Vprinter vp({"-p", "127.0.77.61=" + SamplePath("colour-page")});
    ASSERT_TRUE(vp.Ready()) << vp.Stderr();
    EXPECT_EQ(vp.Stop(), 0);
    EXPECT_EQ(vp.Stderr().find("stats"), std::string::npos);
}

}  // namespace
}  // namespace vp_test
