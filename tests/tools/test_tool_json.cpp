// `vanto VERB --json` for every verb that shows data, run as a separate process on a temporary
// prefix with a virtual printer: stdout is one JSON document holding what the verb found, and a
// failure leaves stdout empty, says why on stderr and exits non-zero.
#include "support/TempPrefix.h"
#include "support/ToolRun.h"
#include "support/VprinterProcess.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <algorithm>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace {

using Json = nlohmann::json;
using vanto_test::TempPrefix;

constexpr const char* kQueue = "Office";
constexpr const char* kAddress = "127.0.148.1";
constexpr const char* kProfile = "colour-page";
constexpr const char* kLogKey = "'HKLM\\SOFTWARE\\KELDA\\VANTO'";

struct Outcome {
    std::string out, err;
    int status = -1;
};

// build/vanto with `args` (shell words) in the current prefix, after the shell assignments `env`;
// stdout and stderr kept apart.
Outcome Vanto(const std::string& args, const std::string& env = "") {
    TempFolder folder;
    const std::string errFile = folder.Path() + "/err";
    const vanto_test::ToolRun run =
        vanto_test::RunCommand(env + " " + std::string(VANTO_BUILD_DIR) + "/vanto " + args + " 2>" + errFile);
    return {run.out, vanto_test::ReadFile(errFile), run.status};
}

// The verb's document; a failure of the test when the verb failed or printed anything else.
Json Document(const std::string& args) {
    const Outcome run = Vanto(args);
    EXPECT_EQ(run.status, 0) << args << "\n" << run.err;
    Json document = Json::parse(run.out, nullptr, false);
    EXPECT_TRUE(document.is_object()) << args << " printed no JSON object:\n" << run.out;
    return document.is_object() ? document : Json::object();
}

// A prefix with the sample driver (transport, store and CFGX modules, tables), queue kQueue on a
// virtual colour page printer, and one job waiting.
class ToolJson : public ::testing::Test {
protected:
    ToolJson()
        : m_prefix(TempPrefix::kNoQueue, TempPrefix::kDefaultPort,
                   {Built("ZKAPI7x64.Dll"), Built("VUD3AUDF.DLL"), Built("VUD3CFGX.DLL"), Built("VUD3CFGX.BRT"), Built("VUD3IJ.BRT"),
                    Built("VUD3LP.BRT"), Built("VUD3LPN.BRT")}),
          m_printer({"-p", std::string(kAddress) + "=" + vanto_test::SampleProfile(kProfile)}) {}

    void SetUp() override {
        ASSERT_TRUE(m_printer.Ready()) << m_printer.Stderr();
        // As `vanto prefix init` completes a prefix: the SNMP module in System32, the log switch off.
        ASSERT_EQ(Vanto("prefix init").status, 0);
        const std::string driver = std::string("'") + vanto_test::kSampleDriverName + "'";
        ASSERT_EQ(Vanto(std::string("queue add ") + kQueue + " --driver " + driver + " --port IP_" + kAddress).status, 0);
        ASSERT_EQ(Vanto(std::string("job submit ") + kQueue).status, 0);
        ASSERT_EQ(Vanto("erd install " + driver).status, 0);
    }

    static std::string Built(const char* file) { return std::string(VANTO_BUILD_DIR) + "/" + file; }

    TempPrefix m_prefix;
    vanto_test::VprinterProcess m_printer;
};

// What one verb's document must hold: values at JSON pointers (nullopt: only present), and where
// it shows the printer's model bits, if it does.
struct Case {
    std::string args;
    std::vector<std::pair<std::string, std::optional<Json>>> facts;
    const char* modelBits = nullptr;
};

