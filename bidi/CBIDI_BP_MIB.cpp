// CBIDI_BP's MIB query layer: one request and one reply through the transport module, single
// objects, and column walks over SNMP (GetNext table walk) and over OPK (batched MDR requests).
#include "bidi/CBIDI_BP.h"

#include "common/BILogging.h"
#include "packet/CMDRPacket.h"
#include "packet/CSNMPPacket.h"

#include <algorithm>
#include <charconv>
#include <cstring>
#include <new>
#include <string_view>

namespace {

// Rows asked per SNMP request for the columns that the printer access walks; any other column
// is walked one row per request.
struct RowsPerRequest {
    const char* pOID;
    int nRows;
};
constexpr RowsPerRequest kRowsPerRequest[] = {
    {"2.1.43.10.2.1.6.1.1", 2},           // prtMarkerProcessColorants
    {"2.1.1.6.0", 2},                     // sysLocation
    {"4.1.4913.1.1.3.1.1.78.0", 2},       // maker's common-location object
    {"2.1.43.13.4.1.10.1.1", 4},          // prtMediaPathDescription
    {"2.1.25.2.2.0", 2},                  // hrMemorySize
    {"2.1.25.2.3.1.3.1", 4},              // hrStorageDescr
    {"4.1.4913.1.2.2.1.1.1.5.1", 2},      // maker's object
    {"4.1.4913.1.2.2.25.1.1.3.1.1", 4},   // maker's storage column
    {"4.1.4913.1.2.2.25.3.1.2.1.1", 4},   // maker's storage column
    {"2.1.43.8.2.1.13.1.1", 2},           // prtInputName
    {"2.1.43.8.2.1.9.1.1", 2},            // prtInputMaxCapacity
    {"2.1.43.8.2.1.10.1.1", 2},           // prtInputCurrentLevel
    {"2.1.43.9.2.1.7.1.1", 2},            // prtOutputName
    {"2.1.43.9.2.1.24.1.1", 2},           // prtOutputOffsetStacking
    {"2.1.43.13.4.1.3.1", 2},             // prtMediaPathMediaSizeUnit
    {"2.1.43.13.4.1.5.1", 2},             // prtMediaPathMaxMediaFeedDir
    {"2.1.43.13.4.1.6.1", 2},             // prtMediaPathMaxMediaXFeedDir
    {"2.1.43.13.4.1.7.1", 2},             // prtMediaPathMinMediaFeedDir
    {"2.1.43.13.4.1.8.1", 2},             // prtMediaPathMinMediaXFeedDir
    {"2.1.43.13.4.1.9.1.1", 2},           // prtMediaPathType
    {"4.1.4913.1.2.2.6.1.1.2.1.1", 24},   // maker's supported paper size column
    {"4.1.4913.1.2.2.7.1.1.2.1.1", 15},   // maker's supported paper type column
    {"4.1.4913.1.2.2.6.1.1.14.1.1", 24},  // maker's paper direction column
};

// Columns read five rows per MDR request; every other column one row per request.
constexpr const char* kMDRBatchColumns[] = {
    "4.1.4913.1.2.2.6.1.1.2.1.1",  // supported paper sizes
    "4.1.4913.1.2.2.7.1.1.2.1.1",  // supported paper types
};
constexpr int kMDRBatchSize = 5;

// The paper direction column that GetTableStringsByIndex reads row by row.
constexpr char kPaperDirectionColumn[] = "4.1.4913.1.2.2.6.1.1.14.1.1";

constexpr BYTE kMDRCommandGet = 0;         // MDR command code of a read
constexpr int kMaxNotEchoedRetries = 5;    // unanswered MDR requests retried before failing
constexpr int kFirmBufClearCalls = 10;     // status calls of one buffer drain at most
// A status call this slow waited out the module's status wait, so the buffer is empty. The module
// waits as long as the last receive did: under a time-out shorter than twice this, half of it.
constexpr DWORD kFirmBufClearQuietMs = 1000;
constexpr DWORD kMaxInPlaceArc = 127;      // the MDR packet advances an arc in place up to here
constexpr int kMaxSNMPExchanges = 1024;    // bound of one SNMP walk (the packet ends it sooner)

int SNMPRowsPerRequest(std::string_view oid) {
    for (const RowsPerRequest& entry : kRowsPerRequest)
        if (oid == entry.pOID) return entry.nRows;
    return 1;
}

int MDRBatchSize(std::string_view oid) {
    for (const char* pColumn : kMDRBatchColumns)
        if (oid == pColumn) return kMDRBatchSize;
    return 1;
}

}  // namespace

