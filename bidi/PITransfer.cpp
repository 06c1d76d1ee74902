// The paged PI request (see PITransfer.h).
#include "bidi/PITransfer.h"

#include "common/BILogging.h"

#include <string_view>

namespace {

// A reply template: literal bytes, or kAny for a byte of any value (captured in order).
constexpr int kAny = -1;
using Template = std::vector<int>;

constexpr std::string_view kFirstFormLead = "PI";
constexpr BYTE kFirstFormRequestBytes[] = {0x06, 0x00, 0x01};
constexpr std::string_view kSecondFormLead = "pm";
constexpr BYTE kSecondFormRequestBytes[] = {0x05, 0x00, 0x03};

constexpr DWORD kSecondFormCode = 17;  // the only code the second form carries

struct PICodeEntry {
    DWORD dwCode;
    BYTE byCode;
};
constexpr PICodeEntry kPICodes[] = {
    {1, 0x40},   // confidential-job data
    {2, 0xA0},   // tray block
    {14, 0x80},  // supported media, format 14
    {16, 0x81},  // input paths, format 16
    {17, 0x82},  // media information, format 17
};

void AppendText(Template& t, std::string_view text) {
    for (char c : text) t.push_back(static_cast<BYTE>(c));
}

void AppendWord(Template& t, WORD w) {
    t.push_back(w & 0xFF);
    t.push_back(w >> 8);
}

void AppendAny(Template& t, size_t count) { t.insert(t.end(), count, kAny); }

WORD ReadWord(const std::vector<BYTE>& bytes, size_t pos) {
    return static_cast<WORD>(bytes[pos] | (bytes[pos + 1] << 8));
}

// Matches t at reply[pos...]; appends the wildcard bytes to *pCaptured and advances *pPos.
bool Match(std::span<const BYTE> reply, size_t* pPos, const Template& t, std::vector<BYTE>* pCaptured) {
    if (t.size() > reply.size() - *pPos) return false;
    for (size_t i = 0; i < t.size(); ++i) {
        const BYTE b = reply[*pPos + i];
        if (t[i] == kAny)
            pCaptured->push_back(b);
        else if (t[i] != b)
            return false;
    }
    *pPos += t.size();
    return true;
}

// The first form's reply up to its code: "@BDC PI\r\n", two bytes, "PI:", the code.
void AppendFirstFormLead(Template& t, BYTE byCode) {
    AppendText(t, "@BDC PI\r\n");
    AppendAny(t, 2);
    AppendText(t, "PI:");
    t.push_back(byCode);
}

// The page header up to and including the ";" after the two values.
Template HeaderTemplate(int nForm, BYTE byCode, WORD wPage, WORD wChunk) {
    Template t;
    if (nForm == kPIFormFirst) {
        AppendFirstFormLead(t, byCode);
        AppendText(t, ":");
        AppendWord(t, wPage);
        AppendWord(t, wChunk);
    } else {
        AppendText(t, "pm:");
        AppendAny(t, 4);
    }
    AppendText(t, ":");
    AppendAny(t, 4);
    AppendText(t, ";");
    return t;
}

// The page-0 reply of a printer that has no data for the code: the header up to the code, then
// ":NA;".
Template NotAvailableTemplate(int nForm, BYTE byCode) {
    Template t;
    if (nForm == kPIFormFirst) {
        AppendFirstFormLead(t, byCode);
        AppendText(t, ":NA;");
    } else {
        AppendText(t, "pm:NA;");
    }
    return t;
}

Template LengthTemplate(int nForm) {
    Template t;
    AppendText(t, nForm == kPIFormFirst ? "SZ:" : "sz:");
    AppendAny(t, 2);
    AppendText(t, ";");
    AppendText(t, nForm == kPIFormFirst ? "DT:" : "dt:");
    return t;
}

}  // namespace

bool PICodeByte(DWORD dwCode, BYTE* pCodeByte) {
    for (const auto& entry : kPICodes) {
        if (entry.dwCode == dwCode) {
            *pCodeByte = entry.byCode;
            return true;
        }
    }
    return false;
}

