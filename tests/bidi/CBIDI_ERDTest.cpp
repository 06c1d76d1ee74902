// The install-time capability record: reading and analysing it, the questions it answers, and
// moving the installer's registry values into the queue's printer data.
#include "bidi/CBIDI_ERD.h"
#include "bidi/PrnCapRecord.h"
#include "common/BIInfo.h"
#include "common/BILogging.h"
#include "common/CQueueHolder.h"
#include "common/CRegistry.h"
#include "support/TempPrefix.h"

#include <gtest/gtest.h>

#include <cstring>
#include <optional>
#include <string>
#include <vector>

namespace {

using Bytes = std::vector<BYTE>;

constexpr char kQueue[] = "ERD Queue";
constexpr char16_t kQueueW[] = u"ERD Queue";
constexpr char16_t kInstallerKey[] = u"SOFTWARE\\KELDA\\PRINTER\\Vintal Universal Driver";

// A record with two paper sizes of one paper-type entry each and distinct head values.
prncap::Builder TwoBlockRecord() {
    prncap::Builder builder;
    builder.SetColor(1).SetResolutionBits(0x1001).SetMaxCopies(999).SetModelName(u"Model-X 100");
    builder.SetDefault(prncap::kDefMediaSizeID, 9).SetDefault(prncap::kDefMediaTypeID, 1);
    builder.AddBlock(9, 1).AddEntry(1, 0x1, 0x1, 0);
    builder.AddBlock(11, 1).AddEntry(2, 0x2, 0x4, 1);
    return builder;
}

// ---- The record itself -------------------------------------------------------------------------

TEST(ErdRecord, TwoBlocksAreReadInSequence) {
    CBIDI_ERD erd;
    ASSERT_EQ(erd.AnalyzePrintCapability(TwoBlockRecord().Bytes()), 1);
    EXPECT_EQ(erd.IsReady(), 1u);
    EXPECT_EQ(*erd.GetSupportPaperSize(0), (BIStringList{"9", "11"}));
    EXPECT_EQ(*erd.GetSupportPaperType(), (BIStringList{"1", "2"}));
    const auto& caps = erd.CapabilitySet().Capabilities();
    ASSERT_EQ(caps.size(), 2u);
    EXPECT_EQ(caps[1].adwElement, (std::array<DWORD, 5>{11, 2, 0x2, 0x4, 1}));

    BICassetteList cassettes(3);  // replaced, not appended to
    ASSERT_EQ(erd.GetCassetteInfo(&cassettes), 1);
    ASSERT_EQ(cassettes.size(), 2u);
    EXPECT_EQ(cassettes[1].wPaperSourceBit, 0x2);
    // The analysis ends by computing the forbidden pairs (what they are is CapabilitySet's).
    EXPECT_FALSE(erd.GetForbiddenPairs().empty());

    // A block without entries is followed directly by the next block head.
    prncap::Builder withEmpty;
    withEmpty.AddBlock(5, 0).AddBlock(6, 1).AddEntry(3, 0x1, 0x1, 0);
    ASSERT_EQ(erd.AnalyzePrintCapability(withEmpty.Bytes()), 1);
    EXPECT_EQ(*erd.GetSupportPaperSize(0), (BIStringList{"6"}));  // a size with no entry adds nothing
}

TEST(ErdRecord, TruncatedRecordsOfEveryKindAreRefused) {
    const Bytes good = TwoBlockRecord().Bytes();
    prncap::Builder hugeCount;
    hugeCount.SetBlockCount(0xFFFFFFFF).AddBlock(9, 0xFFFFFFFF).AddEntry(1, 0x1, 0x1, 0);

    const std::vector<std::pair<const char*, Bytes>> cases = {
        {"head cut", Bytes(good.begin(), good.begin() + prncap::kHeadBytes - 1)},
        {"block head cut", Bytes(good.begin(), good.begin() + prncap::kHeadBytes + prncap::kBlockHeadBytes - 1)},
        {"entry cut", Bytes(good.begin(), good.end() - 1)},
        {"counts near 2^32", hugeCount.Bytes()},
    };
    for (const auto& [name, bytes] : cases) {
        SCOPED_TRACE(name);
        CBIDI_ERD erd;
        ASSERT_EQ(erd.AnalyzePrintCapability(good), 1);
        EXPECT_EQ(erd.AnalyzePrintCapability(bytes), 0);
        EXPECT_EQ(erd.IsReady(), 0u);
        EXPECT_EQ(erd.GetPrnCapInfo(), nullptr);
        EXPECT_TRUE(erd.GetSupportPaperSize(0)->empty());
        EXPECT_TRUE(erd.GetForbiddenPairs().empty());
    }

    // Bytes after the last block are not part of any count and do no harm.
    Bytes longer = good;
    longer.resize(good.size() + 10, 0xEE);
    CBIDI_ERD erd;
    EXPECT_EQ(erd.AnalyzePrintCapability(longer), 1);
}

TEST(ErdRecord, DefaultSettingsFillOnly108BytesWithNormalisedValues) {
    prncap::Builder builder;
    builder.SetDefault(prncap::kDefMediaSizeID, 9).SetDefault(prncap::kDefMediaTypeID, 0xFFFFFFFF);
    builder.SetDefault(prncap::kDefColorMode, 1).SetDefault(prncap::kDefMultiPage, 6);
    CBIDI_ERD erd;
    ASSERT_EQ(erd.AnalyzePrintCapability(builder.Bytes()), 1);

    BIDefaultSettings settings;
    std::memset(&settings, 0xAB, sizeof(settings));
    ASSERT_EQ(erd.GetDefaultSetting(&settings), 1);
    EXPECT_EQ(settings.dwMediaSizeID, 9u);
    EXPECT_EQ(settings.dwColorMode, 1u);
    EXPECT_EQ(settings.dwMultiPage, 6u);  // the last of the twelve values
    EXPECT_EQ(settings.dwPaperDirection, 1u);  // default direction 0
    EXPECT_STREQ(settings.szMediaSizeID, "9");
    EXPECT_STREQ(settings.szMediaTypeID, "-1");
    for (BYTE b : settings.reserved) ASSERT_EQ(b, 0xAB);

    // Any non-zero direction gives 2; a colour mode other than 1 gives 0.
    builder.SetDefault(prncap::kDefPaperDirection, 7).SetDefault(prncap::kDefColorMode, 2);
    ASSERT_EQ(erd.AnalyzePrintCapability(builder.Bytes()), 1);
    ASSERT_EQ(erd.GetDefaultSetting(&settings), 1);
    EXPECT_EQ(settings.dwPaperDirection, 2u);
    EXPECT_EQ(settings.dwColorMode, 0u);
}

TEST(ErdRecord, HeadAnswersAndTheirAbsenceWithoutRecord) {
    CBIDI_ERD erd;
    DWORD value = 77;
    BIDefaultSettings settings{};
    EXPECT_EQ(erd.GetModelName(), nullptr);
    EXPECT_EQ(erd.GetModelInfoBits(&value), 0);
    EXPECT_EQ(erd.GetMaxCopies(), 0u);
    EXPECT_EQ(erd.GetBaseResolution(), 0u);
    EXPECT_EQ(erd.GetDefaultSetting(&settings), 0);
    EXPECT_EQ(erd.GetPrnCapInfo(), nullptr);

    ASSERT_EQ(erd.AnalyzePrintCapability(TwoBlockRecord().Bytes()), 1);
    EXPECT_EQ(std::u16string(erd.GetModelName()), u"Model-X 100");
    ASSERT_EQ(erd.GetModelInfoBits(&value), 1);
    EXPECT_EQ(value, 1u);
    EXPECT_EQ(erd.GetMaxCopies(), 999u);
    ASSERT_EQ(erd.GetOptionUnitBits(&value), 1);
    EXPECT_EQ(value, 0u);
    // The first listed resolution bit gives the base resolution.
    for (const auto& [bits, expected] : {std::pair<DWORD, DWORD>{0x1001, 4}, {0x1, 4}, {0x1000, 2}, {0, 0}, {0x2, 0}}) {
        ASSERT_EQ(erd.AnalyzePrintCapability(prncap::Builder().SetResolutionBits(bits).Bytes()), 1);
        EXPECT_EQ(erd.GetBaseResolution(), expected) << std::hex << bits;
    }

    // A colour field other than 1 is a monochrome model.
    ASSERT_EQ(erd.AnalyzePrintCapability(prncap::Builder().SetColor(2).Bytes()), 1);
    ASSERT_EQ(erd.GetModelInfoBits(&value), 1);
    EXPECT_EQ(value, 0u);

    // A model name filling its whole field without terminator is cut at the field's end.
    Bytes bytes = prncap::Builder().Bytes();
    for (size_t i = 0; i < prncap::kModelNameBytes; i += 2) bytes[prncap::kModelNameOffset + i] = 'M';
    ASSERT_EQ(erd.AnalyzePrintCapability(bytes), 1);
    EXPECT_EQ(std::u16string(erd.GetModelName()), std::u16string(prncap::kModelNameBytes / 2, u'M'));

    // Close forgets the record and the paper lists.
    ASSERT_EQ(erd.AnalyzePrintCapability(TwoBlockRecord().Bytes()), 1);
    erd.Close();
    EXPECT_EQ(erd.GetPrnCapInfo(), nullptr);
    EXPECT_TRUE(erd.GetSupportPaperSize(0)->empty());
    EXPECT_TRUE(erd.GetSupportPaperType()->empty());
}

// ---- Registry and printer data ---------------------------------------------------------------

// A fresh prefix with the sample driver and one queue, and helpers for the installer's values.
class ErdQueue : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(m_info.Build(kQueueW, 0));
        ASSERT_NE(m_info.GetDriverName(), nullptr);
    }

    static void PutInstallerValue(const char16_t* name, DWORD type, const Bytes& data) {
        CRegistry key;
        ASSERT_EQ(key.Create(HKEY_LOCAL_MACHINE, kInstallerKey, KEY_ALL_ACCESS), ERROR_SUCCESS);
        EXPECT_EQ(key.SetValue(name, type, data.data(), static_cast<DWORD>(data.size())), ERROR_SUCCESS);
    }
    static bool InstallerValueExists(const char16_t* name) {
        CRegistry key;
        DWORD size = 0;
        return key.Open(HKEY_LOCAL_MACHINE, kInstallerKey, KEY_READ) == ERROR_SUCCESS &&
               key.QueryValue(name, nullptr, nullptr, &size) == ERROR_SUCCESS;
    }
    static std::optional<Bytes> PrinterData(const char16_t* name) {
        CQueueHolder queue;
        DWORD type = 0, needed = 0;
        const auto get = [&](BYTE* data, DWORD size) {
            return GetPrinterDataW(queue.Handle(), const_cast<LPWSTR>(name), &type, data, size, &needed);
        };
        if (!queue.Open(kQueueW) || get(nullptr, 0) != ERROR_MORE_DATA) return std::nullopt;
        Bytes data(needed);
        if (get(data.data(), needed) != ERROR_SUCCESS) return std::nullopt;
        return data;
    }
    static Bytes Text(const char16_t* text, size_t bytes) {
        const auto* p = reinterpret_cast<const BYTE*>(text);
        return Bytes(p, p + bytes);
    }
    // Puts the record and the mail value, then opens in registry mode.
    int OpenWithInstallerValues(const Bytes& record, bool mail, CBIDI_ERD& erd) {
        PutInstallerValue(u"ERDPrintCapability", REG_BINARY, record);
        if (mail) PutInstallerValue(u"Mail", REG_SZ, Text(u"m", 2));
        EXPECT_EQ(erd.Initialize(&m_info, ERD_FLAG_REGISTRY_MODE), 1);
        return erd.Open(kQueueW);
    }

    vanto_test::TempPrefix m_prefix{kQueue};
    BIInfo m_info;
};

