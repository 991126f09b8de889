#pragma once
#include "app/main_form.h"
#include "app/widgets/main_window.h"
#include "recording_notifier.h"
#include "test_env.h"
#include "wait_for.h"

#include <QObject>
#include <QUrl>
#include <gtest/gtest.h>
#include <string>
#include <vector>

// Receives what the program asks the desktop to open.
class UrlRecorder : public QObject {
    Q_OBJECT
public:
    // Registered for the schemes for as long as the recorder lives.
    explicit UrlRecorder(const QStringList& schemes);
    ~UrlRecorder() override;
    std::vector<QUrl> opened;

public slots:
    void Open(const QUrl& url) { opened.push_back(url); }

private:
    QStringList schemes_;
};

// The real main window on the form, in a private home, past the start-up
// tick, with the general log on in a file of the home.
class WindowTest : public ::testing::Test {
protected:
    WindowTest();
    ~WindowTest() override;
    std::string LogPath() const { return home.path() + "/log.txt"; }
    bool LogHas(const std::string& line) const;

    TestHome home;
    RecordingNotifier notifier;
    MainWindow window;
    std::unique_ptr<TFendralForm> form;
};
