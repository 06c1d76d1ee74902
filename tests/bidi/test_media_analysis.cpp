// The media-information analyses on bytes: formats 14/16 and format 17, their bound checks,
// the resolution flag and the P words.
#include "bidi/SupportMediaAnalysis.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

using Bytes = std::vector<BYTE>;

// Format-17 pieces.
struct F17 {
    Bytes s = {'S', 1, 2, 0x0F, 0x00};
    std::vector<Bytes> types;                            // data of each T entry
    std::vector<std::pair<BYTE, std::vector<Bytes>>> groups;  // size ID and entry data
    Bytes p = {0, 0, 0, 0, 1, 0, 14, 0, 64, 0, 0, 0, 0, 2, 0, 0, 0, 3, 0, 0, 0, 0, 11};

    Bytes Build() const {
        Bytes r = s;
        r.push_back('T');
        r.push_back(static_cast<BYTE>(types.size()));
        for (const auto& t : types) {
            r.push_back(static_cast<BYTE>(t.size()));
            r.insert(r.end(), t.begin(), t.end());
        }
        r.push_back('L');
        r.push_back(static_cast<BYTE>(groups.size()));
        for (const auto& [size, entries] : groups) {
            r.push_back(size);
            r.push_back(static_cast<BYTE>(entries.size()));
            for (const auto& e : entries) {
                r.push_back(static_cast<BYTE>(e.size()));
                r.insert(r.end(), e.begin(), e.end());
            }
        }
        r.insert(r.end(), {'P', 0, 0, static_cast<BYTE>(p.size())});
        r.insert(r.end(), p.begin(), p.end());
        return r;
    }
};

}  // namespace

TEST(MediaFormat1416, ResolutionFlagOnlyFor360Or720) {
    const Bytes input(16, 0);
    Format1416Result result;
    for (auto [hi, lo, flag] : {std::tuple{0x01, 0x68, 16u}, {0x02, 0xD0, 16u}, {0x01, 0x2C, 0u}, {0x05, 0xA0, 0u}}) {
        const Bytes media = {'S', 1, 'T', 0, 1, 0, '/', 'R', static_cast<BYTE>(hi), static_cast<BYTE>(lo)};
        ASSERT_TRUE(AnalyzeFormat1416(media, input, &result));
        EXPECT_EQ(result.dwResolutionFlag, flag) << hi << " " << lo;
    }
    // No resolution, or one cut short, leaves the flag 0.
    ASSERT_TRUE(AnalyzeFormat1416(Bytes{'S', 1, 'T', 0, 1, 0, '/', 'R', 0x01}, input, &result));
    EXPECT_EQ(result.dwResolutionFlag, 0u);
}

TEST(MediaFormat1416, EntriesRunningPastEitherReplyFailKeepingEarlierOnes) {
    const Bytes media = {'S', 0x0F, 'T', 0x00, 0x01, 0x00, 'T', 0x01, 0x02};
    Format1416Result result;
    EXPECT_FALSE(AnalyzeFormat1416(media, Bytes(16, 0x80), &result));
    EXPECT_EQ(result.capabilities, (std::vector<MediaCapability>{{15, 0, 0x1000, 1, 0}}));
    // An input-path reply shorter than the media reply.
    const Bytes whole = {'S', 0x0F, 'T', 0x00, 0x01, 0x00, 'T', 0x01, 0x02, 0x00, '/'};
    EXPECT_FALSE(AnalyzeFormat1416(whole, Bytes(7, 0), &result));
    EXPECT_EQ(result.capabilities.size(), 1u);
    // A size block cut after its letter.
    EXPECT_FALSE(AnalyzeFormat1416(Bytes{'x', 'S'}, Bytes(2, 0), &result));
    // The "not available" form names no size at all: a printer that supports no paper is no answer.
    const Bytes notAvailable = {'p', 'm', ':', 'N', 'A', ';'};
    EXPECT_FALSE(AnalyzeFormat1416(notAvailable, notAvailable, &result));
    EXPECT_TRUE(result.capabilities.empty());
    // Every cut of a good reply ends cleanly, true or false, never beyond the bytes.
    for (size_t cut = 0; cut <= whole.size(); ++cut)
        AnalyzeFormat1416(std::span<const BYTE>(whole.data(), cut), std::span<const BYTE>(whole.data(), cut), &result);
}

