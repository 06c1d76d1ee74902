// CVANTO print-job control: whether jobs wait on the context's queue, and deleting them.
// Both open the queue with full printer access, so a caller without the right to administer
// the queue gets 0 from both. Spooler failures become 0 without a log line of their own.
#include "interface/CVANTO.h"

#include "common/BIInfo.h"
#include "common/BILogging.h"
#include "common/CQueueHolder.h"

#include <memory>
#include <new>

namespace {

constexpr DWORD kPrinterInfoLevel = 2;  // PRINTER_INFO_2W: the queue's job count
constexpr DWORD kJobInfoLevel = 2;      // JOB_INFO_2W
constexpr DWORD kFirstJob = 0;

}  // namespace

BOOL CVANTO::PrintJobsExists() {
    BI_LOG("CVANTO::PrintJobsExists\n");
    if (!m_pBIInfo) return FALSE;
    try {
        CQueueHolder queue;
        if (!queue.Open(m_pBIInfo->GetPrinterName())) return FALSE;

        DWORD needed = 0;
        GetPrinterW(queue.Handle(), kPrinterInfoLevel, nullptr, 0, &needed);
        if (needed < sizeof(PRINTER_INFO_2W)) return FALSE;
        BYTE* description = queue.Allocate(needed);
        if (description == nullptr) return FALSE;
        if (!GetPrinterW(queue.Handle(), kPrinterInfoLevel, description, needed, &needed)) return FALSE;
        DWORD jobCount = reinterpret_cast<const PRINTER_INFO_2W*>(description)->cJobs;

        DWORD returned = 0;
        needed = 0;
        if (EnumJobsW(queue.Handle(), kFirstJob, jobCount, kJobInfoLevel, nullptr, 0, &needed, &returned)) {
            return returned > 0 ? TRUE : FALSE;  // nothing to enumerate
        }
        if (GetLastError() != ERROR_INSUFFICIENT_BUFFER) return FALSE;
        if (needed == 0 || needed > CQueueHolder::kMaxBuffer) return FALSE;
        auto jobs = std::make_unique<BYTE[]>(needed);
        returned = 0;
        if (!EnumJobsW(queue.Handle(), kFirstJob, jobCount, kJobInfoLevel, jobs.get(), needed, &needed, &returned)) {
            return FALSE;
        }
        return returned > 0 ? TRUE : FALSE;
    } catch (const std::bad_alloc&) {
        return FALSE;
    }
}

// Pause, purge, resume: the queue ends idle, empty and not paused. The results of the three
// commands are not checked: TRUE means the queue could be opened and the purge was attempted.
BOOL CVANTO::DeletePrintJobs() {
    BI_LOG("CVANTO::DeletePrintJobs\n");
    if (!m_pBIInfo) return FALSE;
    CQueueHolder queue;
    if (!queue.Open(m_pBIInfo->GetPrinterName())) return FALSE;
    SetPrinterW(queue.Handle(), 0, nullptr, PRINTER_CONTROL_PAUSE);
    SetPrinterW(queue.Handle(), 0, nullptr, PRINTER_CONTROL_PURGE);
    SetPrinterW(queue.Handle(), 0, nullptr, PRINTER_CONTROL_RESUME);
    return TRUE;
}
