#include "window_fixture.h"
#include "wait_for.h"

#include "app/widgets/status_lamps.h"
#include "config/log_settings.h"
#include "config/settings.h"
#include "ports/null_modem.h"

#include <QAction>
#include <QCheckBox>
#include <QLabel>
#include <QMenu>
#include <QPushButton>
#include <QTest>

namespace {

QPushButton* Button(MainWindow& window, const char* name)
{
    return window.findChild<QPushButton*>(name);
}

QAction* TrayItem(MainWindow& window, const QString& text)
{
    for (QAction* action : window.TrayMenu()->actions())
        if (action->text() == text)
            return action;
    return nullptr;
}

// While the start-up tick's message is up, looks at what the window offers
// once the program is idle.
class OptionsWatcher : public RecordingNotifier {
public:
    MainWindow* window = nullptr;
    bool optionsOffDuringMessage = false;
    void ShowMessage(const std::string& text) override
    {
        RecordingNotifier::ShowMessage(text);
        optionsOffDuringMessage = WaitFor(
            [this] {
                return !Button(*window, "OptionsButton")->isEnabled() && !TrayItem(*window, "Options")->isEnabled();
            }, 30);
    }
};

} // namespace

TEST(WindowStartup, OptionsAreOffWhileTheTickAsksForSettings)
{
    TestHome home;
    OptionsWatcher notifier;
    MainWindow window;
    notifier.window = &window;
    TFendralForm form(CommandLine{}, window, notifier);
    window.Attach(form, notifier);
    // The window's Options panel, answered with Cancel.
    form.Controller().SetOptionsPanel([] { return false; });
    form.StartupTimerTimer();
    ASSERT_EQ(notifier.messages.size(), 1u);
    EXPECT_TRUE(notifier.optionsOffDuringMessage);
    EXPECT_TRUE(WaitFor(
        [&] { return Button(window, "OptionsButton")->isEnabled() && TrayItem(window, "Options")->isEnabled(); }, 30));
}

TEST_F(WindowTest, ShowsTheCaptionsAndToolTipsInOrder)
{
    const std::vector<std::pair<const char*, const char*>> buttons = {
        {"SendButton", "Send"},   {"OptionsButton", "Options"}, {"CancelButton", "Cancel"},
        {"CloseButton", "Close"}, {"AboutButton", "About"},     {"ExitButton", "E&xit"},
        {"LogButton", "Log"},     {"NetLogButton", "Net Log"},
    };
    for (const auto& [name, caption] : buttons) {
        ASSERT_NE(Button(window, name), nullptr) << name;
        EXPECT_EQ(Button(window, name)->text(), caption);
    }
    EXPECT_EQ(Button(window, "SendButton")->toolTip(), "Initiate the send process.  Necessary after a Cancel.");
    EXPECT_EQ(Button(window, "CloseButton")->toolTip(), "Close this window.  Application continues to run.");
    EXPECT_EQ(Button(window, "LogButton")->toolTip(), "Displays non-network log file with Notepad.");
    EXPECT_EQ(window.findChild<QCheckBox*>("SocketPortBox")->text(), "Socket Port");
    EXPECT_EQ(window.findChild<QLabel*>("version")->text(), QString("File Version: ") + CORVANE_VERSION);
    EXPECT_EQ(window.size(), QSize(TFendralForm::DesignedWidth, TFendralForm::DesignedHeight));

    QStringList items;
    for (QAction* action : window.TrayMenu()->actions())
        items << (action->isSeparator() ? "-" : action->text());
    EXPECT_EQ(items, QStringList({"About", "-", "Log", "Net Log", "Options", "Open", "Exit"}));
    EXPECT_EQ(TrayItem(window, "Options")->toolTip(), "Display Options panel.");
    EXPECT_EQ(TrayItem(window, "Open")->toolTip(), "Display the main application window.");
}

TEST_F(WindowTest, LogActionsFollowTheLogSettingsAtIdle)
{
    struct Case {
        const char* button;
        const char* item;
        std::function<void(bool)> set;
    } cases[] = {
        {"LogButton", "Log", [](bool on) { SetEnableDebugMessages(on); }},
        {"NetLogButton", "Net Log", [](bool on) { SetEnableNetworkDebugMessages(on); }},
    };
    for (const Case& c : cases) {
        for (bool on : {false, true}) {
            c.set(on);
            LoadLogSettings();
            EXPECT_TRUE(WaitFor([&] {
                return Button(window, c.button)->isEnabled() == on && TrayItem(window, c.item)->isEnabled() == on;
            })) << c.button << " " << on;
        }
    }
}

