// vanto printer: what the library's live printer access learns about a queue's printer.
//
//   vanto printer QUEUE [--flags N] [--json]
//       opens the printer as the printer-information update does and shows every answer of the
//       live access: device ID, category, channel, status fields, for ink-jets the supported
//       media combinations and forbidden pairs; then the model and language bits, the
//       job-control character set, the installed memory, the option units, the input trays, the
//       supported paper sizes with their directions, the paper types and the limits of
//       user-defined paper. --json prints the same as one JSON object (numbers raw, bits also by
//       name) and nothing else.
//
// CBIDI_BP is not exported, so the verb runs the library's own code in this process, with the
// transport module the queue's driver names. A question that fails is shown with the last error
// line ("#...") the library wrote while answering it, caught with the log's error sink; the verb
// still ends with 0 once the printer has opened.
#include "bidi/CBIDI_BP.h"
#include "bidi/StatusReply.h"
#include "common/BIInfo.h"
#include "common/BILogging.h"
#include "platform/prefix.h"
#include "tools/vanto/bit_names.h"
#include "tools/vanto/json_view.h"
#include "tools/vanto/library.h"
#include "tools/vanto/media_view.h"
#include "tools/vanto/verbs.h"

#include <cstdio>
#include <cstring>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace {

using json = vanto_cli::Json;
using vanto_cli::BitName;
using vanto_cli::kExitFailure;
using vanto_cli::kExitNoQueue;

// Tray levels as the Printer MIB's prtInputCurrentLevel codes them, cut to 16 bits.
constexpr WORD kLevelAtLeastOne = 0xFFFD;  // -3: at least one sheet left

// The reason shown for a failed question that wrote no error line.
constexpr const char* kNoErrorLine = "no error line was logged";

struct CharSetName {
    DWORD mibEnum;  // IANA character-set number, as the job-control character set reports it
    const char* name;
};
constexpr CharSetName kCharSets[] = {{3, "US-ASCII"}, {4, "ISO-8859-1"}, {17, "Shift_JIS"}, {18, "EUC-JP"}, {106, "UTF-8"}};

const char* CategoryName(DWORD category) {
    switch (category) {
    case PRINTER_CATEGORY_PAGE: return "page printer";
    case PRINTER_CATEGORY_INKJET: return "ink-jet printer";
    case PRINTER_CATEGORY_SYSTEM_OEM: return "System OEM page printer";
    case PRINTER_CATEGORY_LARGE_INKJET: return "large ink-jet printer";
    default: return "unknown";
    }
}

const char* ChannelName(DWORD kind) {
    switch (kind) {
    case kZkChannelSNMP: return "SNMP";
    case kZkChannelOPK: return "OPK (job language)";
    case kZkChannelTVD4: return "TVD4";
    case kZkChannelD4: return "D4";
    default: return "none";
    }
}

const char* CharSetNameOf(DWORD mibEnum) {
    for (const CharSetName& c : kCharSets)
        if (c.mibEnum == mibEnum) return c.name;
    return nullptr;
}

bool IsInkjet(DWORD category) {
    return category == PRINTER_CATEGORY_INKJET || category == PRINTER_CATEGORY_LARGE_INKJET;
}

// ---- What the printer answered ------------------------------------------------------------------

struct Failure {
    std::string question;       // the operation's name
    std::optional<int> result;  // its result, for operations that return a code
    std::string reason;         // its last error line without the "#", or kNoErrorLine
};

struct StatusField {
    BYTE header;
    const char* name;
    std::optional<std::vector<BYTE>> data;  // none: absent or empty
};

struct MediaAnswer {
    bool bAvailable = false;
    bool bFormat17 = false;
    DWORD dwResolutionFlag = 0;
    std::vector<PrintCapability> combinations;
    std::vector<DisableCombination> forbidden;
};

