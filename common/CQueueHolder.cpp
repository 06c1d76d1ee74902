// CQueueHolder: a print queue handle and its description buffer, released together.
#include "common/CQueueHolder.h"

#include <new>

CQueueHolder::~CQueueHolder() {
    Close();
}

BOOL CQueueHolder::Open(LPCWSTR printerName) {
    Close();
    if (printerName == nullptr) return FALSE;
    PRINTER_DEFAULTSW defaults = {nullptr, nullptr, PRINTER_ALL_ACCESS};
    HANDLE handle = nullptr;
    if (!OpenPrinterW(const_cast<LPWSTR>(printerName), &handle, &defaults) || handle == nullptr) return FALSE;
    m_hPrinter = handle;
    return TRUE;
}

void CQueueHolder::Close() {
    if (m_hPrinter != nullptr) {
        ClosePrinter(m_hPrinter);
        m_hPrinter = nullptr;
    }
}

BYTE* CQueueHolder::Allocate(DWORD size) {
    m_pBuffer.reset();
    if (size == 0 || size > kMaxBuffer) return nullptr;
    try {
        m_pBuffer = std::make_unique<BYTE[]>(size);
    } catch (const std::bad_alloc&) {
        return nullptr;
    }
    return m_pBuffer.get();
}
