// CSnmpDll: one MIB value from one printer over WinSNMP.
#include "probe/CSnmpDll.h"

#include "common/BILogging.h"

#include <cstring>

namespace {

constexpr WCHAR kWinSnmpLibrary[] = u"WSNMP32.DLL";  // found by bare name in the system folder
constexpr char kCommunity[] = "vintal";  // community of every request
constexpr size_t kCommunityLength = sizeof kCommunity - 1;

}  // namespace

CSnmpDll::~CSnmpDll() {
    Close();
}

// Close: ends the session and WinSNMP, drops the answer, clears the table, unloads the library.
void CSnmpDll::Close() {
    if (m_session && m_fn.close) m_fn.close(m_session);
    m_session = nullptr;
    if (IsLoaded() && m_fn.cleanup) m_fn.cleanup();
    {
        std::lock_guard lock(m_publish);
        m_requestId = 0;
        m_answer.store(nullptr);
    }
    m_fn = Functions{};
    Unload();
}

// Initialize: load, bind, start WinSNMP and open the callback session.
int CSnmpDll::Initialize() {
    Close();
    if (!Load(kWinSnmpLibrary)) return 0;
    m_fn.startup = GetFunction<decltype(m_fn.startup)>("SnmpStartup");
    m_fn.cleanup = GetFunction<decltype(m_fn.cleanup)>("SnmpCleanup");
    m_fn.createSession = GetFunction<decltype(m_fn.createSession)>("SnmpCreateSession");
    m_fn.close = GetFunction<decltype(m_fn.close)>("SnmpClose");
    m_fn.createVbl = GetFunction<decltype(m_fn.createVbl)>("SnmpCreateVbl");
    m_fn.freeVbl = GetFunction<decltype(m_fn.freeVbl)>("SnmpFreeVbl");
    m_fn.getVb = GetFunction<decltype(m_fn.getVb)>("SnmpGetVb");
    m_fn.strToOid = GetFunction<decltype(m_fn.strToOid)>("SnmpStrToOid");
    m_fn.freeDescriptor = GetFunction<decltype(m_fn.freeDescriptor)>("SnmpFreeDescriptor");
    m_fn.createPdu = GetFunction<decltype(m_fn.createPdu)>("SnmpCreatePdu");
    m_fn.freePdu = GetFunction<decltype(m_fn.freePdu)>("SnmpFreePdu");
    m_fn.getPduData = GetFunction<decltype(m_fn.getPduData)>("SnmpGetPduData");
    m_fn.sendMsg = GetFunction<decltype(m_fn.sendMsg)>("SnmpSendMsg");
    m_fn.recvMsg = GetFunction<decltype(m_fn.recvMsg)>("SnmpRecvMsg");
    m_fn.strToEntity = GetFunction<decltype(m_fn.strToEntity)>("SnmpStrToEntity");
    m_fn.freeEntity = GetFunction<decltype(m_fn.freeEntity)>("SnmpFreeEntity");
    m_fn.strToContext = GetFunction<decltype(m_fn.strToContext)>("SnmpStrToContext");
    m_fn.freeContext = GetFunction<decltype(m_fn.freeContext)>("SnmpFreeContext");

    if (!m_fn.startup || !m_fn.cleanup || !m_fn.createSession || !m_fn.close) {
        BI_LOG("#CSnmpDll: WinSNMP lacks its session functions\n");
        m_fn.cleanup = nullptr;  // never started: nothing to clean up
        Close();
        return 0;
    }
    smiUINT32 major = 0, minor = 0, level = 0, translate = 0, retransmit = 0;
    if (m_fn.startup(&major, &minor, &level, &translate, &retransmit) != SNMPAPI_SUCCESS) {
        BI_LOG("#CSnmpDll: SnmpStartup failed\n");
        m_fn.cleanup = nullptr;
        Close();
        return 0;
    }
    m_session = m_fn.createSession(nullptr, 0, SessionCallback, this);
    if (!m_session) {
        BI_LOG("#CSnmpDll: SnmpCreateSession failed\n");
        Close();
        return 0;
    }
    return 1;
}

