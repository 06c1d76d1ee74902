// The 31 exports of the CFGX module (VUD3CFGX.DLL): argument checks, the table of open sessions,
// and the calls into the session, the file code and the queue code.
//
// Handles are counter values that are never reused, looked up in a table under a lock, so a
// closed or made-up handle is refused instead of being dereferenced. Each call holds its
// session's lock. No exception leaves an export: memory exhaustion becomes KD_CFGX_ERR_NO_MEMORY.
//
// Printer handles: this module carries its own copy of the stand-in platform, in which a printer
// handle opened by the caller means nothing (handles are per copy). The module therefore never
// dereferences one; it works on the queue its session was opened for (KD_CFGXInitEx), and it
// remembers which session a printer handle was last passed with (KD_CFGXSetCustomVersionAuto,
// KD_CFGXUpdateREGData), which is how KD_CFGXDeleteBinFiles, given a printer handle alone,
// finds its queue.
#include "modules/cfgx/kdcfgx.h"

#include "modules/cfgx/CCfgxSession.h"
#include "modules/cfgx/CfgxFiles.h"
#include "modules/cfgx/CfgxQueue.h"

#include <algorithm>
#include <cstring>
#include <map>
#include <memory>
#include <mutex>
#include <new>
#include <optional>
#include <string>
#include <vector>

namespace {

constexpr uintptr_t kFirstHandle = 0xCF60000;  // away from small integers and the platform's handles
constexpr uintptr_t kHandleStep = 8;

struct Sessions {
    std::mutex lock;
    uintptr_t next = kFirstHandle;
    std::map<uintptr_t, std::shared_ptr<CCfgxSession>> open;
    std::map<uintptr_t, uintptr_t> printerToSession;  // printer handle value -> session handle
};

Sessions& TheSessions() {
    static Sessions* sessions = new Sessions;  // never destroyed: a caller may exit with sessions open
    return *sessions;
}

std::shared_ptr<CCfgxSession> Find(HKDCFGX h) {
    auto& s = TheSessions();
    std::lock_guard guard(s.lock);
    auto it = s.open.find(reinterpret_cast<uintptr_t>(h));
    return it == s.open.end() ? nullptr : it->second;
}

HKDCFGX Add(std::shared_ptr<CCfgxSession> session) {
    auto& s = TheSessions();
    std::lock_guard guard(s.lock);
    const uintptr_t value = s.next;
    s.next += kHandleStep;
    s.open.emplace(value, std::move(session));
    return reinterpret_cast<HKDCFGX>(value);
}

void Associate(void* hPrinter, HKDCFGX h) {
    auto& s = TheSessions();
    std::lock_guard guard(s.lock);
    s.printerToSession[reinterpret_cast<uintptr_t>(hPrinter)] = reinterpret_cast<uintptr_t>(h);
}

// Runs `body` on the session of `h` under its lock; the handle check and the exception barrier
// of every session call.
template <class Body>
int32_t WithSession(HKDCFGX h, Body&& body) {
    try {
        auto session = Find(h);
        if (!session) return KD_CFGX_ERR_BAD_HANDLE;
        std::lock_guard guard(session->Lock());
        return body(*session);
    } catch (const std::bad_alloc&) {
        return KD_CFGX_ERR_NO_MEMORY;
    } catch (...) {
        return KD_CFGX_ERR_IO;
    }
}

// A caller's zero-terminated text of at most `cap` units, or nullopt.
std::optional<std::u16string> CallerText(const char16_t* text, size_t cap) {
    if (text == nullptr) return std::nullopt;
    size_t n = 0;
    while (n <= cap && text[n] != 0) ++n;
    if (n > cap) return std::nullopt;
    return std::u16string(text, n);
}

constexpr size_t kMaxPathUnits = 4096;  // UTF-16 units of a path argument

// The caller's Windows path as this system's path; nullopt for a null, empty, overlong or
// untranslatable path.
std::optional<std::string> CallerPath(const char16_t* windowsPath) {
    auto text = CallerText(windowsPath, kMaxPathUnits);
    if (!text || text->empty()) return std::nullopt;
    return cfgx_queue::NativePath(*text);
}

bool IsPrinterHandle(void* hPrinter) {
    return hPrinter != nullptr && hPrinter != reinterpret_cast<void*>(static_cast<intptr_t>(-1));
}

int32_t OpenSession(HKDCFGX* phCfgx, cfx::CfxFile file, std::string name, std::u16string queue) {
    *phCfgx = Add(std::make_shared<CCfgxSession>(std::move(file), std::move(name), std::move(queue)));
    return KD_CFGX_OK;
}

}  // namespace

