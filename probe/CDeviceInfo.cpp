// CDeviceInfo: copy and conversion of a raw hit, and the two device workers.
#include "probe/CDeviceInfo.h"

#include "common/BIInfo.h"
#include "common/BILogging.h"
#include "probe/CSnmpDll.h"
#include "probe/DeviceIDParser.h"
#include "probe/ProbeText.h"

#include <algorithm>
#include <cstddef>
#include <cstring>
#include <new>

namespace {

constexpr int kErrMissingInput = -3;
constexpr int kErrNoMemory = -201;

constexpr size_t kHitAddressBytes = sizeof(SProbeResult::szAddress);       // 15 characters and a zero
constexpr size_t kEntryAddressBytes = sizeof(SProbeAddress::szAddress);    // 63 characters and a zero
constexpr size_t kRecordAddressChars = sizeof(SBIProbeResult::szAddress) / sizeof(char16_t);
constexpr size_t kRecordLocationChars = sizeof(SBIProbeResult::szLocation) / sizeof(char16_t);
constexpr size_t kEntryTextChars = sizeof(SBIProbeAddress::szAddress) / sizeof(char16_t);

// The command sets that give each page-description-language bit.
constexpr DWORD kQlmPageSets = CMDSET_QLMPAGE_04 | CMDSET_QLMPAGEJ_04;
constexpr DWORD kQlmPageColourSets = CMDSET_QLMPAGECOLOR_01 | CMDSET_QLMPAGECOLORJ_01;
constexpr DWORD kPclSets = CMDSET_PCL | CMDSET_PCLXL;

// Objects of the System OEM examination.
constexpr char kDeviceIDColumn[] = "1.3.6.1.4.1.2699.1.2.1.2.1.1.3";
constexpr char kMediaPathType3[] = "1.3.6.1.2.1.43.13.4.1.9.1.3";
constexpr DWORD kPollIntervalMs = 100;
constexpr int kPollCount = 20;
constexpr BYTE kMediaPathLongEdge = 3;
constexpr BYTE kMediaPathShortEdge = 4;

constexpr char kDuplexLong[] = "Duplex Long Edge Binding";
constexpr char kDuplexShort[] = "Duplex Short Edge Binding";

// The zero-terminated text of a fixed field, or false when the field holds no terminator.
bool FieldText(const char* field, size_t size, std::string& out) {
    const void* end = std::memchr(field, 0, size);
    if (end == nullptr) return false;
    out.assign(field, static_cast<const char*>(end));
    return true;
}

// A zero-terminated text of at most kMaxTextBytes bytes, or false.
bool BoundedText(const char* text, std::string& out) {
    return FieldText(text, CDeviceInfo::kMaxTextBytes + 1, out);
}

// UTF-16 text into a fixed field of the packed record at `field`, cut to leave the terminator.
void StoreText(void* field, size_t chars, const std::u16string& text) {
    const size_t count = std::min(text.size(), chars - 1);
    std::memset(field, 0, chars * sizeof(char16_t));
    std::memcpy(field, text.data(), count * sizeof(char16_t));
}

BYTE* FieldOf(SBIProbeResult* record, size_t offset) { return reinterpret_cast<BYTE*>(record) + offset; }
BYTE* FieldOf(SBIProbeAddress* entry, size_t offset) { return reinterpret_cast<BYTE*>(entry) + offset; }

unsigned char LowerAscii(char c) {
    const auto u = static_cast<unsigned char>(c);
    return u >= 'A' && u <= 'Z' ? static_cast<unsigned char>(u + 32) : u;
}

// Printers differ in the case of their path descriptions ("Duplex long Edge Binding").
bool StartsWithNoCase(const std::string& text, const char* prefix) {
    const size_t length = std::strlen(prefix);
    if (text.size() < length) return false;
    for (size_t i = 0; i < length; ++i)
        if (LowerAscii(text[i]) != LowerAscii(prefix[i])) return false;
    return true;
}

bool EqualsNoCase(const std::string& text, const char* other) {
    return text.size() == std::strlen(other) && StartsWithNoCase(text, other);
}

// Polls the binding's answer every 100 ms, at most 20 times.
std::shared_ptr<const CSnmpDll::Answer> PollAnswer(const CSnmpDll& snmp) {
    for (int i = 0; i < kPollCount; ++i) {
        Sleep(kPollIntervalMs);
        if (auto answer = snmp.GetAnswer()) return answer;
    }
    return nullptr;
}

}  // namespace