TEST_F(WindowTest, DataSourceBoxesOnlyShowTheController)
{
    NullModemPair cable;
    const char* boxes[] = {"ClaimDirectoryBox", "SerialPortBox", "SocketPortBox"};
    for (const char* name : boxes) {
        QCheckBox* box = window.findChild<QCheckBox*>(name);
        QTest::mouseClick(box, Qt::LeftButton);
        EXPECT_FALSE(box->isChecked()) << name;
    }

    TApdWinsockPort& source = form->Controller().Modem().SourcePort();
    source.SetDevicePath(cable.PathA());
    source.SetOpen(true);
    QCheckBox* serial = window.findChild<QCheckBox*>("SerialPortBox");
    ASSERT_TRUE(WaitFor([&] { return serial->isChecked(); }));
    QTest::mouseClick(serial, Qt::LeftButton);
    EXPECT_TRUE(serial->isChecked());
    EXPECT_FALSE(window.findChild<QCheckBox*>("ClaimDirectoryBox")->isChecked());
    // An open source makes the controller active: Send off, Cancel on.
    EXPECT_TRUE(WaitFor([&] {
        return !Button(window, "SendButton")->isEnabled() && Button(window, "CancelButton")->isEnabled();
    }));
    source.SetOpen(false);
}

TEST_F(WindowTest, LampsFollowThePortLines)
{
    struct Case {
        const char* what;
        StatusLampGroup* lamps;
        TApdWinsockPort& port;
    } cases[] = {
        {"source", window.SourceLamps(), form->Controller().Modem().SourcePort()},
        {"switch", window.SwitchLamps(), form->Controller().Switch().ApdComPort},
    };
    for (const Case& c : cases) {
        NullModemPair cable;
        TApdWinsockPort peer;
        peer.SetDevicePath(cable.PathB());
        peer.SetOpen(true);
        c.port.SetDeviceLayer(dlWin32);
        c.port.SetDevicePath(cable.PathA());
        c.port.SetOpen(true);
        for (const char* lamp : {"CTS", "DSR", "DCD"})
            EXPECT_TRUE(WaitFor([&] { return c.lamps->Lamp(lamp)->Lit(); })) << c.what << " " << lamp;

        peer.SetDTR(false);
        EXPECT_TRUE(WaitFor([&] { return !c.lamps->Lamp("DSR")->Lit() && !c.lamps->Lamp("DCD")->Lit(); }))
            << c.what;
        EXPECT_TRUE(c.lamps->Lamp("CTS")->Lit()) << c.what;

        // RXD may go out again as soon as the bytes are read.
        bool rxdLit = false;
        QObject::connect(c.lamps->Lamp("RXD"), &StatusLamp::LitChanged, [&](bool lit) { rxdLit |= lit; });
        peer.PutString("claim");
        EXPECT_TRUE(WaitFor([&] { return rxdLit; })) << c.what;

        cable.InjectStatus(true, false, lsBreak);
        EXPECT_TRUE(WaitFor([&] { return c.lamps->Lamp("BRK")->Lit(); })) << c.what;
        c.port.SetOpen(false);
        EXPECT_FALSE(c.lamps->Lamp("CTS")->Lit()) << c.what;
    }
}

TEST_F(WindowTest, TrayMenuItemsRunTheirCommands)
{
    UrlRecorder desktop({"file"});
    window.SetShown(false);
    TrayItem(window, "Open")->trigger();
    EXPECT_TRUE(window.isVisible());

    TrayItem(window, "Log")->trigger();
    ASSERT_EQ(desktop.opened.size(), 1u);
    EXPECT_EQ(desktop.opened[0], QUrl::fromLocalFile(QString::fromStdString(LogPath())));

    TrayItem(window, "About")->trigger();
    ASSERT_NE(window.About(), nullptr);
    EXPECT_TRUE(window.About()->isVisible());
    window.About()->accept();

    window.SetShown(false);
    TrayItem(window, "Options")->trigger();
    EXPECT_TRUE(window.isVisible());
    EXPECT_TRUE(LogHas("Options Button Clicked."));

    bool finished = false;
    QObject::connect(form.get(), &TFendralForm::ExitFinished, [&] { finished = true; });
    TrayItem(window, "Exit")->trigger();
    EXPECT_TRUE(finished);
    EXPECT_TRUE(LogHas("Exit clicked."));
}

TEST_F(WindowTest, CloseHidesAndTheFormGoesOn)
{
    ASSERT_TRUE(window.isVisible());
    Button(window, "CloseButton")->click();
    EXPECT_FALSE(window.isVisible());
    EXPECT_EQ(GetHeight(0), window.height());
    Button(window, "ExitButton")->click();
    EXPECT_TRUE(LogHas("Exit clicked."));
}

TEST_F(WindowTest, LogOpensNothingWhileLoggingIsOff)
{
    UrlRecorder desktop({"file"});
    SetEnableNetworkDebugMessages(false);
    LoadLogSettings();
    form->OpenDebugNetFilesButtonClick();
    EXPECT_TRUE(desktop.opened.empty());
    form->OpenDebugFilesButtonClick();
    EXPECT_EQ(desktop.opened.size(), 1u);
}