// ---- Sessions ------------------------------------------------------------------------------------

KDCFGX_API int32_t KD_CFGXInit(HKDCFGX* phCfgx, const char16_t* pszCfxFile) {
    if (phCfgx == nullptr) return KD_CFGX_ERR_BAD_ARGUMENT;
    *phCfgx = nullptr;
    try {
        auto path = CallerPath(pszCfxFile);
        if (!path) return KD_CFGX_ERR_BAD_ARGUMENT;
        cfx::CfxFile file;
        if (int32_t result = cfgx_files::LoadCfx(*path, file); result != KD_CFGX_OK) return result;
        return OpenSession(phCfgx, std::move(file), path->substr(path->find_last_of('/') + 1), {});
    } catch (const std::bad_alloc&) {
        return KD_CFGX_ERR_NO_MEMORY;
    }
}

KDCFGX_API int32_t KD_CFGXInitEx(HKDCFGX* phCfgx, const char16_t* pszVifPath, const char16_t* pszSourceFolder,
                                 const char16_t* pszQueueName, uint32_t dwCategory) {
    if (phCfgx == nullptr) return KD_CFGX_ERR_BAD_ARGUMENT;
    *phCfgx = nullptr;
    if (dwCategory > KD_CFGX_CATEGORY_PAGE) return KD_CFGX_ERR_BAD_ARGUMENT;
    try {
        auto vif = CallerPath(pszVifPath);
        auto folder = CallerPath(pszSourceFolder);
        auto queue = CallerText(pszQueueName, cfgx_queue::kMaxQueueUnits);
        if (!vif || !folder || !queue || queue->empty()) return KD_CFGX_ERR_BAD_ARGUMENT;
        // The driver's data file must be there: a session belongs to an installed driver.
        if (!cfgx_files::IsRegularFile(*vif)) return KD_CFGX_ERR_IO;
        if (!cfgx_queue::QueueExists(*queue)) return KD_CFGX_ERR_PRINTER;
        cfx::CfxFile file;
        std::string name;
        if (int32_t result = cfgx_files::OpenSource(*folder, dwCategory, file, name); result != KD_CFGX_OK)
            return result;
        return OpenSession(phCfgx, std::move(file), std::move(name), std::move(*queue));
    } catch (const std::bad_alloc&) {
        return KD_CFGX_ERR_NO_MEMORY;
    }
}

KDCFGX_API int32_t KD_CFGXExit(HKDCFGX hCfgx) {
    std::shared_ptr<CCfgxSession> session;
    auto& s = TheSessions();
    {
        std::lock_guard guard(s.lock);
        auto it = s.open.find(reinterpret_cast<uintptr_t>(hCfgx));
        if (it == s.open.end()) return KD_CFGX_ERR_BAD_HANDLE;
        session = std::move(it->second);
        s.open.erase(it);
        std::erase_if(s.printerToSession,
                      [&](const auto& entry) { return entry.second == reinterpret_cast<uintptr_t>(hCfgx); });
    }
    // A call still running on another thread holds its own reference; the session goes with it.
    return KD_CFGX_OK;
}

KDCFGX_API int32_t KD_CFGXSave(HKDCFGX hCfgx, const char16_t* pszDestination) {
    return WithSession(hCfgx, [&](CCfgxSession& session) {
        auto destination = CallerPath(pszDestination);
        if (!destination) return KD_CFGX_ERR_BAD_ARGUMENT;
        std::string target = *destination;
        if (cfgx_files::IsFolder(*destination)) target = cfgx_files::Join(*destination, session.SourceName());
        // A text the reader would refuse for its size is not written at all.
        const std::string text = cfx::WriteCfx(session.File());
        if (text.size() > cfx::kMaxFileSize) return KD_CFGX_ERR_LIMIT;
        return cfgx_files::SaveAtomically(target, text);
    });
}

// ---- Defaults and settings -----------------------------------------------------------------------

