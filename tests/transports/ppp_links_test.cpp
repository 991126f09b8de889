#include "dialup_fixture.h"
#include "transports/dial_up_dialer.h"
#include "transports/ppp_links.h"

#include <QProcess>
#include <gtest/gtest.h>

#include <fstream>

using Words = std::vector<std::string>;

TEST(PppOptions, WordsAsPppdReadsThem)
{
    struct Case {
        std::string text;
        Words words;
    } cases[] = {
        {"user \"a b\"  password 'x y'\n", {"user", "a b", "password", "x y"}},
        {"# a comment\nnoauth # another\ncrtscts", {"noauth", "crtscts"}},
        {"password \"q\\\"\\\\\\101\\s\"", {"password", "q\"\\A "}},
        {"connect \"chat -T 555\\\n0100\"", {"connect", "chat -T 5550100"}},
        {"/dev/ttyS0 115200\n", {"/dev/ttyS0", "115200"}},
    };
    for (const Case& c : cases)
        EXPECT_EQ(PppOptionWords(c.text), c.words) << c.text;
}

TEST(PppOptions, QuotedValuesReadBackUnchanged)
{
    for (const std::string value : {"", "plain", "two words", "q\"uote", "back\\slash", "line\nbreak", "tab\there",
                                    "# not a comment", "'single'"}) {
        Words words = PppOptionWords("password " + PppQuoted(value) + "\n");
        ASSERT_EQ(words.size(), 2u) << value;
        EXPECT_EQ(words[1], value);
        EXPECT_EQ(PppQuoted(value).find('\n'), std::string::npos);
    }
}

TEST(PppOptions, PhoneNumberGoesIntoTheChatScript)
{
    struct Case {
        std::string connect, phone, result;
    } cases[] = {
        {"/usr/sbin/chat -v -f /etc/chatscripts/isp -T 5550100", "5550199",
         "/usr/sbin/chat -v -f /etc/chatscripts/isp -T 5550199"},
        {"chat -f script -T5550100", "9,5550199", "chat -f script -T9,5550199"},
        {"chat -f script -T 1", "555 0199", "chat -f script -T '555 0199'"},
        {"chat -f script", "5550199", ""},  // nowhere to put it
    };
    for (const Case& c : cases)
        EXPECT_EQ(ConnectWithPhone(c.connect, c.phone), c.result) << c.connect;
}

TEST(PppOptions, EntryReadFromItsPeerFile)
{
    TestHome home;
    DialUpWorld world(home);
    world.writePeer("provider", kProviderEntry);
    world.writePeer("other", "ttyUSB1\nlinkname other\n");
    EXPECT_EQ(ListPeerEntries(), (Words{"other", "provider"}));

    PeerEntry entry;
    ASSERT_TRUE(ReadPeerEntry("provider", entry));
    EXPECT_EQ(entry.user, "entryuser");
    EXPECT_EQ(entry.password, "stored-secret");
    EXPECT_EQ(entry.phone, "5550100");
    EXPECT_EQ(entry.device, "/dev/ttyS0");
    ASSERT_TRUE(ReadPeerEntry("other", entry));
    EXPECT_EQ(entry.device, "/dev/ttyUSB1");
    EXPECT_EQ(entry.linkname, "other");
    for (const char* name : {"missing", "", "../provider", ".."})
        EXPECT_FALSE(ReadPeerEntry(name, entry)) << name;
}

TEST(PppLinks, OnlyLiveLinksWithAnUpInterfaceCount)
{
    TestHome home;
    DialUpWorld world(home);
    QProcess ended;
    ended.start("true");
    ASSERT_TRUE(ended.waitForFinished());
    const std::string self = std::to_string(::getpid());
    struct Case {
        std::string link, pid, interface, flags;
        bool listed, up;
    } cases[] = {
        {"stale", std::to_string(ended.processId()), "ppp0", "0x10d1", false, false},
        {"dialling", self, "", "", true, false},
        {"down", self, "ppp1", "0x1090", true, false},
        {"live", self, "ppp2", "0x10d1", true, true},
    };
    for (const Case& c : cases) {
        std::ofstream(world.runDir + "/ppp-" + c.link + ".pid") << c.pid << "\n" << c.interface;
        if (!c.flags.empty()) {
            std::filesystem::create_directories(world.netDir + "/" + c.interface);
            std::ofstream(world.netDir + "/" + c.interface + "/flags") << c.flags << "\n";
        }
    }
    std::ofstream(world.runDir + "/ppp0.pid") << self << "\n";  // pppd's interface pid file
    for (const Case& c : cases) {
        PppLink link;
        EXPECT_EQ(FindPppLink(c.link, link), c.listed) << c.link;
        EXPECT_EQ(link.up, c.up) << c.link;
    }
    DialUpDialer dialer;
    std::vector<std::string> names;
    EXPECT_EQ(dialer.ListConnections(names), 0);
    EXPECT_EQ(names, (Words{"dialling", "down", "live"}));
    dialer.SetEntryName("live");
    EXPECT_EQ(dialer.ConnectState(), kDialUpConnected);
    dialer.SetEntryName("dialling");
    EXPECT_EQ(dialer.ConnectState(), kDialUpConnecting);
    dialer.SetEntryName("stale");
    EXPECT_EQ(dialer.ConnectState(), kDialUpDisconnected);
}
