// CThread: one worker thread, created suspended and started with Resume. The object owns the
// thread handle; starting again, or destroying the object, first waits for the earlier thread
// to end (a thread that was never resumed is resumed so that it can end).
#pragma once

#include "platform/win32.h"

class CThread {
public:
    CThread() = default;
    ~CThread();
    CThread(const CThread&) = delete;
    CThread& operator=(const CThread&) = delete;

    // Waits for and closes a thread still held, then creates a suspended thread running
    // function(argument). TRUE when the thread exists.
    BOOL Create(LPTHREAD_START_ROUTINE function, LPVOID argument);
    // Lets the created thread run. TRUE on success.
    BOOL Resume();
    // Waits for the thread to end, at most the given milliseconds; TRUE when it has ended (or
    // there is none).
    BOOL Wait(DWORD milliseconds);
    // The thread's exit code (STILL_ACTIVE while it runs); FALSE without a thread.
    BOOL GetExitCode(DWORD* exitCode) const;

    HANDLE Handle() const { return m_hThread; }
    DWORD Id() const { return m_dwThreadId; }

private:
    void Close();

    HANDLE m_hThread = nullptr;
    DWORD m_dwThreadId = 0;
    bool m_bResumed = false;
};
