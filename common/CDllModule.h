// CDllModule: a library loaded at run time by path, owned by this object and unloaded when it is
// destroyed. The maker's transport module and the WinSNMP binding derive from it.
#pragma once

#include "platform/win32.h"

class CDllModule {
public:
    CDllModule() = default;
    virtual ~CDllModule();
    CDllModule(const CDllModule&) = delete;
    CDllModule& operator=(const CDllModule&) = delete;

    // Loads the library at path (a bare name is looked up in the system folder); an earlier
    // library is unloaded first. TRUE when the library is loaded.
    virtual BOOL Load(LPCWSTR path);
    void Unload();
    BOOL IsLoaded() const { return m_hModule != nullptr; }
    HMODULE Module() const { return m_hModule; }

    // The address of an exported function by name, or null (also when nothing is loaded).
    FARPROC GetProc(LPCSTR name) const;
    // The address of an exported function by ordinal, or null.
    FARPROC GetProcByOrdinal(WORD ordinal) const;

    // The function by name as the given function pointer type, or null.
    template <typename Function>
    Function GetFunction(LPCSTR name) const {
        return reinterpret_cast<Function>(GetProc(name));
    }

private:
    HMODULE m_hModule = nullptr;
};