// Sub-queries of the option units, in the order they are shown.
struct OptionQuery {
    const char* question;
    const char* label;  // plain label
    const char* key;    // JSON key
    int (CBIDI_BP::*ask)(DWORD*);
};
constexpr OptionQuery kOptionQueries[] = {
    {"GetOptionUnitBitsStorage", "storage", "storage", &CBIDI_BP::GetOptionUnitBitsStorage},
    {"GetOptionUnitBitsDuplexUnit", "duplex unit", "duplex_unit", &CBIDI_BP::GetOptionUnitBitsDuplexUnit},
    {"GetOptionUnitBitsFinisher", "finisher", "finisher", &CBIDI_BP::GetOptionUnitBitsFinisher},
    {"GetOptionUnitBitsConfidentialJobFunction", "confidential", "confidential_jobs",
     &CBIDI_BP::GetOptionUnitBitsConfidentialJobFunction}};
constexpr size_t kOptionQueryCount = std::size(kOptionQueries);

// Every answer; an empty optional is a question that failed (listed in failures) or was not
// asked of this kind of printer.
struct Report {
    std::string queue;
    std::optional<std::string> deviceId;
    bool bOpened = false;
    std::string model;
    DWORD dwCategory = 0;
    DWORD dwChannelKind = 0;
    bool bChannelUsable = false;

    bool bStatusAsked = false;
    std::optional<std::vector<BYTE>> status;
    std::vector<StatusField> statusFields;
    std::optional<bool> colourInk;
    std::optional<MediaAnswer> media;  // ink-jets only

    std::optional<DWORD> modelBits;
    std::optional<DWORD> pdlBits;
    std::optional<DWORD> jobCtrlCharSet;  // asked over MIB channels of non-ink-jets
    std::optional<DWORD> memoryMB;        // 0: unknown
    std::optional<DWORD> optionUnits;
    std::optional<DWORD> optionQueries[kOptionQueryCount];
    std::optional<BICassetteList> trays;
    std::optional<BIStringList> paperSizes;
    std::optional<BIStringList> paperDirections;  // page printers only; entry i for size i
    std::optional<BIStringList> paperTypes;
    std::optional<VANTO_USERDEF_MAXMIN> userDefined;
    std::vector<Failure> failures;

    const Failure* FailureOf(std::string_view question) const {
        for (const Failure& f : failures)
            if (f.question == question) return &f;
        return nullptr;
    }
};

// ---- Asking -------------------------------------------------------------------------------------

// The last error line the library wrote; filled by the log's error sink (the questions run on
// this thread, and the log calls the sink under its lock).
std::string g_lastErrorLine;

void CatchErrorLine(std::string_view line) { g_lastErrorLine.assign(line); }

// An error line without its "#" and line end.
std::string Reason(std::string line) {
    if (!line.empty() && line.front() == '#') line.erase(0, 1);
    while (!line.empty() && (line.back() == '\n' || line.back() == '\r' || line.back() == ' ')) line.pop_back();
    return line.empty() ? kNoErrorLine : line;
}

// Asks the questions one at a time with the error sink installed, and notes each failure with
// the last error line written during that question.
class Questioner {
public:
    explicit Questioner(std::vector<Failure>& failures) : m_failures(failures) {
        BILogging::SetErrorSink(&CatchErrorLine);
    }
    ~Questioner() { BILogging::SetErrorSink(nullptr); }
    Questioner(const Questioner&) = delete;
    Questioner& operator=(const Questioner&) = delete;

    // A question answering 1 (or more) on success and 0 or a negative code on failure.
    template <typename Ask>
    bool Code(const char* question, Ask ask) {
        g_lastErrorLine.clear();
        const int result = ask();
        if (result > 0) return true;
        Fail(question, result);
        return false;
    }
    // A question answering a number with no failure value, 0 meaning "unknown": it failed when it
    // answered 0 after writing an error line.
    template <typename Ask>
    std::optional<DWORD> Number(const char* question, Ask ask) {
        g_lastErrorLine.clear();
        const DWORD value = ask();
        if (value != 0 || g_lastErrorLine.empty()) return value;
        Fail(question, std::nullopt);
        return std::nullopt;
    }
    // A question answering a list, none on failure.
    template <typename Ask>
    std::optional<BIStringList> List(const char* question, Ask ask) {
        g_lastErrorLine.clear();
        const BIStringList* list = ask();
        if (list != nullptr) return *list;
        Fail(question, std::nullopt);
        return std::nullopt;
    }

private:
    void Fail(const char* question, std::optional<int> result) {
        m_failures.push_back({question, result, Reason(g_lastErrorLine)});
    }

