#include "window_fixture.h"

#include "config/settings.h"
#include "test_logs.h"

#include <QDesktopServices>

UrlRecorder::UrlRecorder(const QStringList& schemes) : schemes_(schemes)
{
    for (const QString& scheme : schemes_)
        QDesktopServices::setUrlHandler(scheme, this, "Open");
}

UrlRecorder::~UrlRecorder()
{
    for (const QString& scheme : schemes_)
        QDesktopServices::unsetUrlHandler(scheme);
}

WindowTest::WindowTest()
{
    SetConfigName("");
    LogInto(LogPath());
    form = std::make_unique<TFendralForm>(CommandLine{}, window, notifier);
    window.Attach(*form, notifier);
    // Nothing is configured: the tick asks for the settings and is done.
    form->StartupTimerTimer();
}

WindowTest::~WindowTest()
{
    form.reset();
    SetConfigName("");
}

bool WindowTest::LogHas(const std::string& line) const
{
    return ReadWholeFile(LogPath()).find(line) != std::string::npos;
}
