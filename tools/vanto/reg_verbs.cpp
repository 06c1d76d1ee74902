// vanto reg get|set|delete|list: the prefix's registry, for example
//   vanto reg set 'HKLM\SOFTWARE\KELDA\VANTO' VANTO_LOG dword 1
// Types: sz (text), dword (decimal or 0x hex), binary (hex digits, spaces allowed). get and list
// take --json.
#include "platform/TextUtil.h"
#include "tools/vanto/admin_common.h"
#include "tools/vanto/json_view.h"

#include <cstring>
#include <memory>
#include <optional>
#include <vector>

namespace {
using vanto_cli::AdminFail;
using vanto_cli::Json;
using vplat::detail::FromUtf8;
using vplat::detail::ToUtf8;

constexpr size_t kMaxValueBytes = 1024 * 1024;  // largest value the tool writes or prints

struct KeyPath {
    HKEY root;
    std::u16string path;
};

// "HKLM\..." or "HKEY_LOCAL_MACHINE\..." (also HKCU and HKCR).
KeyPath ParseKey(const char* verb, const std::string& text) {
    static const std::pair<const char*, HKEY> kRoots[] = {
        {"HKLM", HKEY_LOCAL_MACHINE}, {"HKEY_LOCAL_MACHINE", HKEY_LOCAL_MACHINE},
        {"HKCU", HKEY_CURRENT_USER},  {"HKEY_CURRENT_USER", HKEY_CURRENT_USER},
        {"HKCR", HKEY_CLASSES_ROOT},  {"HKEY_CLASSES_ROOT", HKEY_CLASSES_ROOT}};
    const size_t slash = text.find('\\');
    const std::string root = text.substr(0, slash);
    for (const auto& [name, handle] : kRoots)
        if (vplat::detail::EqualNoCaseUtf8(root, name))
            return {handle, slash == std::string::npos ? u"" : FromUtf8(text.substr(slash + 1))};
    AdminFail(verb, "bad key '" + text + "': begin it with HKLM\\ (or HKCU\\, HKCR\\), e.g. 'HKLM\\SOFTWARE\\KELDA\\VANTO'");
}

std::string Describe(LSTATUS status) {
    switch (status) {
        case ERROR_FILE_NOT_FOUND: return "not found";
        case ERROR_ACCESS_DENIED: return "access denied";
        case ERROR_INVALID_PARAMETER: return "invalid name";
        default: return "error " + std::to_string(status);
    }
}

std::optional<std::vector<BYTE>> ParseHex(const std::string& text) {
    std::vector<BYTE> bytes;
    int high = -1;
    for (char c : text) {
        if (c == ' ' || c == ':') continue;
        int v = -1;
        if (c >= '0' && c <= '9') v = c - '0';
        if (c >= 'a' && c <= 'f') v = c - 'a' + 10;
        if (c >= 'A' && c <= 'F') v = c - 'A' + 10;
        if (v < 0) return std::nullopt;
        if (high < 0) {
            high = v;
        } else {
            bytes.push_back(static_cast<BYTE>(high * 16 + v));
            high = -1;
        }
    }
    if (high >= 0 || bytes.size() > kMaxValueBytes) return std::nullopt;
    return bytes;
}

std::optional<DWORD> ParseDword(const std::string& text) {
    if (text.empty()) return std::nullopt;
    const bool hex = text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X');
    uint64_t value = 0;
    for (size_t i = hex ? 2 : 0; i < text.size(); ++i) {
        const char c = text[i];
        int v = -1;
        if (c >= '0' && c <= '9') v = c - '0';
        if (hex && c >= 'a' && c <= 'f') v = c - 'a' + 10;
        if (hex && c >= 'A' && c <= 'F') v = c - 'A' + 10;
        if (v < 0) return std::nullopt;
        value = value * (hex ? 16 : 10) + static_cast<uint64_t>(v);
        if (value > 0xFFFFFFFFu) return std::nullopt;
    }
    return static_cast<DWORD>(value);
}

// A value decoded as far as its type says how: {"type": 4, "type_name": "dword", "value": 1}; the
// value is text for sz, a number for dword, hex digits for anything else.
Json DecodeValue(DWORD type, const std::vector<BYTE>& data) {
    if (type == REG_DWORD && data.size() == sizeof(DWORD)) {
        DWORD v = 0;
        std::memcpy(&v, data.data(), sizeof v);
        return {{"type", type}, {"type_name", "dword"}, {"value", v}};
    }
    if ((type == REG_SZ || type == REG_EXPAND_SZ) && data.size() % 2 == 0) {
        std::u16string text(data.size() / 2, u'\0');
        if (!text.empty()) std::memcpy(text.data(), data.data(), data.size());
        if (auto end = text.find(u'\0'); end != std::u16string::npos) text.resize(end);
        return {{"type", type}, {"type_name", "sz"}, {"value", ToUtf8(text)}};
    }
    const std::string name = type == REG_BINARY ? "binary" : "type " + std::to_string(type);
    return {{"type", type}, {"type_name", name}, {"value", vanto_cli::HexText(data)}};
}

// The plain view of a decoded value: dword 1 (0x00000001), sz "text", binary 0102.
std::string FormatValue(const Json& value) {
    const std::string name = value["type_name"].get<std::string>();
    if (name == "dword") {
        const DWORD v = value["value"].get<DWORD>();
        char text[32];
        std::snprintf(text, sizeof text, "dword %u (0x%08x)", static_cast<unsigned>(v), static_cast<unsigned>(v));
        return text;
    }
    if (name == "sz") return "sz \"" + value["value"].get<std::string>() + "\"";
    return name + " " + value["value"].get<std::string>();
}

HKEY Open(const char* verb, const std::string& keyText, const KeyPath& key, REGSAM access) {
    vanto_cli::RequirePrefix(verb);
    HKEY h = nullptr;
    if (LSTATUS s = RegOpenKeyExW(key.root, key.path.c_str(), 0, access, &h); s != ERROR_SUCCESS)
        AdminFail(verb, "cannot open key '" + keyText + "': " + Describe(s) +
                            (s == ERROR_FILE_NOT_FOUND ? " (`vanto reg list` of the key above shows the keys there are)"
                                                       : ""));
    return h;
}

// The value's type and data; false if it is missing.
bool Query(HKEY key, const std::u16string& name, DWORD& type, std::vector<BYTE>& data) {
    DWORD size = 0;
    if (RegQueryValueExW(key, name.c_str(), nullptr, &type, nullptr, &size) != ERROR_SUCCESS) return false;
    data.resize(std::min<size_t>(size, kMaxValueBytes));
    DWORD got = static_cast<DWORD>(data.size());
    if (RegQueryValueExW(key, name.c_str(), nullptr, &type, data.data(), &got) != ERROR_SUCCESS) return false;
    data.resize(got);
    return true;
}

void Get(const std::string& keyText, const std::string& name, bool asJson) {
    const KeyPath key = ParseKey("reg get", keyText);
    HKEY h = Open("reg get", keyText, key, KEY_READ);
    DWORD type = 0;
    std::vector<BYTE> data;
    const bool found = Query(h, FromUtf8(name), type, data);
    RegCloseKey(h);
    if (!found)
        AdminFail("reg get", "no value '" + name + "' under '" + keyText + "': `vanto reg list " +
                                 vanto_cli::ShellWord(keyText) + "` shows its values");
    const Json value = DecodeValue(type, data);
    if (asJson) {
        Json out = {{"key", keyText}, {"name", name}};
        out.update(value);
        vanto_cli::PrintJson(out);
        return;
    }
    std::printf("%s\n", FormatValue(value).c_str());
}

void Set(const std::string& keyText, const std::string& name, const std::string& typeText, const std::string& value) {
    const KeyPath key = ParseKey("reg set", keyText);
    // Check the whole request before anything is written.
    DWORD type = REG_NONE;
    std::vector<BYTE> data;
    if (typeText == "sz") {
        type = REG_SZ;
        const std::u16string text = FromUtf8(value);
        data.resize((text.size() + 1) * 2, 0);
        std::memcpy(data.data(), text.c_str(), text.size() * 2);
    } else if (typeText == "dword") {
        auto v = ParseDword(value);
        if (!v) AdminFail("reg set", "bad dword '" + value + "' (decimal or 0x hex, 32 bits)");
        type = REG_DWORD;
        data.resize(sizeof(DWORD));
        std::memcpy(data.data(), &*v, sizeof(DWORD));
    } else if (typeText == "binary") {
        auto bytes = ParseHex(value);
        if (!bytes) AdminFail("reg set", "bad binary '" + value + "' (pairs of hex digits)");
        type = REG_BINARY;
        data = std::move(*bytes);
    } else {
        AdminFail("reg set", "bad type '" + typeText + "' (sz, dword or binary)");
    }
    vanto_cli::RequirePrefix("reg set");
    HKEY h = nullptr;
    if (LSTATUS s = RegCreateKeyExW(key.root, key.path.c_str(), 0, nullptr, 0, KEY_WRITE, nullptr, &h, nullptr);
        s != ERROR_SUCCESS)
        AdminFail("reg set", "cannot create key: " + Describe(s));
    const LSTATUS s = RegSetValueExW(h, FromUtf8(name).c_str(), 0, type, data.data(), static_cast<DWORD>(data.size()));
    RegCloseKey(h);
    if (s != ERROR_SUCCESS) AdminFail("reg set", "cannot set value: " + Describe(s));
}

void Delete(const std::string& keyText, const std::shared_ptr<std::string>& name) {
    const KeyPath key = ParseKey("reg delete", keyText);
    if (!name->empty()) {
        HKEY h = Open("reg delete", keyText, key, KEY_SET_VALUE);
        const LSTATUS s = RegDeleteValueW(h, FromUtf8(*name).c_str());
        RegCloseKey(h);
        if (s != ERROR_SUCCESS) AdminFail("reg delete", "cannot delete value: " + Describe(s));
        return;
    }
    vanto_cli::RequirePrefix("reg delete");
    if (key.path.empty()) AdminFail("reg delete", "a root key cannot be deleted");
    if (LSTATUS s = RegDeleteTreeW(key.root, key.path.c_str()); s != ERROR_SUCCESS)
        AdminFail("reg delete", "cannot delete key: " + Describe(s));
}

void List(const std::string& keyText, bool asJson) {
    const KeyPath key = ParseKey("reg list", keyText);
    HKEY h = Open("reg list", keyText, key, KEY_READ);
    Json subkeys = Json::array();
    for (DWORD i = 0;; ++i) {
        char16_t name[256];
        DWORD chars = 256;
        if (RegEnumKeyExW(h, i, name, &chars, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS) break;
        subkeys.push_back(ToUtf8(std::u16string_view(name, chars)));
    }
    Json values = Json::array();
    for (DWORD i = 0;; ++i) {
        std::vector<char16_t> name(16384);
        DWORD chars = static_cast<DWORD>(name.size());
        if (RegEnumValueW(h, i, name.data(), &chars, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS) break;
        const std::u16string valueName(name.data(), chars);
        DWORD type = 0;
        std::vector<BYTE> data;
        if (!Query(h, valueName, type, data)) continue;
        Json value = {{"name", ToUtf8(valueName)}};
        value.update(DecodeValue(type, data));
        values.push_back(std::move(value));
    }
    RegCloseKey(h);
    if (asJson) {
        vanto_cli::PrintJson({{"key", keyText}, {"subkeys", std::move(subkeys)}, {"values", std::move(values)}});
        return;
    }
    for (const Json& subkey : subkeys) std::printf("%s\\\n", subkey.get<std::string>().c_str());
    for (const Json& value : values) {
        const std::string name = value["name"].get<std::string>();
        std::printf("%s = %s\n", name.empty() ? "(default)" : name.c_str(), FormatValue(value).c_str());
    }
}

vanto_cli::VerbGroup regVerbs([](CLI::App& app) {
    auto* reg = app.add_subcommand("reg", "The prefix's registry (keys like HKLM\\SOFTWARE\\KELDA\\VANTO)");
    reg->require_subcommand(1);
    auto key = std::make_shared<std::string>();
    auto name = std::make_shared<std::string>();
    auto type = std::make_shared<std::string>();
    auto value = std::make_shared<std::string>();

    auto asJson = std::make_shared<bool>(false);
    auto* get = reg->add_subcommand("get", "Print one value");
    get->add_option("KEY", *key)->required();
    get->add_option("NAME", *name)->required();
    vanto_cli::AddJsonFlag(get, *asJson);
    get->footer("Examples:\n  vanto reg get 'HKLM\\SOFTWARE\\KELDA\\VANTO' VANTO_LOG\n"
                "  vanto reg get 'HKLM\\SOFTWARE\\KELDA\\VANTO' VANTO_LOG --json");
    get->callback([=] { Get(*key, *name, *asJson); });

    auto* set = reg->add_subcommand("set", "Create or replace a value (creating the key)");
    set->add_option("KEY", *key)->required();
    set->add_option("NAME", *name)->required();
    set->add_option("TYPE", *type, "sz, dword or binary")->required();
    set->add_option("VALUE", *value, "text, number, or hex bytes")->required();
    set->footer("Examples:\n  vanto reg set 'HKLM\\SOFTWARE\\KELDA\\VANTO' VANTO_LOG dword 1\n"
                "  vanto reg set 'HKLM\\SOFTWARE\\KELDA\\Test' Blob binary '01 02 0a'");
    set->callback([=] { Set(*key, *name, *type, *value); });

    auto* del = reg->add_subcommand("delete", "Delete a value, or without NAME the key and all below it");
    del->add_option("KEY", *key)->required();
    del->add_option("NAME", *name);
    del->footer("Examples:\n  vanto reg delete 'HKLM\\SOFTWARE\\KELDA\\VANTO' VANTO_LOG\n"
                "  vanto reg delete 'HKLM\\SOFTWARE\\KELDA\\Test'");
    del->callback([=] { Delete(*key, name); });

    auto* list = reg->add_subcommand("list", "List a key's subkeys and values");
    list->add_option("KEY", *key)->required();
    vanto_cli::AddJsonFlag(list, *asJson);
    list->footer("Examples:\n  vanto reg list 'HKLM\\SOFTWARE\\KELDA\\VANTO'\n"
                 "  vanto reg list 'HKLM\\SYSTEM\\CurrentControlSet\\Control\\Print\\Printers' --json");
    list->callback([=] { List(*key, *asJson); });
    reg->footer("Examples:\n  vanto reg list 'HKLM\\SOFTWARE\\KELDA\\VANTO' --json\n"
                "  vanto reg set 'HKLM\\SOFTWARE\\KELDA\\VANTO' VANTO_LOG dword 1");
});
}  // namespace
