// vanto.exe under Wine: the administration verbs on the system's spooler (a driver and a queue
// added and removed), the library's verbs through vanto.dll against the vprinter in
// VANTO_WINE_PRINTER (scripts/test-windows starts it), and the stand-in's own verbs refused as
// Linux-only. The tool runs as a separate process, as a person would run it.
#include "windows/support/StageDriver.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <windows.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

namespace {

namespace fs = std::filesystem;

constexpr const char* kDriver = "Vintal Universal Driver";
constexpr const char* kQueue = "Tool Queue";

struct ToolRun {
    DWORD exit = 0xFFFFFFFF;
    std::string out, err;
};

std::string Slurp(const fs::path& file) {
    std::ifstream in(file, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

// Runs vanto.exe of the build with `arguments` (already quoted for its command line), its
// standard output and error caught in files.
ToolRun Vanto(const std::string& arguments) {
    wchar_t temp[MAX_PATH] = {};
    GetTempPathW(MAX_PATH, temp);
    const fs::path out = fs::path(temp) / "vanto-tool-out.txt", err = fs::path(temp) / "vanto-tool-err.txt";
    SECURITY_ATTRIBUTES inherit{sizeof(SECURITY_ATTRIBUTES), nullptr, TRUE};
    HANDLE outFile = CreateFileW(out.c_str(), GENERIC_WRITE, FILE_SHARE_READ, &inherit, CREATE_ALWAYS, 0, nullptr);
    HANDLE errFile = CreateFileW(err.c_str(), GENERIC_WRITE, FILE_SHARE_READ, &inherit, CREATE_ALWAYS, 0, nullptr);
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdOutput = outFile;
    startup.hStdError = errFile;
    const std::wstring exe = (fs::path(VANTO_BUILD_DIR) / "vanto.exe").wstring();
    std::wstring command = L"\"" + exe + L"\" " + fs::path(arguments).wstring();
    PROCESS_INFORMATION process{};
    ToolRun run;
    if (CreateProcessW(exe.c_str(), command.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr, &startup, &process)) {
        WaitForSingleObject(process.hProcess, 120000);
        GetExitCodeProcess(process.hProcess, &run.exit);
        CloseHandle(process.hThread);
        CloseHandle(process.hProcess);
    }
    CloseHandle(outFile);
    CloseHandle(errFile);
    run.out = Slurp(out);
    run.err = Slurp(err);
    return run;
}

nlohmann::json Json(const ToolRun& run) { return nlohmann::json::parse(run.out, nullptr, false); }

bool Lists(const nlohmann::json& list, const std::string& name) {
    for (const auto& entry : list)
        if (entry == name) return true;
    return false;
}

TEST(VantoTool, AddsADriverAndQueueThroughTheSpoolerConfiguresTheQueueAndRemovesIt) {
    const char* printer = std::getenv("VANTO_WINE_PRINTER");
    if (printer == nullptr || *printer == '\0') GTEST_SKIP() << "VANTO_WINE_PRINTER names no vprinter address";
    wchar_t temp[MAX_PATH] = {};
    ASSERT_GT(GetTempPathW(MAX_PATH, temp), 0u);
    const fs::path stage = fs::path(temp) / "vanto-tool-stage";
    vanto_test::StageDriver(stage);

    // The rendering and configuration module is the system's PostScript driver, which the spooler
    // needs to make a queue; it lies in the driver folder already.
    ToolRun run = Vanto("driver add \"" + std::string(kDriver) + "\" \"" + stage.string() +
                    "\" --config-file wineps.drv --driver-file wineps.drv");
    ASSERT_EQ(run.exit, 0u) << run.err;
    run = Vanto("driver list --json");
    EXPECT_TRUE(Lists(Json(run)["drivers"], kDriver)) << run.out;

    run = Vanto("queue add \"" + std::string(kQueue) + "\" --driver \"" + kDriver + "\" --port IP_" + printer);
    ASSERT_EQ(run.exit, 0u) << run.err;
    run = Vanto("queue list --json");
    EXPECT_TRUE(Lists(Json(run)["queues"], kQueue)) << run.out;

    run = Vanto("configure \"" + std::string(kQueue) + "\"");
    EXPECT_EQ(run.exit, 0u) << run.out << run.err;
    run = Vanto("store show \"" + std::string(kQueue) + "\" --json");
    ASSERT_EQ(run.exit, 0u) << run.err;
    const nlohmann::json store = Json(run);
    EXPECT_EQ(store["values"]["BIModelName"], "Corvia CP-4500c") << run.out;
    EXPECT_EQ(store["values"]["BIStoreFlag"]["value"], 2) << "written by an update";

    run = Vanto("queue refuse \"" + std::string(kQueue) + "\" --full-access");
    EXPECT_NE(run.exit, 0u);
    EXPECT_NE(run.err.find("Linux-only"), std::string::npos) << "the refusal switches are the stand-in's: " << run.err;

    run = Vanto("queue remove \"" + std::string(kQueue) + "\"");
    EXPECT_EQ(run.exit, 0u) << run.err;
    run = Vanto("queue list --json");
    EXPECT_FALSE(Lists(Json(run)["queues"], kQueue)) << run.out;
    run = Vanto("update \"" + std::string(kQueue) + "\"");
    EXPECT_NE(run.exit, 0u);
    EXPECT_NE(run.err.find("does not exist"), std::string::npos) << run.err;
    fs::remove_all(stage);
}

TEST(VantoTool, SaysThatMakingAPrefixIsLinuxOnly) {
    const ToolRun run = Vanto("prefix init");
    EXPECT_NE(run.exit, 0u);
    EXPECT_NE(run.err.find("Linux-only"), std::string::npos) << run.err;
}

}  // namespace