// Transact: sends one request on the open channel and receives its reply (size query, then
// the bytes).
int CBIDI_BP::Transact(const BYTE* pRequest, DWORD dwLength, std::vector<BYTE>* pReply) {
    if (pRequest == nullptr || pReply == nullptr || !m_pChannel || m_pChannel->nHandle < 0 ||
        m_pChannel->pModule == nullptr)
        return BP_ERR_BAD_ARGUMENT;
    pReply->clear();
    const CZkapiDll& module = *m_pChannel->pModule;
    const int32_t hChannel = m_pChannel->nHandle;

    BI_LOG("Call 'Send' function of ZKAPI Module.\n");
    BI_DUMP(pRequest, dwLength);
    int32_t nRet = module.ZKSend(hChannel, pRequest, dwLength);
    BI_LOG("Return 'Send' function of ZKAPI Module. nRet=%d\n", nRet);
    if (nRet < 0) return nRet;

    int32_t nSize = 0;
    BI_LOG("Call 'Receive' function of ZKAPI Module(for buffsize).\n");
    nRet = module.ZKReceive(hChannel, nullptr, &nSize, m_dwReceiveTimeout);
    BI_LOG("Return 'Receive' function of ZKAPI Module(for buffsize).nRet=%d(-4:Success)\n", nRet);
    if (nRet != kZkSizeQuery) return nRet;
    if (nSize < 0 || static_cast<uint32_t>(nSize) > kZkMaxReplySize) return BP_ERR_BAD_ARGUMENT;

    try {
        pReply->assign(static_cast<size_t>(nSize), 0);
    } catch (const std::bad_alloc&) {
        return BP_ERR_BAD_ARGUMENT;
    }
    int32_t nBufferSize = nSize;
    BI_LOG("Call 'Receive' function of ZKAPI Module.\n");
    nRet = module.ZKReceive(hChannel, pReply->data(), &nBufferSize, m_dwReceiveTimeout);
    BI_LOG("Return 'Receive' function of ZKAPI Module.nRet=%d(>0:Success)\n", nRet);
    if (nRet < 0) {
        pReply->clear();
        return nRet;
    }
    // The reply is what the module wrote, never more than what was allocated.
    pReply->resize(std::min(static_cast<size_t>(nRet), pReply->size()));
    BI_DUMP(pReply->data(), pReply->size());
    return nRet;
}

// AskOne: one object by GetRequest (SNMP) or a one-object MDR request (OPK); *pPacket holds the
// parsed reply. The parse result, 0 without a packet when the channel is neither, or a negative
// code.
int CBIDI_BP::AskOne(const char* pOID, std::unique_ptr<CPacket>* pPacket) {
    std::string strKey = pOID;
    int nRet = 0;
    if (IsChannel(kZkChannelSNMP)) {
        auto snmp = std::make_unique<CSNMPPacket>();
        snmp->SetRequestType(PDU_GET_REQUEST);
        nRet = snmp->BuildGet(strKey);
        *pPacket = std::move(snmp);
    } else if (IsChannel(kZkChannelOPK)) {
        auto mdr = std::make_unique<CMDRPacket>();
        mdr->SetRequestType(kMDRCommandGet);
        int nCount = 1;
        nRet = mdr->BuildRequest(strKey, nCount);
        *pPacket = std::move(mdr);
    } else {
        return 0;
    }
    if (nRet < 0) return nRet;

    std::vector<BYTE> reply;
    CPacket& packet = **pPacket;
    nRet = Transact(packet.GetRequest(), static_cast<DWORD>(packet.GetRequestLength()), &reply);
    if (nRet < 0) return nRet;
    const int nParse = packet.Parse(reply.data(), static_cast<int>(reply.size()));
    if (nParse < 0) BI_LOG("#CBIDI_BP::GetMIBValue the reply does not answer %s. nRet=%d\n", pOID, nParse);
    return nParse;
}

