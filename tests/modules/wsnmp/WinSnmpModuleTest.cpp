// WSNMP32.DLL through dlopen, as the library's binding reaches it: the timeout event, descriptor
// ownership and the error codes of bad arguments. An answered request, its request ID and the
// received message freed: CSnmpDll's test and the single-address search of ProbeExports.
#include "modules/wsnmp/winsnmp.h"

#include <dlfcn.h>
#include <gtest/gtest.h>

#include <condition_variable>
#include <chrono>
#include <mutex>
#include <thread>
#include <string>
#include <vector>

namespace {

constexpr const char* kSilentAddress = "127.0.130.11";  // nothing answers here
constexpr const char* kCommunity = "vintal";
constexpr auto kAnswerLimit = std::chrono::seconds(10);  // generous: the machine is shared

// The module's functions, bound by name.
#define WSNMP_FUNCTIONS(X)                                                                                    \
    X(SnmpStartup) X(SnmpCleanup) X(SnmpGetLastError) X(SnmpCreateSession) X(SnmpClose) X(SnmpStrToOid)        \
    X(SnmpFreeDescriptor) X(SnmpCreateVbl) X(SnmpFreeVbl) X(SnmpGetVb) X(SnmpCreatePdu) X(SnmpFreePdu)         \
    X(SnmpGetPduData) X(SnmpSendMsg) X(SnmpRecvMsg) X(SnmpStrToEntity) X(SnmpFreeEntity) X(SnmpStrToContext) \
    X(SnmpFreeContext)

struct WinSnmp {
    void* library = nullptr;
#define WSNMP_FIELD(name) decltype(&::name) name = nullptr;
    WSNMP_FUNCTIONS(WSNMP_FIELD)
#undef WSNMP_FIELD

    WinSnmp() {
        library = ::dlopen((std::string(VANTO_BUILD_DIR) + "/WSNMP32.DLL").c_str(), RTLD_NOW | RTLD_LOCAL);
        if (!library) return;
#define WSNMP_BIND(name) name = reinterpret_cast<decltype(name)>(::dlsym(library, #name));
        WSNMP_FUNCTIONS(WSNMP_BIND)
#undef WSNMP_BIND
    }
    bool Complete() const {
#define WSNMP_BOUND(name) &&name != nullptr
        return library WSNMP_FUNCTIONS(WSNMP_BOUND);
#undef WSNMP_BOUND
    }
};

// What the session callback saw.
struct Events {
    std::mutex mutex;
    std::condition_variable changed;
    std::vector<std::pair<uintptr_t, intptr_t>> seen;  // (wParam, lParam)
    SNMPAPI_STATUS reply = SNMPAPI_SUCCESS;

    bool WaitFor(size_t count) {
        std::unique_lock lock(mutex);
        return changed.wait_for(lock, kAnswerLimit, [&] { return seen.size() >= count; });
    }
};

SNMPAPI_STATUS Record(HSNMP_SESSION, HWND__*, unsigned int, uintptr_t wParam, intptr_t lParam, void* data) {
    auto* events = static_cast<Events*>(data);
    std::lock_guard lock(events->mutex);
    events->seen.emplace_back(wParam, lParam);
    events->changed.notify_all();
    return events->reply;
}

class WinSnmpModuleTest : public testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(m.library) << ::dlerror();
        ASSERT_TRUE(m.Complete());
        ASSERT_EQ(m.SnmpStartup(nullptr, nullptr, nullptr, nullptr, nullptr), SNMPAPI_SUCCESS);
        session = m.SnmpCreateSession(nullptr, 0, Record, &events);
        ASSERT_NE(session, nullptr);
    }
    void TearDown() override {
        if (session) m.SnmpClose(session);
        m.SnmpCleanup();
    }

    // Sends one Get for `oidText` to `address`; the request ID the answer will carry. (Freeing it
    // all once sent, as CSnmpDll does, is CSnmpDll's test, which waits for the answer after that.)
    smiINT32 Send(const char* oidText, const char* address) {
        smiOID oid{};
        EXPECT_NE(m.SnmpStrToOid(oidText, &oid), SNMPAPI_FAILURE);
        HSNMP_VBL vbl = m.SnmpCreateVbl(session, &oid, nullptr);
        HSNMP_PDU pdu = m.SnmpCreatePdu(session, SNMP_PDU_GET, 0, 0, 0, vbl);
        HSNMP_ENTITY to = m.SnmpStrToEntity(session, address);
        HSNMP_CONTEXT context = m.SnmpStrToContext(session, &community);
        EXPECT_TRUE(vbl && pdu && to && context);
        EXPECT_EQ(m.SnmpSendMsg(session, nullptr, to, context, pdu), SNMPAPI_SUCCESS);
        smiINT32 id = 0;
        EXPECT_EQ(m.SnmpGetPduData(pdu, nullptr, &id, nullptr, nullptr, nullptr), SNMPAPI_SUCCESS);
        return id;  // what was made here is freed by the last cleanup
    }

    WinSnmp m;
    Events events;
    HSNMP_SESSION session = nullptr;
    smiOCTETS community{6, reinterpret_cast<smiBYTE*>(const_cast<char*>(kCommunity))};
};

