// CBIDI_BP: information commands, the paged PI request, the status reply and its fields, and
// the discovery examination of a network printer.
#include "bidi/CBIDI_BP.h"
#include "bidi/MIBObjects.h"

#include "bidi/PITransfer.h"
#include "bidi/StatusReply.h"
#include "common/BILogging.h"
#include "packet/CSNMPPacket.h"

#include <cstring>
#include <new>

namespace {

// The discovery walk: columns and the rows asked per request.
constexpr const char* kOIDSysLocation = "2.1.1.6.0";                   // sysLocation
constexpr const char* kOIDReflectCommonLocation = "4.1.4913.1.1.3.1.1.78.0";  // BIDI_OID_REFLECTCOMMONLOCATION
constexpr int kProbeShortRows = 2;
constexpr int kProbeLongRows = 7;
constexpr int kMaxProbeExchanges = 1024;  // bound of the walk (the packet ends it sooner)
constexpr BYTE kCommonLocationBit = 0x80;

}  // namespace

// SendInfoCommand: over SNMP the command's bytes become arcs of the maker identifier and the
// agent's leading reply byte is dropped; other channels carry the bytes as they are.
int CBIDI_BP::SendInfoCommand(const BYTE* pCommand, DWORD dwLength, std::vector<BYTE>* pReply) {
    if (pCommand == nullptr || pReply == nullptr) return BP_ERR_BAD_ARGUMENT;
    if (IsChannel(kZkChannelSNMP)) {
        const std::string oid = InfoCommandOID({pCommand, dwLength});
        const int nRet = GetMIBValue(oid.c_str(), pReply);
        if (nRet < 0) return nRet;
        DropLeadingReplyByte(pReply);
        return nRet;
    }
    return Transact(pCommand, dwLength, pReply);
}

// SupportMediaInfo: one information command; code 17 is the paged request in its second form.
int CBIDI_BP::SupportMediaInfo(DWORD dwCode, std::vector<BYTE>* pReply) {
    BI_LOG("CBIDI_BP::SupportMediaInfo\n");
    if (pReply != nullptr) pReply->clear();
    if (m_stAutoConfigInfo.dwPrinterCategory == PRINTER_CATEGORY_PAGE) return 0;
    if (pReply == nullptr) return BP_ERR_BAD_ARGUMENT;
    if (dwCode == BP_INFO_MEDIA_F17) return GetInfoTVD4(BP_PI_FORM_SECOND, dwCode, pReply);

    InfoCommand command;
    if (!BuildInfoCommand(dwCode, &command)) {
        BI_LOG("#CBIDI_BP::SupportMediaInfo unknown code %u.\n", dwCode);
        return BP_ERR_BAD_ARGUMENT;
    }
    BI_LOG("%x %x %x %x %x\n", command[0], command[1], command[2], command[3], command[4]);
    return SendInfoCommand(command.data(), static_cast<DWORD>(command.size()), pReply);
}

// GetInfoTVD4: the paged PI request; the pages' data joined in order.
int CBIDI_BP::GetInfoTVD4(int nForm, DWORD dwCode, std::vector<BYTE>* pData) {
    BI_LOG("CBIDI_BP::GetInfoTVD4\n");
    if (pData == nullptr) return BP_ERR_BAD_ARGUMENT;
    const PISender send = [this](std::span<const BYTE> request, std::vector<BYTE>* pReply) {
        return SendInfoCommand(request.data(), static_cast<DWORD>(request.size()), pReply);
    };
    const int nRet = RunPITransfer(nForm == BP_PI_FORM_FIRST ? kPIFormFirst : kPIFormSecond, dwCode, send, pData);
    if (nRet < 0) {
        BI_LOG("#CBIDI_BP::GetInfoTVD4 failed. nRet=%d\n", nRet);
        pData->clear();
        return nRet;
    }
    BI_LOG("PI ReplyData Is.\n");
    BI_DUMP(pData->data(), pData->size());
    return nRet;
}