KDCFGX_API int32_t KD_CFGXSetDefault(HKDCFGX hCfgx, uint32_t dwFunctionID, uint32_t dwElementID,
                                     uint32_t dwSetDefault, uint32_t dwLock, uint32_t dwSelect,
                                     uint32_t dwCheckAvailable) {
    return WithSession(hCfgx, [&](CCfgxSession& session) {
        return session.SetDefault(dwFunctionID, dwElementID, dwSetDefault, dwLock, dwSelect, dwCheckAvailable);
    });
}

KDCFGX_API int32_t KD_CFGXSetDefaultByDevmode(HKDCFGX hCfgx, const void* pDevmode, uint32_t cbDevmode) {
    return WithSession(hCfgx, [&](CCfgxSession& session) {
        if (pDevmode == nullptr) return KD_CFGX_ERR_BAD_ARGUMENT;
        // The public part and at most 64 KiB of driver bytes (the record's u16 size fields) are
        // all a DEVMODEW can be; anything longer is refused before it is read.
        if (cbDevmode > 2u * 65535u) return KD_CFGX_ERR_BAD_ARGUMENT;
        std::vector<uint8_t> copy(static_cast<const uint8_t*>(pDevmode), static_cast<const uint8_t*>(pDevmode) + cbDevmode);
        return session.SetDefaultByDevmode(copy);
    });
}

KDCFGX_API int32_t KD_CFGXGetControlState(HKDCFGX hCfgx, uint32_t dwFunctionID, uint32_t* pdwSetting) {
    return WithSession(hCfgx, [&](CCfgxSession& session) { return session.GetControlState(dwFunctionID, pdwSetting); });
}

KDCFGX_API int32_t KD_CFGXSetControlState(HKDCFGX hCfgx, uint32_t dwFunctionID, uint32_t dwSetting) {
    return WithSession(hCfgx, [&](CCfgxSession& session) { return session.SetControlState(dwFunctionID, dwSetting, true); });
}

KDCFGX_API int32_t KD_CFGXSetControlStateOnly(HKDCFGX hCfgx, uint32_t dwFunctionID, uint32_t dwSetting) {
    return WithSession(hCfgx,
                       [&](CCfgxSession& session) { return session.SetControlState(dwFunctionID, dwSetting, false); });
}

KDCFGX_API int32_t KD_CFGXSetFunctionState(HKDCFGX hCfgx, uint32_t dwFunctionID, uint32_t dwState) {
    return WithSession(hCfgx, [&](CCfgxSession& session) { return session.SetFunctionState(dwFunctionID, dwState); });
}

// ---- Versions ------------------------------------------------------------------------------------

KDCFGX_API int32_t KD_CFGXGetVersionString(HKDCFGX hCfgx, char16_t* pszVersion, uint32_t* pcchVersion) {
    return WithSession(hCfgx, [&](CCfgxSession& session) { return session.GetVersionString(pszVersion, pcchVersion); });
}

KDCFGX_API int32_t KD_CFGXSetVersionString(HKDCFGX hCfgx, const char16_t* pszVersion) {
    return WithSession(hCfgx, [&](CCfgxSession& session) {
        auto text = CallerText(pszVersion, KD_CFGX_MAX_VERSION_CHARS);
        if (!text) return KD_CFGX_ERR_BAD_ARGUMENT;
        return session.SetVersionString(*text);
    });
}

KDCFGX_API int32_t KD_CFGXSetCustomVersionAuto(HKDCFGX hCfgx, void* hPrinter) {
    return WithSession(hCfgx, [&](CCfgxSession& session) {
        if (!IsPrinterHandle(hPrinter)) return KD_CFGX_ERR_BAD_ARGUMENT;
        if (session.Queue().empty()) return KD_CFGX_ERR_PRINTER;
        uint32_t stored = 0;
        if (int32_t result = cfgx_queue::ReadCustomVersion(session.Queue(), stored); result != KD_CFGX_OK) return result;
        const uint32_t current = std::max(stored, session.CustomVersion());
        if (current == UINT32_MAX) return KD_CFGX_ERR_OUT_OF_RANGE;
        if (int32_t result = cfgx_queue::WriteCustomVersion(session.Queue(), current + 1); result != KD_CFGX_OK)
            return result;
        session.SetCustomVersion(current + 1);
        Associate(hPrinter, hCfgx);
        return KD_CFGX_OK;
    });
}

