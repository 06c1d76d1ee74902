// CDeviceInfo: the copy and conversion of raw hits and the same-device rule. The workers are
// tested through the exports (tests/interface/test_probe_exports.cpp) and CProbe.
#include "probe/CDeviceInfo.h"
#include "probe/ProbeProfiles.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

namespace {

using probe_test::Field;

// A raw hit as the transport module hands it out, one address entry per given address.
struct Hit {
    SProbeResult result{};
    std::vector<SProbeAddress> entries;
    std::string name, deviceID;

    Hit(const char* address, const char* deviceName, const std::string& id, std::vector<std::string> list = {})
        : name(deviceName ? deviceName : ""), deviceID(id) {
        std::strncpy(result.szAddress, address, sizeof result.szAddress - 1);
        if (list.empty()) list = {address};
        entries.resize(list.size());
        for (size_t i = 0; i < list.size(); ++i) {
            std::strncpy(entries[i].szAddress, list[i].c_str(), sizeof entries[i].szAddress - 1);
            entries[i].dwValue = static_cast<uint32_t>(161 + i);
            entries[i].pNext = i + 1 < list.size() ? &entries[i + 1] : nullptr;
        }
        result.pAddressList = entries.data();
        result.pDeviceName = deviceName ? name.data() : nullptr;
        result.pDeviceID = deviceID.data();
    }
};

TEST(CDeviceInfo, SupportedDevicesGetTheirBitsNameAndAddresses) {
    struct Case {
        const char* deviceID;
        uint32_t pdl, domestic, duplex;
    };
    // XYZ-only, PJL-and-PCL and plain raster devices: ProbeExports' subnet search.
    const Case cases[] = {
        {"MDL:X2;CMD:PJL;", 0, 0, 0}, {"MDL:X4;CMD:QLMPR1;FID:DPA;", 0x10, 8, 1},
        {"MDL:X6;CMD:QLMPAGEJ-04,QLMPAGECOLOR-01,QLMPAGES-04;", 0x7, 0, 0}, {"MDL:Model-A;", 0x300, 0, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.deviceID);
        Hit hit("127.0.140.5", "Front Desk", c.deviceID, {"127.0.140.5", "127.0.140.55"});
        CDeviceInfo device(nullptr, nullptr);
        ASSERT_EQ(device.SetSProbeResult(&hit.result), 1);
        const SBIProbeResult* r = device.GetSBIProbeResult();
        EXPECT_EQ(+r->dwSupportPDL, c.pdl);
        EXPECT_EQ(+r->dwDomestic, c.domestic);
        EXPECT_EQ(+r->dwDuplex, c.duplex);
        EXPECT_EQ(+r->dwInfoObtained, 0u);
        EXPECT_EQ(std::u16string(r->pDeviceName), u"Front Desk");
        EXPECT_EQ(Field(r->szAddress), u"127.0.140.5");
        const SBIProbeAddress* second = r->pAddressList->pNext;
        ASSERT_NE(second, nullptr);
        EXPECT_EQ(Field(second->szAddress), u"127.0.140.55");
        EXPECT_EQ(+second->dwValue, 162u);
        EXPECT_TRUE(second->pNext == nullptr);
    }
}

// Hits whose device ID names no model, or that break their bounds, get no record.
TEST(CDeviceInfo, HitsWithoutAModelOrThatBreakTheirBoundsAreRefused) {
    CDeviceInfo device(nullptr, nullptr);
    EXPECT_EQ(device.SetSProbeResult(nullptr), 0);
    Hit noModel("127.0.140.8", "d", "CMD:PJL;");
    Hit noID("127.0.140.8", "d", "MDL:X;CMD:PCL;");
    noID.result.pDeviceID = nullptr;
    Hit unterminated("127.0.140.8", "d", "MDL:X;CMD:PCL;");
    std::memset(unterminated.result.szAddress, '1', sizeof unterminated.result.szAddress);
    Hit looping("127.0.140.8", "d", "MDL:X;CMD:PCL;");
    looping.entries[0].pNext = &looping.entries[0];
    Hit huge("127.0.140.8", "d", "MDL:X;CMD:PCL;" + std::string(CDeviceInfo::kMaxTextBytes, 'x'));
    for (Hit* hit : {&noModel, &noID, &unterminated, &looping, &huge}) {
        EXPECT_EQ(device.SetSProbeResult(&hit->result), 0);
        EXPECT_EQ(device.GetSBIProbeResult(), nullptr);
    }
}

TEST(CDeviceInfo, SameDeviceNeedsEqualNamesAddressesAndOneEqualAddressEntry) {
    Hit first("127.0.140.9", "P", "MDL:X;CMD:PCL;", {"127.0.140.9", "127.0.140.99"});
    CDeviceInfo device(nullptr, nullptr);
    ASSERT_EQ(device.SetSProbeResult(&first.result), 1);
    EXPECT_TRUE(device.IsSameDevice(Hit("127.0.140.9", "P", "other").result));
    EXPECT_TRUE(device.IsSameDevice(Hit("127.0.140.9", "P", "x", {"127.0.140.1", "127.0.140.99"}).result));
    EXPECT_FALSE(device.IsSameDevice(Hit("127.0.140.9", "p", "x").result));
    EXPECT_FALSE(device.IsSameDevice(Hit("127.0.140.9", nullptr, "x").result));
    EXPECT_FALSE(device.IsSameDevice(Hit("127.0.140.10", "P", "x", {"127.0.140.9"}).result));
    EXPECT_FALSE(device.IsSameDevice(Hit("127.0.140.9", "P", "x", {"127.0.140.99"}).result));

    Hit unnamed("127.0.140.9", nullptr, "MDL:X;CMD:PCL;");
    ASSERT_EQ(device.SetSProbeResult(&unnamed.result), 1);
    EXPECT_EQ(device.GetSBIProbeResult()->pDeviceName, nullptr);
    EXPECT_FALSE(device.IsSameDevice(unnamed.result));  // without a name nothing is the same
}

}  // namespace
