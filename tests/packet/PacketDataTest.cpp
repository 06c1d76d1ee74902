// Packet values and object identifiers: encodings, decoding bounds, the walk's arc operations.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "packet/COID.h"
#include "packet/CPacketData.h"

namespace {

using Bytes = std::vector<BYTE>;

Bytes RawOf(const CPacketData& value) {
    return value.GetRaw() ? Bytes(value.GetRaw(), value.GetRaw() + value.GetSize()) : Bytes();
}

Bytes EncodedOf(const COID& oid) {
    return oid.GetEncoded() ? Bytes(oid.GetEncoded(), oid.GetEncoded() + oid.GetEncodedLength()) : Bytes();
}

int32_t IntOf(const Bytes& contents) {
    CPacketDataint value;
    const BYTE none = 0;
    int n = static_cast<int>(contents.size());
    EXPECT_EQ(value.SetFromBytes(contents.empty() ? &none : contents.data(), n), 1);
    return value.GetValue();
}

}  // namespace

TEST(PacketValues, IntegerReadsSignExtendedByteAndUnsignedLongerContentsAndStringStopsAtZero) {
    EXPECT_EQ(IntOf({0xFF}), -1);
    EXPECT_EQ(IntOf({0xFF, 0xFF}), 65535);
    EXPECT_EQ(IntOf({0x01, 0x02, 0x03, 0x04, 0x05}), 33752069);
    EXPECT_EQ(IntOf({}), 0);

    CPacketDataString text;
    const BYTE bytes[] = {0x41, 0x42, 0x00, 0x43};
    ASSERT_EQ(text.Set(PACKETDATA_TYPE_STRING, bytes, 4), 1);
    EXPECT_EQ(text.ToString(), "AB") << "a string stops at its first zero byte";
    EXPECT_EQ(text.GetSize(), 4);
}

TEST(PacketValues, LengthFieldEncodesDefiniteFormAndDecodingIsBoundedByAvailableBytes) {
    struct Case {
        Bytes bytes;
        int used;  // bytes read, 0 when refused
        uint32_t value;
        bool encoding = false;  // the bytes are what SetValue writes for the value
    };
    // A count that announces more bytes than are there is refused, not read past.
    const Case cases[] = {{{0x7F}, 1, 127, true},
                          {{0x81, 0x80}, 2, 128, true},
                          {{0x84, 0xFF, 0xFF, 0xFF, 0xFF}, 5, 0xFFFFFFFF, true},
                          {{0x80, 0x00}, 1, 128},
                          {{0x84, 0x01, 0x02}, 0, 0},
                          {{0xFF}, 0, 0},
                          {{}, 0, 0}};
    for (const Case& c : cases) {
        SCOPED_TRACE(::testing::PrintToString(c.bytes));
        CPacketDataMSBLUINT field;
        const BYTE none = 0;
        int n = static_cast<int>(c.bytes.size());
        ASSERT_EQ(field.SetFromBytes(c.bytes.empty() ? &none : c.bytes.data(), n), c.used ? 1 : 0);
        if (!c.used) continue;
        EXPECT_EQ(n, c.used);
        EXPECT_EQ(field.GetValue(), c.value);
        if (!c.encoding) continue;
        CPacketDataMSBLUINT encoded;
        ASSERT_EQ(encoded.SetValue(c.value), 1);
        EXPECT_EQ(RawOf(encoded), c.bytes);
    }
}

TEST(ObjectIdentifiers, TextParsingSkipsEmptyTokensAndWrapsModulo32Bits) {
    CSNMPOID oid;
    ASSERT_EQ(oid.SetText(""), 1);
    EXPECT_EQ(oid.GetArcCount(), 0u);
    EXPECT_EQ(EncodedOf(oid), (Bytes{0x2B, 0x06, 0x01}));
    CMDROID mdr;
    ASSERT_EQ(mdr.SetText(""), 1);
    EXPECT_EQ(mdr.GetEncodedLength(), 0);

    ASSERT_EQ(oid.SetText("2..1."), 1);
    EXPECT_EQ(oid.GetArcs(), (std::vector<uint32_t>{2, 1}));
    EXPECT_EQ(oid.GetText(), "2..1.");
    ASSERT_EQ(oid.SetText("x.4294967296.-1. +7x"), 1);
    EXPECT_EQ(oid.GetArcs(), (std::vector<uint32_t>{0, 0, 4294967295u, 7}));
    EXPECT_EQ(EncodedOf(oid), (Bytes{0x2B, 0x06, 0x01, 0x00, 0x00, 0x8F, 0xFF, 0xFF, 0xFF, 0x7F, 0x07}));
}

