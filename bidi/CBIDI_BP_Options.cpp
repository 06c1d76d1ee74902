// CBIDI_BP: which option units are fitted: storage devices, the duplex unit, output options
// (face-up tray, stacker, stapler) and the confidential-job functions. Page printers are asked
// over the Printer and Host Resources MIBs; ink-jets answer from their device ID, status reply
// and confidential-job reply; System OEM printers from their record and a few MIB objects.
// Every list test is an exact, case-sensitive comparison of a whole entry.
#include "bidi/CBIDI_BP.h"
#include "bidi/MIBObjects.h"

#include "bidi/InfoReplies.h"
#include "bidi/PITransfer.h"
#include "common/BILogging.h"

#include <algorithm>

namespace {

constexpr const char* kOIDOutputName = "2.1.43.9.2.1.7.1.1";              // prtOutputName
constexpr const char* kOIDFinisherName = "4.1.4913.1.2.2.25.1.1.3.1.1";   // maker's finisher name column
constexpr const char* kOIDOffsetStacking = "2.1.43.9.2.1.24.1.1";         // prtOutputOffsetStacking

// OptionUnitBits.
constexpr DWORD kOptDuplex = 0x1;
constexpr DWORD kOptRAMDisk = 0x2;
constexpr DWORD kOptStorage = 0x4;
constexpr DWORD kOptFaceUpTray = 0x100;
constexpr DWORD kOptStacker = 0x200;
constexpr DWORD kOptStapler = 0x400;
constexpr DWORD kOptOffsetStacker = 0x800;
constexpr DWORD kOptConfidentialPrint = 0x10000;
constexpr DWORD kOptConfidentialStore = 0x20000;

// Bits of IsSupportConfidentialJobFunction.
constexpr DWORD kConfidentialKindPrint = 0x1;
constexpr DWORD kConfidentialKindStore = 0x2;

// prtMediaPathType: longEdgeBindingDuplex, shortEdgeBindingDuplex.
constexpr int32_t kPathLongEdgeDuplex = 3;
constexpr int32_t kPathShortEdgeDuplex = 4;
// prtOutputOffsetStacking values that mean the stacker offsets jobs.
constexpr int32_t kOffsetStackingA = 3;
constexpr int32_t kOffsetStackingB = 4;

constexpr DWORD kOEMOptionDuplex = 0x1;       // option word of the System OEM record
constexpr DWORD kFIDDuplex = FID_DPA;         // device ID "FID" bit of a duplex unit

// Status reply storage field: its first byte is a version (17 and up carry the flags) and its
// third byte holds the storage-present bit.
constexpr BYTE kStatusFieldStorageHeader = 10;
constexpr BYTE kStorageFieldMinVersion = 17;
constexpr size_t kStorageFieldMinBytes = 3;
constexpr BYTE kStorageFieldPresentBit = 0x08;

// "pc" reply: the elements begin 5 bytes after its "p" ("pc:", 16-bit length).
constexpr size_t kConfidentialCommandDataOffset = 5;

}  // namespace

int CBIDI_BP::GetOptionUnitBits(DWORD* pdwValue) {
    BI_LOG("CBIDI_BP::GetOptionUnitBits pdwValue=%x\n", pdwValue != nullptr ? *pdwValue : 0u);
    if (pdwValue == nullptr) return 0;
    *pdwValue = 0;
    using SubQuery = int (CBIDI::*)(DWORD*);
    std::vector<SubQuery> queries;
    switch (m_stAutoConfigInfo.dwPrinterCategory) {
    case PRINTER_CATEGORY_PAGE:
        queries = {&CBIDI::GetOptionUnitBitsStorage, &CBIDI::GetOptionUnitBitsDuplexUnit,
                   &CBIDI::GetOptionUnitBitsFinisher};
        break;
    case PRINTER_CATEGORY_SYSTEM_OEM:
        queries = {&CBIDI::GetOptionUnitBitsDuplexUnit, &CBIDI::GetOptionUnitBitsStorage};
        break;
    default:
        queries = {&CBIDI::GetOptionUnitBitsStorage, &CBIDI::GetOptionUnitBitsDuplexUnit,
                   &CBIDI::GetOptionUnitBitsConfidentialJobFunction};
        break;
    }
    // Through the interface, as any caller would ask them.
    CBIDI& bidi = *this;
    for (const SubQuery query : queries)
        if (!(bidi.*query)(pdwValue)) return 0;
    BI_LOG("Get OptionUnitBits from Printer 0x%x\n", *pdwValue);
    return 1;
}

