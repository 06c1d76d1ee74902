// A private-profile (INI) file read with the Windows rules.
#include "platform/IniFile.h"

#include "platform/TextUtil.h"
#include "platform/win32.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace vplat::detail {

namespace {
constexpr char16_t kCtrlZ = 0x1A;
constexpr unsigned char kUtf16LeMark[] = {0xFF, 0xFE};
constexpr unsigned char kUtf8Mark[] = {0xEF, 0xBB, 0xBF};

bool IsBlank(char16_t c) { return c == u' ' || c == u'\t' || c == u'\r' || c == kCtrlZ; }

std::optional<std::string> ReadBounded(const std::string& path) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return std::nullopt;
    std::string bytes;
    struct stat st {};
    bool ok = ::fstat(fd, &st) == 0 && S_ISREG(st.st_mode);
    char chunk[16384];
    while (ok) {
        const ssize_t n = ::read(fd, chunk, sizeof chunk);
        if (n < 0) ok = false;
        if (n <= 0) break;
        bytes.append(chunk, static_cast<size_t>(n));
        if (bytes.size() > IniFile::kMaxFileBytes) ok = false;
    }
    ::close(fd);
    if (!ok) return std::nullopt;
    return bytes;
}
}  // namespace

std::u16string_view TrimIniBlanks(std::u16string_view text) {
    while (!text.empty() && IsBlank(text.front())) text.remove_prefix(1);
    while (!text.empty() && IsBlank(text.back())) text.remove_suffix(1);
    return text;
}

IniFile::IniFile(std::u16string_view text) {
    Section* current = nullptr;
    size_t pos = 0;
    while (pos <= text.size()) {
        size_t end = text.find(u'\n', pos);
        if (end == std::u16string_view::npos) end = text.size();
        std::u16string_view line = TrimIniBlanks(text.substr(pos, end - pos));
        pos = end + 1;
        if (line.empty()) continue;
        if (line.front() == u'[') {
            line.remove_prefix(1);
            if (auto close = line.find(u']'); close != std::u16string_view::npos) line = line.substr(0, close);
            m_sections.push_back({std::u16string(TrimIniBlanks(line)), {}});
            current = &m_sections.back();
            continue;
        }
        if (!current) continue;  // lines before the first section belong to none
        Entry entry;
        if (auto eq = line.find(u'='); eq != std::u16string_view::npos) {
            entry.key = TrimIniBlanks(line.substr(0, eq));
            std::u16string_view value = TrimIniBlanks(line.substr(eq + 1));
            if (value.size() >= 2 && (value.front() == u'"' || value.front() == u'\'') && value.back() == value.front())
                value = value.substr(1, value.size() - 2);
            entry.value = std::u16string(value);
        } else {
            entry.key = line;
        }
        current->entries.push_back(std::move(entry));
    }
}

std::optional<IniFile> IniFile::Load(const std::string& linuxPath) {
    auto bytes = ReadBounded(linuxPath);
    if (!bytes) return std::nullopt;
    std::string_view b(*bytes);
    std::u16string text;
    if (b.size() >= 2 && static_cast<unsigned char>(b[0]) == kUtf16LeMark[0] &&
        static_cast<unsigned char>(b[1]) == kUtf16LeMark[1]) {
        b.remove_prefix(2);
        text.resize(b.size() / 2);
        for (size_t i = 0; i < text.size(); ++i)
            text[i] = static_cast<char16_t>(static_cast<unsigned char>(b[2 * i]) |
                                            (static_cast<unsigned char>(b[2 * i + 1]) << 8));
    } else if (b.size() >= 3 && static_cast<unsigned char>(b[0]) == kUtf8Mark[0] &&
               static_cast<unsigned char>(b[1]) == kUtf8Mark[1] && static_cast<unsigned char>(b[2]) == kUtf8Mark[2]) {
        text = FromUtf8(b.substr(3));
    } else if (!b.empty()) {
        const int size = static_cast<int>(b.size());
        const int needed = MultiByteToWideChar(CP_ACP, 0, b.data(), size, nullptr, 0);
        if (needed <= 0) return std::nullopt;
        text.resize(static_cast<size_t>(needed));
        if (MultiByteToWideChar(CP_ACP, 0, b.data(), size, text.data(), needed) != needed) return std::nullopt;
    }
    return IniFile(text);
}

const IniFile::Section* IniFile::Find(std::u16string_view section) const {
    section = TrimIniBlanks(section);
    for (const auto& s : m_sections)
        if (EqualNoCase(s.name, section)) return &s;
    return nullptr;
}

std::optional<std::u16string> IniFile::Get(std::u16string_view section, std::u16string_view key) const {
    const Section* s = Find(section);
    if (!s) return std::nullopt;
    key = TrimIniBlanks(key);
    for (const auto& e : s->entries)
        if (EqualNoCase(e.key, key)) return e.value;
    return std::nullopt;
}

std::vector<std::u16string> IniFile::SectionNames() const {
    std::vector<std::u16string> names;
    for (const auto& s : m_sections) names.push_back(s.name);
    return names;
}

std::optional<std::vector<std::u16string>> IniFile::KeyNames(std::u16string_view section) const {
    const Section* s = Find(section);
    if (!s) return std::nullopt;
    std::vector<std::u16string> names;
    for (const auto& e : s->entries) names.push_back(e.key);
    return names;
}

}  // namespace vplat::detail
