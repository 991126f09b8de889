#pragma once
#include "base/form_view.h"
#include "base/log_time.h"

#include <cstdio>

// The view of headless mode (and of tests): remembers what it was told and
// shows nothing; as a service's view it says each new status text on
// standard error with a time stamp, for the journal. Its screen is large enough for any stored geometry, which a
// headless run never stores.
class HeadlessView : public FormView {
public:
    QRect Geometry() const override { return geometry_; }
    void SetGeometry(const QRect& rect) override { geometry_ = rect; }
    bool HasWindow() const override { return false; }
    QRect ScreenArea(const QRect&) const override { return screen_; }
    bool IsShown() const override { return shown_; }
    void SetShown(bool shown) override { shown_ = shown; }
    void ShowNormalState() override {}
    void SetTitle(const QString& title) override { title_ = title; }
    void SetTrayIconShown(bool shown) override { trayShown_ = shown; }
    void SetStatusText(const QString& text) override
    {
        if (echoStatus_ && !text.isEmpty() && text != status_)
            std::fprintf(stderr, "%scorvane: %s\n", GeneralLogStamp().c_str(), text.toLocal8Bit().constData());
        status_ = text;
    }
    QString StatusText() const override { return status_; }

    QString Title() const { return title_; }
    bool TrayIconShown() const { return trayShown_; }
    void SetScreenArea(const QRect& area) { screen_ = area; }
    void EchoStatusToStandardError(bool echo) { echoStatus_ = echo; }

private:
    QRect geometry_;
    QRect screen_{0, 0, 16384, 16384};
    bool shown_ = false;
    bool trayShown_ = false;
    bool echoStatus_ = false;
    QString title_;
    QString status_;
};