CDeviceInfo::CDeviceInfo(CZkapiDll* pModule, std::mutex* pOpenLock) : m_pModule(pModule), m_pOpenLock(pOpenLock) {}

CDeviceInfo::~CDeviceInfo() {
    WaitForWorker();
}

void CDeviceInfo::WaitForWorker() {
    if (m_workerStarted) m_thread.Wait(INFINITE);
}

// ---- The raw hit ---------------------------------------------------------------------------

int CDeviceInfo::SetSProbeResult(const SProbeResult* pSProbeResult) {
    BI_LOG("CDeviceInfo::SetSProbeResult pSProbeResult=%x\n",
           static_cast<unsigned>(reinterpret_cast<uintptr_t>(pSProbeResult)));
    m_pRaw.reset();
    m_record.Reset();
    if (pSProbeResult == nullptr) {
        BI_LOG("#Param Error:pSProbeResult is NULL\n");
        return 0;
    }
    if (CopySProbeResult(pSProbeResult) != 1) {
        BI_LOG("#Failed CopySProbeResult func.\n");
        return 0;
    }
    if (ConvertSBIProbeResult() != 1) {
        m_pRaw.reset();
        BI_LOG("#Failed ConvertSBIProbeResult func.\n");
        return 0;
    }
    return 1;
}

// CopySProbeResult: everything the hit points to, each text within its bound.
int CDeviceInfo::CopySProbeResult(const SProbeResult* pSProbeResult) {
    if (pSProbeResult == nullptr) return kErrMissingInput;
    try {
        auto raw = std::make_unique<RawHit>();
        if (pSProbeResult->pDeviceID == nullptr || !BoundedText(pSProbeResult->pDeviceID, raw->deviceID))
            return kErrNoMemory;
        if (pSProbeResult->pDeviceName != nullptr) {
            if (!BoundedText(pSProbeResult->pDeviceName, raw->deviceName)) return kErrNoMemory;
            raw->hasName = true;
        }
        if (!FieldText(pSProbeResult->szAddress, kHitAddressBytes, raw->address)) return kErrNoMemory;
        for (const SProbeAddress* entry = pSProbeResult->pAddressList; entry != nullptr; entry = entry->pNext) {
            if (raw->addresses.size() == kMaxAddressEntries) return kErrNoMemory;
            RawAddress copy;
            copy.dwValue = entry->dwValue;
            if (!FieldText(entry->szAddress, kEntryAddressBytes, copy.text)) return kErrNoMemory;
            raw->addresses.push_back(std::move(copy));
        }
        m_pRaw = std::move(raw);
        return 1;
    } catch (const std::bad_alloc&) {
        return kErrNoMemory;
    }
}

bool CDeviceInfo::AllocateRecord(size_t count) {
    m_record.Reset();
    m_record.result.reset(new (std::nothrow) SBIProbeResult());
    if (!m_record.result) return false;
    if (count == 0) return true;
    m_record.addresses.reset(new (std::nothrow) SBIProbeAddress[count]());
    if (!m_record.addresses) {
        m_record.Reset();
        return false;
    }
    for (size_t i = 0; i + 1 < count; ++i) m_record.addresses[i].pNext = &m_record.addresses[i + 1];
    m_record.result->pAddressList = m_record.addresses.get();
    return true;
}

