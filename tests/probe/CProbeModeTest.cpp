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

class CProbeModeTest : public testing::Test {
protected:
    vanto_test::TempPrefix m_prefix;  // the thread's code page comes from the prefix
    CProbeMode m_mode;
};

TEST_F(CProbeModeTest, ANameSearchDropsEarlierSubnetsAndSearchesAsSubnetsWithTheFilterOn) {
    ASSERT_EQ(m_mode.SetSubnetAddress(u"127.0.132.0", u"255.255.255.0"), 1);
    ASSERT_EQ(m_mode.SetContextName(u"prn"), 1);
    ASSERT_EQ(m_mode.SetProbeMode(1, 0, 0, 0, 0, 0, 0), 1);
    // The subnet search with the filter on: ProbeNameSearch in tests/interface.
    EXPECT_EQ(FirstSubnet(m_mode.ProbeContext()), nullptr);

    m_mode.Clear();  // the end of a search keeps the filter's name, not the filter
    EXPECT_FALSE(m_mode.NameFilter());
    EXPECT_EQ(m_mode.FilterName(), "prn");
    ASSERT_EQ(m_mode.SetContextName(std::u16string(80, u'n').c_str()), 1);
    EXPECT_EQ(m_mode.FilterName(), std::string(63, 'n'));
}

TEST_F(CProbeModeTest, UnknownTypesMissingTextsAndOverlongAddressesAreRefused) {
    EXPECT_EQ(m_mode.SetProbeMode(5, 1, 2, 3, 4, 5, 6), 0);
    EXPECT_EQ(m_mode.ProbeContext().dwProbeType, 5u);
    EXPECT_EQ(m_mode.ProbeContext().dwParam[0], 0u);

    const std::u16string overlong(70, u'1');
    EXPECT_EQ(m_mode.SetContextIPADR(overlong.c_str()), 0);
    EXPECT_EQ(m_mode.SetContextIPRANGE(u"127.0.132.1", overlong.c_str()), 0);
    EXPECT_EQ(m_mode.SetSubnetAddress(overlong.c_str(), u"255.255.255.0"), 0);
    EXPECT_EQ(m_mode.SetSubnetAddress(u"127.0.132.0", nullptr), 0);
    EXPECT_EQ(m_mode.SetContextName(nullptr), 0);
    EXPECT_EQ(m_mode.SetContextIPADR(nullptr), 0);

    // A refused text leaves the earlier one in place.
    ASSERT_EQ(m_mode.SetContextIPADR(u"127.0.132.7"), 1);
    EXPECT_EQ(m_mode.SetContextIPADR(overlong.c_str()), 0);
    ASSERT_EQ(m_mode.SetProbeMode(4, 0, 0, 0, 0, 0, 0), 1);
    EXPECT_EQ(Text(m_mode.ProbeContext().typeContext), "127.0.132.7");
    // No subnets were added by the refused calls.
    ASSERT_EQ(m_mode.SetProbeMode(2, 0, 0, 0, 0, 0, 0), 1);
    EXPECT_EQ(FirstSubnet(m_mode.ProbeContext()), nullptr);
}

}  // namespace