// GetMIBValue: the raw value bytes of one object. An integer comes as its contents bytes (two's
// complement, most significant first) over SNMP and over OPK alike.
int CBIDI_BP::GetMIBValue(const char* pOID, std::vector<BYTE>* pValue) {
    BI_LOG("CBIDI_BP::GetMIBValue %s\n", pOID != nullptr ? pOID : "(null)");
    if (pOID == nullptr || pValue == nullptr) return BP_ERR_BAD_ARGUMENT;
    pValue->clear();
    std::unique_ptr<CPacket> packet;
    const int nParse = AskOne(pOID, &packet);
    if (nParse < 0 || !packet) return nParse;

    std::string strKey = pOID;
    DWORD dwSize = 0;
    packet->GetValue(strKey, nullptr, &dwSize);
    if (dwSize == 0) {
        BI_LOG("#CBIDI_BP::GetMIBValue no value for %s.\n", pOID);
        return BP_ERR_BAD_ARGUMENT;
    }
    try {
        pValue->assign(dwSize, 0);
    } catch (const std::bad_alloc&) {
        return BP_ERR_BAD_ARGUMENT;
    }
    if (!packet->GetValue(strKey, pValue->data(), &dwSize)) {
        pValue->clear();
        BI_LOG("#CBIDI_BP::GetMIBValue the value of %s cannot be read.\n", pOID);
        return BP_ERR_BAD_ARGUMENT;
    }
    return nParse;
}

// GetMIBInteger: a Get of exactly this object. A walk would start at the column's parent and
// hand back row 1 (or another object) first; a value at one row must come from that row. Only
// an integer answers: a text value is no number.
int CBIDI_BP::GetMIBInteger(const char* pOID, int32_t* pnValue) {
    BI_LOG("CBIDI_BP::GetMIBInteger %s\n", pOID != nullptr ? pOID : "(null)");
    if (pOID == nullptr || pnValue == nullptr) return 0;
    std::unique_ptr<CPacket> packet;
    const int nParse = AskOne(pOID, &packet);
    bool bRead = false;
    if (nParse >= 0 && packet) {
        if (IsChannel(kZkChannelOPK)) {
            const auto& mdr = static_cast<const CMDRPacket&>(*packet);
            std::string strKey;
            bRead = mdr.GetNamedValueCount() > 0 && mdr.GetValueType(0) == PACKETDATA_TYPE_INTEGER &&
                    mdr.GetIntValue(0, strKey, *pnValue);
        } else {
            const auto it = packet->GetIntegerResults().find(std::string_view(pOID));
            bRead = it != packet->GetIntegerResults().end() && !it->second.empty();
            if (bRead) *pnValue = it->second.front();
        }
    }
    m_nLastMIBResult = bRead ? 1 : std::min(nParse, 0);
    if (!bRead) BI_LOG("#CBIDI_BP::GetMIBInteger no integer for %s. nRet=%d\n", pOID, nParse);
    return bRead ? 1 : 0;
}