// ConvertSBIProbeResult: the caller's record from the copy; unsupported devices fail.
int CDeviceInfo::ConvertSBIProbeResult() {
    BI_LOG("CDeviceInfo::ConvertSBIProbeResult\n");
    if (!m_pRaw) return kErrMissingInput;
    if (!AllocateRecord(m_pRaw->addresses.size())) return kErrNoMemory;
    SBIProbeResult* record = m_record.result.get();

    DeviceIDInfo info = {};
    if (!ConvertDeviceID(&info, m_pRaw->deviceID.c_str())) {
        BI_LOG("#Failed ConvertDeviceID\n");
        m_record.Reset();
        return kErrNoMemory;
    }
    if (info.dwCommandSetBits == 0 && info.dwQLMPRBits == 0) {
        BI_LOG("Not Supported Device\n");
        m_record.Reset();
        return kErrNoMemory;
    }

    DWORD pdl = 0;
    DWORD domestic = 0;
    if (info.dwCommandSetBits & kQlmPageSets) {
        pdl |= VANTO_PROBE_PDL_QLMPAGE;
        BI_LOG("SupportPDL is QLMPAGE\n");
    }
    if (info.dwCommandSetBits & kQlmPageColourSets) {
        pdl |= VANTO_PROBE_PDL_QLMPAGE_COL;
        BI_LOG("SupportPDL is QLMPAGE_COL\n");
    }
    if (info.dwCommandSetBits & CMDSET_QLMPAGES_04) {
        pdl |= VANTO_PROBE_PDL_QLMPAGE_S04;
        BI_LOG("SupportPDL is QLMPAGE_S04\n");
    }
    if (info.dwQLMPRBits & QLMPR_LEVEL_BIT) {
        pdl |= VANTO_PROBE_PDL_QLMPR;
        domestic |= VANTO_PROBE_DOMESTIC_INKJET;
    }
    if (info.dwCommandSetBits & kPclSets) pdl |= VANTO_PROBE_PDL_PCL;
    record->dwSupportPDL = pdl;
    record->dwDomestic = domestic;
    if ((domestic & VANTO_PROBE_DOMESTIC_INKJET) && (info.dwFIDBits & FID_DPA)) record->dwDuplex = 1;

    if (!ConvertTexts()) {
        m_record.Reset();
        return kErrNoMemory;
    }
    return 1;
}

// The name, the hit's address and the address entries into the record; false when a text
// cannot be converted or memory runs out.
bool CDeviceInfo::ConvertTexts() {
    SBIProbeResult* record = m_record.result.get();
    try {
        std::u16string text;
        if (m_pRaw->hasName) {
            if (!ProbeTextToWide(CP_THREAD_ACP, m_pRaw->deviceName, text)) return false;
            m_record.name = std::make_unique<char16_t[]>(text.size() + 1);
            std::copy(text.begin(), text.end(), m_record.name.get());
            record->pDeviceName = m_record.name.get();
        }
        if (!ProbeTextToWide(CP_THREAD_ACP, m_pRaw->address, text)) return false;
        StoreText(FieldOf(record, offsetof(SBIProbeResult, szAddress)), kRecordAddressChars, text);
        for (size_t i = 0; i < m_pRaw->addresses.size(); ++i) {
            SBIProbeAddress* entry = &m_record.addresses[i];
            entry->dwValue = m_pRaw->addresses[i].dwValue;
            if (!ProbeTextToWide(CP_THREAD_ACP, m_pRaw->addresses[i].text, text)) return false;
            StoreText(FieldOf(entry, offsetof(SBIProbeAddress, szAddress)), kEntryTextChars, text);
        }
        return true;
    } catch (const std::bad_alloc&) {
        return false;
    }
}

bool CDeviceInfo::IsSameDevice(const SProbeResult& hit) const {
    if (!m_pRaw || !m_pRaw->hasName || hit.pDeviceName == nullptr) return false;
    std::string name;
    std::string address;
    if (!BoundedText(hit.pDeviceName, name) || name != m_pRaw->deviceName) return false;
    if (!FieldText(hit.szAddress, kHitAddressBytes, address) || address != m_pRaw->address) return false;
    const SProbeAddress* entry = hit.pAddressList;
    for (size_t i = 0; i < m_pRaw->addresses.size() && entry != nullptr; ++i, entry = entry->pNext) {
        std::string text;
        if (FieldText(entry->szAddress, kEntryAddressBytes, text) && text == m_pRaw->addresses[i].text) return true;
    }
    return false;
}

// ---- Workers --------------------------------------------------------------------------------

bool CDeviceInfo::StartWorker(LPTHREAD_START_ROUTINE function) {
    if (!m_thread.Create(function, this)) return false;
    if (!m_thread.Resume()) return false;
    m_workerStarted = true;
    return true;
}

int CDeviceInfo::StartConnection(BIInfo* pBIInfo) {
    if (!m_record.result || !m_pRaw || m_pRaw->addresses.empty() || m_pModule == nullptr || pBIInfo == nullptr)
        return 0;
    if (!m_pBIDI) {
        m_pBIDI.reset(new (std::nothrow) CBIDI_BP(m_pModule));
        if (!m_pBIDI) return 0;
    }
    return StartWorker(ConnectionThread) ? 1 : 0;
}

DWORD WINAPI CDeviceInfo::ConnectionThread(LPVOID argument) {
    BI_LOG("Start Thread\n");
    DWORD result = 0;
    try {
        result = static_cast<CDeviceInfo*>(argument)->GetInfoProbe();
    } catch (...) {
        result = 0;
    }
    BI_LOG("End Thread\n");
    return result;
}