TEST_F(WinSnmpModuleTest, UnansweredRequestEndsWithTheTimeoutEventAndAFailingCallbackClosesItsSession) {
    const smiINT32 id = Send("1.3.6.1.2.1.1.5.0", kSilentAddress);
    ASSERT_TRUE(events.WaitFor(1));
    EXPECT_EQ(events.seen[0], std::make_pair(uintptr_t{SNMPAPI_TL_TIMEOUT}, intptr_t{id}));
    HSNMP_PDU pdu = nullptr;
    EXPECT_EQ(m.SnmpRecvMsg(session, nullptr, nullptr, nullptr, &pdu), SNMPAPI_FAILURE);
    EXPECT_EQ(m.SnmpGetLastError(session), SNMPAPI_NOOP);

    events.reply = SNMPAPI_FAILURE;  // nothing is outstanding, so the receiver does not read it now
    Send("1.3.6.1.2.1.1.5.0", kSilentAddress);
    ASSERT_TRUE(events.WaitFor(2));
    for (int i = 0; i < 100 && m.SnmpStrToContext(session, &community); ++i)  // the close follows the return
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    EXPECT_EQ(m.SnmpStrToContext(session, &community), nullptr);
    EXPECT_EQ(m.SnmpGetLastError(nullptr), SNMPAPI_SESSION_INVALID);
    EXPECT_EQ(m.SnmpClose(session), SNMPAPI_FAILURE);
    session = nullptr;
}