int CBIDI_BP::GetValueList(const char* pOID, std::vector<int32_t>* pList) {
    BI_LOG("CBIDI_BP::GetValueList %s\n", pOID != nullptr ? pOID : "(null)");
    if (pOID == nullptr || pList == nullptr) {
        m_nLastMIBResult = BP_ERR_BAD_ARGUMENT;
    } else if (IsChannel(kZkChannelSNMP)) {
        m_nLastMIBResult = WalkSNMP(pOID, false, pList, nullptr);
    } else if (IsChannel(kZkChannelOPK)) {
        m_nLastMIBResult = WalkMDR(pOID, false, pList, nullptr);
    } else {
        m_nLastMIBResult = BP_ERR_BAD_ARGUMENT;
    }
    if (m_nLastMIBResult != 1) BI_LOG("#CBIDI_BP::GetValueList failed. nRet=%d\n", m_nLastMIBResult);
    return m_nLastMIBResult == 1 ? 1 : 0;
}

int CBIDI_BP::GetStringList(const char* pOID, BIStringList* pList) {
    BI_LOG("CBIDI_BP::GetStringList %s\n", pOID != nullptr ? pOID : "(null)");
    if (pOID == nullptr || pList == nullptr) {
        m_nLastMIBResult = BP_ERR_BAD_ARGUMENT;
    } else if (IsChannel(kZkChannelSNMP)) {
        m_nLastMIBResult = WalkSNMP(pOID, true, nullptr, pList);
    } else if (IsChannel(kZkChannelOPK)) {
        m_nLastMIBResult = WalkMDR(pOID, true, nullptr, pList);
    } else {
        m_nLastMIBResult = BP_ERR_BAD_ARGUMENT;
    }
    if (m_nLastMIBResult != 1) BI_LOG("#CBIDI_BP::GetStringList failed. nRet=%d\n", m_nLastMIBResult);
    return m_nLastMIBResult == 1 ? 1 : 0;
}

bool CBIDI_BP::PrinterAnswered(int nResult) {
    switch (nResult) {
    case 1:
    case 0:
    case PACKET_ERR_AGENT_ERROR:
    case PACKET_ERR_MDR_STATUS:
    case PACKET_ERR_STRUCTURE: return true;
    default: return false;
    }
}

// WalkSNMP: the GetNext table walk of one column; the output list is replaced by the packet's
// result for the column. 1, 0 when the column is missing from the results, or a negative code.
int CBIDI_BP::WalkSNMP(const char* pOID, bool bStrings, std::vector<int32_t>* pValues, BIStringList* pStrings) {
    CSNMPPacket packet;
    packet.SetWalkList({{pOID, SNMPRowsPerRequest(pOID)}});
    int nParse = 0;
    for (int nExchange = 0; !packet.IsDone(); ++nExchange) {
        if (nExchange == kMaxSNMPExchanges) return BP_ERR_BAD_ARGUMENT;
        const int nBuild = packet.BuildGetNext();
        if (nBuild < 0) return nBuild;
        std::vector<BYTE> reply;
        const int nRet = Transact(packet.GetRequest(), static_cast<DWORD>(packet.GetRequestLength()), &reply);
        if (nRet < 0) return nRet;
        nParse = packet.Parse(reply.data(), static_cast<int>(reply.size()));
        if (nParse < 0) return nParse;
    }
    if (nParse != 0) return 0;
    try {
        if (bStrings) {
            const auto it = packet.GetStringResults().find(pOID);
            if (it == packet.GetStringResults().end()) return 0;
            pStrings->assign(it->second.begin(), it->second.end());
        } else {
            const auto it = packet.GetIntegerResults().find(pOID);
            if (it == packet.GetIntegerResults().end()) return 0;
            pValues->assign(it->second.begin(), it->second.end());
        }
    } catch (const std::bad_alloc&) {
        return BP_ERR_BAD_ARGUMENT;
    }
    return 1;
}