TEST_F(ErdQueue, RegistryRecordIsMovedToThePrinterData) {
    const Bytes record = TwoBlockRecord().Bytes();
    const Bytes key = {1, 2, 3};
    const Bytes mail = Text(u"a@b", 7);  // an odd size: stored as whole characters
    PutInstallerValue(u"ERDPrintCapability", REG_BINARY, record);
    PutInstallerValue(u"Key", REG_BINARY, key);
    PutInstallerValue(u"Mail", REG_SZ, mail);

    CBIDI_ERD first;
    ASSERT_EQ(first.Initialize(&m_info, ERD_FLAG_REGISTRY_MODE), 1);
    ASSERT_EQ(first.Open(kQueueW), 1);
    EXPECT_EQ(first.IsReady(), 1u);
    EXPECT_EQ(*first.GetSupportPaperSize(0), (BIStringList{"9", "11"}));

    EXPECT_EQ(PrinterData(u"ERDPrintCapability"), record);
    EXPECT_EQ(PrinterData(u"Key"), key);
    EXPECT_EQ(PrinterData(u"Mail"), Text(u"a@b", 6));
    for (const char16_t* name : {u"ERDPrintCapability", u"Key", u"Mail"})
        EXPECT_FALSE(InstallerValueExists(name)) << BILogging::Narrow(name);

    // The registry no longer holds the record: a registry-mode open now fails.
    CBIDI_ERD second;
    ASSERT_EQ(second.Initialize(&m_info, ERD_FLAG_REGISTRY_MODE), 1);
    EXPECT_EQ(second.Open(kQueueW), 0);
    EXPECT_EQ(second.IsReady(), 0u);
}