    std::vector<Failure>& m_failures;
};

// The status reply and the fields this library reads from it.
void AskStatus(CBIDI_BP& bidi, Report& report) {
    report.bStatusAsked = true;
    if (!bidi.GetStatusFromCurrentChannel()) return;
    report.status = bidi.GetAutoConfigInfo().vecStatus;
    for (const auto& [header, name] : {std::pair<BYTE, const char*>{kStatusFieldStorage, "storage"},
                                       std::pair<BYTE, const char*>{kStatusFieldInks, "inks"}}) {
        const int length = bidi.GetStatusFieldData(header, nullptr, 0);
        if (length <= 0) {
            report.statusFields.push_back({header, name, std::nullopt});
            continue;
        }
        std::vector<BYTE> data(static_cast<size_t>(length));
        if (bidi.GetStatusFieldData(header, data.data(), static_cast<DWORD>(data.size())) != length) continue;
        report.statusFields.push_back({header, name, std::move(data)});
    }
    DWORD colour = 0;
    if (bidi.IsSupportColorMode(&colour)) report.colourInk = (colour & 0x1) != 0;
}

// The media combinations of an ink-jet and the pairs the driver must forbid, as Open concluded
// them: asking again here could show an answer that Open never accepted.
void AskMedia(CBIDI_BP& bidi, Report& report) {
    MediaAnswer& media = report.media.emplace();
    if (bidi.CapabilitySet().Capabilities().empty()) return;
    media.bAvailable = true;
    media.bFormat17 = bidi.GetAutoConfigInfo().dwFormat17Mark != 0;
    media.dwResolutionFlag = bidi.GetAutoConfigInfo().dwResolutionFlag;
    media.combinations = bidi.CapabilitySet().Capabilities();
    media.forbidden = bidi.GetForbiddenPairs();
}

// The questions of the CBIDI interface, model first as in the printer-information update: for a
// page printer the model bits fill the paper-size list that the paper directions need.
void AskQuestions(CBIDI_BP& bidi, Report& report) {
    Questioner ask(report.failures);
    const DWORD category = report.dwCategory;
    const bool bMIBChannel = report.dwChannelKind == kZkChannelSNMP || report.dwChannelKind == kZkChannelOPK;

    DWORD value = 0;
    if (ask.Code("GetModelInfoBits", [&] { return bidi.GetModelInfoBits(&value); })) report.modelBits = value;
    report.pdlBits = ask.Number("GetSupportPDLBits", [&] { return bidi.GetSupportPDLBits(); });
    value = 0;
    if (bMIBChannel && !IsInkjet(category) &&
        ask.Code("GetJobCtrlLangCharSet", [&] { return bidi.GetJobCtrlLangCharSet(&value); }))
        report.jobCtrlCharSet = value;
    report.memoryMB = ask.Number("GetInstalledMemory", [&] { return bidi.GetInstalledMemory(); });

    value = 0;
    if (ask.Code("GetOptionUnitBits", [&] { return bidi.GetOptionUnitBits(&value); })) report.optionUnits = value;
    for (size_t i = 0; i < kOptionQueryCount; ++i) {
        value = 0;
        if (ask.Code(kOptionQueries[i].question, [&] { return (bidi.*kOptionQueries[i].ask)(&value); }))
            report.optionQueries[i] = value;
    }

    BICassetteList trays;
    if (ask.Code("GetCassetteInfo", [&] { return bidi.GetCassetteInfo(&trays); })) report.trays = std::move(trays);
    report.paperSizes = ask.List("GetSupportPaperSize", [&] { return bidi.GetSupportPaperSize(0); });
    if (category == PRINTER_CATEGORY_PAGE && report.paperSizes && !report.paperSizes->empty())
        report.paperDirections = ask.List("GetPaperDirection", [&] { return bidi.GetPaperDirection(); });
    report.paperTypes = ask.List("GetSupportPaperType", [&] { return bidi.GetSupportPaperType(); });
    VANTO_USERDEF_MAXMIN limits{};
    if (ask.Code("GetUserDefMaxMin", [&] { return bidi.GetUserDefMaxMin(&limits); })) report.userDefined = limits;
}

