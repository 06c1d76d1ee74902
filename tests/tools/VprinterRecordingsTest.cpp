// vprinter serves a real printer's recording as it stands: every object of the snmprec file, in
// object-identifier order, with its type and value, read by net-snmp's own client and compared with
// an independent reading of the file. Addresses 127.0.77.100 and up, non-privileged ports.
#include "Bytes.h"
#include "support/TempFolder.h"
#include "support/VprinterProcess.h"

#include <gtest/gtest.h>

#include <net-snmp/net-snmp-config.h>
#include <net-snmp/net-snmp-includes.h>

#include <algorithm>
#include <filesystem>
#include <map>
#include <sstream>
#include <string>
#include <vector>

namespace {

using vanto_test::ReadFile;

constexpr int kSnmpPort = 1161;

// One object as "OID tag value", the value as net-snmp or the file gives it.
using Object = std::string;

// The objects an SNMPv1 agent must serve from an snmprec file: sorted by identifier, hex values
// decoded, Counter64 (not in version 1) left out.
std::vector<Object> ExpectedObjects(const std::string& text) {
    static const std::map<int, int> kTags = {{2, ASN_INTEGER},   {4, ASN_OCTET_STR}, {6, ASN_OBJECT_ID},
                                             {64, ASN_IPADDRESS}, {65, ASN_COUNTER},  {66, ASN_GAUGE},
                                             {67, ASN_TIMETICKS}};
    std::vector<std::pair<std::vector<unsigned long>, Object>> rows;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) {
        const size_t a = line.find('|'), b = line.find('|', a + 1);
        if (b == std::string::npos) continue;
        const std::string oid = line.substr(0, a);
        std::string type = line.substr(a + 1, b - a - 1), value = line.substr(b + 1);
        if (type.back() == 'x') {
            const auto bytes = vprinter::FromHexText(value);
            value.assign(bytes->begin(), bytes->end());
            type.pop_back();
        }
        if (std::stoi(type) == 70) continue;
        std::vector<unsigned long> key;
        std::istringstream arcs(oid);
        for (std::string arc; std::getline(arcs, arc, '.');) key.push_back(std::stoul(arc));
        rows.emplace_back(key, oid + " " + std::to_string(kTags.at(std::stoi(type))) + " " + value);
    }
    std::sort(rows.begin(), rows.end());
    std::vector<Object> objects;
    for (auto& row : rows) objects.push_back(row.second);
    return objects;
}

// Every object of the agent at `address`, by GetNext from the root until it reports the end.
std::vector<Object> Walk(const std::string& address) {
    const std::string peer = address + ":" + std::to_string(kSnmpPort), community = "vintal";
    netsnmp_session settings;
    snmp_sess_init(&settings);
    settings.peername = const_cast<char*>(peer.c_str());
    settings.version = SNMP_VERSION_1;
    settings.community = reinterpret_cast<u_char*>(const_cast<char*>(community.c_str()));
    settings.community_len = community.size();
    settings.retries = 1;
    void* session = snmp_sess_open(&settings);
    std::vector<Object> objects;
    std::vector<oid> cursor = {1, 3};
    // A runaway guard well above the largest recording.
    for (int i = 0; session != nullptr && i < 20000; ++i) {
        netsnmp_pdu* request = snmp_pdu_create(SNMP_MSG_GETNEXT);
        snmp_add_null_var(request, cursor.data(), cursor.size());
        netsnmp_pdu* reply = nullptr;
        const bool answered = snmp_sess_synch_response(session, request, &reply) == STAT_SUCCESS && reply != nullptr;
        const netsnmp_variable_list* v = answered && reply->errstat == 0 ? reply->variables : nullptr;
        if (v != nullptr) {
            cursor.assign(v->name, v->name + v->name_length);
            std::string text;
            for (size_t k = 0; k < v->name_length; ++k) text += (k ? "." : "") + std::to_string(v->name[k]);
            text += " " + std::to_string(v->type) + " ";
            if (v->type == ASN_OCTET_STR)
                text.append(reinterpret_cast<const char*>(v->val.string), v->val_len);
            else if (v->type == ASN_IPADDRESS)
                for (size_t k = 0; k < v->val_len; ++k) text += (k ? "." : "") + std::to_string(v->val.string[k]);
            else if (v->type == ASN_OBJECT_ID)
                for (size_t k = 0; k < v->val_len / sizeof(oid); ++k)
                    text += (k ? "." : "") + std::to_string(v->val.objid[k]);
            else if (v->type == ASN_INTEGER)
                text += std::to_string(*v->val.integer);
            else
                text += std::to_string(static_cast<unsigned long>(*v->val.integer) & 0xFFFFFFFFul);
            objects.push_back(text);
        }
        if (reply != nullptr) snmp_free_pdu(reply);
        if (v == nullptr) break;
    }
    if (session != nullptr) snmp_sess_close(session);
    return objects;
}

TEST(VprinterRecordings, EveryRecordingAndASampleProfileAreServedAsTheyStand) {
    netsnmp_ds_set_boolean(NETSNMP_DS_LIBRARY_ID, NETSNMP_DS_LIB_DONT_READ_CONFIGS, 1);
    snmp_disable_log();
    init_snmp("vprinter-test");
    std::vector<std::string> files = {vanto_test::SampleProfile("colour-page/mib.snmprec")};
    std::error_code ec;
    for (const auto& e : std::filesystem::directory_iterator(std::string(VANTO_SHARED_DIR) + "/printers-recorded", ec))
        if (e.path().extension() == ".snmprec") files.push_back(e.path().string());
    if (files.size() == 1) std::printf("no recordings in ../shared/printers-recorded: the sample profile only\n");
    TempFolder dir;
    std::string fleet;
    for (size_t i = 0; i < files.size(); ++i) fleet += "127.0.77." + std::to_string(100 + i) + " " + files[i] + "\n";
    vanto_test::VprinterProcess vp({"--snmp-port", std::to_string(kSnmpPort), "--opk-port", "19100", "--usb-dir",
                                    dir.Path(), "--fleet", dir.Write("fleet.txt", fleet)});
    ASSERT_TRUE(vp.Ready()) << vp.Stderr();
    for (size_t i = 0; i < files.size(); ++i) {
        SCOPED_TRACE(files[i]);
        const auto expected = ExpectedObjects(ReadFile(files[i]));
        EXPECT_EQ(Walk("127.0.77." + std::to_string(100 + i)), expected);
        EXPECT_GT(expected.size(), 5u);
    }
}

}  // namespace
