// The resource-table compiler: JSON source to the binary resource file layout.
#include "tools/restable/ResTableCompiler.h"

#include "tables/BITableLayout.h"

#include <map>
#include <set>
#include <stdexcept>

namespace L = BITableLayout;

namespace restable {
namespace {

// A field of a row: where it lies and how wide it is; text fields are zero-terminated in `width`
// bytes, list fields hold at most `width` numbers one after another.
enum class Kind { U8, U16, U32, Text, U16List, U32List };
struct Field {
    const char* name;
    size_t offset;
    Kind kind;
    size_t width;  // text and list fields only
};

// Bytes a field takes in its row.
size_t FieldBytes(const Field& f) {
    switch (f.kind) {
        case Kind::U8: return 1;
        case Kind::U16: return 2;
        case Kind::U32: return 4;
        case Kind::Text: return f.width;
        case Kind::U16List: return 2 * f.width;
        case Kind::U32List: return 4 * f.width;
    }
    return 0;
}

struct TableLayout {
    size_t defaultRowSize;
    std::vector<Field> fields;
};

const std::map<uint32_t, TableLayout>& Layouts() {
    static const std::map<uint32_t, TableLayout> layouts = {
        {L::kTablePaperType,
         {L::kPTMinRowSize,
          {{"id", L::kPTOffID, Kind::U16, 0},
           {"name", L::kPTOffName, Kind::Text, L::kPTNameWidth},
           {"flags", L::kPTOffFlags, Kind::U16, 0},
           {"code1", L::kPTOffCode1, Kind::U16, 0},
           {"code2", L::kPTOffCode2, Kind::U16, 0}}}},
        {L::kTablePaperSize,
         {L::kPSMinRowSize,
          {{"id", L::kPSOffID, Kind::U16, 0},
           {"name", L::kPSOffName, Kind::Text, L::kPSNameWidth},
           {"direction", L::kPSOffDirection, Kind::U16, 0},
           {"shown", L::kPSOffShown, Kind::U16, 0},
           {"flags", L::kPSOffFlags, Kind::U16, 0},
           {"code1", L::kPSOffCode1, Kind::U16, 0},
           {"code2", L::kPSOffCode2, Kind::U16, 0}}}},
        {L::kTablePaperSource,
         {L::kSrcRowSize,
          {{"element", L::kSrcOffElementID, Kind::U16, 0},
           {"bits", L::kSrcOffBits, Kind::U16, 0},
           {"flags", L::kSrcOffFlags, Kind::U8, 0},
           {"flags2", L::kSrcOffFlags2, Kind::U8, 0}}}},
        {L::kTableQuality,
         {16,
          {{"id", L::kQOffID, Kind::U16, 0},
           {"resolution", L::kQOffResolution, Kind::U32, 0},
           {"flags", L::kQOffFlags, Kind::U8, 0}}}},
        {L::kTableModel,
         {L::kMMinRowSize,
          {{"name", L::kMOffName, Kind::Text, L::kMNameWidth},
           {"feeder", L::kMOffFeeder, Kind::U16, 0},
           {"flags", L::kMOffFlags, Kind::U32, 0}}}},
        {L::kTableSystemOEM,
         {L::kOEMRowSize,
          {{"pattern", 0, Kind::Text, L::kOEMPatternWidth},
           {"modelInfo", L::kOEMOffModelInfo, Kind::U32, 0},
           {"pdl", L::kOEMOffPDL, Kind::U32, 0},
           {"options", L::kOEMOffOptions, Kind::U32, 0},
           {"memory", L::kOEMOffMemory, Kind::U32, 0},
           {"sources", L::kOEMOffSources, Kind::U16List, L::kOEMSourceCount},
           {"trays", L::kOEMOffTrayCount, Kind::U16, 0},
           {"userDef", L::kOEMOffUserDef, Kind::U32List, L::kOEMUserDefCount}}}},
    };
    return layouts;
}

struct CompileError : std::runtime_error {
    using std::runtime_error::runtime_error;
};

uint64_t Number(const nlohmann::json& v, uint64_t max, const std::string& where) {
    uint64_t n = 0;
    if (v.is_number_unsigned()) {
        n = v.get<uint64_t>();
    } else if (v.is_number_integer() && v.get<int64_t>() >= 0) {
        n = static_cast<uint64_t>(v.get<int64_t>());
    } else if (v.is_string()) {
        const std::string& s = v.get_ref<const std::string&>();
        size_t used = 0;
        try {
            n = std::stoull(s, &used, 0);
        } catch (const std::exception&) {
            throw CompileError(where + ": not a number: " + s);
        }
        if (used != s.size() || s.empty() || s[0] == '-') throw CompileError(where + ": not a number: " + s);
    } else {
        throw CompileError(where + ": expected a non-negative number");
    }
    if (n > max) throw CompileError(where + ": " + std::to_string(n) + " exceeds " + std::to_string(max));
    return n;
}

void Put(std::vector<uint8_t>& out, size_t off, uint64_t value, size_t bytes) {
    for (size_t i = 0; i < bytes; ++i) out[off + i] = static_cast<uint8_t>(value >> (8 * i));
}

std::vector<uint8_t> Hex(const std::string& text, const std::string& where) {
    if (text.size() % 2 != 0) throw CompileError(where + ": odd number of hex digits");
    std::vector<uint8_t> bytes;
    for (size_t i = 0; i < text.size(); i += 2) {
        auto digit = [&](char c) -> int {
            if (c >= '0' && c <= '9') return c - '0';
            if (c >= 'a' && c <= 'f') return c - 'a' + 10;
            if (c >= 'A' && c <= 'F') return c - 'A' + 10;
            throw CompileError(where + ": bad hex digit");
        };
        bytes.push_back(static_cast<uint8_t>(digit(text[i]) * 16 + digit(text[i + 1])));
    }
    return bytes;
}

// One row: either raw hex or named fields of a known table.
std::vector<uint8_t> Row(const nlohmann::json& row, const TableLayout* layout, size_t rowSize,
                         const std::string& where) {
    if (!row.is_object()) throw CompileError(where + ": a row is an object");
    std::vector<uint8_t> bytes(rowSize, 0);
    if (row.contains("hex")) {
        if (row.size() != 1 || !row["hex"].is_string()) throw CompileError(where + ": \"hex\" stands alone, as text");
        std::vector<uint8_t> raw = Hex(row["hex"].get<std::string>(), where);
        if (raw.size() > rowSize) throw CompileError(where + ": hex row longer than the row size");
        std::copy(raw.begin(), raw.end(), bytes.begin());
        return bytes;
    }
    if (layout == nullptr) throw CompileError(where + ": rows of this table are given as \"hex\"");
    for (auto it = row.begin(); it != row.end(); ++it) {
        const Field* field = nullptr;
        for (const Field& f : layout->fields)
            if (it.key() == f.name) field = &f;
        if (field == nullptr) throw CompileError(where + ": unknown field \"" + it.key() + "\"");
        std::string at = where + "." + it.key();
        switch (field->kind) {
            case Kind::U8: Put(bytes, field->offset, Number(it.value(), 0xFF, at), 1); break;
            case Kind::U16: Put(bytes, field->offset, Number(it.value(), 0xFFFF, at), 2); break;
            case Kind::U32: Put(bytes, field->offset, Number(it.value(), 0xFFFFFFFF, at), 4); break;
            case Kind::U16List:
            case Kind::U32List: {
                if (!it.value().is_array()) throw CompileError(at + ": expected a list of numbers");
                if (it.value().size() > field->width)
                    throw CompileError(at + ": more than " + std::to_string(field->width) + " numbers");
                const bool wide = field->kind == Kind::U32List;
                for (size_t i = 0; i < it.value().size(); ++i)
                    Put(bytes, field->offset + i * (wide ? 4 : 2),
                        Number(it.value()[i], wide ? 0xFFFFFFFF : 0xFFFF, at + "[" + std::to_string(i) + "]"),
                        wide ? 4 : 2);
                break;
            }
            case Kind::Text: {
                if (!it.value().is_string()) throw CompileError(at + ": expected text");
                const std::string& s = it.value().get_ref<const std::string&>();
                if (s.size() + 1 > field->width || s.find('\0') != std::string::npos)
                    throw CompileError(at + ": text does not fit " + std::to_string(field->width - 1) + " bytes");
                std::copy(s.begin(), s.end(), bytes.begin() + static_cast<std::ptrdiff_t>(field->offset));
                break;
            }
        }
    }
    return bytes;
}

void CompileOrThrow(const nlohmann::json& source, std::vector<uint8_t>& file) {
    if (!source.is_object()) throw CompileError("the source is an object");
    static const std::set<std::string> kTopKeys = {"format", "numeric", "flags", "tables", "comment"};
    for (auto it = source.begin(); it != source.end(); ++it)
        if (!kTopKeys.count(it.key())) throw CompileError("unknown key \"" + it.key() + "\"");
    if (!source.contains("tables") || !source["tables"].is_array()) throw CompileError("\"tables\" is a list");
    const auto& tables = source["tables"];
    if (tables.size() > 0xFFFF) throw CompileError("too many tables");

    uint64_t format = source.contains("format") ? Number(source["format"], 0xFFFF, "format") : 1;
    uint64_t flags = source.contains("flags") ? Number(source["flags"], 0xFFFFFFFF, "flags") : 0;
    if (source.contains("numeric")) {
        if (!source["numeric"].is_boolean()) throw CompileError("\"numeric\" is true or false");
        if (source["numeric"].get<bool>()) flags |= L::kFlagNumericForm;
        else flags &= ~uint64_t{L::kFlagNumericForm};
    }

    size_t dataStart = L::kHeaderSize + tables.size() * L::kDirEntrySize;
    file.assign(dataStart, 0);
    Put(file, L::kOffFormat, format, 2);
    Put(file, L::kOffDirCount, tables.size(), 2);
    Put(file, L::kOffFlags, flags, 4);

    for (size_t t = 0; t < tables.size(); ++t) {
        const auto& table = tables[t];
        std::string where = "tables[" + std::to_string(t) + "]";
        if (!table.is_object() || !table.contains("id")) throw CompileError(where + ": a table has an \"id\"");
        for (auto it = table.begin(); it != table.end(); ++it)
            if (it.key() != "id" && it.key() != "rowSize" && it.key() != "rows" && it.key() != "comment")
                throw CompileError(where + ": unknown key \"" + it.key() + "\"");
        uint32_t id = static_cast<uint32_t>(Number(table["id"], 0xFFFFFFFF, where + ".id"));
        auto known = Layouts().find(id);
        const TableLayout* layout = known == Layouts().end() ? nullptr : &known->second;
        size_t rowSize = table.contains("rowSize") ? Number(table["rowSize"], 0xFFFF, where + ".rowSize")
                                                   : (layout ? layout->defaultRowSize : 0);
        if (rowSize == 0) throw CompileError(where + ": \"rowSize\" is needed for table " + std::to_string(id));
        if (layout != nullptr) {
            for (const Field& f : layout->fields) {
                if (f.offset + FieldBytes(f) > rowSize)
                    throw CompileError(where + ": rowSize " + std::to_string(rowSize) + " too small for field " + f.name);
            }
        }
        const nlohmann::json empty = nlohmann::json::array();
        const auto& rows = table.contains("rows") ? table["rows"] : empty;
        if (!rows.is_array()) throw CompileError(where + ": \"rows\" is a list");
        if (rows.size() > 0xFFFF) throw CompileError(where + ": too many rows");

        size_t offset = file.size();
        if (offset + rows.size() * rowSize > L::kMaxFileSize) throw CompileError("the file grows too large");
        for (size_t r = 0; r < rows.size(); ++r) {
            std::vector<uint8_t> bytes = Row(rows[r], layout, rowSize, where + ".rows[" + std::to_string(r) + "]");
            file.insert(file.end(), bytes.begin(), bytes.end());
        }
        size_t entry = L::kHeaderSize + t * L::kDirEntrySize;
        Put(file, entry + L::kDirOffTableID, id, 4);
        Put(file, entry + L::kDirOffRowSize, rowSize, 4);
        Put(file, entry + L::kDirOffRowCount, rows.size(), 4);
        Put(file, entry + L::kDirOffRowsOffset, offset, 4);
    }
}

}  // namespace

bool Compile(const nlohmann::json& source, std::vector<uint8_t>& file, std::string& error) {
    try {
        CompileOrThrow(source, file);
        return true;
    } catch (const std::exception& e) {
        error = e.what();
        file.clear();
        return false;
    }
}

}  // namespace restable
