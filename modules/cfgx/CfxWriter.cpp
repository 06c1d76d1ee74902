// WriteCfx: the model as JSON text in a fixed layout, so that two saves of the same model are
// byte for byte equal and an edit shows in a diff as the lines it changed: one line per tag, per
// element and per prohibit group, members in a fixed order, attributes in number order. Tag
// values and attribute values above 0xFFFF are written as "0x" texts (they are bit sets).
#include "modules/cfgx/CfxFile.h"

#include <nlohmann/json.hpp>

#include <cstdio>

namespace cfx {

namespace {

// Texts of the model are UTF-8 already (checked by the reader or converted from UTF-16); the
// replacing handler only keeps a damaged text from throwing.
std::string Quoted(const std::string& text) {
    return nlohmann::json(text).dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
}

std::string Hex(uint32_t value) {
    char buffer[16];
    std::snprintf(buffer, sizeof buffer, "\"0x%08X\"", value);
    return buffer;
}

std::string AttributeValue(uint32_t value) { return value > 0xFFFF ? Hex(value) : std::to_string(value); }

std::string AttributesText(const Attributes& attributes) {
    std::string out = "\"attributes\": {";
    bool first = true;
    for (const auto& [number, value] : attributes) {
        out += first ? " " : ", ";
        out += "\"" + std::to_string(number) + "\": " + AttributeValue(value);
        first = false;
    }
    return out + " }";
}

void Comment(std::string& out, const std::string& comment, const char* indent) {
    if (!comment.empty()) out += std::string(indent) + "\"comment\": " + Quoted(comment) + ",\n";
}

std::string ElementLine(const Element& e) {
    std::string line = "{ \"id\": " + std::to_string(e.id) + ", \"name\": " + Quoted(e.name);
    if (e.status != kStatusShown) line += ", \"status\": \"" + std::string(StatusName(e.status)) + "\"";
    if (!e.attributes.empty()) line += ", " + AttributesText(e.attributes);
    if (!e.comment.empty()) line += ", \"comment\": " + Quoted(e.comment);
    return line + " }";
}

std::string ItemText(const ProhibitItem& item) {
    std::string text = "{ \"function\": " + std::to_string(item.functionID) + ", \"element\": " +
                       std::to_string(item.elementID);
    if (item.inversion != 0) text += ", \"inversion\": " + std::to_string(item.inversion);
    if (item.subelementID != 0) text += ", \"subElement\": " + std::to_string(item.subelementID);
    return text + " }";
}

void WriteFunction(std::string& out, const Function& f) {
    out += "    {\n";
    out += "      \"id\": " + std::to_string(f.id) + ",\n";
    out += "      \"name\": " + Quoted(f.name) + ",\n";
    Comment(out, f.comment, "      ");
    out += "      \"status\": \"" + std::string(StatusName(f.status)) + "\",\n";
    if (f.locked) out += "      \"locked\": true,\n";
    if (!f.attributes.empty()) out += "      " + AttributesText(f.attributes) + ",\n";
    if (f.isValue) {
        out += "      \"kind\": \"value\",\n";
        out += "      \"minimum\": " + std::to_string(f.minimum) + ",\n";
        out += "      \"maximum\": " + std::to_string(f.maximum) + ",\n";
        out += "      \"default\": " + std::to_string(f.defaultValue) + "\n";
        out += "    }";
        return;
    }
    if (f.defaultElement) out += "      \"default\": " + std::to_string(*f.defaultElement) + ",\n";
    if (f.elements.empty()) {
        out += "      \"elements\": []\n    }";
        return;
    }
    out += "      \"elements\": [\n";
    for (size_t i = 0; i < f.elements.size(); ++i)
        out += "        " + ElementLine(f.elements[i]) + (i + 1 < f.elements.size() ? ",\n" : "\n");
    out += "      ]\n    }";
}

}  // namespace

std::string WriteCfx(const CfxFile& file) {
    std::string out = "{\n";
    out += "  \"format\": \"" + std::string(kFormatName) + "\",\n";
    out += "  \"formatVersion\": " + std::to_string(kFormatVersion) + ",\n";
    Comment(out, file.comment, "  ");
    out += "  \"category\": " + std::to_string(file.category) + ",\n";
    if (!file.description.empty()) out += "  \"description\": " + Quoted(file.description) + ",\n";
    out += "  \"version\": " + Quoted(file.version) + ",\n";
    out += "  \"customVersion\": " + std::to_string(file.customVersion) + ",\n";

    out += "  \"tags\": [";
    for (size_t i = 0; i < file.tags.size(); ++i) {
        const Tag& t = file.tags[i];
        out += i == 0 ? "\n" : ",\n";
        out += "    { \"id\": " + std::to_string(t.id);
        if (!t.name.empty()) out += ", \"name\": " + Quoted(t.name);
        out += ", \"value\": " + Hex(t.value) + " }";
    }
    out += file.tags.empty() ? "],\n" : "\n  ],\n";

    out += "  \"functions\": [";
    for (size_t i = 0; i < file.functions.size(); ++i) {
        out += i == 0 ? "\n" : ",\n";
        WriteFunction(out, file.functions[i]);
    }
    out += file.functions.empty() ? "],\n" : "\n  ],\n";

    out += "  \"prohibits\": [";
    for (size_t i = 0; i < file.prohibits.size(); ++i) {
        const ProhibitGroup& g = file.prohibits[i];
        out += i == 0 ? "\n" : ",\n";
        out += "    { \"items\": [ ";
        for (size_t k = 0; k < g.items.size(); ++k) out += (k ? ", " : "") + ItemText(g.items[k]);
        out += " ]";
        if (!g.comment.empty()) out += ", \"comment\": " + Quoted(g.comment);
        out += " }";
    }
    out += file.prohibits.empty() ? "]\n" : "\n  ]\n";
    return out + "}\n";
}

}  // namespace cfx
