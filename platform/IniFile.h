// A private-profile (INI) file read with the Windows rules: sections and keys match without
// regard to case, the first section of a name and the first key within it win, blanks around
// names and values are dropped, a value wholly in matching quotes loses them, and text after a
// value is part of it (no trailing comments).
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace vplat::detail {

class IniFile {
public:
    // Largest file read; a bigger one is treated as unreadable.
    static constexpr size_t kMaxFileBytes = 4 * 1024 * 1024;

    // Parses text that is already UTF-16.
    explicit IniFile(std::u16string_view text);
    // Reads and decodes a file: UTF-16LE or UTF-8 with their byte-order marks, else the ANSI
    // code page. nullopt if the file cannot be read.
    static std::optional<IniFile> Load(const std::string& linuxPath);

    // nullopt when the section or key is missing, or the key has no "=".
    std::optional<std::u16string> Get(std::u16string_view section, std::u16string_view key) const;
    std::vector<std::u16string> SectionNames() const;
    // nullopt when the section is missing.
    std::optional<std::vector<std::u16string>> KeyNames(std::u16string_view section) const;

private:
    struct Entry {
        std::u16string key;
        std::optional<std::u16string> value;
    };
    struct Section {
        std::u16string name;
        std::vector<Entry> entries;
    };
    const Section* Find(std::u16string_view section) const;

    std::vector<Section> m_sections;
};

// Blanks of INI text: space, tab, CR and Ctrl-Z.
std::u16string_view TrimIniBlanks(std::u16string_view text);

}  // namespace vplat::detail