int CBIDI_BP::GetOptionUnitBitsStorage(DWORD* pdwValue) {
    BI_LOG("CBIDI_BP::GetOptionUnitBitsStorage pdwValue=%x\n", pdwValue != nullptr ? *pdwValue : 0u);
    if (pdwValue == nullptr) return 0;
    switch (m_stAutoConfigInfo.dwPrinterCategory) {
    case PRINTER_CATEGORY_PAGE: {
        BIStringList names;
        if (!GetStringList(kOIDStorageDescr, &names)) {
            BI_LOG("Failed to get StorageName list.\n");
            return 0;
        }
        if (ListHolds(names, "Printer CF") || ListHolds(names, "Printer HDD") || ListHolds(names, "Storage HDD"))
            *pdwValue |= kOptStorage;
        if (ListHolds(names, "Printer RAM Disk")) *pdwValue |= kOptRAMDisk;
        break;
    }
    case PRINTER_CATEGORY_SYSTEM_OEM: {
        // Only System OEM models whose record says both bits are asked, and only over a channel.
        if ((GetSystemOEMWord(BP_OEM_MODELINFO_OFFSET) & BP_OEM_SYSTEM_BITS) != BP_OEM_SYSTEM_BITS ||
            !m_dwChannelAvailable)
            break;
        BIStringList names;
        if (!GetStringList(kOIDStorageDescr, &names)) {
            BI_LOG("#Failed to get StorageDesclist.\n");
            return 0;
        }
        if (ListHolds(names, "CF") || ListHolds(names, "HDD")) *pdwValue |= kOptStorage;
        break;
    }
    case PRINTER_CATEGORY_INKJET: {
        DWORD dwFlag = 0;
        if (!GetOptionStorageInfoBySTReply(&dwFlag)) {
            BI_LOG("#Failed CBIDI_BP::GetOptionStorageInfoBySTReply()\n");
            return 0;
        }
        if (dwFlag == 1) *pdwValue |= kOptStorage;
        break;
    }
    default:
        BI_LOG("#Failed m_stAutoConfigInfo.dwPrinterCategory is invalid.\n");
        break;
    }
    BI_LOG("Get OptionUnitBitsStorage from Printer 0x%x\n", *pdwValue);
    return 1;
}

int CBIDI_BP::GetOptionStorageInfoBySTReply(DWORD* pdwFlag) {
    BI_LOG("CBIDI_BP::GetOptionStorageInfoBySTReply\n");
    if (pdwFlag == nullptr || m_stAutoConfigInfo.dwPrinterCategory == PRINTER_CATEGORY_PAGE || !m_pChannel ||
        m_pChannel->nHandle < 0)
        return 0;
    if (!GetStatusFromCurrentChannel()) return 0;
    *pdwFlag = 0;
    const int nSize = GetStatusFieldData(kStatusFieldStorageHeader, nullptr, 0);
    if (nSize < 0) return 0;
    if (nSize == 0) return 1;
    std::vector<BYTE> field(static_cast<size_t>(nSize));
    if (GetStatusFieldData(kStatusFieldStorageHeader, field.data(), static_cast<DWORD>(field.size())) < 1) return 0;
    if (field[0] >= kStorageFieldMinVersion && field.size() >= kStorageFieldMinBytes &&
        (field[2] & kStorageFieldPresentBit))
        *pdwFlag = 1;
    return 1;
}

int CBIDI_BP::GetOptionUnitBitsDuplexUnit(DWORD* pdwValue) {
    BI_LOG("CBIDI_BP::GetOptionUnitBitsDuplexUnit pdwValue=%x\n", pdwValue != nullptr ? *pdwValue : 0u);
    if (pdwValue == nullptr) return 0;
    switch (m_stAutoConfigInfo.dwPrinterCategory) {
    case PRINTER_CATEGORY_PAGE: {
        BIStringList paths;
        if (!GetStringList(kOIDMediaPathDescription, &paths)) {
            BI_LOG("Failed to get MediaPathName list.\n");
            return 0;
        }
        if (ListHolds(paths, "Duplex long Edge Binding") || ListHolds(paths, "Duplex Short Edge Binding"))
            *pdwValue |= kOptDuplex;
        break;
    }
    case PRINTER_CATEGORY_SYSTEM_OEM: {
        if (GetSystemOEMWord(BITableLayout::kOEMOffOptions) & kOEMOptionDuplex) {
            *pdwValue |= kOptDuplex;
            break;
        }
        if (!m_dwChannelAvailable) break;
        std::vector<int32_t> types;
        if (!GetValueList(kOIDMediaPathType, &types)) {
            BI_LOG("#Failed to get the media path type from the system OEM printer.\n");
            return 0;
        }
        if (std::any_of(types.begin(), types.end(),
                        [](int32_t t) { return t == kPathLongEdgeDuplex || t == kPathShortEdgeDuplex; }))
            *pdwValue |= kOptDuplex;
        break;
    }
    default:
        if (m_stDeviceIDInfo.dwFIDBits & kFIDDuplex) *pdwValue |= kOptDuplex;
        break;
    }
    BI_LOG("Get OptionUnitBitsDuplexUnit from Printer 0x%x\n", *pdwValue);
    return 1;
}

