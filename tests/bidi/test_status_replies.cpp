// The paged PI transfer and the status reply, on bytes: a scripted
// printer answers each PI page, status replies are written out field by field.
#include "bidi/PITransfer.h"
#include "bidi/StatusReply.h"

#include <gtest/gtest.h>

#include <functional>
#include <map>
#include <string>
#include <tuple>
#include <vector>

namespace {

using Bytes = std::vector<BYTE>;

Bytes Text(const std::string& s) { return Bytes(s.begin(), s.end()); }
void Put(Bytes& b, const std::string& s) { b.insert(b.end(), s.begin(), s.end()); }
void PutWord(Bytes& b, unsigned w) {
    b.push_back(w & 0xFF);
    b.push_back((w >> 8) & 0xFF);
}

// A printer answering PI requests the way the wire format says, with knobs to make it wrong.
struct ScriptedPIPrinter {
    int form = kPIFormFirst;
    unsigned pages = 3;                  // N announced by page 0
    unsigned chunk = 100;                // C announced by page 0
    std::map<unsigned, size_t> lengths;  // data bytes per page (page -> length)
    std::map<unsigned, int> echoOffset;  // page -> added to the echoed page number
    std::vector<Bytes> requests;         // every request seen
    bool notAvailable = false;           // page 0 answers ":NA;" after the code

    int operator()(std::span<const BYTE> request, Bytes* reply) {
        requests.emplace_back(request.begin(), request.end());
        const bool first = form == kPIFormFirst;
        const size_t pageAt = first ? 6 : 5;
        const unsigned page = request[pageAt] | (request[pageAt + 1] << 8);
        Bytes& r = *reply;
        r.clear();
        if (first) {
            Put(r, "@BDC PI\r\n");
            PutWord(r, 0);  // count of what follows: any value
            Put(r, "PI:");
            r.push_back(request[5]);
        } else {
            Put(r, "pm");
        }
        if (notAvailable) {
            Put(r, ":NA;");
            return static_cast<int>(r.size());
        }
        Put(r, ":");
        PutWord(r, page + echoOffset[page]);
        PutWord(r, request[pageAt + 2] | (request[pageAt + 3] << 8));  // the chunk asked for
        Put(r, ":");
        PutWord(r, page == 0 ? pages : page);
        PutWord(r, page == 0 ? chunk : pages);
        Put(r, ";");
        if (page != 0) {
            Put(r, first ? "SZ:" : "sz:");
            PutWord(r, static_cast<unsigned>(lengths[page]));
            Put(r, first ? ";DT:" : ";dt:");
            for (size_t i = 0; i < lengths[page]; ++i) r.push_back(static_cast<BYTE>(page * 16 + i));
            Put(r, ";");
        }
        return static_cast<int>(r.size());
    }
};

int Transfer(ScriptedPIPrinter& printer, DWORD code, Bytes* data) {
    return RunPITransfer(
        printer.form, code, [&printer](std::span<const BYTE> req, Bytes* rep) { return printer(req, rep); }, data);
}

// A status reply "@BDC ST2\r\n" L(16-bit) fields, with the empty field hosts rely on.
Bytes StatusReply(const Bytes& fields) {
    Bytes r = Text("@BDC ST2\r\n");
    Bytes body = fields;
    body.push_back(0);
    body.push_back(0);
    PutWord(r, static_cast<unsigned>(body.size()));
    r.insert(r.end(), body.begin(), body.end());
    return r;
}

}  // namespace

TEST(StatusPITransfer, FullLastPageWrongEchoAndBadPagingFail) {
    // What goes wrong, how the printer is made to do it, the code asked, the result and the
    // requests sent (0: not counted).
    using Script = std::function<void(ScriptedPIPrinter&)>;
    const std::tuple<const char*, Script, DWORD, int, size_t> cases[] = {
        {"the announced last page is full: data may have been cut off",
         [](ScriptedPIPrinter& p) { p.lengths = {{1, 63}, {2, 63}, {3, 63}}; }, 17, kPIFailed, 4},
        {"page 2 echoes another page number",
         [](ScriptedPIPrinter& p) {
             p.lengths = {{1, 63}, {2, 63}, {3, 10}};
             p.echoOffset[2] = 1;
         },
         17, kPIFailed, 0},
        {"a page longer than the chunk allows", [](ScriptedPIPrinter& p) { p.lengths = {{1, 64}}; }, 14, kPIFailed, 0},
        {"chunk not larger than the per-page overhead",
         [](ScriptedPIPrinter& p) {
             p.chunk = 37;
             p.lengths = {{1, 1}};
         },
         14, kPIFailed, 1},
        {"pages adding up to far more than any reply",
         [](ScriptedPIPrinter& p) { p.pages = p.chunk = 0xFFFF; }, 14, kPIFailed, 1},
        {"no such data", [](ScriptedPIPrinter& p) { p.notAvailable = true; }, 17, kPINotAvailable, 1},
        // Codes the forms do not carry are refused before anything is sent.
        {"code 10, first form", [](ScriptedPIPrinter&) {}, 10, kPIRefusedCode, 0},
        {"code 14, second form", [](ScriptedPIPrinter& p) { p.form = kPIFormSecond; }, 14, kPIRefusedCode, 0},
    };
    for (const auto& [what, script, code, result, requests] : cases) {
        SCOPED_TRACE(what);
        ScriptedPIPrinter printer;
        script(printer);
        Bytes data;
        EXPECT_EQ(Transfer(printer, code, &data), result);
        if (requests != 0 || result == kPIRefusedCode) {
            EXPECT_EQ(printer.requests.size(), requests);
        }
        if (requests == 4) {
            EXPECT_TRUE(data.empty()) << "a transfer that reached its last page hands out nothing";
        }
    }
}