TEST_F(ToolJson, EveryDataVerbPrintsOneDocumentWithWhatItFound) {
    // The model as the printer names it; every verb that shows the stored model must agree.
    const Json printer = Document(std::string("printer ") + kQueue + " --json");
    ASSERT_TRUE(printer.contains("model")) << printer.dump(2);
    const std::string model = printer["model"];
    const Json configured = Document(std::string("configure ") + kQueue + " --json");
    EXPECT_EQ(configured.value(Json::json_pointer("/update/status"), -1), 0) << configured.dump(2);
    EXPECT_EQ(configured.value(Json::json_pointer("/cfgx_update/status"), -1), 1) << configured.dump(2);

    const std::string q = kQueue, logKey = kLogKey;
    const std::vector<Case> cases = {
        {"prefix show", {{"/prefix", m_prefix.Root()}, {"/ansi_code_page", 1252}, {"/queues/0", q}}},
        {"driver list", {{"/drivers/0", vanto_test::kSampleDriverName}}},
        {"queue list", {{"/queues/0", q}}},
        {"queue show " + q,
         {{"/driver", vanto_test::kSampleDriverName}, {"/port", std::string("IP_") + kAddress}, {"/status/name", "ready"},
          {"/jobs", 1}}},
        {"job list " + q, {{"/count", 1}, {"/jobs/0/document", "Test page"}}},
        {"jobs " + q, {{"/jobs_waiting", true}}},
        {"reg get " + logKey + " VANTO_LOG", {{"/type_name", "dword"}, {"/value", 0}}},
        {"reg list " + logKey, {{"/values/0/name", "VANTO_LOG"}, {"/values/0/value", 0}}},
        {"context " + q,
         {{"/driver", vanto_test::kSampleDriverName}, {"/queue_guid", std::nullopt}, {"/paths/DataFile", std::nullopt}}},
        {"printer " + q, {{"/opened", true}, {"/category/name", "page printer"}}, "/model_bits"},
        {"check-model " + q, {{"/status", 0}, {"/stored_model", model}}},
        {"get " + q + " ModelInfoBits", {{"/name", "ModelInfoBits"}}, "/value"},
        {"info " + q, {{"/model_name", model}, {"/cassettes/0/source_bit", std::nullopt}}, "/model_info_bits"},
        {"store show " + q, {{"/values/BIModelName", model}, {"/values/BICassetteInfo/0/paper_size_id", std::nullopt}},
         "/values/BIModelInfoBits"},
        {"erd show " + q + " --registry", {{"/defaults/MediaSizeID", std::nullopt}, {"/capabilities/0/size", std::nullopt}}},
        {"cfgx show " + q, {{"/origin", "saved"}, {"/cfx/functions", std::nullopt}}},
        {"update " + q + " --elements model", {{"/status", 0}, {"/changes", Json::array()}}},
        {"cfgx update " + q + " --option 0x1", {{"/status", 1}}},
    };
    Json colourBits;
    for (const Case& c : cases) {
        const Json document = Document(c.args + " --json");
        for (const auto& [pointer, expected] : c.facts) {
            const Json::json_pointer at(pointer);
            ASSERT_TRUE(document.contains(at)) << c.args << ": no " << pointer << "\n" << document.dump(2);
            if (expected) {
                EXPECT_EQ(document[at], *expected) << c.args << ": " << pointer;
            }
        }
        if (c.modelBits == nullptr) continue;
        // The colour printer's model bits, raw and by name, the same in every verb that shows them.
        const Json::json_pointer at(c.modelBits);
        ASSERT_TRUE(document.contains(at)) << c.args << "\n" << document.dump(2);
        const Json& names = document[at]["names"];
        EXPECT_NE(std::find(names.begin(), names.end(), "colour"), names.end()) << c.args << ": " << names.dump();
        if (colourBits.is_null()) colourBits = document[at];
        EXPECT_EQ(document[at], colourBits) << c.args;
    }
}

TEST_F(ToolJson, FailuresLeaveStdoutEmptyAndSayWhatToDoOnStderr) {
    const auto expectFailure = [](const std::string& args, const std::vector<std::string>& hints,
                                  const std::string& env = "") {
        const Outcome run = Vanto(args + " --json", env);
        EXPECT_NE(run.status, 0) << args;
        EXPECT_EQ(run.out, "") << args;
        for (const std::string& hint : hints) EXPECT_NE(run.err.find(hint), std::string::npos) << args << ": " << run.err;
    };
    // One verb per way of finding the queue: directly, through the admin check, through the
    // library session, and as a queue or a file.
    for (const std::string verb : {"store show", "job list", "info", "cfgx show"})
        expectFailure(verb + " Absent", {"'Absent'", "vanto queue"});  // names the queue, says how to list them
    expectFailure(std::string("get ") + kQueue + " NoSuchValue", {"ModelInfoBits"});  // names the IDs there are
    expectFailure(std::string("reg get ") + kLogKey + " Absent", {"vanto reg list"});
    expectFailure("queue list", {"vanto prefix init"}, "VANTO_PREFIX=" + m_prefix.Root() + "/absent");
}

// The examples come from each verb's own footer: one verb of each group shows them.
TEST(ToolHelp, TheToolAndItsVerbsShowExamples) {
    const vanto_test::ToolRun top = vanto_test::Vanto("--help");
    EXPECT_EQ(top.status, 0);
    EXPECT_NE(top.out.find("Examples:"), std::string::npos) << top.out;
    for (const char* verb : {"reg set", "queue add", "printer", "cfgx update"}) {
        const vanto_test::ToolRun help = vanto_test::Vanto(std::string(verb) + " --help");
        EXPECT_EQ(help.status, 0) << verb;
        EXPECT_NE(help.out.find("Example"), std::string::npos) << verb << ":\n" << help.out;
        EXPECT_NE(help.out.find("  vanto " + std::string(verb)), std::string::npos) << verb << ":\n" << help.out;
    }
}

}  // namespace
