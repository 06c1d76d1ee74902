// A small SNMPv1 client over net-snmp's session API, for byte-exact checks of what an agent
// (vprinter or snmpsim) answers.
#pragma once

#include <net-snmp/net-snmp-config.h>
#include <net-snmp/net-snmp-includes.h>

#include <optional>
#include <string>
#include <vector>

namespace vp_test {

struct SnmpVar {
    std::string oid;    // dotted, no leading dot
    int type = 0;       // BER tag
    std::string bytes;  // octet strings and IP addresses
    long long number = 0;
    std::string oidValue;
    bool operator==(const SnmpVar&) const = default;
};

struct SnmpResult {
    bool answered = false;
    long errorStatus = 0;
    long errorIndex = 0;
    std::vector<SnmpVar> vars;
};

class SnmpClient {
public:
    explicit SnmpClient(const std::string& peer, const std::string& community = "vintal", long version = SNMP_VERSION_1,
                        int timeoutMs = 1000) {
        static const bool initialised = [] {
            ::setenv("MIBS", "", 1);
            netsnmp_ds_set_boolean(NETSNMP_DS_LIBRARY_ID, NETSNMP_DS_LIB_DONT_READ_CONFIGS, 1);
            netsnmp_ds_set_boolean(NETSNMP_DS_LIBRARY_ID, NETSNMP_DS_LIB_DONT_PERSIST_STATE, 1);
            snmp_disable_log();
            init_snmp("vprinter-test");
            return true;
        }();
        (void)initialised;
        netsnmp_session s;
        snmp_sess_init(&s);
        s.peername = const_cast<char*>(peer.c_str());
        s.version = version;
        s.community = reinterpret_cast<u_char*>(const_cast<char*>(community.c_str()));
        s.community_len = community.size();
        s.timeout = timeoutMs * 1000L;
        s.retries = 0;
        m_handle = snmp_sess_open(&s);
    }
    ~SnmpClient() {
        if (m_handle) snmp_sess_close(m_handle);
    }
    SnmpClient(const SnmpClient&) = delete;
    SnmpClient& operator=(const SnmpClient&) = delete;

    SnmpResult Request(int pduType, const std::vector<std::string>& oids) {
        SnmpResult r;
        if (!m_handle) return r;
        netsnmp_pdu* pdu = snmp_pdu_create(pduType);
        for (const auto& text : oids) {
            oid name[MAX_OID_LEN];
            size_t len = MAX_OID_LEN;
            if (!read_objid(text.c_str(), name, &len)) continue;
            snmp_add_null_var(pdu, name, len);
        }
        netsnmp_pdu* response = nullptr;
        if (snmp_sess_synch_response(m_handle, pdu, &response) == STAT_SUCCESS && response) {
            r.answered = true;
            r.errorStatus = response->errstat;
            r.errorIndex = response->errindex;
            for (netsnmp_variable_list* v = response->variables; v; v = v->next_variable) {
                SnmpVar out;
                for (size_t i = 0; i < v->name_length; ++i) out.oid += (i ? "." : "") + std::to_string(v->name[i]);
                out.type = v->type;
                if (v->type == ASN_OCTET_STR || v->type == ASN_IPADDRESS || v->type == ASN_OPAQUE)
                    out.bytes.assign(reinterpret_cast<const char*>(v->val.string), v->val_len);
                else if (v->type == ASN_OBJECT_ID)
                    for (size_t i = 0; i < v->val_len / sizeof(oid); ++i)
                        out.oidValue += (i ? "." : "") + std::to_string(v->val.objid[i]);
                else if (v->type == ASN_INTEGER)
                    out.number = *v->val.integer;
                else if (v->type != ASN_NULL)
                    out.number = static_cast<unsigned long>(*v->val.integer) & 0xFFFFFFFFul;
                r.vars.push_back(std::move(out));
            }
        }
        if (response) snmp_free_pdu(response);
        return r;
    }

    std::optional<SnmpVar> Get(const std::string& oid) {
        auto r = Request(SNMP_MSG_GET, {oid});
        if (!r.answered || r.errorStatus != 0 || r.vars.size() != 1) return std::nullopt;
        return r.vars[0];
    }

    // GetNext from the root until the agent reports the end (or 5000 objects, a runaway guard).
    std::vector<SnmpVar> Walk() {
        std::vector<SnmpVar> all;
        std::string cursor = "1.3";
        for (int i = 0; i < 5000; ++i) {
            auto r = Request(SNMP_MSG_GETNEXT, {cursor});
            if (!r.answered || r.errorStatus != 0 || r.vars.size() != 1) break;
            cursor = r.vars[0].oid;
            all.push_back(r.vars[0]);
        }
        return all;
    }

private:
    void* m_handle = nullptr;
};

}  // namespace vp_test
