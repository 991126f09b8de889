#include "base/general_log.h"
#include "app/headless_view.h"
#include "app/main_form.h"
#include "config/settings.h"
#include "recording_notifier.h"
#include "relay/security_flag.h"
#include "test_env.h"
#include "test_logs.h"

#include <gtest/gtest.h>

#include <sstream>

namespace {

std::vector<std::string> LogBodies(const std::string& path)
{
    std::vector<std::string> lines;
    std::istringstream in(ReadWholeFile(path));
    for (std::string line; std::getline(in, line);)
        lines.push_back(line.size() >= 23 ? line.substr(23) : line);
    return lines;
}

bool Contains(const std::vector<std::string>& lines, const std::string& text)
{
    return std::find(lines.begin(), lines.end(), text) != lines.end();
}

// Stands for the real window: shows nothing, but its place is kept.
class WindowStandIn : public HeadlessView {
public:
    WindowStandIn() { SetScreenArea(QRect(0, 0, 1000, 800)); }
    bool HasWindow() const override { return true; }
};

class MainFormTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        SetConfigName("");
        LogInto(LogPath());
        SetSecurityDisabled(false);
    }
    void TearDown() override { SetConfigName(""); }
    std::string LogPath() const { return home.path() + "/log.txt"; }

    TestHome home;
    WindowStandIn view;
    RecordingNotifier notifier;
};

} // namespace

TEST_F(MainFormTest, FirstRunIsCentredAndShown)
{
    TFendralForm form(CommandLine{}, view, notifier);
    EXPECT_EQ(view.Geometry(), QRect(237, 275, 525, 250));
    EXPECT_TRUE(view.IsShown());
    EXPECT_TRUE(view.TrayIconShown());
}

TEST_F(MainFormTest, StoredGeometryIsCutToTheScreenAndMovedOntoIt)
{
    struct Case {
        QRect stored;
        QRect screen;
        QRect restored;
    } cases[] = {
        {QRect(-50, 30, 5000, 200), QRect(0, 0, 1000, 800), QRect(0, 30, 1000, 200)},
        // Stored by a run that believed in a 16384-pixel screen.
        {QRect(7929, 8067, 525, 250), QRect(0, 0, 1000, 800), QRect(475, 550, 525, 250)},
        // The free area of a screen with a panel on top.
        {QRect(100, 0, 525, 250), QRect(0, 24, 1000, 776), QRect(100, 24, 525, 250)},
        {QRect(11, 22, 333, 244), QRect(0, 0, 1000, 800), QRect(11, 22, 333, 244)},
    };
    for (const Case& c : cases) {
        SetLeft(c.stored.x());
        SetTop(c.stored.y());
        SetWidth(c.stored.width());
        SetHeight(c.stored.height());
        SetVisible(false);
        view.SetScreenArea(c.screen);
        TFendralForm form(CommandLine{}, view, notifier);
        EXPECT_EQ(view.Geometry(), c.restored) << c.stored.x() << "," << c.stored.y();
        EXPECT_FALSE(view.IsShown());
    }
}

TEST_F(MainFormTest, HeadlessRunStoresNoGeometry)
{
    {
        HeadlessView headless;
        TFendralForm form(CommandLine{}, headless, notifier);
        form.FormClose();
        form.ExitClick(false);
    }
    for (const char* name : {"Left", "Top", "Width", "Height", "Visible"})
        EXPECT_FALSE(ValueExists(SettingsSection::Main, name)) << name;
    TFendralForm next(CommandLine{}, view, notifier);
    EXPECT_EQ(view.Geometry(), QRect(237, 275, 525, 250));
    EXPECT_TRUE(view.IsShown());
}

TEST_F(MainFormTest, TitleComposition)
{
    struct Case {
        std::string caption, name;
        bool noSecurity;
        QString title;
    } cases[] = {
        {"", "", false, "Corvane"},
        {"", "Store2", false, "Corvane - Store2"},
        {"", "Store2", true, "Corvane - Store2 (NoSecurity)"},
        {"Front Counter", "Store2", false, "Front Counter - Store2"},
        {"Front Counter", "", true, "Front Counter (NoSecurity)"},
    };
    for (const Case& c : cases) {
        SetConfigName(c.name);
        LogInto(LogPath());
        if (!c.caption.empty())
            home.writeSettings("REGEDIT4\n\n[HKEY_CURRENT_USER\\Software\\Tuq Network\\Corvane" +
                               (c.name.empty() ? std::string() : "\\" + c.name) + "]\n\"MainFormCaption\"=\"" +
                               c.caption + "\"\n\"EnableDebugMessages\"=\"1\"\n\"DebugFileName\"=\"" + LogPath() +
                               "\"\n");
        SetSecurityDisabled(false);
        CommandLine line;
        line.noSecurity = c.noSecurity;
        TFendralForm form(line, view, notifier);
        EXPECT_EQ(form.Title(), c.title);
        EXPECT_EQ(view.Title(), c.title);
        EXPECT_EQ(IsSecurityDisabled(), c.noSecurity);
    }
    EXPECT_TRUE(Contains(LogBodies(LogPath()), "Outbound Security Disabled"));
}

