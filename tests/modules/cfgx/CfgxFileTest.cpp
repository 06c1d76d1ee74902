// Files of the CFGX module: the sample sources are in the written layout, a save is atomic (a
// target that cannot be replaced leaves a whole file; a save broken off part way is CfgxExports'
// failed save), and damaged, truncated, huge or hostile files are refused with their codes;
// `vanto cfgx show` on files and queues.
#include "CfgxModule.h"
#include "modules/cfgx/CfxFile.h"
#include "support/ToolRun.h"

#include <filesystem>
#include <fstream>
#include <sstream>
#include <sys/stat.h>

namespace cfgxtest {
namespace {

namespace fs = std::filesystem;

std::string ReadText(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream ss;
    ss << in.rdbuf();
    return ss.str();
}

void WriteText(const fs::path& path, const std::string& text) { std::ofstream(path, std::ios::binary) << text; }

std::u16string Windows(const fs::path& path) { return vplat::ToWindowsPath(path.string()); }

std::vector<std::string> FolderNames(const fs::path& folder) {
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(folder)) names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

class CfgxFileTest : public CfgxTest {
protected:
    void SetUp() override {
        CfgxTest::SetUp();
        work = fs::path(prefix.DriveC()) / "ProgramData" / "work";
        fs::create_directories(work);
    }
    fs::path work;
};

// The page source, the one with tags and prohibit groups, read and written again.
TEST_F(CfgxFileTest, SampleSourcesAreInTheWrittenLayout) {
    const fs::path source = fs::path(VANTO_SOURCE_DIR) / "samples/driver/K_PAGE.CFX";
    Session s;
    ASSERT_EQ(m.Init(s.Out(), Windows(source).c_str()), KD_CFGX_OK);
    ASSERT_EQ(m.Save(s.Get(), Windows(work / "copy.cfx").c_str()), KD_CFGX_OK);
    EXPECT_EQ(ReadText(work / "copy.cfx"), ReadText(source)) << "the source differs from its own save";
}

TEST_F(CfgxFileTest, SaveReplacesTheFileWholeAndAFailingSaveLeavesItAsItWas) {
    Session s;
    ASSERT_EQ(Open(s, 2), KD_CFGX_OK);
    ASSERT_EQ(m.Save(s.Get(), Windows(work).c_str()), KD_CFGX_OK);
    ASSERT_EQ(m.SetVersionString(s.Get(), u"2.0"), KD_CFGX_OK);
    ASSERT_EQ(m.Save(s.Get(), Windows(work).c_str()), KD_CFGX_OK);
    EXPECT_EQ(FolderNames(work), std::vector<std::string>{"K_PAGE.CFX"}) << "no new file left behind";
    auto saved = cfx::ReadCfx(ReadText(work / "K_PAGE.CFX"));
    ASSERT_TRUE(saved.file) << saved.error;
    EXPECT_EQ(saved.file->version, "2.0");

    // A target that cannot be replaced: a folder in the file's place stays as it was.
    fs::create_directories(work / "sub" / "K_PAGE.CFX" / "inside");
    EXPECT_EQ(m.Save(s.Get(), Windows(work / "sub").c_str()), KD_CFGX_ERR_IO);
    EXPECT_TRUE(fs::is_directory(work / "sub" / "K_PAGE.CFX" / "inside"));
    EXPECT_EQ(FolderNames(work / "sub"), std::vector<std::string>{"K_PAGE.CFX"});
    EXPECT_EQ(m.Save(s.Get(), u"C:\\NoSuchFolder\\K_PAGE.CFX"), KD_CFGX_ERR_IO);
    EXPECT_EQ(m.Save(s.Get(), u"Q:\\other drive"), KD_CFGX_ERR_BAD_ARGUMENT);
}

TEST_F(CfgxFileTest, DamagedFilesAreRefused) {
    const std::string good = R"({"format":"vanto-cfx","formatVersion":1,"category":2,"version":"1",
      "functions":[{"id":9,"name":"Paper size","default":9,"elements":[{"id":9,"name":"A4"},{"id":8,"name":"A3"}]},
                   {"id":14,"name":"Copies","kind":"value","minimum":1,"maximum":9,"default":1}],
      "prohibits":[{"items":[{"function":9,"element":8}]}]})";
    auto with = [&](const std::string& from, const std::string& to) {
        std::string text = good;
        const size_t at = text.find(from);
        EXPECT_NE(at, std::string::npos) << from;
        return at == std::string::npos ? text : text.replace(at, from.size(), to);
    };
    std::string items = R"({"function":9,"element":8})";  // one more than a group may hold
    for (size_t i = 0; i < cfx::kMaxGroupItems; ++i) items += R"(,{"function":9,"element":8})";
    const std::string sample = ReadText(fs::path(VANTO_SOURCE_DIR) / "samples/driver/K_PAGE.CFX");

