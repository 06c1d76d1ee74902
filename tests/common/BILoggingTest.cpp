// The diagnostic log: the registry switch and when it is read again, the file and its folder,
// the time stamp, the hex dump, the text form of a line, many writers at once, and the error
// sink beside the file.
#include "common/BILogging.h"

#include "common/LogFile.h"

#include <gtest/gtest.h>

#include <atomic>
#include <regex>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

using vanto_test::LogLines;
using vanto_test::SetLogSwitch;
using vanto_test::TempPrefix;

namespace {

uint32_t g_fixedTicks = 0;
std::vector<std::string> g_sunk;

// Every test starts and ends with the facility uninitialised and the system clock.
class BILoggingTest : public ::testing::Test {
protected:
    void SetUp() override { BILogging::End(); }
    void TearDown() override {
        BILogging::SetErrorSink(nullptr);
        BILogging::End();
        BILogging::SetTickSource(nullptr);
    }
};

TEST_F(BILoggingTest, SwitchZeroIsNotReadAgainUntilTheEndCallAndAMissingOneIsReadByEveryCall) {
    TempPrefix prefix;
    std::filesystem::create_directories(vanto_test::LogFolder(prefix));
    SetLogSwitch(0);
    BI_LOG("first\n");
    SetLogSwitch(1);
    BI_LOG("second\n");
    EXPECT_TRUE(LogLines(prefix).empty()) << "the switch was read again before the end call";
    BILogging::End();
    SetLogSwitch(std::nullopt);
    BI_LOG("missing\n");
    SetLogSwitch(7);  // any non-zero value switches the log on
    BI_LOG("third\n");
    auto lines = LogLines(prefix);
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_TRUE(lines[0].ends_with(" third")) << lines[0];
}

TEST_F(BILoggingTest, MissingFolderIsNotCreated) {
    TempPrefix prefix;
    SetLogSwitch(1);
    BI_LOG("lost %d\n", 1);
    BI_DUMP("\x01", 1);
    EXPECT_FALSE(std::filesystem::exists(vanto_test::LogFolder(prefix)));
}

TEST_F(BILoggingTest, TimeStampCountsWholeMinutesOfTheTickCountAndDumpsAreHex) {
    TempPrefix prefix;
    prefix.EnableLog();
    BILogging::SetTickSource([] { return g_fixedTicks; });
    g_fixedTicks = 5;
    BI_LOG("early\n");
    g_fixedTicks = 0xFFFFFFFFu;
    BI_LOG("wrap\n");
    auto lines = LogLines(prefix);
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(lines[0], " 0:00.005 early");
    EXPECT_EQ(lines[1], "71582:47.295 wrap");

    // Dumps are lower-case hex without separators.
    const unsigned char bytes[] = {0x0A, 0xFF, 0x00};
    BI_DUMP(bytes, sizeof(bytes));
    BI_DUMP(static_cast<const void*>(nullptr), 4);
    BI_DUMP(bytes, 0);
    lines = LogLines(prefix);
    ASSERT_EQ(lines.size(), 4u) << "a null pointer writes no line";
    EXPECT_EQ(lines[2], "71582:47.295 0aff00");
    EXPECT_EQ(lines[3], "71582:47.295 ") << "an empty dump is a time stamp alone";
}

TEST_F(BILoggingTest, LineIsWrittenInTheAnsiCodePageWithCrLf) {
    TempPrefix prefix;
    prefix.EnableLog();
    // U+00E9 exists in code page 1252, U+4E00 does not; raw 8-bit printer text stays as it is.
    BI_LOG("Caf\xC3\xA9 %s|%s\nnext\n", BILogging::Narrow(u"\u00e9\u4e00").c_str(), "\xE9t\xE9");
    std::string text = vanto_test::ReadLog(prefix);
    size_t blank = text.find(' ', text.find(':'));
    ASSERT_NE(blank, std::string::npos);
    EXPECT_EQ(text.substr(blank + 1), "Caf\xE9 \xE9?|\xE9t\xE9\r\nnext\r\n");
    EXPECT_EQ(BILogging::Narrow(nullptr), "(null)");
    EXPECT_EQ(BILogging::Narrow(u"\U0001F600\xD800"), "\xF0\x9F\x98\x80\xEF\xBF\xBD");
}

TEST_F(BILoggingTest, ManyWritersAndEndCallsLeaveOnlyWholeLines) {
    TempPrefix prefix;
    prefix.EnableLog();
    constexpr int kThreads = 6;
    constexpr int kLinesEach = 150;
    const std::string payload(80, 'x');
    std::atomic<bool> writing{true};
    std::thread ender([&] {
        while (writing.load()) BILogging::End();
    });
    std::vector<std::thread> writers;
    for (int t = 0; t < kThreads; ++t) {
        writers.emplace_back([&, t] {
            for (int i = 0; i < kLinesEach; ++i) BI_LOG("thread %d line %d %s\n", t, i, payload.c_str());
        });
    }
    for (auto& writer : writers) writer.join();
    writing = false;
    ender.join();

    auto lines = LogLines(prefix);
    EXPECT_EQ(lines.size(), static_cast<size_t>(kThreads * kLinesEach));
    const std::regex whole(R"(^( \d|\d{2,}):\d{2}\.\d{3} thread \d line \d+ )" + payload + "$");
    for (const auto& line : lines) ASSERT_TRUE(std::regex_match(line, whole)) << line;
}

TEST_F(BILoggingTest, ErrorSinkGetsOnlyErrorLinesAndLeavesTheFileAsItIs) {
    TempPrefix prefix;
    std::filesystem::create_directories(vanto_test::LogFolder(prefix));
    SetLogSwitch(0);
    g_sunk.clear();
    BILogging::SetErrorSink([](std::string_view line) { g_sunk.emplace_back(line); });
    EXPECT_TRUE(BILogging::Active()) << "a sink must make the log calls format their lines";
    BI_LOG("trace %d\n", 1);
    BI_LOG("#Failed to get %s list.\n", "InputName");
    BI_DUMP("#", 1);
    EXPECT_EQ(g_sunk, std::vector<std::string>{"#Failed to get InputName list.\n"});
    EXPECT_TRUE(LogLines(prefix).empty()) << "the sink switched the file on";

    // The end call keeps the sink; with the file on, error lines go to both.
    SetLogSwitch(1);
    BILogging::End();
    BI_LOG("#second %s\n", "error");
    EXPECT_EQ(LogLines(prefix).size(), 1u);
    EXPECT_EQ(g_sunk.back(), "#second error\n");

    BILogging::SetErrorSink(nullptr);
    SetLogSwitch(0);
    BILogging::End();
    BI_LOG("#third\n");
    EXPECT_FALSE(BILogging::Active()) << "removing the sink must give back the one-test fast path";
    EXPECT_EQ(g_sunk.size(), 2u);
}

}  // namespace