TEST(MediaFormat17, LRecordsTakeQualityFromTheirTypeRecordOrTheLastOne) {
    F17 f;
    f.types = {{0x00, 0x03, 0x01, 0x68, 0, 0}, {0x01, 0x02, 0x02, 0xD0, 0, 0}, {0x0B, 0x04, 0x02, 0xD0, 0, 0}};
    f.groups = {{0x0F, {{0x00, 0x02, 0x00, 0x01}, {0x01, 0x00, 0x00, 0x20}, {0x07, 0x00, 0x00, 0x80}}},
                {0x09, {{0x0B, 0x02, 0x00, 0x40}}}};
    Format17Result result;
    ASSERT_TRUE(AnalyzeFormat17(f.Build(), &result));
    EXPECT_EQ(result.capabilities, (std::vector<MediaCapability>{{15, 0, 0x1, 3, 1}, {15, 1, 0x100, 2, 0},
                                                                  {15, 7, 0x1000, 4, 0},  // type 7: last T record
                                                                  {9, 11, 0x200, 4, 1}}));
    EXPECT_TRUE(result.bResolution360);

    // Only the first T record's value A decides the resolution; 0 counts as a multiple of 360.
    f.types[0][2] = 0x01;
    f.types[0][3] = 0x2C;  // 300
    ASSERT_TRUE(AnalyzeFormat17(f.Build(), &result));
    EXPECT_FALSE(result.bResolution360);
    f.types[0][2] = f.types[0][3] = 0;
    ASSERT_TRUE(AnalyzeFormat17(f.Build(), &result));
    EXPECT_TRUE(result.bResolution360);
}

TEST(MediaFormat17, ShortRecordsLeaveUnsentBytesAt0xFF) {
    F17 f;
    f.types = {{0x00, 0x03}};  // no values: A stays 0xFFFF, not a multiple of 360
    f.groups = {{0x0F, {{0x00, 0x02}}}};  // no source bits sent
    f.p = {0, 0, 0, 0, 0, 0x12, 0x34};     // word 5 only, 7 and 21 missing
    Format17Result result;
    ASSERT_TRUE(AnalyzeFormat17(f.Build(), &result));
    EXPECT_FALSE(result.bResolution360);
    EXPECT_EQ(result.wPWord5, 0x1234);
    EXPECT_EQ(result.wPWord7, kMediaWordUnset);
    EXPECT_EQ(result.wPWord21, kMediaWordUnset);
    ASSERT_EQ(result.capabilities.size(), 1u);
    EXPECT_EQ(result.capabilities[0].dwPaperSource, TranslateMediaPaperSource(0xFFFF));
    EXPECT_EQ(result.capabilities[0].dwLayout, 1u);
}

TEST(MediaFormat17, SectionsAreFoundByTheirFirstEntriesLength) {
    // S entries of 2 data bytes; the reader steps by the first entry's length.
    F17 f;
    f.s = {'S', 3, 2, 0x0F, 0x00, 2, 0x09, 0x00, 2, 0x3E, 0x00};
    f.types = {{0x00, 0x01, 0x01, 0x68, 0, 0}};
    f.groups = {{0x0F, {{0x00, 0x00, 0x00, 0x01}}}, {0x3E, {}}, {0x09, {{0x00, 0x00, 0x00, 0x20}}}};
    Format17Result result;
    ASSERT_TRUE(AnalyzeFormat17(f.Build(), &result));
    EXPECT_EQ(result.capabilities, (std::vector<MediaCapability>{{15, 0, 1, 1, 0}, {9, 0, 0x100, 1, 0}}));
    // Longer T data than the six bytes used is stepped over.
    f.types = {{0x00, 0x01, 0x01, 0x68, 0, 0, 0xAA, 0xBB}};
    ASSERT_TRUE(AnalyzeFormat17(f.Build(), &result));
    EXPECT_EQ(result.types.size(), 1u);
    EXPECT_EQ(result.capabilities.size(), 2u);
}

TEST(MediaFormat17, MissingSectionsCutsAndLRecordsWithoutTypesFail) {
    F17 f;
    f.types = {{0x00, 0x03, 0x01, 0x68, 0, 0}};
    f.groups = {{0x0F, {{0x00, 0x02, 0x00, 0x01}}}};
    const Bytes good = f.Build();
    Format17Result result;
    ASSERT_TRUE(AnalyzeFormat17(good, &result));
    // Every cut of the reply fails.
    for (size_t cut = 0; cut < good.size(); ++cut)
        EXPECT_FALSE(AnalyzeFormat17(std::span<const BYTE>(good.data(), cut), &result)) << "cut at " << cut;
    // A section out of place.
    Bytes swapped = good;
    swapped[0] = 'T';
    EXPECT_FALSE(AnalyzeFormat17(swapped, &result));
    // L entries but no T record to take a quality from.
    f.types.clear();
    EXPECT_FALSE(AnalyzeFormat17(f.Build(), &result));
    // No T records and no L entries is a printer without media combinations.
    f.groups.clear();
    ASSERT_TRUE(AnalyzeFormat17(f.Build(), &result));
    EXPECT_TRUE(result.capabilities.empty());
    EXPECT_FALSE(result.bResolution360);
}