TEST(StatusPITransfer, SendFailureIsPassedOnAndTruncatedPagesDoNotMatch) {
    Bytes data;
    int calls = 0;
    const auto failing = [&calls](std::span<const BYTE>, Bytes*) {
        ++calls;
        return -5;
    };
    EXPECT_EQ(RunPITransfer(kPIFormFirst, 17, failing, &data), -5);
    EXPECT_EQ(calls, 1);

    // Every cut of a good data page fails to match, never reads past the reply.
    ScriptedPIPrinter printer;
    printer.lengths = {{1, 20}};
    Bytes full;
    printer(BuildPIRequest(kPIFormFirst, 0x82, 1, 100), &full);
    PIPage page;
    ASSERT_TRUE(MatchPIPage(kPIFormFirst, full, 0x82, 1, 100, true, &page));
    EXPECT_EQ(page.data.size(), 20u);
    EXPECT_EQ(page.wValue2, 3);
    for (size_t cut = 0; cut < full.size(); ++cut) {
        const Bytes part(full.begin(), full.begin() + cut);
        EXPECT_FALSE(MatchPIPage(kPIFormFirst, part, 0x82, 1, 100, true, &page)) << "cut at " << cut;
    }
    // The wrong code byte does not match either.
    EXPECT_FALSE(MatchPIPage(kPIFormFirst, full, 0x80, 1, 100, true, &page));
}

TEST(StatusFields, FieldsInsideTheST2SpanAreFoundOthersAreAbsent) {
    const Bytes reply = StatusReply({0x0A, 3, 1, 2, 3, 0x0F, 7, 3, 0, 0, 1, 0, 1, 9});
    std::span<const BYTE> field;
    ASSERT_EQ(FindStatusField(reply, 0x0F, &field), StatusFieldResult::Found);
    EXPECT_EQ(field.size(), 7u);
    EXPECT_EQ(field[0], 3);
    ASSERT_EQ(FindStatusField(reply, 0x0A, &field), StatusFieldResult::Found);
    EXPECT_EQ(Bytes(field.begin(), field.end()), (Bytes{1, 2, 3}));
    EXPECT_EQ(FindStatusField(reply, 0x0C, &field), StatusFieldResult::Absent);
    EXPECT_EQ(FindStatusField(Text("@BDC PM\r\n"), 0x0F, &field), StatusFieldResult::NoST2);

    // A length byte L that stops before the ink field leaves the field out of the span.
    Bytes shortSpan = reply;
    shortSpan[5 + 5] = 2 + 5;  // span ends right after field 10 (fields start 2 bytes after L)
    EXPECT_EQ(FindStatusField(shortSpan, 0x0F, &field), StatusFieldResult::Absent);
    EXPECT_EQ(FindStatusField(shortSpan, 0x0A, &field), StatusFieldResult::Found);
    // A reply cut inside a field's data does not give that field.
    const Bytes cut(reply.begin(), reply.begin() + 20);
    EXPECT_EQ(FindStatusField(cut, 0x0F, &field), StatusFieldResult::Absent);
    // A reply ending right after "ST2".
    EXPECT_EQ(FindStatusField(Text("ST2"), 0x0F, &field), StatusFieldResult::Absent);
}

TEST(StatusFields, InkFieldColourOnlyForNonBlackWholeRecords) {
    EXPECT_FALSE(InkFieldHasColour(Bytes{3, 0, 0, 0, 0, 0}));
    EXPECT_TRUE(InkFieldHasColour(Bytes{3, 0, 0, 1, 0, 1}));
    EXPECT_FALSE(InkFieldHasColour(Bytes{3, 0, 0, 1, 0}));   // colour of a cut-off record
    EXPECT_FALSE(InkFieldHasColour(Bytes{2, 5, 5, 5}));      // records too short for a colour
    Bytes many(3 * 21, 0);                                   // only the first 20 records count
    many[0] = 3;
    many[20 * 3 + 2] = 1;
    EXPECT_FALSE(InkFieldHasColour(many));
}
