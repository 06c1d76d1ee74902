// CQueueHolder: a print queue opened with full printer access, and an owned buffer for what the
// spooler describes of it. Both are released when the holder is destroyed, on every path.
#pragma once

#include "platform/win32.h"

#include <memory>

class CQueueHolder {
public:
    CQueueHolder() = default;
    ~CQueueHolder();
    CQueueHolder(const CQueueHolder&) = delete;
    CQueueHolder& operator=(const CQueueHolder&) = delete;

    // Opens the queue by name with PRINTER_ALL_ACCESS, no data type and no device mode; an
    // earlier handle is closed first. TRUE when a non-null handle was obtained.
    BOOL Open(LPCWSTR printerName);
    void Close();
    HANDLE Handle() const { return m_hPrinter; }

    // A zeroed buffer of the given size, owned by the holder (replaces an earlier one); null
    // when the size is 0 or above the holder's bound.
    BYTE* Allocate(DWORD size);
    BYTE* Buffer() const { return m_pBuffer.get(); }

    // The largest description the holder accepts from the spooler.
    static constexpr DWORD kMaxBuffer = 16u * 1024u * 1024u;

private:
    HANDLE m_hPrinter = nullptr;
    std::unique_ptr<BYTE[]> m_pBuffer;
};
