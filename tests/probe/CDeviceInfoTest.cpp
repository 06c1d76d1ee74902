// CDeviceInfo: the copy and conversion of raw hits, the same-device rule, and the worker against
// virtual printers on 127.0.140.x through the real network transport module.
#include "probe/CDeviceInfo.h"
#include "common/BIInfo.h"
#include "probe/ProbeProfiles.h"
#include "support/TempFolder.h"
#include "support/TempPrefix.h"
#include "support/VprinterProcess.h"

#include <gtest/gtest.h>

#include <cstring>
#include <mutex>
#include <string>
#include <vector>

namespace {

// A raw hit as the transport module hands it out.
struct Hit {
    SProbeResult result{};
    std::vector<SProbeAddress> entries;
    std::string name, deviceID;

    Hit(const std::string& address, const char* deviceName, const std::string& id,
        const std::vector<std::string>& addresses = {}) : name(deviceName ? deviceName : ""), deviceID(id) {
        std::strncpy(result.szAddress, address.c_str(), sizeof result.szAddress - 1);
        const auto& list = addresses.empty() ? std::vector<std::string>{address} : addresses;
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

std::u16string Text(const char16_t* text) { return text ? std::u16string(text) : u"(null)"; }

template <size_t N>
std::u16string Field(const char16_t (&field)[N]) {
    char16_t copy[N];
    std::memcpy(copy, field, sizeof copy);
    return std::u16string(copy, std::char_traits<char16_t>::length(copy));
}

TEST(CDeviceInfo, SupportedDevicesGetTheirLanguageBitsAndUnsupportedOnesAreRefused) {
    struct Case {
        const char* deviceID;
        int accepted;
        uint32_t pdl, domestic, duplex;
    };
    const Case cases[] = {
        {"MDL:X1;CMD:XYZ;", 0, 0, 0, 0},
        {"MDL:X2;CMD:PJL;", 1, 0, 0, 0},
        {"MDL:X3;CMD:PJL,PCL;", 1, 0x300, 0, 0},
        {"MDL:X4;CMD:QLMPR1;FID:DPA;", 1, 0x10, 8, 1},
        {"MDL:X5;CMD:QLMPR1;", 1, 0x10, 8, 0},
        {"MDL:X6;CMD:QLMPAGEJ-04,QLMPAGECOLOR-01,QLMPAGES-04;", 1, 0x7, 0, 0},
        {"CMD:PJL;", 0, 0, 0, 0},
        {"MDL:Model-A;", 1, 0x300, 0, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.deviceID);
        Hit hit("127.0.140.5", "dev", c.deviceID);
        CDeviceInfo device(nullptr, nullptr);
        ASSERT_EQ(device.SetSProbeResult(&hit.result), c.accepted);
        SBIProbeResult* record = device.GetSBIProbeResult();
        if (!c.accepted) {
            EXPECT_EQ(record, nullptr);
            continue;
        }
        ASSERT_NE(record, nullptr);
        EXPECT_EQ(+record->dwSupportPDL, c.pdl);
        EXPECT_EQ(+record->dwDomestic, c.domestic);
        EXPECT_EQ(+record->dwDuplex, c.duplex);
        EXPECT_EQ(+record->dwInfoObtained, 0u);
    }
}

TEST(CDeviceInfo, RecordCarriesNameAddressAndEveryAddressEntryInOrder) {
    Hit hit("127.0.140.6", "Front Desk", "MDL:X;CMD:PCL;", {"127.0.140.6", "127.0.140.66"});
    CDeviceInfo device(nullptr, nullptr);
    ASSERT_EQ(device.SetSProbeResult(&hit.result), 1);
    SBIProbeResult* record = device.GetSBIProbeResult();
    EXPECT_EQ(Text(record->pDeviceName), u"Front Desk");
    EXPECT_EQ(Field(record->szAddress), u"127.0.140.6");
    const SBIProbeAddress* entry = record->pAddressList;
    ASSERT_NE(entry, nullptr);
    EXPECT_EQ(+entry->dwValue, 161u);
    EXPECT_EQ(Field(entry->szAddress), u"127.0.140.6");
    entry = entry->pNext;
    ASSERT_NE(entry, nullptr);
    EXPECT_EQ(+entry->dwValue, 162u);
    EXPECT_EQ(Field(entry->szAddress), u"127.0.140.66");
    EXPECT_TRUE(entry->pNext == nullptr);

    Hit unnamed("127.0.140.7", nullptr, "MDL:X;CMD:PCL;");
    ASSERT_EQ(device.SetSProbeResult(&unnamed.result), 1);
    EXPECT_EQ(device.GetSBIProbeResult()->pDeviceName, nullptr);
}

TEST(CDeviceInfo, HitsThatBreakTheirBoundsAreRefused) {
    CDeviceInfo device(nullptr, nullptr);
    EXPECT_EQ(device.SetSProbeResult(nullptr), 0);

    Hit noID("127.0.140.8", "d", "MDL:X;CMD:PCL;");
    noID.result.pDeviceID = nullptr;
    EXPECT_EQ(device.SetSProbeResult(&noID.result), 0);

    Hit unterminated("127.0.140.8", "d", "MDL:X;CMD:PCL;");
    std::memset(unterminated.result.szAddress, '1', sizeof unterminated.result.szAddress);
    EXPECT_EQ(device.SetSProbeResult(&unterminated.result), 0);

    Hit looping("127.0.140.8", "d", "MDL:X;CMD:PCL;");
    looping.entries[0].pNext = &looping.entries[0];  // a list that never ends
    EXPECT_EQ(device.SetSProbeResult(&looping.result), 0);

    std::string longID = "MDL:X;CMD:PCL;" + std::string(CDeviceInfo::kMaxTextBytes, 'x');
    Hit huge("127.0.140.8", "d", longID);
    EXPECT_EQ(device.SetSProbeResult(&huge.result), 0);
    EXPECT_EQ(device.GetSBIProbeResult(), nullptr);
}

TEST(CDeviceInfo, SameDeviceNeedsEqualNamesAddressesAndOneEqualAddressEntry) {
    Hit first("127.0.140.9", "P", "MDL:X;CMD:PCL;", {"127.0.140.9", "127.0.140.99"});
    CDeviceInfo device(nullptr, nullptr);
    ASSERT_EQ(device.SetSProbeResult(&first.result), 1);
    EXPECT_TRUE(device.IsSameDevice(Hit("127.0.140.9", "P", "other", {"127.0.140.9"}).result));
    EXPECT_TRUE(device.IsSameDevice(Hit("127.0.140.9", "P", "x", {"127.0.140.1", "127.0.140.99"}).result));
    EXPECT_FALSE(device.IsSameDevice(Hit("127.0.140.9", "p", "x").result));
    EXPECT_FALSE(device.IsSameDevice(Hit("127.0.140.9", nullptr, "x").result));
    EXPECT_FALSE(device.IsSameDevice(Hit("127.0.140.10", "P", "x", {"127.0.140.9"}).result));
    EXPECT_FALSE(device.IsSameDevice(Hit("127.0.140.9", "P", "x", {"127.0.140.99"}).result));

    Hit unnamed("127.0.140.9", nullptr, "MDL:X;CMD:PCL;");
    ASSERT_EQ(device.SetSProbeResult(&unnamed.result), 1);
    EXPECT_FALSE(device.IsSameDevice(unnamed.result));  // without a name nothing is the same
}

// The worker over SNMP: location (UTF-8 when the maker's object says so), duplex from the media
// paths of page devices only, colour from the colorant count, "ja" as the domestic market; and a
// device that does not answer keeps its record unexamined.
TEST(CDeviceInfo, WorkerDescribesPageAndInkjetDevicesAndLeavesSilentOnesUnexamined) {
    vanto_test::TempPrefix prefix;
    TempFolder folder;
    const std::string page = probe_test::WriteProfile(
        folder.Path(), "page", "MDL:P;CMD:PJL,PCL;", "PAGE-1",
        {"1.3.6.1.2.1.1.6.0|4x|c3a9746167652032", "1.3.6.1.2.1.43.7.1.1.2.1.1|4|JA",
         "1.3.6.1.2.1.43.10.2.1.6.1.1|2|1", "1.3.6.1.2.1.43.13.4.1.10.1.1|4|Simplex",
         "1.3.6.1.2.1.43.13.4.1.10.1.2|4|Duplex Long Edge Binding", "1.3.6.1.4.1.4913.1.1.3.1.1.78.0|4x|8001"});
    const std::string inkjet = probe_test::WriteProfile(
        folder.Path(), "inkjet", "MDL:I;CMD:QLMPR1;", "INK-1",
        {"1.3.6.1.2.1.1.6.0|4x|e9746167652033", "1.3.6.1.2.1.43.7.1.1.2.1.1|4|ja",
         "1.3.6.1.2.1.43.13.4.1.10.1.1|4|Duplex Long Edge Binding",
         "1.3.6.1.2.1.43.13.4.1.10.1.2|4|Duplex Short Edge Binding"});
    vanto_test::VprinterProcess printers({"-p", "127.0.140.20=" + page, "-p", "127.0.140.21=" + inkjet});
    ASSERT_TRUE(printers.Ready()) << printers.Stderr();

    CZkapiDll module;
    ASSERT_TRUE(module.Load(vplat::ToWindowsPath(std::string(VANTO_BUILD_DIR) + "/ZKNETx64.DLL").c_str()));
    ASSERT_EQ(module.ZKInitialize(), 0);
    std::mutex openLock;
    BIInfo context;
    ASSERT_TRUE(context.Build(nullptr, 1));

    Hit pageHit("127.0.140.20", "PAGE-1", "MDL:P;CMD:PJL,PCL;");
    Hit inkjetHit("127.0.140.21", "INK-1", "MDL:I;CMD:QLMPR1;");
    Hit silentHit("127.0.140.22", "GONE", "MDL:G;CMD:PCL;");
    CDeviceInfo pageDevice(&module, &openLock), inkjetDevice(&module, &openLock), silent(&module, &openLock);
    ASSERT_EQ(pageDevice.SetSProbeResult(&pageHit.result), 1);
    ASSERT_EQ(inkjetDevice.SetSProbeResult(&inkjetHit.result), 1);
    ASSERT_EQ(silent.SetSProbeResult(&silentHit.result), 1);
    ASSERT_EQ(pageDevice.StartConnection(&context), 1);
    ASSERT_EQ(inkjetDevice.StartConnection(&context), 1);
    ASSERT_EQ(silent.StartConnection(&context), 1);
    pageDevice.WaitForWorker();
    inkjetDevice.WaitForWorker();
    silent.WaitForWorker();

    const SBIProbeResult* p = pageDevice.GetSBIProbeResult();
    EXPECT_EQ(+p->dwInfoObtained, 1u);
    EXPECT_EQ(Field(p->szLocation), u"\u00e9tage 2");  // UTF-8
    EXPECT_EQ(+p->dwDuplex, 0u);                         // long-edge binding alone
    EXPECT_EQ(+p->dwColor, 0u);                          // one colorant
    EXPECT_EQ(+p->dwDomestic, 4u);                       // "JA"

    const SBIProbeResult* i = inkjetDevice.GetSBIProbeResult();
    EXPECT_EQ(+i->dwInfoObtained, 1u);
    EXPECT_EQ(Field(i->szLocation), u"\u00e9tage 3");  // the ANSI code page (1252)
    EXPECT_EQ(+i->dwDuplex, 0u);                         // media paths are not read for ink-jets
    EXPECT_EQ(+i->dwColor, 1u);                          // no colorants reported
    EXPECT_EQ(+i->dwDomestic, 8u);                       // the ink-jet class stays

    ASSERT_NE(silent.GetSBIProbeResult(), nullptr);
    EXPECT_EQ(+silent.GetSBIProbeResult()->dwInfoObtained, 0u);
    module.ZKRelease();
}

}  // namespace
