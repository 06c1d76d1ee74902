// Loading a printer profile: profile.json with its MIB data and reply payload files, or a bare
// snmprec recording.
#include "Profile.h"

#include "InkjetResponder.h"

#include <nlohmann/json.hpp>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <sstream>

namespace vprinter {

namespace {

constexpr uintmax_t kMaxFileBytes = 16u << 20;  // no profile file is anywhere near this
constexpr size_t kMinMessage = 484;              // the size every SNMP agent must accept (RFC 1157)
constexpr size_t kMaxMessage = 65507;            // the largest UDP payload over IPv4
constexpr size_t kMaxChunk = 0xFFFF;             // PI chunk sizes are 16-bit

bool ReadFile(const std::filesystem::path& path, std::string& out, std::string& error) {
    std::error_code ec;
    const auto size = std::filesystem::file_size(path, ec);
    if (ec) {
        error = path.string() + ": " + ec.message();
        return false;
    }
    if (size > kMaxFileBytes) {
        error = path.string() + ": file too large";
        return false;
    }
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        error = path.string() + ": cannot open";
        return false;
    }
    std::ostringstream text;
    text << in.rdbuf();
    out = text.str();
    return true;
}

bool ReadHexFile(const std::filesystem::path& path, Bytes& out, std::string& error) {
    std::string text;
    if (!ReadFile(path, text, error)) return false;
    auto bytes = FromHexText(text);
    if (!bytes) {
        error = path.string() + ": not hexadecimal byte pairs";
        return false;
    }
    out = std::move(*bytes);
    return true;
}

bool IsUsbPortName(const std::string& name) {
    if (name.size() != 6 || name.compare(0, 3, "USB") != 0) return false;
    return std::all_of(name.begin() + 3, name.end(), [](char c) { return c >= '0' && c <= '9'; });
}

// Keeps the device ID and the MIB consistent: the profile's device ID is served at the
// port-monitor column row 1 unless the MIB data already has it, and vice versa.
void ReconcileDeviceId(Profile& p) {
    Oid row = kPwgDeviceIdColumn;
    row.push_back(1);
    const MibValue* inMib = p.mib.Get(row);
    if (inMib && inMib->type == MibType::OctetString) {
        if (p.deviceId.empty()) p.deviceId = inMib->octets;
        return;
    }
    if (!p.deviceId.empty() && p.snmp) {
        MibValue v;
        v.type = MibType::OctetString;
        v.octets = p.deviceId;
        p.mib.Set(row, std::move(v));
    }
}

bool LoadJsonProfile(const std::filesystem::path& dir, Profile& p, std::string& error) {
    std::string text;
    if (!ReadFile(dir / "profile.json", text, error)) return false;
    const auto json = nlohmann::json::parse(text, nullptr, false);
    if (json.is_discarded() || !json.is_object()) {
        error = (dir / "profile.json").string() + ": not a JSON object";
        return false;
    }
    try {
        p.model = json.value("model", p.name);
        p.deviceId = json.value("device_id", std::string());
        p.usbPort = json.value("usb_port", std::string());
        if (!p.usbPort.empty() && !IsUsbPortName(p.usbPort)) {
            error = p.name + ": usb_port must be USB followed by three digits";
            return false;
        }
        const auto channels = json.value("channels", std::vector<std::string>{"snmp"});
        p.snmp = p.opk = p.d4 = p.tvd4 = false;
        for (const auto& c : channels) {
            if (c == "snmp") p.snmp = true;
            else if (c == "opk") p.opk = true;
            else if (c == "d4") p.d4 = true;
            else if (c == "tvd4") p.tvd4 = true;
            else {
                error = p.name + ": unknown channel '" + c + "' (snmp, opk, d4, tvd4)";
                return false;
            }
        }
        if ((p.d4 || p.tvd4) && p.usbPort.empty()) {
            error = p.name + ": D4 and TVD4 channels need a usb_port";
            return false;
        }
        p.snmpMaxMessage = json.value("snmp_max_message", p.snmpMaxMessage);
        p.piMaxChunk = json.value("pi_max_chunk", p.piMaxChunk);
        if (p.snmpMaxMessage < kMinMessage || p.snmpMaxMessage > kMaxMessage || p.piMaxChunk > kMaxChunk ||
            p.piMaxChunk <= kPiFirstFormOverhead + 1) {
            error = p.name + ": snmp_max_message or pi_max_chunk out of range";
            return false;
        }
        const std::string mibFile = json.value("mib", std::string("mib.snmprec"));
        if (std::filesystem::exists(dir / mibFile)) {
            std::string mibText;
            if (!ReadFile(dir / mibFile, mibText, error)) return false;
            p.mib.LoadSnmprec(mibText);
        } else if (json.contains("mib")) {
            error = (dir / mibFile).string() + ": missing";
            return false;
        }
        if (json.contains("status")) {
            if (!ReadHexFile(dir / json.at("status").get<std::string>(), p.statusFields, error)) return false;
            p.hasStatus = true;
        }
        const auto replies = json.value("replies", nlohmann::json::object());
        const std::pair<const char*, Bytes*> files[] = {
            {"pc", &p.pcData}, {"sr", &p.srBlock}, {"pm14", &p.pm14}, {"pm16", &p.pm16}, {"pm17", &p.pm17}};
        for (auto [key, target] : files) {
            if (replies.contains(key) && !ReadHexFile(dir / replies.at(key).get<std::string>(), *target, error))
                return false;
        }
        const auto rawReplies = json.value("raw_replies", nlohmann::json::object());
        for (const auto& [key, file] : rawReplies.items()) {
            if (key != "pc" && key != "sr" && key != "pm14" && key != "pm16") {
                error = p.name + ": unknown raw reply '" + key + "' (pc, sr, pm14, pm16)";
                return false;
            }
            if (!ReadHexFile(dir / file.get<std::string>(), p.rawReplies[key], error)) return false;
        }
        for (const auto& f : json.value("faults", std::vector<std::string>{})) {
            auto rule = ParseFaultRule(f, error);
            if (!rule) {
                error = p.name + ": " + error;
                return false;
            }
            p.faults.push_back(*rule);
        }
    } catch (const nlohmann::json::exception& e) {
        error = (dir / "profile.json").string() + ": " + e.what();
        return false;
    }
    return true;
}

}  // namespace

std::unique_ptr<Profile> LoadProfile(const std::string& path, std::string& error) {
    auto p = std::make_unique<Profile>();
    const std::filesystem::path where(path);
    p->name = where.filename().string();
    if (p->name.empty()) p->name = where.parent_path().filename().string();
    std::error_code ec;
    if (std::filesystem::is_directory(where, ec)) {
        if (!LoadJsonProfile(where, *p, error)) return nullptr;
    } else {
        // A bare recording: an SNMP-only printer.
        std::string text;
        if (!ReadFile(where, text, error)) return nullptr;
        p->model = p->name;
        p->mib.LoadSnmprec(text);
        if (p->mib.Size() == 0) {
            error = path + ": no MIB objects in it";
            return nullptr;
        }
    }
    if (!p->snmp && !p->opk && !p->d4 && !p->tvd4) {
        error = p->name + ": offers no channel";
        return nullptr;
    }
    if (p->hasStatus && p->snmp && !p->mib.Get(kMakerStatusObject)) {
        MibValue v;
        v.type = MibType::OctetString;
        const Bytes reply = *InkjetResponder(*p).StatusReply();
        v.octets.assign(reply.begin(), reply.end());
        p->mib.Set(kMakerStatusObject, std::move(v));
    }
    ReconcileDeviceId(*p);
    return p;
}

}  // namespace vprinter