// The worker of a found device: open it over the network under the search's lock, ask the
// description objects, and fill the record.
DWORD CDeviceInfo::GetInfoProbe() {
    BI_LOG("Call 'CBIDI::GetInfoProbe'\n");
    if (m_pOpenLock == nullptr) {
        BI_LOG("#Param Error:m_pCriticalSection is NULL.\n");
        return 0;
    }
    SBIProbeResult* record = m_record.result.get();
    {
        std::lock_guard<std::mutex> guard(*m_pOpenLock);
        BI_LOG("Call 'CBIDI::OpenA'\n");
        const int opened = m_pBIDI->OpenSNMP(m_pRaw->addresses.front().text.c_str());
        BI_LOG("Return 'CBIDI::OpenA'\n");
        if (!opened) return 0;
    }

    const BOOL bPage = (record->dwDomestic & VANTO_PROBE_DOMESTIC_INKJET) == 0;
    std::string location;
    DWORD dwColorants = 0;
    DWORD dwCommonLocation = 0;
    BIStringList mediaPaths;
    BIStringList languages;
    if (!m_pBIDI->GetInfoProbe(&location, &dwColorants, &dwCommonLocation, &mediaPaths, &languages, bPage)) {
        BI_LOG("#Failed to GetInfoProbe.\n");
        record->dwInfoObtained = 0;
        m_pBIDI->Close();
        return 0;
    }
    record->dwInfoObtained = 1;
    BI_LOG("Call 'CBIDI::Close'\n");
    m_pBIDI->Close();

    if (!location.empty()) {
        std::u16string text;
        if (!ProbeTextToWide(dwCommonLocation > 0 ? CP_UTF8 : CP_THREAD_ACP, location, text)) return 0;
        StoreText(FieldOf(record, offsetof(SBIProbeResult, szLocation)), kRecordLocationChars, text);
    }

    if (bPage) {
        BI_LOG("Get Duplex info from MIB(Page) '\n");
        const auto has = [&](const char* prefix) {
            return std::any_of(mediaPaths.begin(), mediaPaths.end(),
                               [&](const std::string& path) { return StartsWithNoCase(path, prefix); });
        };
        if (has(kDuplexLong) && has(kDuplexShort)) record->dwDuplex = 1;
    } else {
        BI_LOG("Get Duplex info from DeviceID(IJ) '\n");
    }

    record->dwColor = (dwColorants >= 2 || (dwColorants == 0 && !bPage)) ? 1 : 0;
    BI_LOG("nColorants=%d bCategoryPage=%d m_pSBIProbeResult->dwColor=%x\n", static_cast<int>(dwColorants),
           static_cast<int>(bPage), static_cast<unsigned>(record->dwColor));

    if ((record->dwDomestic & VANTO_PROBE_DOMESTIC_INKJET) == 0 &&
        std::any_of(languages.begin(), languages.end(), [](const std::string& l) { return EqualsNoCase(l, "ja"); }))
        record->dwDomestic = VANTO_PROBE_DOMESTIC_JA;

    char16_t locationText[kRecordLocationChars];
    std::memcpy(locationText, FieldOf(record, offsetof(SBIProbeResult, szLocation)), sizeof locationText);
    BI_LOG("DeviceName=%s Location=%s bSysLocationCommon=%ld Colorants=%d Duplex=%08x Domestic=%08x\n",
           m_pRaw->deviceName.c_str(), BILogging::Narrow(locationText).c_str(), static_cast<long>(dwCommonLocation),
           static_cast<int>(dwColorants), static_cast<unsigned>(record->dwDuplex),
           static_cast<unsigned>(record->dwDomestic));
    return 1;
}

// ---- The single-address device ---------------------------------------------------------------

int CDeviceInfo::StartSysOEM(const ZKProbeContext& context, Completion completion, void* argument) {
    std::string address;
    if (!FieldText(reinterpret_cast<const char*>(context.typeContext), kEntryAddressBytes, address)) return 0;
    std::u16string text;
    try {
        if (!ProbeTextToWide(CP_THREAD_ACP, address, text)) return 0;
    } catch (const std::bad_alloc&) {
        return 0;
    }
    if (!AllocateRecord(1)) return 0;
    m_record.addresses[0].dwValue = context.dwParam[2];
    StoreText(FieldOf(&m_record.addresses[0], offsetof(SBIProbeAddress, szAddress)), kEntryTextChars, text);
    m_record.result->dwSupportPDL = VANTO_PROBE_PDL_SYSOEM;
    m_record.result->dwInfoObtained = 1;
    m_completion = completion;
    m_completionArgument = argument;
    return StartWorker(SysOEMThread) ? 1 : 0;
}