// WalkMDR: reads a column from the identifier's row on in batches until the printer reports
// the column's end (status 0x82 or 0x81); a batch that ran into the end is read again row by
// row. Unanswered requests are retried after draining the printer's buffer. Values are appended.
int CBIDI_BP::WalkMDR(const char* pOID, bool bStrings, std::vector<int32_t>* pValues, BIStringList* pStrings) {
    std::string strColumn;
    DWORD dwIndex = 0;
    if (!SplitIndex(pOID, &strColumn, &dwIndex)) return BP_ERR_BAD_ARGUMENT;
    int nBatch = MDRBatchSize(pOID);
    int nRetries = 0;
    if (bStrings)
        pStrings->clear();
    else
        pValues->clear();
    for (;;) {
        if (dwIndex > BP_MAX_ROW_INDEX) {
            BI_LOG("#CBIDI_BP::WalkMDR the column %s goes on past row %u.\n", strColumn.c_str(), BP_MAX_ROW_INDEX);
            return BP_ERR_BAD_ARGUMENT;
        }
        // Rows past 127 cannot be advanced inside one request: ask them one by one.
        int nCount = dwIndex + static_cast<DWORD>(nBatch) - 1 <= kMaxInPlaceArc ? nBatch : 1;

        CMDRPacket packet;
        packet.SetRequestType(kMDRCommandGet);
        int nRet = packet.BuildRequest(AppendIndex(strColumn, static_cast<BYTE>(dwIndex)), nCount);
        if (nRet < 0) return nRet;
        std::vector<BYTE> reply;
        nRet = Transact(packet.GetRequest(), static_cast<DWORD>(packet.GetRequestLength()), &reply);
        if (nRet < 0) return nRet;
        nRet = packet.Parse(reply.data(), static_cast<int>(reply.size()));

        if (nRet == PACKET_ERR_AGENT_ERROR || nRet == PACKET_ERR_MDR_STATUS) {
            if (nCount > 1) {
                nBatch = 1;
                continue;
            }
            return 1;
        }
        if (nRet == PACKET_ERR_NOT_ECHOED) {
            if (nRetries == kMaxNotEchoedRetries) {
                BI_LOG("#CBIDI_BP::WalkMDR no answer to the request after %d retries.\n", nRetries);
                return PACKET_ERR_NOT_ECHOED;
            }
            ++nRetries;
            if (!FirmBufClear()) return PACKET_ERR_NOT_ECHOED;
            continue;
        }
        if (nRet < 0) return nRet;

        try {
            for (size_t i = 0; i < packet.GetNamedValueCount(); ++i) {
                std::string strKey;
                if (bStrings) {
                    std::string strValue;
                    if (packet.GetValueType(i) != PACKETDATA_TYPE_STRING || !packet.GetStringValue(i, strKey, strValue))
                        return BP_ERR_BAD_ARGUMENT;
                    pStrings->push_back(std::move(strValue));
                } else {
                    int32_t nValue = 0;
                    if (packet.GetValueType(i) != PACKETDATA_TYPE_INTEGER || !packet.GetIntValue(i, strKey, nValue))
                        return BP_ERR_BAD_ARGUMENT;
                    pValues->push_back(nValue);
                }
            }
        } catch (const std::bad_alloc&) {
            return BP_ERR_BAD_ARGUMENT;
        }
        nRetries = 0;
        dwIndex += static_cast<DWORD>(nCount);
    }
}