KDCFGX_API int32_t KD_CFGXGetCustomVersion(HKDCFGX hCfgx, uint32_t* pdwCustomVersion) {
    return WithSession(hCfgx, [&](CCfgxSession& session) {
        if (pdwCustomVersion == nullptr) return KD_CFGX_ERR_BAD_ARGUMENT;
        *pdwCustomVersion = session.CustomVersion();
        return KD_CFGX_OK;
    });
}

KDCFGX_API int32_t KD_CFGXSetCustomVersion(HKDCFGX hCfgx, uint32_t dwCustomVersion) {
    return WithSession(hCfgx, [&](CCfgxSession& session) {
        session.SetCustomVersion(dwCustomVersion);
        return KD_CFGX_OK;
    });
}

// ---- Registry data and compiled files ------------------------------------------------------------

KDCFGX_API int32_t KD_CFGXUpdateREGData(HKDCFGX hCfgx, void* hPrinter, uint32_t dwUpdateMode,
                                        const VANTO_PRINTER_INFO* pPrinterInfo, uint32_t dwRecordCount) {
    return WithSession(hCfgx, [&](CCfgxSession& session) {
        if (!IsPrinterHandle(hPrinter) || pPrinterInfo == nullptr || dwRecordCount != 1) return KD_CFGX_ERR_BAD_ARGUMENT;
        // One copy of the caller's record, read once.
        VANTO_PRINTER_INFO record;
        std::memcpy(&record, pPrinterInfo, sizeof record);
        if (record.dwSize != VANTO_PRINTER_INFO_SIZE) return KD_CFGX_ERR_BAD_ARGUMENT;
        if (session.Queue().empty()) return KD_CFGX_ERR_PRINTER;
        const int32_t result = cfgx_queue::WriteRegistryData(session.Queue(), dwUpdateMode, record, session.File());
        if (result == KD_CFGX_OK) Associate(hPrinter, hCfgx);
        return result;
    });
}

KDCFGX_API int32_t KD_CFGXDeleteBinFiles(void* hPrinter) {
    if (!IsPrinterHandle(hPrinter)) return KD_CFGX_ERR_BAD_ARGUMENT;
    try {
        std::shared_ptr<CCfgxSession> session;
        {
            auto& s = TheSessions();
            std::lock_guard guard(s.lock);
            auto link = s.printerToSession.find(reinterpret_cast<uintptr_t>(hPrinter));
            if (link == s.printerToSession.end()) return KD_CFGX_ERR_PRINTER;
            auto it = s.open.find(link->second);
            if (it == s.open.end()) return KD_CFGX_ERR_PRINTER;
            session = it->second;
        }
        std::u16string queue;
        {
            std::lock_guard guard(session->Lock());
            queue = session->Queue();
        }
        return cfgx_queue::DeleteBinFiles(queue);
    } catch (const std::bad_alloc&) {
        return KD_CFGX_ERR_NO_MEMORY;
    }
}

// ---- Functions and elements ----------------------------------------------------------------------

KDCFGX_API int32_t KD_CFGXGetFunctionStatus(HKDCFGX hCfgx, uint32_t dwFunctionID) {
    return WithSession(hCfgx, [&](CCfgxSession& session) { return session.GetFunctionStatus(dwFunctionID); });
}

KDCFGX_API int32_t KD_CFGXSetFunctionStatus(HKDCFGX hCfgx, uint32_t dwFunctionID, uint32_t dwStatus) {
    return WithSession(hCfgx, [&](CCfgxSession& session) { return session.SetFunctionStatus(dwFunctionID, dwStatus); });
}

KDCFGX_API int32_t KD_CFGXGetFunctionElementStatus(HKDCFGX hCfgx, uint32_t dwFunctionID, uint32_t dwElementID) {
    return WithSession(hCfgx,
                       [&](CCfgxSession& session) { return session.GetElementStatus(dwFunctionID, dwElementID); });
}

KDCFGX_API int32_t KD_CFGXSetFunctionElementStatus(HKDCFGX hCfgx, uint32_t dwFunctionID, uint32_t dwElementID,
                                                   uint32_t dwStatus) {
    return WithSession(hCfgx, [&](CCfgxSession& session) {
        return session.SetElementStatus(dwFunctionID, dwElementID, dwStatus);
    });
}

KDCFGX_API int32_t KD_CFGXGetFunctionAttribute(HKDCFGX hCfgx, uint32_t dwFunctionID, uint32_t dwAttribute,
                                               uint32_t* pdwValue) {
    return WithSession(hCfgx, [&](CCfgxSession& session) {
        return session.GetFunctionAttribute(dwFunctionID, dwAttribute, pdwValue);
    });
}

