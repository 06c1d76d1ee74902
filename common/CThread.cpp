// CThread: a worker thread handle, waited for before it is let go.
#include "common/CThread.h"

#include "common/BILogging.h"

CThread::~CThread() {
    Close();
}

// A thread is never abandoned while it may run: wait for it without limit, then close it.
void CThread::Close() {
    if (m_hThread == nullptr) return;
    if (!m_bResumed) ResumeThread(m_hThread);
    WaitForSingleObject(m_hThread, INFINITE);
    CloseHandle(m_hThread);
    m_hThread = nullptr;
    m_dwThreadId = 0;
    m_bResumed = false;
}

BOOL CThread::Create(LPTHREAD_START_ROUTINE function, LPVOID argument) {
    BI_LOG("Call 'CThread::Create'\n");
    Close();
    if (function == nullptr) return FALSE;
    DWORD id = 0;
    HANDLE thread = CreateThread(nullptr, 0, function, argument, CREATE_SUSPENDED, &id);
    if (thread == nullptr) return FALSE;
    m_hThread = thread;
    m_dwThreadId = id;
    return TRUE;
}

BOOL CThread::Resume() {
    BI_LOG("Call 'CThread::Resume'\n");
    if (m_hThread == nullptr || m_bResumed) return FALSE;
    if (ResumeThread(m_hThread) == static_cast<DWORD>(-1)) return FALSE;
    m_bResumed = true;
    return TRUE;
}

BOOL CThread::Wait(DWORD milliseconds) {
    if (m_hThread == nullptr) return TRUE;
    return WaitForSingleObject(m_hThread, milliseconds) == WAIT_OBJECT_0 ? TRUE : FALSE;
}

BOOL CThread::GetExitCode(DWORD* exitCode) const {
    if (m_hThread == nullptr || exitCode == nullptr) return FALSE;
    return GetExitCodeThread(m_hThread, exitCode);
}