TEST_F(ErdQueue, RecordWithoutMailStaysInTheRegistry) {
    PutInstallerValue(u"Key", REG_BINARY, {1});
    CBIDI_ERD erd;
    EXPECT_EQ(OpenWithInstallerValues(TwoBlockRecord().Bytes(), false, erd), 0);
    EXPECT_EQ(erd.GetPrnCapInfo(), nullptr);
    EXPECT_FALSE(PrinterData(u"ERDPrintCapability").has_value());
    EXPECT_TRUE(InstallerValueExists(u"ERDPrintCapability"));
    EXPECT_TRUE(InstallerValueExists(u"Key"));
}

TEST_F(ErdQueue, BadRecordWithoutKeyIsMovedButRefused) {
    // The move happens before the analysis: a record that does not analyse fails the open.
    Bytes cut = TwoBlockRecord().Bytes();
    cut.pop_back();
    CBIDI_ERD erd;
    EXPECT_EQ(OpenWithInstallerValues(cut, true, erd), 0);
    EXPECT_EQ(erd.IsReady(), 0u);
    EXPECT_EQ(PrinterData(u"ERDPrintCapability"), cut);
    EXPECT_FALSE(PrinterData(u"Key").has_value());
    EXPECT_FALSE(InstallerValueExists(u"ERDPrintCapability"));
    EXPECT_FALSE(InstallerValueExists(u"Mail"));
}

TEST_F(ErdQueue, QueueWithoutRecordOrDriverFails) {
    CBIDI_ERD erd;
    ASSERT_EQ(erd.Initialize(&m_info, 0), 1);
    EXPECT_EQ(erd.Open(kQueueW), 0);  // no printer data yet

    // A context without a driver cannot name the installer's key.
    BIInfo unknown;
    ASSERT_TRUE(unknown.Build(u"No Such Queue", 0));
    CBIDI_ERD orphan;
    EXPECT_EQ(orphan.Initialize(&unknown, ERD_FLAG_REGISTRY_MODE), 0);
}

}  // namespace