// ---- Plain text ---------------------------------------------------------------------------------

// Printer text for a terminal: control characters become '.'.
std::string Printable(std::string_view text) {
    std::string out(text);
    for (char& c : out)
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) c = '.';
    return out;
}

void PrintHex(std::span<const BYTE> bytes) {
    for (size_t i = 0; i < bytes.size(); ++i) std::printf("%s%02x", i % 32 == 0 ? "\n    " : " ", bytes[i]);
    std::printf("\n");
}

// "label           : text", the label padded to the column of the colons.
void Line(const char* label, const std::string& text) { std::printf("%-16s: %s\n", label, text.c_str()); }

// A further line of the same answer, aligned with its text.
void Continued(const std::string& text) { std::printf("%-16s  %s\n", "", text.c_str()); }

// The line of a question that failed, in the place of its answer; nothing when it was not asked.
void FailureLine(const Report& report, const char* label, const char* question) {
    const Failure* f = report.FailureOf(question);
    if (f == nullptr) return;
    const std::string result = f->result ? " (result " + std::to_string(*f->result) + ")" : "";
    Line(label, std::string(question) + " failed" + result + ": " + Printable(f->reason));
}

std::string BitsText(DWORD value, std::span<const BitName> names) {
    char hex[16];
    std::snprintf(hex, sizeof(hex), "0x%08x", value);
    return std::string(hex) + " (" + vanto_cli::Bits(value, names.data(), names.size()) + ")";
}

std::string TrayId(WORD id) { return id == VANTO_CASETTE_UNKNOWN_ID ? "unknown" : std::to_string(id); }

std::string TrayLevel(WORD level) {
    if (level == VANTO_CASETTE_UNKNOWN_LEVEL) return "unknown";
    if (level == kLevelAtLeastOne) return "some";
    return std::to_string(level);
}

void PrintStatus(const Report& report) {
    if (!report.status) {
        std::printf("status          : not available\n");
        return;
    }
    std::printf("status          : %zu bytes", report.status->size());
    PrintHex(*report.status);
    for (const StatusField& field : report.statusFields) {
        if (!field.data) {
            std::printf("  field 0x%02x (%s): absent\n", field.header, field.name);
            continue;
        }
        std::printf("  field 0x%02x (%s): %zu bytes", field.header, field.name, field.data->size());
        PrintHex(*field.data);
    }
    if (report.colourInk) std::printf("  colour ink      : %s\n", *report.colourInk ? "yes" : "no");
}

void PrintMedia(const MediaAnswer& media) {
    if (!media.bAvailable) {
        std::printf("supported media : not available\n");
        return;
    }
    std::printf("media format    : %s, resolution flag %u\n", media.bFormat17 ? "17" : "14/16", media.dwResolutionFlag);
    vanto_cli::PrintCombinations("supported media", media.combinations);
    vanto_cli::PrintForbiddenPairs(media.forbidden);
}

void PrintTrays(const BICassetteList& trays) {
    std::printf("trays (%zu):\n", trays.size());
    if (trays.empty()) return;
    std::printf("  %10s  %9s  %10s  %10s  %9s  %8s  %7s\n", "source bit", "source ID", "paper size", "paper type",
                "direction", "capacity", "level");
    for (const VANTO_CASETTE_INFO& t : trays) {
        char bit[16];
        std::snprintf(bit, sizeof(bit), "0x%04x", t.wPaperSourceBit);
        std::printf("  %10s  %9u  %10s  %10s  %9u  %8s  %7s\n", bit, t.wPaperSourceEID, TrayId(t.wPaperSizeID).c_str(),
                    TrayId(t.wPaperTypeID).c_str(), t.byDirection, TrayLevel(t.wMaxCapacity).c_str(),
                    TrayLevel(t.wCurrentLevel).c_str());
    }
}