// GetTableStringsByIndex: the paper direction column row by row over OPK; a row the printer
// does not have keeps its place as an empty string.
int CBIDI_BP::GetTableStringsByIndex(BIStringList* pList, DWORD dwLastIndex) {
    BI_LOG("CBIDI_BP::GetTableStringsByIndex dwLastIndex=%u\n", dwLastIndex);
    if (pList == nullptr || !IsChannel(kZkChannelOPK)) return BP_ERR_BAD_ARGUMENT;
    std::string strColumn;
    DWORD dwIndex = 0;
    if (!SplitIndex(kPaperDirectionColumn, &strColumn, &dwIndex)) return BP_ERR_BAD_ARGUMENT;
    if (dwLastIndex > BP_MAX_ROW_INDEX) {
        BI_LOG("#CBIDI_BP::GetTableStringsByIndex rows past %u cannot be asked.\n", BP_MAX_ROW_INDEX);
        return 0;
    }
    int nRetries = 0;
    try {
        while (dwIndex <= dwLastIndex) {
            CMDRPacket packet;
            packet.SetRequestType(kMDRCommandGet);
            int nCount = 1;
            int nRet = packet.BuildRequest(AppendIndex(strColumn, static_cast<BYTE>(dwIndex)), nCount);
            if (nRet < 0) return 0;
            std::vector<BYTE> reply;
            nRet = Transact(packet.GetRequest(), static_cast<DWORD>(packet.GetRequestLength()), &reply);
            if (nRet < 0) return 0;
            nRet = packet.Parse(reply.data(), static_cast<int>(reply.size()));
            if (nRet == PACKET_ERR_NOT_ECHOED) {
                if (nRetries == kMaxNotEchoedRetries || (++nRetries, !FirmBufClear())) {
                    BI_LOG("#CBIDI_BP::GetTableStringsByIndex no answer for row %u.\n", dwIndex);
                    return 0;
                }
                continue;
            }
            if (nRet == PACKET_ERR_AGENT_ERROR) {
                pList->emplace_back();
            } else {
                std::string strKey;
                std::string strValue;
                if (nRet < 0 || packet.GetValueType(0) != PACKETDATA_TYPE_STRING ||
                    !packet.GetStringValue(0, strKey, strValue)) {
                    BI_LOG("#CBIDI_BP::GetTableStringsByIndex row %u not read. nRet=%d\n", dwIndex, nRet);
                    return 0;
                }
                pList->push_back(std::move(strValue));
            }
            nRetries = 0;
            ++dwIndex;
        }
    } catch (const std::bad_alloc&) {
        return 0;
    }
    return 1;
}

// FirmBufClear: asks for the status until one call takes a second or more (nothing stale was
// left to read) or ten calls were made. Every call must be answered.
int CBIDI_BP::FirmBufClear() {
    BI_LOG("CBIDI_BP::FirmBufClear\n");
    if (m_stAutoConfigInfo.dwPrinterCategory == PRINTER_CATEGORY_INKJET || !m_pChannel || m_pChannel->nHandle < 0 ||
        m_pChannel->pModule == nullptr)
        return 0;
    const DWORD dwQuietMs = std::min(kFirmBufClearQuietMs, m_dwReceiveTimeout / 2);
    for (int nCall = 0; nCall < kFirmBufClearCalls; ++nCall) {
        int32_t nSize = 0;
        BI_LOG("Call GetStatus function of ZKAPI Mudule(for buffsize).\n");
        const DWORD dwStart = GetTickCount();
        const int32_t nRet = m_pChannel->pModule->ZKGetStatus(m_pChannel->nHandle, nullptr, &nSize);
        const DWORD dwElapsed = GetTickCount() - dwStart;
        BI_LOG("Return GetStatus function of ZKAPI Mudule(for buffsize). nRet=%d(-4 or -16:Success)\n", nRet);
        if (nRet != kZkSizeQuery && nRet != kZkNoStatus) return 0;
        if (dwElapsed >= dwQuietMs) break;
    }
    return 1;
}

std::string CBIDI_BP::AppendIndex(const std::string& strOID, BYTE byIndex) {
    return strOID + "." + std::to_string(static_cast<unsigned>(byIndex));
}

bool CBIDI_BP::SplitIndex(const std::string& strOID, std::string* pColumn, DWORD* pdwIndex) {
    if (pColumn == nullptr || pdwIndex == nullptr) return false;
    const size_t nDot = strOID.rfind('.');
    if (nDot == std::string::npos || nDot + 1 == strOID.size()) return false;
    DWORD dwIndex = 0;
    const char* pBegin = strOID.data() + nDot + 1;
    const char* pEnd = strOID.data() + strOID.size();
    const auto [pStop, ec] = std::from_chars(pBegin, pEnd, dwIndex);
    if (ec != std::errc() || pStop != pEnd) return false;
    *pColumn = strOID.substr(0, nDot);
    *pdwIndex = dwIndex;
    return true;
}