// Send: one request; every handle and descriptor made here is freed again before returning.
int CSnmpDll::Send(LPCSTR oidText, LPCSTR address, int getNext) {
    if (!m_session || !oidText || !address || !m_fn.strToOid || !m_fn.createVbl || !m_fn.createPdu ||
        !m_fn.strToEntity || !m_fn.strToContext || !m_fn.sendMsg || !m_fn.getPduData || !m_fn.freeContext ||
        !m_fn.freeEntity || !m_fn.freePdu || !m_fn.freeVbl || !m_fn.freeDescriptor)
        return 0;

    smiOID oid{};
    HSNMP_VBL vbl = nullptr;
    HSNMP_PDU pdu = nullptr;
    HSNMP_ENTITY entity = nullptr;
    HSNMP_CONTEXT context = nullptr;
    smiOCTETS community{static_cast<smiUINT32>(kCommunityLength),
                        reinterpret_cast<smiBYTE*>(const_cast<char*>(kCommunity))};
    smiINT32 requestId = 0;
    int sent = 0;
    if (m_fn.strToOid(oidText, &oid) != SNMPAPI_FAILURE && (vbl = m_fn.createVbl(m_session, &oid, nullptr)) &&
        (pdu = m_fn.createPdu(m_session, getNext ? SNMP_PDU_GETNEXT : SNMP_PDU_GET, 0, 0, 0, vbl)) &&
        m_fn.getPduData(pdu, nullptr, &requestId, nullptr, nullptr, nullptr) == SNMPAPI_SUCCESS &&
        (entity = m_fn.strToEntity(m_session, address)) && (context = m_fn.strToContext(m_session, &community))) {
        {
            // Before sending, since the answer may come at once; a late answer to the previous
            // request is no longer taken.
            std::lock_guard lock(m_publish);
            m_requestId = requestId;
            m_answer.store(nullptr);
        }
        sent = m_fn.sendMsg(m_session, nullptr, entity, context, pdu) == SNMPAPI_SUCCESS ? 1 : 0;
        if (!sent) BI_LOG("#CSnmpDll: SnmpSendMsg to %s failed\n", address);
    }
    if (context) m_fn.freeContext(context);
    if (entity) m_fn.freeEntity(entity);
    if (pdu) m_fn.freePdu(pdu);
    if (vbl) m_fn.freeVbl(vbl);
    if (oid.ptr) m_fn.freeDescriptor(SNMP_SYNTAX_OID, reinterpret_cast<smiOCTETS*>(&oid));
    return sent;
}

// SessionCallback: on WinSNMP's thread; whatever happened, WinSNMP is told success so the
// session stays open.
SNMPAPI_STATUS CSnmpDll::SessionCallback(HSNMP_SESSION, HWND, UINT, uintptr_t wParam, intptr_t, LPVOID data) {
    if (wParam == 0 && data) static_cast<CSnmpDll*>(data)->ReceiveAnswer();
    return SNMPAPI_SUCCESS;
}

// ReceiveAnswer: takes the waiting message, keeps the first binding's value when the message
// answers the request last sent without an error, and frees everything WinSNMP handed out.
void CSnmpDll::ReceiveAnswer() {
    if (!m_fn.recvMsg || !m_fn.getPduData || !m_fn.getVb || !m_fn.freeDescriptor || !m_fn.freeVbl ||
        !m_fn.freePdu || !m_fn.freeEntity || !m_fn.freeContext)
        return;
    HSNMP_ENTITY source = nullptr, destination = nullptr;
    HSNMP_CONTEXT context = nullptr;
    HSNMP_PDU pdu = nullptr;
    if (m_fn.recvMsg(m_session, &source, &destination, &context, &pdu) != SNMPAPI_SUCCESS) return;

    HSNMP_VBL vbl = nullptr;
    smiINT32 requestId = 0;
    smiINT errorStatus = 0;
    smiOID name{};
    smiVALUE value{};
    bool haveValue = false;
    if (m_fn.getPduData(pdu, nullptr, &requestId, &errorStatus, nullptr, &vbl) == SNMPAPI_SUCCESS)
        haveValue = m_fn.getVb(vbl, 1, &name, &value) == SNMPAPI_SUCCESS;

    auto answer = std::make_shared<Answer>();
    if (haveValue && errorStatus == 0 && requestId != 0) {
        if (value.syntax == SNMP_SYNTAX_OCTETS && (value.value.string.ptr || value.value.string.len == 0)) {
            const smiOCTETS& s = value.value.string;
            answer->bytes.assign(s.ptr, s.ptr + s.len);
            answer->bytes.push_back(0);
        } else if (value.syntax == SNMP_SYNTAX_INT) {
            const smiINT number = value.value.sNumber;
            answer->bytes.resize(sizeof number);
            std::memcpy(answer->bytes.data(), &number, sizeof number);
        }
    }
    if (!answer->bytes.empty()) {
        std::lock_guard lock(m_publish);
        if (requestId == m_requestId) m_answer.store(std::move(answer));
    }

    if (haveValue) {
        switch (value.syntax) {
        case SNMP_SYNTAX_OCTETS:
        case SNMP_SYNTAX_OPAQUE:
        case SNMP_SYNTAX_IPADDR:
        case SNMP_SYNTAX_BITS:
        case SNMP_SYNTAX_NSAPADDR:
        case SNMP_SYNTAX_OID:  // the value's OID shares the descriptor layout
            if (value.value.string.ptr) m_fn.freeDescriptor(value.syntax, &value.value.string);
            break;
        default:
            break;
        }
        m_fn.freeDescriptor(SNMP_SYNTAX_OID, reinterpret_cast<smiOCTETS*>(&name));
    }
    if (vbl) m_fn.freeVbl(vbl);
    m_fn.freePdu(pdu);
    if (source) m_fn.freeEntity(source);
    if (destination) m_fn.freeEntity(destination);
    if (context) m_fn.freeContext(context);
}
