#include "config/settings.h"
#include "config/settings_file.h"
#include "test_env.h"

#include <chrono>
#include <cstdlib>
#include <fcntl.h>
#include <fstream>
#include <filesystem>
#include <functional>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

namespace {

mode_t FileMode(const std::string& path)
{
    struct stat status {};
    EXPECT_EQ(::stat(path.c_str(), &status), 0) << path;
    return status.st_mode & 07777;
}

std::vector<std::string> FolderEntries(const std::string& folder)
{
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(folder))
        names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

TEST(SettingsFile, LocationFollowsTheEnvironment)
{
    TestHome home;
    EXPECT_EQ(SettingsFilePath(), home.settingsFile());
    ::unsetenv("XDG_CONFIG_HOME");
    EXPECT_EQ(SettingsFilePath(), home.path() + "/.config/Tuq Network/Corvane.reg");
    ::setenv("CORVANE_SETTINGS", (home.path() + "/elsewhere/my.reg").c_str(), 1);
    EXPECT_EQ(SettingsFilePath(), home.path() + "/elsewhere/my.reg");
    SetSystemID("ELSE");
    EXPECT_NE(ReadWholeFile(home.path() + "/elsewhere/my.reg").find("\"SystemID\"=\"ELSE\""),
              std::string::npos);
}

TEST(SettingsFile, WriteCreatesFolderAndFileWithPrivateMode)
{
    TestHome home;
    SetSSLClientPassword("secret");
    EXPECT_EQ(FileMode(home.settingsFile()), 0600u);
    EXPECT_EQ(ReadWholeFile(home.settingsFile()),
              "REGEDIT4\n\n"
              "[HKEY_CURRENT_USER\\Software\\Tuq Network\\Corvane]\n"
              "\"SSLClientPassword\"=\"secret\"\n\n");
}

TEST(SettingsFile, RewriteTightensModeAndLeavesNoTemporaryFiles)
{
    TestHome home;
    home.writeSettings("REGEDIT4\n");
    ::chmod(home.settingsFile().c_str(), 0644);
    SetDialUpPwd("secret");
    SetDialUpUser("anna");
    EXPECT_EQ(FileMode(home.settingsFile()), 0600u);
    EXPECT_EQ(FolderEntries(home.path() + "/config/Tuq Network"),
              (std::vector<std::string>{"Corvane.reg", "Corvane.reg.lock"}));
}

TEST(SettingsFile, UnparseableFileIsNeverOverwritten)
{
    TestHome home;
    const std::string broken = "REGEDIT4\n\n"
                               "[HKEY_CURRENT_USER\\Software\\Tuq Network\\Corvane]\n"
                               "\"ClaimFileRetries\"=dword:00000002\n"
                               "\"DebugFileName\"=\"C:\\TuqData\\log.txt\"\n";
    home.writeSettings(broken);
    try {
        SetClaimFileRetries(5);
        ADD_FAILURE() << "the write succeeded";
    } catch (const SettingsError& error) {
        std::string text = error.what();
        EXPECT_EQ(text.rfind("Failed to set data for 'ClaimFileRetries' (", 0), 0u) << text;
        EXPECT_NE(text.find(home.settingsFile() + " line 5 cannot be read"), std::string::npos)
            << text;
    }
    EXPECT_EQ(ReadWholeFile(home.settingsFile()), broken);
    try {
        GetClaimFileRetries();
        ADD_FAILURE() << "the read succeeded";
    } catch (const SettingsError& error) {
        EXPECT_NE(std::string(error.what()).find("line 5 cannot be read"), std::string::npos)
            << error.what();
    }
}

TEST(SettingsFile, FolderThatCannotBeCreatedFailsTheKey)
{
    TestHome home;
    std::string blocker = home.path() + "/blocker";
    std::ofstream(blocker) << "not a folder";
    ::setenv("CORVANE_SETTINGS", (blocker + "/Corvane.reg").c_str(), 1);
    try {
        SetBaud(9600);
        ADD_FAILURE() << "the write succeeded";
    } catch (const SettingsError& error) {
        EXPECT_EQ(std::string(error.what())
                      .rfind("Failed to create key HKEY_CURRENT_USER\\Software\\Tuq "
                             "Network\\Corvane\\InputSerialPort (",
                             0),
                  0u)
            << error.what();
    }
    EXPECT_EQ(GetBaud(), 19200) << "a missing file still reads as defaults";
}

TEST(SettingsFile, WritesKeepEverythingElse)
{
    TestHome home;
    const std::string original = "Windows Registry Editor Version 5.00\r\n\r\n"
                                 "[HKEY_CURRENT_USER\\Software\\Tuq Network\\Corvane]\r\n"
                                 "\"Odd\"=hex(2):25,00,00,00\r\n"
                                 "\"Baud\"=dword:00002580\r\n\r\n"
                                 "[HKEY_CURRENT_USER\\Software\\Other]\r\n"
                                 "\"Keep\"=\"me\"\r\n";
    home.writeSettings(original);
    SetClaimFileRetries(8);
    EXPECT_EQ(ReadWholeFile(home.settingsFile()),
              "Windows Registry Editor Version 5.00\r\n\r\n"
              "[HKEY_CURRENT_USER\\Software\\Tuq Network\\Corvane]\r\n"
              "\"Odd\"=hex(2):25,00,00,00\r\n"
              "\"Baud\"=dword:00002580\r\n"
              "\"ClaimFileRetries\"=dword:00000008\r\n\r\n"
              "[HKEY_CURRENT_USER\\Software\\Other]\r\n"
              "\"Keep\"=\"me\"\r\n");
}

TEST(SettingsFile, WindowPositionWriteKeepsCommentsAndBlankLines)
{
    TestHome home;
    const std::string head = "REGEDIT4\n"
                             "; written by hand, keep this\n\n"
                             "[HKEY_CURRENT_USER\\Software\\Tuq Network\\Corvane]\n"
                             "; where the claims come from\n"
                             "\"ClaimFileMask\"=\"/srv/claims/*.clm\"\n";
    const std::string tail = "\n; the serial line\n"
                             "[HKEY_CURRENT_USER\\Software\\Tuq Network\\Corvane\\InputSerialPort]\n"
                             "\"Baud\"=dword:00002580\n";
    home.writeSettings(head + tail);
    SetLeft(12);
    EXPECT_EQ(ReadWholeFile(home.settingsFile()), head + "\"Left\"=dword:0000000c\n" + tail);
    EXPECT_EQ(GetLeft(), 12);
}

TEST(SettingsFile, ConcurrentWritersLoseNothing)
{
    TestHome home;
    const int perThread = 30;
    auto writer = [](int first) {
        for (int n = first; n < first + perThread; ++n)
            SetComPortDevice(n, "/dev/pts/" + std::to_string(n));
    };
    std::thread a(writer, 1);
    std::thread b(writer, 1 + perThread);
    a.join();
    b.join();
    for (int n = 1; n <= 2 * perThread; ++n)
        EXPECT_EQ(ComPortDevice(n), "/dev/pts/" + std::to_string(n));
}

}  // namespace