void PrintPaper(const Report& report) {
    if (report.paperSizes) {
        const BIStringList& sizes = *report.paperSizes;
        const BIStringList* directions = report.paperDirections ? &*report.paperDirections : nullptr;
        std::printf("paper sizes (%zu):\n", sizes.size());
        for (size_t i = 0; i < sizes.size(); ++i) {
            if (directions == nullptr) {
                std::printf("  %s\n", Printable(sizes[i]).c_str());
                continue;
            }
            const std::string direction = i < directions->size() ? Printable((*directions)[i]) : "";
            std::printf("  %-12s  direction %s\n", Printable(sizes[i]).c_str(), direction.empty() ? "-" : direction.c_str());
        }
    }
    FailureLine(report, "paper sizes", "GetSupportPaperSize");
    FailureLine(report, "paper directions", "GetPaperDirection");
    if (report.paperTypes) {
        std::string types;
        for (const std::string& t : *report.paperTypes) types += (types.empty() ? "" : ", ") + Printable(t);
        std::printf("paper types (%zu)%s%s\n", report.paperTypes->size(), types.empty() ? "" : ": ", types.c_str());
    }
    FailureLine(report, "paper types", "GetSupportPaperType");
}

void PrintAnswers(const Report& report) {
    if (report.modelBits) Line("model bits", BitsText(*report.modelBits, vanto_cli::kModelInfoBits));
    FailureLine(report, "model bits", "GetModelInfoBits");
    if (report.pdlBits) Line("PDL bits", BitsText(*report.pdlBits, vanto_cli::kPDLBits));
    FailureLine(report, "PDL bits", "GetSupportPDLBits");
    if (report.jobCtrlCharSet) {
        const char* name = CharSetNameOf(*report.jobCtrlCharSet);
        Line("job control set", std::to_string(*report.jobCtrlCharSet) + (name ? std::string(" (") + name + ")" : ""));
    }
    FailureLine(report, "job control set", "GetJobCtrlLangCharSet");
    if (report.memoryMB) Line("memory", *report.memoryMB ? std::to_string(*report.memoryMB) + " MB" : "unknown");
    FailureLine(report, "memory", "GetInstalledMemory");

    if (report.optionUnits) Line("option units", BitsText(*report.optionUnits, vanto_cli::kOptionUnitBits));
    FailureLine(report, "option units", "GetOptionUnitBits");
    for (size_t i = 0; i < kOptionQueryCount; ++i) {
        const std::string label = std::string("  ") + kOptionQueries[i].label;
        if (report.optionQueries[i]) Line(label.c_str(), BitsText(*report.optionQueries[i], vanto_cli::kOptionUnitBits));
        FailureLine(report, label.c_str(), kOptionQueries[i].question);
    }

    if (report.trays) PrintTrays(*report.trays);
    FailureLine(report, "trays", "GetCassetteInfo");
    PrintPaper(report);
    static constexpr VANTO_USERDEF_MAXMIN kNoLimits{};
    if (report.userDefined && std::memcmp(&*report.userDefined, &kNoLimits, sizeof(kNoLimits)) == 0) {
        Line("user paper", "none reported (all limits 0)");
    } else if (report.userDefined) {
        const VANTO_USERDEF_MAXMIN& u = *report.userDefined;
        Line("user paper", "height " + std::to_string(u.lHeiMIN) + " to " + std::to_string(u.lHeiMAX) + ", width " +
                               std::to_string(u.lWidMIN) + " to " + std::to_string(u.lWidMAX) + " (0.1 mm)");
        Continued("height " + std::to_string(u.lHeiMIN_Inch) + " to " + std::to_string(u.lHeiMAX_Inch) + ", width " +
                     std::to_string(u.lWidMIN_Inch) + " to " + std::to_string(u.lWidMAX_Inch) + " (0.01 inch)");
    }
    FailureLine(report, "user paper", "GetUserDefMaxMin");
}

// ---- JSON ---------------------------------------------------------------------------------------