    struct Case {
        const char* what;
        std::string text;
        int32_t expected;
    };
    const Case cases[] = {
        {"the good file", good, KD_CFGX_OK},
        {"truncated", sample.substr(0, sample.size() / 2), KD_CFGX_ERR_BAD_FILE},
        {"huge", good + std::string(cfx::kMaxFileSize, ' '), KD_CFGX_ERR_FILE_TOO_LARGE},
        {"other format", with("vanto-cfx", "other"), KD_CFGX_ERR_BAD_FILE},
        {"category 3", with(R"("category":2)", R"("category":3)"), KD_CFGX_ERR_BAD_FILE},
        {"duplicate element", with(R"({"id":8,"name":"A3"})", R"({"id":9,"name":"A3"})"), KD_CFGX_ERR_BAD_FILE},
        {"duplicate function", with(R"({"id":14,)", R"({"id":9,)"), KD_CFGX_ERR_BAD_FILE},
        {"default names no element", with(R"("default":9,)", R"("default":10,)"), KD_CFGX_ERR_BAD_FILE},
        {"rule on a value function", with(R"("function":9,"element":8})", R"("function":14,"element":1})"),
         KD_CFGX_ERR_BAD_FILE},
        {"empty rule", with(R"({"items":[{"function":9,"element":8}]})", R"({"items":[]})"), KD_CFGX_ERR_BAD_FILE},
        {"unknown member", with(R"("version":"1")", R"("version":"1","colour":1)"), KD_CFGX_ERR_BAD_FILE},
        {"fraction", with(R"({"id":8,)", R"({"id":8.5,)"), KD_CFGX_ERR_BAD_FILE},
        {"above 32 bits", with(R"({"id":8,)", R"({"id":4294967296,)"), KD_CFGX_ERR_BAD_FILE},
        {"long hex", with(R"({"id":8,)", R"({"id":"0x123456789",)"), KD_CFGX_ERR_BAD_FILE},
        {"control character", with(R"("name":"A3")", R"("name":"A\u001b[2J")"), KD_CFGX_ERR_BAD_FILE},
        {"ill-formed UTF-8", with(R"("name":"A3")", "\"name\":\"A\xC3\x28\""), KD_CFGX_ERR_BAD_FILE},
        {"availability 2", with(R"("name":"A3")", R"("name":"A3","attributes":{"16":2})"), KD_CFGX_ERR_BAD_FILE},
        {"attribute with a leading zero", with(R"("name":"A3")", R"("name":"A3","attributes":{"016":1})"),
         KD_CFGX_ERR_BAD_FILE},
        {"limits crossed", with(R"("minimum":1,"maximum":9)", R"("minimum":10,"maximum":9)"), KD_CFGX_ERR_BAD_FILE},
        {"default outside", with(R"("maximum":9,"default":1)", R"("maximum":9,"default":10)"), KD_CFGX_ERR_BAD_FILE},
        {"version too long", with(R"("version":"1")", "\"version\":\"" + std::string(64, '1') + "\""),
         KD_CFGX_ERR_BAD_FILE},
        {"too many items", with(R"([{"function":9,"element":8}])", "[" + items + "]"),
         KD_CFGX_ERR_BAD_FILE},
    };
    // (The C1 bound of the control-character check is the version string's, in CfgxTest.)
    for (const Case& c : cases) {
        WriteText(work / "K_CASE.CFX", c.text);
        Session s;
        EXPECT_EQ(m.Init(s.Out(), Windows(work / "K_CASE.CFX").c_str()), c.expected) << c.what;
        EXPECT_EQ(s.Get() == nullptr, c.expected != KD_CFGX_OK) << c.what;
    }

    // Nesting is refused before the JSON parser sees it, however deep.
    EXPECT_NE(cfx::ReadCfx(std::string(1000000, '[')).error.find("nested deeper"), std::string::npos);

    // A FIFO in a source's place is refused without waiting for a writer.
    fs::remove(work / "K_CASE.CFX");
    ASSERT_EQ(mkfifo((work / "K_FIFO.CFX").c_str(), 0600), 0);
    Session fifo;
    EXPECT_EQ(m.Init(fifo.Out(), Windows(work / "K_FIFO.CFX").c_str()), KD_CFGX_ERR_IO);
    fs::remove(work / "K_FIFO.CFX");

    // A damaged source that may be the one asked for is reported as damaged; a good source of
    // the category asked for still opens beside it.
    WriteText(work / "K_PAGE.CFX", sample.substr(0, 500));
    Session page;
    EXPECT_EQ(m.InitEx(page.Out(), kDataFile, Windows(work).c_str(), kQueueW, 2), KD_CFGX_ERR_BAD_FILE);
    fs::copy_file(fs::path(VANTO_SOURCE_DIR) / "samples/driver/K_ERD.CFX", work / "K_ERD.CFX");
    Session erd;
    EXPECT_EQ(m.InitEx(erd.Out(), kDataFile, Windows(work).c_str(), kQueueW, 0), KD_CFGX_OK);
}

TEST_F(CfgxFileTest, ShowVerbOnFilesAndQueues) {
    const auto show = [](const std::string& args) {
        const std::string tool = std::string(VANTO_BUILD_DIR) + "/vanto";
        return vanto_test::RunCommand(tool + " cfgx show " + args + " 2>&1");
    };
    const std::string sample = (fs::path(VANTO_SOURCE_DIR) / "samples/driver/K_PAGE.CFX").string();
    vanto_test::ToolRun run = show("'" + sample + "'");
    EXPECT_EQ(run.status, 0) << run.out;
    for (const char* line : {"100    DRIVERCAPS             0x0000A000", "Paper size Env #10 + Input bin not MP tray"})
        EXPECT_NE(run.out.find(line), std::string::npos) << line << "\n" << run.out;

    run = show(std::string("--category inkjet ") + kQueue);  // no file saved yet
    EXPECT_EQ(run.status, 0) << run.out;
    EXPECT_NE(run.out.find("K_INKJET.CFX (source)"), std::string::npos) << run.out;

    WriteText(work / "K_BAD.CFX", R"({"format":"vanto-cfx","formatVersion":1,"category":2,"version":"1",
      "functions":[{"id":9,"name":"P","elements":[{"id":9,"name":"A4"},{"id":9,"name":"A4"}]}]})");
    run = show("'" + (work / "K_BAD.CFX").string() + "'");
    EXPECT_EQ(run.status, 1) << run.out;
    const std::string error = "functions[0].elements[1].id: duplicate element 9";
    EXPECT_NE(run.out.find(error), std::string::npos) << run.out;
}

}  // namespace
}  // namespace cfgxtest
