#include "config/settings.h"
#include "config/settings_file.h"
#include "test_env.h"

#include <chrono>
#include <fcntl.h>
#include <fstream>
#include <functional>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

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
