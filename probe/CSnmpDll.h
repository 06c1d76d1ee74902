// CSnmpDll: asks one printer for one MIB value over the platform's WinSNMP library, for the
// single-address examination when the transport module cannot describe the device.
//
// Initialize loads WSNMP32.DLL by bare name, binds its functions and opens one session in
// callback mode. Send queues one GetRequest or GetNextRequest; the answer arrives on WinSNMP's
// thread and is published whole (bytes and length together), so a poller on another thread sees
// either no answer or a complete one. Only the answer to the request last sent is taken.
//
// Answer encoding: an OCTET STRING is its bytes plus a terminating zero (length = bytes + 1); an
// INTEGER is its 4 bytes (length 4). Any other value, an error status or no answer: no answer.
#pragma once

#include "common/CDllModule.h"
#include "platform/win32.h"

#ifdef _WIN32
#include <winsnmp.h>
#else
#include "modules/wsnmp/winsnmp.h"
#endif

#include <atomic>
#include <memory>
#include <mutex>
#include <vector>

class CSnmpDll : public CDllModule {
public:
    // The value of one answer, as encoded above.
    struct Answer {
        std::vector<BYTE> bytes;
        DWORD Length() const { return static_cast<DWORD>(bytes.size()); }
    };

    CSnmpDll() = default;
    ~CSnmpDll() override;

    // 1 when the library is loaded, started and a session exists; otherwise 0 (nothing held).
    int Initialize();
    // Sends a GetNextRequest (getNext non-zero) or a GetRequest for `oidText` to `address` with the
    // community "vintal"; 1 when WinSNMP accepted it. The previous answer is dropped first.
    int Send(LPCSTR oidText, LPCSTR address, int getNext);
    // The answer to the last request, or null while there is none.
    std::shared_ptr<const Answer> GetAnswer() const { return m_answer.load(); }

private:
    struct Functions {
        decltype(&::SnmpStartup) startup = nullptr;
        decltype(&::SnmpCleanup) cleanup = nullptr;
        decltype(&::SnmpCreateSession) createSession = nullptr;
        decltype(&::SnmpClose) close = nullptr;
        decltype(&::SnmpCreateVbl) createVbl = nullptr;
        decltype(&::SnmpFreeVbl) freeVbl = nullptr;
        decltype(&::SnmpGetVb) getVb = nullptr;
        decltype(&::SnmpStrToOid) strToOid = nullptr;
        decltype(&::SnmpFreeDescriptor) freeDescriptor = nullptr;
        decltype(&::SnmpCreatePdu) createPdu = nullptr;
        decltype(&::SnmpFreePdu) freePdu = nullptr;
        decltype(&::SnmpGetPduData) getPduData = nullptr;
        decltype(&::SnmpSendMsg) sendMsg = nullptr;
        decltype(&::SnmpRecvMsg) recvMsg = nullptr;
        decltype(&::SnmpStrToEntity) strToEntity = nullptr;
        decltype(&::SnmpFreeEntity) freeEntity = nullptr;
        decltype(&::SnmpStrToContext) strToContext = nullptr;
        decltype(&::SnmpFreeContext) freeContext = nullptr;
    };

    static SNMPAPI_STATUS SessionCallback(HSNMP_SESSION session, HWND window, UINT message, uintptr_t wParam,
                                          intptr_t lParam, LPVOID data);
    void ReceiveAnswer();
    void Close();

    Functions m_fn;
    HSNMP_SESSION m_session = nullptr;
    std::mutex m_publish;          // a request's switch and an answer's publication exclude each other
    smiINT32 m_requestId = 0;      // request whose answer is awaited (under m_publish); 0: none
    std::atomic<std::shared_ptr<const Answer>> m_answer;  // read by pollers without the lock
};