DWORD WINAPI CDeviceInfo::SysOEMThread(LPVOID argument) {
    auto* self = static_cast<CDeviceInfo*>(argument);
    BI_LOG("Start Thread(SysOEM)\n");
    DWORD result = 0;
    try {
        result = self->GetSysOEMDeviceInfo();
    } catch (...) {
        BI_LOG("#Failed to get DeviceID from SystemOEM.\n");
        result = 0;
    }
    if (result) BI_LOG("End Thread result = %d\n", static_cast<int>(result));
    if (self->m_completion != nullptr) self->m_completion(self->m_completionArgument, result);
    return result;
}

// Asks the address for its device ID over WinSNMP; a model of the System OEM model table gives
// the name, colour, market and duplex; any other device loses its record.
DWORD CDeviceInfo::GetSysOEMDeviceInfo() {
    BI_LOG("Enter CDeviceInfo::GetSysOEMDeviceInfo func.\n");
    SBIProbeResult* record = m_record.result.get();
    if (record == nullptr || !m_record.addresses) {
        BI_LOG("#Param Error.\n");
        return 0;
    }
    CSnmpDll snmp;
    if (!snmp.Initialize()) {
        BI_LOG("#Failed to initialize snmpdll class.\n");
        return 0;
    }
    const auto failed = [] {
        BI_LOG("#Failed to get DeviceID from SystemOEM.\n");
        return 0;
    };

    char16_t wideAddress[kEntryTextChars];
    std::memcpy(wideAddress, FieldOf(&m_record.addresses[0], offsetof(SBIProbeAddress, szAddress)), sizeof wideAddress);
    wideAddress[kEntryTextChars - 1] = 0;
    char address[kEntryAddressBytes] = {};
    if (WideCharToMultiByte(CP_THREAD_ACP, 0, wideAddress, -1, address, sizeof address, nullptr, nullptr) <= 0)
        return failed();
    if (!snmp.Send(kDeviceIDColumn, address, 1)) {
        BI_LOG("#Failed to send MIB.\n");
        return failed();
    }
    const auto answer = PollAnswer(snmp);
    if (!answer) return 0;
    BI_LOG("Success to get DeviceID from SystemOEM.\n");

    // The answer is text only when it is an OCTET STRING; read it up to its first zero.
    const auto& bytes = answer->bytes;
    const std::string deviceID(reinterpret_cast<const char*>(bytes.data()),
                               std::find(bytes.begin(), bytes.end(), BYTE{0}) - bytes.begin());
    DeviceIDInfo info = {};
    ConvertDeviceID(&info, deviceID.c_str());
    BI_LOG("Model Name:%s.\n", info.szModelName);
    if (!info.dwInModelTable) {
        BI_LOG("DeviceID is not SystemOEM Model.\n");
        m_record.Reset();
        return failed();
    }

    const size_t nameChars = std::char_traits<char16_t>::length(info.wszModelName);
    m_record.name.reset(new (std::nothrow) char16_t[nameChars + 1]());
    if (!m_record.name) return failed();
    std::copy(info.wszModelName, info.wszModelName + nameChars, m_record.name.get());
    record->pDeviceName = m_record.name.get();
    BI_LOG("Copy ModelName %s.\n", info.szModelName);

    if ((info.dwModelClass & MODELCLASS_DUPLEX_STANDARD) == 0) {
        if (!snmp.Send(kMediaPathType3, address, 0)) {
            BI_LOG("#Failed to send MIB2.\n");
            return failed();
        }
        const auto pathType = PollAnswer(snmp);
        if (!pathType) return 0;
        const BYTE type = pathType->bytes.empty() ? 0 : pathType->bytes.front();
        record->dwDuplex = (type == kMediaPathLongEdge || type == kMediaPathShortEdge) ? 1 : 0;
        BI_LOG("Success to get prtMediaPathType Index3 from SystemOEM. nType=%d\n", static_cast<int>(type));
    } else {
        record->dwDuplex = 1;
    }
    record->dwColor = info.dwModelClass & MODELCLASS_COLOR;
    record->dwDomestic = info.dwModelClass & MODELCLASS_DOMESTIC;
    return 1;
}
