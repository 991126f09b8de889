#include "base/net_log.h"
#include "test_env.h"

#include <gtest/gtest.h>

#include <regex>
#include <thread>

TEST(NetworkLogTest, WritesOnlyWhileAPathIsSet)
{
    TestHome home;
    std::string path = home.path() + "/net.txt";
    mxLogFile(nullptr);
    EXPECT_EQ(mxLog("nothing"), 0);
    EXPECT_FALSE(PathExists(path));

    mxLogFile(path.c_str());
    EXPECT_EQ(mxLog("mxOpen() Port(%d)", 6101), 0);
    mxLogFile(nullptr);
    EXPECT_EQ(mxLog("after"), 0);

    std::vector<std::string> lines = SplitLines(ReadWholeFile(path));
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_TRUE(std::regex_match(lines[0], std::regex(R"(\d{8} \d{2}:\d{2}:\d{2}\.\d{4}>mxOpen\(\) Port\(6101\))")))
        << lines[0];
}

TEST(NetworkLogTest, UnopenableFileReportsMinusOne)
{
    TestHome home;
    std::string path = home.path() + "/missing/net.txt";
    mxLogFile(path.c_str());
    EXPECT_EQ(mxLog("x"), -1);
    mxLogFile(nullptr);
}

TEST(NetworkLogTest, ConcurrentWritersNeverSplitALine)
{
    TestHome home;
    std::string path = home.path() + "/net.txt";
    mxLogFile(path.c_str());
    const std::string longText(3000, 'x');
    auto writer = [&](char tag) {
        for (int i = 0; i < 300; ++i)
            mxLog("%c%s%c", tag, longText.c_str(), tag);
    };
    std::thread a(writer, 'a'), b(writer, 'b');
    a.join();
    b.join();
    mxLogFile(nullptr);
    std::vector<std::string> lines = SplitLines(ReadWholeFile(path));
    ASSERT_EQ(lines.size(), 600u);
    for (const std::string& line : lines) {
        std::string body = line.substr(23);
        ASSERT_EQ(body.size(), longText.size() + 2);
        EXPECT_EQ(body.front(), body.back());
    }
}
