// The paged PI request of ink-jet printers: building each page's request, matching its reply
// and joining the pages' data. The exchange itself is the caller's (a function that sends one
// request and hands back its reply), so the paging can run against any channel or a test.
//
// First form (OPK and TVD4 channels), 10 bytes: "PI" 06 00 01 code page chunk; reply per page
// "@BDC PI\r\n" xx "PI:" code ":" page chunk ":" v1 v2 ";" (page and chunk echoed), for pages
// 1 and up followed by "SZ:" len ";" "DT:" data ";". Second form (code 17 only, D4 and SNMP
// channels), 9 bytes: "pm" 05 00 03 page chunk; reply "pm:" xxxx ":" v1 v2 ";", then "sz:" len
// ";" "dt:" data ";". All 16-bit values least significant byte first. Page 0 answers the page
// count N (v1) and the chunk size C (v2); every data page but the last carries C minus the
// form's overhead.
#pragma once

#include "platform/win32.h"

#include <cstddef>
#include <cstdint>
#include <functional>
#include <span>
#include <vector>

inline constexpr int kPIFormFirst = 0;
inline constexpr int kPIFormSecond = 1;

inline constexpr WORD kPIInitialChunk = 0x0800;     // chunk size asked for with page 0
inline constexpr size_t kPIFirstFormOverhead = 37;  // bytes of a page that are not data
inline constexpr size_t kPISecondFormOverhead = 24;
// Largest joined transfer accepted; a printer announcing more pages is refused up front.
inline constexpr size_t kPIMaxTotalBytes = 1048576;

// Results besides the joined length.
inline constexpr int kPIFailed = -1;        // reply mismatch, empty or oversized page, bad paging
inline constexpr int kPINotAvailable = -150;  // page 0 answered "NA": the printer has no such data
inline constexpr int kPIRefusedCode = -201;  // code not asked with this form

// One matched page: the two 16-bit values and, for data pages, the data inside the reply.
struct PIPage {
    WORD wValue1 = 0;
    WORD wValue2 = 0;
    std::span<const BYTE> data;
};

// The code byte of the first form for information code dwCode (1, 2, 14, 16, 17). False else.
bool PICodeByte(DWORD dwCode, BYTE* pCodeByte);

// The request of one page.
std::vector<BYTE> BuildPIRequest(int nForm, BYTE byCode, WORD wPage, WORD wChunk);

// Matches one page's reply against its template (byCode, wPage and wChunk are the request's,
// echoed by the first form). Data pages must carry the length and data parts, the data wholly
// inside the reply. True on a match.
bool MatchPIPage(int nForm, std::span<const BYTE> reply, BYTE byCode, WORD wPage, WORD wChunk, bool bDataPage,
                 PIPage* pPage);

// Sends one request and fills the reply; a negative result is a failed exchange.
using PISender = std::function<int(std::span<const BYTE> request, std::vector<BYTE>* pReply)>;

// Runs the whole transfer of dwCode in form nForm; pData receives the pages' data joined in
// order. Its length (>= 0), kPIRefusedCode, kPIFailed, kPINotAvailable or the sender's negative result.
int RunPITransfer(int nForm, DWORD dwCode, const PISender& send, std::vector<BYTE>* pData);