KDCFGX_API int32_t KD_CFGXSetFunctionAttribute(HKDCFGX hCfgx, uint32_t dwFunctionID, uint32_t dwAttribute,
                                               uint32_t dwValue) {
    return WithSession(hCfgx, [&](CCfgxSession& session) {
        return session.SetFunctionAttribute(dwFunctionID, dwAttribute, dwValue);
    });
}

KDCFGX_API int32_t KD_CFGXGetFunctionElementAttribute(HKDCFGX hCfgx, uint32_t dwFunctionID, uint32_t dwElementID,
                                                      uint32_t dwAttribute, uint32_t* pdwValue) {
    return WithSession(hCfgx, [&](CCfgxSession& session) {
        return session.GetElementAttribute(dwFunctionID, dwElementID, dwAttribute, pdwValue);
    });
}

KDCFGX_API int32_t KD_CFGXSetFunctionElementAttribute(HKDCFGX hCfgx, uint32_t dwFunctionID, uint32_t dwElementID,
                                                      uint32_t dwAttribute, uint32_t dwValue) {
    return WithSession(hCfgx, [&](CCfgxSession& session) {
        return session.SetElementAttribute(dwFunctionID, dwElementID, dwAttribute, dwValue);
    });
}

KDCFGX_API int32_t KD_CFGXGetFunctionValueAttribute(HKDCFGX hCfgx, uint32_t dwFunctionID, uint32_t dwAttribute,
                                                    int32_t* plValue) {
    return WithSession(hCfgx, [&](CCfgxSession& session) {
        return session.GetValueAttribute(dwFunctionID, dwAttribute, plValue);
    });
}

KDCFGX_API int32_t KD_CFGXSetFunctionValueAttribute(HKDCFGX hCfgx, uint32_t dwFunctionID, uint32_t dwAttribute,
                                                    int32_t lValue) {
    return WithSession(hCfgx, [&](CCfgxSession& session) {
        return session.SetValueAttribute(dwFunctionID, dwAttribute, lValue);
    });
}

// ---- Logical printer data tags -------------------------------------------------------------------

KDCFGX_API int32_t KD_CFGXGetLogPrinterData(HKDCFGX hCfgx, uint32_t dwTagID, int32_t* plValue) {
    return WithSession(hCfgx, [&](CCfgxSession& session) { return session.GetTag(dwTagID, plValue); });
}

KDCFGX_API int32_t KD_CFGXSetLogPrinterData(HKDCFGX hCfgx, uint32_t dwTagID, int32_t lValue) {
    return WithSession(hCfgx, [&](CCfgxSession& session) { return session.SetTag(dwTagID, lValue); });
}

// ---- Prohibit groups -----------------------------------------------------------------------------

KDCFGX_API int32_t KD_CFGXAddProhibitData(HKDCFGX hCfgx, const KD_CFGX_PROHIBIT_ITEM* pItems, uint32_t dwCount,
                                          uint32_t dwReserved) {
    return WithSession(hCfgx, [&](CCfgxSession& session) {
        if (pItems == nullptr || dwReserved != 0) return KD_CFGX_ERR_BAD_ARGUMENT;
        if (dwCount > KD_CFGX_MAX_PROHIBIT_ITEMS) return KD_CFGX_ERR_LIMIT;
        // Copied before use, so the caller's array is read once and only as far as dwCount.
        std::vector<KD_CFGX_PROHIBIT_ITEM> items(pItems, pItems + dwCount);
        return session.AddProhibit(items);
    });
}

KDCFGX_API int32_t KD_CFGXDeleteProhibitData(HKDCFGX hCfgx, const KD_CFGX_PROHIBIT_ITEM* pItems, uint32_t dwCount) {
    return WithSession(hCfgx, [&](CCfgxSession& session) {
        if (pItems == nullptr) return KD_CFGX_ERR_BAD_ARGUMENT;
        if (dwCount > KD_CFGX_MAX_PROHIBIT_ITEMS) return KD_CFGX_ERR_LIMIT;
        std::vector<KD_CFGX_PROHIBIT_ITEM> items(pItems, pItems + dwCount);
        return session.DeleteProhibit(items);
    });
}