int CBIDI_BP::GetOptionUnitBitsFinisher(DWORD* pdwValue) {
    BI_LOG("CBIDI_BP::GetOptionUnitBitsFinisher pdwValue=%x\n", pdwValue != nullptr ? *pdwValue : 0u);
    if (pdwValue == nullptr) return 0;
    if (m_stAutoConfigInfo.dwPrinterCategory == PRINTER_CATEGORY_PAGE) {
        BIStringList outputs;
        if (!GetStringList(kOIDOutputName, &outputs)) {
            BI_LOG("Failed to get OutputName list.\n");
            return 0;
        }
        if (ListHolds(outputs, "Face-up Tray")) *pdwValue |= kOptFaceUpTray;
        const auto stacker = std::find(outputs.begin(), outputs.end(), "Stacker");
        if (stacker != outputs.end()) {
            const size_t nStacker = static_cast<size_t>(stacker - outputs.begin());
            BIStringList finishers;
            if (!GetStringList(kOIDFinisherName, &finishers)) {
                BI_LOG("Failed to get FinisherName list.\n");
                finishers.clear();
            }
            if (ListHolds(finishers, "Stapler")) {
                *pdwValue |= kOptStapler;
                BI_LOG("Stapler is supported.\n");
            } else {
                std::vector<int32_t> offsets;
                if (!GetValueList(kOIDOffsetStacking, &offsets)) {
                    BI_LOG("Failed to get ValuesOffsetStack list.\n");
                    return 0;
                }
                if (nStacker < offsets.size() &&
                    (offsets[nStacker] == kOffsetStackingA || offsets[nStacker] == kOffsetStackingB)) {
                    *pdwValue |= kOptOffsetStacker;
                    BI_LOG("Offset stacking is supported.\n");
                } else {
                    *pdwValue |= kOptStacker;
                }
            }
        }
    }
    BI_LOG("Get OptionUnitBitsFinisher from Printer 0x%x\n", *pdwValue);
    return 1;
}

int CBIDI_BP::GetOptionUnitBitsConfidentialJobFunction(DWORD* pdwValue) {
    BI_LOG("CBIDI_BP::GetOptionUnitBitsConfidentialJobFunction pdwValue=%x\n", pdwValue != nullptr ? *pdwValue : 0u);
    if (pdwValue == nullptr) return 0;
    DWORD dwKinds = 0;
    if (m_stAutoConfigInfo.dwPrinterCategory == PRINTER_CATEGORY_INKJET) {
        // "NA" means no confidential jobs; a lost or damaged reply tells nothing either way.
        const int nKinds = AskConfidentialJobKinds(&dwKinds);
        if (nKinds < 0) {
            BI_LOG("#Failed to get the confidential job kinds from printer.\n");
            return 0;
        }
        if (dwKinds & kConfidentialKindPrint) *pdwValue |= kOptConfidentialPrint;
        if (dwKinds & kConfidentialKindStore) *pdwValue |= kOptConfidentialStore;
    }
    BI_LOG("Get OptionUnitBitsConfidentialJobFunction from Printer 0x%x\n", *pdwValue);
    return 1;
}

int CBIDI_BP::IsSupportConfidentialJobFunction(DWORD* pdwKinds) { return AskConfidentialJobKinds(pdwKinds) > 0 ? 1 : 0; }

int CBIDI_BP::AskConfidentialJobKinds(DWORD* pdwKinds) {
    BI_LOG("CBIDI_BP::IsSupportConfidentialJobFunction\n");
    if (pdwKinds == nullptr || m_stAutoConfigInfo.dwPrinterCategory == PRINTER_CATEGORY_PAGE || !m_pChannel ||
        m_pChannel->nHandle < 0)
        return -1;
    std::vector<BYTE> reply;
    size_t nStart = 0;
    if (IsChannel(kZkChannelOPK) || IsChannel(kZkChannelTVD4)) {
        const int nRet = GetInfoTVD4(BP_PI_FORM_FIRST, BP_INFO_CONFIDENTIAL, &reply);
        if (nRet == kPINotAvailable) return 0;
        if (nRet < 0) return -1;
    } else {
        if (SupportMediaInfo(BP_INFO_CONFIDENTIAL, &reply) < 0) return -1;
        const auto p = std::find(reply.begin(), reply.end(), static_cast<BYTE>('p'));
        nStart = static_cast<size_t>(p - reply.begin()) + kConfidentialCommandDataOffset;
    }
    BI_LOG("QLMPRSupportInfo: \n");
    BI_DUMP(reply.data(), reply.size());
    switch (ReadConfidentialJobKinds(reply, nStart, pdwKinds)) {
    case ConfidentialReply::Read: return 1;
    case ConfidentialReply::NotAvailable: return 0;
    case ConfidentialReply::Damaged: break;
    }
    return -1;
}