// Sets key to the answer, to null when its question failed; leaves it out when it was not asked.
template <typename T, typename ToJson>
void Put(json& object, const Report& report, const char* key, const std::optional<T>& answer, const char* question,
         ToJson toJson) {
    if (answer) {
        object[key] = toJson(*answer);
    } else if (report.FailureOf(question) != nullptr) {
        object[key] = nullptr;
    }
}

json MediaJson(const MediaAnswer& media) {
    if (!media.bAvailable) return nullptr;
    return {{"format", media.bFormat17 ? "17" : "14/16"},
            {"resolution_flag", media.dwResolutionFlag},
            {"combinations", vanto_cli::CombinationsJson(media.combinations)},
            {"forbidden_pairs", vanto_cli::ForbiddenPairsJson(media.forbidden)}};
}

json StatusJson(const Report& report) {
    if (!report.status) return nullptr;
    json fields = json::array();
    for (const StatusField& f : report.statusFields)
        fields.push_back({{"header", f.header}, {"name", f.name}, {"data", f.data ? json(vanto_cli::HexText(*f.data)) : json()}});
    json status = {{"bytes", vanto_cli::HexText(*report.status)}, {"fields", std::move(fields)}};
    if (report.colourInk) status["colour_ink"] = *report.colourInk;
    return status;
}

json ReportJson(const Report& report) {
    json out = {{"queue", report.queue},
                {"device_id", report.deviceId ? json(*report.deviceId) : json()},
                {"opened", report.bOpened}};
    if (!report.bOpened) return out;
    out["model"] = report.model;
    out["category"] = {{"value", report.dwCategory}, {"name", CategoryName(report.dwCategory)}};
    out["channel"] = {{"kind", report.dwChannelKind},
                      {"name", ChannelName(report.dwChannelKind)},
                      {"usable", report.bChannelUsable}};
    if (report.bStatusAsked) out["status"] = StatusJson(report);
    if (report.media) out["media"] = MediaJson(*report.media);

    auto bits = [](std::span<const BitName> names) { return [names](DWORD v) { return vanto_cli::BitsJson(v, names); }; };
    auto plain = [](const auto& v) { return json(v); };
    Put(out, report, "model_bits", report.modelBits, "GetModelInfoBits", bits(vanto_cli::kModelInfoBits));
    Put(out, report, "pdl_bits", report.pdlBits, "GetSupportPDLBits", bits(vanto_cli::kPDLBits));
    Put(out, report, "job_control_charset", report.jobCtrlCharSet, "GetJobCtrlLangCharSet", [](DWORD v) {
        const char* name = CharSetNameOf(v);
        return json{{"value", v}, {"name", name ? json(name) : json()}};
    });
    Put(out, report, "memory_mb", report.memoryMB, "GetInstalledMemory", plain);
    Put(out, report, "option_units", report.optionUnits, "GetOptionUnitBits", bits(vanto_cli::kOptionUnitBits));
    json queries = json::object();
    for (size_t i = 0; i < kOptionQueryCount; ++i)
        Put(queries, report, kOptionQueries[i].key, report.optionQueries[i], kOptionQueries[i].question,
            bits(vanto_cli::kOptionUnitBits));
    out["option_unit_queries"] = std::move(queries);

    Put(out, report, "trays", report.trays, "GetCassetteInfo", [](const BICassetteList& trays) {
        json list = json::array();
        for (const VANTO_CASETTE_INFO& t : trays) list.push_back(vanto_cli::CassetteJson(t));
        return list;
    });
    Put(out, report, "paper_sizes", report.paperSizes, "GetSupportPaperSize", [&](const BIStringList& sizes) {
        json list = json::array();
        for (size_t i = 0; i < sizes.size(); ++i) {
            json entry = {{"size", sizes[i]}};
            if (report.paperDirections)
                entry["direction"] = i < report.paperDirections->size() ? json((*report.paperDirections)[i]) : json();
            list.push_back(std::move(entry));
        }
        return list;
    });
    Put(out, report, "paper_types", report.paperTypes, "GetSupportPaperType", plain);
    Put(out, report, "user_defined_paper", report.userDefined, "GetUserDefMaxMin", vanto_cli::UserDefinedPaperJson);

    json failures = json::array();
    for (const Failure& f : report.failures)
        failures.push_back({{"question", f.question}, {"result", f.result ? json(*f.result) : json()}, {"reason", f.reason}});
    out["failures"] = std::move(failures);
    return out;
}

