// CProbeMode: the probe context each search type hands to the transport module.
#include "probe/CProbeMode.h"
#include "support/TempPrefix.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

namespace {

const ZKProbeSubnet* FirstSubnet(const ZKProbeContext& context) {
    const ZKProbeSubnet* first = nullptr;
    std::memcpy(&first, context.typeContext, sizeof first);
    return first;
}

std::string Text(const unsigned char* bytes) { return reinterpret_cast<const char*>(bytes); }

// A NAME search drops the earlier subnets and searches as subnets with the filter on; unknown
// types, missing texts and overlong addresses are refused.
TEST(CProbeModeTest, ANameSearchDropsEarlierSubnetsAndUnknownTypesOrBadTextsAreRefused) {
    vanto_test::TempPrefix prefix;  // the thread's code page comes from the prefix
    CProbeMode mode;
    ASSERT_EQ(mode.SetSubnetAddress(u"127.0.132.0", u"255.255.255.0"), 1);
    ASSERT_EQ(mode.SetContextName(u"prn"), 1);
    ASSERT_EQ(mode.SetProbeMode(1, 0, 0, 0, 0, 0, 0), 1);
    // The subnet search with the filter on: ProbeNameSearch in tests/interface.
    EXPECT_EQ(FirstSubnet(mode.ProbeContext()), nullptr);

    mode.Clear();  // the end of a search keeps the filter's name, not the filter
    EXPECT_FALSE(mode.NameFilter());
    EXPECT_EQ(mode.FilterName(), "prn");
    ASSERT_EQ(mode.SetContextName(std::u16string(80, u'n').c_str()), 1);
    EXPECT_EQ(mode.FilterName(), std::string(63, 'n'));

    // An unknown type is refused and its context keeps no parameters.
    EXPECT_EQ(mode.SetProbeMode(5, 1, 2, 3, 4, 5, 6), 0);
    EXPECT_EQ(mode.ProbeContext().dwProbeType, 5u);
    EXPECT_EQ(mode.ProbeContext().dwParam[0], 0u);

    // Every text goes through one conversion with its bound: one refusal per operation.
    const std::u16string overlong(70, u'1');
    EXPECT_EQ(mode.SetContextIPRANGE(u"127.0.132.1", overlong.c_str()), 0);
    EXPECT_EQ(mode.SetSubnetAddress(u"127.0.132.0", nullptr), 0);
    EXPECT_EQ(mode.SetContextName(nullptr), 0);

    // A refused text leaves the earlier one in place.
    ASSERT_EQ(mode.SetContextIPADR(u"127.0.132.7"), 1);
    EXPECT_EQ(mode.SetContextIPADR(overlong.c_str()), 0);
    ASSERT_EQ(mode.SetProbeMode(4, 0, 0, 0, 0, 0, 0), 1);
    EXPECT_EQ(Text(mode.ProbeContext().typeContext), "127.0.132.7");
    // No subnets were added by the refused calls (the NAME search left none).
    ASSERT_EQ(mode.SetProbeMode(2, 0, 0, 0, 0, 0, 0), 1);
    EXPECT_EQ(FirstSubnet(mode.ProbeContext()), nullptr);
}

}  // namespace