// The reply parser decodes identifiers with DecodeSnmpArcs; it must read exactly what SetEncoded
// reads. The three prefix bytes are skipped whatever they hold; arcs of 2^31 and above print
// unsigned, so decoded text matches the text they came from.
TEST(ObjectIdentifiers, SnmpDecodingSkipsPrefixRefusesMissingOrOpenArcsAndAgreesWithReplyDecoding) {
    const std::vector<std::pair<Bytes, const char*>> cases = {
        {{0xFF, 0x00, 0x99, 0x02, 0x01}, "2.1"},
        {{0x2B, 0x06, 0x01, 0x81, 0x81, 0x81, 0x81, 0x81, 0x05}, "270549121.5"},  // five bytes end an arc
        {{0x2B, 0x06, 0x01, 0x8F, 0xFF, 0xFF, 0xFF, 0x7F, 0x00}, "4294967295.0"},
        {{0x2B, 0x06, 0x01, 0x02, 0x81}, nullptr},  // open at the end
        {{0x2B, 0x06, 0x01}, nullptr},  // prefix only
    };
    for (const auto& [bytes, text] : cases) {
        SCOPED_TRACE(::testing::PrintToString(bytes));
        CSNMPOID oid;
        const int length = static_cast<int>(bytes.size());
        ASSERT_EQ(oid.SetEncoded(bytes.data(), length), text ? 1 : 0);
        EXPECT_EQ(oid.GetText(), text ? text : "");
        std::vector<uint32_t> arcs(bytes.size());
        const int count = COID::DecodeSnmpArcs(bytes.data(), length, arcs.data(), arcs.size());
        ASSERT_EQ(count > 0, text != nullptr);
        if (count <= 0) continue;
        arcs.resize(static_cast<size_t>(count));
        EXPECT_EQ(arcs, oid.GetArcs());
        // One slot too few fails instead of writing past the caller's array.
        EXPECT_EQ(COID::DecodeSnmpArcs(bytes.data(), length, arcs.data(), arcs.size() - 1), -1);
        EXPECT_EQ(EncodedOf(oid), Bytes(bytes.begin() + 3, bytes.end()));
    }
    CSNMPOID oid;
    EXPECT_EQ(oid.SetEncoded(nullptr, 4), 0);
}

TEST(ObjectIdentifiers, MdrDecodingReadsCountPrefixedArcsAndEmptiesCutIdentifier) {
    CMDROID oid;
    const BYTE bytes[] = {0x04, 0x01, 0x82, 0x01, 0x2C};
    ASSERT_EQ(oid.SetEncoded(bytes, 5), 1);
    EXPECT_EQ(oid.GetText(), "4.1.300");
    const BYTE cut[] = {0x04, 0x01, 0x83, 0x01};
    EXPECT_EQ(oid.SetEncoded(cut, 4), 1);
    EXPECT_EQ(oid.GetText(), "");
    EXPECT_EQ(oid.GetArcCount(), 0u);
    EXPECT_EQ(oid.SetEncoded(bytes, 0), 1);
    EXPECT_EQ(oid.GetText(), "");
}

// The parent text is every walk's first GetNext (SNMPWalk tests; "43" has none: the refused
// column lists).
TEST(ObjectIdentifiers, IsOtherColumnComparesAlignedEndsExceptFirstAndLast) {
    CSNMPOID base, reply;
    ASSERT_EQ(base.SetText("2.1.43.8.2.1.2.1.1"), 1);
    for (const char* same : {"2.1.43.8.2.1.2.1.2", "2.1.43.8.2.1.2.1.7", "9.1.43.8.2.1.2.1.7", "1.2.1.9", "3.5"}) {
        ASSERT_EQ(reply.SetText(same), 1);
        EXPECT_EQ(reply.IsOtherColumn(base), 0) << same;
    }
    EXPECT_EQ(base.IsOtherColumn(reply), 0);
    for (const char* other : {"2.1.43.8.2.1.3.1.1", "2.1.43.8.2.1.2.2.1", "2.1.43.9.2.1.2.1.1", "2.1.44.1"}) {
        ASSERT_EQ(reply.SetText(other), 1);
        EXPECT_EQ(reply.IsOtherColumn(base), 1) << other;
    }
}