std::vector<BYTE> BuildPIRequest(int nForm, BYTE byCode, WORD wPage, WORD wChunk) {
    std::vector<BYTE> request;
    if (nForm == kPIFormFirst) {
        request.assign(kFirstFormLead.begin(), kFirstFormLead.end());
        request.insert(request.end(), std::begin(kFirstFormRequestBytes), std::end(kFirstFormRequestBytes));
        request.push_back(byCode);
    } else {
        request.assign(kSecondFormLead.begin(), kSecondFormLead.end());
        request.insert(request.end(), std::begin(kSecondFormRequestBytes), std::end(kSecondFormRequestBytes));
    }
    request.push_back(wPage & 0xFF);
    request.push_back(wPage >> 8);
    request.push_back(wChunk & 0xFF);
    request.push_back(wChunk >> 8);
    return request;
}

bool MatchPIPage(int nForm, std::span<const BYTE> reply, BYTE byCode, WORD wPage, WORD wChunk, bool bDataPage,
                 PIPage* pPage) {
    size_t pos = 0;
    std::vector<BYTE> captured;
    if (!Match(reply, &pos, HeaderTemplate(nForm, byCode, wPage, wChunk), &captured)) return false;
    // The last four captured bytes are the two values (the first form captures two more ahead).
    const size_t values = captured.size() - 4;
    pPage->wValue1 = ReadWord(captured, values);
    pPage->wValue2 = ReadWord(captured, values + 2);
    pPage->data = {};
    if (!bDataPage) return true;

    captured.clear();
    if (!Match(reply, &pos, LengthTemplate(nForm), &captured)) return false;
    const size_t length = ReadWord(captured, 0);
    // The data and the ";" after it must lie inside the reply.
    if (length >= reply.size() - pos || reply[pos + length] != ';') return false;
    pPage->data = reply.subspan(pos, length);
    return true;
}

int RunPITransfer(int nForm, DWORD dwCode, const PISender& send, std::vector<BYTE>* pData) {
    pData->clear();
    BYTE byCode = 0;
    if (nForm == kPIFormFirst) {
        if (!PICodeByte(dwCode, &byCode)) return kPIRefusedCode;
    } else if (nForm != kPIFormSecond || dwCode != kSecondFormCode) {
        return kPIRefusedCode;
    }
    const size_t overhead = nForm == kPIFormFirst ? kPIFirstFormOverhead : kPISecondFormOverhead;

    // Page 0: the page count and the chunk size.
    std::vector<BYTE> reply;
    PIPage page;
    int nRet = send(BuildPIRequest(nForm, byCode, 0, kPIInitialChunk), &reply);
    if (nRet < 0) return nRet;
    if (!MatchPIPage(nForm, reply, byCode, 0, kPIInitialChunk, false, &page)) {
        size_t pos = 0;
        std::vector<BYTE> captured;
        if (Match(reply, &pos, NotAvailableTemplate(nForm, byCode), &captured)) {
            BI_LOG("#PI: the printer has no data for code 0x%02x.\n", static_cast<unsigned>(byCode));
            return kPINotAvailable;
        }
        BI_LOG("#PI reply of page 0 does not match.\n");
        return kPIFailed;
    }
    const size_t pages = page.wValue1;
    const WORD wChunk = page.wValue2;
    if (wChunk <= overhead) {
        BI_LOG("#PI chunk size %u leaves no room for data.\n", static_cast<unsigned>(wChunk));
        return kPIFailed;
    }
    const size_t perPage = wChunk - overhead;
    if (pages * perPage > kPIMaxTotalBytes) {
        BI_LOG("#PI transfer of %zu pages of %zu bytes is too large.\n", pages, perPage);
        return kPIFailed;
    }

    // Pages 1 and up, while they are full and the announced count is not reached.
    size_t lastLength = 0;
    for (WORD wPage = 1;; ++wPage) {
        nRet = send(BuildPIRequest(nForm, byCode, wPage, wChunk), &reply);
        if (nRet < 0) return nRet;
        if (!MatchPIPage(nForm, reply, byCode, wPage, wChunk, true, &page)) {
            BI_LOG("#PI reply of page %u does not match.\n", static_cast<unsigned>(wPage));
            return kPIFailed;
        }
        lastLength = page.data.size();
        if (lastLength == 0 || lastLength > perPage) {
            BI_LOG("#PI page %u carries %zu bytes (page size %zu).\n", static_cast<unsigned>(wPage), lastLength,
                   perPage);
            return kPIFailed;
        }
        pData->insert(pData->end(), page.data.begin(), page.data.end());
        if (lastLength != perPage || wPage >= pages) break;
    }
    // The last page must be short: a full one means data was cut off.
    if (lastLength == perPage) {
        BI_LOG("#PI transfer ends with a full page.\n");
        pData->clear();
        return kPIFailed;
    }
    return static_cast<int>(pData->size());
}