// ---- The verb -----------------------------------------------------------------------------------

void PrintPlain(const Report& report) {
    if (report.deviceId) std::printf("device ID       : %s\n", Printable(*report.deviceId).c_str());
    if (!report.bOpened) return;
    std::printf("model           : %s\n", Printable(report.model).c_str());
    std::printf("category        : %u (%s)\n", report.dwCategory, CategoryName(report.dwCategory));
    std::printf("channel         : %s (0x%08x)%s\n", ChannelName(report.dwChannelKind), report.dwChannelKind,
                report.bChannelUsable ? "" : ", no usable channel");
    if (report.bStatusAsked) PrintStatus(report);
    if (report.media) PrintMedia(*report.media);
    PrintAnswers(report);
}

int RunPrinter(const std::string& queue, DWORD flags, DWORD timeoutMs, bool bJson) {
    if (!vanto_cli::QueueFound("printer", queue)) return kExitNoQueue;
    const std::u16string name = vanto_cli::Widen(queue);
    BIInfo context;
    if (!context.Build(name.c_str(), 0)) return kExitFailure;
    CBIDI_BP bidi;
    if (!bidi.Initialize(&context, flags)) {
        std::fprintf(stderr, "vanto printer: the transport module of '%s' cannot be loaded\n", queue.c_str());
        return kExitFailure;
    }
    if (timeoutMs != 0) bidi.SetReceiveTimeout(timeoutMs);
    Report report;
    report.queue = queue;
    report.bOpened = bidi.Open(name.c_str()) != 0;
    if (bidi.IsDeviceIDAnalyzed()) report.deviceId = bidi.GetDeviceIDString();
    if (report.bOpened) {
        const WCHAR* model = bidi.GetModelName();
        report.model = model != nullptr ? vanto_cli::Narrow(model) : "";
        report.dwCategory = bidi.GetPrinterCategory();
        report.dwChannelKind = bidi.GetChannelKind();
        report.bChannelUsable = bidi.IsChannelAvailable() != 0;
        if (report.dwChannelKind != 0) AskStatus(bidi, report);
        if (IsInkjet(report.dwCategory)) AskMedia(bidi, report);
        AskQuestions(bidi, report);
        bidi.Close();
    }

    if (bJson) {
        vanto_cli::PrintJson(ReportJson(report));
    } else {
        PrintPlain(report);
    }
    if (!report.bOpened) {
        std::fprintf(stderr, "vanto printer: the printer of '%s' cannot be opened\n", queue.c_str());
        return kExitFailure;
    }
    return 0;
}

vanto_cli::VerbGroup printerVerbs([](CLI::App& app) {
    auto* printer = app.add_subcommand("printer", "Open a queue's printer through the live access and show its answers");
    auto queue = std::make_shared<std::string>();
    auto flags = std::make_shared<DWORD>(0);
    auto bJson = std::make_shared<bool>(false);
    auto timeoutMs = std::make_shared<DWORD>(0);
    printer->add_option("QUEUE", *queue, "Queue name")->required();
    printer->add_option("--flags", *flags,
                        "Option flags of the printer access (0x20 ink-jet, 0x40 page, 0x80 large ink-jet)");
    printer->add_option("--timeout", *timeoutMs, "Receive time-out in ms (default: the library's, 10000)")
        ->check(CLI::Range(1u, 600000u));
    vanto_cli::AddJsonFlag(printer, *bJson);
    printer->footer("Example:\n  vanto printer Office --json --timeout 3000");
    printer->callback([queue, flags, timeoutMs, bJson] {
        if (int rc = RunPrinter(*queue, *flags, *timeoutMs, *bJson); rc != 0) throw CLI::RuntimeError(rc);
    });
});

}  // namespace
