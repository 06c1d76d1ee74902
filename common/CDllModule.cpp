// CDllModule: owns one library loaded at run time.
#include "common/CDllModule.h"

#include "common/BILogging.h"

CDllModule::~CDllModule() {
    Unload();
}

BOOL CDllModule::Load(LPCWSTR path) {
    Unload();
    if (path == nullptr || path[0] == 0) return FALSE;
    m_hModule = LoadLibraryW(path);
    if (m_hModule == nullptr) {
        BI_LOG("#Failed to LoadLibrary %s. (%u)\n", BILogging::Narrow(path).c_str(), static_cast<unsigned>(GetLastError()));
        return FALSE;
    }
    return TRUE;
}

void CDllModule::Unload() {
    if (m_hModule != nullptr) {
        FreeLibrary(m_hModule);
        m_hModule = nullptr;
    }
}

FARPROC CDllModule::GetProc(LPCSTR name) const {
    if (m_hModule == nullptr || name == nullptr) return nullptr;
    return GetProcAddress(m_hModule, name);
}

FARPROC CDllModule::GetProcByOrdinal(WORD ordinal) const {
    if (m_hModule == nullptr) return nullptr;
    return GetProcAddress(m_hModule, MAKEINTRESOURCEA(ordinal));
}