namespace {

const std::string kMain = "[HKEY_CURRENT_USER\\Software\\Tuq Network\\Corvane]\n";

// Overwrites the file in place: same inode, and here the same size.
void WriteInPlace(const std::string& path, const std::string& text)
{
    int fd = ::open(path.c_str(), O_WRONLY | O_TRUNC);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(::write(fd, text.data(), text.size()), static_cast<ssize_t>(text.size()));
    ::close(fd);
}

// File times come from the kernel's coarse clock; a parse is kept only once
// that clock has moved past the file's last change.
void WaitForClockPastLastChange(const std::string& path)
{
    struct stat status {};
    ASSERT_EQ(::stat(path.c_str(), &status), 0);
    auto limit = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (true) {
        timespec now{};
        ::clock_gettime(CLOCK_REALTIME_COARSE, &now);
        if (now.tv_sec > status.st_ctim.tv_sec ||
            (now.tv_sec == status.st_ctim.tv_sec && now.tv_nsec > status.st_ctim.tv_nsec))
            return;
        ASSERT_LT(std::chrono::steady_clock::now(), limit);
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
}

std::string SystemIdFile(const std::string& id)
{
    return "REGEDIT4\n" + kMain + "\"SystemID\"=\"" + id + "\"\n";
}

TEST(SettingsCache, UnchangedFileIsParsedOnce)
{
    TestHome home;
    home.writeSettings(SystemIdFile("ONE"));
    WaitForClockPastLastChange(home.settingsFile());
    std::shared_ptr<const RegDocument> first = ReadSettingsFile(home.settingsFile());
    std::shared_ptr<const RegDocument> second = ReadSettingsFile(home.settingsFile());
    EXPECT_EQ(first.get(), second.get());
    EXPECT_EQ(GetSystemID(), "ONE");
}

TEST(SettingsCache, EveryChangeIsSeenAtTheNextRead)
{
    const struct {
        const char* name;
        std::function<void(const TestHome&)> change;
    } cases[] = {
        {"same size, in place", [](const TestHome& home) {
             WriteInPlace(home.settingsFile(), SystemIdFile("TWO"));
         }},
        {"same size, in place, modification time put back", [](const TestHome& home) {
             struct stat before {};
             ASSERT_EQ(::stat(home.settingsFile().c_str(), &before), 0);
             WriteInPlace(home.settingsFile(), SystemIdFile("TWO"));
             timespec times[2] = {before.st_atim, before.st_mtim};
             ASSERT_EQ(::utimensat(AT_FDCWD, home.settingsFile().c_str(), times, 0), 0);
         }},
        {"replaced by another file", [](const TestHome& home) {
             std::string other = home.settingsFile() + ".new";
             { std::ofstream(other) << SystemIdFile("TWO"); }
             ASSERT_EQ(::rename(other.c_str(), home.settingsFile().c_str()), 0);
         }},
        {"written through the store", [](const TestHome&) { SetSystemID("TWO"); }},
    };
    for (const auto& c : cases) {
        for (bool keptParse : {false, true}) {
            TestHome home;
            home.writeSettings(SystemIdFile("ONE"));
            if (keptParse)
                WaitForClockPastLastChange(home.settingsFile());
            EXPECT_EQ(GetSystemID(), "ONE") << c.name;
            c.change(home);
            EXPECT_EQ(GetSystemID(), "TWO") << c.name << (keptParse ? ", parse kept" : "");
        }
    }
}

TEST(SettingsCache, ThreadsReadWhileOneWrites)
{
    TestHome home;
    home.writeSettings(SystemIdFile("W0"));
    const int writes = 40;
    std::thread writer([] {
        for (int n = 1; n <= writes; ++n)
            SetSystemID("W" + std::to_string(n));
    });
    auto reader = [] {
        int last = 0;
        for (int i = 0; i < 200; ++i) {
            std::string id = GetSystemID();
            ASSERT_EQ(id[0], 'W') << id;
            int n = std::stoi(id.substr(1));
            EXPECT_GE(n, last) << "a read went back to an older file";
            last = n;
        }
    };
    std::thread readerA(reader);
    std::thread readerB(reader);
    writer.join();
    readerA.join();
    readerB.join();
    EXPECT_EQ(GetSystemID(), "W" + std::to_string(writes));
}

} // namespace
