#include "window_fixture.h"

#include <QApplication>
#include <QDialogButtonBox>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTest>

namespace {

int AboutBoxes()
{
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    int count = 0;
    for (QWidget* widget : QApplication::topLevelWidgets())
        count += qobject_cast<AboutBox*>(widget) != nullptr;
    return count;
}

} // namespace

TEST_F(WindowTest, AboutShowsOneBoxAtATime)
{
    window.AboutButtonClick();
    AboutBox* first = window.About();
    ASSERT_NE(first, nullptr);
    window.AboutButtonClick();
    EXPECT_EQ(window.About(), first);
    EXPECT_EQ(AboutBoxes(), 1);
    EXPECT_TRUE(first->isVisible());
    EXPECT_FALSE(first->isModal());

    first->close();
    EXPECT_EQ(window.About(), nullptr);
    EXPECT_EQ(AboutBoxes(), 0);
    window.AboutButtonClick();
    EXPECT_NE(window.About(), nullptr);
    EXPECT_TRUE(window.About()->isVisible());
    EXPECT_EQ(AboutBoxes(), 1);
    window.About()->accept();
}

TEST_F(WindowTest, AboutNamesTheProductContactAndLicences)
{
    window.AboutButtonClick();
    AboutBox* box = window.About();
    EXPECT_EQ(box->windowTitle(), "About");
    EXPECT_FALSE(box->windowIcon().isNull());
    QStringList texts;
    for (QLabel* label : box->findChildren<QLabel*>())
        texts << label->text();
    for (const char* expected : {"Corvane", "Contact Information:", "Internet:", "E-mail", "Telephone:"})
        EXPECT_TRUE(texts.contains(expected)) << expected;
    EXPECT_TRUE(texts.contains(QString("File Version: ") + CORVANE_VERSION));
    const QString links = texts.join("\n");
    EXPECT_TRUE(links.contains("<a href=\"https://www.tuqnetwork.example/\">"));
    EXPECT_TRUE(links.contains("<a href=\"mailto:support@tuqnetwork.example\">"));

    const QString notices = box->findChild<QPlainTextEdit*>("notices")->toPlainText();
    EXPECT_TRUE(box->findChild<QPlainTextEdit*>("notices")->isReadOnly());
    for (const char* expected : {"This product uses OpenSSL", "Apache License", "Version 2.0, January 2004",
                                 "Qt toolkit", "Nettle", "GNU LESSER GENERAL PUBLIC LICENSE",
                                 "GNU GENERAL PUBLIC LICENSE"})
        EXPECT_TRUE(notices.contains(expected)) << expected;

    QPushButton* ok = box->findChild<QDialogButtonBox*>()->button(QDialogButtonBox::Ok);
    EXPECT_TRUE(ok->isDefault());
    ok->click();
    EXPECT_EQ(window.About(), nullptr);
}

TEST_F(WindowTest, AboutLinksOpenTheBrowserAndTheMailProgram)
{
    UrlRecorder desktop({"https", "mailto"});
    window.AboutButtonClick();
    for (QLabel* label : window.About()->findChildren<QLabel*>()) {
        if (!label->text().startsWith("<a "))
            continue;
        QTest::mousePress(label, Qt::LeftButton, {}, QPoint(4, label->height() / 2));
        QTest::mouseRelease(label, Qt::LeftButton, {}, QPoint(4, label->height() / 2));
    }
    ASSERT_EQ(desktop.opened.size(), 2u);
    EXPECT_EQ(desktop.opened[0], QUrl("https://www.tuqnetwork.example/"));
    EXPECT_EQ(desktop.opened[1], QUrl("mailto:support@tuqnetwork.example"));
    window.About()->accept();
}