// GetStatusFromCurrentChannel: the status reply once per connection, by the channel's road.
BOOL CBIDI_BP::GetStatusFromCurrentChannel() {
    BI_LOG("CBIDI_BP::GetStatusFromCurrentChannel\n");
    if (!m_stAutoConfigInfo.vecStatus.empty()) return TRUE;
    if (!m_pChannel || m_pChannel->nHandle < 0 || m_pChannel->pModule == nullptr) return FALSE;

    std::vector<BYTE> reply;
    if (IsChannel(kZkChannelSNMP)) {
        if (GetMIBValue(kStatusReplyOID, &reply) < 0) return FALSE;
    } else if (IsChannel(kZkChannelD4)) {
        if (SupportMediaInfo(BP_INFO_STATUS, &reply) < 0) return FALSE;
    } else {
        const CZkapiDll& module = *m_pChannel->pModule;
        int32_t nSize = 0;
        int32_t nRet = module.ZKGetStatus(m_pChannel->nHandle, nullptr, &nSize);
        BI_LOG("Return GetStatus function of ZKAPI Mudule(for buffsize). nRet=%d(-4:Success)\n", nRet);
        if (nRet != kZkSizeQuery) return FALSE;
        if (nSize <= 0 || static_cast<uint32_t>(nSize) > kZkMaxReplySize) {
            BI_LOG("#Status reply size %d refused.\n", nSize);
            return FALSE;
        }
        try {
            reply.assign(static_cast<size_t>(nSize), 0);
        } catch (const std::bad_alloc&) {
            return FALSE;
        }
        int32_t nBufferSize = nSize;
        nRet = module.ZKGetStatus(m_pChannel->nHandle, reply.data(), &nBufferSize);
        BI_LOG("Return GetStatus function of ZKAPI Mudule. nRet=%d(0:Success).\n", nRet);
        if (nRet < 0) {
            BI_LOG("#Failed ZKAPIDLL::GetStatus func.\n");
            return FALSE;
        }
        // Never more than the module could have written.
        if (nBufferSize >= 0) reply.resize(std::min(reply.size(), static_cast<size_t>(nBufferSize)));
    }
    if (reply.empty()) {
        BI_LOG("#The status reply is empty.\n");
        return FALSE;
    }
    // Kept until Close, so a reply cut short or another command's reply must not stand in for it.
    if (!StatusReplyIsWhole(reply)) {
        BI_LOG("#The status reply has no whole ST2 block (%zu bytes).\n", reply.size());
        BI_DUMP(reply.data(), reply.size());
        return FALSE;
    }
    BI_LOG("Status: \n");
    BI_DUMP(reply.data(), reply.size());
    m_stAutoConfigInfo.vecStatus = std::move(reply);
    return TRUE;
}

// GetStatusFieldData: one field of the cached status reply.
int CBIDI_BP::GetStatusFieldData(BYTE byHeader, BYTE* pBuffer, DWORD dwSize) {
    BI_LOG("CBIDI_BP::GetStatusFieldData\n");
    const std::vector<BYTE>& status = m_stAutoConfigInfo.vecStatus;
    if (status.empty()) return -1;
    std::span<const BYTE> field;
    switch (FindStatusField(status, byHeader, &field)) {
    case StatusFieldResult::NoST2: {
        const std::string text(status.begin(), status.end());  // for the log line: text up to a 0
        BI_LOG("#Failed: Get Stat -> ST2 or PM not found [%s]\n", text.c_str());
        return -1;
    }
    case StatusFieldResult::Absent:
        BI_LOG("#Failed: Can't find specified field header:%x\n", byHeader);
        return 0;
    case StatusFieldResult::Found:
        break;
    }
    if (pBuffer == nullptr) return static_cast<int>(field.size());
    if (dwSize < field.size()) return -1;
    std::memcpy(pBuffer, field.data(), field.size());
    return static_cast<int>(field.size());
}