TEST_F(WinSnmpModuleTest, BadArgumentsFailWithTheirErrorCodes) {
    smiOID oid{};
    for (const char* text : {"", "1", "1..3", "1.3.x", "1.3.4294967296"})
        EXPECT_EQ(m.SnmpStrToOid(text, &oid), SNMPAPI_FAILURE) << text;
    EXPECT_EQ(m.SnmpGetLastError(nullptr), SNMPAPI_OID_INVALID);
    std::string longest = "1";
    for (int i = 1; i < 128; ++i) longest += ".1";
    EXPECT_EQ(m.SnmpStrToOid(longest.c_str(), &oid), 128u);
    EXPECT_EQ(m.SnmpFreeDescriptor(SNMP_SYNTAX_OID, reinterpret_cast<smiOCTETS*>(&oid)), SNMPAPI_SUCCESS);
    EXPECT_EQ(m.SnmpStrToOid((longest + ".1").c_str(), &oid), SNMPAPI_FAILURE);

    // Only loopback agents, named by dotted address.
    for (const char* address : {"10.0.0.1", "printer.example", "127.0.130.10x", "", "127.1"})
        EXPECT_EQ(m.SnmpStrToEntity(session, address), nullptr) << address;
    EXPECT_EQ(m.SnmpGetLastError(session), SNMPAPI_ENTITY_UNKNOWN);

    smiOCTETS empty{0, nullptr};
    EXPECT_EQ(m.SnmpStrToContext(session, &empty), nullptr);
    EXPECT_EQ(m.SnmpGetLastError(session), SNMPAPI_CONTEXT_INVALID);

    EXPECT_EQ(m.SnmpCreatePdu(session, 0xA5, 0, 0, 0, nullptr), nullptr);  // GetBulk: not in v1
    EXPECT_EQ(m.SnmpGetLastError(session), SNMPAPI_PDU_INVALID);

    ASSERT_EQ(m.SnmpStrToOid("1.3.6.1.2.1.1.5.0", &oid), 9u);
    HSNMP_VBL vbl = m.SnmpCreateVbl(session, &oid, nullptr);
    smiOID name{};
    EXPECT_EQ(m.SnmpGetVb(vbl, 0, &name, nullptr), SNMPAPI_FAILURE);
    EXPECT_EQ(m.SnmpGetVb(vbl, 2, &name, nullptr), SNMPAPI_FAILURE);
    EXPECT_EQ(m.SnmpGetLastError(nullptr), SNMPAPI_INDEX_INVALID);

    // Handles of one kind are not accepted as another, and a freed handle is gone.
    EXPECT_EQ(m.SnmpFreePdu(vbl), SNMPAPI_FAILURE);
    EXPECT_EQ(m.SnmpFreeVbl(vbl), SNMPAPI_SUCCESS);
    EXPECT_EQ(m.SnmpFreeVbl(vbl), SNMPAPI_FAILURE);
    EXPECT_EQ(m.SnmpGetLastError(nullptr), SNMPAPI_VBL_INVALID);

    // Only buffers of this module are descriptors.
    smiUINT32 foreign[2] = {1, 3};
    smiOID notOurs{2, foreign};
    EXPECT_EQ(m.SnmpFreeDescriptor(SNMP_SYNTAX_OID, reinterpret_cast<smiOCTETS*>(&notOurs)), SNMPAPI_FAILURE);
    EXPECT_EQ(m.SnmpGetLastError(nullptr), SNMPAPI_OPERATION_INVALID);
    EXPECT_EQ(m.SnmpFreeDescriptor(SNMP_SYNTAX_INT, reinterpret_cast<smiOCTETS*>(&oid)), SNMPAPI_FAILURE);
    EXPECT_EQ(m.SnmpGetLastError(nullptr), SNMPAPI_SYNTAX_INVALID);
    EXPECT_EQ(m.SnmpFreeDescriptor(SNMP_SYNTAX_OID, reinterpret_cast<smiOCTETS*>(&oid)), SNMPAPI_SUCCESS);
    // A descriptor freed once is gone: a second free is refused, not a double free.
    EXPECT_EQ(m.SnmpFreeDescriptor(SNMP_SYNTAX_OID, reinterpret_cast<smiOCTETS*>(&oid)), SNMPAPI_FAILURE);

    EXPECT_EQ(m.SnmpCreateSession(nullptr, 0, nullptr, nullptr), nullptr);  // window messages: not offered
}

TEST_F(WinSnmpModuleTest, EveryStartupNeedsItsCleanupBeforeSessionsEnd) {
    ASSERT_EQ(m.SnmpStartup(nullptr, nullptr, nullptr, nullptr, nullptr), SNMPAPI_SUCCESS);
    EXPECT_EQ(m.SnmpCleanup(), SNMPAPI_SUCCESS);
    HSNMP_CONTEXT context = m.SnmpStrToContext(session, &community);
    EXPECT_NE(context, nullptr);  // the session of the first startup still works

    EXPECT_EQ(m.SnmpCleanup(), SNMPAPI_SUCCESS);  // the last cleanup frees what is left
    EXPECT_EQ(m.SnmpFreeContext(context), SNMPAPI_FAILURE);
    EXPECT_EQ(m.SnmpGetLastError(nullptr), SNMPAPI_NOT_INITIALIZED);
    smiOID oid{};
    EXPECT_EQ(m.SnmpStrToOid("1.3.6", &oid), SNMPAPI_FAILURE);
    session = nullptr;
    ASSERT_EQ(m.SnmpStartup(nullptr, nullptr, nullptr, nullptr, nullptr), SNMPAPI_SUCCESS);  // for TearDown
}

}  // namespace
