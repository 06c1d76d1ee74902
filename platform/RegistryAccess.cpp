// Typed value helpers over the registry store.
#include "platform/RegistryAccess.h"

#include <cstring>

namespace vplat::detail {

std::vector<BYTE> StringData(std::u16string_view text) {
    std::vector<BYTE> data((text.size() + 1) * sizeof(char16_t), 0);
    if (!text.empty()) std::memcpy(data.data(), text.data(), text.size() * sizeof(char16_t));
    return data;
}

LSTATUS SetString(RegistryDb& db, int64_t key, std::u16string_view name, std::u16string_view text) {
    return db.SetValue(key, name, REG_SZ, StringData(text));
}

LSTATUS SetDword(RegistryDb& db, int64_t key, std::u16string_view name, DWORD value) {
    BYTE data[sizeof(DWORD)];
    std::memcpy(data, &value, sizeof value);
    return db.SetValue(key, name, REG_DWORD, data);
}

std::optional<std::u16string> GetString(RegistryDb& db, int64_t key, std::u16string_view name) {
    DWORD type = REG_NONE;
    std::vector<BYTE> data;
    if (db.QueryValue(key, name, type, data) != ERROR_SUCCESS) return std::nullopt;
    if (type != REG_SZ && type != REG_EXPAND_SZ) return std::nullopt;
    std::u16string text(data.size() / sizeof(char16_t), u'\0');
    if (!text.empty()) std::memcpy(text.data(), data.data(), text.size() * sizeof(char16_t));
    if (auto end = text.find(u'\0'); end != std::u16string::npos) text.resize(end);
    return text;
}

std::optional<DWORD> GetDword(RegistryDb& db, int64_t key, std::u16string_view name) {
    DWORD type = REG_NONE;
    std::vector<BYTE> data;
    if (db.QueryValue(key, name, type, data) != ERROR_SUCCESS) return std::nullopt;
    if (type != REG_DWORD || data.size() != sizeof(DWORD)) return std::nullopt;
    DWORD value = 0;
    std::memcpy(&value, data.data(), sizeof value);
    return value;
}

}  // namespace vplat::detail