// IsSupportColorMode: a colour ink in the status reply's ink field sets bit 0x1.
BOOL CBIDI_BP::IsSupportColorMode(DWORD* pdwBits) {
    BI_LOG("CBIDI_BP::IsSupportColorMode\n");
    if (pdwBits == nullptr) return FALSE;
    const int nSize = GetStatusFieldData(kStatusFieldInks, nullptr, 0);
    if (nSize < 0) return FALSE;
    std::vector<BYTE> field(static_cast<size_t>(nSize));
    const int nRead = GetStatusFieldData(kStatusFieldInks, field.data(), static_cast<DWORD>(field.size()));
    if (nRead < 1) return FALSE;
    if (InkFieldHasColour(field)) *pdwBits |= 0x1;
    return TRUE;
}

// GetInfoProbe: one SNMP walk of the columns discovery needs.
BOOL CBIDI_BP::GetInfoProbe(std::string* pLocation, DWORD* pdwColorantCount, DWORD* pdwCommonLocation,
                            BIStringList* pMediaPaths, BIStringList* pLanguages, BOOL bPagePrinter) {
    BI_LOG("CBIDI_BP::GetInfoProbe\n");
    if (pLocation == nullptr || pdwColorantCount == nullptr || pdwCommonLocation == nullptr ||
        pMediaPaths == nullptr || pLanguages == nullptr)
        return FALSE;
    if (!IsChannel(kZkChannelSNMP)) return FALSE;
    *pdwColorantCount = 0;
    m_dwReceiveTimeout = BP_PROBE_TIMEOUT_MS;

    std::vector<WalkColumn> columns = {{kOIDColorants, kProbeShortRows},
                                       {kOIDSysLocation, kProbeShortRows},
                                       {kOIDReflectCommonLocation, kProbeShortRows}};
    if (bPagePrinter) columns.push_back({kOIDMediaPathDescription, kProbeLongRows});
    columns.push_back({kOIDLocalizationLanguage, kProbeLongRows});

    CSNMPPacket packet;
    packet.SetWalkList(columns);
    for (int nExchange = 0; !packet.IsDone(); ++nExchange) {
        if (nExchange == kMaxProbeExchanges) return FALSE;
        int nRet = packet.BuildGetNext();
        if (nRet < 0) return FALSE;
        std::vector<BYTE> reply;
        nRet = Transact(packet.GetRequest(), static_cast<DWORD>(packet.GetRequestLength()), &reply);
        if (nRet < 0) return FALSE;
        nRet = packet.Parse(reply.data(), static_cast<int>(reply.size()));
        if (nRet < 0) {
            BI_LOG("#CBIDI_BP::GetInfoProbe walk failed. nRet=%d\n", nRet);
            return FALSE;
        }
    }

    const auto& integers = packet.GetIntegerResults();
    const auto& strings = packet.GetStringResults();
    if (auto it = integers.find(kOIDColorants); it != integers.end() && !it->second.empty())
        *pdwColorantCount = static_cast<DWORD>(it->second.front());
    if (auto it = strings.find(kOIDSysLocation); it != strings.end() && !it->second.empty())
        *pLocation = it->second.front();
    if (auto it = strings.find(kOIDReflectCommonLocation); it != strings.end() && !it->second.empty()) {
        const PacketText& value = it->second.front();
        const BYTE by0 = value.size() > 0 ? static_cast<BYTE>(value[0]) : 0;
        const BYTE by1 = value.size() > 1 ? static_cast<BYTE>(value[1]) : 0;
        BI_LOG("CBIDI_BP::GetInfoProbe() succeed to MIB Data(Get BIDI_OID_REFLECTCOMMONLOCATION)\n");
        BI_LOG(" strRCLocation[0]-[1]: 0x%x 0x%x.\n", by0, by1);
        if (by0 & kCommonLocationBit) *pdwCommonLocation = 1;
    }
    if (auto it = strings.find(kOIDMediaPathDescription); bPagePrinter && it != strings.end())
        pMediaPaths->assign(it->second.begin(), it->second.end());
    if (auto it = strings.find(kOIDLocalizationLanguage); it != strings.end()) pLanguages->assign(it->second.begin(), it->second.end());
    return TRUE;
}
