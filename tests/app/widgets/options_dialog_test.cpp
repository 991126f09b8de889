#include "app/widgets/options_dialog.h"
#include "options_settings.h"

#include <QCheckBox>
#include <QDir>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTabWidget>
#include <QTest>
#include <fstream>
#include <gtest/gtest.h>

namespace {

class AnswerNo : public FolderQuestion {
public:
    Answer Ask(const std::string& title, const std::string&) override
    {
        titles.push_back(title);
        return Answer::No;
    }
    std::vector<std::string> titles;
};

template <class Widget>
Widget* Find(const OptionsDialog& dialog, const char* name)
{
    auto* widget = dialog.findChild<Widget*>(name);
    EXPECT_NE(widget, nullptr) << name;
    return widget;
}

}  // namespace

// The Data Source page, driven by keys and clicks as a user would.
TEST(OptionsDialogTest, DataSourcePageTypedAndSaved)
{
    TestHome home;
    OptionsSettings settings(home);
    settings.Write(home);
    OptionsDialog dialog;
    std::vector<std::string> errors;
    dialog.showError = [&errors](const std::string& text) { errors.push_back(text); };
    AnswerNo question;
    dialog.SetFolderQuestion(question);
    dialog.Load();
    dialog.show();
    dialog.Pages()->setCurrentIndex(3);

    // Letters never reach a digits-only edit; a pasted -5 does.
    auto* delay = Find<QLineEdit>(dialog, "ClaimFileRetryDelayEdit");
    delay->clear();
    QTest::keyClicks(delay, "a-b");
    EXPECT_EQ(delay->text(), "");
    delay->insert("-5");

    auto* mask = Find<QLineEdit>(dialog, "ClaimFileMaskEdit");
    mask->setText("   ");
    auto* ok = Find<QPushButton>(dialog, "OKButton");
    QTest::mouseClick(ok, Qt::LeftButton);
    ASSERT_EQ(errors.size(), 1u);
    EXPECT_EQ(errors[0], "The Claim File Mask data source is selected but a file mask has not been specified.");
    EXPECT_EQ(dialog.Pages()->currentIndex(), 3);
    EXPECT_EQ(mask->text(), "");
    EXPECT_TRUE(dialog.isVisible());
    EXPECT_EQ(GetClaimFileMask(), settings.claimFolder + "/*.clm");  // nothing saved

    mask->setText(QString::fromStdString(" " + settings.claimFolder + "/*.RX "));
    Find<QLineEdit>(dialog, "ClaimFileArchiveFolderEdit")->setText(QString::fromStdString(home.path() + "/later"));
    auto* systemId = Find<QLineEdit>(dialog, "SystemIdEdit");
    systemId->clear();
    QTest::keyClicks(systemId, "store2abcdef");
    EXPECT_EQ(systemId->text(), "STORE2AB");
    QTest::mouseClick(ok, Qt::LeftButton);
    EXPECT_EQ(errors.size(), 1u);
    EXPECT_EQ(question.titles, std::vector<std::string>{"Claim File Archive Folder"});
    EXPECT_EQ(dialog.result(), QDialog::Accepted);

    EXPECT_EQ(GetClaimFileMask(), settings.claimFolder + "/*.RX");
    EXPECT_EQ(GetClaimFileRetryDelay(), 10);
    EXPECT_EQ(GetClaimFileArchiveFolder(), home.path() + "/later");
    EXPECT_EQ(GetSystemID(), "STORE2AB");
    EXPECT_TRUE(IsDataSourceFile());

}

TEST(OptionsDialogTest, ControlRulesAndCancel)
{
    TestHome home;
    OptionsSettings settings(home);
    settings.Write(home);
    std::string before = ReadWholeFile(home.settingsFile());
    // A phone book with one entry, so that dial-up can be chosen.
    QDir(QString::fromStdString(home.path())).mkpath("peers");
    std::ofstream(home.path() + "/peers/tuqisp") << "/dev/ttyS0\nuser pharmacy01\n";
    OptionsDialog dialog;
    {
        ScopedEnvironment environment;
        environment.set("CORVANE_PPP_PEERS_DIR", home.path() + "/peers");
        dialog.Load();
    }
    dialog.show();

    auto* debug = Find<QCheckBox>(dialog, "DebugCheckBox");
    auto* serialDebug = Find<QCheckBox>(dialog, "SPDebugCheckBox");
    EXPECT_FALSE(serialDebug->isEnabled());
    debug->click();
    EXPECT_TRUE(serialDebug->isEnabled());

    auto* password = Find<QLineEdit>(dialog, "SSLClientPasswordEdit");
    EXPECT_EQ(password->echoMode(), QLineEdit::Password);
    Find<QCheckBox>(dialog, "MaskSSLPwdCheckBox")->click();
    EXPECT_EQ(password->echoMode(), QLineEdit::Normal);

    auto* enqPause = Find<QLineEdit>(dialog, "EnqPauseEdit");
    enqPause->clear();
    QTest::keyClicks(enqPause, "1.2.5x");
    EXPECT_EQ(enqPause->text(), "1.25");

    Find<QRadioButton>(dialog, "DNPhoneRadioButton")->click();
    EXPECT_TRUE(Find<QLineEdit>(dialog, "DialUpUserEdit")->isEnabled());
    // Not the stored entry: the entry's own user name is shown.
    EXPECT_EQ(Find<QLineEdit>(dialog, "DialUpUserEdit")->text(), "pharmacy01");
    Find<QRadioButton>(dialog, "DNLanRadioButton")->click();
    EXPECT_FALSE(Find<QLineEdit>(dialog, "DialUpUserEdit")->isEnabled());

    // Every entry of the tool-tip table found its control.
    int tips = 0;
    for (QWidget* control : dialog.findChildren<QWidget*>())
        tips += control->toolTip().isEmpty() ? 0 : 1;
    EXPECT_EQ(tips, 65);
    EXPECT_EQ(Find<QLineEdit>(dialog, "ClaimFileRetriesEdit")->toolTip(),
              "Number of attempts allowed to send claim before responding with Host Unavailable message.");

    QTest::mouseClick(Find<QPushButton>(dialog, "CancelButton"), Qt::LeftButton);
    EXPECT_EQ(dialog.result(), QDialog::Rejected);
    EXPECT_EQ(ReadWholeFile(home.settingsFile()), before);
}