TEST_F(MainFormTest, NoTrayIconIsLoggedAndHidden)
{
    CommandLine line;
    line.noTrayIcon = true;
    TFendralForm form(line, view, notifier);
    EXPECT_FALSE(view.TrayIconShown());
    EXPECT_TRUE(Contains(LogBodies(LogPath()), "Tray Icon is Disabled"));
}

TEST_F(MainFormTest, CloseStoresGeometryAndHidesExitStoresVisibility)
{
    {
        TFendralForm form(CommandLine{}, view, notifier);
        view.SetGeometry(QRect(11, 22, 333, 244));
        form.FormClose();
        EXPECT_FALSE(view.IsShown());
        EXPECT_EQ(GetLeft(), 11);
        EXPECT_EQ(GetHeight(0), 244);
        form.ExitClick(true);
    }
    EXPECT_FALSE(GetVisible());
    WindowStandIn next;
    TFendralForm again(CommandLine{}, next, notifier);
    EXPECT_EQ(next.Geometry(), QRect(11, 22, 333, 244));
    EXPECT_FALSE(next.IsShown());
}

TEST_F(MainFormTest, ExitRunsItsStepsInOrderAndEndsWithTheBanner)
{
    {
        TFendralForm form(CommandLine{}, view, notifier);
        form.ExitClick(false);
        EXPECT_EQ(view.StatusText(), "Data source is closed/disabled.");
        EXPECT_FALSE(form.Controller().State().cancelRequested);
    }
    std::vector<std::string> lines = LogBodies(LogPath());
    auto at = [&](const std::string& text) {
        return std::find(lines.begin(), lines.end(), text) - lines.begin();
    };
    ASSERT_TRUE(Contains(lines, "Exit invoked."));
    EXPECT_LT(at("Exit invoked."), at("CloseDataSource called"));
    EXPECT_LT(at("CloseDataSource called"), at("******** Corvane Exited ********"));
    EXPECT_EQ(lines.back(), "");
}

TEST_F(MainFormTest, StartupTickWithIncompleteSettingsAsksForOptions)
{
    SetVisible(false);
    SetHeight(250);
    TFendralForm form(CommandLine{}, view, notifier);
    EXPECT_FALSE(view.IsShown());
    form.StartupTimerTimer();
    EXPECT_FALSE(form.StartupTimerActive());
    EXPECT_TRUE(view.IsShown());
    ASSERT_GE(notifier.messages.size(), 2u);
    EXPECT_EQ(notifier.messages[0], "Set Connection and Data Source parameters in the Options Panel.");
    // Without a panel to show, what it would say is reported.
    EXPECT_EQ(notifier.messages[1], "EnableNetwork1: Please enable and/or specify the desired host or modem connection.");
    EXPECT_TRUE(form.OptionsEnabled());
    EXPECT_EQ(view.StatusText(), "Connection and data source are not configured properly!");
    std::vector<std::string> lines = LogBodies(LogPath());
    EXPECT_TRUE(Contains(lines, "Options Button Invoked."));
    EXPECT_TRUE(Contains(lines, "End of Options Button Click action."));
}

TEST_F(MainFormTest, StartupTickShowsUnreadableSettings)
{
    TFendralForm form(CommandLine{}, view, notifier);
    home.writeSettings("REGEDIT4\n[HKEY_CURRENT_USER\\Software\\Tuq Network\\Corvane]\n"
                       "\"DebugFileName\"=\"C:\\TuqData\\log.txt\"\n");
    form.StartupTimerTimer();
    ASSERT_FALSE(notifier.errors.empty());
    EXPECT_EQ(notifier.errors[0].rfind("The general log is off: ", 0), 0u) << notifier.errors[0];
    EXPECT_NE(notifier.errors[0].find(home.settingsFile() + " line 3 cannot be read"), std::string::npos)
        << notifier.errors[0];
}

TEST_F(MainFormTest, StartupTickEndsAtTheErrorBoxWhenTheSourceCannotOpen)
{
    SetVisible(false);
    SetHeight(250);
    SetDataSourceSerialPort();
    SetInboundHostName("127.0.0.1");
    SetInboundPort(9);
    SetEnableNetwork1(true);
    SetOutboundHostName1("127.0.0.1");
    SetOutboundPort1A(9);
    SetEnableOutboundTwofishSecurity(true);
    SetComNumber(1);
    SetComPortDevice(1, home.path() + "/no-such-device");
    TFendralForm form(CommandLine{}, view, notifier);
    form.StartupTimerTimer();
    ASSERT_EQ(notifier.errors.size(), 1u);
    // Neither the request for settings nor the Options sequence follows.
    EXPECT_TRUE(notifier.messages.empty());
    EXPECT_FALSE(Contains(LogBodies(LogPath()), "Options Button Invoked."));
    EXPECT_FALSE(view.IsShown());
    EXPECT_TRUE(form.OptionsEnabled());
    ASSERT_EQ(notifier.waits.size(), 1u);
    EXPECT_EQ(notifier.waits[0].reason, notifier.errors[0]);
}
